// "Check All" through the document, as the window and the command line run
// it, on generated load orders of 100, 300 and 1,000 plugins (vantor-mkdata
// bench with its default overlap): the time from the command to the finished
// panes, the rows made, and the peak memory of a fresh process. The rows grow
// with the square of the plugins that change one record.
//
// Each set is generated once per process into a temporary folder (1,000
// plugins: about 1.5 GB and two minutes); VANTOR_BENCH_LOAD_ORDERS names a
// folder that holds them already as 100/, 300/ and 1000/, each with its
// "Data Files/" (vantor-mkdata bench DIR/300 --plugins 300).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "BenchKit.h"
#include "document/VANTORDoc.h"

namespace {

using namespace vantor;

// The child: Check All on the set, then its peak and the rows it made.
int CheckMode(const std::string& folder) {
    const long before = bench::MaxRssKilobytes();
    const std::vector<std::string> plugins = bench::SetPlugins(folder);
    bench::CBenchLink link(false);
    const std::string settings = bench::MakeScratchFolder("load-order-bench") + "/vantor.ini";
    CDocConfig config;
    config.m_settingsPath = settings;
    config.m_installDir = folder;
    {
        CVANTORDoc doc(config, &link);
        CCheckRequest request;
        request.m_plugins = plugins;
        doc.Run(request);
        const std::size_t rows = doc.ResultTable(EPane::Conflict)->RowCount() + doc.ResultTable(EPane::Warning)->RowCount();
        std::printf("%ld %ld %zu\n", before, bench::MaxRssKilobytes(), rows);
    }
    std::filesystem::remove_all(std::filesystem::path(settings).parent_path());
    return 0;
}

void BM_CheckAll(benchmark::State& state) {
    const std::string folder = bench::LoadOrderSetFolder(int(state.range(0)));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto measured = bench::MeasureInChild({"--check-all", folder});
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!measured) {
            state.SkipWithError("the checking process failed");
            return;
        }
        state.SetIterationTime(took.count());
        state.counters["peak_MB"] = double(measured->m_peakKb) / 1024;
        state.counters["rows"] = double(measured->m_extra);
    }
}
BENCHMARK(BM_CheckAll)->ArgName("plugins")->Arg(100)->Arg(300)->Arg(1000)->UseManualTime()->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return vantor::bench::BenchMain(argc, argv, "--check-all", CheckMode); }
