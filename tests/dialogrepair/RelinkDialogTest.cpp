#include <gtest/gtest.h>

#include <atomic>

#include "DialogKit.h"
#include "document/OutputPath.h"
#include "document/operations/RelinkDialog.h"
#include "fixtures/GameFolder.h"

using namespace vantor;
using namespace vantor::fixtures;

// Automatic mode reads the pending and loaded plugins and, in Single Versus,
// the master plugin (pending before loaded); the window is used in manual
// mode, without a repair plugin or without files: closed it changes nothing,
// and its choice names the repair plugin and the reading order.
TEST(Relink, TheFilesReadComeFromTheDocumentOrTheWindow) {
    CGameFolder game;
    const std::string data = game.m_data;
    // Each plugin has a topic of its own, so the repair plugin shows which
    // plugins were read; "Shared" shows the order they were read in.
    for (const std::string name : {"A.esp", "B.esp", "PendingMaster.esp", "LoadedMaster.esp", "Morrowind.esm"}) {
        CPluginBuilder b;
        b.Header();
        const bool master = name.ends_with(".esm");
        if (!master) AddTopic(b, "own " + name, {{"id " + name, "", "", "x"}});
        AddTopic(b, "Shared", {{master ? "m" : "s", "", "", master ? "master" : "from " + name}});
        game.Write(name, b, 1000);
    }
    MakeFolder(game.m_dir / "out");
    // Plugins in the order added.
    const CRepairDialogResult chosen{"Fixed.esp", game.m_dir / "out/", {"B.esp", "A.esp"}, {data, data}};
    std::atomic<std::int32_t> stop{0};
    int searches = 0;
    CRelinkInputs in;
    in.m_espPath = in.m_dataDir = in.m_pendingMasterFolder = in.m_loadedMasterFolder = data;
    in.m_stop = &stop;
    in.m_findMasters = [&](std::vector<std::string>& names, std::vector<std::string>& folders) {
        ++searches;
        names = {"Morrowind.esm"};
        folders = {data};
    };

    struct CCase {
        std::int32_t m_auto, m_checkMode;
        std::string m_esp;
        std::vector<std::string> m_pending, m_loaded;
        std::string m_pendingMaster, m_loadedMaster;
        std::string m_topics;  // of the repair plugin; none: the window was closed
        int m_conflicts = 0;
        bool m_window = false;  // the window is used and chooses
    };
    const CCase cases[] = {
        // The loaded master comes twice; its second copy goes without a question.
        {1, 1, "Repair.esp", {"A.esp"}, {"B.esp", "LoadedMaster.esp"}, "", "LoadedMaster.esp",
         "own A.esp|Shared|own B.esp|own LoadedMaster.esp|", 2},
        {1, 1, "Repair.esp", {"A.esp"}, {"B.esp"}, "PendingMaster.esp", "LoadedMaster.esp",
         "own A.esp|Shared|own B.esp|own PendingMaster.esp|", 2},
        {1, 0, "Repair.esp", {"A.esp"}, {"B.esp"}, "PendingMaster.esp", "LoadedMaster.esp",
         "own A.esp|Shared|own B.esp|", 1},
        {0, 0, "Repair.esp", {"A.esp"}, {}, "", "", ""},
        {1, 0, "", {"A.esp"}, {}, "", "", ""},
        {1, 0, "Repair.esp", {}, {}, "", "", ""},
        {1, 0, "Old.esp", {}, {}, "", "", "own B.esp|Shared|own A.esp|", 1, true},
    };
    int runs = 0;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_esp + " " + std::to_string(c.m_auto) + " " + std::to_string(c.m_pending.size()));
        platform::RemoveFile(data + "Repair.esp");
        CScriptedLink link;
        if (c.m_window) link.m_repairDialogs.push_back(chosen);
        in.m_link = &link;
        in.m_automatic = c.m_auto != 0;
        in.m_singleVersus = c.m_checkMode != 0;
        in.m_espFilename = c.m_esp;
        in.m_pendingNames = c.m_pending;
        in.m_pendingFolders = std::vector<std::string>(c.m_pending.size(), data);
        in.m_loadedNames = c.m_loaded;
        in.m_loadedFolders = std::vector<std::string>(c.m_loaded.size(), data);
        in.m_pendingMasterName = c.m_pendingMaster;
        in.m_loadedMasterName = c.m_loadedMaster;
        const CRelinkResult r = RelinkDialog(in);
        EXPECT_EQ(r.m_ran, !c.m_topics.empty());
        EXPECT_EQ(r.m_espFilename.value_or("-") + r.m_espPath.value_or("-"),
                  c.m_window ? "Fixed.esp" + chosen.m_repairFolder : "--");
        EXPECT_EQ(searches, runs += r.m_ran);  // only once the files are known
        const auto calls = link.Calls();
        // The window, when used, comes first, once, seeded with the repair plugin.
        const bool manual = c.m_window || !r.m_ran;
        EXPECT_EQ(std::ranges::count_if(calls, [](auto& s) { return s.starts_with("repair-tool"); }), manual ? 1 : 0);
        EXPECT_TRUE(!manual || (!calls.empty() && calls.front() == "repair-tool " + data + "|" + c.m_esp));
        if (!r.m_ran) {
            EXPECT_EQ(calls.size(), 1u);
            EXPECT_FALSE(platform::FileExists(data + "Repair.esp"));
            continue;
        }
        EXPECT_EQ(r.m_runResult, 1);
        EXPECT_EQ(r.m_outcome, CDialogMerge::EOutcome::Written);
        CRepairBack back = ReadRepair(c.m_window ? chosen.m_repairFolder + "Fixed.esp" : data + "Repair.esp");
        ASSERT_TRUE(back.m_ok);
        std::string topics;
        for (const auto& t : back.m_topics) topics += std::string(UpToNul(t.m_name)) + "|";
        EXPECT_EQ(topics, c.m_topics);
        EXPECT_EQ(std::ranges::count_if(calls,
                                        [](const std::string& call) {
                                            return call.starts_with("ask Conflict Found|Conflicting Dialog Found.");
                                        }),
                  c.m_conflicts);
        // Same file times: the plugin read last stays; the master's size is in the header.
        const std::string last = c.m_topics.substr(c.m_topics.rfind("own ") + 4);
        EXPECT_EQ(back.Chains()["Shared"], "s=from " + last.substr(0, last.size() - 1) + " m=master");
        EXPECT_EQ(U32(back.m_header, 354) | std::uint64_t(U32(back.m_header, 358)) << 32,
                  *platform::FileSize(data + "Morrowind.esm"));
    }
    EXPECT_FALSE(platform::FileExists(data + "Old.esp"));

    // The window confirmed without a plugin: refused before any question,
    // the repair plugin there left as it is, nothing read.
    ASSERT_TRUE(CPluginBuilder().Header().Write(chosen.m_repairFolder + "Fixed.esp"));
    const std::string old = ReadText(chosen.m_repairFolder + "Fixed.esp");
    CScriptedLink link;
    link.m_repairDialogs.push_back(CRepairDialogResult{"Fixed.esp", chosen.m_repairFolder, {}, {}});
    link.m_answers = {EAnswer::Yes};
    in.m_link = &link;
    in.m_automatic = false;
    in.m_prepareOutput = [&link](const std::string& path, bool agreed, const std::vector<std::string>&) {
        return PrepareOutput(path, {}, agreed ? EReplace::Agreed : EReplace::Ask, EOutput::RepairPlugin, link);
    };
    const CRelinkResult empty = RelinkDialog(in);
    EXPECT_TRUE(empty.m_noPlugins);
    EXPECT_NE(empty.m_outcome, CDialogMerge::EOutcome::Written);
    EXPECT_EQ(searches, runs);
    const auto calls = link.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], "ask Cannot Complete Request|There are no Plugins to Repair.\nAdd the plugins whose dialogue "
                        "is to be merged.");
    EXPECT_EQ(ReadText(chosen.m_repairFolder + "Fixed.esp"), old);
}
