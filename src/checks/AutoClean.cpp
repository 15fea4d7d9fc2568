#include "checks/AutoClean.h"

#include <cstdio>
#include <unordered_set>

#include "checks/CheckOperations.h"
#include "checks/InstallOperations.h"
#include "document/VANTORDoc.h"
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

void Tell(CVANTORDoc& doc, const std::string& text) {
    doc.Link().Ask({text, "VANTOR", EButtons::Ok, EIcon::None, EAnswer::Ok});
}

// Rows of one plugin that follow each other are erased with one copy of the
// file; the result on disk, the backup and the messages are those of
// erasing them one by one.
struct CBatch {
    CPluginFile* m_file = nullptr;
    std::vector<const CEntry*> m_entries;
    std::vector<std::string> m_tags;
    std::vector<std::string> m_labels;  // "plugin - ID" for the failure message
    std::vector<std::size_t> m_rows;
    std::unordered_set<const CEntry*> m_taken;
};

}  // namespace

CAutoCleanResult RunAutoClean(CVANTORDoc& doc) {
    CAutoCleanResult outcome;
    if (doc.Link().Ask({kConfirmation, "Auto Clean Plugins", EButtons::YesNo, EIcon::Question, EAnswer::Yes}) ==
        EAnswer::No)
        return outcome;
    outcome.m_confirmed = true;

    CCheckInputs inputs = CheckInputsOf(doc);
    CPluginChecker checker(&doc.Link());
    AddDocumentFiles(checker, inputs.loadedPlugins, inputs.foundMasters);
    const CCheckResult& result =
        checker.Run(doc.m_stop, 0, inputs.conflictChecks, inputs.uncleanChecks, CPluginChecker::kUnclean);
    if (doc.Stopped()) {
        outcome.m_stopped = true;
        return outcome;
    }

    const std::vector<CResultRow>& rows = result.m_unclean;
    outcome.m_unclean = rows.size();
    const std::size_t total = rows.size();
    std::string text = Percent(0, total);
    doc.Progress(text, int(total));

    CBatch batch;
    auto flush = [&] {
        if (!batch.m_file) return;
        std::vector<bool> erased = EraseEntries(*batch.m_file, batch.m_entries, doc.Link());
        for (std::size_t k = 0; k < batch.m_entries.size(); ++k) {
            if (k >= erased.size() || !erased[k]) {
                Tell(doc, batch.m_labels[k] + " Error Deleting Entry.");
                ++outcome.m_failed;
                continue;
            }
            ++outcome.m_deleted;
            text = Percent(batch.m_rows[k], total);
            doc.Progress(text, int(total));
        }
        batch = CBatch{};
    };

    for (std::size_t i = 0; i < total && !doc.Stopped(); ++i) {
        const CResultRow& row = rows[i];
        CPluginFile* file = doc.FindLoadedFile(row.m_pluginFile, false);
        if (file != batch.m_file) flush();
        if (!file) {
            Tell(doc, row.m_pluginFile + " not Found.");
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
            Tell(doc, row.m_pluginFile + " - " + row.m_name + " Already Deleted or Missing.");
            ++outcome.m_failed;
            continue;
        }
        batch.m_file = file;
        batch.m_entries.push_back(entry);
        batch.m_tags.push_back(row.m_tag);
        batch.m_labels.push_back(row.m_pluginFile + " - " + row.m_name);
        batch.m_rows.push_back(i);
        batch.m_taken.insert(entry);
    }
    flush();

    // The findings no longer match the files.
    CResultTable warning = doc.ResultTableCopy(EPane::Warning);
    warning.Clear();
    doc.SetResultTable(EPane::Warning, warning);
    CResultTable conflict = doc.ResultTableCopy(EPane::Conflict);
    conflict.Clear();
    doc.SetResultTable(EPane::Conflict, conflict);
    doc.Progress(text, 0);
    outcome.m_stopped = doc.Stopped();
    return outcome;
}

}  // namespace vantor
