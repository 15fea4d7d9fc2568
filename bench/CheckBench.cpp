// The check engine on generated load orders: the full check with extraction
// (what "Check &All" costs on a load order nothing has read yet), the check
// alone, and the literal nested-loop reference on the smaller sets, so the
// ratio can be read per size.
//
// Sets (argument 0): 0 small (4 MB master, two 1 MB masters, 20 plugins),
// 1 medium (16 + 2 x 4 MB, 50 plugins), 2 full (80 + 2 x 20 MB, 200 plugins).
// Plugins hold 300 to 3,000 records each. Each set is generated once per
// process into a temporary folder; VANTOR_BENCH_CHECK_SET names a folder
// that already holds a generated full set ("Data Files/" inside).
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "BenchKit.h"
#include "MkData.h"
#include "checks/CheckOperations.h"
#include "checks/PluginChecker.h"
#include "checks/ReferenceChecker.h"
#include "format/PluginFile.h"
#include "platform/Files.h"

namespace {

using namespace vantor;

const std::atomic<std::int32_t> kRunning{0};

struct CSetSpec {
    const char* m_name;
    double m_masterMb;
    double m_extraMb;
    int m_plugins;
};
constexpr std::array<CSetSpec, 3> kSets{{{"small", 4, 1, 20}, {"medium", 16, 4, 50}, {"full", 80, 20, 200}}};

class CBenchSet {
public:
    explicit CBenchSet(const CSetSpec& spec) {
        const char* given = spec.m_plugins == 200 ? std::getenv("VANTOR_BENCH_CHECK_SET") : nullptr;
        if (given && *given) {
            Collect(std::string(given) + "/Data Files/");
            return;
        }
        m_folder = bench::MakeScratchFolder("check-bench");
        mkdata::CBenchOptions opts;
        opts.m_plugins = spec.m_plugins;
        opts.m_masterMegabytes = spec.m_masterMb;
        opts.m_extraMasters = {{"Extra One.esm", spec.m_extraMb}, {"Extra Two.esm", spec.m_extraMb}};
        const auto written = mkdata::WriteBenchSet(m_folder, opts);
        if (!written.m_ok) {
            std::cerr << "vantor check bench: cannot generate the " << spec.m_name << " set: " << written.m_error << "\n";
            std::exit(1);
        }
        for (const auto& path : written.m_files) Sort(path);
    }
    ~CBenchSet() {
        std::error_code ec;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
    }

    const std::vector<std::string>& Masters() const { return m_masters; }
    const std::vector<std::string>& Plugins() const { return m_plugins; }
    std::uint64_t Bytes() const {
        std::uint64_t total = 0;
        for (const auto* list : {&m_masters, &m_plugins})
            for (const auto& p : *list) total += platform::FileSize(p).value_or(0);
        return total;
    }

private:
    void Sort(const std::string& path) {
        const std::string ext = std::filesystem::path(path).extension().string();
        if (ext == ".esm") m_masters.push_back(path);
        if (ext == ".esp") m_plugins.push_back(path);
    }
    void Collect(const std::string& dataDir) {
        std::vector<std::string> paths;
        for (const auto& e : std::filesystem::directory_iterator(dataDir)) paths.push_back(e.path().string());
        std::sort(paths.begin(), paths.end());
        for (const auto& p : paths) Sort(p);
    }

    std::string m_folder;
    std::vector<std::string> m_masters;
    std::vector<std::string> m_plugins;
};

const CBenchSet& Set(std::int64_t which) {
    static std::array<std::unique_ptr<CBenchSet>, kSets.size()> sets;
    auto& slot = sets[std::size_t(which)];
    if (!slot) slot = std::make_unique<CBenchSet>(kSets[std::size_t(which)]);
    return *slot;
}

using CFiles = std::vector<std::unique_ptr<CPluginFile>>;

CFiles Load(const std::vector<std::string>& paths) {
    CFiles files;
    for (const auto& path : paths) {
        auto file = std::make_unique<CPluginFile>();
        if (!file->Open(platform::FileNameOf(path), platform::FolderOf(path)) || !file->ReadRecords(kRunning, CExtractOpts{})) {
            std::cerr << "vantor check bench: cannot read " << path << "\n";
            std::exit(1);
        }
        file->Close();
        files.push_back(std::move(file));
    }
    return files;
}

CCheckSwitches On() {
    CCheckSwitches s;
    s.fill(1);
    return s;
}
CCheckSwitches Unclean() {
    CCheckSwitches s = On();
    s[kInfoCheck] = 0;
    return s;
}

template <typename TEngine>
const auto& RunCheck(TEngine& engine, const CFiles& plugins, const CFiles& masters) {
    for (const auto& p : plugins) engine.AddPlugin(*p);
    for (const auto& m : masters) engine.AddMaster(*m);
        // The reference checker keeps its own mask of the checks.
    if constexpr (std::is_same_v<TEngine, CPluginChecker>)
        return engine.Run(kRunning, false, On(), Unclean(), CCheckSet::All());
    else
        return engine.Run(kRunning, 0, On(), Unclean(), CCheckSet::All().Bits());
}

template <typename TResult>
void Count(benchmark::State& state, const TResult& result, const CFiles& plugins, const CFiles& masters) {
    std::size_t entries = 0;
    for (const auto* list : {&plugins, &masters})
        for (const auto& f : *list) entries += f->EntryCount();
    state.counters["entries"] = double(entries);
    state.counters["conflicts"] = double(result.m_conflicts.size());
    state.counters["warnings"] = double(result.m_deleted.size() + result.m_unclean.size());
    state.SetLabel(kSets[std::size_t(state.range(0))].m_name);
}

// Extraction of every master and plugin, then the "Check &All" operation up
// to the finished, sorted pane tables.
void BM_FullCheckWithExtraction(benchmark::State& state) {
    const CBenchSet& set = Set(state.range(0));
    (void)Load(set.Masters());  // warms the page cache
    (void)Load(set.Plugins());
    for (auto _ : state) {
        CFiles masters = Load(set.Masters());
        CFiles plugins = Load(set.Plugins());
        CCheckInputs inputs;
        // The document's order: the last read first.
        for (auto it = plugins.rbegin(); it != plugins.rend(); ++it) inputs.loadedPlugins.push_back(it->get());
        for (auto it = masters.rbegin(); it != masters.rend(); ++it) inputs.foundMasters.push_back(it->get());
        inputs.conflictChecks = On();
        inputs.uncleanChecks = Unclean();
        inputs.checks = CCheckSet::All();
        CPaneFindings panes = RunCheckOperation(inputs);
        benchmark::DoNotOptimize(panes.m_conflict->size());
        state.PauseTiming();  // freeing the files and tables is not part of the check
        state.counters["conflicts"] = double(panes.m_conflict->size());
        state.counters["warnings"] = double(panes.m_warning->size());
        panes = {};
        plugins.clear();
        masters.clear();
        state.ResumeTiming();
    }
    state.counters["file_MB"] = double(set.Bytes()) / 1e6;
    state.SetLabel(kSets[std::size_t(state.range(0))].m_name);
}
BENCHMARK(BM_FullCheckWithExtraction)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Check &All" on files already read.
template <typename TEngine>
void CheckAlone(benchmark::State& state) {
    const CBenchSet& set = Set(state.range(0));
    const CFiles masters = Load(set.Masters());
    const CFiles plugins = Load(set.Plugins());
    for (auto _ : state) {
        TEngine engine;
        const auto& result = RunCheck(engine, plugins, masters);
        benchmark::DoNotOptimize(result.m_conflicts.size());
        Count(state, result, plugins, masters);
    }
}
void BM_CheckAlone(benchmark::State& state) { CheckAlone<CPluginChecker>(state); }
void BM_CheckAloneReference(benchmark::State& state) { CheckAlone<fixtures::CReferenceChecker>(state); }
BENCHMARK(BM_CheckAlone)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
// The nested loops are quadratic: the full set would take hours.
BENCHMARK(BM_CheckAloneReference)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
