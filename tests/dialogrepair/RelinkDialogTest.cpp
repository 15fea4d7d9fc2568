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
        m_in.m_espFilename = "Repair.esp";
        m_in.m_espPath = m_in.m_dataDir = m_data;
        m_in.m_stop = &m_stop;
        m_in.m_link = &m_game.m_link;
        m_in.m_findMasters = [this](std::vector<std::string>& names, std::vector<std::string>& folders) {
            ++m_searches;
            names = {"Morrowind.esm"};
            folders = {m_data};
        };
    }

    std::vector<std::string> Topics(const std::string& path) {
        std::vector<std::string> names;
        CRepairBack back = ReadRepair(path);
        EXPECT_TRUE(back.m_ok) << path;
        for (const auto& t : back.m_topics) names.emplace_back(t.m_name.c_str());
        return names;
    }

    CGameFolder m_game;
    const std::string m_data = m_game.m_data;
    std::atomic<std::int32_t> m_stop{0};
    CRelinkInputs m_in;
    int m_searches = 0;
};

}  // namespace

TEST_F(RelinkTest, AutomaticModeReadsPendingLoadedAndTheSingleVersusMaster) {
    m_in.m_autoRelink = 1;
    m_in.m_pendingNames = {"A.esp"};
    m_in.m_pendingFolders = {m_data};
    m_in.m_loadedNames = {"B.esp", "LoadedMaster.esp"};
    m_in.m_loadedFolders = {m_data, m_data};
    m_in.m_checkMode = 1;
    m_in.m_loadedMasterName = "LoadedMaster.esp";
    m_in.m_loadedMasterFolder = m_data;

    CRelinkResult r = RelinkDialog(m_in);
    EXPECT_TRUE(r.m_ran);
    EXPECT_FALSE(r.m_espFilename || r.m_espPath);
    EXPECT_EQ(r.m_runResult, 1);
    EXPECT_EQ(r.m_outcome, CDialogMerge::EOutcome::Written);
    EXPECT_EQ(m_searches, 1);
    EXPECT_EQ(Topics(m_data + "Repair.esp"),
              (std::vector<std::string>{"own A.esp", "Shared", "own B.esp", "own LoadedMaster.esp"}));
    // The loaded master comes twice; its second copy goes without a question.
    // The three different "s" responses do ask.
    int conflicts = 0;
    for (const auto& c : m_game.m_link.Calls()) {
        EXPECT_EQ(c.find("repair-tool"), std::string::npos);
        conflicts += c.find("Conflict Found") != std::string::npos;
    }
    EXPECT_EQ(conflicts, 2);

    // A pending master is taken before the loaded one; Full Check takes neither.
    m_in.m_pendingMasterName = "PendingMaster.esp";
    m_in.m_pendingMasterFolder = m_data;
    m_in.m_loadedNames = {"B.esp"};
    m_in.m_loadedFolders = {m_data};
    RelinkDialog(m_in);
    EXPECT_EQ(Topics(m_data + "Repair.esp"),
              (std::vector<std::string>{"own A.esp", "Shared", "own B.esp", "own PendingMaster.esp"}));
    m_in.m_checkMode = 0;
    RelinkDialog(m_in);
    EXPECT_EQ(Topics(m_data + "Repair.esp"), (std::vector<std::string>{"own A.esp", "Shared", "own B.esp"}));
}

// The window is used in manual mode, without a repair plugin or without
// files; closed, it changes nothing; its choice names the repair plugin and
// the reading order.
TEST_F(RelinkTest, TheWindowIsUsedWithoutARepairPluginOrFilesAndItsChoiceIsRead) {
    struct CCase {
        std::int32_t m_auto;
        std::string m_esp;
        std::vector<std::string> m_files;
    };
    for (const CCase& c : {CCase{0, "Repair.esp", {"A.esp"}}, CCase{1, "", {"A.esp"}}, CCase{1, "Repair.esp", {}}}) {
        CScriptedLink link;
        m_in.m_link = &link;
        m_in.m_autoRelink = c.m_auto;
        m_in.m_espFilename = c.m_esp;
        m_in.m_pendingNames = c.m_files;
        m_in.m_pendingFolders = std::vector<std::string>(c.m_files.size(), m_data);
        CRelinkResult r = RelinkDialog(m_in);
        EXPECT_FALSE(r.m_ran || r.m_espFilename);
        EXPECT_EQ(link.Calls(), std::vector<std::string>{"repair-tool " + m_data + "|" + c.m_esp});
    }
    EXPECT_EQ(m_searches, 0);
    EXPECT_FALSE(platform::FileExists(m_data + "Repair.esp"));

    MakeFolder(m_game.m_dir / "out");
    CRepairDialogResult chosen;
    chosen.m_repairName = "Fixed.esp";
    chosen.m_repairFolder = m_game.m_dir / "out/";
    chosen.m_pluginNames = {"B.esp", "A.esp"};  // in the order added
    chosen.m_pluginFolders = {m_data, m_data};
    m_game.m_link.m_repairDialogs.push_back(chosen);
    m_in.m_link = &m_game.m_link;
    m_in.m_espFilename = "Old.esp";  // no files: the window is used all the same
    CRelinkResult r = RelinkDialog(m_in);
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
