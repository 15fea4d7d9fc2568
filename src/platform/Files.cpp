#include "platform/Files.h"

#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::platform {

namespace {
std::mutex gHookMutex;
CFaultHook gHook;
thread_local int tLastError = 0;
// Set for failures that are not a system error of their own.
thread_local const char* tLastErrorText = nullptr;

bool Fail(EFileOp op, const std::string& path) {
    if (ShouldFail(op, path)) {
        SetLastError(EIO);
        errno = EIO;
        return true;
    }
    return false;
}

}  // namespace

void SetFaultHook(CFaultHook hook) {
    std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

bool ShouldFail(EFileOp op, const std::string& path) {
    std::lock_guard lock(gHookMutex);
    return gHook && gHook(op, path);
}

std::string LastErrorMessage() {
    if (tLastErrorText) return tLastErrorText;
    return tLastError ? std::string(std::strerror(tLastError)) : std::string();
}
void ClearLastError() {
    tLastError = 0;
    tLastErrorText = nullptr;
}
void SetLastError(int error) {
    tLastError = error;
    tLastErrorText = nullptr;
}
int LastError() { return tLastError; }

EFileKind FileKindOf(unsigned mode) {
    if (S_ISREG(mode)) return EFileKind::Regular;
    if (S_ISDIR(mode)) return EFileKind::Folder;
    if (S_ISFIFO(mode)) return EFileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return EFileKind::Device;
    if (S_ISSOCK(mode)) return EFileKind::Socket;
    return EFileKind::Other;
}

const char* KindWords(EFileKind kind) {
    switch (kind) {
        case EFileKind::Missing: return "missing";
        case EFileKind::Regular: return "a file";
        case EFileKind::Folder: return "a folder";
        case EFileKind::Fifo: return "a FIFO";
        case EFileKind::Device: return "a device";
        case EFileKind::Socket: return "a socket";
        case EFileKind::Other: break;
    }
    return "not a regular file";
}

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
    static thread_local std::string text;
    text = std::string("Not a regular file: ") + KindWords(FileKindOf(st.st_mode));
    tLastError = EINVAL;
    tLastErrorText = text.c_str();
    return false;
}


std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder;
    return folder + '/';
}

std::optional<std::string> ResolvePath(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return path;
    std::string folder = FolderOf(path);
    std::string name = FileNameOf(path);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    while (dirent* e = ::readdir(dir)) {
        if (EqualsNoCase(name, e->d_name)) {
            found = folder + e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    if (Fail(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::int64_t> LastWriteTime(const std::string& path) {
    if (Fail(EFileOp::Stat, path)) return std::nullopt;
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
    if (Fail(EFileOp::Open, path)) return false;
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
    m_fd = fd;
    return true;
}

bool CReadFile::ReadAll(std::string& out) {
    out.clear();
    if (m_fd < 0) {
        SetLastError(EBADF);
        return false;
    }
    if (Fail(EFileOp::Read, m_path)) return false;
    struct stat st{};
    if (::fstat(m_fd, &st) != 0) {
        SetLastError(errno);
        return false;
    }
    // One read of the size the file has now; a file that grows meanwhile is
    // read on until end of file, one that shrinks ends early.
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) {
            char probe[4096];
            ssize_t n = ::pread(m_fd, probe, sizeof probe, static_cast<off_t>(done));
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
        ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
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
    return true;
}

bool CReadFile::Close() {
    if (m_fd < 0) return true;
    int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0) {
        SetLastError(errno);
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    CReadFile file;
    return file.Open(path) && file.ReadAll(out);
}

bool ReadFileStart(const std::string& path, std::size_t n, std::string& out) {
    out.clear();
    if (Fail(EFileOp::Open, path)) return false;
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

}  // namespace vantor::platform
