// Cell cleaning on the generated 100-plugin load order (an 80 MB master),
// beside the record-level unclean check on the same files read the same way
// (read once, outside the timing), and both cleans end to end through the
// document, writing the plugins. VANTOR_BENCH_CELL_SET names a
// folder that already holds a generated set ("Data Files/" inside).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

#include "BenchKit.h"
#include "MkData.h"
#include "cells/CellClean.h"
#include "checks/PluginChecker.h"
#include "document/VANTORDoc.h"
#include "format/PluginFile.h"
#include "platform/Files.h"

namespace {

using namespace vantor;

const std::atomic<std::int32_t> kRunning{0};
using CFiles = std::vector<std::unique_ptr<CPluginFile>>;

struct CLoaded {
    CFiles m_masters, m_plugins;
    std::vector<const CPluginFile*> Masters() const {
        std::vector<const CPluginFile*> out;
        for (const auto& m : m_masters) out.push_back(m.get());
        return out;
    }
};

// The folder of the set, generated on first use (default options: 100
// plugins against an 80 MB master) and removed at exit.
const std::string& SetFolder() {
    static std::string folder;
    static std::unique_ptr<mkdata::CTemporarySet> set;
    if (folder.empty()) {
        const char* given = std::getenv("VANTOR_BENCH_CELL_SET");
        if (given && *given) {
            folder = given;
        } else {
            set = std::make_unique<mkdata::CTemporarySet>(mkdata::CBenchOptions{});
            if (!set->Written().m_ok) {
                std::cerr << "vantor cell bench: cannot generate the set: " << set->Written().m_error << "\n";
                std::exit(1);
            }
            folder = set->Folder();
        }
    }
    return folder;
}

CLoaded Load(const std::string& folder) {
    const std::string data = folder + "/Data Files/";
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(data)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    CLoaded loaded;
    for (const auto& name : names) {
        const std::string ext = std::filesystem::path(name).extension().string();
        if (ext != ".esm" && ext != ".esp") continue;
        auto file = std::make_unique<CPluginFile>();
        if (!file->Open(name, data) || !file->ReadRecords(kRunning, CExtractOpts{})) {
            std::cerr << "vantor cell bench: cannot read " << data << name << "\n";
            std::exit(1);
        }
        file->Close();
        (ext == ".esm" ? loaded.m_masters : loaded.m_plugins).push_back(std::move(file));
    }
    return loaded;
}

const CLoaded& Loaded() {
    static const CLoaded loaded = Load(SetFolder());
    return loaded;
}

// Indexing the masters' cells, then judging every plugin.
void BM_CellAnalysis(benchmark::State& state) {
    const CLoaded& set = Loaded();
    std::size_t cells = 0, duplicates = 0, settings = 0, junk = 0, bytes = 0;
    for (auto _ : state) {
        cells = duplicates = settings = junk = bytes = 0;
        const cells::CCellCleaner cleaner(set.Masters());
        for (const auto& plugin : set.m_plugins) {
            const cells::CPluginCells result = cleaner.Analyse(*plugin);
            cells += result.m_cells.size();
            duplicates += result.Duplicates();
            settings += result.RedundantSettings();
            junk += result.JunkCells();
            for (const auto& c : result.m_cells) bytes += c.m_data.size();
        }
    }
    state.counters["cells"] = double(cells);
    state.counters["duplicates"] = double(duplicates);
    state.counters["settings"] = double(settings);
    state.counters["junk"] = double(junk);
    state.counters["new_data_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_CellAnalysis)->Unit(benchmark::kMillisecond)->UseRealTime();

// The record-level unclean check (records identical to the master) alone.
void BM_UncleanCheck(benchmark::State& state) {
    const CLoaded& set = Loaded();
    CCheckSwitches off{}, on{};
    on.fill(1);
    std::size_t unclean = 0;
    for (auto _ : state) {
        CPluginChecker engine;
        for (const auto& p : set.m_plugins) engine.AddPlugin(*p);
        for (const auto& m : set.m_masters) engine.AddMaster(*m);
        const CCheckResult& result = engine.Run(kRunning, false, off, on, CCheckSet::Unclean());
        unclean = result.m_unclean.size();
    }
    state.counters["unclean"] = double(unclean);
}
BENCHMARK(BM_UncleanCheck)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the analysis adds to the memory of the read files, in a fresh process,
// with every plugin's result kept as a front end keeps them until it writes.
void BM_CellAnalysisPeakMemory(benchmark::State& state) {
    const std::string& folder = SetFolder();
    long before = 0, peak = 0;
    for (auto _ : state) {
        auto measured = bench::MeasureInChild({"--peak-rss", folder});
        if (!measured) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        before = measured->m_beforeKb;
        peak = measured->m_peakKb;
    }
    state.counters["files_MB"] = double(before) * 1024 / 1e6;
    state.counters["peak_MB"] = double(peak) * 1024 / 1e6;
    state.counters["added_MB"] = double(peak - before) * 1024 / 1e6;
}
BENCHMARK(BM_CellAnalysisPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The child of BM_CleanThroughTheDocument: the set's plugins copied into a
// scratch game (the masters linked), read, then one clean through the
// document with every question answered Yes. Prints the peak memory before
// and after the clean and the clean's own time in microseconds.
int CleanMode(const std::string& which, const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string game = bench::MakeScratchFolder("cell-clean-bench");
    const std::string data = game + "/Data Files/";
    fs::create_directories(data);
    std::vector<std::string> plugins;
    for (const auto& e : fs::directory_iterator(folder + "/Data Files")) {
        const std::string to = data + e.path().filename().string();
        std::error_code ec;
        if (e.path().extension() == ".esm") {
            fs::create_hard_link(e.path(), to, ec);
            if (!ec) continue;
        }
        fs::copy_file(e.path(), to, ec);
        fs::last_write_time(to, fs::last_write_time(e.path()), ec);
        if (ec) return 1;
        if (e.path().extension() == ".esp") plugins.push_back(to);
    }
    std::sort(plugins.begin(), plugins.end());

    bench::CBenchLink link(true);
    CDocConfig config;
    config.m_settingsPath = game + "/vantor.ini";
    config.m_installDir = game;
    long before = 0, took = 0;
    std::size_t done = 0;
    {
        CVANTORDoc doc(config, &link);
        CReadRequest read;
        read.m_plugins = plugins;
        doc.Run(read);
        before = bench::MaxRssKilobytes();
        const auto start = std::chrono::steady_clock::now();
        const COutcome outcome = which == "cells" ? doc.Run(CCleanCellsRequest{}) : doc.Run(CAutoCleanRequest{});
        took = long(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
        done = outcome.m_cellClean ? outcome.m_cellClean->m_cleaned : outcome.m_clean ? outcome.m_clean->m_deleted : 0;
    }
    std::error_code ec;
    fs::remove_all(game, ec);
    if (done == 0) return 1;
    std::printf("%ld %ld %ld\n", before, bench::MaxRssKilobytes(), took);
    return 0;
}

// Clean Cells beside the record clean ("Auto Delete Unclean"), each through
// the document on the files already read: analysis, the question, and every
// changed plugin written after its backup. A fresh process per run.
void BM_CleanThroughTheDocument(benchmark::State& state) {
    const bool cells = state.range(0) == 1;
    const std::string& folder = SetFolder();
    for (auto _ : state) {
        const auto measured = bench::MeasureInChild({"--clean", cells ? "cells" : "records", folder});
        if (!measured) {
            state.SkipWithError("the cleaning process failed");
            return;
        }
        state.SetIterationTime(double(measured->m_extra) / 1e6);
        state.counters["peak_MB"] = double(measured->m_peakKb) * 1024 / 1e6;
        state.counters["added_MB"] = double(measured->m_peakKb - measured->m_beforeKb) * 1024 / 1e6;
    }
    state.SetLabel(cells ? "Clean Cells" : "Auto Delete Unclean");
}
BENCHMARK(BM_CleanThroughTheDocument)->Arg(0)->Arg(1)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--clean") == 0) return CleanMode(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0) {
        const CLoaded set = Load(argv[2]);
        const long before = bench::MaxRssKilobytes();
        const cells::CCellCleaner cleaner(set.Masters());
        std::vector<cells::CPluginCells> results;
        for (const auto& plugin : set.m_plugins) results.push_back(cleaner.Analyse(*plugin));
        if (std::all_of(results.begin(), results.end(), [](const auto& r) { return r.m_cells.empty(); })) return 1;
        bench::PrintPeak(before);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
