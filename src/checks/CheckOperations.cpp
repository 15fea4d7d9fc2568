#include "checks/CheckOperations.h"

#include <initializer_list>
#include <map>
#include <string_view>
#include <utility>

namespace vantor {

namespace {

const std::atomic<std::int32_t> kNeverStop{0};

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

std::vector<CResultCell> Cells(std::initializer_list<std::string*> texts) {
    std::vector<CResultCell> cells;
    cells.reserve(texts.size());
    for (std::string* text : texts) cells.push_back({std::move(*text), 0});
    return cells;
}
std::vector<CResultCell> Cells(CConflictRow& r) {
    return Cells({&r.m_tag, &r.m_conflict, &r.m_name, &r.m_overriding, &r.m_overridden, &r.m_original});
}
std::vector<CResultCell> Cells(CResultRow& r) {
    return Cells({&r.m_tag, &r.m_text, &r.m_name, &r.m_pluginFile, &r.m_originalFile});
}

// Moves rows into a pane table until the stop flag is set; the rows already
// moved stay. The engine's findings can be a million rows: they are moved,
// not copied.
template <typename TRow>
void Fill(CResultTable& table, std::vector<TRow>& rows, const std::atomic<std::int32_t>& stop) {
    table.m_rows.reserve(table.m_rows.size() + rows.size());
    for (TRow& row : rows) {
        if (Stopped(stop)) return;
        table.m_rows.push_back(Cells(row));
    }
}

// Sorts by the tag column, keeping the engine's order among equal tags. The
// column holds a few dozen distinct texts, so the rows are dealt into one
// group per text and the groups joined in text order: a single pass where a
// comparison sort of a million rows would chase every row's cells twenty
// times. Byte order and stability are those of a stable comparison sort.
void SortByTag(CResultTable& table) {
    std::map<std::string_view, std::uint32_t> groups;
    std::vector<std::uint32_t> groupOf;
    groupOf.reserve(table.m_rows.size());
    for (const auto& row : table.m_rows) {
        const std::string_view key = row.empty() ? std::string_view() : std::string_view(row[0].m_text);
        auto it = groups.try_emplace(key, std::uint32_t(groups.size())).first;
        groupOf.push_back(it->second);
    }
    std::vector<std::size_t> start(groups.size());
    std::vector<std::size_t> count(groups.size(), 0);
    for (const std::uint32_t g : groupOf) ++count[g];
    std::size_t offset = 0;
    for (const auto& [key, g] : groups) {  // in key order
        start[g] = offset;
        offset += count[g];
    }
    std::vector<std::vector<CResultCell>> sorted(table.m_rows.size());
    for (std::size_t r = 0; r < table.m_rows.size(); ++r) sorted[start[groupOf[r]]++] = std::move(table.m_rows[r]);
    table.m_rows = std::move(sorted);
}

}  // namespace

void AddDocumentFiles(CPluginChecker& checker, const std::vector<CPluginFile*>& loadedPlugins,
                      const std::vector<CPluginFile*>& foundMasters) {
    for (auto it = loadedPlugins.rbegin(); it != loadedPlugins.rend(); ++it) checker.AddPlugin(**it);
    for (auto it = foundMasters.rbegin(); it != foundMasters.rend(); ++it) checker.AddMaster(**it);
}

CPaneTables RunCheckOperation(const CCheckInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    CPluginChecker checker(inputs.link, inputs.ages);
    AddDocumentFiles(checker, inputs.loadedPlugins, inputs.foundMasters);
    checker.Run(stop, inputs.checkMode, inputs.conflictChecks, inputs.uncleanChecks, inputs.mask);
    CPaneTables panes;
    if (Stopped(stop)) {
        panes.m_stopped = true;
        return panes;
    }
    CCheckResult result = checker.TakeResult();

    // Both panes are refilled even when their check did not run.
    CResultTable conflict = ConflictTableHeader();
    Fill(conflict, result.m_conflicts, stop);
    SortByTag(conflict);
    panes.m_conflict = std::move(conflict);

    CResultTable warning = WarningTableHeader();
    Fill(warning, result.m_deleted, stop);
    Fill(warning, result.m_unclean, stop);
    SortByTag(warning);
    panes.m_warning = std::move(warning);
    return panes;
}

CPaneTables RunGlobalChangeListing(const CCheckInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    CPluginChecker checker(inputs.link, inputs.ages);
    std::vector<CPluginFile*> plugins;
    for (CPluginFile* plugin : inputs.loadedPlugins)
        if (inputs.globalChangesFile.empty() || plugin->FileName() == inputs.globalChangesFile)
            plugins.push_back(plugin);
    AddDocumentFiles(checker, plugins, inputs.foundMasters);
    checker.Run(stop, inputs.checkMode, inputs.conflictChecks, inputs.uncleanChecks, CPluginChecker::kGlobalChanges);
    CPaneTables panes;
    if (Stopped(stop)) {
        panes.m_stopped = true;
        return panes;
    }
    CCheckResult result = checker.TakeResult();
    CResultTable editor = EditorTableHeader();
    Fill(editor, result.m_globalChanges, stop);
    SortByTag(editor);
    panes.m_editor = std::move(editor);
    return panes;
}

}  // namespace vantor
