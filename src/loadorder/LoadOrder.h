#pragma once
// Where the game's files are and in which order they load. Two sources answer
// the same questions: the game's own Morrowind.ini with its "Data Files"
// folder and file times, and OpenMW's openmw.cfg chain with its many data
// folders and its content list. The rest of the program asks a CLoadOrder and
// never reads file times or the game's settings itself.
//
// File names are bytes as the file system gives them; every comparison of
// names is blind to ASCII case, as the game's own platform is.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/InstallDir.h"

namespace vantor::loadorder {

// One game file: its name and the folder it lies in (ending with a separator).
struct CGameFile {
    std::string m_name;
    std::string m_folder;
    bool operator==(const CGameFile&) const = default;
};

// Comparable age of a file: of two files, the greater age is the newer one,
// the file whose records win.
struct CFileAge {
    // Files of a higher tier are newer than every file of a lower tier; within
    // a tier the greater value is newer.
    std::int32_t m_tier = 0;
    std::int64_t m_value = 0;
    auto operator<=>(const CFileAge&) const = default;
};

// -------------------------------------------------------------- "where" --

struct CMorrowindWhere {
    std::string m_installDir;  // "" when unknown
    platform::EInstallSource m_installSource = platform::EInstallSource::Default;
    std::string m_winePrefix;  // the prefix looked in, "" when none
    std::string m_dataDir;
    bool m_dataDirGiven = false;  // from the command line rather than the install folder
    std::string m_iniPath;        // the Morrowind.ini the active plugins come from
};

enum class EConfigStatus {
    Read,
    Missing,     // nothing there: skipped, as OpenMW skips it
    NotAFile,    // a folder, FIFO or device: refused, never opened
    Unreadable,  // there, but reading failed (m_error says why)
    Repeated     // already read earlier in the chain: not read again
};

struct CConfigFile {
    std::string m_path;
    EConfigStatus m_status = EConfigStatus::Missing;
    std::string m_error;  // the system's message for Unreadable
    // Read, but a later file's "replace=config" dropped it and all it says:
    // that file's path.
    std::string m_droppedBy;
};

struct CDataFolder {
    std::string m_path;        // ending with a separator
    std::string m_configPath;  // the file that named it
    std::size_t m_line = 0;    // and the line, from 1
    bool m_local = false;      // data-local: searched first
    bool m_exists = false;     // a folder is there
};

// Something in the configuration that OpenMW would not start with, at
// `m_path` line `m_line`; `m_text` says it whole, file and line included.
struct CConfigError {
    std::string m_path;
    std::size_t m_line = 0;
    std::string m_text;
};

struct COpenMWWhere {
    std::vector<CConfigFile> m_chain;        // in the order read (or skipped)
    std::vector<CDataFolder> m_dataFolders;  // in priority order, highest first
    // The load order: the TES3 files of the content list, each name once,
    // as found (m_folder "" when no data folder holds it).
    std::vector<CGameFile> m_content;
    std::vector<std::string> m_missing;  // content names no data folder holds, each once
    std::vector<CConfigError> m_errors;  // in reading order
};

using CWhere = std::variant<CMorrowindWhere, COpenMWWhere>;

// --------------------------------------------------------- the source --

class CLoadOrder {
public:
    virtual ~CLoadOrder() = default;

    // The masters the document reads by itself, in load order: for the game,
    // the data folder's "*.esm" sorted by name without regard to case (the
    // order the document's master files end up in); for OpenMW, the .esm and
    // .omwgame entries of the content list that a data folder holds.
    virtual std::vector<CGameFile> Masters() const = 0;
    // The plugins the game has switched on, in load order: the game's
    // "GameFile" values ending in "esp" with the data folder as folder; the
    // .esp and .omwaddon content entries that a data folder holds. Each name
    // once.
    virtual std::vector<CGameFile> ActivePlugins() const = 0;
    // The file the game would load for `name`, nullopt when there is none.
    virtual std::optional<CGameFile> Find(std::string_view name) const = 0;
    // The age of the file at `path`: its last-write time in seconds for the
    // game (a file whose time cannot be read is the oldest of all); for
    // OpenMW, its place in the content list, and a file not in the list is
    // newer than every listed one, ordered by file time among the unlisted.
    virtual CFileAge Age(const std::string& path) const = 0;
    // The folder file choosers start in and the results log defaults to,
    // ending with a separator.
    virtual std::string DataDir() const = 0;
    // What was found and where from, for telling the user.
    virtual CWhere Where() const = 0;
};

// The game's own load order. Without an install folder it is looked up
// (registry, VANTOR_MORROWIND_DIR, a Wine prefix); a data folder given
// overrides the install folder's "Data Files".
struct CMorrowindSetup {
    std::optional<std::string> m_installDir;
    std::optional<std::string> m_dataDir;
    platform::CEnvLookup m_env;  // empty: the process environment
};
std::unique_ptr<CLoadOrder> MorrowindLoadOrder(const CMorrowindSetup& setup);

// The folders OpenMW's path tokens stand for, each ending with a separator,
// "" where the platform has none.
struct COpenMWPaths {
    std::string m_userConfig;    // ?userconfig?
    std::string m_userData;      // ?userdata?
    std::string m_globalConfig;  // where the packaged openmw.cfg lies
    std::string m_globalData;    // ?global?
};

enum class EHost { Linux, MacOS, Windows };
EHost ThisHost();
// The default folders on `host`: XDG (or the Flatpak build's folders when
// only those hold an openmw.cfg) on Linux, Library on macOS, "My Games" on
// Windows. An empty `env` reads the process environment.
COpenMWPaths DefaultOpenMWPaths(EHost host, const platform::CEnvLookup& env);

struct COpenMWSetup {
    // The first file read: an openmw.cfg or a folder holding one. Empty: the
    // global file when there is one, else the user's.
    std::string m_config;
    COpenMWPaths m_paths;
};
// Reads the whole chain and looks at the data folders once; a later change on
// disk needs a new source. Never fails: what could not be read is in Where().
std::unique_ptr<CLoadOrder> OpenMWLoadOrder(const COpenMWSetup& setup);

// Names of the TES3 files OpenMW loads (.esm, .esp, .omwgame, .omwaddon),
// and of the masters among them (.esm, .omwgame), by extension without
// regard to case.
bool IsContentFile(std::string_view name);
bool IsMasterFile(std::string_view name);

}  // namespace vantor::loadorder
