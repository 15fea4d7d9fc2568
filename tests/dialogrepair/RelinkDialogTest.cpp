#include <gtest/gtest.h>

#include <atomic>

#include "DialogKit.h"
#include "document/operations/RelinkDialog.h"
#include "fixtures/GameFolder.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

class RelinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each plugin has a topic of its own, so the repair plugin shows
        // which plugins were read; "Shared" shows the order they were read in.
        for (const std::string name : {"A.esp", "B.esp", "PendingMaster.esp", "LoadedMaster.esp", "Morrowind.esm"}) {
            CPluginBuilder b;
            b.Header();
            const bool master = name.ends_with(".esm");
            if (!master) AddTopic(b, "own " + name, {{"id " + name, "", "", "x"}});
            AddTopic(b, "Shared", {{master ? "m" : "s", "", "", master ? "master" : "from " + name}});
            m_game.Write(name, b, 1000);
        }
        m_in.m_espPath = m_in.m_dataDir = m_data;
        m_in.m_stop = &m_stop;
        m_in.m_findMasters = [this](std::vector<std::string>& names, std::vector<std::string>& folders) {
            ++m_searches;
            names = {"Morrowind.esm"};
            folders = {m_data};
        };
    }

    CGameFolder m_game;
    const std::string m_data = m_game.m_data;
    std::atomic<std::int32_t> m_stop{0};
    CRelinkInputs m_in;
    int m_searches = 0;
};

}  // namespace

// Automatic mode reads the pending and loaded plugins and, in Single Versus,
// the master plugin (pending before loaded); the window is used in manual
// mode, without a repair plugin or without files, and closed it changes
// nothing.
TEST_F(RelinkTest, TheFilesReadComeFromTheDocumentOrTheWindow) {
    struct CCase {
        std::int32_t m_auto, m_checkMode;
        std::string m_esp;
        std::vector<std::string> m_pending, m_loaded;
        std::string m_pendingMaster, m_loadedMaster;
        std::vector<std::string> m_topics;  // of the repair plugin; none: the window was closed
        int m_conflicts = 0;
    };
    const std::vector<std::string> ab = {"own A.esp", "Shared", "own B.esp"};
    const CCase cases[] = {
        // The loaded master comes twice; its second copy goes without a question.
        {1, 1, "Repair.esp", {"A.esp"}, {"B.esp", "LoadedMaster.esp"}, "", "LoadedMaster.esp",
         {"own A.esp", "Shared", "own B.esp", "own LoadedMaster.esp"}, 2},
        {1, 1, "Repair.esp", {"A.esp"}, {"B.esp"}, "PendingMaster.esp", "LoadedMaster.esp",
         {"own A.esp", "Shared", "own B.esp", "own PendingMaster.esp"}, 2},
        {1, 0, "Repair.esp", {"A.esp"}, {"B.esp"}, "PendingMaster.esp", "LoadedMaster.esp", ab, 1},
        {0, 0, "Repair.esp", {"A.esp"}, {}, "", "", {}},
        {1, 0, "", {"A.esp"}, {}, "", "", {}},
        {1, 0, "Repair.esp", {}, {}, "", "", {}},
    };
    int runs = 0;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_esp + " " + std::to_string(c.m_auto) + " " + std::to_string(c.m_pending.size()));
        platform::RemoveFile(m_data + "Repair.esp");
        CScriptedLink link;
        m_in.m_link = &link;
        m_in.m_autoRelink = c.m_auto;
        m_in.m_checkMode = c.m_checkMode;
        m_in.m_espFilename = c.m_esp;
        m_in.m_pendingNames = c.m_pending;
        m_in.m_pendingFolders = std::vector<std::string>(c.m_pending.size(), m_data);
        m_in.m_loadedNames = c.m_loaded;
        m_in.m_loadedFolders = std::vector<std::string>(c.m_loaded.size(), m_data);
        m_in.m_pendingMasterName = c.m_pendingMaster;
        m_in.m_loadedMasterName = c.m_loadedMaster;
        m_in.m_pendingMasterFolder = m_in.m_loadedMasterFolder = m_data;
        const CRelinkResult r = RelinkDialog(m_in);
        EXPECT_EQ(r.m_ran, !c.m_topics.empty());
        EXPECT_FALSE(r.m_espFilename || r.m_espPath);
        EXPECT_EQ(m_searches, runs += r.m_ran);  // only once the files are known
        const auto calls = link.Calls();
        if (c.m_topics.empty()) {
            EXPECT_EQ(calls, std::vector<std::string>{"repair-tool " + m_data + "|" + c.m_esp});
            EXPECT_FALSE(platform::FileExists(m_data + "Repair.esp"));
            continue;
        }
        EXPECT_EQ(r.m_runResult, 1);
        EXPECT_EQ(r.m_outcome, CDialogMerge::EOutcome::Written);
        std::vector<std::string> topics;
        for (const auto& t : ReadRepair(m_data + "Repair.esp").m_topics) topics.emplace_back(UpToNul(t.m_name));
        EXPECT_EQ(topics, c.m_topics);
        EXPECT_EQ(
            std::count_if(calls.begin(), calls.end(), [](const auto& s) { return s.starts_with("ask Conflict"); }),
            c.m_conflicts);
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const auto& s) { return s.starts_with("repair-tool"); }),
                  0);
    }
}

// The window's choice names the repair plugin and the reading order.
TEST_F(RelinkTest, TheWindowsChoiceNamesTheRepairPluginAndTheReadingOrder) {
    MakeFolder(m_game.m_dir / "out");
    CRepairDialogResult chosen;
    chosen.m_repairName = "Fixed.esp";
    chosen.m_repairFolder = m_game.m_dir / "out/";
    chosen.m_pluginNames = {"B.esp", "A.esp"};  // in the order added
    chosen.m_pluginFolders = {m_data, m_data};
    m_game.m_link.m_repairDialogs.push_back(chosen);
    m_in.m_link = &m_game.m_link;
    m_in.m_autoRelink = 1;  // no files: the window is used all the same
    m_in.m_espFilename = "Old.esp";
    const CRelinkResult r = RelinkDialog(m_in);
    ASSERT_TRUE(r.m_ran);
    EXPECT_EQ(r.m_espFilename, "Fixed.esp");
    EXPECT_EQ(r.m_espPath, m_game.m_dir / "out/");
    EXPECT_EQ(r.m_outcome, CDialogMerge::EOutcome::Written);
    EXPECT_EQ(m_searches, 1);
    ASSERT_FALSE(m_game.m_link.Calls().empty());
    EXPECT_EQ(m_game.m_link.Calls().front(), "repair-tool " + m_data + "|Old.esp");
    CRepairBack back = ReadRepair(m_game.m_dir / "out/Fixed.esp");
    ASSERT_TRUE(back.m_ok);
    // Same file times: the one read later stays, and that is A.
    EXPECT_EQ(back.Chains()["Shared"], "s=from A.esp m=master");
    EXPECT_EQ(U32(back.m_header, 354) | std::uint64_t(U32(back.m_header, 358)) << 32,
              *platform::FileSize(m_data + "Morrowind.esm"));
    EXPECT_FALSE(platform::FileExists(m_data + "Old.esp"));
}
