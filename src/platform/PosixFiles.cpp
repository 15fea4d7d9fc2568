// The file functions on POSIX systems.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Digest.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

using detail::Injected;
using detail::kWorkPrefix;
using detail::kWorkSuffix;
using detail::kWorkLetters;

namespace {

EFileKind FileKindOf(mode_t mode) {
    if (S_ISREG(mode)) return EFileKind::Regular;
    if (S_ISDIR(mode)) return EFileKind::Folder;
    if (S_ISFIFO(mode)) return EFileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return EFileKind::Device;
    if (S_ISSOCK(mode)) return EFileKind::Socket;
    return EFileKind::Other;
}


// For a descriptor opened with O_NONBLOCK: true for a regular file, which is
// set to blocking reads; else false with the last error saying what it is
// ("Not a regular file: a FIFO").
bool RegularOrRefused(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        SetLastError(errno);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        // Opened without blocking so that a FIFO could not hang the open;
        // a regular file is read normally from here on.
        if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) return true;
        SetLastError(errno);
        return false;
    }
    detail::SetErrorWithText(EINVAL, std::string("Not a regular file: ") + KindWords(FileKindOf(st.st_mode)));
    return false;
}

bool Failed() {
    SetLastError(errno);
    return false;
}

timespec ToTimespec(std::int64_t sec, std::int64_t nsec) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(nsec);
    return ts;
}

CFileIdentity IdentityOfStat(const struct stat& st) {
    return {{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}, std::uint64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
}

// The state of a file opened for a whole read, with the error recorded
// when there is none.
bool StatForRead(std::intptr_t handle, const std::string& path, struct stat& st) {
    if (handle < 0) {
        SetLastError(EBADF);
        return false;
    }
    if (Injected(EFileOp::Read, path)) return false;
    if (::fstat(int(handle), &st) != 0) {
        SetLastError(errno);
        return false;
    }
    return true;
}

// Renames without the seam; sets errno on failure.
bool RawRename(const std::string& from, const std::string& to, bool replace) {
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
    // File systems without an exclusive rename: a hard link fails when the
    // name is taken; without hard links a check must do.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST || errno == EXDEV) return false;
    struct stat st{};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

namespace detail {

bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace detail

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::filesystem::path FsPath(const std::string& path) { return std::filesystem::path(path); }
std::string PathText(const std::filesystem::path& path) { return path.string(); }

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<CFileIdentity> IdentityOf(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno);
        return std::nullopt;
    }
    return IdentityOfStat(st);
}

std::optional<std::int64_t> LastWriteTime(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno);
        return std::nullopt;
    }
    return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

CReadFile::~CReadFile() { Close(); }

bool CReadFile::Open(const std::string& path) {
    Close();
    m_path = path;
    m_readState.reset();
    if (Injected(EFileOp::Open, path)) return false;
    auto resolved = ResolvePath(path);
    // Without blocking: opening a FIFO would wait for a writer.
    int fd = ::open(resolved ? resolved->c_str() : path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno);
        return false;
    }
    if (!RegularOrRefused(fd)) {
        ::close(fd);
        return false;
    }
    if (resolved) m_path = *resolved;
    m_handle = fd;
    return true;
}

bool CReadFile::ReadAll(std::string& out) {
    out.clear();
    m_readState.reset();
    struct stat st{};
    if (!StatForRead(m_handle, m_path, st)) return false;
    // One read of the size the file has now; a file that grows meanwhile is
    // read on until end of file, one that shrinks ends early.
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) {
            char probe[4096];
            ssize_t n = ::pread(m_handle, probe, sizeof probe, static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR) continue;
                SetLastError(errno);
                out.clear();
                return false;
            }
            if (n == 0) break;
            out.append(probe, static_cast<std::size_t>(n));
            done += static_cast<std::size_t>(n);
            continue;
        }
        ssize_t n = ::pread(m_handle, out.data() + done, out.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(errno);
            out.clear();
            return false;
        }
        if (n == 0) {
            out.resize(done);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // A file changed while it was read gave bytes it never held at once.
    struct stat after{};
    if (::fstat(m_handle, &after) == 0 && IdentityOfStat(after) == IdentityOfStat(st) &&
        std::uint64_t(st.st_size) == out.size())
        m_readState = CFileState{IdentityOfStat(st), CDigest::Of(out)};
    return true;
}

bool CReadFile::Map(std::shared_ptr<const CFileBytes>& out, CFileIdentity& identity) {
    struct stat st{};
    if (!StatForRead(m_handle, m_path, st) || st.st_size <= 0) return false;
    auto bytes = std::make_shared<CFileBytes>();
    if (!bytes->Map(m_handle, std::size_t(st.st_size))) return false;
    identity = IdentityOfStat(st);
    out = std::move(bytes);
    return true;
}

bool CReadFile::ReadAt(std::uint64_t offset, char* out, std::size_t size, std::size_t& got) {
    for (;;) {
        const ssize_t n = ::pread(int(m_handle), out, size, static_cast<off_t>(offset));
        if (n >= 0) {
            got = std::size_t(n);
            return true;
        }
        if (errno != EINTR) {
            SetLastError(errno);
            return false;
        }
    }
}

std::optional<CFileIdentity> CReadFile::IdentityNow() const {
    struct stat st{};
    if (m_handle < 0 || ::fstat(int(m_handle), &st) != 0) return std::nullopt;
    return IdentityOfStat(st);
}

bool CReadFile::Close() {
    if (m_handle < 0) return true;
    int rc = ::close(m_handle);
    m_handle = -1;
    if (rc != 0) {
        SetLastError(errno);
        return false;
    }
    return true;
}

bool ReadFileStart(const std::string& path, std::size_t n, std::string& out) {
    out.clear();
    if (Injected(EFileOp::Open, path)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno);
        return false;
    }
    bool ok = RegularOrRefused(fd);
    out.resize(ok ? n : 0);
    std::size_t done = 0;
    while (ok && done < n) {
        const ssize_t got = ::pread(fd, out.data() + done, n - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            SetLastError(errno);
            ok = false;
        }
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    out.resize(ok ? done : 0);
    ::close(fd);
    return ok;
}


std::optional<CFileTimes> GetFileTimes(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        Failed();
        return std::nullopt;
    }
    return CFileTimes{st.st_atim.tv_sec, st.st_atim.tv_nsec, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

bool SetFileTimes(const std::string& path, const CFileTimes& times) {
    if (Injected(EFileOp::SetTime, path)) return false;
    timespec ts[2] = {ToTimespec(times.m_accessSec, times.m_accessNsec), ToTimespec(times.m_writeSec, times.m_writeNsec)};
    return ::utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0 || Failed();
}

std::optional<unsigned> FileMode(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        Failed();
        return std::nullopt;
    }
    return unsigned(st.st_mode & 07777);
}

std::optional<bool> PathExists(const std::string& path) {
    if (Injected(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) return true;
    if (errno == ENOENT || errno == ENOTDIR) return false;
    Failed();
    return std::nullopt;
}

CPathProbe ProbePath(const std::string& path) {
    CPathProbe probe;
    if (Injected(EFileOp::Stat, path)) return probe;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        probe.m_known = true;
        probe.m_kind = FileKindOf(st.st_mode);
        probe.m_id = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
        probe.m_mode = unsigned(st.st_mode & 07777);
        probe.m_owner = {std::uint32_t(st.st_uid), std::uint32_t(st.st_gid)};
        return probe;
    }
    if (errno != ENOENT && errno != ENOTDIR) {
        Failed();
        return probe;
    }
    probe.m_known = true;
    if (::lstat(path.c_str(), &st) == 0) probe.m_kind = EFileKind::Other;  // a link that leads nowhere
    return probe;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (Injected(EFileOp::Stat, a)) return false;
    struct stat sa{}, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string ResolveLinks(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) return resolved;
    return path;
}

bool RemoveFile(const std::string& path) {
    if (Injected(EFileOp::Remove, path)) return false;
    return ::unlink(path.c_str()) == 0 || Failed();
}

int RemoveStaleWorkFiles(const std::string& folder) {
    const std::string name = folder.empty() ? std::string("./") : WithSeparator(folder);
    int removed = 0;
    for (const std::string& entry : ListFolder(name)) {
        // Whether the process of that id runs says nothing: ids are reused.
        // The lock alone tells a live holder apart, this process's own too
        // (a lock taken through another descriptor conflicts with it).
        if (detail::WorkFileOwner(entry) == 0) continue;
        const std::string path = name + entry;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st{};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            !ShouldFail(EFileOp::Remove, path) && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

bool WritePermitted(const std::string& path, unsigned mode) {
    if ((mode & 0222) == 0) return false;
    return ::geteuid() == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool SyncFolder(const std::string& folder) {
    const std::string name = folder.empty() ? std::string(".") : folder;
    if (Injected(EFileOp::Sync, name)) return false;
    int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed();
    bool ok = ::fsync(fd) == 0 || Failed();
    ::close(fd);
    return ok;
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (Injected(EFileOp::Move, to)) return false;
    return RawRename(from, to, replace) || Failed();
}

bool MoveFile(const std::string& from, const std::string& to, bool replace) {
    if (Injected(EFileOp::Move, to)) return false;
    if (RawRename(from, to, replace)) return true;
    if (errno != EXDEV) return Failed();
    // Another file system: the copy is complete and flushed before the
    // source goes, so the file is never only half anywhere.
    return CopyFile(from, to, replace) && RemoveFile(from);
}

CFileLock::EState CFileLock::TryLock(const std::string& path) {
    if (m_handle < 0 || m_path != path) {
        Unlock();
        if (Injected(EFileOp::Lock, path)) return EState::Failed;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            Failed();
            return EState::Failed;
        }
        m_handle = fd;
        m_path = path;
    }
    if (::flock(int(m_handle), LOCK_EX | LOCK_NB) == 0) return EState::Locked;
    if (errno == EWOULDBLOCK || errno == EINTR) return EState::Busy;
    // A file system without locks: the check that the file is still the
    // one read is all there is.
    return EState::Locked;
}

void CFileLock::Unlock() {
    if (m_handle >= 0) ::close(int(m_handle));
    m_handle = kNoHandle;
    m_path.clear();
}

CFile::~CFile() {
    if (m_handle >= 0) ::close(m_handle);
}

bool CFile::Open(const std::string& path) {
    if (m_handle >= 0) Close();
    m_path = path;
    m_position = 0;
    m_created = false;
    if (Injected(EFileOp::Open, path)) return false;
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed();
    if (!RegularOrRefused(fd)) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

bool CFile::CreateUnique(const std::string& folder, unsigned mode) {
    if (m_handle >= 0) Close();
    m_position = 0;
    m_created = false;
    m_path.clear();
    const std::string prefix = folder + kWorkPrefix + std::to_string(::getpid()) + "-";
    if (Injected(EFileOp::CreateTemp, prefix)) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix + detail::RandomLetters(kWorkLetters) + kWorkSuffix;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return Failed();
        }
        // Held until the file is closed: a run that is killed drops it.
        (void)::flock(fd, LOCK_EX | LOCK_NB);
        // The umask must not narrow the plugin's own permissions; a file
        // system without permission bits is no reason to fail.
        (void)::fchmod(fd, mode & 0777);
        m_mode = mode & 0777;
        m_handle = fd;
        m_path = path;
        m_created = true;
        return true;
    }
    SetLastError(EEXIST);
    return false;
}

std::optional<std::uint64_t> CFile::Size() {
    if (Injected(EFileOp::Stat, m_path)) return std::nullopt;
    struct stat st{};
    if (::fstat(m_handle, &st) != 0) {
        Failed();
        return std::nullopt;
    }
    return std::uint64_t(st.st_size);
}

std::optional<CFileIdentity> CFile::Identity() {
    if (Injected(EFileOp::Stat, m_path)) return std::nullopt;
    struct stat st{};
    if (::fstat(m_handle, &st) != 0) {
        Failed();
        return std::nullopt;
    }
    return IdentityOfStat(st);
}

bool CFile::SetOwner(const CFileOwner& owner) {
    struct stat st{};
    if (::fstat(m_handle, &st) != 0) return Failed();
    if (st.st_uid == owner.m_user && st.st_gid == owner.m_group) return true;
    if (Injected(EFileOp::SetOwner, m_path)) return false;
    bool kept = ::fchown(m_handle, owner.m_user, owner.m_group) == 0;
    // Without the right to give the file away, the group may still be
    // kept: a member of it may give a file to it.
    if (!kept) (void)::fchown(m_handle, uid_t(-1), owner.m_group);
    // A change of owner clears the set-id bits.
    (void)::fchmod(m_handle, m_mode);
    return kept;
}

bool CFile::Seek(std::uint64_t offset) {
    if (Injected(EFileOp::Seek, m_path)) return false;
    if (offset > std::uint64_t(INT64_MAX) || ::lseek(m_handle, off_t(offset), SEEK_SET) < 0) return Failed();
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
        ssize_t got = ::pread(m_handle, out.data() + done, limit - done, off_t(m_position + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return Failed();
        }
        if (got == 0) break;
        done += std::size_t(got);
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
        ssize_t put = ::pwrite(m_handle, bytes.data() + done, limit - done, off_t(m_position + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            m_position += done;
            return Failed();
        }
        if (put == 0) break;
        done += std::size_t(put);
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
    return ::ftruncate(m_handle, off_t(m_position)) == 0 || Failed();
}

bool CFile::Sync() {
    if (Injected(EFileOp::Sync, m_path)) return false;
    return ::fsync(m_handle) == 0 || Failed();
}

bool CFile::SetTimes(const CFileTimes& times) {
    if (Injected(EFileOp::SetTime, m_path)) return false;
    timespec ts[2] = {ToTimespec(times.m_accessSec, times.m_accessNsec), ToTimespec(times.m_writeSec, times.m_writeNsec)};
    return ::futimens(m_handle, ts) == 0 || Failed();
}

bool CFile::CopyFrom(const std::string& from) {
    if (Injected(EFileOp::Copy, m_path)) return false;
    if (Injected(EFileOp::Open, from)) return false;
    int src = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (src < 0) return Failed();
    if (!RegularOrRefused(src)) {
        ::close(src);
        return false;
    }
    bool ok = true;
    bool kernelCopy = true;
    off_t inOffset = 0;
    std::string buffer;
    for (;;) {
        if (kernelCopy) {
            off_t outOffset = off_t(m_position);
            ssize_t n = ::copy_file_range(src, &inOffset, m_handle, &outOffset, std::size_t(1) << 30, 0);
            if (n > 0) {
                m_position += std::uint64_t(n);
                continue;
            }
            if (n == 0) break;
            if (errno == EINTR) continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
                kernelCopy = false;
                buffer.resize(std::size_t(1) << 20);
                continue;
            }
            ok = Failed();
            break;
        }
        ssize_t got = ::pread(src, buffer.data(), buffer.size(), inOffset);
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = Failed();
            break;
        }
        if (got == 0) break;
        inOffset += got;
        if (!Write(std::string_view(buffer.data(), std::size_t(got)))) {
            ok = false;
            break;
        }
    }
    ::close(src);
    return ok;
}

bool CFile::Close() {
    if (m_handle < 0) return true;
    int fd = m_handle;
    m_handle = -1;
    if (Injected(EFileOp::Close, m_path)) {
        ::close(fd);
        return false;
    }
    return ::close(fd) == 0 || Failed();
}

void CFile::Discard() {
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
    // Cleanup must not hide why the change failed: no error is recorded.
    if (m_created && !ShouldFail(EFileOp::Remove, m_path)) ::unlink(m_path.c_str());
    m_created = false;
}

}  // namespace vantor::platform
