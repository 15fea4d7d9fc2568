#include "platform/InstallDir.h"

#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

#include "platform/Files.h"
#include "platform/FilesDetail.h"
#include "platform/Profile.h"

namespace vantor::platform {

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

using detail::Exists;

// `folder` (ending with '/') followed by `name`, or by the entry of that
// folder whose name matches without regard to case when only such a one
// exists; `name` as given when neither does.
std::string ChildNoCase(const std::string& folder, const std::string& name) {
    if (Exists(folder + name)) return folder + name;
    for (const std::string& entry : ListFolder(folder))
        if (EqualsNoCase(name, entry)) return folder + entry;
    return folder + name;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a string in the escaped form Wine writes to its registry files,
// starting after the opening quote (or, for a key name, after '['), up to the
// unescaped `close` character. Non-ASCII characters are \x escapes of UTF-16
// units; they come out as UTF-8, the encoding Wine gives Unix file names.
// `pos` ends after the closing character; nullopt when there is none.
std::optional<std::string> Unescape(std::string_view s, std::size_t& pos, char close) {
    std::string out;
    std::uint32_t highSurrogate = 0;
    auto putUnit = [&](std::uint32_t unit) {
        if (unit >= 0xD800 && unit < 0xDC00) {
            highSurrogate = unit;
            return;
        }
        if (unit >= 0xDC00 && unit < 0xE000 && highSurrogate) {
            AppendUtf8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            AppendUtf8(out, unit);
        }
        highSurrogate = 0;
    };
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == close) return out;
        if (c != '\\' || pos >= s.size()) {
            highSurrogate = 0;
            out += c;  // raw bytes pass through unchanged
            continue;
        }
        char e = s[pos++];
        switch (e) {
        case 'a': putUnit('\a'); break;
        case 'b': putUnit('\b'); break;
        case 'e': putUnit(0x1B); break;
        case 'f': putUnit('\f'); break;
        case 'n': putUnit('\n'); break;
        case 'r': putUnit('\r'); break;
        case 't': putUnit('\t'); break;
        case 'v': putUnit('\v'); break;
        case 'x': {
            std::uint32_t unit = 0;
            int digits = 0;
            while (digits < 4 && pos < s.size() && HexDigit(s[pos]) >= 0) {
                unit = unit * 16 + std::uint32_t(HexDigit(s[pos++]));
                ++digits;
            }
            if (digits == 0) out += 'x';
            else putUnit(unit);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                std::uint32_t unit = std::uint32_t(e - '0');
                for (int digits = 1; digits < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++digits)
                    unit = unit * 8 + std::uint32_t(s[pos++] - '0');
                putUnit(unit);
            } else {
                highSurrogate = 0;
                out += e;  // \\ and \" and anything unknown stand for themselves
            }
        }
    }
    return std::nullopt;
}

#ifdef _WIN32
// The value as Windows gives it, read from one view of the registry.
std::optional<std::string> InstalledPathInView(REGSAM view) {
    HKEY key = nullptr;
    const std::wstring name = detail::Wide(kGameRegistryKey);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return std::nullopt;
    // At most 260 characters; one more always holds a NUL, which the stored
    // string need not end with.
    wchar_t buffer[262] = {};
    DWORD size = 260 * sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc = ::RegQueryValueExW(key, detail::Wide(kGameRegistryValue).c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || buffer[0] == L'\0') return std::nullopt;
    return detail::Utf8(buffer);
}
#endif

}  // namespace

CInstallDirs DirsFromInstallPath(const std::string& installDir) {
    CInstallDirs dirs;
    dirs.m_installDir = WithoutTrailingSeparators(installDir);
#ifdef _WIN32
    dirs.m_dataDir = dirs.m_installDir + "\\Data Files\\";
#else
    std::string folder = dirs.m_installDir == "/" ? "/" : dirs.m_installDir + "/";
    dirs.m_dataDir = ChildNoCase(folder, "Data Files") + "/";
#endif
    return dirs;
}

std::optional<std::string> InstalledPathFromSystemReg(std::string_view regText) {
    // Keys are relative to HKEY_LOCAL_MACHINE in system.reg.
    static constexpr std::string_view kKeys[] = {
        "Software\\Wow6432Node\\Bethesda Softworks\\Morrowind",
        "Software\\Bethesda Softworks\\Morrowind",
    };
    std::optional<std::string> found[2];
    int current = -1;
    std::size_t start = 0;
    while (start < regText.size()) {
        auto nl = regText.find('\n', start);
        std::string_view line = regText.substr(start, nl == regText.npos ? regText.npos : nl - start);
        start = nl == regText.npos ? regText.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.front() == '[') {
            current = -1;
            std::size_t pos = 1;
            auto name = Unescape(line, pos, ']');
            if (!name) continue;
            for (int k = 0; k < 2; ++k)
                if (EqualsNoCase(*name, kKeys[k])) current = k;
            continue;
        }
        if (current < 0 || found[current] || line.front() != '"') continue;
        std::size_t pos = 1;
        auto name = Unescape(line, pos, '"');
        if (!name || !EqualsNoCase(*name, kGameRegistryValue)) continue;
        std::string_view rest = line.substr(pos);
        if (!rest.starts_with("=")) continue;
        rest.remove_prefix(1);
        // A plain string, or an expandable one written as str(2):"..."
        if (rest.starts_with("str(2):")) rest.remove_prefix(7);
        if (!rest.starts_with("\"")) continue;
        std::size_t valuePos = 1;
        auto value = Unescape(rest, valuePos, '"');
        if (value && !value->empty()) found[current] = *value;
    }
    return found[0] ? found[0] : found[1];
}

std::optional<std::string> WinePathToUnix(const std::string& prefix, const std::string& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
    char drive = char(windowsPath[0] | 0x20);  // ASCII letters in lower case
    if (drive < 'a' || drive > 'z') return std::nullopt;
    std::string root;
    std::string link = prefix + "dosdevices/" + drive + ":";
    if (drive == 'c' && Exists(prefix + "drive_c")) root = prefix + "drive_c";
    else if (Exists(link)) root = link;
    else if (drive == 'z') root = "";
    else return std::nullopt;

    std::string path = root;
    std::size_t pos = 2;
    while (pos <= windowsPath.size()) {
        auto end = windowsPath.find_first_of("\\/", pos);
        if (end == std::string::npos) end = windowsPath.size();
        std::string part = windowsPath.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        path = ChildNoCase(path + "/", part);
    }
    return path.empty() ? std::string("/") : path;
}

#ifdef _WIN32

CInstallDirs FindInstallDirs(const CEnvLookup&) {
    // The game is a 32-bit program: its installer wrote the key where 32-bit
    // programs see it, which a 64-bit program must ask for by name.
    for (REGSAM view : {REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)}) {
        if (auto installed = InstalledPathInView(view)) {
            CInstallDirs dirs = DirsFromInstallPath(*installed);
            dirs.m_source = EInstallSource::Registry;
            return dirs;
        }
    }
    return CInstallDirs{"", kDefaultWindowsDataDir, EInstallSource::Default, ""};
}

#else

CInstallDirs FindInstallDirs(const CEnvLookup& env) {
    auto variable = env(kInstallDirVariable);
    if (variable && !variable->empty()) {
        CInstallDirs dirs = DirsFromInstallPath(*variable);
        dirs.m_source = EInstallSource::Environment;
        return dirs;
    }

    std::string prefix;
    if (auto wine = env("WINEPREFIX"); wine && !wine->empty()) prefix = WithSeparator(*wine);
    else if (auto home = env("HOME"); home && !home->empty()) prefix = WithSeparator(*home) + ".wine/";

    if (!prefix.empty()) {
        std::string reg;
        if (ReadWholeFile(prefix + "system.reg", reg)) {
            if (auto installed = InstalledPathFromSystemReg(reg)) {
                if (auto unixPath = WinePathToUnix(prefix, *installed)) {
                    CInstallDirs dirs = DirsFromInstallPath(*unixPath);
                    dirs.m_source = EInstallSource::WinePrefix;
                    dirs.m_winePrefix = prefix;
                    return dirs;
                }
            }
        }
    }
    // The stated default, C:\Program Files\..., seen through the Wine prefix
    // where there is one; the install folder stays unknown.
    CInstallDirs dirs;
    dirs.m_source = EInstallSource::Default;
    dirs.m_winePrefix = prefix;
    if (prefix.empty()) {
        dirs.m_dataDir = kDefaultWindowsDataDir;
    } else {
        dirs.m_dataDir = prefix + "drive_c/Program Files/Bethesda Softworks/Morrowind/Data Files/";
    }
    return dirs;
}

#endif

CInstallDirs FindInstallDirs() {
    return FindInstallDirs([](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
}

}  // namespace vantor::platform
