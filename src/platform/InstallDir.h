#pragma once
// Where the game is installed. On Windows the registry says so; elsewhere the
// variable VANTOR_MORROWIND_DIR, then the game's entry in a Wine prefix's
// registry file, then the default install location.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::platform {

inline constexpr const char* kInstallDirVariable = "VANTOR_MORROWIND_DIR";
inline constexpr const char* kGameRegistryKey = "SOFTWARE\\Bethesda Softworks\\Morrowind";
inline constexpr const char* kGameRegistryValue = "Installed Path";
inline constexpr const char* kDefaultWindowsDataDir = "C:\\Program Files\\Bethesda Softworks\\Morrowind\\Data Files\\";

// Where the install folder was learnt, for telling the user.
enum class EInstallSource {
    Given,        // handed to DirsFromInstallPath by the caller
    Registry,     // the game's registry value (Windows)
    Environment,  // kInstallDirVariable
    WinePrefix,   // the registry file of a Wine prefix
    Default       // nothing found: the default data folder, no install folder
};

struct CInstallDirs {
    std::string m_installDir;  // the game's folder without a trailing separator, "" when unknown
    std::string m_dataDir;     // its "Data Files" folder, always ending with a separator
    EInstallSource m_source = EInstallSource::Given;
    // The Wine prefix (ending with '/') for WinePrefix and for a Default seen
    // through a prefix; "" otherwise.
    std::string m_winePrefix;
};

// Looks up an environment variable; nullopt when it is not set.
using CEnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

CInstallDirs FindInstallDirs();
CInstallDirs FindInstallDirs(const CEnvLookup& env);

// The pieces, for the tests and for anyone who has a path already.

// Install and data folder for an install folder as found.
CInstallDirs DirsFromInstallPath(const std::string& installDir);
// The "Installed Path" value of the game's key in the text of a Wine
// `system.reg`, as Windows would see it from a 32-bit program (so the
// Wow6432Node key first), with the file's escapes undone.
std::optional<std::string> InstalledPathFromSystemReg(std::string_view regText);
// "C:\Games\Morrowind" seen from inside the Wine prefix (a folder ending
// with '/'): drive C is its drive_c, other drives its dosdevices links, Z the
// root. Components are matched without regard to case, as Windows would.
std::optional<std::string> WinePathToUnix(const std::string& prefix, const std::string& windowsPath);

}  // namespace vantor::platform
