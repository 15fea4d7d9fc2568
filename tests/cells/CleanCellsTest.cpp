// Clean Cells through the document on a generated load order: what is
// listed and asked, and what is written, backed up and kept on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "CellKit.h"
#include "MkData.h"
#include "document/VANTORDoc.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::cells;
using namespace vantor::cells::testing;
namespace fs = std::filesystem;

namespace {
std::string Bytes(const std::string& path) {
    std::string bytes;
    return platform::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}
std::int64_t WriteTime(const std::string& path) { return platform::GetFileTimes(path).value_or(platform::CFileTimes{}).m_writeSec; }
std::string Backup(const std::string& path) { return platform::FolderOf(path) + fs::path(path).stem().string() + ".OLD"; }
}  // namespace

TEST(CleanCells, ListsAsksAndCleansEachPluginAfterItsBackup) {
    mkdata::CBenchOptions opts;
    opts.m_masterMegabytes = 3;
    opts.m_plugins = 3;
    const mkdata::CTemporarySet set(opts);
    ASSERT_TRUE(set.Written().m_ok) << set.Written().m_error;
    const std::string data = set.Folder() + "/Data Files/";
    std::vector<std::string> paths;
    for (const auto& path : set.Written().m_files)
        if (fs::path(path).extension() == ".esp") paths.push_back(path);

    // What cleaning must leave, judged on copies read apart from the document:
    // each reads back with nothing more to clean.
    const auto master = ReadPluginAt(data, "Bench.esm");
    const CCellCleaner cleaner({master.get()});
    const fixtures::CTempDir scratch;
    std::vector<std::unique_ptr<CPluginFile>> copies;
    std::map<std::string, CPluginCells> found;
    std::map<std::string, std::string> before, after;
    std::size_t cells = 0, duplicates = 0;
    for (const auto& path : paths) {
        before[path] = Bytes(path);
        copies.push_back(ReadPluginAt(data, platform::FileNameOf(path)));
        found[path] = CleanAndCheck(cleaner, *copies.back(), scratch.Path());
        after[path] = Apply(before[path], found[path]);
        cells += found[path].m_cells.size();
        duplicates += found[path].Duplicates();
    }
    ASSERT_GT(cells, 20u);

    fixtures::CScriptedLink link;
    CDocConfig config;
    config.m_settingsPath = set.Folder() + "/vantor.ini";
    config.m_installDir = set.Folder();
    CVANTORDoc doc(config, &link);
    link.m_choices.push_back({CFileChoice::EStatus::Chosen, paths});
    doc.OnChoosePlugins();
    auto cleanCells = [&](std::deque<EAnswer> answers, bool listOnly = false) {
        link.Clear();
        link.m_answers = std::move(answers);
        doc.OnCleanCells(listOnly);
        doc.WaitForWorker();
        return link.Messages();
    };
    auto expectUnchanged = [&] {
        for (const auto& p : paths) EXPECT_TRUE(Bytes(p) == before[p] && !fs::exists(Backup(p))) << p;
    };

    // Listed only, or declined: nothing is written; the rows stay for Delete.
    EXPECT_TRUE(cleanCells({}, true).empty());
    expectUnchanged();
    const auto asked = cleanCells({EAnswer::No});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].m_text.starts_with("This Operation will Clean " + std::to_string(cells) + " Cells in 3 Plugins:"))
        << asked[0].m_text;
    expectUnchanged();
    const auto rows = doc.ResultTable(EPane::Warning);
    ASSERT_EQ(rows->RowCount(), cells);
    std::size_t listed = 0;  // duplicates the rows count
    for (std::size_t r = 0; r < rows->RowCount(); ++r) {
        EXPECT_EQ(rows->Cell(r, 4), "Bench.esm");
        const std::string text(rows->Cell(r, 1));  // "Cell Entry: N Duplicate References, ..."
        if (text.find(" Duplicate Reference") != std::string::npos) listed += std::stoul(text.substr(12));
    }
    EXPECT_EQ(listed, duplicates);

    // Delete on a row cleans that cell alone, after its plugin's backup.
    const CEntryRef row = rows->EntryAt(0, 3);
    const std::string path = row.m_file->FullPath();
    CPluginCells one;
    std::copy_if(found[path].m_cells.begin(), found[path].m_cells.end(), std::back_inserter(one.m_cells),
                 [&](const CCellClean& c) { return c.m_entry->IdText() == row.m_entry->IdText(); });
    ASSERT_EQ(one.m_cells.size(), 1u);
    link.m_answers = {EAnswer::Yes};
    EXPECT_TRUE(doc.CleanCell(row, true));
    EXPECT_EQ(Bytes(path), Apply(before[path], one));

    // Agreed: each plugin is exactly its cleaned self with its times, and its
    // backup holds the old bytes.
    cleanCells({EAnswer::Yes});
    for (const auto& p : paths) {
        SCOPED_TRACE(p);
        EXPECT_EQ(Bytes(p), after[p]);
        EXPECT_EQ(Bytes(Backup(p)), before[p]);
        EXPECT_EQ(WriteTime(p), WriteTime(Backup(p)));  // the backup keeps the old times too
    }
    EXPECT_EQ(doc.ResultTable(EPane::Warning)->RowCount(), 0u);
    ASSERT_TRUE(doc.LastOutcome().m_cellClean);
    EXPECT_EQ(doc.LastOutcome().m_cellClean->m_cleaned, cells - 1);

    // Once more: nothing to clean, nothing asked, nothing written.
    const auto told = cleanCells({EAnswer::Yes});
    EXPECT_TRUE(told.size() == 1 && told[0].m_text == "No Cells to Clean.\n");
    for (const auto& p : paths) EXPECT_EQ(Bytes(p), after[p]) << p;
}
