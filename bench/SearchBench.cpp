// The object search and the editor listing on a Morrowind-scale load order:
// an 80 MB master and 200 plugins, read with the default extraction options.
//
// Search: "Look in data" on, a text that is nowhere (so every byte is
// scanned and no row is made) and a text that is found often; match case
// on and off; over the plugins (with the master for the original-file
// column) and over the master. Bytes per second count the IDs and data of
// the searched entries. The literal window-by-window search (every window
// copied and lowered) runs once over the master for comparison.
//
// Listing: every entry of the master ("View All Esm Data", about 48,000
// rows) and of the 200 plugins ("View All Esp Data"), sort included.
//
// The set is generated once per process into a temporary folder;
// VANTOR_BENCH_SEARCH_SET names a folder that already holds one ("Data
// Files/" inside, as vantor-mkdata bench --plugins 200 writes it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "MkData.h"
#include "checks/EditorSetUp.h"
#include "checks/Search.h"
#include "format/PluginFile.h"
#include "platform/Files.h"
#include "platform/Cp1252.h"

namespace {

using namespace vantor;

const std::atomic<std::int32_t> kRunning{0};

const bench::CReadLoadOrder& Order() {
    static bench::CReadLoadOrder order("search", "VANTOR_BENCH_SEARCH_SET", 200);
    return order;
}

std::int64_t SearchedBytes(const std::vector<CPluginFile*>& files) {
    std::int64_t bytes = 0;
    for (const CPluginFile* f : files)
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (const auto& e : f->Table(t)) bytes += std::int64_t(e->IdText().size() + e->DataLength());
    return bytes;
}

// Argument 0: 0 a text that is nowhere, 1 a text found in many entries;
// argument 1: match case; argument 2: 0 plugins, 1 the master.
const char* const kTexts[] = {"exquisite_unused", "Dra"};

void BM_Search(benchmark::State& state) {
    const bench::CReadLoadOrder& order = Order();
    const bool masters = state.range(2) != 0;
    CPluginChecker engine;
    for (auto it = order.m_plugins.rbegin(); it != order.m_plugins.rend(); ++it) engine.AddPlugin(**it);
    for (auto it = order.m_masters.rbegin(); it != order.m_masters.rend(); ++it) engine.AddMaster(**it);
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = Search(engine, nullptr, kRunning, kTexts[state.range(0)], std::int32_t(state.range(1)), 0, 1,
                      masters ? 1 : 0)
                   .size();
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(state.iterations() * SearchedBytes(masters ? order.m_masters : order.m_plugins));
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Search)
    ->ArgNames({"found", "case", "masters"})
    ->ArgsProduct({{0, 1}, {1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// The plain way over the master: each window copied out, lowered, compared.
void BM_SearchWindowByWindow(benchmark::State& state) {
    const bench::CReadLoadOrder& order = Order();
    const std::string text = cp1252::Fold(kTexts[0]);
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const CPluginFile* f : order.m_masters)
            for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
                for (const auto& e : f->Table(t)) {
                    bool hit = false;
                    for (std::string_view bytes : {e->IdText(), e->Data()}) {
                        for (std::size_t i = 0; !hit && i + text.size() <= bytes.size(); ++i) {
                            const std::string window = cp1252::Fold(bytes.substr(i, text.size()));
                            hit = std::strcmp(window.c_str(), text.c_str()) == 0;
                        }
                    }
                    found += hit;
                }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * SearchedBytes(order.m_masters));
}
BENCHMARK(BM_SearchWindowByWindow)->Unit(benchmark::kMillisecond)->Iterations(1);

// Argument: 1 the master ("View All Esm Data"), 0 the plugins.
void BM_Listing(benchmark::State& state) {
    const bench::CReadLoadOrder& order = Order();
    CEditorSetUpInputs in;
    in.loadedPlugins = order.m_plugins;
    in.foundMasters = order.m_masters;
    in.viewMasters = state.range(0) != 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        auto found = RunEditorSetUp(in);
        rows = found.m_editor ? found.m_editor->size() : 0;
        benchmark::DoNotOptimize(found);
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Listing)->ArgName("masters")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
