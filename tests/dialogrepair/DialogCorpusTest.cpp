// Real dialogue plugins that touch the same topics merge into a repair
// plugin that the project's own reader takes, with every chain consistent
// and every response of the inputs present.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "DialogKit.h"
#include "format/Entry.h"
#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "dialogrepair/DialogMerge.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

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
        const std::string tag = bytes.substr(pos, 4);
        const std::size_t size = U32(bytes, pos + 4);
        const std::string data = bytes.substr(pos + 16, size);
        pos += 16 + size;
        CSubRecords subs;
        if (tag != "DIAL" && tag != "INFO") continue;
        SplitSubRecords(data, subs);
        const bool deleted = IsDeletedData(data);
        if (tag == "DIAL") {
            std::string name(UpToNul(subs[0].m_payload));
            current = nullptr;
            if (deleted) continue;
            if (addTopics) current = &out[name];
            else if (out.count(name)) current = &out[name];
        } else if (current && !deleted) {
            current->insert(std::string(UpToNul(subs[0].m_payload)));
        }
    }
}

std::string Find(const std::vector<std::string>& files, const std::string& tail) {
    for (const auto& f : files)
        if (f.size() >= tail.size() && f.compare(f.size() - tail.size(), tail.size(), tail) == 0) return f;
    return {};
}

}  // namespace

TEST(DialogCorpus, SharedTopicsMergeIntoConsistentChainsTheReaderTakes) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    struct CSet {
        std::vector<std::string> m_plugins;
        std::vector<std::string> m_masters;
    };
    const std::vector<CSet> sets{
        {{"Data Files__fm_dialogue.esp", "Data Files__Clean_fm_dialogue.esp", "Data Files__fm_dialogue_final.ESP"},
         {"00 Core__OAAB_Data.esm"}},
        {{"The Blight.ESP", "The Blight_ServiceRefusal.ESP", "Flin__flin.ESP"}, {}},
        {{"Data Files__Chargen Scenarios - quests.ESP", "tests__assets__esp__test.esp"}, {"00 Core__OAAB_Data.esm"}},
    };
    for (const CSet& set : sets) {
        CTempDir out;
        CScriptedLink link;  // every question answered Yes
        CDialogMerge merge(link);
        CDialogIds expected;
        // Masters only add to topics a plugin holds.
        for (bool plugin : {true, false})
            for (const auto& name : plugin ? set.m_plugins : set.m_masters) {
                const std::string path = Find(files, name);
                ASSERT_FALSE(path.empty()) << name;
                if (plugin) merge.AddPlugin(platform::FileNameOf(path), platform::FolderOf(path));
                else merge.AddMaster(platform::FileNameOf(path), platform::FolderOf(path));
                WalkDialogue(path, expected, plugin);
            }
        merge.SetOutputPath(out / "Repair.esp");
        std::atomic<std::int32_t> stop{0};
        ASSERT_EQ(merge.Run(stop), 1) << set.m_plugins[0];
        ASSERT_EQ(merge.Outcome(), CDialogMerge::EOutcome::Written);

        CRepairBack back = ReadRepair(out / "Repair.esp");
        ASSERT_TRUE(back.m_ok) << set.m_plugins[0];
        EXPECT_EQ(back.m_recordCount, back.m_records);
        CDialogIds written;
        std::size_t infos = 0;
        for (const auto& topic : back.m_topics) {
            EXPECT_TRUE(ChainConsistent(topic));
            auto& ids = written[std::string(UpToNul(topic.m_name))];
            for (const auto& info : topic.m_infos) EXPECT_TRUE(ids.emplace(UpToNul(info.m_inam)).second) << "written twice";
            infos += topic.m_infos.size();
        }
        EXPECT_EQ(written, expected) << set.m_plugins[0];

        // The project's reader takes it whole, every response under its topic.
        CPluginFile file;
        ASSERT_TRUE(file.Open("Repair.esp", out.Path()));
        ASSERT_TRUE(file.ReadRecords(stop, CExtractOpts::All()));
        EXPECT_EQ(file.Diagnostic().m_kind, CReadDiagnostic::EKind::None) << file.Diagnostic().m_message;
        ASSERT_EQ(file.GetTable("DIAL")->size(), back.m_topics.size());
        ASSERT_EQ(file.GetTable("INFO")->size(), infos);
        std::size_t k = 0;
        for (const auto& topic : back.m_topics)
            for (const auto& info : topic.m_infos) {
                const CEntry& e = *(*file.GetTable("INFO"))[k++];
                EXPECT_EQ(e.m_id, info.m_inam);
                EXPECT_EQ(e.m_topic, std::string(UpToNul(topic.m_name)));
                EXPECT_EQ(e.m_deleted, 0);
            }
        file.Close();
    }
}
