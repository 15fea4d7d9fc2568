#include "document/operations/Operations.h"

#include <cstdio>
#include <unordered_set>

#include "checks/CheckOperations.h"
#include "document/WriteMessages.h"

namespace vantor {

namespace {

const char* const kConfirmation =
    "This Operation will Delete all Unclean Entries.\n"
    "WARNING: There are a few rare cases where the Unclean entries are actually necessary.\n"
    "Morrowind will report this when it is loading the file as Reference Missing errors.\n"
    "This usually occurs when the objects are used with a Trap.\n"
    "Restore from Affected Esp from Backup if this occurs.\n";

std::string Percent(std::size_t i, std::size_t total) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Auto-Deleting %zu%% complete", total ? i * 100 / total : 0);
    return buf;
}

// Rows of one plugin that follow each other are erased with one copy of the
// file; the result on disk, the backup and the messages are those of
// erasing them one by one.
struct CBatch {
    CPluginFile* m_file = nullptr;
    std::vector<const CEntry*> m_entries;
    std::vector<std::string> m_labels;  // "plugin - ID" for the failure message
    std::vector<std::size_t> m_rows;
    std::unordered_set<const CEntry*> m_taken;
};

}  // namespace

CAutoCleanResult RunAutoClean(const COperationContext& context, const CFileList& files,
                              const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks) {
    CAutoCleanResult outcome;
    CFrameLink& link = context.Link();
    auto tell = [&](const std::string& text) { link.Ask({text, "VANTOR", EButtons::Ok, EIcon::None, EAnswer::Ok}); };
    if (link.Ask({kConfirmation, "Auto Clean Plugins", EButtons::YesNo, EIcon::Question, EAnswer::Yes}) == EAnswer::No)
        return outcome;
    outcome.m_confirmed = true;

    const std::vector<CPluginFile*> plugins = files.PluginFiles();
    CPluginChecker checker(&link, &context.Ages());
    AddDocumentFiles(checker, plugins, files.MasterFiles());
    const CCheckResult& result = checker.Run(context.Stop(), 0, conflictChecks, uncleanChecks, kCheckUnclean);
    if (context.Stopped()) {
        outcome.m_stopped = true;
        return outcome;
    }

    const std::vector<CResultRow>& rows = result.m_unclean;
    outcome.m_unclean = rows.size();
    const std::size_t total = rows.size();
    std::string text = Percent(0, total);
    context.Progress(text, int(total));

    auto findPlugin = [&](const std::string& name) -> CPluginFile* {
        for (CPluginFile* p : plugins)
            if (p->FileName() == name) return p;
        return nullptr;
    };
    CBatch batch;
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
            text = Percent(batch.m_rows[k], total);
            context.Progress(text, int(total));
        }
        batch = CBatch{};
    };

    for (std::size_t i = 0; i < total && !context.Stopped(); ++i) {
        const CResultRow& row = rows[i];
        CPluginFile* file = findPlugin(row.m_pluginFile);
        if (file != batch.m_file) flush();
        if (!file) {
            tell(row.m_pluginFile + " not Found.");
            ++outcome.m_failed;
            continue;
        }
        // The first entry of that ID still in the table: entries already
        // queued for erasing count as gone.
        const CEntry* entry = nullptr;
        if (const CEntryTable* table = file->GetTable(row.m_tag)) {
            const std::string_view wanted = UpToNul(row.m_name);
            for (const auto& e : *table)
                if (e->IdText() == wanted && !batch.m_taken.count(e.get())) {
                    entry = e.get();
                    break;
                }
        }
        if (!entry) {
            flush();
            tell(row.m_pluginFile + " - " + row.m_name + " Already Deleted or Missing.");
            ++outcome.m_failed;
            continue;
        }
        batch.m_file = file;
        batch.m_entries.push_back(entry);
        batch.m_labels.push_back(row.m_pluginFile + " - " + row.m_name);
        batch.m_rows.push_back(i);
        batch.m_taken.insert(entry);
    }
    flush();

    // The findings no longer match the files.
    context.Publish(EPane::Warning, WarningTableHeader(), false);
    context.Publish(EPane::Conflict, ConflictTableHeader(), false);
    context.Progress(text, 0);
    outcome.m_stopped = context.Stopped();
    return outcome;
}

}  // namespace vantor
