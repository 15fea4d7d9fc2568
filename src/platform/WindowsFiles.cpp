// The file functions on Windows: the wide-character calls, so that names
// with letters outside the ANSI code page work, and handles opened to share
// reading, writing and deleting, as descriptors do on POSIX systems.
#include "platform/WindowsApi.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

#include "platform/Digest.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

using detail::FailedWindows;
using detail::Injected;
using detail::Wide;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// 100-nanosecond steps from 1601 to 1970.
constexpr std::int64_t kEpochTicks = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;
// One call reads or writes at most this much (the calls count in DWORD).
constexpr std::size_t kIoChunk = std::size_t(1) << 30;

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Stored(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

int ErrnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_CURRENT_DIRECTORY: return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE: return EIO;
        default: return EINVAL;
    }
}

std::string SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n ? detail::Utf8(std::wstring_view(buffer, n)) : std::string();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "Windows error " + std::to_string(code) : text;
}

std::int64_t Ticks(const FILETIME& t) {
    return std::int64_t((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) - kEpochTicks;
}

FILETIME FileTimeOf(std::int64_t sec, std::int64_t nsec) {
    const std::uint64_t ticks = std::uint64_t(sec * kTicksPerSecond + nsec / 100 + kEpochTicks);
    return FILETIME{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
}

// Whole seconds and the rest, rounding down as st_mtim does before 1970 too.
std::pair<std::int64_t, std::int64_t> SecondsOf(const FILETIME& t) {
    const std::int64_t ticks = Ticks(t);
    std::int64_t sec = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        --sec;
        rest += kTicksPerSecond;
    }
    return {sec, rest * 100};
}

// A handle that closes itself.
class CHandle {
public:
    explicit CHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CHandle() {
        if (Valid()) ::CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE Get() const { return m_h; }
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE m_h;
};

// Opens what is at `path` to ask about it (no access to its contents, so a
// file in use opens too), links followed unless `flags` says otherwise.
HANDLE OpenToQuery(const std::string& path, DWORD flags = 0) {
    return ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

EFileKind KindOf(HANDLE h, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
    switch (::GetFileType(h)) {
        case FILE_TYPE_CHAR: return EFileKind::Device;
        case FILE_TYPE_PIPE: return EFileKind::Fifo;
        case FILE_TYPE_DISK: break;
        default: return EFileKind::Other;
    }
    BY_HANDLE_FILE_INFORMATION local{};
    if (!info) info = &local;
    if (!::GetFileInformationByHandle(h, info)) return EFileKind::Other;
    if (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EFileKind::Other;
    if (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EFileKind::Folder;
    return EFileKind::Regular;
}

unsigned ModeOf(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u; }

// True for a regular file; else false with the last error saying what it is
// ("Not a regular file: a folder"), in the words the POSIX build uses.
bool RegularOrRefused(HANDLE h) {
    const EFileKind kind = KindOf(h);
    if (kind == EFileKind::Regular) return true;
    detail::SetErrorWithText(EINVAL, std::string("Not a regular file: ") + KindWords(kind));
    return false;
}

bool MissingError(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ||
           code == ERROR_BAD_PATHNAME || code == ERROR_INVALID_DRIVE;
}

// Reads up to n bytes at `offset`; false on an error.
bool ReadAt(HANDLE h, char* out, std::size_t n, std::uint64_t offset, std::size_t& got) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD done = 0;
    if (!::ReadFile(h, out, DWORD(n < kIoChunk ? n : kIoChunk), &done, &at) && ::GetLastError() != ERROR_HANDLE_EOF)
        return FailedWindows();
    got = done;
    return true;
}

// Reads from the start of a handle until its end or `limit` bytes.
bool ReadUpTo(HANDLE h, std::string& out, std::uint64_t limit) {
    out.clear();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) return FailedWindows();
    // The size it has now; a file that grows meanwhile is read on until its
    // end, one that shrinks ends early.
    out.resize(std::size_t(std::min<std::uint64_t>(std::uint64_t(size.QuadPart), limit)));
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) {
            if (done >= limit) break;
            out.resize(done + std::size_t(std::min<std::uint64_t>(4096, limit - done)));
        }
        std::size_t got = 0;
        if (!ReadAt(h, out.data() + done, out.size() - done, done, got)) {
            out.clear();
            return false;
        }
        if (got == 0) break;
        done += got;
    }
    out.resize(done);
    return true;
}

std::optional<CFileIdentity> IdentityOfHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        FailedWindows();
        return std::nullopt;
    }
    const auto [sec, nsec] = SecondsOf(info.ftLastWriteTime);
    return CFileIdentity{{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
                         (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow, sec, nsec};
}

bool RawMove(const std::string& from, const std::string& to, DWORD flags) {
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

namespace detail {

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    for (UINT codePage : {UINT(CP_UTF8), UINT(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n = ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
        if (n <= 0) continue;
        std::wstring out(std::size_t(n), L'\0');
        ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), out.data(), n);
        return out;
    }
    return {};
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool FailedWindows(unsigned long code) {
    SetErrorWithText(ErrnoOf(code), SystemText(code));
    return false;
}

bool FailedWindows() { return FailedWindows(::GetLastError()); }

bool Exists(const std::string& path) {
    CHandle h(OpenToQuery(path));
    return h.Valid();
}

std::optional<std::string> NameOnDisk(const std::string& path) {
    if (path.empty() || path.back() == '\\' || path.back() == '/') return std::nullopt;
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileExW(Wide(path).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    ::FindClose(find);
    return Utf8(found.cFileName);
}

}  // namespace detail

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const std::string pattern = (folder.empty() ? std::string() : WithSeparator(folder)) + "*";
    HANDLE find = ::FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(detail::Utf8(name));
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

std::filesystem::path FsPath(const std::string& path) { return std::filesystem::path(Wide(path)); }
std::string PathText(const std::filesystem::path& path) { return detail::Utf8(path.native()); }

bool FileExists(const std::string& path) {
    CHandle h(OpenToQuery(path));
    return h.Valid() && KindOf(h.Get()) == EFileKind::Regular;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    CHandle h(OpenToQuery(path));
    LARGE_INTEGER size{};
    if (!h.Valid() || !::GetFileSizeEx(h.Get(), &size)) {
        FailedWindows();
        return std::nullopt;
    }
    return std::uint64_t(size.QuadPart);
}

std::optional<CFileTimes> GetFileTimes(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    CHandle h(OpenToQuery(path));
    FILETIME access{}, write{};
    if (!h.Valid() || !::GetFileTime(h.Get(), nullptr, &access, &write)) {
        FailedWindows();
        return std::nullopt;
    }
    const auto [accessSec, accessNsec] = SecondsOf(access);
    const auto [writeSec, writeNsec] = SecondsOf(write);
    return CFileTimes{accessSec, accessNsec, writeSec, writeNsec};
}

std::optional<CFileIdentity> IdentityOf(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    CHandle h(OpenToQuery(path));
    if (!h.Valid()) {
        FailedWindows();
        return std::nullopt;
    }
    return IdentityOfHandle(h.Get());
}

std::optional<std::int64_t> LastWriteTime(const std::string& path) {
    auto times = GetFileTimes(path);
    if (!times) return std::nullopt;
    return times->m_writeSec;
}

CReadFile::~CReadFile() { Close(); }

bool CReadFile::Open(const std::string& path) {
    Close();
    m_path = path;
    m_readState.reset();
    if (Injected(EFileOp::Open, path)) return false;
    auto resolved = ResolvePath(path);
    // Folders open too, so that they are refused by name below.
    CHandle h(::CreateFileW(Wide(resolved ? *resolved : path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h.Valid()) return FailedWindows();
    if (!RegularOrRefused(h.Get())) return false;
    if (resolved) m_path = *resolved;
    m_handle = Stored(h.Release());
    return true;
}

bool CReadFile::ReadAll(std::string& out) {
    out.clear();
    m_readState.reset();
    if (m_handle == kNoHandle) return FailedWindows(ERROR_INVALID_HANDLE);
    if (Injected(EFileOp::Read, m_path)) return false;
    const auto before = IdentityOfHandle(H(m_handle));
    if (!ReadUpTo(H(m_handle), out, UINT64_MAX)) return false;
    // A file changed while it was read gave bytes it never held at once.
    const auto after = IdentityOfHandle(H(m_handle));
    if (before && after && *before == *after && before->m_size == out.size())
        m_readState = CFileState{*before, CDigest::Of(out)};
    return true;
}

// Read, not mapped: a file mapped here could not be replaced by a save,
// ours or another program's, until every record read from it was gone.
bool CReadFile::Map(std::shared_ptr<const CFileBytes>&, CFileIdentity&) { return false; }

bool CReadFile::ReadAt(std::uint64_t offset, char* out, std::size_t size, std::size_t& got) {
    return vantor::platform::ReadAt(H(m_handle), out, size, offset, got);
}

std::optional<CFileIdentity> CReadFile::IdentityNow() const { return IdentityOfHandle(H(m_handle)); }

void* detail::AllocateLargeBlock() { return ::operator new(kLargeBlock, std::align_val_t(kLargeBlock)); }
void detail::FreeLargeBlock(void* block) { ::operator delete(block, std::align_val_t(kLargeBlock)); }

bool CFileBytes::Map(std::intptr_t, std::size_t) { return false; }
bool CFileBytes::Cut() const { return false; }
CFileBytes::~CFileBytes() = default;

bool CReadFile::Close() {
    if (m_handle == kNoHandle) return true;
    HANDLE h = H(m_handle);
    m_handle = kNoHandle;
    return ::CloseHandle(h) || FailedWindows();
}

bool ReadFileStart(const std::string& path, std::size_t n, std::string& out) {
    out.clear();
    if (Injected(EFileOp::Open, path)) return false;
    CHandle h(::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.Valid()) return FailedWindows();
    return RegularOrRefused(h.Get()) && ReadUpTo(h.Get(), out, n);
}

bool SetFileTimes(const std::string& path, const CFileTimes& times) {
    if (Injected(EFileOp::SetTime, path)) return false;
    CHandle h(::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const FILETIME access = FileTimeOf(times.m_accessSec, times.m_accessNsec);
    const FILETIME write = FileTimeOf(times.m_writeSec, times.m_writeNsec);
    return (h.Valid() && ::SetFileTime(h.Get(), nullptr, &access, &write)) || FailedWindows();
}

std::optional<unsigned> FileMode(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    CHandle h(OpenToQuery(path));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || !::GetFileInformationByHandle(h.Get(), &info)) {
        FailedWindows();
        return std::nullopt;
    }
    return ModeOf(info.dwFileAttributes);
}

std::optional<bool> PathExists(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    // The link itself, as lstat sees it.
    if (::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD code = ::GetLastError();
    if (MissingError(code)) return false;
    FailedWindows(code);
    return std::nullopt;
}

CPathProbe ProbePath(const std::string& path) {
    CPathProbe probe;
    if (Injected(EFileOp::Stat, path)) return probe;
    CHandle h(OpenToQuery(path));
    if (h.Valid()) {
        BY_HANDLE_FILE_INFORMATION info{};
        probe.m_known = true;
        probe.m_kind = KindOf(h.Get(), &info);
        probe.m_id = {info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
        probe.m_mode = ModeOf(info.dwFileAttributes);
        return probe;
    }
    const DWORD code = ::GetLastError();
    if (!MissingError(code)) {
        FailedWindows(code);
        return probe;
    }
    probe.m_known = true;
    // A link that leads nowhere.
    if (::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) probe.m_kind = EFileKind::Other;
    return probe;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (Injected(EFileOp::Stat, a)) return false;
    CHandle ha(OpenToQuery(a)), hb(OpenToQuery(b));
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!ha.Valid() || !hb.Valid() || !::GetFileInformationByHandle(ha.Get(), &ia) ||
        !::GetFileInformationByHandle(hb.Get(), &ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string ResolveLinks(const std::string& path) {
    CHandle h(OpenToQuery(path));
    if (!h.Valid()) return path;
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(h.Get(), buffer.data(), DWORD(buffer.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return path;
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(n);
    }
    // The system answers in its long form: \\?\C:\... or \\?\UNC\server\...
    std::wstring_view name = buffer;
    if (name.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + detail::Utf8(name.substr(8));
    if (name.starts_with(L"\\\\?\\")) name.remove_prefix(4);
    return detail::Utf8(name);
}

bool RemoveFile(const std::string& path) {
    if (Injected(EFileOp::Remove, path)) return false;
    return ::DeleteFileW(Wide(path).c_str()) || FailedWindows();
}

int RemoveStaleWorkFiles(const std::string& folder) {
    const std::string name = folder.empty() ? std::string(".\\") : WithSeparator(folder);
    int removed = 0;
    for (const std::string& entry : ListFolder(name)) {
        if (detail::WorkFileOwner(entry) == 0) continue;
        const std::string path = name + entry;
        // Whether the process of that id runs says nothing: ids are reused.
        // A working file still open, in this process too, cannot be deleted:
        // working files are opened without sharing deletion.
        const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            continue;
        if (!ShouldFail(EFileOp::Remove, path) && ::DeleteFileW(Wide(path).c_str())) ++removed;
    }
    return removed;
}

bool WritePermitted(const std::string&, unsigned mode) { return (mode & 0222) != 0; }

bool SyncFolder(const std::string& folder) {
    // Renames are written through (MOVEFILE_WRITE_THROUGH); a folder has
    // nothing of its own to flush.
    return !Injected(EFileOp::Sync, folder.empty() ? std::string(".") : folder);
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (Injected(EFileOp::Move, to)) return false;
    return RawMove(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0) || FailedWindows();
}

bool MoveFile(const std::string& from, const std::string& to, bool replace) {
    if (Injected(EFileOp::Move, to)) return false;
    if (RawMove(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    const DWORD code = ::GetLastError();
    if (code != ERROR_NOT_SAME_DEVICE) return FailedWindows(code);
    // Another volume: the copy is complete and flushed before the source
    // goes, so the file is never only half anywhere.
    return CopyFile(from, to, replace) && RemoveFile(from);
}

// A named mutex for the file's identity: a byte-range lock would need a
// handle open on the plugin, and Windows refuses to rename over a file that
// is open. A mutex whose holder was killed is given to the next waiter.
CFileLock::EState CFileLock::TryLock(const std::string& path) {
    if (m_handle == kNoHandle || m_path != path) {
        Unlock();
        if (Injected(EFileOp::Lock, path)) return EState::Failed;
        const auto id = IdentityOf(path);
        if (!id) return EState::Failed;
        const std::wstring name = L"Local\\vantor-file-" + std::to_wstring(id->m_id.m_device) + L"-" +
                                  std::to_wstring(id->m_id.m_inode);
        HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (!h) {
            FailedWindows();
            return EState::Failed;
        }
        m_handle = Stored(h);
        m_path = path;
    }
    switch (::WaitForSingleObject(H(m_handle), 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: return EState::Locked;
        case WAIT_TIMEOUT: return EState::Busy;
        default: FailedWindows(); return EState::Failed;
    }
}

void CFileLock::Unlock() {
    if (m_handle == kNoHandle) return;
    ::ReleaseMutex(H(m_handle));
    ::CloseHandle(H(m_handle));
    m_handle = kNoHandle;
    m_path.clear();
}

CFile::~CFile() {
    if (m_handle != kNoHandle) ::CloseHandle(H(m_handle));
}

bool CFile::Open(const std::string& path) {
    if (m_handle != kNoHandle) Close();
    m_path = path;
    m_position = 0;
    m_created = false;
    if (Injected(EFileOp::Open, path)) return false;
    // The link itself is opened, and refused below: a plugin is never
    // written through a link.
    CHandle h(::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Valid()) return FailedWindows();
    if (!RegularOrRefused(h.Get())) return false;
    m_handle = Stored(h.Release());
    return true;
}

bool CFile::CreateUnique(const std::string& folder, unsigned mode) {
    if (m_handle != kNoHandle) Close();
    m_position = 0;
    m_created = false;
    m_path.clear();
    const std::string prefix = folder + detail::kWorkPrefix + std::to_string(::GetCurrentProcessId()) + "-";
    if (Injected(EFileOp::CreateTemp, prefix)) return false;
    const DWORD attributes = (mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix + detail::RandomLetters(detail::kWorkLetters) + detail::kWorkSuffix;
        // Shared for reading only: no other process deletes or changes it
        // while it is open, which tells a live owner from a dead one.
        HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, attributes, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
            return FailedWindows(code);
        }
        m_handle = Stored(h);
        m_path = path;
        m_mode = mode;
        m_created = true;
        return true;
    }
    detail::SetErrorWithText(EEXIST, SystemText(ERROR_FILE_EXISTS));
    return false;
}

std::optional<std::uint64_t> CFile::Size() {
    if (Injected(EFileOp::Stat, m_path)) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(H(m_handle), &size)) {
        FailedWindows();
        return std::nullopt;
    }
    return std::uint64_t(size.QuadPart);
}

std::optional<CFileIdentity> CFile::Identity() {
    if (Injected(EFileOp::Stat, m_path)) return std::nullopt;
    return IdentityOfHandle(H(m_handle));
}

// Windows files have no owner to hand on: a new file takes the access rules
// of its folder, as the file it replaces did.
bool CFile::SetOwner(const CFileOwner&) { return true; }

bool CFile::Seek(std::uint64_t offset) {
    if (Injected(EFileOp::Seek, m_path)) return false;
    LARGE_INTEGER to{};
    to.QuadPart = LONGLONG(offset);
    if (offset > std::uint64_t(INT64_MAX)) return FailedWindows(ERROR_NEGATIVE_SEEK);
    if (!::SetFilePointerEx(H(m_handle), to, nullptr, FILE_BEGIN)) return FailedWindows();
    m_position = offset;
    return true;
}

bool CFile::Read(std::string& out, std::size_t n) {
    out.clear();
    if (Injected(EFileOp::Read, m_path)) return false;
    // An injected short read delivers half and then meets the end.
    const std::size_t limit = ShouldFail(EFileOp::ShortRead, m_path) ? n / 2 : n;
    out.resize(n);
    std::size_t done = 0;
    while (done < limit) {
        std::size_t got = 0;
        if (!ReadAt(H(m_handle), out.data() + done, limit - done, m_position + done, got)) {
            out.clear();
            return false;
        }
        if (got == 0) break;
        done += got;
    }
    m_position += done;
    if (done < n) {
        out.resize(done);
        SetLastError(0);
        return false;
    }
    return true;
}

bool CFile::Write(std::string_view bytes) {
    if (Injected(EFileOp::Write, m_path)) return false;
    const std::size_t limit = ShouldFail(EFileOp::ShortWrite, m_path) ? bytes.size() / 2 : bytes.size();
    std::size_t done = 0;
    while (done < limit) {
        OVERLAPPED at{};
        const std::uint64_t offset = m_position + done;
        at.Offset = DWORD(offset & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD put = 0;
        const std::size_t n = std::min(limit - done, kIoChunk);
        if (!::WriteFile(H(m_handle), bytes.data() + done, DWORD(n), &put, &at)) {
            m_position += done;
            return FailedWindows();
        }
        if (put == 0) break;
        done += put;
    }
    m_position += done;
    if (done < bytes.size()) {
        SetLastError(0);
        return false;
    }
    return true;
}

bool CFile::SetEnd() {
    if (Injected(EFileOp::Truncate, m_path)) return false;
    LARGE_INTEGER to{};
    to.QuadPart = LONGLONG(m_position);
    return (::SetFilePointerEx(H(m_handle), to, nullptr, FILE_BEGIN) && ::SetEndOfFile(H(m_handle))) ||
           FailedWindows();
}

bool CFile::Sync() {
    if (Injected(EFileOp::Sync, m_path)) return false;
    return ::FlushFileBuffers(H(m_handle)) || FailedWindows();
}

bool CFile::SetTimes(const CFileTimes& times) {
    if (Injected(EFileOp::SetTime, m_path)) return false;
    const FILETIME access = FileTimeOf(times.m_accessSec, times.m_accessNsec);
    const FILETIME write = FileTimeOf(times.m_writeSec, times.m_writeNsec);
    return ::SetFileTime(H(m_handle), nullptr, &access, &write) || FailedWindows();
}

bool CFile::CopyFrom(const std::string& from) {
    if (Injected(EFileOp::Copy, m_path)) return false;
    if (Injected(EFileOp::Open, from)) return false;
    CHandle src(::CreateFileW(Wide(from).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!src.Valid()) return FailedWindows();
    if (!RegularOrRefused(src.Get())) return false;
    std::string buffer(std::size_t(1) << 20, '\0');
    for (std::uint64_t offset = 0;;) {
        std::size_t got = 0;
        if (!ReadAt(src.Get(), buffer.data(), buffer.size(), offset, got)) return false;
        if (got == 0) return true;
        offset += got;
        if (!Write(std::string_view(buffer.data(), got))) return false;
    }
}

bool CFile::Close() {
    if (m_handle == kNoHandle) return true;
    HANDLE h = H(m_handle);
    m_handle = kNoHandle;
    if (Injected(EFileOp::Close, m_path)) {
        ::CloseHandle(h);
        return false;
    }
    return ::CloseHandle(h) || FailedWindows();
}

void CFile::Discard() {
    if (m_handle != kNoHandle) {
        ::CloseHandle(H(m_handle));
        m_handle = kNoHandle;
    }
    // Cleanup must not hide why the change failed: no error is recorded.
    if (m_created && !ShouldFail(EFileOp::Remove, m_path)) {
        const std::wstring path = Wide(m_path);
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
    }
    m_created = false;
}

}  // namespace vantor::platform
