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

using CLoaded = bench::CReadLoadOrder;

// One set of each size, generated and read once per process.
const CLoaded& Set(int plugins) {
    static std::unique_ptr<CLoaded> sets[2];
    auto& slot = sets[plugins > 100 ? 1 : 0];
    if (!slot) slot = std::make_unique<CLoaded>("merge", "VANTOR_BENCH_MERGE_SET", plugins);
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
    inputs.checks = CCheckSet::All();
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
