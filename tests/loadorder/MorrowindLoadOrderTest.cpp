#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fixtures/TempDir.h"
#include "loadorder/Kit.h"

namespace vantor::loadorder {

namespace {

using fixtures::CTempDir;
namespace fs = std::filesystem;

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

// A Morrowind.ini that is a FIFO would block the read for ever; one that is
// a folder reads as nothing.
TEST(MorrowindLoadOrder, ReadsOnlyARegularIni) {
    CTempDir root;
#ifndef _WIN32  // Windows has no FIFOs
    ASSERT_EQ(::mkfifo((root / "Morrowind.ini").c_str(), 0600), 0);
#endif
    fs::create_directories(root / "folder/Morrowind.ini");
    for (const char* game : {"", "folder"})
        EXPECT_TRUE(MorrowindLoadOrder({root / game, std::nullopt, {}})->ActivePlugins().empty()) << game;
}

}  // namespace
}  // namespace vantor::loadorder
