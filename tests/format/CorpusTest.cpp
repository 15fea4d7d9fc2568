// Every real plugin reads whole, as a plain walk over its records finds it,
// and survives erasures and a rewrite.
#include <gtest/gtest.h>

#include "format/ScanReference.h"
#include "format/WriterFixture.h"

using namespace vantor;
using namespace vantor::fixtures;

TEST(Corpus, EveryFileReadsAsARecordWalkFindsItAndSurvivesChanges) {
    auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        const std::string bytes = FileBytes(path);
        // Every 61st position: a prime, so that it falls everywhere in records.
        EXPECT_EQ(FirstScanMismatch(bytes, 61), std::string::npos);
        std::map<std::string, std::size_t> walked;  // by hand: the reader's helpers are what is checked
        for (std::size_t pos = 0; pos + 16 <= bytes.size();) {
            ++walked[bytes.substr(pos, 4)];
            const auto byte = [&](std::size_t k) { return std::size_t(std::uint8_t(bytes[pos + k])); };
            pos += 16 + (byte(4) | byte(5) << 8 | byte(6) << 16);
        }
        CTempDir dir;
        ASSERT_TRUE(CPluginBuilder().Raw(bytes).Write(dir / "p.esp"));
        auto file = LoadPlugin(dir.Path(), "p.esp");
        ASSERT_EQ(file->Diagnostic().m_kind, CReadDiagnostic::EKind::None) << file->Diagnostic().m_message;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            EXPECT_EQ(file->Table(t).size(), walked[std::string(CPluginFile::kTags[t])]) << CPluginFile::kTags[t];

        // Every other entry of every table erased in one pass, then a rewrite
        // of the first survivor: a fresh read sees the same entries.
        std::vector<const CEntry*> doomed;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (std::size_t i = 0; i < file->Table(t).size(); i += 2) doomed.push_back(file->Table(t)[i].get());
        CFixedBackupPolicy policy;
        std::vector<bool> erased;
        ASSERT_EQ(file->EraseEntries(doomed, policy, erased).Ok(), !doomed.empty());
        EXPECT_EQ(erased, std::vector<bool>(doomed.size(), true));
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            if (file->Table(t).empty() || file->Table(t)[0]->DataLength() < 8) continue;
            CEntry& e = *file->Table(t)[0];
            CSubRecords subs;
            SplitSubRecords(e, subs);
            subs.push_back({"XTRA", "added"});
            // Only when the data splits back exactly: damaged sizes would not.
            if (JoinSubRecords(subs).substr(0, e.DataLength()) != e.Data()) continue;
            ASSERT_TRUE(file->RewriteEntry(e, subs, policy).Ok());
            break;
        }
        ASSERT_NO_FATAL_FAILURE(ExpectReadsBackAsModel(dir.Path(), "p.esp", *file));
    }
}
