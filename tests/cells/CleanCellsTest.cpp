// Cleaning whole plugins through the document on a generated load order, and
// real plugins: each cleaned one reads back with nothing more to clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "MkData.h"
#include "cells/CellClean.h"
#include "document/VANTORDoc.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "format/LittleEndian.h"
#include "format/RecordWriter.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::cells;
using fixtures::ReadPluginAt;
namespace fs = std::filesystem;

namespace {

// The plugin's bytes as cleaning leaves them: changed cells with their new
// data, junk cells left out, the header's record count kept true.
std::string Apply(const std::string& bytes, const CPluginCells& result) {
    std::map<std::int32_t, const CCellClean*> byOffset;
    for (const auto& c : result.m_cells) byOffset[c.m_entry->m_offset] = &c;
    std::string out;
    std::size_t pos = 0;
    while (pos + 16 <= bytes.size()) {
        const std::size_t size = le::U24(bytes, pos + 4);
        const auto it = byOffset.find(std::int32_t(pos));
        if (it == byOffset.end()) {
            out.append(bytes, pos, 16 + size);
        } else if (!it->second->m_junk) {
            // The entry's data is the record's tail; NAME and DATA before it stay.
            const std::size_t idBytes = size - it->second->m_entry->DataLength();
            out += bytes.substr(pos, 4) + fixtures::I32(std::int32_t(idBytes + it->second->m_data.size())) +
                   bytes.substr(pos + 8, 8 + idBytes) + it->second->m_data;
        }
        pos += 16 + size;
    }
    out += bytes.substr(std::min(pos, bytes.size()));
    // The header's record count loses the junk cells.
    constexpr std::size_t kCount = records::kHeaderCountOffset;
    if (out.compare(0, 4, "TES3") == 0 && out.compare(16, 4, "HEDR") == 0)
        le::SetU32(out, kCount, le::U32(out, kCount) - std::uint32_t(result.JunkCells()));
    return out;
}

std::string Bytes(const std::string& path) {
    std::string bytes;
    return platform::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

// Analyses `plugin` and checks that the plugin as Apply cleans it, written
// into `scratch`, reads back whole with nothing more to clean.
CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch) {
    CPluginCells result = cleaner.Analyse(plugin);
    const std::string cleanedBytes = Apply(Bytes(plugin.FullPath()), result);
    EXPECT_TRUE(fixtures::CPluginBuilder().Raw(cleanedBytes).Write(scratch + plugin.FileName()));
    const auto cleaned = ReadPluginAt(scratch, plugin.FileName());
    EXPECT_TRUE(cleaned) << "the cleaned " << plugin.FileName() << " does not read";
    if (!cleaned) return result;
    EXPECT_EQ(cleaned->Diagnostic().m_message, "");
    EXPECT_EQ(cleaned->EntryCount(), plugin.EntryCount() - result.JunkCells());
    const CPluginCells again = cleaner.Analyse(*cleaned);
    EXPECT_TRUE(again.m_cells.empty()) << plugin.FileName() << ": " << again.Duplicates() << " duplicates left";
    EXPECT_EQ(again.m_unjudged, result.m_unjudged);
    return result;
}

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
    doc.ChoosePlugins(paths);
    COutcome outcome;
    auto cleanCells = [&](std::deque<EAnswer> answers, bool listOnly = false) {
        link.Clear();
        link.m_answers = std::move(answers);
        CCleanCellsRequest request;
        request.m_listOnly = listOnly;
        outcome = doc.Run(request);
        return link.Messages();
    };
    // Listed only or declined (the command line's tests hold that nothing is written): rows stay.
    EXPECT_TRUE(cleanCells({}, true).empty());
    const auto asked = cleanCells({EAnswer::No});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].m_text.starts_with("This Operation will Clean " + std::to_string(cells) + " Cells in 3"));
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
    EXPECT_TRUE(doc.Run(CCleanCellRequest{row, true}).Ok());
    EXPECT_EQ(Bytes(path), Apply(before[path], one));

    // Agreed: each plugin is exactly its cleaned self with its times, and its
    // backup holds the old bytes.
    cleanCells({EAnswer::Yes});
    for (const auto& p : paths) {
        SCOPED_TRACE(p);
        const std::string backup = platform::FolderOf(p) + fs::path(p).stem().string() + ".OLD";
        EXPECT_EQ(Bytes(p), after[p]);
        EXPECT_EQ(Bytes(backup), before[p]);
        // The backup keeps the old times too.
        EXPECT_EQ(platform::GetFileTimes(p).value().m_writeSec, platform::GetFileTimes(backup).value().m_writeSec);
    }
    EXPECT_EQ(doc.ResultTable(EPane::Warning)->RowCount(), 0u);
    EXPECT_EQ(outcome.m_cellClean.value().m_cleaned, cells - 1);
    // The outcome names each plugin changed, with its cells and its backup.
    std::size_t changed = 0;
    for (const CFileChange& change : outcome.m_changed) {
        changed += change.m_entries;
        EXPECT_TRUE(change.m_backup.ends_with(".OLD")) << change.m_backup;
    }
    EXPECT_EQ(changed, cells - 1);

    // Once more: nothing to clean, nothing asked (the command line's tests hold that nothing is written).
    const auto told = cleanCells({EAnswer::Yes});
    EXPECT_TRUE(told.size() == 1 && told[0].m_text == "No Cells to Clean.\n");
}

// Real plugins with cells and their masters, each file copied under the name
// after the last "__", the masters in MAST order.
TEST(CellCorpus, CleanedPluginsReadBackWithoutDuplicates) {
    if (fixtures::CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
    const std::string g7 = "Greatness7__merge_to_master/tests__assets__remove_deleted_references__";
    const std::string hub = "joesullivan212__Potion-Prohibition-Prototyping/example-suite__";
    const std::vector<std::vector<std::string>> sets{
        {g7 + "Plugin.esp", g7 + "Base.esm", g7 + "Master.esm"},
        {g7 + "Master.esm", g7 + "Base.esm"},
        {"OAAB-Modding__Data/Developer Tools__OAAB_Cells.ESP", "OAAB-Modding__Data/00 Core__OAAB_Data.esm"},
        {hub + "the_hub__data__the_hub.omwaddon", hub + "game_template__data__template.omwgame"},
    };
    std::size_t findings = 0;
    for (const auto& set : sets) {
        SCOPED_TRACE(set[0]);
        const fixtures::CTempDir dir, scratch;
        std::vector<std::unique_ptr<CPluginFile>> files;
        std::vector<const CPluginFile*> masters;
        for (const auto& path : set) {
            const std::string name = path.substr(path.rfind("__") + 2);
            fs::copy_file(fixtures::CorpusDir() + "/" + path, dir / name);
            files.push_back(ReadPluginAt(dir.Path(), name));
            ASSERT_TRUE(files.back()) << path;
            if (files.size() > 1) masters.push_back(files.back().get());
        }
        findings += CleanAndCheck(CCellCleaner(masters), *files[0], scratch.Path()).m_cells.size();
    }
    EXPECT_GT(findings, 0u);
}
