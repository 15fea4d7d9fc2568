// Reading a Morrowind-scale master: throughput with every extraction option
// on and with the default options, and peak memory measured in a fresh
// process so that nothing this process holds is counted.
//
// The master is generated once into a temporary folder, or taken from
// VANTOR_BENCH_MASTER. VANTOR_BENCH_MASTER_MB sets the generated size.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "BenchKit.h"
#include "MkData.h"
#include "format/PluginFile.h"
#include "platform/Files.h"

namespace {

using namespace vantor;

// The master to read: given, or generated once for the whole run.
const std::string& MasterPath() {
    static const std::string path = [] {
        if (const char* given = std::getenv("VANTOR_BENCH_MASTER"); given && *given) return std::string(given);
        mkdata::CBenchOptions opts;
        opts.m_plugins = 0;
        if (const char* mb = std::getenv("VANTOR_BENCH_MASTER_MB"); mb && *mb) opts.m_masterMegabytes = std::atof(mb);
        static const mkdata::CTemporarySet set(opts);
        if (!set.Written().m_ok || set.Written().m_files.empty()) {
            std::cerr << "vantor reader bench: cannot generate the master: " << set.Written().m_error << "\n";
            std::exit(1);
        }
        return set.Written().m_files.front();
    }();
    return path;
}

CExtractOpts Options(std::int64_t which) { return which ? CExtractOpts::All() : CExtractOpts{}; }

std::size_t ReadOnce(const std::string& path, const CExtractOpts& opts) {
    CPluginFile file;
    std::atomic<std::int32_t> stop{0};
    if (!file.Open(platform::FileNameOf(path), platform::FolderOf(path)) || !file.ReadRecords(stop, opts)) {
        std::cerr << "vantor reader bench: cannot read " << path << "\n";
        std::exit(1);
    }
    file.Close();
    return file.EntryCount();
}

// Open, read, close and destroy: the whole cost of loading one master.
void BM_ReadMaster(benchmark::State& state) {
    const std::string& path = MasterPath();
    const auto size = platform::FileSize(path).value_or(0);
    const CExtractOpts opts = Options(state.range(0));
    ReadOnce(path, opts);  // warms the page cache
    std::size_t entries = 0;
    for (auto _ : state) {
        entries = ReadOnce(path, opts);
        benchmark::DoNotOptimize(entries);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.SetLabel(state.range(0) ? "all extraction options" : "default extraction options");
}
// Wall-clock time: the whole-file read spends much of its time in the kernel.
BENCHMARK(BM_ReadMaster)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// In the child: read once and print the resident-set high-water marks (kB)
// before and after.
int PeakMode(const std::string& path, const std::string& which) {
    const long before = bench::MaxRssKilobytes();
    CPluginFile file;
    std::atomic<std::int32_t> stop{0};
    if (!file.Open(platform::FileNameOf(path), platform::FolderOf(path)) ||
        !file.ReadRecords(stop, Options(which == "all" ? 1 : 0)))
        return 1;
    file.Close();
    bench::PrintPeak(before);
    return 0;
}

// Peak memory of a fresh process reading the master, against its size.
void BM_PeakMemory(benchmark::State& state) {
    const std::string& path = MasterPath();
    const double size = static_cast<double>(platform::FileSize(path).value_or(1));
    long before = 0, peak = 0;
    for (auto _ : state) {
        auto measured = bench::MeasureInChild({"--peak-rss", path, state.range(0) ? "all" : "default"});
        if (!measured) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        before = measured->m_beforeKb;
        peak = measured->m_peakKb;
    }
    state.counters["peak_MB"] = static_cast<double>(peak) * 1024 / 1e6;
    state.counters["peak_over_file"] = static_cast<double>(peak) * 1024 / size;
    state.counters["added_over_file"] = static_cast<double>(peak - before) * 1024 / size;
    state.SetLabel(state.range(0) ? "all extraction options" : "default extraction options");
}
BENCHMARK(BM_PeakMemory)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak-rss") == 0) return PeakMode(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
