// Update Entry and Delete Entry: single changes to a loaded plugin, each
// written by the plugin writer after its backup.
#include "format/SubRecord.h"
#include "document/VANTORDoc.h"
#include "document/WriteMessages.h"

namespace vantor {

namespace {

CMessage Notice(const std::string& text) { return {text, "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok}; }

struct CLocated {
    std::shared_ptr<CPluginFile> m_file;
    CEntry* m_entry = nullptr;
};

// The loaded plugin and its entry, or a message saying which is missing.
CLocated Locate(CVANTORDoc& doc, const std::string& fileName, const std::string& tag, const std::string& id,
                const char* missingEntry) {
    CLocated found;
    found.m_file = doc.FindLoadedFile(fileName, false);
    if (!found.m_file) {
        doc.Link().Ask(Notice("Filename not Found."));
        return found;
    }
    found.m_entry = doc.FindEntry(fileName, id, tag, false);
    if (!found.m_entry) doc.Link().Ask(Notice(missingEntry));
    return found;
}

}  // namespace

bool CVANTORDoc::UpdateEntry(const std::vector<std::string>& tags, const std::vector<std::string>& payloads,
                             const std::string& tag, const std::string& id, const std::string& fileName) {
    // A running operation may be changing the same file.
    if (IsBusy()) return false;
    CLocated found = Locate(*this, fileName, tag, id, "Entry Deleted or Missing.");
    if (!found.m_entry) return false;
    if (m_link->Ask({"Update Entry?\nBackup Saved with Extension .OLD", "Update Entry", EButtons::YesNo,
                     EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    // The caller hears whether the entry now holds what it asked for, not a
    // success that may not have happened.
    if (SameBytes(JoinSubRecords(tags, payloads), found.m_entry->Data())) return true;
    return RewriteEntry(*found.m_file, *found.m_entry, tags, payloads, *m_link);
}

bool CVANTORDoc::DeleteEntry(const std::string& fileName, const std::string& tag, const std::string& id,
                             bool askFirst) {
    if (IsBusy()) return false;
    CLocated found = Locate(*this, fileName, tag, id, "Entry Already Deleted or Missing.");
    if (!found.m_entry) return false;
    if (askFirst && m_link->Ask({"Delete Entry(s)?\n\nBackup(s) Saved with Extension \".OLD\"", "Delete Entry(s)",
                                 EButtons::YesNo, EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    if (!EraseEntry(*found.m_file, *found.m_entry, *m_link)) return false;
    found.m_file->DetachEntry(found.m_entry, tag);
    return true;
}

}  // namespace vantor
