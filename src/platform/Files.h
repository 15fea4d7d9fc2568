#pragma once
// Our stand-in for the Windows file functions the tool relies on: whole-file
// reads, sizes, last-write times in whole seconds, and a seam that lets tests
// make any call fail.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vantor::platform {

enum class EFileOp { Open, Read, Write, Stat, Copy, Move, Remove, SetTime, CreateTemp, Seek, Truncate, Sync, Close, ShortRead, ShortWrite };

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
EFileKind FileKindOf(unsigned statMode);
// What a path is, in words for a message ("a folder", "a FIFO", ...).
const char* KindWords(EFileKind kind);
// For a descriptor opened with O_NONBLOCK: true for a regular file, which is
// set to blocking reads; else false with the last error saying what it is
// ("Not a regular file: a FIFO").
bool RegularOrRefused(int fd);

// Linux file systems are case-sensitive while the game's file names are not:
// when `path` does not exist, a file in the same folder whose name matches
// without regard to ASCII case is returned instead.
std::optional<std::string> ResolvePath(const std::string& path);

bool FileExists(const std::string& path);
std::optional<std::uint64_t> FileSize(const std::string& path);
// Last-write time in whole seconds since the epoch.
std::optional<std::int64_t> LastWriteTime(const std::string& path);

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
    bool IsOpen() const { return m_fd >= 0; }
    // Reads the whole file into `out` with as few system calls as it takes.
    bool ReadAll(std::string& out);
    bool Close();
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

// Convenience: open (with the case fallback), read everything, close.
bool ReadWholeFile(const std::string& path, std::string& out);
// The first n bytes of a regular file (fewer when it is shorter), by the
// exact path; never waits on a FIFO.
bool ReadFileStart(const std::string& path, std::size_t n, std::string& out);

// Folder part of a path, ending with '/', and file name part.
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// Folder with a trailing separator guaranteed.
std::string WithSeparator(const std::string& folder);

}  // namespace vantor::platform
