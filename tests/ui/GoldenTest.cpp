// Save Results in the window writes what the command line's --log writes for
// the same load order: the two front ends make their texts separately. With
// VANTOR_GOLDEN_DIR set, the logs saved here are also kept there for
// tools/golden-outputs.sh.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "FrameFixture.h"
#include "platform/Files.h"

namespace vantor::uitest {
namespace {

namespace fs = std::filesystem;
using C = CMainFrame;

std::string Read(const std::string& path) {
    std::string out;
    platform::ReadWholeFile(path, out);
    return out;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Extension(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Every plugin of the data folder in name order.
std::vector<std::string> PluginPaths(const std::string& data) {
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(data))
        if (Extension(e.path()) == ".esp") paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The corpus's plugins and masters join the sample set, newer than it and in
// name order, masters first.
void AddCorpus(const std::string& data) {
    std::vector<std::string> files = fixtures::CorpusFiles();
    std::stable_partition(files.begin(), files.end(), [](const std::string& f) { return Extension(f) == ".esm"; });
    auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (const auto& f : files) {
        if (Extension(f) != ".esm" && Extension(f) != ".esp") continue;
        const std::string target = data + fs::path(f).filename().string();
        fs::copy_file(f, target, fs::copy_options::overwrite_existing);
        fs::last_write_time(target, when);
        when += std::chrono::hours(24);
    }
}

void Keep(const std::string& path, const std::string& name) {
    if (const char* dir = std::getenv("VANTOR_GOLDEN_DIR")) fs::copy_file(path, fs::path(dir) / name, fs::copy_options::overwrite_existing);
}

std::string Save(CFrameFixture& fx, const std::string& name) {
    const std::string path = fx.Dir() / name;
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {path}});
    fx.Frame().Action(C::kSaveResults)->trigger();
    Keep(path, name);
    return Read(path);
}

void SaveEverything(bool withCorpus) {
    CFrameFixture fx;
    if (withCorpus) AddCorpus(fx.DataDir());
    const std::vector<std::string> plugins = PluginPaths(fx.DataDir());
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, plugins});
    fx.Frame().Action(C::kChoosePlugins)->trigger();
    fx.Frame().Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    const std::string prefix = withCorpus ? "corpus-" : "sample-";
    const std::string gui = Save(fx, prefix + "check.txt");

    std::string command = Quote(VANTOR_CLI) + " check --all --quiet --install-dir " + Quote(fx.Dir().Path()) +
                          " --settings " + Quote(fx.Dir() / "cli.ini") + " --log " + Quote(fx.Dir() / "cli.txt");
    for (const auto& p : plugins) command += " " + Quote(p);
    command += " >/dev/null 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_FALSE(gui.empty());
    EXPECT_EQ(gui, Read(fx.Dir() / "cli.txt"));

    // Sorted as the user sorts, then the other lists' fills.
    emit fx.Frame().View(EPane::Warning)->horizontalHeader()->sectionClicked(2);
    emit fx.Frame().View(EPane::Conflict)->horizontalHeader()->sectionClicked(3);
    emit fx.Frame().View(EPane::Conflict)->horizontalHeader()->sectionClicked(3);
    Save(fx, prefix + "check-sorted.txt");
    fx.Frame().Action(C::kViewAllEsp)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "view-all-esp.txt");
    fx.Frame().Action(C::kViewAllGlobal)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "global-changes.txt");
    fx.Frame().Action(C::kViewAllEsm)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "view-all-esm.txt");
}

TEST(Golden, SaveResultsMatchesTheCommandLineLog) {
    SaveEverything(false);
    if (!fixtures::CorpusDir().empty()) SaveEverything(true);
}

}  // namespace
}  // namespace vantor::uitest
