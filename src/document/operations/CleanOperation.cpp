#include "document/operations/Operations.h"

#include "checks/CheckOperations.h"
#include "document/WriteMessages.h"
#include "platform/Text.h"

namespace vantor {

namespace {

std::string Percent(std::size_t i, std::size_t total) { return platform::PercentText("Auto-Deleting ", i, total); }

// Rows of one plugin that follow each other are erased with one copy of the
// file; the result on disk, the backup and the messages are those of
// erasing them one by one.
struct CBatch {
    CPluginFile* m_file = nullptr;
    std::vector<const CEntry*> m_entries;
    std::vector<std::string> m_ids;  // for the failure message
    std::vector<std::size_t> m_rows;
};

bool InTable(const CPluginFile& file, std::size_t table, const CEntry* entry) {
    for (const auto& e : file.Table(table))
        if (e.get() == entry) return true;
    return false;
}

}  // namespace

void RunAutoClean(const COperationContext& context, const CFileList& files, const CCheckSwitches& conflictChecks,
                  const CCheckSwitches& uncleanChecks, COutcome& result) {
    CAutoCleanResult& outcome = result.m_clean.emplace();
    CFrameLink& link = context.Link();
    CAutoCleanQuestion question;
    for (const CLoadedFile* item : files.Loaded()) question.m_plugins.push_back(item->m_name);
    if (!link.Agrees(question)) {
        result.m_result = EResult::Refused;
        result.m_reason = EReason::Declined;
        return;
    }
    outcome.m_confirmed = true;

    CPluginChecker checker(&link, &context.Ages());
    AddDocumentFiles(checker, files.PluginFiles(), files.MasterFiles());
    const CCheckResult& found =
        checker.Run(context.Stop().Flag(), false, conflictChecks, uncleanChecks, CCheckSet::Unclean());
    // What could not be compared: nothing is unclean against a master that is not there.
    result.m_masterCoverage = MasterCoverage(checker.Plugins(), checker.Masters());
    if (context.Stopped()) return;

    // Each row deletes the very entry it was made for, also where a plugin
    // holds its ID twice.
    const CFindings& rows = found.m_unclean;
    outcome.m_unclean = rows.size();
    const std::size_t total = rows.size();
    std::string text = Percent(0, total);
    context.Progress(text, int(total));

    CBatch batch;
    CChangesByFile changed;
    auto flush = [&] {
        if (!batch.m_file) return;
        std::vector<bool> erased = EraseEntries(*batch.m_file, batch.m_entries, link);
        for (std::size_t k = 0; k < batch.m_entries.size(); ++k) {
            if (k >= erased.size() || !erased[k]) {
                link.Tell(CEntryNotDeletedNotice{batch.m_file->FileName(), batch.m_ids[k], false});
                ++outcome.m_failed;
                continue;
            }
            ++outcome.m_deleted;
            const std::string tag(CPluginFile::kTags[rows[batch.m_rows[k]].m_table]);
            changed[batch.m_file].push_back({{batch.m_file->FileName(), tag, batch.m_ids[k]}, EEntryChange::Deleted});
            text = Percent(batch.m_rows[k], total);
            context.Progress(text, int(total));
        }
        batch = CBatch{};
    };

    std::vector<CPluginFile*> plugins(checker.Files().size(), nullptr);  // by file index
    for (std::size_t k = 0; k < checker.Plugins().size(); ++k) plugins[checker.PluginFile(k)] = checker.Plugins()[k];
    for (std::size_t i = 0; i < total && !context.Stopped(); ++i) {
        const CFinding& row = rows[i];
        CPluginFile* file = plugins[row.m_file];
        if (file != batch.m_file) flush();
        const std::string id(row.m_entry->IdText());
        if (!InTable(*file, row.m_table, row.m_entry)) {
            flush();
            link.Tell(CEntryNotDeletedNotice{file->FileName(), id, true});
            ++outcome.m_failed;
            continue;
        }
        batch.m_file = file;
        batch.m_entries.push_back(row.m_entry);
        batch.m_ids.push_back(id);
        batch.m_rows.push_back(i);
    }
    flush();
    outcome.m_plugins = changed.size();
    RecordChanges(files, changed, outcome.m_failed != 0, result);

    // The findings no longer match the files.
    context.Publish(EPane::Warning, WarningTableHeader(), EShow::Keep);
    context.Publish(EPane::Conflict, ConflictTableHeader(), EShow::Keep);
    context.Progress(text, 0);
}

}  // namespace vantor
