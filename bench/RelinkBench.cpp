// The dialogue relink end to end: 50 generated plugins against a
// Morrowind-scale master (24,000 INFO records) are read, merged and written
// into a repair plugin. Peak memory is measured in a fresh process.
//
// VANTOR_BENCH_PLUGINS sets the number of plugins (default 50).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "BenchKit.h"
#include "MkData.h"
#include "dialogrepair/DialogMerge.h"
#include "platform/Files.h"

namespace {

using namespace vantor;


class CBenchData {
public:
    CBenchData() {
        m_folder = bench::MakeScratchFolder("relink");
        mkdata::CBenchOptions opts;
        opts.m_plugins = 50;
        if (const char* n = std::getenv("VANTOR_BENCH_PLUGINS"); n && *n) opts.m_plugins = std::atoi(n);
        const auto written = mkdata::WriteBenchSet(m_folder, opts);
        if (!written.m_ok || written.m_files.empty()) {
            std::cerr << "vantor relink bench: cannot generate the data: " << written.m_error << "\n";
            std::exit(1);
        }
        m_master = written.m_files.front();
        m_plugins.assign(written.m_files.begin() + 1, written.m_files.end());
    }
    ~CBenchData() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    std::string m_folder, m_master;
    std::vector<std::string> m_plugins;
};

const CBenchData& Data() {
    static CBenchData data;
    return data;
}

struct CRunStats {
    std::int32_t m_result = 0;
    std::size_t m_topics = 0, m_infos = 0;
    int m_asked = 0;
};

CRunStats RelinkOnce(const CBenchData& data) {
    bench::CBenchLink link(true);
    CDialogMerge merge(link);
    for (const auto& p : data.m_plugins) merge.AddPlugin(platform::FileNameOf(p), platform::FolderOf(p));
    merge.AddMaster(platform::FileNameOf(data.m_master), platform::FolderOf(data.m_master));
    merge.SetOutputPath(data.m_folder + "/Repair.esp");
    std::atomic<std::int32_t> stop{0};
    CRunStats stats;
    stats.m_result = merge.Run(stop);
    stats.m_asked = link.m_asked;
    stats.m_topics = merge.Topics().size();
    for (const auto& t : merge.Topics()) stats.m_infos += t.m_chain.size();
    return stats;
}

void BM_RelinkLoadOrder(benchmark::State& state) {
    const CBenchData& data = Data();
    RelinkOnce(data);  // warms the page cache
    CRunStats stats;
    for (auto _ : state) {
        stats = RelinkOnce(data);
        if (stats.m_result != 1) {
            state.SkipWithError("the relink failed");
            return;
        }
    }
    state.counters["plugins"] = static_cast<double>(data.m_plugins.size());
    state.counters["topics"] = static_cast<double>(stats.m_topics);
    state.counters["infos_written"] = static_cast<double>(stats.m_infos);
    state.counters["questions"] = stats.m_asked;
}
BENCHMARK(BM_RelinkLoadOrder)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// Peak memory of a fresh process that runs the relink once.
void BM_RelinkPeakMemory(benchmark::State& state) {
    const CBenchData& data = Data();
    long before = 0, peak = 0;
    for (auto _ : state) {
        auto measured = bench::MeasureInChild({"--peak-rss", data.m_folder});
        if (!measured) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        before = measured->m_beforeKb;
        peak = measured->m_peakKb;
    }
    state.counters["peak_MB"] = static_cast<double>(peak) * 1024 / 1e6;
    state.counters["added_MB"] = static_cast<double>(peak - before) * 1024 / 1e6;
}
BENCHMARK(BM_RelinkPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0) {
        // The child: the data folder is the parent's; list it afresh.
        const std::string folder = argv[2];
        const long before = bench::MaxRssKilobytes();
        bench::CBenchLink link(true);
        CDialogMerge merge(link);
        std::vector<std::string> plugins;
        for (const auto& e : std::filesystem::directory_iterator(folder + "/Data Files"))
            if (e.path().extension() == ".esp") plugins.push_back(e.path().filename().string());
        std::sort(plugins.begin(), plugins.end());
        for (const auto& p : plugins) merge.AddPlugin(p, folder + "/Data Files/");
        merge.AddMaster("Bench.esm", folder + "/Data Files/");
        merge.SetOutputPath(folder + "/Repair.esp");
        std::atomic<std::int32_t> stop{0};
        if (merge.Run(stop) != 1) return 1;
        bench::PrintPeak(before);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
