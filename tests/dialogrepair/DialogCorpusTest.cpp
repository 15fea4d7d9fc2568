// Real dialogue plugins that touch the same topics merge into a repair
// plugin that the project's own reader takes, with every chain consistent
// and every response of the inputs present.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "DialogKit.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "format/PluginFile.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// Topic name -> ids of its responses that are not deleted, by a plain walk.
using CDialogIds = std::map<std::string, std::set<std::string>>;
void WalkDialogue(const std::string& path, CDialogIds& out, bool addTopics) {
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(path, bytes)) << path;
    std::set<std::string>* current = nullptr;
    for (std::size_t pos = 0; pos + 16 <= bytes.size();) {
        const std::string tag = bytes.substr(pos, 4), data = bytes.substr(pos + 16, U32(bytes, pos + 4));
        pos += 16 + data.size();
        if (tag != "DIAL" && tag != "INFO") continue;
        CSubRecords subs;
        SplitSubRecords(data, subs);
        const std::string id(UpToNul(subs[0].m_payload));
        if (tag == "DIAL") current = IsDeletedData(data) || !(addTopics || out.count(id)) ? nullptr : &out[id];
        else if (current && !IsDeletedData(data)) current->insert(id);
    }
}

}  // namespace

TEST(DialogCorpus, SharedTopicsMergeIntoConsistentChainsTheReaderTakes) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> sets{  // plugins, masters
        {{"Data Files__fm_dialogue.esp", "Data Files__Clean_fm_dialogue.esp", "Data Files__fm_dialogue_final.ESP"},
         {"00 Core__OAAB_Data.esm"}},
        {{"The Blight.ESP", "The Blight_ServiceRefusal.ESP", "Flin__flin.ESP"}, {}},
        {{"Data Files__Chargen Scenarios - quests.ESP", "tests__assets__esp__test.esp"}, {"00 Core__OAAB_Data.esm"}},
    };
    for (const auto& [plugins, masters] : sets) {
        SCOPED_TRACE(plugins[0]);
        CTempDir out;
        CScriptedLink link;  // every question answered Yes
        CDialogMerge merge(link);
        CDialogIds expected;
        // Masters only add to topics a plugin holds.
        for (bool plugin : {true, false})
            for (const auto& name : plugin ? plugins : masters) {
                const auto path = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.ends_with(name); });
                ASSERT_NE(path, files.end()) << name;
                if (plugin) merge.AddPlugin(platform::FileNameOf(*path), platform::FolderOf(*path));
                else merge.AddMaster(platform::FileNameOf(*path), platform::FolderOf(*path));
                WalkDialogue(*path, expected, plugin);
            }
        merge.SetOutputPath(out / "Repair.esp");
        std::atomic<std::int32_t> stop{0};
        ASSERT_EQ(merge.Run(stop), 1);
        ASSERT_EQ(merge.Outcome(), CDialogMerge::EOutcome::Written);

        const CRepairBack back = ReadRepair(out / "Repair.esp");
        ASSERT_TRUE(back.m_ok);
        CDialogIds written;
        std::vector<std::pair<std::string, const CInfoRecord*>> infos;  // topic, response
        for (const auto& topic : back.m_topics) {
            EXPECT_TRUE(ChainConsistent(topic.m_infos));
            auto& ids = written[std::string(UpToNul(topic.m_name))];
            for (const auto& info : topic.m_infos) {
                EXPECT_TRUE(ids.emplace(UpToNul(info.m_inam)).second) << "written twice";
                infos.emplace_back(UpToNul(topic.m_name), &info);
            }
        }
        EXPECT_EQ(written, expected);

        // The project's reader takes it whole, every response under its topic.
        CPluginFile file;
        ASSERT_TRUE(file.Open("Repair.esp", out.Path()) && file.ReadRecords(stop, CExtractOpts::All()));
        EXPECT_EQ(file.Diagnostic().m_kind, CReadDiagnostic::EKind::None) << file.Diagnostic().m_message;
        ASSERT_EQ(file.GetTable("DIAL")->size(), back.m_topics.size());
        ASSERT_EQ(file.GetTable("INFO")->size(), infos.size());
        for (std::size_t k = 0; k < infos.size(); ++k) {
            const CEntry& e = *(*file.GetTable("INFO"))[k];
            EXPECT_EQ(e.m_id, infos[k].second->m_inam);
            EXPECT_EQ(e.m_topic, infos[k].first);
            EXPECT_EQ(e.m_deleted, 0);
        }
        file.Close();
    }
}
