#include "platform/Files.h"

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

bool Fail(EFileOp op, const std::string& path) {
    if (ShouldFail(op, path)) {
        tLastError = EIO;
        errno = EIO;
        return true;
    }
    return false;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
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

std::string LastErrorMessage() { return tLastError ? std::string(std::strerror(tLastError)) : std::string(); }
void ClearLastError() { tLastError = 0; }
void SetLastError(int error) { tLastError = error; }
int LastError() { return tLastError; }

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
        tLastError = errno;
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::int64_t> LastWriteTime(const std::string& path) {
    if (Fail(EFileOp::Stat, path)) return std::nullopt;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        tLastError = errno;
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
    int fd = ::open(resolved ? resolved->c_str() : path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        tLastError = errno;
        return false;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        tLastError = S_ISDIR(st.st_mode) ? EISDIR : errno;
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
        tLastError = EBADF;
        return false;
    }
    if (Fail(EFileOp::Read, m_path)) return false;
    struct stat st{};
    if (::fstat(m_fd, &st) != 0) {
        tLastError = errno;
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
                tLastError = errno;
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
            tLastError = errno;
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
        tLastError = errno;
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
        tLastError = errno;
        return false;
    }
    struct stat st{};
    bool ok = true;
    if (::fstat(fd, &st) != 0) {
        tLastError = errno;
        ok = false;
    } else if (!S_ISREG(st.st_mode)) {
        tLastError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ok = false;
    }
    out.resize(n);
    std::size_t done = 0;
    while (ok && done < n) {
        const ssize_t got = ::read(fd, out.data() + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            tLastError = errno;
            ok = false;
        }
        if (got <= 0) break;
        done += std::size_t(got);
    }
    out.resize(done);
    ::close(fd);
    return ok;
}

}  // namespace vantor::platform
