#pragma once
// Our stand-in for the Windows file functions the tool relies on: whole-file
// reads, sizes, last-write times in whole seconds, and a seam that lets tests
// make any call fail.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Digest.h"

namespace vantor::platform {

enum class EFileOp { Open, Read, Write, Stat, Copy, Move, Remove, SetTime, CreateTemp, Seek, Truncate, Sync, Close, ShortRead, ShortWrite, Lock, SetOwner };

// A hook returning true makes the named operation on that path fail with EIO.
// Tests install one; production code never does.
using CFaultHook = std::function<bool(EFileOp op, const std::string& path)>;
void SetFaultHook(CFaultHook hook);
bool ShouldFail(EFileOp op, const std::string& path);

// The system's message for the last failed call ("" when there is none).
std::string LastErrorMessage();
void ClearLastError();
// Records the error of a failed call (0: failed without a system error).
void SetLastError(int error);
// The error of the last failed call (an errno value), 0 when there is none.
int LastError();

enum class EFileKind { Missing, Regular, Folder, Fifo, Device, Socket, Other };
// What a path is, in words for a message ("a folder", "a FIFO", ...).
const char* KindWords(EFileKind kind);

// Linux file systems are case-sensitive while the game's file names are not:
// when `path` does not exist, a file in the same folder whose name matches
// without regard to ASCII case is returned instead.
std::optional<std::string> ResolvePath(const std::string& path);
// The names in a folder ("" is the working folder), without "." and "..",
// in the order the system lists them; none when it cannot be listed.
std::vector<std::string> ListFolder(const std::string& folder);

// Names are UTF-8 text on Windows and bytes elsewhere; std::filesystem
// would read a std::string in the ANSI code page on Windows. These convert.
std::filesystem::path FsPath(const std::string& path);
std::string PathText(const std::filesystem::path& path);

bool FileExists(const std::string& path);
std::optional<std::uint64_t> FileSize(const std::string& path);
// Last-write time in whole seconds since the epoch.
std::optional<std::int64_t> LastWriteTime(const std::string& path);

// A descriptor, or a Windows handle; -1 is none on both.
inline constexpr std::intptr_t kNoHandle = -1;

// Device and inode: two paths that lead to one file (hard links too) agree.
struct CFileId {
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    bool operator==(const CFileId&) const = default;
};
// What tells one state of a file from another without reading it: which
// file it is, its size and its last-write time to the nanosecond.
struct CFileIdentity {
    CFileId m_id;
    std::uint64_t m_size = 0;
    std::int64_t m_writeSec = 0;
    std::int64_t m_writeNsec = 0;
    bool operator==(const CFileIdentity&) const = default;
};
// A file as it was read whole: its identity and the digest of its bytes.
struct CFileState {
    CFileIdentity m_identity;
    std::uint64_t m_digest = 0;
    bool operator==(const CFileState&) const = default;
};
// The identity of what is at `path` now (links followed); nullopt when it
// cannot be told.
std::optional<CFileIdentity> IdentityOf(const std::string& path);

// The bytes of a file as one read found them, shared by everything made of
// them and never changed by us. Where the system allows it the file is
// mapped rather than copied (on Windows it is read: a mapped file could not
// be replaced by a save). A mapped file that another program shrinks does
// not bring the process down: the bytes past its new end read as zeros
// from then on, and Cut() says so.
class CFileBytes {
public:
    CFileBytes() = default;
    ~CFileBytes();
    CFileBytes(const CFileBytes&) = delete;
    CFileBytes& operator=(const CFileBytes&) = delete;

    std::string_view View() const { return {m_data, m_size}; }
    bool Cut() const;

private:
    friend class CReadFile;
    friend class CFileWalk;
    // The first `size` bytes of the open file, mapped; false when they
    // cannot be (nothing is mapped then).
    bool Map(std::intptr_t handle, std::size_t size);
    void Hold(std::string bytes);

    const char* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_held;      // the bytes when read rather than mapped
    void* m_guard = nullptr;  // the mapping's place among the guarded ones
};

// A file opened for reading; the handle is closed by Close or destruction.
class CReadFile {
public:
    CReadFile() = default;
    ~CReadFile();
    CReadFile(const CReadFile&) = delete;
    CReadFile& operator=(const CReadFile&) = delete;

    // Only a regular file: a FIFO, device, socket or folder is refused
    // without waiting for a writer to appear.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_handle != kNoHandle; }
    // Reads the whole file into `out` with as few system calls as it takes.
    bool ReadAll(std::string& out);
    bool Close();
    const std::string& Path() const { return m_path; }
    // The file as the last ReadAll found it, kept after Close; nullopt
    // before a read, after a failed one, and when the file changed while it
    // was read (the bytes read are then no state the file was ever in).
    const std::optional<CFileState>& ReadState() const { return m_readState; }

private:
    friend class CFileWalk;
    // The whole file mapped, and what it was when mapped; false when it
    // cannot be mapped here (it may still be read).
    bool Map(std::shared_ptr<const CFileBytes>& out, CFileIdentity& identity);
    // Up to `size` bytes at `offset` in one call; `got` is 0 at the end.
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size, std::size_t& got);
    std::optional<CFileIdentity> IdentityNow() const;

    std::intptr_t m_handle = kNoHandle;
    std::string m_path;
    std::optional<CFileState> m_readState;
};

// An open file's bytes met front to back, as the reader meets its records,
// while what is kept of them lies in the file's shared bytes (mapped where
// the system allows, so kept records cost no copy). The pieces met are read
// into a block of memory the process uses again and again, not taken from
// the mapping: on a virtual machine the first touch of every mapped page
// costs more than reading it, and most of what is met is never looked at
// again. The read state's digest is made of the blocks as they come.
class CFileWalk {
public:
    explicit CFileWalk(CReadFile& file) : m_file(file) {}
    ~CFileWalk();
    CFileWalk(const CFileWalk&) = delete;
    CFileWalk& operator=(const CFileWalk&) = delete;

    // Maps the file, or reads it whole into memory where it cannot be
    // mapped or `held` asks for that; false when it cannot be read.
    bool Start(bool held);
    std::size_t Size() const { return m_bytes ? m_bytes->View().size() : 0; }
    const std::shared_ptr<const CFileBytes>& Bytes() const { return m_bytes; }
    // The bytes [at, at + size) of the file, fewer at its end. The view
    // lasts until the next call.
    std::string_view At(std::size_t at, std::size_t size);
    // The same bytes as `piece`, a view At gave, as they lie in Bytes().
    std::string_view Kept(std::string_view piece) const;
    // Ends the walk and sets the file's read state. False when the file
    // changed or could not be read while it was walked: what was met is
    // then no state the file was ever in, and it is to be walked again
    // held.
    bool Finish();

private:
    // Reads the block at `at`, adding what the digest has not met yet.
    bool Fill(std::size_t at);
    bool ReadInto(char* out, std::size_t at, std::size_t size);

    CReadFile& m_file;
    std::shared_ptr<const CFileBytes> m_bytes;
    bool m_mapped = false;
    bool m_failed = false;
    CFileIdentity m_identity;
    char* m_block = nullptr;
    std::size_t m_blockAt = 0, m_blockSize = 0;
    std::size_t m_digested = 0;  // the digest has met [0, m_digested)
    CDigest m_digest;
};

// Blocks of this size fill exactly one large page where there are such.
inline constexpr std::size_t kLargeBlock = std::size_t(2) << 20;

// Room for a file's small objects in pieces of kChunk bytes, cut from
// blocks of kLargeBlock bytes the whole process shares: a small file fills a piece or two
// rather than pages of its own, and a large one takes a fraction of the
// page faults. Any thread may take and give back pieces; a block goes back
// to the system once none of its pieces is in use. Throws std::bad_alloc
// when there is no room.
inline constexpr std::size_t kChunk = std::size_t(16) << 10;
void* AllocateChunk();
void FreeChunk(void* chunk);
// Blocks the pieces in use lie in (for tests).
std::size_t ChunkBlocksInUse();

// Room of kSlot bytes for one of millions of like blocks (those a list of
// rows is made of), cut from pieces as above: taking one costs no call
// into the system, and pieces whose slots are all given back go back.
inline constexpr std::size_t kSlot = 512;
void* AllocateSlot();
void FreeSlot(void* slot);

// Convenience: open (with the case fallback), read everything, close.
bool ReadWholeFile(const std::string& path, std::string& out);
// The first n bytes of a regular file (fewer when it is shorter), by the
// exact path; never waits on a FIFO.
bool ReadFileStart(const std::string& path, std::size_t n, std::string& out);

// Folder part of a path, ending with its separator, and file name part.
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// Folder with a trailing separator guaranteed: '/' here; on Windows the one
// the folder already uses, else '\\'.
std::string WithSeparator(const std::string& folder);

}  // namespace vantor::platform
