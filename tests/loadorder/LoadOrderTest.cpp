// The load orders: Morrowind.ini with the data folder, and OpenMW's chain of
// openmw.cfg files; on Windows with drive letters and backslashes too.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "loadorder/LoadOrder.h"
#include "loadorder/OpenMWConfig.h"
#include "platform/Files.h"

namespace vantor::loadorder {

// Readable failures instead of object bytes.
inline void PrintTo(const CConfigEntry& e, std::ostream* out) { *out << e.m_line << ':' << e.m_key << '=' << e.m_value; }
inline void PrintTo(const CGameFile& f, std::ostream* out) { *out << f.m_folder << '|' << f.m_name; }
inline void PrintTo(const CFileAge& a, std::ostream* out) { *out << a.m_tier << ':' << a.m_value; }

namespace {

using fixtures::CTempDir;
namespace fs = std::filesystem;

// A file written with its folders.
void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(MorrowindLoadOrder, AnswersFromTheIniTheDataFolderAndFileTimes) {
    CTempDir root;
    const std::string game = root / "Morrowind", data = game + "/Data Files/";
    for (const char* name : {"tribunal.esm", "bloodmoon.ESM", "Morrowind.esm", "Mod.esp", "notes.txt", ".esm"})
        Write(data + name, "TES3");
    fs::create_directories(data + "Folder.esm");
    fs::create_symlink(data + "Mod.esp", data + "Linked.esm");
    Write(game + "/Morrowind.ini",
          "[Game Files]\r\nGameFile0=Morrowind.esm\r\nGameFile1=mod.esp\r\nGameFile2=Upper.ESP\r\n"
          "GameFile3=mod.esp\r\nGameFile4=Odd.xesp\r\nGameFile6=Gap.esp\r\n");

    auto order = MorrowindLoadOrder({game, std::nullopt, {}});
    // The data folder's masters by name without regard to case; folders and
    // other files are none.
    EXPECT_EQ(order->Masters(), (std::vector<CGameFile>{{"bloodmoon.ESM", data}, {"Linked.esm", data},
                                                        {"Morrowind.esm", data}, {"tribunal.esm", data}}));
    // Names ending in "esp" up to the first missing key, each once, as the
    // game spells them.
    EXPECT_EQ(order->ActivePlugins(),
              (std::vector<CGameFile>{{"mod.esp", data}, {"Upper.ESP", data}, {"Odd.xesp", data}}));
    EXPECT_EQ(order->Find("MOD.ESP"), (CGameFile{"Mod.esp", data}));
    EXPECT_EQ(order->Find("Folder.esm"), std::nullopt);
    EXPECT_EQ(std::get<CMorrowindWhere>(order->Where()).m_iniPath, game + "/Morrowind.ini");

    ASSERT_TRUE(fixtures::StampFile(data + "Morrowind.esm", 1020254400));
    ASSERT_TRUE(fixtures::StampFile(data + "Mod.esp", 1020254400 - 86400));
    EXPECT_EQ(order->Age(data + "MORROWIND.ESM"), (CFileAge{0, 1020254400}));
    EXPECT_LT(order->Age(data + "Mod.esp"), order->Age(data + "Morrowind.esm"));
    EXPECT_LT(order->Age(data + "gone.esp"), order->Age(data + "Mod.esp"));

    // A data folder given wins over the install folder's.
    auto given = MorrowindLoadOrder({game, root / "other", {}});
    EXPECT_EQ(given->DataDir(), root / "other/");
    EXPECT_TRUE(given->Masters().empty());
    ASSERT_FALSE(given->ActivePlugins().empty());
    EXPECT_EQ(given->ActivePlugins().front(), (CGameFile{"mod.esp", root / "other/"}));
}

using CStatuses = std::vector<std::pair<std::string, EConfigStatus>>;
CStatuses Statuses(const std::vector<CConfigFile>& files) {
    CStatuses out;
    for (const auto& f : files) out.emplace_back(f.m_path, f.m_status);
    return out;
}

TEST(OpenMWConfig, ParsesLinesAndPathsAsOpenMWDoes) {
    EXPECT_EQ(ParseConfigText("\xEF\xBB\xBF# a comment\r\n  data = \"/x # y\"  \r\ncontent=a.esp\nno equals\n=no key\n"
                              "   # indented\ncontent=b.esp # not a comment\n[Section]\ncontent=c.esp\ndata="),
              (std::vector<CConfigEntry>{{"data", "\"/x # y\"", 2}, {"content", "a.esp", 3},
                                         {"content", "b.esp # not a comment", 7}, {"Section.content", "c.esp", 9},
                                         {"Section.data", "", 10}}));

    const COpenMWPaths paths{"/cfg/", "/share/", "/etc/openmw/", "/usr/share/games/openmw/"};
    const std::pair<const char*, const char*> cases[] = {
        {"\"/mods/Rock && Roll\"", "/mods/Rock & Roll"}, {"\"/mods/Say &\"Hi&\"\"", "/mods/Say \"Hi\""},
        {"\"/mods/a\" trailing", "/mods/a"}, {"\"/mods/unclosed &", "/mods/unclosed "},
        {"/mods/Old \"style\" && kept", "/mods/Old \"style\" && kept"},
        {"\"?global?/data\"", "/usr/share/games/openmw/data"}, {"?local?Data Files", "/home/me/game/Data Files"},
        {"mods/../Data Files", "/home/me/game/Data Files"}, {"\"./quoted relative\"", "/home/me/game/quoted relative"},
        {"/abs//path/./x", "/abs/path/x"}, {"?nosuch?x", "?nosuch?x"},
    };
    for (const auto& [value, path] : cases) EXPECT_EQ(ResolveConfigPath(value, "/home/me/game/", paths), path) << value;
    // A token this platform has no folder for, or an unknown one, leads
    // nowhere, never into the configuration's own folder.
    EXPECT_EQ(ResolveConfigPath("?global?data", "/home/me/game/", COpenMWPaths{}), "?global?data");
}

// The chain a Linux package sets up: the global file names the game and
// hands on to the user's file, which replaces the content list.
TEST(OpenMWConfig, ResolvesAChainOfFiles) {
    CTempDir root;
    const std::string global = root / "etc/openmw/", user = root / "home/.config/openmw/";
    const std::string game = root / "Morrowind/Data Files/", rock = root / "mods/Rock & Roll/";
    const std::string say = root / "mods/Say \"Hi\"/", relative = user + "local mods/";
    const std::string local = root / "home/.local/share/openmw/data/";
    for (const std::string& file : {game + "Morrowind.esm", game + "Tribunal.esm", game + "both.esp",
                                    game + "Global Only.esp", rock + "Rock.omwgame", rock + "Weapons.ESP",
                                    say + "Hi.omwaddon", relative + "BOTH.ESP", relative + "Scripts.omwscripts",
                                    local + "Local.esp"})
        Write(file, "TES3");
    Write(global + "openmw.cfg",
          "data=\"" + game + "\"\ncontent=Morrowind.esm\ncontent=Global Only.esp\nconfig=?userconfig?\n");
    Write(user + "openmw.cfg",
          "# written by the launcher\nreplace=content\n"
          "data=\"" + root.Path() + "mods/Rock && Roll\"\n"
          "data=\"" + root.Path() + "mods/Say &\"Hi&\"\"\n"
          "data=local mods\ndata=?userdata?nowhere\n"
          "content=morrowind.esm\ncontent=Tribunal.esm\ncontent=Rock.omwgame\ncontent=weapons.esp\n"
          "content=Missing.esp\ncontent=Both.esp\ncontent=Hi.omwaddon\ncontent=Scripts.omwscripts\n"
          "content=MISSING.ESP\ncontent=Local.esp\n"
          "config=?local?\n");  // back to itself: not read twice
    auto order = OpenMWLoadOrder({"", {user, root / "home/.local/share/openmw/", global, root / "share/"}});
    const auto where = std::get<COpenMWWhere>(order->Where());

    EXPECT_EQ(Statuses(where.m_chain), (CStatuses{{global + "openmw.cfg", EConfigStatus::Read},
                                                  {user + "openmw.cfg", EConfigStatus::Read},
                                                  {user + "openmw.cfg", EConfigStatus::Repeated}}));
    // No data-local is named, and OpenMW's engine then adds no folder of
    // its own: ?userdata?data is none.
    std::vector<std::string> folders;
    for (const auto& f : where.m_dataFolders) folders.push_back(f.m_path);
    ASSERT_EQ(folders, (std::vector<std::string>{root / "home/.local/share/openmw/nowhere/", relative, say, rock, game}));
    EXPECT_FALSE(where.m_dataFolders[0].m_exists);
    EXPECT_EQ(where.m_dataFolders[1].m_configPath + ":" + std::to_string(where.m_dataFolders[1].m_line),
              user + "openmw.cfg:5");

    // The user's list replaced the global one; names as they lie on disk,
    // "both.esp" from the later of its two folders.
    const std::vector<CGameFile> content{{"Morrowind.esm", game}, {"Tribunal.esm", game}, {"Rock.omwgame", rock},
                                         {"Weapons.ESP", rock},   {"Missing.esp", ""},    {"BOTH.ESP", relative},
                                         {"Hi.omwaddon", say},    {"Local.esp", ""}};
    EXPECT_EQ(where.m_content, content);
    EXPECT_EQ(where.m_missing, (std::vector<std::string>{"Missing.esp", "Local.esp"}));
    // A repeat differing in case only is the same file named twice.
    ASSERT_EQ(where.m_errors.size(), 1u);
    EXPECT_EQ(where.m_errors[0].m_text, user + "openmw.cfg line 15: the content file MISSING.ESP is named again (first "
                                               "at line 11); OpenMW will not start until one of the two lines is "
                                               "removed, and the first is used here");
    EXPECT_EQ(order->Masters(), (std::vector<CGameFile>{content[0], content[1], content[2]}));
    EXPECT_EQ(order->ActivePlugins(), (std::vector<CGameFile>{content[3], content[5], content[6]}));
    EXPECT_EQ(order->Find("GLOBAL ONLY.ESP"), (CGameFile{"Global Only.esp", game}));
    EXPECT_EQ(order->DataDir(), game);

    // Newer is later in the list, whatever the file times say; files not in
    // the list are newer still, by their times (unreadable: the oldest).
    fs::last_write_time(game + "Global Only.esp", fs::file_time_type::clock::now() - std::chrono::hours(48));
    Write(root / "elsewhere/Newer.esp", "TES3");
    const CFileAge unlisted = order->Age(game + "Global Only.esp");
    EXPECT_LT(order->Age(rock + "weapons.esp"), order->Age(relative + "both.esp"));
    EXPECT_LT(order->Age(relative + "both.esp"), order->Age(game + "not there.esp"));
    EXPECT_LT(order->Age(game + "not there.esp"), unlisted);
    EXPECT_LT(unlisted, order->Age(root / "elsewhere/Newer.esp"));
}

TEST(OpenMWConfig, ChainsStopWhereTheyShould) {
    CTempDir root;
    const COpenMWPaths paths{root / "user/", "", "", ""};
    Write(root / "user/openmw.cfg", "data=user data\ncontent=User.esp\n");
    Write(root / "b/openmw.cfg", "replace=config\nreplace=data\ndata=b data\n");
    Write(root / "c/openmw.cfg", "content=C.esp\n");
    fs::create_directories(root / "fifo");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((root / "fifo/openmw.cfg").c_str(), 0600), 0);
    constexpr EConfigStatus kFifo = EConfigStatus::NotAFile;
#else
    constexpr EConfigStatus kFifo = EConfigStatus::Missing;  // Windows has no FIFOs
#endif
    fs::create_directories(root / "folder/openmw.cfg");
    // The first file names b then c. Files that could not be read are no
    // files read before b: its replace=config drops nothing, and c is read.
    Write(root / "first.cfg", "data=first\nconfig=\"\"\nconfig=fifo\nconfig=folder/openmw.cfg\nconfig=b\nconfig=c\n");

    const auto chain = ReadConfigChain(root / "first.cfg", paths);
    EXPECT_EQ(Statuses(chain.m_files), (CStatuses{{root / "first.cfg", EConfigStatus::Read},
                                                  {root / "fifo/openmw.cfg", kFifo},
                                                  {root / "folder/openmw.cfg/openmw.cfg", EConfigStatus::Missing},
                                                  {root / "b/openmw.cfg", EConfigStatus::Read},
                                                  {root / "c/openmw.cfg", EConfigStatus::Read}}));
    ASSERT_EQ(chain.m_data.size(), 1u);
    EXPECT_EQ(chain.m_data[0].m_path, root / "b/b data/");
    EXPECT_EQ(chain.m_content, std::vector<std::string>{"C.esp"});

    // A folder given as the first path stands for its openmw.cfg; given
    // nothing, the user's file is read when there is no global one.
    EXPECT_EQ(ReadConfigChain(root / "c", paths).m_content, std::vector<std::string>{"C.esp"});
    // A missing file is named as it was given, not as a folder of that name.
    EXPECT_EQ(Statuses(ReadConfigChain(root / "none/openmw.cfg", paths).m_files),
              (CStatuses{{root / "none/openmw.cfg", EConfigStatus::Missing}}));
    const auto fallback = std::get<COpenMWWhere>(OpenMWLoadOrder({"", paths})->Where());
    ASSERT_FALSE(fallback.m_chain.empty());
    EXPECT_EQ(fallback.m_chain[0].m_path, root / "user/openmw.cfg");
    EXPECT_EQ(fallback.m_missing, std::vector<std::string>{"User.esp"});
}

// Chains of folders A, B, ... (each "X/openmw.cfg", the first A) read as
// OpenMW reads them: depth first; "replace=config" drops every file read so
// far but the first when more than one was; lists joined in reading order
// unless a later file replaces them; of data-local the last one given wins.
TEST(OpenMWConfig, ChainsAndSettingsFollowOpenMWsRules) {
    const std::string tooLong(kLongestPath + 1, 'x');
    struct CCase {
        const char* m_what;
        std::vector<std::pair<std::string, std::string>> m_files;  // folder, text
        // Files as read ("-": dropped), data folders lowest priority first,
        // data-local, content, and where the errors are.
        std::string m_expected;
    };
    const CCase cases[] = {
        {"replace=config with only the first read before: nothing dropped",
         {{"A", "data=a\nconfig=../B\nconfig=../C\n"}, {"B", "replace=config\ndata=b\n"}, {"C", "data=c\n"}},
         "A B C | a b c | - | |"},
        {"replace=config after two: all but the first dropped",
         {{"A", "data=a\nconfig=../B\nconfig=../C\n"}, {"B", "data=b\n"}, {"C", "data=c\nreplace=config\n"}},
         "A B- C | a c | - | |"},
        {"a file's folders right after it, before those its parent named after it",
         {{"A", "config=../B\nconfig=../C\ncontent=a.esp\n"}, {"B", "config=../D\ncontent=b.esp\n"},
          {"C", "content=c.esp\n"}, {"D", "content=d.esp\n"}},
         "A B D C | | - | a.esp b.esp d.esp c.esp |"},
        {"the folders a dropped file named are still read; a second replace drops again",
         {{"A", "config=../B\nconfig=../E\n"}, {"B", "config=../C\nconfig=../D\ncontent=b.esp\n"},
          {"C", "replace=config\ncontent=c.esp\n"}, {"D", "content=d.esp\n"}, {"E", "content=e.esp\n"}},
         "A B- C D E | | - | c.esp d.esp e.esp |"},
        {"replace=NAME drops what the files before gave, never its own file's",
         {{"A", "data=a\ncontent=a.esp\nfallback-archive=a.bsa\nconfig=../B\nconfig=../C\n"},
          {"B", "content=b.esp\ndata=b\nreplace=content\n"}, {"C", "data=c\nreplace=data\nfallback-archive=c.bsa\n"}},
         "A B C | c | - | b.esp |"},
        {"data-local: the last file that gives one wins; replace=data-local changes nothing",
         {{"A", "data-local=a\nconfig=../B\nconfig=../C\n"}, {"B", "data-local=b\n"},
          {"C", "replace=data-local\ndata=c\n"}},
         "A B C | c | b | |"},
        {"an empty data-local given last is none",
         {{"A", "data-local=a\nconfig=../B\n"}, {"B", "data-local=\n"}}, "A B | | - | |"},
        {"a content file named again, in any case, in any file: the first kept",
         {{"A", "content=a.esp\ncontent=b.esp\nconfig=../B\n"}, {"B", "content=A.ESP\ncontent=c.esp\ncontent=b.esp\n"}},
         "A B | | - | a.esp b.esp c.esp | B:1 B:3"},
        {"a name replaced away is not named twice",
         {{"A", "content=a.esp\nconfig=../B\n"}, {"B", "replace=content\ncontent=a.esp\n"}}, "A B | | - | a.esp |"},
        {"a path longer than any system takes is refused, not looked at",
         {{"A", "data=a\ndata=" + tooLong + "\nconfig=" + tooLong + "\n"}}, "A | a | - | | A:3 A:2"},
    };
    auto summary = [](const CConfigChain& chain, const std::string& root) {
        // "X" for the file ROOT/X/openmw.cfg, "x" for the folder ROOT/X/x/
        // (Windows gives back its own separators).
        auto part = [&](const std::string& path, std::size_t n) {
            std::string rest = path.substr(root.size());
            for (; n > 0; --n) rest = rest.substr(rest.find_first_of("/\\") + 1);
            return rest.substr(0, rest.find_first_of("/\\"));
        };
        std::string files, data, content, errors;
        for (const CConfigFile& f : chain.m_files)
            files += " " + part(f.m_path, 0) + (f.m_droppedBy.empty() ? "" : "-") +
                     (f.m_status == EConfigStatus::Read ? "" : "?");
        for (const CDataFolder& d : chain.m_data) data += " " + part(d.m_path, 1);
        for (const std::string& c : chain.m_content) content += " " + c;
        for (const CConfigError& e : chain.m_errors) errors += " " + part(e.m_path, 0) + ":" + std::to_string(e.m_line);
        return files.substr(1) + " |" + data + " | " + (chain.m_dataLocal ? part(chain.m_dataLocal->m_path, 1) : "-") +
               " |" + content + " |" + errors;
    };
    for (const CCase& c : cases) {
        CTempDir root;
        for (const auto& [folder, text] : c.m_files) {
            Write(root / (folder + "/openmw.cfg"), text);
            fs::create_directories(root / (folder + "/" + std::string(1, char(std::tolower(folder[0])))));
        }
        EXPECT_EQ(summary(ReadConfigChain(root / "A", {}), root.Path()), c.m_expected) << c.m_what;
    }
}

// Deeper than OpenMW's setups ever are, a chain of files stops with a word.
TEST(OpenMWConfig, DeepChainsStopAtTheirLimit) {
    CTempDir root;
    for (std::size_t depth = 0; depth <= kDeepestConfig + 1; ++depth)
        Write(root / (std::to_string(depth) + "/openmw.cfg"),
              "content=" + std::to_string(depth) + ".esp\nconfig=../" + std::to_string(depth + 1) + "\n");
    const CConfigChain chain = ReadConfigChain(root / "0", {});
    EXPECT_EQ(chain.m_files.size(), kDeepestConfig + 1);
    EXPECT_EQ(chain.m_content.back(), std::to_string(kDeepestConfig) + ".esp");
    ASSERT_EQ(chain.m_errors.size(), 1u);
    EXPECT_EQ(chain.m_errors[0].m_path, chain.m_files.back().m_path);
    EXPECT_NE(chain.m_errors[0].m_text.find("config=../257 lies more than 256 configuration folders deep: not read"),
              std::string::npos);
}

// XDG's folders, or the Flatpak build's when only they hold a configuration.
TEST(OpenMWConfig, FindsTheUsersFolders) {
    CTempDir home;
    const platform::CEnvLookup env = [&](const std::string& name) -> std::optional<std::string> {
        if (name == "HOME") return home.Path();
        return name == "XDG_DATA_HOME" ? std::optional<std::string>("relative/ignored") : std::nullopt;
    };
    EXPECT_EQ(DefaultOpenMWPaths(EHost::Linux, env).m_userConfig, home / ".config/openmw/");
    EXPECT_EQ(DefaultOpenMWPaths(EHost::Linux, env).m_userData, home / ".local/share/openmw/");
    Write(home / ".var/app/org.openmw.OpenMW/config/openmw/openmw.cfg", "");
    EXPECT_EQ(DefaultOpenMWPaths(EHost::Linux, env).m_userData, home / ".var/app/org.openmw.OpenMW/data/openmw/");
    Write(home / ".config/openmw/openmw.cfg", "");
    EXPECT_EQ(DefaultOpenMWPaths(EHost::Linux, env).m_userConfig, home / ".config/openmw/");
}

std::vector<std::string> Names(const std::vector<CGameFile>& files) {
    std::vector<std::string> names;
    for (const CGameFile& f : files) {
        EXPECT_TRUE(platform::ResolvePath(f.m_folder + f.m_name)) << f.m_folder << f.m_name;
        names.push_back(f.m_name);
    }
    return names;
}

// Folders written the way the system writes them: on Windows a drive letter
// and backslashes, in Morrowind.ini's folder and in openmw.cfg's data lines;
// an ini that is no regular file.
TEST(NativePaths, GameFolderAndConfigurationLinesWithTheSystemsSeparators) {
    fixtures::CTempDir root;
    const std::string game = fixtures::Native(root.Path() + "Game");
    for (const char* name : {"/Data Files/Base.esm", "/Data Files/Mod.esp"}) Write(game + name, "TES3");
    Write(game + "/Morrowind.ini", "[Game Files]\r\nGameFile0=Base.esm\r\nGameFile1=MOD.ESP\r\n");
    // A Morrowind.ini that is a FIFO would block the read for ever; one that
    // is a folder reads as nothing.
#ifndef _WIN32  // Windows has no FIFOs
    ASSERT_EQ(::mkfifo((root / "Morrowind.ini").c_str(), 0600), 0);
#endif
    fs::create_directories(root / "folder/Morrowind.ini");
    for (const char* install : {"", "folder"})
        EXPECT_TRUE(MorrowindLoadOrder({root / install, std::nullopt, {}})->ActivePlugins().empty()) << install;

    // The install folder with and without its last separator.
    for (const std::string& install : {game, fixtures::Native(game + "/")}) {
        auto order = MorrowindLoadOrder({install, std::nullopt, {}});
        EXPECT_EQ(order->DataDir(), fixtures::Native(game + "/Data Files/"));
        EXPECT_EQ(Names(order->ActivePlugins()), std::vector<std::string>{"MOD.ESP"});
        EXPECT_EQ(Names(order->Masters()), std::vector<std::string>{"Base.esm"});
    }

    Write(root / "Mods/One/One.esp", "TES3");
    Write(root / "Mods/Two/Two.omwaddon", "TES3");
    // The other separator last, as a hand-written file may have it.
    std::string cfg = "data=\"" + fixtures::Native(game + "/Data Files") + "\"\r\ndata=\"" +
                      fixtures::Native(root.Path() + "Mods/One") + "\"\r\ndata=\"" + root.Path() + "Mods/Two/\"\r\n";
    std::vector<std::string> expected{"Base.esm", "One.esp", "Two.omwaddon"};
#ifdef _WIN32
    // A folder relative to the file's own, and a drive letter in lower case.
    Write(root / "Mods/Three/Three.esp", "TES3");
    std::string lower = root.Path();
    lower[0] = char(std::tolower(static_cast<unsigned char>(lower[0])));
    cfg += "data=\"..\\Mods\\Three\"\r\ndata=\"" + lower + "Mods\\One\"\r\ncontent=Three.esp\r\n";
    expected.insert(expected.begin(), "Three.esp");
#endif
    Write(root / "Config/openmw.cfg", cfg + "content=Base.esm\r\ncontent=One.esp\r\ncontent=Two.omwaddon\r\n");

    auto order = OpenMWLoadOrder({fixtures::Native(root.Path() + "Config/openmw.cfg"), {}});
    const auto where = std::get<COpenMWWhere>(order->Where());
    EXPECT_EQ(Names(where.m_content), expected);
    EXPECT_TRUE(where.m_missing.empty());
    for (const CDataFolder& folder : where.m_dataFolders) EXPECT_TRUE(folder.m_exists) << folder.m_path;
}

}  // namespace
}  // namespace vantor::loadorder
