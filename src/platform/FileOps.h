#pragma once
// Changing files safely: copies, renames, removal, times, exclusively created
// working files and a read/write handle. Every call passes the fault seam of
// Files.h first and records its error for LastErrorMessage.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace vantor::platform {

// Access and last-write times, to the nanosecond where the file system keeps
// them. Linux has no creation time that could be set.
struct CFileTimes {
    std::int64_t m_accessSec = 0;
    std::int64_t m_accessNsec = 0;
    std::int64_t m_writeSec = 0;
    std::int64_t m_writeNsec = 0;
};

std::optional<CFileTimes> GetFileTimes(const std::string& path);
bool SetFileTimes(const std::string& path, const CFileTimes& times);
// Permission bits (e.g. 0644); on Windows 0444 for a read-only file, else 0666.
std::optional<unsigned> FileMode(const std::string& path);
// Whether anything (a dangling link too) is at `path`; nullopt when that
// cannot be told.
std::optional<bool> PathExists(const std::string& path);

// Who owns a file (POSIX user and group ids; none on Windows, where a
// new file takes the folder's access rules).
struct CFileOwner {
    std::uint32_t m_user = 0;
    std::uint32_t m_group = 0;
    bool operator==(const CFileOwner&) const = default;
};
// What is at a path, following links; a dangling link is Other.
struct CPathProbe {
    bool m_known = false;  // false: the call failed, see LastErrorMessage
    EFileKind m_kind = EFileKind::Missing;
    CFileId m_id;
    unsigned m_mode = 0;  // permission bits
    CFileOwner m_owner;
    bool Exists() const { return m_kind != EFileKind::Missing; }
};
CPathProbe ProbePath(const std::string& path);
// Both paths lead to the same file (device and inode).
bool SameFile(const std::string& a, const std::string& b);
// The path with every symbolic link resolved, or the path itself.
std::string ResolveLinks(const std::string& path);

bool RemoveFile(const std::string& path);
// Removes the working files that runs of this tool which were killed left in
// a folder: those no process holds locked (a live run holds each of its own
// working files locked while it is open; the process id in the name may have
// been given to another process since). Returns how many were removed.
int RemoveStaleWorkFiles(const std::string& folder);
// The permission bits allow writing: for the superuser too, who could
// override them, a file without any write bit is left as it is.
bool WritePermitted(const std::string& path, unsigned mode);

// Flushes a folder's entries so that a rename in it survives a crash.
bool SyncFolder(const std::string& folder);

// Renames in one step. With `replace` an existing `to` is replaced, else the
// call fails when `to` exists. Both paths must be on one file system: the
// replace of a plugin relies on the rename being atomic, so there is no copy
// fallback here. The seam sees `to`.
bool RenameFile(const std::string& from, const std::string& to, bool replace);
// Moves a file, across file systems too: there as a flushed copy renamed into
// place in the destination folder, after which the source is removed.
bool MoveFile(const std::string& from, const std::string& to, bool replace);
// What CopyFile made: which file the copy is, and whether it has the
// source's owner and group.
struct CCopied {
    CFileId m_id;
    bool m_ownerKept = true;
};
// Copies contents, permission bits, times (the source's, or `times`) and,
// where the system lets this process, owner and group. The copy is made in a
// working file beside `to` and renamed into place, so `to` never holds a
// partial copy.
bool CopyFile(const std::string& from, const std::string& to, bool replace, const CFileTimes* times = nullptr,
              CCopied* copied = nullptr);

// An exclusive lock on a file among the runs of this tool, so that one file
// is changed by one process at a time. Other programs do not see it. It is
// tied to the file, not the name: once the file is replaced by a rename, a
// run that waited for the old one finds the name leading elsewhere.
class CFileLock {
public:
    enum class EState {
        Locked,  // held (also where the file system has no locks to take)
        Busy,    // another process or thread holds it
        Failed,  // the file could not be opened; see LastErrorMessage
    };
    CFileLock() = default;
    ~CFileLock() { Unlock(); }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Takes the lock without waiting; may be called again after Busy.
    EState TryLock(const std::string& path);
    void Unlock();

private:
    std::intptr_t m_handle = kNoHandle;
    std::string m_path;
};

// A file opened for reading and writing. Reads and writes start at the
// position that Seek set and advance it.
class CFile {
public:
    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // An existing regular file; never through a final symbolic link.
    bool Open(const std::string& path);
    // A new working file folder + ".vantor-" + process id + "-" + random
    // letters + ".tmp", created exclusively (an existing file or link there
    // makes another name be tried) with the permission bits `mode`, and
    // locked while it is open. The name is short whatever the file it stands
    // in for, and hidden, so the game never takes it for a plugin.
    bool CreateUnique(const std::string& folder, unsigned mode);

    bool IsOpen() const { return m_handle != kNoHandle; }
    const std::string& Path() const { return m_path; }
    std::optional<std::uint64_t> Size();
    std::optional<CFileIdentity> Identity();
    // Gives the file that owner and group, and then again the permission
    // bits CreateUnique gave it. False when the system does not let this
    // process (only the superuser may give a file away).
    bool SetOwner(const CFileOwner& owner);
    bool Seek(std::uint64_t offset);
    std::uint64_t Position() const { return m_position; }
    // Exactly n bytes; a file that ends sooner is a failure (a short read)
    // with no system error.
    bool Read(std::string& out, std::size_t n);
    // All bytes, or a failure.
    bool Write(std::string_view bytes);
    // Ends the file at the position.
    bool SetEnd();
    bool Sync();
    bool SetTimes(const CFileTimes& times);
    // Appends the whole of another file at the position.
    bool CopyFrom(const std::string& from);
    bool Close();
    // Closes the file after a failure and removes it if CreateUnique made
    // it, keeping the last error of the call that failed.
    void Discard();

private:
    std::intptr_t m_handle = kNoHandle;
    bool m_created = false;
    unsigned m_mode = 0;  // CreateUnique's permission bits
    std::string m_path;
    std::uint64_t m_position = 0;
};

}  // namespace vantor::platform
