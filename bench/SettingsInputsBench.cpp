// The game's settings at sizes no one writes by hand but a broken tool or a
// hostile file may: a Morrowind.ini naming 10,000 to 200,000 plugins (read
// as `vantor active` reads it, through the document), an openmw.cfg chain of
// config= folders nested 16 to 256 deep (the deepest followed), and a
// data= line of 10 MB. Each must grow in proportion to its input; the
// complexity line of each family says whether it does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "BenchKit.h"
#include "document/VANTORDoc.h"
#include "loadorder/LoadOrder.h"
#include "loadorder/OpenMWConfig.h"

namespace {

using namespace vantor;
namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A game folder whose Morrowind.ini names `n` plugins.
std::string GameWithPlugins(std::int64_t n) {
    const std::string game = bench::MakeScratchFolder("settings-bench");
    std::string ini = "[Game Files]\r\n";
    for (std::int64_t i = 0; i < n; ++i) ini += "GameFile" + std::to_string(i) + "=Plugin " + std::to_string(i) + ".esp\r\n";
    Write(game + "/Morrowind.ini", ini);
    fs::create_directories(game + "/Data Files");
    return game;
}

void BM_ChooseActivePlugins(benchmark::State& state) {
    const std::string game = GameWithPlugins(state.range(0));
    bench::CBenchLink link(false);
    std::size_t chosen = 0;
    for (auto _ : state) {
        CDocConfig config;
        config.m_settingsPath = game + "/vantor.ini";
        config.m_installDir = game;
        CVANTORDoc doc(config, &link);
        doc.ChooseActivePlugins();
        chosen = doc.PendingNames().size();
    }
    if (chosen != std::size_t(state.range(0))) state.SkipWithError("not every plugin was chosen");
    state.SetComplexityN(state.range(0));
    fs::remove_all(game);
}
BENCHMARK(BM_ChooseActivePlugins)->RangeMultiplier(2)->Range(12500, 200000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_NestedConfigFolders(benchmark::State& state) {
    const std::string root = bench::MakeScratchFolder("settings-bench");
    std::string folder = root + "/";
    for (std::int64_t depth = 0; depth < state.range(0); ++depth, folder += "n/")
        Write(folder + "openmw.cfg", "data=d\ncontent=" + std::to_string(depth) + ".esp\nconfig=n\n");
    std::size_t read = 0;
    for (auto _ : state) read = loadorder::ReadConfigChain(root, {}).m_files.size();
    if (read != std::size_t(state.range(0)) + 1) state.SkipWithError("the chain was not read to its end");
    state.SetComplexityN(state.range(0));
    fs::remove_all(root);
}
BENCHMARK(BM_NestedConfigFolders)->RangeMultiplier(2)->Range(16, 256)->Unit(benchmark::kMillisecond)->Complexity();

// A data= line of many short parts, the slowest kind to make a path of.
void BM_LongDataLine(benchmark::State& state) {
    const std::string root = bench::MakeScratchFolder("settings-bench");
    std::string parts;
    while (parts.size() < std::size_t(state.range(0))) parts += "a/";
    Write(root + "/openmw.cfg", "data=" + parts + "\ncontent=A.esp\n");
    for (auto _ : state) benchmark::DoNotOptimize(loadorder::ReadConfigChain(root, {}));
    state.SetBytesProcessed(state.iterations() * state.range(0));
    fs::remove_all(root);
}
BENCHMARK(BM_LongDataLine)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
