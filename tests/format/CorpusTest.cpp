// Every real plugin reads, and the reader stores exactly as many entries per
// tag as a plain walk over the records finds.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "format/PluginFile.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;

namespace {

std::map<std::string, std::size_t> WalkRecords(const std::string& bytes) {
    std::map<std::string, std::size_t> counts;
    std::size_t pos = 0;
    while (pos + 16 <= bytes.size()) {
        std::string tag = bytes.substr(pos, 4);
        std::size_t size = static_cast<unsigned char>(bytes[pos + 4]) | static_cast<unsigned char>(bytes[pos + 5]) << 8 |
                           std::size_t(static_cast<unsigned char>(bytes[pos + 6])) << 16;
        if (CPluginFile::TagIndex(tag) >= 0) ++counts[tag];
        pos += 16 + size;
    }
    return counts;
}

}  // namespace

TEST(Corpus, EveryFileReadsAndCountsMatchARecordWalk) {
    auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    for (const auto& path : files) {
        std::string bytes;
        ASSERT_TRUE(platform::ReadWholeFile(path, bytes)) << path;
        CPluginFile file;
        ASSERT_TRUE(file.Open(platform::FileNameOf(path), platform::FolderOf(path))) << path;
        std::atomic<std::int32_t> stop{0};
        ASSERT_TRUE(file.ReadRecords(stop, CExtractOpts::All())) << path;
        EXPECT_EQ(file.Diagnostic().m_kind, CReadDiagnostic::EKind::None) << path << ": " << file.Diagnostic().m_message;
        auto expected = WalkRecords(bytes);
        for (std::size_t i = 0; i < CPluginFile::kTableCount; ++i) {
            std::string tag(CPluginFile::kTags[i]);
            EXPECT_EQ(file.Table(i).size(), expected[tag]) << path << " " << tag;
        }
    }
}
