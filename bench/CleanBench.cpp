// The writer's part of the automatic clean: erasing the unclean records of
// one plugin. The one-pass erase (one working copy for all records) against
// erasing them one by one (one working copy per record, quadratic in the
// file size), both with the backup and the flushes a real change makes.
//
// The plugin: 10,000 records of 60 to 1,500 bytes (about 7.5 MB), every other
// one unclean. Argument: the number of records erased.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "format/PluginFile.h"
#include "format/RecordWriter.h"

namespace {

using namespace vantor;

constexpr int kRecords = 10000;


class CPluginOnDisk {
public:
    CPluginOnDisk() {
        m_folder = bench::MakeScratchFolder("clean-bench") + "/";
        static const char* kTags[] = {"STAT", "NPC_", "MISC", "WEAP", "ARMO", "CONT", "LIGH", "BOOK"};
        std::mt19937 rng(7);
        records::CRecordWriter b;
        b.Header({"Morrowind.esm"});
        for (int i = 0; i < kRecords; ++i) {
            const std::size_t body = 40 + rng() % 1440;
            b.Record(kTags[i % 8], {records::Name("record_" + std::to_string(i)),
                                    records::Sub("MODL", records::Z("meshes\\m" + std::to_string(i) + ".nif")),
                                    records::Sub("DATA", std::string(body, char('a' + i % 26)))});
        }
        m_bytes = b.Bytes();
    }
    ~CPluginOnDisk() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    // A fresh plugin with no backup beside it, read, and the entries to erase:
    // every other record in file order, `count` of them.
    std::unique_ptr<CPluginFile> Fresh(int count, std::vector<const CEntry*>& doomed) {
        std::filesystem::remove(m_folder + "Bench.OLD");
        records::CRecordWriter().Raw(m_bytes).Write(m_folder + "Bench.esp");
        auto file = std::make_unique<CPluginFile>();
        std::atomic<std::int32_t> stop{0};
        if (!file->Open("Bench.esp", m_folder) || !file->ReadRecords(stop, CExtractOpts::All())) return nullptr;
        file->Close();
        std::vector<const CEntry*> all;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (const auto& e : file->Table(t)) all.push_back(e.get());
        std::sort(all.begin(), all.end(), [](const CEntry* a, const CEntry* b) { return a->m_offset < b->m_offset; });
        doomed.clear();
        for (std::size_t i = 0; i < all.size() && int(doomed.size()) < count; i += 2) doomed.push_back(all[i]);
        return file;
    }

    std::size_t Size() const { return m_bytes.size(); }

private:
    std::string m_folder;
    std::string m_bytes;
};

CPluginOnDisk& Plugin() {
    static CPluginOnDisk plugin;
    return plugin;
}

// A fresh plugin for one iteration, prepared outside the timing.
std::unique_ptr<CPluginFile> Prepare(benchmark::State& state, std::vector<const CEntry*>& doomed) {
    state.PauseTiming();
    auto file = Plugin().Fresh(int(state.range(0)), doomed);
    state.ResumeTiming();
    if (!file) state.SkipWithError("could not read the generated plugin");
    return file;
}

void BM_EraseInOnePass(benchmark::State& state) {
    CFixedBackupPolicy policy;
    for (auto _ : state) {
        std::vector<const CEntry*> doomed;
        auto file = Prepare(state, doomed);
        if (!file) break;
        std::vector<bool> erased;
        if (!file->EraseEntries(doomed, policy, erased).Ok() || std::count(erased.begin(), erased.end(), true) != state.range(0)) {
            state.SkipWithError("not every record was erased");
            break;
        }
    }
    state.counters["plugin_MB"] = double(Plugin().Size()) / (1 << 20);
}

// One working copy per record, as Delete Entry does for a single entry.
void BM_EraseOneByOne(benchmark::State& state) {
    CFixedBackupPolicy policy;
    for (auto _ : state) {
        std::vector<const CEntry*> doomed;
        auto file = Prepare(state, doomed);
        if (!file) break;
        for (const CEntry* e : doomed) {
            CEntry copy = *e;
            if (!file->EraseEntry(copy, policy).Ok()) {
                state.SkipWithError("erase failed");
                return;
            }
            file->DetachEntry(e, [&] {
                for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
                    for (const auto& x : file->Table(t))
                        if (x.get() == e) return CPluginFile::kTags[t];
                return std::string_view();
            }());
        }
    }
    state.counters["plugin_MB"] = double(Plugin().Size()) / (1 << 20);
}

}  // namespace

BENCHMARK(BM_EraseInOnePass)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EraseOneByOne)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
