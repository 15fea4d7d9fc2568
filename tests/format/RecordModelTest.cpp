#include <gtest/gtest.h>

#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "fixtures/PluginBuilder.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;

TEST(RecordModel, TablesAndKeys) {
    CPluginFile file;
    for (auto tag : CPluginFile::kTags) {
        ASSERT_NE(file.GetTable(tag), nullptr) << tag;
        EXPECT_TRUE(file.GetTable(tag)->empty());
    }
    EXPECT_EQ(file.GetTable("TES3"), nullptr);
    EXPECT_EQ(file.GetTable("npc_"), nullptr);  // keys are case-sensitive
    EXPECT_EQ(file.GetTable("FILE"), nullptr);

    // The names are kept whether or not the file opens.
    EXPECT_FALSE(file.Open("missing.esp", "/nonexistent-folder/"));
    EXPECT_EQ(file.FileName(), "missing.esp");
    EXPECT_EQ(file.Folder(), "/nonexistent-folder/");
    EXPECT_EQ(CPluginFile::TagIndex("ACTI"), 0);
    EXPECT_EQ(CPluginFile::TagIndex("WEAP"), 40);
}

TEST(RecordModel, DetachMovesAnEntryToTheRemovedOnes) {
    CPluginFile file;
    auto* stat = file.GetTable("STAT");
    for (int i = 0; i < 3; ++i) {
        auto e = std::make_unique<CEntry>();
        e->m_id = "s" + std::to_string(i);
        e->m_size = 20 + i;
        stat->push_back(std::move(e));
    }
    CEntry outsider;
    CEntry* middle = (*stat)[1].get();
    EXPECT_FALSE(file.DetachEntry(&outsider, "STAT"));
    EXPECT_FALSE(file.DetachEntry(middle, "MISC"));
    EXPECT_EQ(stat->size(), 3u);

    ASSERT_TRUE(file.DetachEntry(middle, "STAT"));
    ASSERT_EQ(stat->size(), 2u);
    EXPECT_EQ((*stat)[1]->m_id, "s2");  // later entries move up
    ASSERT_EQ(file.RemovedEntries().size(), 1u);
    EXPECT_EQ(file.RemovedEntries()[0].get(), middle);
    EXPECT_EQ(middle->m_sizeChange, -21);
}

TEST(RecordModel, SubRecordHelpers) {
    CSubRecords subs;
    for (std::size_t n = 0; n < 4; ++n) EXPECT_FALSE(SplitSubRecords(std::string(n, 'A'), subs));
    EXPECT_TRUE(subs.empty());

    std::string data = SubBytes({Sub("NAME", "abcd\0"s), Sub("DATA", I32(7))});
    ASSERT_TRUE(SplitSubRecords(data, subs));
    EXPECT_EQ(subs, (CSubRecords{{"NAME", "abcd\0"s}, {"DATA", I32(7)}}));
    EXPECT_EQ(JoinSubRecords(subs), data);

    // A size claiming more than remains gives a shortened last payload.
    subs.clear();
    ASSERT_TRUE(SplitSubRecords(SubBytes({Sub("NAME", "ab"), CSub{"DATA", "xyz", 100}}), subs));
    EXPECT_EQ(subs, (CSubRecords{{"NAME", "ab"}, {"DATA", "xyz"}}));

    // Only the low three size bytes count.
    subs.clear();
    ASSERT_TRUE(SplitSubRecords(SubBytes({CSub{"DATA", "abc", 0x01000003u}, Sub("NEXT", "")}), subs));
    EXPECT_EQ(subs, (CSubRecords{{"DATA", "abc"}, {"NEXT", ""}}));

    EXPECT_TRUE(IsDeletedData(SubBytes({Sub("DATA", "12345"), Dele()})));
    EXPECT_FALSE(IsDeletedData(SubBytes({Dele(), Sub("DATA", "")})));
    EXPECT_TRUE(IsDeletedData("DELE"));  // short data is tested at its start
    EXPECT_FALSE(IsDeletedData(""));

    EXPECT_FALSE(SameBytes("ab\0c"s, "ab\0d"s));
    EXPECT_TRUE(SameBytes("ab\0c"s, "ab\0c"s));
    EXPECT_FALSE(SameBytes("ab"s, "ab\0"s));
}

TEST(RecordModel, EntryDataSharingAndCopy) {
    auto buffer = std::make_shared<const std::string>("0123456789");
    CEntry a;
    a.SetSharedData(buffer, 2, 4);
    a.m_topic = "Greeting";
    CEntry b = a;
    EXPECT_EQ(b.Data(), "2345");
    b.SetData("new");
    EXPECT_EQ(a.Data(), "2345");
    EXPECT_EQ(b.Data(), "new");
    b.m_topic->append("!");
    EXPECT_EQ(*a.m_topic, "Greeting");
    a.OwnData();
    EXPECT_FALSE(a.SharesBuffer(buffer.get()));
    EXPECT_EQ(a.Data(), "2345");
    CEntry withNul;
    withNul.m_id = "abc\0def"s;
    EXPECT_EQ(withNul.IdText(), "abc");
}
