#include "loadorder/OpenMWConfig.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <unordered_map>

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
    for (std::size_t number = 1; !text.empty(); ++number) {
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
        entries.push_back({section + std::string(key), std::string(Trim(line.substr(equals + 1))), number});
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

    // The files whose values count, in reading order: the first, and what
    // no "replace=config" dropped since.
    struct CCounted {
        std::size_t m_file;  // in chain.m_files
        std::vector<CConfigEntry> m_entries;
    };
    std::vector<CCounted> counted;
    auto refuse = [&](const std::string& path, const CConfigEntry& e, const std::string& what) {
        chain.m_errors.push_back({path, e.m_line, path + " line " + std::to_string(e.m_line) + ": " + what});
    };
    // A path value made a path, or "" when there is none to look at.
    auto pathOf = [&](const std::string& file, const CConfigEntry& e) -> std::string {
        // Normalising a path of millions of parts takes minutes, and no
        // system would take it.
        if (e.m_value.size() > kLongestPath) {
            refuse(file, e, "the " + e.m_key + "= path is " + std::to_string(e.m_value.size()) +
                                " bytes long, longer than any system takes (" + std::to_string(kLongestPath) +
                                "): left out");
            return {};
        }
        return ResolveConfigPath(e.m_value, platform::FolderOf(file), paths);
    };

    // The next file to read is at the back, with how deep it lies.
    std::vector<std::pair<std::string, std::size_t>> pending{{missingFile ? firstPath : ConfigFileAt(firstPath), 0}};
    // Device and inode of each file read: one a link or another spelling
    // leads to again is not read twice, and telling so costs no walk of
    // every folder of a deep path.
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    std::string text;
    while (!pending.empty()) {
        CConfigFile file{std::move(pending.back().first), EConfigStatus::Missing, {}, {}};
        const std::size_t depth = pending.back().second;
        pending.pop_back();
        const platform::CPathProbe probe = platform::ProbePath(file.m_path);
        const auto identity = std::pair(probe.m_id.m_device, probe.m_id.m_inode);
        const bool there = probe.m_known && probe.m_kind == platform::EFileKind::Regular;
        if (there && seen.count(identity)) {
            file.m_status = EConfigStatus::Repeated;
        } else if (ReadConfigFile(file, text) && there) {
            seen.insert(identity);
        }
        chain.m_files.push_back(file);
        if (file.m_status != EConfigStatus::Read) continue;

        std::vector<CConfigEntry> entries = ParseConfigText(text);
        const bool replacesConfig = std::any_of(entries.begin(), entries.end(), [](const CConfigEntry& e) {
            return e.m_key == "replace" && e.m_value == "config";
        });
        if (replacesConfig && counted.size() > 1) {
            for (std::size_t i = 1; i < counted.size(); ++i) chain.m_files[counted[i].m_file].m_droppedBy = file.m_path;
            counted.resize(1);
        }
        // This file's folders are read next, in the order it names them;
        // those of the files before it that are still waiting come after.
        std::vector<std::pair<std::string, std::size_t>> configs;
        for (const CConfigEntry& e : entries) {
            if (e.m_key != "config" || e.m_value.empty()) continue;
            // Each level looks at ever longer paths: a chain thousands deep
            // would take minutes, and no setup needs more than a few.
            if (depth == kDeepestConfig) {
                refuse(file.m_path, e, "config=" + e.m_value + " lies more than " + std::to_string(kDeepestConfig) +
                                           " configuration folders deep: not read");
                continue;
            }
            // A path that resolves to nothing ("") would stand for the
            // working folder.
            if (const std::string path = pathOf(file.m_path, e); !path.empty())
                configs.emplace_back(ConfigFileAt(path), depth + 1);
        }
        pending.insert(pending.end(), configs.rbegin(), configs.rend());
        counted.push_back({chain.m_files.size() - 1, std::move(entries)});
    }

    // The last file that replaces each setting: the values of the files
    // before it are dropped.
    std::unordered_map<std::string, std::size_t> lastReplacing;
    for (std::size_t k = 0; k < counted.size(); ++k)
        for (const CConfigEntry& e : counted[k].m_entries)
            if (e.m_key == "replace") lastReplacing[e.m_value] = k;
    struct CNamed {
        std::string m_path;
        std::size_t m_line;
    };
    std::vector<std::pair<std::string, CNamed>> content;
    for (std::size_t k = 0; k < counted.size(); ++k) {
        const std::string& path = chain.m_files[counted[k].m_file].m_path;
        auto counts = [&](const std::string& key) {
            auto it = lastReplacing.find(key);
            return it == lastReplacing.end() || it->second <= k;
        };
        for (const CConfigEntry& e : counted[k].m_entries) {
            // OpenMW's engine takes an empty data-local as none.
            if (e.m_key == "data-local" && e.m_value.empty()) chain.m_dataLocal.reset();
            if (e.m_value.empty()) continue;
            if ((e.m_key == "data" && counts("data")) || e.m_key == "data-local") {
                const std::string resolved = pathOf(path, e);
                if (resolved.empty()) continue;
                CDataFolder data;
                data.m_path = platform::WithSeparator(resolved);
                data.m_configPath = path;
                data.m_line = e.m_line;
                data.m_local = e.m_key == "data-local";
                data.m_exists = IsFolder(data.m_path);
                if (data.m_local) chain.m_dataLocal = std::move(data);
                else chain.m_data.push_back(std::move(data));
            } else if (e.m_key == "content" && counts("content")) {
                content.emplace_back(e.m_value, CNamed{path, e.m_line});
            } else if (e.m_key == "fallback-archive" && counts("fallback-archive")) {
                chain.m_fallbackArchives.push_back(e.m_value);
            }
        }
    }

    // OpenMW stops on a content file named twice; the first one is kept
    // here, and the user told where the repeat is.
    std::unordered_map<std::string, CNamed> named;
    for (auto& [name, where] : content) {
        auto [it, added] = named.try_emplace(LowerAscii(name), where);
        if (added) {
            chain.m_content.push_back(std::move(name));
            continue;
        }
        std::string firstAt = "line " + std::to_string(it->second.m_line);
        if (it->second.m_path != where.m_path) firstAt += " of " + it->second.m_path;
        chain.m_errors.push_back({where.m_path, where.m_line,
                                  where.m_path + " line " + std::to_string(where.m_line) + ": the content file " +
                                      name + " is named again (first at " + firstAt +
                                      "); OpenMW will not start until one of the two lines is removed, and the "
                                      "first is used here"});
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
