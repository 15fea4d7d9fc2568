// The file code that is the same on every system; PosixFiles.cpp and
// WindowsFiles.cpp hold the calls into each system.
#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>

#include "platform/FileOps.h"
#include "platform/FilesDetail.h"
#include "platform/Text.h"

namespace vantor::platform {

namespace {
std::mutex gHookMutex;
CFaultHook gHook;
thread_local int tLastError = 0;
// The system's own text of the last failure, where it has one.
thread_local std::string tLastErrorText;
}  // namespace

namespace detail {

bool Injected(EFileOp op, const std::string& path) {
    if (!ShouldFail(op, path)) return false;
    errno = EIO;
    SetLastError(EIO);
    return true;
}

void SetErrorWithText(int error, std::string text) {
    tLastError = error;
    tLastErrorText = std::move(text);
}

std::string RandomLetters(std::size_t n) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, int(sizeof kAlphabet) - 2);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(kAlphabet[pick(device)]);
    return out;
}

long long WorkFileOwner(const std::string& name) {
    const std::string prefix = kWorkPrefix, suffix = kWorkSuffix;
    if (name.size() <= prefix.size() + kWorkLetters + suffix.size() + 2 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::size_t lettersAt = name.size() - suffix.size() - kWorkLetters;
    if (name[lettersAt - 1] != '-') return 0;
    for (std::size_t i = lettersAt; i < lettersAt + kWorkLetters; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return 0;
    }
    long long pid = 0;
    for (std::size_t i = prefix.size(); i + 1 < lettersAt; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 1000000000) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

}  // namespace detail

void SetFaultHook(CFaultHook hook) {
    std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

bool ShouldFail(EFileOp op, const std::string& path) {
    std::lock_guard lock(gHookMutex);
    return gHook && gHook(op, path);
}

std::string LastErrorMessage() {
    if (!tLastErrorText.empty()) return tLastErrorText;
    return tLastError ? std::string(std::strerror(tLastError)) : std::string();
}
void ClearLastError() { detail::SetErrorWithText(0, {}); }
void SetLastError(int error) { detail::SetErrorWithText(error, {}); }
int LastError() { return tLastError; }

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
#ifdef _WIN32
    const auto last = folder.find_last_of("/\\");
    return folder + (last != std::string::npos ? folder[last] : '\\');
#else
    return folder + '/';
#endif
}

std::optional<std::string> ResolvePath(const std::string& path) {
    if (detail::Exists(path)) {
#ifdef _WIN32
        // Found whatever the case: the name as the folder spells it, which
        // a backup is named after.
        if (auto name = detail::NameOnDisk(path)) return FolderOf(path) + *name;
#endif
        return path;
    }
    const std::string folder = FolderOf(path);
    const std::string name = FileNameOf(path);
    for (const std::string& entry : ListFolder(folder))
        if (EqualsNoCase(name, entry)) return folder + entry;
    return std::nullopt;
}

void CFileBytes::Hold(std::string bytes) {
    m_held = std::move(bytes);
    m_data = m_held.data();
    m_size = m_held.size();
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    CReadFile file;
    return file.Open(path) && file.ReadAll(out);
}

bool CopyFile(const std::string& from, const std::string& to, bool replace, const CFileTimes* times,
              CCopied* copied) {
    // Taken before anything opens the source and perhaps touches its access time.
    std::optional<CFileTimes> keep = times ? std::optional<CFileTimes>(*times) : GetFileTimes(from);
    if (!keep) return false;
    const CPathProbe source = ProbePath(from);
    if (!source.m_known) return false;
    if (!source.Exists()) {
        SetLastError(ENOENT);
        return false;
    }
    CFile copy;
    if (!copy.CreateUnique(FolderOf(to), source.m_mode)) return false;
    // The copy is usable whoever owns it; the caller hears whether it is
    // the source's owner's.
    const bool kept = copy.SetOwner(source.m_owner);
    std::optional<CFileIdentity> made;
    if (!(made = copy.Identity()) || !copy.CopyFrom(from) || !copy.SetTimes(*keep) || !copy.Sync() || !copy.Close() ||
        !RenameFile(copy.Path(), to, replace)) {
        copy.Discard();
        return false;
    }
    if (copied) *copied = {made->m_id, kept};
    return true;
}

}  // namespace vantor::platform
