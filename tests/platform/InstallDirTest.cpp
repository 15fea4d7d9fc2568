#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "fixtures/TempDir.h"
#include "platform/InstallDir.h"

namespace vantor::platform {
namespace {

using fixtures::CTempDir;
namespace fs = std::filesystem;

CEnvLookup Env(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const std::string& name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A system.reg as Wine writes it, with the game's key among others.
std::string SystemReg(const std::string& key, const std::string& valueLine) {
    return "WINE REGISTRY Version 2\n"
           ";; All keys relative to \\\\Machine\n"
           "\n"
           "#arch=win64\n"
           "\n"
           "[Software\\\\Bethesda Softworks\\\\Oblivion] 1700000000\n"
           "#time=1da2b3c4d5e6f70\n"
           "\"Installed Path\"=\"C:\\\\Wrong\\\\\"\n"
           "\n"
           "[" + key + "] 1700000001\n"
           "#time=1da2b3c4d5e6f71\n"
           "\"Installed Language\"=dword:00000001\n" +
           valueLine + "\n"
           "\"SFile\"=hex:01,02,\\\n"
           "  03\n";
}

TEST(InstallDir, ReadsTheGamesEntryFromSystemReg) {
    EXPECT_EQ(InstalledPathFromSystemReg(SystemReg("Software\\\\Bethesda Softworks\\\\Morrowind",
                                                   "\"Installed Path\"=\"C:\\\\Games\\\\Morrowind\\\\\"")),
              "C:\\Games\\Morrowind\\");
    // Key and value names are matched without case; CR LF files read too.
    EXPECT_EQ(InstalledPathFromSystemReg("[SOFTWARE\\\\bethesda softworks\\\\MORROWIND] 1\r\n"
                                         "\"installed path\"=\"D:\\\\Morrowind\"\r\n"),
              "D:\\Morrowind");
    // The 32-bit view wins on a 64-bit prefix, whichever comes first.
    EXPECT_EQ(InstalledPathFromSystemReg("[Software\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                                         "\"Installed Path\"=\"C:\\\\Native\"\n"
                                         "[Software\\\\Wow6432Node\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                                         "\"Installed Path\"=\"C:\\\\Wow\"\n"),
              "C:\\Wow");
    // Expandable strings, quotes and non-ASCII escapes (UTF-16 units to UTF-8).
    EXPECT_EQ(InstalledPathFromSystemReg("[Software\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                                         "\"Installed Path\"=str(2):\"C:\\\\Spiele\\\\M\\x00f6rrowind \\\"GOTY\\\"\"\n"),
              "C:\\Spiele\\M\xC3\xB6rrowind \"GOTY\"");
    EXPECT_EQ(InstalledPathFromSystemReg("[Software\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                                         "\"Installed Path\"=\"\\xd83d\\xde00\"\n"),
              "\xF0\x9F\x98\x80");

    // No game key, a subkey of it, a value of another type, a broken line.
    EXPECT_EQ(InstalledPathFromSystemReg(""), std::nullopt);
    EXPECT_EQ(InstalledPathFromSystemReg(SystemReg("Software\\\\Bethesda Softworks\\\\Morrowind\\\\Sub",
                                                   "\"Installed Path\"=\"C:\\\\x\"")),
              std::nullopt);
    EXPECT_EQ(InstalledPathFromSystemReg("[Software\\\\Bethesda Softworks\\\\Morrowind] 1\n"
                                         "\"Installed Path\"=dword:00000001\n"
                                         "\"Installed Path2\"=\"C:\\\\x\"\n"
                                         "\"Installed Path\"=\"C:\\\\unterminated\n"),
              std::nullopt);
}

TEST(InstallDir, MapsWindowsPathsIntoThePrefixIgnoringCase) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine prefixes are looked into from Linux";
#endif
    CTempDir prefix;
    fs::create_directories(prefix / "drive_c/Program Files (x86)/Bethesda Softworks/Morrowind/Data Files");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink(prefix / "drive_c", prefix / "dosdevices/d:");

    EXPECT_EQ(WinePathToUnix(prefix.Path(), "C:\\PROGRAM FILES (X86)\\bethesda softworks\\Morrowind\\"),
              prefix / "drive_c/Program Files (x86)/Bethesda Softworks/Morrowind");
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "d:/Program Files (x86)"), prefix / "dosdevices/d:/Program Files (x86)");
    // Folders that do not exist keep the spelling they were given.
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "C:\\Games\\Morrowind"), prefix / "drive_c/Games/Morrowind");
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "Z:\\tmp"), "/tmp");
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "Z:\\"), "/");
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "E:\\Morrowind"), std::nullopt);  // no such drive
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "\\\\server\\share"), std::nullopt);
    EXPECT_EQ(WinePathToUnix(prefix.Path(), "Morrowind"), std::nullopt);
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

TEST(InstallDir, LooksInTheVariableThenThePrefixThenFallsBack) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows asks the registry alone";
#endif
    CTempDir root;
    std::string game = root / "games/Morrowind";
    fs::create_directories(game + "/data files");  // as a case-insensitive copy left it

    // The variable wins, with or without a trailing separator.
    CInstallDirs fromVariable =
        FindInstallDirs(Env({{kInstallDirVariable, game + "/"}, {"WINEPREFIX", root / "nowhere"}}));
    EXPECT_EQ(fromVariable.m_installDir, game);
    EXPECT_EQ(fromVariable.m_dataDir, game + "/data files/");
    EXPECT_EQ(fromVariable.m_source, EInstallSource::Environment);
    EXPECT_EQ(FindInstallDirs(Env({{kInstallDirVariable, root / "elsewhere"}})).m_dataDir,
              root / "elsewhere/Data Files/");

    // An empty variable counts as unset: the Wine prefix's registry is next.
    std::string prefix = root / "prefix/";
    fs::create_directories(prefix + "drive_c/Program Files (x86)/Bethesda Softworks/Morrowind/Data Files");
    WriteFile(prefix + "system.reg",
              SystemReg("Software\\\\Wow6432Node\\\\Bethesda Softworks\\\\Morrowind",
                        "\"Installed Path\"=\"C:\\\\Program Files (x86)\\\\Bethesda Softworks\\\\Morrowind\\\\\""));
    CInstallDirs fromWine = FindInstallDirs(Env({{kInstallDirVariable, ""}, {"WINEPREFIX", prefix}}));
    EXPECT_EQ(fromWine.m_installDir, prefix + "drive_c/Program Files (x86)/Bethesda Softworks/Morrowind");
    EXPECT_EQ(fromWine.m_dataDir, fromWine.m_installDir + "/Data Files/");
    EXPECT_EQ(fromWine.m_source, EInstallSource::WinePrefix);
    EXPECT_EQ(fromWine.m_winePrefix, prefix);

    // Without WINEPREFIX the prefix is ~/.wine.
    std::string home = root / "home";
    fs::create_directories(home + "/.wine");
    fs::copy_file(prefix + "system.reg", home + "/.wine/system.reg");
    fs::create_directories(home + "/.wine/drive_c");
    EXPECT_EQ(FindInstallDirs(Env({{"HOME", home}})).m_installDir,
              home + "/.wine/drive_c/Program Files (x86)/Bethesda Softworks/Morrowind");

    // A prefix without the game: the default install location seen through
    // the prefix, and no install folder.
    std::string bare = root / "bare";
    WriteFile(bare + "/system.reg", SystemReg("Software\\\\Other", "\"Installed Path\"=\"C:\\\\x\""));
    CInstallDirs fallback = FindInstallDirs(Env({{"WINEPREFIX", bare}}));
    EXPECT_EQ(fallback.m_installDir, "");
    EXPECT_EQ(fallback.m_dataDir, bare + "/drive_c/Program Files/Bethesda Softworks/Morrowind/Data Files/");
    EXPECT_EQ(fallback.m_source, EInstallSource::Default);
    EXPECT_EQ(FindInstallDirs(Env({{"WINEPREFIX", root / "missing"}})).m_installDir, "");

    // Nowhere to look at all: the default as the game's own platform states it.
    CInstallDirs nothing = FindInstallDirs(Env({}));
    EXPECT_EQ(nothing.m_installDir, "");
    EXPECT_EQ(nothing.m_dataDir, "C:\\Program Files\\Bethesda Softworks\\Morrowind\\Data Files\\");
    EXPECT_EQ(nothing.m_source, EInstallSource::Default);
    EXPECT_EQ(DirsFromInstallPath(game).m_source, EInstallSource::Given);

    EXPECT_EQ(DirsFromInstallPath("/").m_dataDir, "/Data Files/");
}

}  // namespace
}  // namespace vantor::platform
