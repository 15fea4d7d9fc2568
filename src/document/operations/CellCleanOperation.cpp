// Clean Cells: what cell cleaning would change is listed in the warning pane,
// one row per cell, before anything changes; once the user agrees, each
// plugin is cleaned in one pass of the writer after its backup.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "document/WriteMessages.h"
#include "format/RecordTypes.h"
#include "document/operations/Operations.h"
#include "platform/Text.h"

namespace vantor {

namespace {

const std::uint8_t kCellTable = std::uint8_t(TableOf(ERecordId::Cell));

using platform::CountOf;

// Each name once, in the order first met.
void AddOnce(std::vector<std::string>& names, std::unordered_set<std::string>& seen, const std::vector<std::string>& more) {
    for (const std::string& name : more)
        if (seen.insert(name).second) names.push_back(name);
}

}  // namespace

std::vector<const CPluginFile*> MastersOldestFirst(const CFileList& files, CFileAges& ages) {
    std::vector<const CPluginFile*> sorted;
    auto add = [&](const std::vector<CPluginFile*>& list) {
        std::vector<std::pair<CFileAge, const CPluginFile*>> aged;
        for (const CPluginFile* f : list) aged.emplace_back(ages.AgeOf(f->FullPath()), f);
        std::stable_sort(aged.begin(), aged.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& a : aged) sorted.push_back(a.second);
    };
    // The list holds the masters newest batch first; of equally old ones the
    // one the load order names later counts as the newer.
    const std::vector<CPluginFile*> masters = files.MasterFiles();
    add({masters.rbegin(), masters.rend()});
    // A plugin may name another plugin as its master; the game loads every
    // master file before the plugins.
    add(files.PluginFiles());
    return sorted;
}

std::string CellCleanText(const cells::CCellClean& cell) {
    std::vector<std::string> parts;
    if (cell.m_duplicates) parts.push_back(CountOf(cell.m_duplicates, "Duplicate Reference", "Duplicate References"));
    if (cell.m_redundantAmbient && cell.m_redundantWater)
        parts.push_back("Redundant Ambient Light and Water Height");
    else if (cell.m_redundantAmbient)
        parts.push_back("Redundant Ambient Light");
    else if (cell.m_redundantWater)
        parts.push_back("Redundant Water Height");
    if (cell.m_junk) parts.push_back("Junk Cell (Removed Whole)");
    std::string text = "Cell Entry:";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : " ") + parts[i];
    return text;
}

std::vector<CPluginFile::CEntryChange> CellChanges(std::vector<cells::CCellClean>& cells) {
    std::vector<CPluginFile::CEntryChange> changes;
    changes.reserve(cells.size());
    for (auto& c : cells) changes.push_back({c.m_entry, c.m_junk, c.m_junk ? std::string() : std::move(c.m_data)});
    return changes;
}

void RunCellClean(const COperationContext& context, const CFileList& files, bool listOnly, COutcome& result) {
    CCellCleanResult& outcome = result.m_cellClean.emplace();
    CCellNotes& notes = outcome.m_notes;
    CFrameLink& link = context.Link();
    const std::vector<CPluginFile*> plugins = files.PluginFiles();
    const std::vector<const CPluginFile*> masters = MastersOldestFirst(files, context.Ages());
    const cells::CCellCleaner cleaner(masters);

    std::vector<cells::CPluginCells> found;
    found.reserve(plugins.size());
    std::string text = platform::PercentText("Checking Cells ", 0, plugins.size());
    context.Progress(text, int(plugins.size()));
    for (std::size_t i = 0; i < plugins.size() && !context.Stopped(); ++i) {
        found.push_back(cleaner.Analyse(*plugins[i]));
        text = platform::PercentText("Checking Cells ", i, plugins.size());
        context.Progress(text, int(plugins.size()));
    }
    if (context.Stopped()) return;

    // One row per cell, in the plugins' order and each plugin's file order.
    CResultTable table = WarningTableHeader();
    std::unordered_map<const CPluginFile*, CFileIndex> index;
    for (const CLoadedFile& item : files.Items()) {
        if (!item.m_file || index.size() >= kMaxFiles || index.count(item.m_file.get())) continue;
        index.emplace(item.m_file.get(), CFileIndex(table.m_files.size()));
        table.m_files.push_back(item.m_file);
    }
    auto indexOf = [&](const CPluginFile* file) {
        auto it = index.find(file);
        return it == index.end() ? kNoFile : it->second;
    };
    std::unordered_map<std::string, const CPluginFile*> masterByName;
    for (const CPluginFile* m : masters) masterByName[m->FileName()] = m;
    std::size_t pluginsToClean = 0;
    std::vector<std::string> pluginNames;
    std::unordered_set<std::string> missingSeen, unjudgedSeen;
    for (const cells::CPluginCells& p : found) {
        AddOnce(notes.m_missingMasters, missingSeen, p.m_missingMasters);
        AddOnce(notes.m_unjudgedMasters, unjudgedSeen, p.m_unjudgedMasters);
        notes.m_unjudged += p.m_unjudged;
        notes.m_unjudgedForMissing += p.m_unjudgedForMissing;
        outcome.m_duplicates += p.Duplicates();
        outcome.m_settings += p.RedundantSettings();
        outcome.m_junk += p.JunkCells();
        outcome.m_cells += p.m_cells.size();
        pluginsToClean += !p.m_cells.empty();
        if (!p.m_cells.empty()) pluginNames.push_back(p.m_plugin->FileName());
        for (const cells::CCellClean& c : p.m_cells) {
            CFinding row;
            row.m_entry = c.m_entry;
            row.m_file = indexOf(p.m_plugin);
            auto master = masterByName.find(c.m_master);
            row.m_original = master == masterByName.end() ? kNoFile : indexOf(master->second);
            row.m_table = kCellTable;
            row.m_kind = EFinding::CellClean;
            table.m_rows.push_back(row);
            table.m_descriptions.emplace(c.m_entry, CellCleanText(c));
        }
    }
    const CResultTable listed = table;
    context.Publish(EPane::Warning, std::move(table), EShow::ByRows);

    if (listOnly) {
        context.Progress(text, 0);
        return;
    }
    if (outcome.m_cells == 0) {
        context.Progress(text, 0);
        link.Tell(CNoCellsToCleanNotice{notes});
        return;
    }
    if (!link.Agrees(CCleanCellsQuestion{outcome.m_cells, pluginsToClean, outcome.m_duplicates, outcome.m_settings,
                                         outcome.m_junk, notes, pluginNames})) {
        context.Progress(text, 0);
        result.m_result = EResult::Refused;
        result.m_reason = EReason::Declined;
        return;
    }
    outcome.m_confirmed = true;

    // Each plugin in one pass; the rows of cells that were cleaned go.
    std::unordered_map<const CEntry*, bool> cleaned;
    CChangesByFile cleanedIn;
    std::size_t step = 0;
    text = platform::PercentText("Cleaning Cells ", 0, pluginsToClean);
    context.Progress(text, int(pluginsToClean));
    for (std::size_t i = 0; i < found.size() && !context.Stopped(); ++i) {
        if (found[i].m_cells.empty()) continue;
        CPluginFile& file = *plugins[i];
        std::vector<CPluginFile::CEntryChange> changes = CellChanges(found[i].m_cells);
        const std::vector<bool> done = ChangeEntries(file, std::move(changes), link);
        const std::size_t made = std::size_t(std::count(done.begin(), done.end(), true));
        outcome.m_cleaned += made;
        outcome.m_failed += found[i].m_cells.size() - made;
        if (made < found[i].m_cells.size()) link.Tell(CCellsNotCleanedNotice{file.FileName()});
        for (std::size_t k = 0; k < done.size(); ++k) {
            if (!done[k]) continue;
            const cells::CCellClean& cell = found[i].m_cells[k];
            cleaned[cell.m_entry] = true;
            cleanedIn[&file].push_back({{file.FileName(), std::string(CPluginFile::kTags[TableOf(ERecordId::Cell)]),
                                         std::string(cell.m_entry->IdText())},
                                        cell.m_junk ? EEntryChange::Removed : EEntryChange::Cleaned});
        }
        text = platform::PercentText("Cleaning Cells ", ++step, pluginsToClean);
        context.Progress(text, int(pluginsToClean));
    }

    RecordChanges(files, cleanedIn, outcome.m_failed != 0, result);

    CResultTable left = listed;
    std::erase_if(left.m_rows, [&](const CFinding& f) { return cleaned.count(f.m_entry) != 0; });
    context.Publish(EPane::Warning, std::move(left), EShow::ByRows);
    // Cells erased or changed: the conflict findings no longer match the files.
    context.Publish(EPane::Conflict, ConflictTableHeader(), EShow::Keep);
    context.Progress(text, 0);
}

}  // namespace vantor
