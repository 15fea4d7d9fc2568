#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "fixtures/TempDir.h"
#include "platform/InstallDir.h"

namespace vantor::platform {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "[Software\\\\Bethesda Softworks\\\\Morrowind] 1\n";

// A system.reg as Wine writes it, with the game's key among others.
std::string SystemReg(const std::string& key, const std::string& path) {
    return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
           "[Software\\\\Bethesda Softworks\\\\Oblivion] 1700000000\n#time=1da2b3c4d5e6f70\n"
           "\"Installed Path\"=\"C:\\\\Wrong\\\\\"\n\n[" + key + "] 1700000001\n#time=1da2b3c4d5e6f71\n"
           "\"Installed Language\"=dword:00000001\n\"Installed Path\"=\"" + path +
           "\"\n\"SFile\"=hex:01,02,\\\n  03\n";
}

#ifdef _WIN32
// ./test's Windows stage writes the game's entry into the 32-bit view of a
// fresh Wine prefix's registry, as the game's installer does, and names it
// here.
TEST(InstallDir, ReadsTheGamesRegistryEntry) {
    const char* expected = std::getenv("VANTOR_EXPECT_INSTALLED_PATH");
    if (!expected) GTEST_SKIP() << "run by ./test's Windows stage, which writes the registry entry";
    const CInstallDirs dirs = FindInstallDirs();
    EXPECT_EQ(dirs.m_source, EInstallSource::Registry);
    EXPECT_EQ(dirs.m_installDir, expected);
    EXPECT_EQ(dirs.m_dataDir, std::string(expected) + "\\Data Files\\");
}
#endif

CEnvLookup Env(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const std::string& name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

TEST(InstallDir, ReadsSystemRegAndLooksInTheVariableThenThePrefixThenFallsBack) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows asks the registry alone";
#endif
    // The game's entry in system.reg; the plain case is the prefix's below.
    const std::pair<std::string, std::optional<std::string>> regs[] = {
        // Key and value names are matched without case; CR LF files read too.
        {"[SOFTWARE\\\\bethesda softworks\\\\MORROWIND] 1\r\n\"installed path\"=\"D:\\\\Mw\"\r\n", "D:\\Mw"},
        // The 32-bit view wins on a 64-bit prefix, whichever comes first.
        {kKey + "\"Installed Path\"=\"C:\\\\Native\"\n[Software\\\\Wow6432Node\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                "\"Installed Path\"=\"C:\\\\Wow\"\n", "C:\\Wow"},
        // Expandable strings, quotes and non-ASCII escapes (UTF-16 units to UTF-8).
        {kKey + "\"Installed Path\"=str(2):\"C:\\\\M\\x00f6rrowind \\\"GOTY\\\"\"\n", "C:\\M\xC3\xB6rrowind \"GOTY\""},
        {kKey + "\"Installed Path\"=\"\\xd83d\\xde00\"\n", "\xF0\x9F\x98\x80"},
        // No game key, a subkey of it, a value of another type, a broken line.
        {"", std::nullopt},
        {SystemReg("Software\\\\Bethesda Softworks\\\\Morrowind\\\\Sub", "C:\\\\x"), std::nullopt},
        {kKey + "\"Installed Path\"=dword:00000001\n\"Installed Path2\"=\"C:\\\\x\"\n\"Installed Path\"=\"C:\\\\open\n",
         std::nullopt},
    };
    for (const auto& [reg, path] : regs) EXPECT_EQ(InstalledPathFromSystemReg(reg), path) << reg;

    fixtures::CTempDir root;
    const std::string game = root / "games/Morrowind";
    fs::create_directories(game + "/data files");  // as a case-insensitive copy left it
    const std::string prefix = root / "prefix/", home = root / "home", bare = root / "bare";
    const std::string wow = "drive_c/Program Files (x86)/Bethesda Softworks/Morrowind";
    for (const std::string& p : {prefix, home + "/.wine/"}) {
        fs::create_directories(p + wow + "/Data Files");
        std::ofstream(p + "system.reg") << SystemReg("Software\\\\Wow6432Node\\\\Bethesda Softworks\\\\Morrowind",
                                                     "C:\\\\Program Files (x86)\\\\Bethesda Softworks\\\\Morrowind");
    }
    fs::create_directories(bare);
    std::ofstream(bare + "/system.reg") << SystemReg("Software\\\\Other", "C:\\\\x");
    fs::create_directories(prefix + "dosdevices");
    fs::create_directory_symlink(prefix + "drive_c", prefix + "dosdevices/d:");

    // Windows paths seen through the prefix, matching names without case.
    const std::pair<const char*, std::optional<std::string>> paths[] = {
        {"C:\\PROGRAM FILES (X86)\\bethesda softworks\\Morrowind\\", prefix + wow},
        {"d:/Program Files (x86)", prefix + "dosdevices/d:/Program Files (x86)"},
        // Folders that do not exist keep the spelling they were given.
        {"C:\\Games\\Morrowind", prefix + "drive_c/Games/Morrowind"},
        {"Z:\\tmp", "/tmp"}, {"Z:\\", "/"},
        {"E:\\Morrowind", std::nullopt},  // no such drive
        {"\\\\server\\share", std::nullopt}, {"Morrowind", std::nullopt},
    };
    for (const auto& [windows, unix] : paths) EXPECT_EQ(WinePathToUnix(prefix, windows), unix) << windows;

    struct CCase {
        const char* m_name;
        std::map<std::string, std::string> m_env;
        std::string m_install, m_data;
        EInstallSource m_source;
    };
    const CCase cases[] = {
        // The variable wins, with or without a trailing separator.
        {"variable", {{kInstallDirVariable, game + "/"}, {"WINEPREFIX", root / "nowhere"}}, game,
         game + "/data files/", EInstallSource::Environment},
        {"variable, no folder", {{kInstallDirVariable, root / "elsewhere"}}, root / "elsewhere",
         root / "elsewhere/Data Files/", EInstallSource::Environment},
        // An empty variable counts as unset: the Wine prefix's registry is next.
        {"prefix", {{kInstallDirVariable, ""}, {"WINEPREFIX", prefix}}, prefix + wow, prefix + wow + "/Data Files/",
         EInstallSource::WinePrefix},
        {"~/.wine", {{"HOME", home}}, home + "/.wine/" + wow, home + "/.wine/" + wow + "/Data Files/",
         EInstallSource::WinePrefix},
        // A prefix without the game: the default install location seen
        // through the prefix, and no install folder.
        {"prefix without the game", {{"WINEPREFIX", bare}}, "",
         bare + "/drive_c/Program Files/Bethesda Softworks/Morrowind/Data Files/", EInstallSource::Default},
        // Nowhere to look at all: the default as the game's own platform states it.
        {"nothing", {}, "", "C:\\Program Files\\Bethesda Softworks\\Morrowind\\Data Files\\", EInstallSource::Default},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_name);
        const CInstallDirs dirs = FindInstallDirs(Env(c.m_env));
        EXPECT_EQ(dirs.m_installDir, c.m_install);
        EXPECT_EQ(dirs.m_dataDir, c.m_data);
        EXPECT_EQ(dirs.m_source, c.m_source);
    }
    EXPECT_EQ(FindInstallDirs(Env({{"WINEPREFIX", prefix}})).m_winePrefix, prefix);
}

}  // namespace
}  // namespace vantor::platform
