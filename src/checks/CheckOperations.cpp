#include "checks/CheckOperations.h"

namespace vantor {

namespace {

const std::atomic<std::int32_t> kNeverStop{0};

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

// Copies rows into a pane table until the stop flag is set; the rows already
// copied stay.
template <typename TRow>
void Fill(CResultTable& table, const std::vector<TRow>& rows, const std::atomic<std::int32_t>& stop) {
    for (const TRow& row : rows) {
        if (Stopped(stop)) return;
        table.AddRow(row.Texts());
    }
}

// Sorted by the tag column, keeping the engine's order among equal tags,
// handed to the pane, which is shown only when the operation found something.
void Publish(CFrameLink* link, EPane pane, CResultTable& table, bool found) {
    table.SortByColumn(0);
    if (!link) return;
    link->SetPaneRows(pane, table);
    if (found)
        link->ShowPane(pane);
    else
        link->HidePane(pane);
}

}  // namespace

void AddDocumentFiles(CPluginChecker& checker, const std::vector<CPluginFile*>& loadedPlugins,
                      const std::vector<CPluginFile*>& foundMasters) {
    for (auto it = loadedPlugins.rbegin(); it != loadedPlugins.rend(); ++it) checker.AddPlugin(**it);
    for (auto it = foundMasters.rbegin(); it != foundMasters.rend(); ++it) checker.AddMaster(**it);
}

CPaneTables RunCheckOperation(const CCheckInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    CPluginChecker checker(inputs.link);
    AddDocumentFiles(checker, inputs.loadedPlugins, inputs.foundMasters);
    const CCheckResult& result =
        checker.Run(stop, inputs.checkMode, inputs.conflictChecks, inputs.uncleanChecks,
                    EffectiveMask(inputs.oneShotMask, inputs.defaultOps));
    CPaneTables panes;
    if (Stopped(stop)) {
        panes.m_stopped = true;
        return panes;
    }

    // Both panes are refilled even when their check did not run.
    CResultTable conflict = ConflictTableHeader();
    Fill(conflict, result.m_conflicts, stop);
    Publish(inputs.link, EPane::Conflict, conflict, !result.m_conflicts.empty());
    panes.m_conflict = std::move(conflict);

    CResultTable warning = WarningTableHeader();
    Fill(warning, result.m_deleted, stop);
    Fill(warning, result.m_unclean, stop);
    Publish(inputs.link, EPane::Warning, warning, !result.m_deleted.empty() || !result.m_unclean.empty());
    panes.m_warning = std::move(warning);
    return panes;
}

CPaneTables RunGlobalChangeListing(const CCheckInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    CPluginChecker checker(inputs.link);
    std::vector<CPluginFile*> plugins;
    for (CPluginFile* plugin : inputs.loadedPlugins)
        if (inputs.globalChangesFile.empty() || plugin->FileName() == inputs.globalChangesFile)
            plugins.push_back(plugin);
    AddDocumentFiles(checker, plugins, inputs.foundMasters);
    const CCheckResult& result = checker.Run(stop, inputs.checkMode, inputs.conflictChecks, inputs.uncleanChecks,
                                             CPluginChecker::kGlobalChanges);
    CPaneTables panes;
    if (Stopped(stop)) {
        panes.m_stopped = true;
        return panes;
    }
    CResultTable editor = EditorTableHeader();
    Fill(editor, result.m_globalChanges, stop);
    Publish(inputs.link, EPane::Editor, editor, !result.m_globalChanges.empty());
    panes.m_editor = std::move(editor);
    return panes;
}

}  // namespace vantor
