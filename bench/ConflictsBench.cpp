// Conflicts by record on the generated load orders of 100 and 1,000 plugins
// (see LoadOrderSetFolder): the plugins and masters are read through the
// document as `vantor conflicts` reads them, then the records two or more
// plugins hold are found and every one of them is compared copy by copy, as
// the command prints them. Measured in a fresh process: the time of finding
// and comparing (reading excluded), the records found, the peak memory and
// what the conflicts added to the memory the read files hold.
#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>

#include "BenchKit.h"
#include "checks/FileAges.h"
#include "document/VANTORDoc.h"
#include "document/operations/RecordConflictList.h"

namespace {

using namespace vantor;

// The child: reads the set, then prints the memory read, the peak, the
// records and the processor milliseconds the conflicts took.
int ConflictsMode(const std::string& folder) {
    bench::CBenchLink link(false);
    const std::string settings = bench::MakeScratchFolder("conflicts-bench") + "/vantor.ini";
    CDocConfig config;
    config.m_settingsPath = settings;
    config.m_installDir = folder;
    {
        CVANTORDoc doc(config, &link);
        CReadRequest read;
        read.m_plugins = bench::SetPlugins(folder);
        doc.Run(read);
        const long before = bench::MaxRssKilobytes();
        const std::clock_t start = std::clock();
        const CFileList files = doc.Files();
        CRecordConflictInputs inputs{files.PluginFiles(), files.MasterFiles(), false, doc.Options().m_conflictChecks};
        CLoadOrderAges ages(*doc.LoadOrder());
        const CRecordConflictList list = FindRecordConflictList(inputs, files, ages, CStopToken().Flag(), nullptr);
        std::size_t named = 0;
        for (const CRecordConflict& record : list.m_records) {
            const CRecordComparison comparison(record);
            named += comparison.Contested().size();
        }
        const long took = long((std::clock() - start) * 1000 / CLOCKS_PER_SEC);
        benchmark::DoNotOptimize(named);
        std::printf("%ld %ld %zu %ld\n", before, bench::MaxRssKilobytes(), list.m_records.size(), took);
    }
    std::filesystem::remove_all(std::filesystem::path(settings).parent_path());
    return 0;
}

void BM_RecordConflicts(benchmark::State& state) {
    const std::string folder = bench::LoadOrderSetFolder(int(state.range(0)));
    for (auto _ : state) {
        const auto measured = bench::MeasureInChild({"--conflicts", folder});
        if (!measured) {
            state.SkipWithError("the process finding the conflicts failed");
            return;
        }
        state.SetIterationTime(double(measured->m_extra2) / 1000);
        state.counters["records"] = double(measured->m_extra);
        state.counters["peak_MB"] = double(measured->m_peakKb) / 1024;
        state.counters["added_MB"] = double(measured->m_peakKb - measured->m_beforeKb) / 1024;
    }
}
BENCHMARK(BM_RecordConflicts)->ArgName("plugins")->Arg(100)->Arg(1000)->UseManualTime()->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return vantor::bench::BenchMain(argc, argv, "--conflicts", ConflictsMode); }
