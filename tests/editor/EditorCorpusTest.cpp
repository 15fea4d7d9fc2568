// Every entry of the real plugins, shown in the grid and written back without
// a change, gives its data byte for byte, so "Write to ESP" writes nothing.
#include <gtest/gtest.h>

#include <map>

#include "fixtures/ScriptedLink.h"
#include "editor/EntryRows.h"
#include "editor/WriteBack.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;

TEST(EditorCorpus, EveryEntryRoundTripsThroughTheGrid) {
    const auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    std::map<std::string, std::size_t> types;
    std::size_t entries = 0, negative = 0;
    for (const auto& path : files) {
        const auto file = fixtures::ReadPluginAt(platform::FolderOf(path), platform::FileNameOf(path));
        ASSERT_TRUE(file) << path;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string_view tag = CPluginFile::kTags[t];
            for (const auto& entry : file->Table(t)) {
                // The editor does not open an entry with nothing after its ID.
                if (entry->DataLength() < 4) continue;
                ++entries;
                const auto rows = FillGrid(tag, *entry);
                for (const auto& row : rows) {
                    ++types[row.m_type];
                    negative += row.m_type == kTypeDec && row.m_data.starts_with('-');
                }
                fixtures::CScriptedLink link;
                const CWriteBack back = WriteBackRows(rows, link);
                std::string asked;
                for (const auto& m : link.Messages()) asked += m.m_text;
                const std::string where = path + " " + std::string(tag) + " " + std::string(entry->IdText());
                ASSERT_TRUE(back.m_ok && asked.empty()) << where << " row " << back.m_row << ": " << asked;
                ASSERT_TRUE(SameBytes(JoinSubRecords(back.m_subRecords), entry->Data())) << where;
            }
        }
    }
    EXPECT_GT(entries, 1000u);
    // Every display type met real data, negative 4-byte numbers included.
    for (std::string_view type : {kTypeDec, kTypeAscii, kTypeFixed, kTypeMixed, kTypeHex})
        EXPECT_GT(types[std::string(type)], 0u) << type;
    EXPECT_GT(negative, 0u);
}
