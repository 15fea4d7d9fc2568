#include "checks/CheckOperations.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

#include "platform/Text.h"

namespace vantor {

namespace {

const std::atomic<std::int32_t> kNeverStop{0};

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

CPaneFindings Run(const CCheckInputs& inputs, const std::vector<CPluginFile*>& plugins, CCheckSet checks, bool listing) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    CPluginChecker checker(inputs.link, inputs.ages);
    AddDocumentFiles(checker, plugins, inputs.foundMasters);
    if (!listing) checker.SendConflictsTo(inputs.conflictSink);
    checker.Run(stop, inputs.singleVersus, inputs.conflictChecks, inputs.uncleanChecks, checks);
    CPaneFindings panes;
    panes.m_masters = MasterCoverage(checker.Plugins(), checker.Masters());
    // Only the unclean and the global-change test need a master to compare with.
    panes.m_masters->m_noneRead &= checks.m_unclean || checks.m_globalChanges;
    panes.m_stopped = Stopped(stop);
    panes.m_conflictsSent = checker.ConflictsSent();
    CCheckResult result = checker.TakeResult();
    if (panes.m_stopped && panes.m_conflictsSent == 0 && result.m_conflicts.empty() && result.m_deleted.empty() &&
        result.m_unclean.empty() && result.m_globalChanges.empty())
        return panes;
    panes.m_files = checker.Files();
    if (listing) {
        SortByTag(result.m_globalChanges);
        panes.m_editor = std::move(result.m_globalChanges);
        return panes;
    }
    // Both panes are refilled even when their check did not run.
    SortByTag(result.m_conflicts);
    panes.m_conflict = std::move(result.m_conflicts);
    CFindings& warnings = result.m_deleted;
    warnings.insert(warnings.end(), result.m_unclean.begin(), result.m_unclean.end());
    result.m_unclean = {};
    SortByTag(warnings);
    panes.m_warning = std::move(warnings);
    return panes;
}

}  // namespace

CMasterCoverage MasterCoverage(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters) {
    CMasterCoverage coverage;
    coverage.m_noneRead = masters.empty();
    std::unordered_set<std::string> loaded;
    for (const auto* list : {&plugins, &masters})
        for (const CPluginFile* file : *list) loaded.insert(platform::LowerAscii(file->FileName()));
    std::unordered_map<std::string, std::size_t> missing;
    for (const CPluginFile* plugin : plugins)
        for (const std::string& name : plugin->HeaderMasters()) {
            const std::string key = platform::LowerAscii(name);
            if (loaded.count(key)) continue;
            auto [it, added] = missing.try_emplace(key, coverage.m_missing.size());
            if (added) coverage.m_missing.push_back({name, {}});
            std::vector<std::string>& naming = coverage.m_missing[it->second].m_plugins;
            // A header naming one master twice names it once here.
            if (naming.empty() || naming.back() != plugin->FileName()) naming.push_back(plugin->FileName());
        }
    return coverage;
}

void AddDocumentFiles(CPluginChecker& checker, const std::vector<CPluginFile*>& loadedPlugins,
                      const std::vector<CPluginFile*>& foundMasters) {
    for (auto it = loadedPlugins.rbegin(); it != loadedPlugins.rend(); ++it) checker.AddPlugin(**it);
    for (auto it = foundMasters.rbegin(); it != foundMasters.rend(); ++it) checker.AddMaster(**it);
}

void Permute(CFindings& rows, std::vector<std::uint32_t>& place) {
    // Each row is swapped into its place along the cycles of the permutation.
    for (std::size_t r = 0; r < rows.size(); ++r) {
        while (place[r] != r) {
            const std::uint32_t to = place[r];
            std::swap(rows[r], rows[to]);
            std::swap(place[r], place[to]);
        }
    }
}

void SortByTag(CFindings& rows) {
    // The tags are in text order by table index, so the rows are dealt out
    // to one list per table and gathered back in table order: every row is
    // read and written in sequence (swapping rows into their places would
    // jump about millions of them), and the blocks of the lists are freed
    // as they are emptied, so the rows never need room twice.
    const auto byTable = [](const CFinding& a, const CFinding& b) { return a.m_table < b.m_table; };
    if (std::is_sorted(rows.begin(), rows.end(), byTable)) return;
    std::array<CFindings, CPluginFile::kTableCount> tables;
    for (; !rows.empty(); rows.pop_front()) tables.at(rows.front().m_table).push_back(rows.front());
    for (CFindings& table : tables)
        for (; !table.empty(); table.pop_front()) rows.push_back(table.front());
}

CPaneFindings RunCheckOperation(const CCheckInputs& inputs) { return Run(inputs, inputs.loadedPlugins, inputs.checks, false); }

CPaneFindings RunGlobalChangeListing(const CCheckInputs& inputs) {
    std::vector<CPluginFile*> plugins;
    for (CPluginFile* plugin : inputs.loadedPlugins)
        if (inputs.globalChangesFile.empty() || plugin->FileName() == inputs.globalChangesFile)
            plugins.push_back(plugin);
    return Run(inputs, plugins, CCheckSet::GlobalChanges(), true);
}

}  // namespace vantor
