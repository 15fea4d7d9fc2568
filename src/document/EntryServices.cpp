// Update Entry and Delete Entry: single changes to a loaded plugin, each
// written by the plugin writer after its backup.
#include "core/SubRecord.h"
#include "document/VANTORDoc.h"

namespace vantor {

namespace {
CMessage Notice(const std::string& text) { return {text, "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok}; }
}  // namespace

bool CVANTORDoc::UpdateEntry(const std::vector<std::string>& tags, const std::vector<std::string>& payloads,
                             const std::string& tag, const std::string& id, const std::string& fileName) {
    // A running operation may be changing the same file.
    if (IsBusy()) return false;
    CPluginFile* file = FindLoadedFile(fileName, false);
    if (!file) {
        m_link->Ask(Notice("Filename not Found."));
        return false;
    }
    CEntry* entry = FindEntry(fileName, id, tag, false);
    if (!entry) {
        m_link->Ask(Notice("Entry Deleted or Missing."));
        return false;
    }
    if (m_link->Ask({"Update Entry?\nBackup Saved with Extension .OLD", "Update Entry", EButtons::YesNo,
                     EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    // The caller hears whether the entry now holds what it asked for, not a
    // success that may not have happened.
    if (SameBytes(JoinSubRecords(tags, payloads), entry->Data())) return true;
    return file->RewriteEntry(*entry, tags, payloads, *m_link);
}

bool CVANTORDoc::DeleteEntry(const std::string& fileName, const std::string& tag, const std::string& id,
                             bool askFirst) {
    if (IsBusy()) return false;
    CPluginFile* file = FindLoadedFile(fileName, false);
    if (!file) {
        m_link->Ask(Notice("Filename not Found."));
        return false;
    }
    CEntry* entry = FindEntry(fileName, id, tag, false);
    if (!entry) {
        m_link->Ask(Notice("Entry Already Deleted or Missing."));
        return false;
    }
    if (askFirst && m_link->Ask({"Delete Entry(s)?\n\nBackup(s) Saved with Extension \".OLD\"", "Delete Entry(s)",
                                 EButtons::YesNo, EIcon::Question, EAnswer::Yes}) != EAnswer::Yes)
        return false;
    if (!file->EraseEntry(*entry, *m_link)) return false;
    file->DetachEntry(entry, tag);
    return true;
}

}  // namespace vantor
