#include "loadorder/OpenMWConfig.h"

#include <cstdlib>
#include <filesystem>
#include <set>

#include "loadorder/Folder.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor::loadorder {

namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\v\f");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\v\f") - first + 1);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The file a "config=" folder (or the first path) stands for: the folder's
// openmw.cfg, or the path itself when something other than a folder is
// there.
std::string ConfigFileAt(const std::string& path) {
    std::error_code ec;
    const auto status = fs::status(platform::FsPath(path), ec);
    if (fs::exists(status) && !fs::is_directory(status)) return path;
    return platform::WithSeparator(path) + "openmw.cfg";
}

// Reads one file of the chain into `text`, or says in `file` why not.
bool ReadConfigFile(CConfigFile& file, std::string& text) {
    std::error_code ec;
    const auto status = fs::status(platform::FsPath(file.m_path), ec);
    if (status.type() == fs::file_type::not_found) {
        file.m_status = EConfigStatus::Missing;
        return false;
    }
    if (ec) {
        file.m_status = EConfigStatus::Unreadable;
        file.m_error = ec.message();
        return false;
    }
    // A FIFO would block the read until someone writes to it; a device
    // might never end.
    if (!fs::is_regular_file(status)) {
        file.m_status = EConfigStatus::NotAFile;
        return false;
    }
    platform::ClearLastError();
    if (!platform::ReadWholeFile(file.m_path, text)) {
        file.m_status = EConfigStatus::Unreadable;
        file.m_error = platform::LastErrorMessage();
        return false;
    }
    file.m_status = EConfigStatus::Read;
    return true;
}

}  // namespace

std::vector<CConfigEntry> ParseConfigText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<CConfigEntry> entries;
    std::string section;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            section = close == std::string_view::npos ? std::string() : std::string(Trim(line.substr(1, close - 1))) + ".";
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view key = Trim(line.substr(0, equals));
        if (key.empty()) continue;
        entries.push_back({section + std::string(key), std::string(Trim(line.substr(equals + 1)))});
    }
    return entries;
}

std::string UnquotePath(std::string_view value) {
    if (!value.starts_with('"')) return std::string(value);
    std::string out;
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') break;
        // The escape takes whatever follows it; a trailing one stands for nothing.
        if (value[i] == '&' && ++i == value.size()) break;
        out += value[i];
    }
    return out;
}

std::string ResolveConfigPath(std::string_view value, const std::string& configFolder, const COpenMWPaths& paths) {
    std::string path = UnquotePath(value);
    if (path.starts_with('?')) {
        const auto close = path.find('?', 1);
        if (close != std::string::npos) {
            const std::string token = path.substr(0, close + 1);
            const std::string* folder = token == "?userconfig?" ? &paths.m_userConfig
                                        : token == "?userdata?" ? &paths.m_userData
                                        : token == "?global?"   ? &paths.m_globalData
                                        : token == "?local?"    ? &configFolder
                                                                : nullptr;
            if (!folder || folder->empty()) return path;
            std::size_t rest = close + 1;
            while (rest < path.size() && IsSeparator(path[rest])) ++rest;
            path = platform::WithSeparator(*folder) + path.substr(rest);
        }
    }
    // A path from the root of a drive ("\\Games" on Windows) is not joined to
    // the file's folder either.
    if (!path.empty() && !platform::FsPath(path).has_root_directory()) path = configFolder + path;
    return platform::PathText(platform::FsPath(path).lexically_normal());
}

CConfigChain ReadConfigChain(const std::string& first, const COpenMWPaths& paths) {
    CConfigChain chain;
    std::error_code ec;
    fs::path start = fs::absolute(platform::FsPath(first), ec);
    const std::string firstPath = ec ? first : platform::PathText(start.lexically_normal());
    // A missing "openmw.cfg" (or "other.cfg") is that file, not a folder of
    // that name: the user is told of the file they named.
    const bool missingFile = !fs::exists(fs::symlink_status(platform::FsPath(firstPath), ec)) && EndsWithNoCase(firstPath, ".cfg");
    // The next file to read is at the back.
    std::vector<std::string> pending{missingFile ? firstPath : ConfigFileAt(firstPath)};
    std::set<std::string> seen;
    std::string text;
    while (!pending.empty()) {
        CConfigFile file{std::move(pending.back()), EConfigStatus::Missing, {}};
        pending.pop_back();
        const std::string identity = platform::ResolveLinks(file.m_path);
        if (seen.count(identity)) {
            file.m_status = EConfigStatus::Repeated;
        } else if (ReadConfigFile(file, text)) {
            seen.insert(identity);
        }
        chain.m_files.push_back(file);
        if (file.m_status != EConfigStatus::Read) continue;

        const std::string folder = platform::FolderOf(file.m_path);
        const auto entries = ParseConfigText(text);
        // "replace" drops what earlier files gave, wherever in this file it
        // stands; this file's own values all count.
        for (const auto& e : entries) {
            if (e.m_key != "replace") continue;
            if (e.m_value == "data") chain.m_data.clear();
            else if (e.m_value == "data-local") chain.m_dataLocal.reset();
            else if (e.m_value == "content") chain.m_content.clear();
            else if (e.m_value == "fallback-archive") chain.m_fallbackArchives.clear();
            else if (e.m_value == "config") pending.clear();
        }
        std::vector<std::string> configs;
        for (const auto& e : entries) {
            if (e.m_value.empty()) continue;
            // A path that resolves to nothing ("") would stand for the
            // working folder.
            const bool isPath = e.m_key == "data" || e.m_key == "data-local" || e.m_key == "config";
            const std::string path = isPath ? ResolveConfigPath(e.m_value, folder, paths) : std::string();
            if (isPath && path.empty()) continue;
            if (e.m_key == "data" || e.m_key == "data-local") {
                CDataFolder data;
                data.m_path = platform::WithSeparator(path);
                data.m_configPath = file.m_path;
                data.m_local = e.m_key == "data-local";
                data.m_exists = IsFolder(data.m_path);
                if (data.m_local) chain.m_dataLocal = std::move(data);
                else chain.m_data.push_back(std::move(data));
            } else if (e.m_key == "content") {
                chain.m_content.push_back(e.m_value);
            } else if (e.m_key == "fallback-archive") {
                chain.m_fallbackArchives.push_back(e.m_value);
            } else if (e.m_key == "config") {
                configs.push_back(ConfigFileAt(path));
            }
        }
        // This file's folders are read next, in the order it names them.
        pending.insert(pending.end(), configs.rbegin(), configs.rend());
    }
    return chain;
}

COpenMWPaths DefaultOpenMWPaths(EHost host, const platform::CEnvLookup& env) {
    auto get = [&](const char* name) -> std::string {
        if (!env) {
            const char* value = std::getenv(name);
            return value ? value : "";
        }
        auto value = env(name);
        return value ? *value : std::string();
    };
    const std::string home = get(host == EHost::Windows ? "USERPROFILE" : "HOME");
    COpenMWPaths paths;
    switch (host) {
    case EHost::Linux: {
        // An XDG_*_HOME that is not an absolute path counts as unset, and the
        // folder under the home folder is taken instead.
        auto base = [&](const char* variable, const char* fallback) -> std::string {
            std::string value = get(variable);
            if (value.starts_with('/')) return platform::WithSeparator(value);
            return home.empty() ? std::string() : platform::WithSeparator(home) + fallback;
        };
        const std::string config = base("XDG_CONFIG_HOME", ".config/");
        const std::string data = base("XDG_DATA_HOME", ".local/share/");
        paths.m_userConfig = config.empty() ? "" : config + "openmw/";
        paths.m_userData = data.empty() ? "" : data + "openmw/";
        // The Flatpak build keeps its own folders; they count when only
        // they hold a configuration.
        if (!home.empty()) {
            const std::string flatpak = platform::WithSeparator(home) + ".var/app/org.openmw.OpenMW/";
            if (!platform::FileExists(paths.m_userConfig + "openmw.cfg") &&
                platform::FileExists(flatpak + "config/openmw/openmw.cfg")) {
                paths.m_userConfig = flatpak + "config/openmw/";
                paths.m_userData = flatpak + "data/openmw/";
            }
        }
        paths.m_globalConfig = "/etc/openmw/";
        paths.m_globalData = "/usr/share/games/openmw/";
        break;
    }
    case EHost::MacOS:
        if (!home.empty()) {
            paths.m_userConfig = platform::WithSeparator(home) + "Library/Preferences/openmw/";
            paths.m_userData = platform::WithSeparator(home) + "Library/Application Support/openmw/";
        }
        break;
    case EHost::Windows:
        if (!home.empty()) {
            std::string folder = home;
            if (!IsSeparator(folder.back())) folder += '\\';
            paths.m_userConfig = paths.m_userData = folder + "Documents\\My Games\\OpenMW\\";
        }
        break;
    }
    return paths;
}

}  // namespace vantor::loadorder
