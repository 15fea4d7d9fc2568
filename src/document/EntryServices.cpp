// Update Entry and Delete Entry: single changes to a loaded plugin, each
// written by the plugin writer after its backup. They act on the entry a
// row or an editor window holds, never on another of the same ID.
#include "checks/FileAges.h"
#include "format/SubRecord.h"
#include "document/VANTORDoc.h"
#include "document/WriteMessages.h"
#include "document/operations/Operations.h"

namespace vantor {

namespace {

CMessage Notice(const std::string& text) { return {text, "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok}; }

struct CLocated {
    std::shared_ptr<CPluginFile> m_file;
    CEntry* m_entry = nullptr;
};

// The loaded plugin that holds the entry and the entry itself, still in its
// table; otherwise a message saying which is missing.
CLocated Locate(const CFileList& files, CFrameLink& link, const CEntryRef& ref, const char* missingEntry) {
    CLocated found;
    for (const CLoadedFile* item : files.Loaded())
        if (ref.m_file && item->m_file == ref.m_file) found.m_file = item->m_file;
    if (!found.m_file) {
        link.Ask(Notice("Filename not Found."));
        return found;
    }
    if (ref.m_table < CPluginFile::kTableCount)
        for (const auto& e : found.m_file->Table(ref.m_table))
            if (e.get() == ref.m_entry) found.m_entry = e.get();
    if (!found.m_entry) link.Ask(Notice(missingEntry));
    return found;
}

// How a question names the entry it is about: "GMST fSampleJumpBase in Sample Tweaks.esp".
std::string EntryName(const CEntryRef& ref, const CLocated& found) {
    return std::string(CPluginFile::kTags[ref.m_table]) + " " + std::string(found.m_entry->IdText()) + " in " +
           found.m_file->FileName();
}

}  // namespace

bool CVANTORDoc::UpdateEntry(const CEntryRef& ref, const CSubRecords& subs) {
    // A running operation may be changing the same file.
    if (IsBusy()) return false;
    CLocated found = Locate(Files(), *m_link, ref, "Entry Deleted or Missing.");
    if (!found.m_entry) return false;
    if (m_link->Ask({"Update Entry?\n" + EntryName(ref, found) + "\nBackup Saved with Extension .OLD",
                     "Update Entry", EButtons::YesNo, EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    // The caller hears whether the entry now holds what it asked for, not a
    // success that may not have happened.
    if (SameBytes(JoinSubRecords(subs), found.m_entry->Data())) return true;
    return RewriteEntry(*found.m_file, *found.m_entry, subs, *m_link);
}

bool CVANTORDoc::DeleteEntry(const CEntryRef& ref, bool askFirst) {
    if (IsBusy()) return false;
    CLocated found = Locate(Files(), *m_link, ref, "Entry Already Deleted or Missing.");
    if (!found.m_entry) return false;
    // The question names the entry (the first of those a Delete key takes).
    const std::string question =
        "Delete Entry(s)?\n\n" + EntryName(ref, found) + "\n\nBackup(s) Saved with Extension \".OLD\"";
    if (askFirst &&
        m_link->Ask({question, "Delete Entry(s)", EButtons::YesNo, EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    if (!EraseEntry(*found.m_file, *found.m_entry, *m_link)) return false;
    found.m_file->DetachEntry(found.m_entry, CPluginFile::kTags[ref.m_table]);
    return true;
}

bool CVANTORDoc::DeleteEntry(const std::string& fileName, const std::string& tag, const std::string& id,
                             bool askFirst) {
    CEntryRef ref;
    ref.m_file = FindLoadedFile(fileName, false);
    const int table = CPluginFile::TagIndex(tag);
    ref.m_table = std::uint8_t(table < 0 ? CPluginFile::kTableCount : table);
    if (ref.m_file) ref.m_entry = FindEntry(fileName, id, tag, false);
    // The messages name what is missing, as for a row.
    return DeleteEntry(ref, askFirst);
}

bool CVANTORDoc::CleanCell(const CEntryRef& ref, bool askFirst) {
    if (IsBusy()) return false;
    const CFileList files = Files();
    CLocated found = Locate(files, *m_link, ref, "Entry Already Deleted or Missing.");
    if (!found.m_entry) return false;
    // Judged anew: the plugin or the masters may have changed since the
    // cell was listed.
    CLoadOrderAges ages(*LoadOrder());
    const cells::CCellCleaner cleaner(MastersOldestFirst(files, ages));
    cells::CPluginCells result = cleaner.AnalyseCell(*found.m_file, *found.m_entry);
    if (result.m_cells.empty()) {
        m_link->Ask(Notice("Nothing to Clean in this Cell."));
        return false;
    }
    if (askFirst && m_link->Ask({"Clean Cell(s)?\n\nBackup(s) Saved with Extension \".OLD\"", "Clean Cells",
                                 EButtons::YesNo, EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    const std::vector<bool> done = ChangeEntries(*found.m_file, CellChanges(result.m_cells), *m_link);
    return !done.empty() && done.front();
}

}  // namespace vantor
