// Rewriting and erasing records of a plugin on disk, with the backup.
//
// The plugin is never edited in place and never absent: the change is made in
// a working copy created exclusively beside the plugin, flushed, given the
// plugin's times, and only then renamed over the plugin, after the backup (a
// copy, so the plugin stays where it is) exists. At every instant the bytes
// from before the change are at the plugin path or at the backup path.
#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "format/LittleEndian.h"
#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "format/Backup.h"
#include "platform/Digest.h"
#include "platform/FileOps.h"

namespace vantor {

namespace {

// How far each record has moved on disk, from the changes made so far.
class CShiftIndex {
public:
    CShiftIndex(const CEntryTable& removedEntries, const std::vector<CEntry*>& rewritten) {
        // An entry rewritten and then erased stands in both lists; its
        // removal already accounts for the whole record, so it counts once.
        std::unordered_set<const CEntry*> removed;
        for (const auto& e : removedEntries) {
            removed.insert(e.get());
            m_shifts.emplace_back(e->m_offset, -e->m_size);
        }
        std::unordered_set<const CEntry*> seen;
        for (const CEntry* e : rewritten)
            if (!removed.count(e) && seen.insert(e).second) m_shifts.emplace_back(e->m_offset, e->m_sizeChange);
        std::sort(m_shifts.begin(), m_shifts.end());
        m_sums.reserve(m_shifts.size() + 1);
        m_sums.push_back(0);
        for (const auto& s : m_shifts) m_sums.push_back(m_sums.back() + s.second);
    }

    // Offsets compared are those as read.
    std::int64_t CurrentOffset(std::int64_t offset) const {
        auto it = std::lower_bound(m_shifts.begin(), m_shifts.end(),
                                   std::pair(offset, std::numeric_limits<std::int64_t>::min()));
        return offset + m_sums[std::size_t(it - m_shifts.begin())];
    }

private:
    std::vector<std::pair<std::int64_t, std::int64_t>> m_shifts;
    std::vector<std::int64_t> m_sums;
};

// The plugin's path as it is on disk: the name may differ in case from the
// one it was opened by.
std::string PluginPathOnDisk(const CPluginFile& file) {
    return platform::ResolvePath(file.FullPath()).value_or(file.FullPath());
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

CWriteResult Failed(EWriteFailure failure, const std::string& path) {
    return CWriteResult::Failure(failure, path, platform::LastErrorMessage());
}

}  // namespace

// One record to change, at its place on disk now.
struct CPluginFile::CSplice {
    std::int64_t m_start = 0;
    std::int64_t m_length = 0;  // size + size change
    bool m_erase = false;
    std::size_t m_oldDataLength = 0;  // rewrite: the data that ends the record
    std::string m_newData;
};

namespace {

// Record tags are capitals, digits and '_': bytes that are not one start no
// record, while a tag the reader does not know still starts one.
bool TagLike(std::string_view bytes, std::size_t at) {
    for (std::size_t k = 0; k < 4; ++k) {
        const char c = bytes[at + k];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// The first splice that is no whole record of the chain walked from the
// file's start by the records' sizes, or npos when every one is. Junk
// between records is passed to the next place where a record of a size that
// fits begins; nothing inside a record, whatever its tag, is a record of its
// own, though the reader's resynchronisation may have found one there.
template <class CSplices>
std::size_t FirstOffChain(std::string_view bytes, const CSplices& splices) {
    std::size_t k = 0;
    std::size_t pos = 0;
    const std::size_t n = bytes.size();
    while (k < splices.size() && n >= 16 && pos <= n - 16) {
        const std::size_t end = pos + 16 + le::U24(bytes, pos + 4);
        if (!TagLike(bytes, pos) || end > n) {
            ++pos;
            continue;
        }
        if (std::int64_t(pos) > splices[k].m_start) return k;
        if (std::int64_t(pos) == splices[k].m_start) {
            if (std::int64_t(end - pos) != splices[k].m_length) return k;
            ++k;
        }
        pos = end;
    }
    return k < splices.size() ? k : std::string::npos;
}

}  // namespace

CWriteResult CPluginFile::LockForChange(platform::CFileLock& lock, const std::string& target,
                                        const std::string& pluginPath, CBackupPolicy& policy) {
    using EState = platform::CFileLock::EState;
    EState state = lock.TryLock(target);
    if (state == EState::Busy) {
        const auto wait = policy.LockWait();
        policy.Waiting(pluginPath, wait);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (state == EState::Busy && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            state = lock.TryLock(target);
        }
    }
    if (state == EState::Busy) return CWriteResult::Failure(EWriteFailure::Busy, pluginPath);
    if (state == EState::Failed) return Failed(EWriteFailure::Inspect, pluginPath);
    return {};
}

// The plugin's bytes now, when it is still the file this object knows (as
// read, or as it last wrote it): the same file, size and write time, and the
// same bytes.
CWriteResult CPluginFile::ReadUnchanged(const std::string& target, const std::string& pluginPath,
                                        std::string& bytes) const {
    platform::CReadFile file;
    if (!file.Open(target) || !file.ReadAll(bytes)) return Failed(EWriteFailure::Inspect, pluginPath);
    const std::optional<platform::CFileState>& known = m_written ? m_written : m_readFile.ReadState();
    if (!known || file.ReadState() != known) return CWriteResult::Failure(EWriteFailure::ChangedOnDisk, pluginPath);
    return {};
}

CWriteResult CPluginFile::CheckUnchanged() const {
    platform::ClearLastError();
    const std::string pluginPath = PluginPathOnDisk(*this);
    std::string bytes;
    return ReadUnchanged(platform::ResolveLinks(pluginPath), pluginPath, bytes);
}

// Writes the splices (sorted by start, not overlapping) through a working
// copy and replaces the plugin with it. A failure leaves the plugin as it was.
CWriteResult CPluginFile::ApplySplices(const std::vector<CSplice>& splices, CBackupPolicy& policy) {
    if (splices.empty()) return CWriteResult::Failure(EWriteFailure::NothingToWrite);
    platform::ClearLastError();
    const std::string pluginPath = PluginPathOnDisk(*this);
    // A plugin reached through a link is changed where it lives, so the link
    // keeps leading to it.
    const std::string target = platform::ResolveLinks(pluginPath);
    const std::string folder = platform::FolderOf(target);

    const platform::CPathProbe plugin = platform::ProbePath(target);
    if (!plugin.m_known) return Failed(EWriteFailure::Inspect, pluginPath);
    if (plugin.m_kind != platform::EFileKind::Regular)
        return CWriteResult::Failure(EWriteFailure::NotRegular, pluginPath, platform::KindWords(plugin.m_kind));
    if (!platform::WritePermitted(target, plugin.m_mode)) return CWriteResult::Failure(EWriteFailure::ReadOnly, pluginPath);
    auto times = platform::GetFileTimes(target);
    if (!times) return Failed(EWriteFailure::Inspect, pluginPath);

    // From the read that proves the file unchanged to the rename, no other
    // run of this tool changes it.
    platform::CFileLock lock;
    if (CWriteResult locked = LockForChange(lock, target, pluginPath, policy); !locked.Ok()) return locked;
    std::string bytes;
    if (CWriteResult read = ReadUnchanged(target, pluginPath, bytes); !read.Ok()) return read;
    // Offsets the reader found by resynchronising may lie inside a record,
    // whose bytes they would cut.
    if (const std::size_t off = FirstOffChain(bytes, splices); off != std::string::npos) {
        std::string where = "The entry at offset " + std::to_string(splices[off].m_start) +
                            " lies inside another record or after damage the file cannot be walked past.";
        if (!Diagnostic().m_message.empty()) where += "\n" + Diagnostic().m_message;
        return CWriteResult::Failure(EWriteFailure::InsideRecord, pluginPath, where);
    }

    const std::size_t first = std::size_t(splices.front().m_start);
    std::int64_t erasing = 0;
    std::string out;
    out.reserve(bytes.size());
    out.append(bytes, 0, first);
    std::size_t pos = first;
    for (const CSplice& s : splices) {
        const std::size_t at = std::size_t(s.m_start);
        out.append(bytes, pos, at - pos);
        if (s.m_erase) {
            ++erasing;
        } else {
            const std::size_t keep = std::size_t(s.m_length) - s.m_oldDataLength;  // header and ID subrecords
            out.append(bytes, at, 4);
            le::PutU32(out, std::uint32_t(keep - 16 + s.m_newData.size()));
            out.append(bytes, at + 8, keep - 8);
            out.append(s.m_newData);
        }
        pos = at + std::size_t(s.m_length);
    }
    out.append(bytes, pos, std::string::npos);
    bytes.clear();
    bytes.shrink_to_fit();
    WriteRecordCount(out, erasing);

    platform::RemoveStaleWorkFiles(folder);
    platform::CFile work;
    if (!work.CreateUnique(folder, plugin.m_mode)) return Failed(EWriteFailure::WorkingCopy, folder);
    auto workFailed = [&](EWriteFailure failure, const std::string& path) {
        CWriteResult result = Failed(failure, path);
        work.Discard();
        return result;
    };
    std::vector<std::string> ownerLost;
    if (!work.SetOwner(plugin.m_owner)) ownerLost.push_back(pluginPath);
    // Kept open, and so locked, until the rename: runs that remove the
    // working files of killed runs tell it from theirs by the lock.
    std::optional<platform::CFileIdentity> written;
    if (!work.Write(out) || !work.SetTimes(*times) || !work.Sync() || !(written = work.Identity()))
        return workFailed(EWriteFailure::WorkingFile, pluginPath);

    CWriteResult backup = MakeBackupCopy(pluginPath, m_backup, policy, &*times);
    if (!backup.Ok()) {
        work.Discard();
        return backup;
    }
    ownerLost.insert(ownerLost.end(), backup.m_ownerNotKept.begin(), backup.m_ownerNotKept.end());
    // The backup may have asked a question, and another program may have
    // saved the plugin while it waited for the answer.
    if (CWriteResult again = ReadUnchanged(target, pluginPath, bytes); !again.Ok()) {
        work.Discard();
        return again;
    }
    bytes.clear();
    if (!work.Close()) return workFailed(EWriteFailure::WorkingFile, pluginPath);

    if (!platform::RenameFile(work.Path(), target, true)) {
        CWriteResult result = Failed(EWriteFailure::Rename, pluginPath);
        // A rename that fails leaves the target alone; only a file that is
        // no longer the one renamed over may have been touched.
        const platform::CPathProbe after = platform::ProbePath(target);
        result.m_pluginUnchanged = after.m_known && after.m_id == plugin.m_id;
        work.Discard();
        return result;
    }
    m_written = platform::CFileState{*written, platform::CDigest::Of(out)};
    // The change is in place; a folder that cannot be flushed does not undo it.
    platform::SyncFolder(folder);
    CWriteResult done;
    done.m_ownerNotKept = std::move(ownerLost);
    return done;
}

// The header's record count becomes the number of records the changed file
// holds: exactly, when the file was read as whole records from end to end,
// else the count it stated less the records erased now.
void CPluginFile::WriteRecordCount(std::string& bytes, std::int64_t erasing) const {
    if (m_headerCountOffset < 0) return;
    // HEDR's tag and size, then its payload up to the count.
    const std::size_t countAt = std::size_t(m_headerCountOffset);
    if (countAt < 304 || bytes.compare(countAt - 304, 4, "HEDR") != 0) return;
    const std::uint32_t stated = le::U32(bytes, countAt);
    std::int64_t count = m_recordsInFile >= 0 ? m_recordsInFile - std::int64_t(m_removed.size()) - erasing
                                              : std::int64_t(stated) - erasing;
    if (count < 0 || count > std::int64_t(std::numeric_limits<std::uint32_t>::max())) return;
    le::SetU32(bytes, countAt, std::uint32_t(count));
}

std::int64_t CPluginFile::CurrentOffset(const CEntry& entry) const {
    return CShiftIndex(m_removed, m_rewritten).CurrentOffset(entry.m_offset);
}

CWriteResult CPluginFile::MakeBackup(const std::string& pluginPath, CBackupPolicy& policy) {
    if (m_backup.m_made) return {};
    platform::ClearLastError();
    auto times = platform::GetFileTimes(pluginPath);
    if (!times) return CWriteResult::Failure(EWriteFailure::Backup, pluginPath, platform::LastErrorMessage());
    return MakeBackupCopy(pluginPath, m_backup, policy, &*times);
}

void CPluginFile::NoteRewritten(CEntry& entry, std::string newData) {
    entry.m_sizeChange += std::int64_t(newData.size()) - std::int64_t(entry.DataLength());
    entry.SetData(std::move(newData));
    // By identity: another entry may carry the same ID in another table.
    m_rewritten.erase(std::remove(m_rewritten.begin(), m_rewritten.end(), &entry), m_rewritten.end());
    m_rewritten.push_back(&entry);
}

namespace {

// Readers of the format, this one too, take a record's size from the low 24
// bits of its size field.
bool FitsRecord(const CEntry& entry, std::size_t newDataLength) {
    const std::int64_t length = entry.m_size + entry.m_sizeChange;
    return length - std::int64_t(entry.DataLength()) + std::int64_t(newDataLength) - 16 <= 0xFFFFFF;
}

}  // namespace

CWriteResult CPluginFile::RewriteEntry(CEntry& entry, const CSubRecords& subs, CBackupPolicy& policy) {
    std::string newData = JoinSubRecords(subs);
    if (SameBytes(newData, entry.Data())) return CWriteResult::Failure(EWriteFailure::NothingToWrite);
    // The stored data is not the record's: writing would duplicate or lose
    // subrecords.
    if (entry.m_dataDropped) return CWriteResult::Failure(EWriteFailure::NotExtracted, FullPath());
    if (FindTables(*this, {&entry}).empty()) return CWriteResult::Failure(EWriteFailure::NotInFile, FullPath());
    if (!FitsRecord(entry, newData.size())) return CWriteResult::Failure(EWriteFailure::TooLarge, FullPath());

    CSplice splice;
    splice.m_start = CurrentOffset(entry);
    splice.m_length = entry.m_size + entry.m_sizeChange;
    splice.m_oldDataLength = entry.DataLength();
    splice.m_newData = newData;
    CWriteResult result = ApplySplices({splice}, policy);
    if (result.Ok()) NoteRewritten(entry, std::move(newData));
    return result;
}

CWriteResult CPluginFile::EraseEntry(const CEntry& entry, CBackupPolicy& policy) {
    // A copy of an entry that is gone already would point at its successor.
    if (std::any_of(m_removed.begin(), m_removed.end(), [&](const auto& e) { return e->m_offset == entry.m_offset; }))
        return CWriteResult::Failure(EWriteFailure::NotInFile, FullPath());
    CShiftIndex shifts(m_removed, m_rewritten);
    CSplice splice;
    splice.m_start = shifts.CurrentOffset(entry.m_offset);
    splice.m_length = entry.m_size + entry.m_sizeChange;
    splice.m_erase = true;
    return ApplySplices({splice}, policy);
}

CWriteResult CPluginFile::EraseEntries(const std::vector<const CEntry*>& entries, CBackupPolicy& policy,
                                       std::vector<bool>& erased) {
    std::vector<CEntryChange> changes;
    changes.reserve(entries.size());
    for (const CEntry* e : entries) changes.push_back({e, true, {}});
    return ChangeEntries(std::move(changes), policy, erased);
}

CWriteResult CPluginFile::ChangeEntries(std::vector<CEntryChange> changes, CBackupPolicy& policy,
                                        std::vector<bool>& done) {
    done.assign(changes.size(), false);
    std::unordered_set<const CEntry*> wanted;
    for (const auto& c : changes) wanted.insert(c.m_entry);
    const auto tables = FindTables(*this, wanted);

    std::vector<std::size_t> chosen;  // index into `changes` of each change made
    std::unordered_set<const CEntry*> taken;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const CEntryChange& c = changes[i];
        if (!tables.count(c.m_entry) || !taken.insert(c.m_entry).second) continue;
        if (!c.m_erase) {
            if (SameBytes(c.m_data, c.m_entry->Data())) continue;
            if (c.m_entry->m_dataDropped) return CWriteResult::Failure(EWriteFailure::NotExtracted, FullPath());
            if (!FitsRecord(*c.m_entry, c.m_data.size())) return CWriteResult::Failure(EWriteFailure::TooLarge, FullPath());
        }
        chosen.push_back(i);
    }
    if (chosen.empty()) return CWriteResult::Failure(EWriteFailure::NothingToWrite);

    CShiftIndex shifts(m_removed, m_rewritten);
    std::vector<CSplice> splices;
    splices.reserve(chosen.size());
    for (std::size_t i : chosen) {
        const CEntryChange& c = changes[i];
        CSplice s;
        s.m_start = shifts.CurrentOffset(c.m_entry->m_offset);
        s.m_length = c.m_entry->m_size + c.m_entry->m_sizeChange;
        s.m_erase = c.m_erase;
        if (!c.m_erase) {
            s.m_oldDataLength = c.m_entry->DataLength();
            s.m_newData = c.m_data;
        }
        splices.push_back(std::move(s));
    }
    std::vector<std::size_t> order(splices.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return splices[a].m_start < splices[b].m_start; });
    std::vector<CSplice> sorted;
    sorted.reserve(splices.size());
    for (std::size_t k : order) sorted.push_back(std::move(splices[k]));

    CWriteResult result = ApplySplices(sorted, policy);
    if (!result.Ok()) return result;
    for (std::size_t i : chosen) {
        CEntryChange& c = changes[i];
        if (c.m_erase) {
            done[i] = DetachEntry(c.m_entry, kTags[tables.at(c.m_entry)]);
        } else {
            // Found in this file's own tables, which hold their entries mutable.
            NoteRewritten(const_cast<CEntry&>(*c.m_entry), std::move(c.m_data));
            done[i] = true;
        }
    }
    return result;
}

}  // namespace vantor
