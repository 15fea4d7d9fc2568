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

// Device and inode: two paths that lead to one file (hard links too) agree.
struct CFileId {
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    bool operator==(const CFileId&) const = default;
};
// What is at a path, following links; a dangling link is Other.
struct CPathProbe {
    bool m_known = false;  // false: the call failed, see LastErrorMessage
    EFileKind m_kind = EFileKind::Missing;
    CFileId m_id;
    unsigned m_mode = 0;  // permission bits
    bool Exists() const { return m_kind != EFileKind::Missing; }
};
CPathProbe ProbePath(const std::string& path);
// Both paths lead to the same file (device and inode).
bool SameFile(const std::string& a, const std::string& b);
// The path with every symbolic link resolved, or the path itself.
std::string ResolveLinks(const std::string& path);

bool RemoveFile(const std::string& path);
// Removes the working files that runs of this tool which were killed left in
// a folder: those whose process is gone and which no process holds locked.
// Returns how many were removed.
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
// Copies contents, permission bits and times (the source's, or `times`).
// The copy is made in a working file beside `to` and renamed into place, so
// `to` never holds a partial copy.
bool CopyFile(const std::string& from, const std::string& to, bool replace, const CFileTimes* times = nullptr);

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
    std::string m_path;
    std::uint64_t m_position = 0;
};

}  // namespace vantor::platform
