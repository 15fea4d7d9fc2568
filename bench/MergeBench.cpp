// The merged patch on generated load orders of 100 and 1,000 plugins over an
// 80 MB master: the merge of every shared leveled list and object record,
// the patch's bytes, and "Check All" (the check operation, pane tables
// included) on the same files read once, so the merge's cost can be read
// against the check's. The goal: the merge of 100 plugins within twice the
// time of their Check All ("merge_vs_check" below 2).
//
// VANTOR_BENCH_MERGE_SET names a folder that already holds a generated set
// ("Data Files/" inside), used for every size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "MkData.h"
#include "checks/CheckOperations.h"
#include "checks/FileAges.h"
#include "format/PluginFile.h"
#include "merge/MergedPatch.h"
#include "platform/Files.h"

namespace {

using namespace vantor;

const std::atomic<std::int32_t> kRunning{0};

// One set, generated and read once per process.
struct CLoaded {
    std::string m_folder;
    std::vector<std::unique_ptr<CPluginFile>> m_files;
    std::vector<CPluginFile*> m_masters, m_plugins;

    explicit CLoaded(int plugins) {
        std::vector<std::string> paths;
        const char* given = std::getenv("VANTOR_BENCH_MERGE_SET");
        if (given && *given) {
            for (const auto& e : std::filesystem::directory_iterator(std::string(given) + "/Data Files/"))
                paths.push_back(e.path().string());
            std::sort(paths.begin(), paths.end());
        } else {
            m_folder = bench::MakeScratchFolder("merge-bench");
            mkdata::CBenchOptions opts;
            opts.m_plugins = plugins;
            const auto written = mkdata::WriteBenchSet(m_folder, opts);
            if (!written.m_ok) {
                std::cerr << "vantor merge bench: cannot generate the set: " << written.m_error << "\n";
                std::exit(1);
            }
            paths = written.m_files;
        }
        for (const auto& path : paths) {
            const std::string ext = std::filesystem::path(path).extension().string();
            if (ext != ".esm" && ext != ".esp") continue;
            auto file = std::make_unique<CPluginFile>();
            if (!file->Open(platform::FileNameOf(path), platform::FolderOf(path)) ||
                !file->ReadRecords(kRunning, CExtractOpts{})) {
                std::cerr << "vantor merge bench: cannot read " << path << "\n";
                std::exit(1);
            }
            file->Close();
            (ext == ".esm" ? m_masters : m_plugins).push_back(file.get());
            m_files.push_back(std::move(file));
        }
    }
    ~CLoaded() {
        m_files.clear();
        std::error_code ec;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
    }
};

const CLoaded& Set(int plugins) {
    static std::unique_ptr<CLoaded> sets[2];
    auto& slot = sets[plugins > 100 ? 1 : 0];
    if (!slot) slot = std::make_unique<CLoaded>(plugins);
    return *slot;
}

merge::CMergeResult Merge(const CLoaded& set) {
    CLastWriteAges ages;
    return merge::MergeRecords(set.m_plugins, set.m_masters, ages, kRunning);
}

double CheckAllSeconds(const CLoaded& set) {
    CCheckInputs inputs;
    inputs.loadedPlugins = set.m_plugins;
    inputs.foundMasters = set.m_masters;
    inputs.conflictChecks.fill(1);
    inputs.uncleanChecks.fill(1);
    inputs.mask = kCheckAll;
    const auto start = std::chrono::steady_clock::now();
    CPaneFindings panes = RunCheckOperation(inputs);
    benchmark::DoNotOptimize(panes.m_conflict->size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The merge and the patch's bytes, on files already read.
void BM_MergedPatch(benchmark::State& state) {
    const CLoaded& set = Set(int(state.range(0)));
    std::size_t records = 0, contested = 0, bytes = 0;
    for (auto _ : state) {
        const merge::CMergeResult result = Merge(set);
        bytes = merge::PatchBytes(result).size();
        records = result.m_records.size();
        contested = 0;
        for (const auto& r : result.m_records) contested += r.Contested() != 0;
    }
    state.counters["merged"] = double(records);
    state.counters["with_contested_fields"] = double(contested);
    state.counters["patch_KB"] = double(bytes) / 1e3;
    state.SetLabel(std::to_string(state.range(0)) + " plugins");
}
BENCHMARK(BM_MergedPatch)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The merge timed against Check All of the same files, each run once per
// iteration.
void BM_MergeVersusCheckAll(benchmark::State& state) {
    const CLoaded& set = Set(int(state.range(0)));
    double merge = 0, check = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const merge::CMergeResult result = Merge(set);
        benchmark::DoNotOptimize(merge::PatchBytes(result).size());
        merge += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        check += CheckAllSeconds(set);
    }
    state.counters["merge_s"] = merge / double(state.iterations());
    state.counters["check_all_s"] = check / double(state.iterations());
    state.counters["merge_vs_check"] = merge / check;
}
BENCHMARK(BM_MergeVersusCheckAll)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
