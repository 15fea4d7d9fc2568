// Every entry of the real plugins, shown in the grid and written back without
// a change, gives its data byte for byte, so "Write to ESP" writes nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "editor/EntryRows.h"
#include "editor/WriteBack.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;

TEST(EditorCorpus, EveryEntryRoundTripsThroughTheGrid) {
    auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    std::map<std::string, std::size_t> types;
    std::size_t entries = 0;
    std::size_t negative = 0;
    for (const auto& path : files) {
        CPluginFile file;
        ASSERT_TRUE(file.Open(platform::FileNameOf(path), platform::FolderOf(path))) << path;
        std::atomic<std::int32_t> stop{0};
        ASSERT_TRUE(file.ReadRecords(stop, CExtractOpts::All())) << path;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string_view recordType = CPluginFile::kTags[t];
            for (const auto& entry : file.Table(t)) {
                // The editor does not open an entry with nothing after its ID.
                if (entry->DataLength() < 4) continue;
                ++entries;
                auto rows = FillGrid(recordType, *entry);
                for (const auto& row : rows) {
                    ++types[row.m_type];
                    negative += row.m_type == kTypeDec && row.m_data.starts_with('-');
                }
                std::vector<CMessage> asked;
                CWriteBack back = WriteBackRows(rows, [&](const CMessage& m) {
                    asked.push_back(m);
                    return EAnswer::No;
                });
                ASSERT_TRUE(back.m_ok) << path << " " << recordType << " " << entry->IdText() << " row " << back.m_row
                                       << ": " << (asked.empty() ? "" : asked[0].m_text);
                ASSERT_TRUE(asked.empty());
                ASSERT_TRUE(SameBytes(JoinSubRecords(back.m_subRecords), entry->Data()))
                    << path << " " << recordType << " " << entry->IdText();
            }
        }
    }
    EXPECT_GT(entries, 1000u);
    // Every display type met real data, negative 4-byte numbers included.
    for (std::string_view type : {kTypeDec, kTypeAscii, kTypeFixed, kTypeMixed, kTypeHex})
        EXPECT_GT(types[std::string(type)], 0u) << type;
    EXPECT_GT(negative, 0u);
}
