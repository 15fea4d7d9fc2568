#include "document/operations/Operations.h"

#include <cstdio>
#include <set>

#include "checks/CheckOperations.h"
#include "document/WriteMessages.h"
#include "platform/Text.h"

namespace vantor {

namespace {

const char* const kConfirmation =
    "This Operation will Delete all Unclean Entries.\n"
    "WARNING: There are a few rare cases where the Unclean entries are actually necessary.\n"
    "Morrowind will report this when it is loading the file as Reference Missing errors.\n"
    "This usually occurs when the objects are used with a Trap.\n"
    "Restore from Affected Esp from Backup if this occurs.\n";

std::string Percent(std::size_t i, std::size_t total) { return platform::PercentText("Auto-Deleting ", i, total); }

// Rows of one plugin that follow each other are erased with one copy of the
// file; the result on disk, the backup and the messages are those of
// erasing them one by one.
struct CBatch {
    CPluginFile* m_file = nullptr;
    std::vector<const CEntry*> m_entries;
    std::vector<std::string> m_labels;  // "plugin - ID" for the failure message
    std::vector<std::size_t> m_rows;
};

bool InTable(const CPluginFile& file, std::size_t table, const CEntry* entry) {
    for (const auto& e : file.Table(table))
        if (e.get() == entry) return true;
    return false;
}

}  // namespace

CAutoCleanResult RunAutoClean(const COperationContext& context, const CFileList& files,
                              const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks) {
    CAutoCleanResult outcome;
    CFrameLink& link = context.Link();
    auto tell = [&](const std::string& text) { link.Ask({text, "VANTOR", EButtons::Ok, EIcon::None, EAnswer::Ok}); };
    // The question names the plugins it may change.
    std::string question = kConfirmation;
    for (const CPluginFile* plugin : files.PluginFiles())
        question += (question.back() == '\n' ? "\nPlugins: " : ", ") + plugin->FileName();
    if (link.Ask({question, "Auto Clean Plugins", EButtons::YesNo, EIcon::Question, EAnswer::Yes}) == EAnswer::No)
        return outcome;
    outcome.m_confirmed = true;

    CPluginChecker checker(&link, &context.Ages());
    AddDocumentFiles(checker, files.PluginFiles(), files.MasterFiles());
    const CCheckResult& result = checker.Run(context.Stop(), 0, conflictChecks, uncleanChecks, kCheckUnclean);
    if (context.Stopped()) {
        outcome.m_stopped = true;
        return outcome;
    }

    // Each row deletes the very entry it was made for, also where a plugin
    // holds its ID twice.
    const CFindings& rows = result.m_unclean;
    outcome.m_unclean = rows.size();
    const std::size_t total = rows.size();
    std::string text = Percent(0, total);
    context.Progress(text, int(total));

    CBatch batch;
    std::set<const CPluginFile*> changed;
    auto flush = [&] {
        if (!batch.m_file) return;
        std::vector<bool> erased = EraseEntries(*batch.m_file, batch.m_entries, link);
        for (std::size_t k = 0; k < batch.m_entries.size(); ++k) {
            if (k >= erased.size() || !erased[k]) {
                tell(batch.m_labels[k] + " Error Deleting Entry.");
                ++outcome.m_failed;
                continue;
            }
            ++outcome.m_deleted;
            changed.insert(batch.m_file);
            const CFinding& row = rows[batch.m_rows[k]];
            outcome.m_changes.push_back({batch.m_file->FileName(), batch.m_file->BackupPath(),
                                         std::string(CPluginFile::kTags[row.m_table]),
                                         std::string(batch.m_entries[k]->IdText()), "Deleted"});
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
        const std::string label = file->FileName() + " - " + std::string(row.m_entry->IdText());
        if (!InTable(*file, row.m_table, row.m_entry)) {
            flush();
            tell(label + " Already Deleted or Missing.");
            ++outcome.m_failed;
            continue;
        }
        batch.m_file = file;
        batch.m_entries.push_back(row.m_entry);
        batch.m_labels.push_back(label);
        batch.m_rows.push_back(i);
    }
    flush();
    outcome.m_plugins = changed.size();

    // The findings no longer match the files.
    context.Publish(EPane::Warning, WarningTableHeader(), false);
    context.Publish(EPane::Conflict, ConflictTableHeader(), false);
    context.Progress(text, 0);
    outcome.m_stopped = context.Stopped();
    return outcome;
}

}  // namespace vantor
