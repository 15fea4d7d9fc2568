#include "BenchKit.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include <benchmark/benchmark.h>

#include "MkData.h"
#include "platform/Files.h"

namespace vantor::bench {

std::string MakeScratchFolder(const std::string& what) {
    std::string folder = (std::filesystem::temp_directory_path() / ("vantor-" + what + "-XXXXXX")).string();
    if (!::mkdtemp(folder.data())) {
        std::perror(("vantor " + what + ": mkdtemp").c_str());
        std::exit(1);
    }
    return folder;
}

CReadLoadOrder::CReadLoadOrder(const std::string& what, const char* setVariable, int plugins) {
    std::string dataDir;
    if (const char* given = std::getenv(setVariable); given && *given) {
        dataDir = std::string(given) + "/Data Files/";
    } else {
        m_folder = MakeScratchFolder(what + "-bench");
        mkdata::CBenchOptions opts;
        opts.m_plugins = plugins;
        const auto written = mkdata::WriteBenchSet(m_folder, opts);
        if (!written.m_ok) {
            std::cerr << "vantor " << what << " bench: cannot generate the set: " << written.m_error << "\n";
            std::exit(1);
        }
        dataDir = m_folder + "/Data Files/";
    }
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::directory_iterator(dataDir)) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    const std::atomic<std::int32_t> running{0};
    for (const auto& path : paths) {
        const std::string ext = std::filesystem::path(path).extension().string();
        if (ext != ".esm" && ext != ".esp") continue;
        auto file = std::make_unique<CPluginFile>();
        if (!file->Open(platform::FileNameOf(path), platform::FolderOf(path)) ||
            !file->ReadRecords(running, CExtractOpts{})) {
            std::cerr << "vantor " << what << " bench: cannot read " << path << "\n";
            std::exit(1);
        }
        file->Close();
        (ext == ".esm" ? m_masters : m_plugins).push_back(file.get());
        m_files.push_back(std::move(file));
    }
}

CReadLoadOrder::~CReadLoadOrder() {
    m_files.clear();
    std::error_code ec;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

long MaxRssKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::optional<CPeak> MeasureInChild(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    argv.push_back(self.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[128] = {};
    const ssize_t got = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    CPeak peak;
    if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(buf, "%ld %ld %ld %ld", &peak.m_beforeKb, &peak.m_peakKb, &peak.m_extra, &peak.m_extra2) < 2)
        return std::nullopt;
    return peak;
}

std::string LoadOrderSetFolder(int plugins) {
    if (const char* given = std::getenv("VANTOR_BENCH_LOAD_ORDERS"); given && *given)
        return std::string(given) + "/" + std::to_string(plugins);
    static std::map<int, std::unique_ptr<mkdata::CTemporarySet>> sets;
    auto& set = sets[plugins];
    if (!set) {
        mkdata::CBenchOptions options;
        options.m_plugins = plugins;
        set = std::make_unique<mkdata::CTemporarySet>(options);
        if (!set->Written().m_ok) {
            std::cerr << "vantor bench: " << set->Written().m_error << "\n";
            std::exit(1);
        }
    }
    return set->Folder();
}

std::vector<std::string> SetPlugins(const std::string& folder) {
    std::vector<std::string> plugins;
    for (const auto& e : std::filesystem::directory_iterator(folder + "/Data Files"))
        if (e.path().extension() == ".esp") plugins.push_back(e.path().string());
    std::sort(plugins.begin(), plugins.end());
    return plugins;
}

int BenchMain(int argc, char** argv, const char* childFlag, int (*child)(const std::string& folder)) {
    if (argc == 3 && std::string(argv[1]) == childFlag) return child(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

void PrintPeak(long beforeKb) { std::printf("%ld %ld\n", beforeKb, MaxRssKilobytes()); }

}  // namespace vantor::bench
