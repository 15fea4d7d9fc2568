// Rewriting and erasing records of a plugin on disk, with the backup.
//
// The plugin is never edited in place and never absent: the change is made in
// a working copy created exclusively beside the plugin, flushed, given the
// plugin's times, and only then renamed over the plugin, after the backup (a
// copy, so the plugin stays where it is) exists. At every instant the bytes
// from before the change are at the plugin path or at the backup path.
#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "document/FrameLink.h"
#include "platform/FileOps.h"

namespace vantor {

namespace {

constexpr const char* kCaption = "VANTOR";
constexpr const char* kUpdateFailed = "Could not update this Entry.";
constexpr const char* kDeleteFailed = "Could not delete this Entry.";

// How far each record has moved on disk, from the changes made so far.
class CShiftIndex {
public:
    explicit CShiftIndex(const CPluginFile& file) {
        // An entry rewritten and then erased stands in both lists; its
        // removal already accounts for the whole record, so it counts once.
        std::unordered_set<const CEntry*> removed;
        for (const auto& e : file.m_removed) {
            removed.insert(e.get());
            m_shifts.emplace_back(e->m_offset, -std::int64_t(e->m_size));
        }
        std::unordered_set<const CEntry*> seen;
        for (const CEntry* e : file.m_rewritten)
            if (!removed.count(e) && seen.insert(e).second) m_shifts.emplace_back(e->m_offset, e->m_sizeChange);
        std::sort(m_shifts.begin(), m_shifts.end());
        m_sums.reserve(m_shifts.size() + 1);
        m_sums.push_back(0);
        for (const auto& s : m_shifts) m_sums.push_back(m_sums.back() + s.second);
    }

    // Offsets compared are those as read.
    std::int64_t CurrentOffset(std::int32_t offset) const {
        auto it = std::lower_bound(m_shifts.begin(), m_shifts.end(), std::pair<std::int32_t, std::int64_t>(
                                                                         offset, std::numeric_limits<std::int64_t>::min()));
        return offset + m_sums[std::size_t(it - m_shifts.begin())];
    }

private:
    std::vector<std::pair<std::int32_t, std::int64_t>> m_shifts;
    std::vector<std::int64_t> m_sums;
};

// One record to change, at its place on disk now.
struct CSplice {
    std::int64_t m_start = 0;
    std::int64_t m_length = 0;  // size + size change
    bool m_erase = false;
    std::string_view m_oldData;  // rewrite: the data that ends the record
    std::string m_newData;
};

void PutLE32(std::string& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

std::uint32_t GetLE24(std::string_view bytes, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(bytes[at])) |
           std::uint32_t(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           std::uint32_t(static_cast<unsigned char>(bytes[at + 2])) << 16;
}

std::string DefaultBackupName(const std::string& name) {
    return name.size() >= 3 ? name.substr(0, name.size() - 3) + "OLD" : name + ".OLD";
}

// The file's OS message, or the fixed text when the call failed without one.
void ShowFileError(CFrameLink& link, const std::string& why, const char* fallback) {
    link.Ask(CMessage{why.empty() ? std::string(fallback) : why, kCaption, EButtons::Ok, EIcon::Stop, EAnswer::Ok});
}

// The plugin's path as it is on disk: the name may differ in case from the
// one it was opened by.
std::string PluginPathOnDisk(const CPluginFile& file) {
    return platform::ResolvePath(file.FullPath()).value_or(file.FullPath());
}

// The backup is a complete copy with the plugin's times, made before the
// plugin is replaced, so a failure at any later step leaves both intact.
bool Backup(CPluginFile& file, const std::string& pluginPath, const platform::CFileTimes& times, CFrameLink& link) {
    if (file.m_backedUp) return true;
    if (file.m_backupPath.empty()) file.m_backupPath = DefaultBackupName(pluginPath);

    auto failed = [&link]() {
        std::string why = platform::LastErrorMessage();
        link.Ask(CMessage{why.empty() ? std::string("Could not create a Backup.") : why, kCaption, EButtons::Ok,
                          EIcon::None, EAnswer::Ok});
        return false;
    };

    bool replace = false;
    platform::ClearLastError();
    auto exists = platform::PathExists(file.m_backupPath);
    if (!exists) return failed();
    if (*exists) {
        EAnswer answer = link.Ask(CMessage{file.m_backupPath + "\nBackup File Exists, Create a new Backup?",
                                           "File Exists", EButtons::YesNoCancel, EIcon::Question, EAnswer::No});
        if (answer == EAnswer::No) {
            file.m_backedUp = 1;
            return true;
        }
        if (answer != EAnswer::Yes) return false;
        CFileChooser chooser;
        chooser.m_mode = CFileChooser::EMode::Save;
        chooser.m_title = "Select a Backup Filename";
        chooser.m_filters = {{"Any File (*.*)", "*.*"}};
        chooser.m_startFolder = platform::FolderOf(pluginPath);
        chooser.m_fileName = DefaultBackupName(platform::FileNameOf(pluginPath));
        chooser.m_defaultExtension = "OLD";
        chooser.m_confirmOverwrite = true;
        CFileChoice choice = link.ChooseFile(chooser);
        if (choice.m_status == CFileChoice::EStatus::Failed) {
            link.Tell("Error Selecting Backup File", "Error");
            return false;
        }
        if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return false;
        file.m_backupPath = choice.m_paths.front();
        // The chooser asked before replacing a file that is there.
        replace = true;
    }

    // A backup over the plugin itself would be replaced by the change.
    if (platform::SameFile(file.m_backupPath, pluginPath)) {
        platform::SetLastError(0);
        return failed();
    }
    if (!platform::CopyFile(pluginPath, file.m_backupPath, replace, &times)) return failed();
    platform::SyncFolder(platform::FolderOf(file.m_backupPath));
    file.m_backedUp = 1;
    return true;
}

// Writes the splices (sorted by start, not overlapping) through a working
// copy and replaces the plugin with it. False leaves the plugin as it was.
bool ApplySplices(CPluginFile& file, const std::vector<CSplice>& splices, CFrameLink& link, const char* failText) {
    if (splices.empty()) return false;
    platform::ClearLastError();
    const std::string pluginPath = PluginPathOnDisk(file);
    // A plugin reached through a link is changed where it lives, so the link
    // keeps leading to it.
    const std::string target = platform::ResolveLinks(pluginPath);

    // Before anything is written a failure needs no message of its own.
    auto times = platform::GetFileTimes(target);
    if (!times) return false;
    auto mode = platform::FileMode(target);
    if (!mode) return false;
    platform::CFile work;
    if (!work.CreateUnique(platform::FolderOf(target), platform::FileNameOf(target), *mode)) return false;
    if (!work.CopyFrom(target)) {
        work.Discard();
        return false;
    }
    const std::int64_t first = splices.front().m_start;
    auto size = work.Size();
    if (!size || !work.Seek(std::uint64_t(first))) {
        work.Discard();
        return false;
    }

    auto fileError = [&]() {
        std::string why = platform::LastErrorMessage();
        work.Discard();
        ShowFileError(link, why, failText);
        return false;
    };

    // Each record must still be where the model says: a file changed by
    // another program since it was read would be damaged by these offsets.
    bool inFile = first >= 0 && std::int64_t(*size) >= splices.back().m_start + splices.back().m_length;
    for (std::size_t k = 0; k < splices.size() && inFile; ++k)
        inFile = splices[k].m_length >= 16 &&
                 (k == 0 || splices[k - 1].m_start + splices[k - 1].m_length <= splices[k].m_start);
    std::string tail;
    if (inFile && !work.Read(tail, std::size_t(std::int64_t(*size) - first))) return fileError();
    bool matches = inFile;
    for (const CSplice& s : splices) {
        if (!matches) break;
        const std::size_t at = std::size_t(s.m_start - first);
        const std::size_t length = std::size_t(s.m_length);
        matches = CPluginFile::TagIndex(std::string_view(tail).substr(at, 4)) >= 0 &&
                  GetLE24(tail, at + 4) == ((length - 16) & 0xFFFFFF) &&
                  (s.m_erase || (s.m_oldData.size() <= length - 16 &&
                                 std::string_view(tail).substr(at + length - s.m_oldData.size(), s.m_oldData.size()) ==
                                     s.m_oldData));
    }
    if (!matches) {
        work.Discard();
        link.Ask(CMessage{pluginPath + "\nThe file has changed since it was read. Load it again before changing it.",
                          "Error", EButtons::Ok, EIcon::Stop, EAnswer::Ok});
        return false;
    }

    std::string out;
    out.reserve(tail.size());
    std::size_t pos = 0;
    for (const CSplice& s : splices) {
        const std::size_t at = std::size_t(s.m_start - first);
        out.append(tail, pos, at - pos);
        if (!s.m_erase) {
            const std::size_t keep = std::size_t(s.m_length) - s.m_oldData.size();  // header and ID subrecords
            out.append(tail, at, 4);
            PutLE32(out, std::uint32_t(keep - 16 + s.m_newData.size()));
            out.append(tail, at + 8, keep - 8);
            out.append(s.m_newData);
        }
        pos = at + std::size_t(s.m_length);
    }
    out.append(tail, pos, std::string::npos);
    tail.clear();
    tail.shrink_to_fit();

    if (!work.Seek(std::uint64_t(first)) || !work.Write(out) || !work.SetEnd() || !work.SetTimes(*times) ||
        !work.Sync() || !work.Close())
        return fileError();

    if (!Backup(file, pluginPath, *times, link)) {
        work.Discard();
        return false;
    }

    if (!platform::RenameFile(work.Path(), target, true)) {
        std::string why = platform::LastErrorMessage();
        link.Ask(CMessage{"Esp may be lost, restore from generated Backup.", "Critical Error", EButtons::Ok, EIcon::Stop,
                          EAnswer::Ok});
        work.Discard();
        ShowFileError(link, why, failText);
        return false;
    }
    // The change is in place; a folder that cannot be flushed does not undo it.
    platform::SyncFolder(platform::FolderOf(target));
    return true;
}

// The table index of an entry held by this file, found by identity.
std::unordered_map<const CEntry*, std::size_t> FindTables(const CPluginFile& file,
                                                          const std::unordered_set<const CEntry*>& wanted) {
    std::unordered_map<const CEntry*, std::size_t> found;
    for (std::size_t t = 0; t < CPluginFile::kTableCount && found.size() < wanted.size(); ++t)
        for (const auto& e : file.Table(t))
            if (wanted.count(e.get())) found.emplace(e.get(), t);
    return found;
}

}  // namespace

std::int64_t CPluginFile::CurrentOffset(const CEntry& entry) const {
    return CShiftIndex(*this).CurrentOffset(entry.m_offset);
}

bool CPluginFile::MakeBackup(const std::string& pluginPath, CFrameLink& link) {
    if (m_backedUp) return true;
    platform::ClearLastError();
    auto times = platform::GetFileTimes(pluginPath);
    if (!times) {
        std::string why = platform::LastErrorMessage();
        link.Ask(CMessage{why.empty() ? std::string("Could not create a Backup.") : why, kCaption, EButtons::Ok,
                          EIcon::None, EAnswer::Ok});
        return false;
    }
    return Backup(*this, pluginPath, *times, link);
}

bool CPluginFile::RewriteEntry(CEntry& entry, const std::vector<std::string>& tags,
                               const std::vector<std::string>& payloads, CFrameLink& link) {
    std::string newData = JoinSubRecords(tags, payloads);
    if (SameBytes(newData, entry.Data())) return false;
    if (entry.m_dataDropped) {
        // The stored data is not the record's: writing would duplicate or
        // lose subrecords.
        link.Ask({"This entry's data was not extracted (see the Extract options), so it cannot be rewritten.\n"
                  "Turn the option on and load the plugin again.",
                  "Cannot Complete Request", EButtons::Ok, EIcon::Stop, EAnswer::Ok});
        return false;
    }
    if (FindTables(*this, {&entry}).empty()) return false;
    const std::int64_t length = std::int64_t(entry.m_size) + entry.m_sizeChange;
    const std::int64_t newLength = length - std::int64_t(entry.DataLength()) + std::int64_t(newData.size());
    if (newLength > std::numeric_limits<std::int32_t>::max()) return false;

    CSplice splice;
    splice.m_start = CurrentOffset(entry);
    splice.m_length = length;
    splice.m_oldData = entry.Data();
    splice.m_newData = newData;
    if (!ApplySplices(*this, {splice}, link, kUpdateFailed)) return false;

    entry.m_sizeChange += std::int32_t(std::int64_t(newData.size()) - std::int64_t(entry.DataLength()));
    entry.SetData(std::move(newData));
    // By identity: another entry may carry the same ID in another table.
    m_rewritten.erase(std::remove(m_rewritten.begin(), m_rewritten.end(), &entry), m_rewritten.end());
    m_rewritten.push_back(&entry);
    return true;
}

bool CPluginFile::EraseEntry(const CEntry& entry, CFrameLink& link) {
    // A copy of an entry that is gone already would point at its successor.
    if (std::any_of(m_removed.begin(), m_removed.end(), [&](const auto& e) { return e->m_offset == entry.m_offset; }))
        return false;
    CShiftIndex shifts(*this);
    CSplice splice;
    splice.m_start = shifts.CurrentOffset(entry.m_offset);
    splice.m_length = std::int64_t(entry.m_size) + entry.m_sizeChange;
    splice.m_erase = true;
    return ApplySplices(*this, {splice}, link, kDeleteFailed);
}

std::vector<bool> CPluginFile::EraseEntries(const std::vector<const CEntry*>& entries, CFrameLink& link) {
    std::vector<bool> erased(entries.size(), false);
    std::unordered_set<const CEntry*> wanted(entries.begin(), entries.end());
    auto tables = FindTables(*this, wanted);
    if (tables.empty()) return erased;

    CShiftIndex shifts(*this);
    std::vector<CSplice> splices;
    std::vector<std::size_t> chosen;  // index into `entries` of each entry erased
    std::unordered_set<const CEntry*> taken;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CEntry* e = entries[i];
        if (!tables.count(e) || !taken.insert(e).second) continue;
        CSplice s;
        s.m_start = shifts.CurrentOffset(e->m_offset);
        s.m_length = std::int64_t(e->m_size) + e->m_sizeChange;
        s.m_erase = true;
        splices.push_back(std::move(s));
        chosen.push_back(i);
    }
    std::vector<std::size_t> order(splices.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return splices[a].m_start < splices[b].m_start; });
    std::vector<CSplice> sorted;
    sorted.reserve(splices.size());
    for (std::size_t k : order) sorted.push_back(std::move(splices[k]));

    if (!ApplySplices(*this, sorted, link, kDeleteFailed)) return erased;
    for (std::size_t i : chosen) {
        const CEntry* e = entries[i];
        erased[i] = DetachEntry(e, kTags[tables.at(e)]);
    }
    return erased;
}

}  // namespace vantor
