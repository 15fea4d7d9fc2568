// Update Entry, Delete Entry and the cleaning of one cell: single changes to
// a loaded plugin, each written by the plugin writer after its backup. They
// act on the entry a row or an editor window holds, never on another of the
// same ID.
#include "checks/FileAges.h"
#include "document/WriteMessages.h"
#include "document/operations/Operations.h"
#include "format/SubRecord.h"

namespace vantor {

namespace {

// The loaded plugin that holds the entry and the entry itself, still in its
// table; otherwise a notice says which is missing, and the outcome why.
struct CLocated {
    std::shared_ptr<CPluginFile> m_file;
    CEntry* m_entry = nullptr;
};
CLocated Locate(const CFileList& files, CUserLink& link, const CEntryRef& ref, EChange change, COutcome& outcome) {
    CLocated found;
    for (const CLoadedFile* item : files.Loaded())
        if (ref.m_file && item->m_file == ref.m_file) found.m_file = item->m_file;
    if (found.m_file && ref.m_table < CPluginFile::kTableCount)
        for (const auto& e : found.m_file->Table(ref.m_table))
            if (e.get() == ref.m_entry) found.m_entry = e.get();
    if (!found.m_entry) {
        if (found.m_file)
            link.Tell(CEntryMissingNotice{change});
        else
            link.Tell(CFileNotLoadedNotice{});
        outcome.m_result = EResult::Refused;
        outcome.m_reason = EReason::NotLoaded;
    }
    return found;
}

CEntryName NameOf(const CEntryRef& ref) {
    return {ref.m_file->FileName(), std::string(CPluginFile::kTags[ref.m_table]), std::string(ref.m_entry->IdText())};
}

void Declined(COutcome& outcome) {
    outcome.m_result = EResult::Refused;
    outcome.m_reason = EReason::Declined;
}

void Written(COutcome& outcome, const CPluginFile& file, const CEntryName& entry, EEntryChange how, bool written) {
    if (written) {
        outcome.m_changed.push_back({file.FileName(), 1, file.BackupPath(), {CChangedEntry{entry, how}}});
    } else {
        outcome.m_result = EResult::Failed;
        outcome.m_reason = EReason::WriteFailed;
    }
}

class CEntryOperation : public COperation {
public:
    CEntryOperation(CRequest request, CDocState state) : COperation(std::move(request), std::move(state), EActivity::Changing, false) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        std::visit([&](const auto& r) { Change(r, context, outcome); }, Request());
    }

private:
    void Change(const CUpdateEntryRequest& r, COperationContext& context, COutcome& outcome) {
        CUserLink& link = context.Link();
        CLocated found = Locate(State().m_files, link, r.m_entry, EChange::Update, outcome);
        if (!found.m_entry) return;
        if (!link.Agrees(CUpdateEntryQuestion{NameOf(r.m_entry)})) return Declined(outcome);
        // The caller hears whether the entry now holds what it asked for, not
        // a success that may not have happened.
        if (SameBytes(JoinSubRecords(r.m_subRecords), found.m_entry->Data())) return;
        Written(outcome, *found.m_file, NameOf(r.m_entry), EEntryChange::Updated, RewriteEntry(*found.m_file, *found.m_entry, r.m_subRecords, link));
    }

    void Change(const CDeleteEntryRequest& r, COperationContext& context, COutcome& outcome) {
        CUserLink& link = context.Link();
        CLocated found = Locate(State().m_files, link, r.m_entry, EChange::Delete, outcome);
        if (!found.m_entry) return;
        if (r.m_askFirst && !link.Agrees(CDeleteEntriesQuestion{NameOf(r.m_entry)})) return Declined(outcome);
        const CEntryName name = NameOf(r.m_entry);
        const bool erased = EraseEntry(*found.m_file, *found.m_entry, link);
        if (erased) found.m_file->DetachEntry(found.m_entry, CPluginFile::kTags[r.m_entry.m_table]);
        Written(outcome, *found.m_file, name, EEntryChange::Deleted, erased);
    }

    void Change(const CCleanCellRequest& r, COperationContext& context, COutcome& outcome) {
        CUserLink& link = context.Link();
        CLocated found = Locate(State().m_files, link, r.m_cell, EChange::CleanCells, outcome);
        if (!found.m_entry) return;
        // Judged anew: the plugin or the masters may have changed since the
        // cell was listed.
        const cells::CCellCleaner cleaner(MastersOldestFirst(State().m_files, context.Ages()));
        cells::CPluginCells result = cleaner.AnalyseCell(*found.m_file, *found.m_entry);
        if (result.m_cells.empty()) {
            link.Tell(CNothingToCleanNotice{NameOf(r.m_cell)});
            outcome.m_result = EResult::Refused;
            outcome.m_reason = EReason::NothingToClean;
            return;
        }
        if (r.m_askFirst && !link.Agrees(CCleanCellQuestion{NameOf(r.m_cell)})) return Declined(outcome);
        const std::vector<bool> done = ChangeEntries(*found.m_file, CellChanges(result.m_cells), link);
        // A cell left with nothing of its own goes whole.
        const EEntryChange how = result.m_cells.front().m_junk ? EEntryChange::Removed : EEntryChange::Cleaned;
        Written(outcome, *found.m_file, NameOf(r.m_cell), how, !done.empty() && done.front());
    }

    template <class T>
    void Change(const T&, COperationContext&, COutcome&) {}
};

}  // namespace

std::unique_ptr<COperation> MakeEntryOperation(const CRequest& request, CDocState state) {
    return std::make_unique<CEntryOperation>(request, std::move(state));
}

}  // namespace vantor
