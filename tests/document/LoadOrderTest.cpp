// The document on both load orders: which file is newer decides the rows of
// a check, what the automatic clean deletes and what the dialogue merge
// keeps, and OpenMW's content list decides it where the game's file times do.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "document/GameChoice.h"
#include "fixtures/GameFolder.h"
#include "fixtures/System.h"

using namespace vantor;
using namespace vantor::fixtures;
namespace fs = std::filesystem;

namespace {

enum class EMode { OpenMW, GameContentTimes, GameFileTimes };

std::vector<CSub> Misc(const std::string& id, int value) { return {Name(id), Sub("DATA", I32(value))}; }

std::string Read(const std::string& path) {
    std::string bytes;
    return platform::ReadWholeFile(path, bytes) ? bytes : "(none)";
}

// Two masters and two plugins whose file times run against their content
// order. In OpenMW's load order P2.esp lies in a second data folder.
struct CGame : CGameFolder {
    std::string m_p2Folder;

    explicit CGame(EMode mode) : m_p2Folder(mode == EMode::OpenMW ? m_dir.Path() + "Mods/Patch/" : m_data) {
        fs::create_directories(m_p2Folder);
        const std::vector<CSub> dial = {Name("T"), Sub("DATA", std::string(1, '\0'))};
        CPluginBuilder a, b, p1, p2;
        a.Header().Record("MISC", Misc("m1", 1)).Record("MISC", Misc("m2", 7));
        b.Header().Record("MISC", Misc("m1", 2)).Record("MISC", Misc("m2", 7));
        // m1 is A's, m2 both masters': each unclean against a different master.
        p1.Header({"A.esm", "B.esm"})
            .Record("MISC", Misc("m1", 1))
            .Record("MISC", Misc("m2", 7))
            .Record("WEAP", Misc("w", 1))
            .Record("DIAL", dial)
            .Record("INFO", Info("i", "", "", "from P1"));
        p2.Header({"A.esm", "B.esm"})
            .Record("MISC", Misc("m2", 7))
            .Record("WEAP", Misc("w", 2))
            .Record("DIAL", dial)
            .Record("INFO", Info("i", "", "", "from P2"));
        const std::pair<std::string, const CPluginBuilder*> files[] = {
            {m_data + "A.esm", &a}, {m_data + "B.esm", &b}, {m_data + "P1.esp", &p1}, {m_p2Folder + "P2.esp", &p2}};
        for (std::int64_t i = 0; i < 4; ++i) {
            EXPECT_TRUE(files[i].second->Write(files[i].first));
            EXPECT_TRUE(StampFile(files[i].first, 1000000 + 1000 * (mode == EMode::GameContentTimes ? i : 4 - i)));
        }
        std::ofstream(m_dir / "Morrowind.ini") << "[Game Files]\r\nGameFile0=A.esm\r\nGameFile1=B.esm\r\n"
                                                  "GameFile2=P1.esp\r\nGameFile3=P2.esp\r\n";
        std::ofstream(m_dir / "openmw.cfg") << "data=\"Data Files\"\ndata=\"Mods/Patch\"\ncontent=A.esm\n"
                                               "content=B.esm\ncontent=P1.esp\ncontent=P2.esp\n";
        CDocConfig config;
        config.m_settingsPath = m_dir / "vantor.ini";
        config.m_installDir = m_dir.Path();
        if (mode == EMode::OpenMW) config.m_loadOrder = MakeLoadOrder({CGameChoice::EGame::OpenMW, m_dir / "openmw.cfg"});
        m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
        m_doc->OnChooseActivePlugins();
    }
};

std::string Texts(const CTablePtr& table) {
    std::string out;
    for (std::size_t r = 0; r < table->RowCount(); ++r)
        for (std::size_t c = 0; c < table->ColumnCount(); ++c) out += std::string(table->Cell(r, c)) + "|";
    return out + "\n";
}

// What a check, the dialogue merge and the automatic clean, in turn, leave
// for the user to see: rows, the repair plugin, messages and files.
std::vector<std::string> Outcomes(EMode mode) {
    CGame game(mode);
    std::vector<std::string> seen;
    game.Run([](CVANTORDoc& doc) { doc.OnCheckAll(); });
    seen.push_back(Texts(game.m_link.Pane(EPane::Conflict)) + Texts(game.m_link.Pane(EPane::Warning)));
    game.Option([&](COptionSet& o) {
        o.m_espFilename = "Repair.esp";
        o.m_espPath = game.m_dir.Path();
    });
    game.Run([](CVANTORDoc& doc) { doc.OnAutoRelinkDialog(); });
    seen.push_back(Read(game.m_dir / "Repair.esp"));
    game.Run([](CVANTORDoc& doc) { doc.OnAutoDeleteUnclean(); });
    std::string told;
    for (const CMessage& m : game.m_link.Messages()) told += m.m_text + "\n";
    // Each plugin is cleaned where it was found, its backup beside it.
    EXPECT_TRUE(fs::exists(game.m_p2Folder + "P2.OLD"));
    seen.push_back(told + game.Read("P1.esp") + Read(game.m_p2Folder + "P2.esp"));
    return seen;
}

TEST(LoadOrderAges, OpenMWContentOrderDecidesAsTheGameFileTimesDo) {
    // An entry is unclean only against the newest master that holds it, so
    // what the clean deletes depends on age as the check does: m1, A's copy,
    // is unclean where A is newer and undoes B's change where B is.
    const auto openmw = Outcomes(EMode::OpenMW), byTimes = Outcomes(EMode::GameFileTimes);
    EXPECT_EQ(openmw, Outcomes(EMode::GameContentTimes));
    ASSERT_EQ(openmw.size(), byTimes.size());
    for (std::size_t i = 0; i < openmw.size(); ++i) EXPECT_NE(openmw[i], byTimes[i]) << "outcome " << i;
}

TEST(LoadOrderAges, ANewLoadOrderWaitsForNewCheckAndBringsItsOwnMasters) {
    CGame game(EMode::OpenMW);
    EXPECT_EQ(game.m_doc->PendingNames(), (std::vector<std::string>{"P1.esp", "P2.esp"}));
    EXPECT_EQ(game.m_doc->Tree().m_folders.at("P2.esp"), fixtures::Native(game.m_dir.Path() + "Mods/Patch/"));
    ASSERT_TRUE(game.m_doc->FindMasters());
    game.m_doc->SetLoadOrder(MakeLoadOrder({}, game.m_dir.Path()));
    EXPECT_TRUE(IsOpenMW(*game.m_doc->LoadOrder()));
    game.m_doc->OnNewCheck();
    EXPECT_FALSE(IsOpenMW(*game.m_doc->LoadOrder()));
    EXPECT_TRUE(game.m_doc->FoundMasterNames().empty());
    EXPECT_EQ(game.m_doc->DataDir(), fixtures::Native(game.m_dir.Path() + "Data Files/"));
}

TEST(GameChoice, FirstStartPrefersOpenMWOnlyWithoutTheGameAndKeepsTheChoice) {
    CTempDir home;
    fs::create_directories(home / ".config/openmw");
    const bool globalConfig = fs::exists("/etc/openmw/openmw.cfg");
    const struct {
        bool m_userConfig, m_game;
        CGameChoice::EGame m_expected;
    } cases[] = {
        {true, false, CGameChoice::EGame::OpenMW},
        {true, true, CGameChoice::EGame::Morrowind},
        {false, false, globalConfig ? CGameChoice::EGame::OpenMW : CGameChoice::EGame::Morrowind},
    };
    for (const auto& c : cases) {
        if (c.m_userConfig) std::ofstream(home / ".config/openmw/openmw.cfg") << "content=Morrowind.esm\n";
        else fs::remove(home / ".config/openmw/openmw.cfg");
        const platform::CEnvLookup env = [&](const std::string& name) -> std::optional<std::string> {
            if (name == "HOME") return home.Path();
            if (name == platform::kInstallDirVariable && c.m_game) return home.Path();
            return std::nullopt;
        };
        EXPECT_EQ(FirstStartChoice(env).m_game, c.m_expected) << c.m_userConfig << c.m_game;
    }

    // Kept in a section of its own; the file's other lines stay.
    const std::string settings = home / "vantor.ini";
    std::ofstream(settings) << "[General]\r\nLoadEsms=0\r\n";
    EXPECT_FALSE(CGameChoice::Load(settings));
    const CGameChoice openmw{CGameChoice::EGame::OpenMW, "/games/openmw.cfg"};
    ASSERT_TRUE(openmw.Save(settings));
    EXPECT_EQ(CGameChoice::Load(settings), openmw);
    EXPECT_EQ(Read(settings), "[General]\r\nLoadEsms=0\r\n\r\n[Game]\r\nGame=OpenMW\r\nOpenMWConfig=/games/openmw.cfg\r\n");
}

}  // namespace
