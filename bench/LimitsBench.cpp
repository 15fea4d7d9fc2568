// How close `vantor` comes to what the hardware allows: its CPU time (user
// + system, best of 3, measured on a fresh process so the machine's other
// work does not count) against a floor walk of the same files in the same
// run (every file read in 1 MB blocks, every record and subrecord header
// visited), and its peak memory against the files' size.
//
//   info on the generated 80 MB and 500 MB masters
//   check --all --format csv on 100, 300 and 1,000 generated plugins, with
//   the rows made and what a row costs: the time and memory of the check
//   over those of check --deleted on the same files (which reads the same
//   bytes and makes few rows), per row more; --format text beside it
//
// The sets are generated once into VANTOR_BENCH_LIMIT_SETS when it names a
// folder (m80/, m500/, 100/, 300/, 1000/; made when missing, kept for the
// next run; 1,000 plugins are 1.5 GB), else into a temporary folder removed
// afterwards. VANTOR_BENCH_VANTOR runs another build's vantor, so two builds
// are compared against one floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "FloorWalk.h"
#include "MkData.h"

extern char** environ;

namespace {

using namespace vantor;
namespace fs = std::filesystem;

constexpr int kRuns = 3;

std::string Vantor() {
    if (const char* given = std::getenv("VANTOR_BENCH_VANTOR"); given && *given) return given;
    return VANTOR_CLI_PATH;
}

// The folder the sets live in, and whether it goes with the process.
struct CSetsFolder {
    std::string m_path;
    bool m_temporary = false;
    CSetsFolder() {
        if (const char* given = std::getenv("VANTOR_BENCH_LIMIT_SETS"); given && *given) {
            m_path = given;
            std::error_code ec;
            fs::create_directories(m_path, ec);
        } else {
            m_path = bench::MakeScratchFolder("limits-bench");
            m_temporary = true;
        }
    }
    ~CSetsFolder() {
        std::error_code ec;
        if (m_temporary) fs::remove_all(m_path, ec);
    }
};

const CSetsFolder& Sets() {
    static const CSetsFolder folder;
    return folder;
}

// A set's folder (holding "Data Files/" and Morrowind.ini), generated when
// it is not there yet: a master of `masterMb` and `plugins` plugins.
std::string SetFolder(const std::string& name, double masterMb, int plugins) {
    const std::string folder = Sets().m_path + "/" + name;
    if (fs::exists(folder + "/Data Files")) return folder;
    const std::string partial = folder + ".partial";
    std::error_code ec;
    fs::remove_all(partial, ec);
    // Generated in a child process: Linux hands a process's memory
    // high-water mark on to the programs it starts, so a bench that had
    // generated a 500 MB master itself would report that as their peak.
    const pid_t child = fork();
    if (child == 0) {
        mkdata::CBenchOptions options;
        options.m_plugins = plugins;
        options.m_masterMegabytes = masterMb;
        const auto written = mkdata::WriteBenchSet(partial, options);
        if (!written.m_ok) std::cerr << "vantor limits bench: cannot generate " << name << ": " << written.m_error << "\n";
        _exit(written.m_ok ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
    fs::rename(partial, folder);
    return folder;
}

std::vector<std::string> DataFiles(const std::string& folder) {
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(folder + "/Data Files")) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct CRun {
    double m_cpu = 0;        // user + system seconds
    double m_peakMb = 0;     // resident-set high-water mark
    std::uint64_t m_lines = 0;  // lines of standard output
};

// Runs vantor with `args`, its output counted through a pipe.
CRun RunVantor(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string program = Vantor();
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::cerr << "vantor limits bench: cannot run " << program << "\n";
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    CRun run;
    std::vector<char> buffer(std::size_t(1) << 20);
    for (;;) {
        const ssize_t got = read(fds[0], buffer.data(), buffer.size());
        if (got <= 0) break;
        run.m_lines += std::uint64_t(std::count(buffer.data(), buffer.data() + got, '\n'));
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "vantor limits bench: " << program << " ended with status " << status << "\n";
        std::exit(1);
    }
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    run.m_cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.m_peakMb = double(usage.ru_maxrss) * 1024 / 1e6;
    return run;
}

// The best CPU time of kRuns runs, and the highest peak.
CRun BestOf(const std::vector<std::string>& args) {
    CRun best;
    for (int i = 0; i < kRuns; ++i) {
        const CRun run = RunVantor(args);
        if (i == 0 || run.m_cpu < best.m_cpu) best.m_cpu = run.m_cpu;
        best.m_peakMb = std::max(best.m_peakMb, run.m_peakMb);
        best.m_lines = run.m_lines;
    }
    return best;
}

void Report(benchmark::State& state, const CRun& run, const bench::CFloorWalk& floor) {
    state.SetIterationTime(run.m_cpu);
    state.counters["cpu_s"] = run.m_cpu;
    state.counters["floor_s"] = floor.m_cpuSeconds;
    state.counters["x_floor"] = run.m_cpu / std::max(floor.m_cpuSeconds, 1e-6);
    state.counters["input_MB"] = double(floor.m_bytes) / 1e6;
    state.counters["peak_MB"] = run.m_peakMb;
    state.counters["peak_x_input"] = run.m_peakMb * 1e6 / double(std::max<std::uint64_t>(floor.m_bytes, 1));
}

// vantor info on a generated master of the size given.
void BM_Info(benchmark::State& state) {
    const int mb = int(state.range(0));
    const std::string folder = SetFolder("m" + std::to_string(mb), mb, 0);
    const std::string master = folder + "/Data Files/Bench.esm";
    for (auto _ : state) {
        RunVantor({"info", master});  // warms the page cache
        const bench::CFloorWalk floor = bench::FloorWalk({master});
        Report(state, BestOf({"info", master}), floor);
    }
}
BENCHMARK(BM_Info)->ArgName("master_MB")->Arg(80)->Arg(500)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

std::vector<std::string> CheckArgs(const std::string& folder, const std::string& settings, const char* what,
                                   const char* format) {
    return {"check", what, "--format", format, "-q", "--install-dir", folder, "--active", "--masters",
            "--settings", settings};
}

// check --all on a generated load order: argument 0 the plugins, 1 the
// format (0 csv, 1 text).
void BM_CheckAll(benchmark::State& state) {
    const int plugins = int(state.range(0));
    const bool text = state.range(1) != 0;
    const std::string folder = SetFolder(std::to_string(plugins), 80, plugins);
    const std::string scratch = bench::MakeScratchFolder("limits-bench-settings");
    const std::string settings = scratch + "/vantor.ini";
    const auto args = CheckArgs(folder, settings, "--all", text ? "text" : "csv");
    for (auto _ : state) {
        RunVantor(args);
        const bench::CFloorWalk floor = bench::FloorWalk(DataFiles(folder));
        const CRun all = BestOf(args);
        Report(state, all, floor);
        if (!text) {
            // A header line for each of the three lists.
            const double rows = double(all.m_lines) - 3;
            state.counters["rows"] = rows;
            const CRun few = BestOf(CheckArgs(folder, settings, "--deleted", "csv"));
            const double more = std::max(1.0, rows - (double(few.m_lines) - 3));
            state.counters["row_ns"] = (all.m_cpu - few.m_cpu) / more * 1e9;
            state.counters["row_B"] = (all.m_peakMb - few.m_peakMb) * 1e6 / more;
        }
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
    state.SetLabel(text ? "text" : "csv");
}
BENCHMARK(BM_CheckAll)
    ->ArgNames({"plugins", "text"})
    ->Args({100, 0})
    ->Args({300, 0})
    ->Args({100, 1})
    ->Args({300, 1})
    ->Args({1000, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
