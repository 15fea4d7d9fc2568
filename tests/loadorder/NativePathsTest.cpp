// The load orders from folders written the way the system writes them: on
// Windows a drive letter and backslashes, in Morrowind.ini's folder and in
// openmw.cfg's data lines alike.
#include <gtest/gtest.h>

#include <cctype>

#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "loadorder/Kit.h"
#include "platform/Files.h"

namespace vantor::loadorder {

namespace {

std::vector<std::string> Names(const std::vector<CGameFile>& files) {
    std::vector<std::string> names;
    for (const CGameFile& f : files) {
        EXPECT_TRUE(platform::ResolvePath(f.m_folder + f.m_name)) << f.m_folder << f.m_name;
        names.push_back(f.m_name);
    }
    return names;
}

TEST(NativePaths, GameFolderAndConfigurationLinesWithTheSystemsSeparators) {
    fixtures::CTempDir root;
    const std::string game = fixtures::Native(root.Path() + "Game");
    for (const char* name : {"/Data Files/Base.esm", "/Data Files/Mod.esp"}) Write(game + name, "TES3");
    Write(game + "/Morrowind.ini", "[Game Files]\r\nGameFile0=Base.esm\r\nGameFile1=MOD.ESP\r\n");

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
