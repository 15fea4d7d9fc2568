// Clean Cells through the document on a generated load order: what is
// listed and asked, and what is written, backed up and kept on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "CellKit.h"
#include "MkData.h"
#include "document/VANTORDoc.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::cells;
using namespace vantor::cells::testing;
namespace fs = std::filesystem;

namespace {

mkdata::CBenchOptions SmallSet() {
    mkdata::CBenchOptions opts;
    opts.m_masterMegabytes = 3;
    opts.m_plugins = 3;
    opts.m_seed = 5;
    return opts;
}

std::string Bytes(const std::string& path) {
    std::string bytes;
    return platform::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

std::int64_t WriteTime(const std::string& path) {
    const auto times = platform::GetFileTimes(path);
    return times ? times->m_writeSec : -1;
}

struct CGame {
    mkdata::CTemporarySet m_set{SmallSet()};
    std::string m_data = m_set.Folder() + "/Data Files/";
    std::vector<std::string> m_plugins;              // every plugin, "Plain.esp" last: nothing to clean in it
    std::map<std::string, std::string> m_before, m_after;  // bytes by name; after: as cleaning must leave them
    std::map<std::string, CPluginCells> m_expected;
    std::vector<std::unique_ptr<CPluginFile>> m_read;  // the copies m_expected points into
    std::size_t m_cells = 0;
    fixtures::CScriptedLink m_link;
    std::unique_ptr<CVANTORDoc> m_doc;

    CGame() {
        EXPECT_TRUE(m_set.Written().m_ok) << m_set.Written().m_error;
        fixtures::CPluginBuilder plain;
        plain.Header({"Bench.esm"}).Record("MISC", {fixtures::Name("plain_thing"), fixtures::Sub("DATA", fixtures::I32(1))});
        EXPECT_TRUE(plain.Write(m_data + "Plain.esp"));
        for (const auto& path : m_set.Written().m_files)
            if (fs::path(path).extension() == ".esp") m_plugins.push_back(platform::FileNameOf(path));
        m_plugins.push_back("Plain.esp");

        // What cleaning must do, judged on copies read apart from the document.
        const auto master = Load(m_data, "Bench.esm");
        const CCellCleaner cleaner({master.get()});
        for (const auto& name : m_plugins) {
            m_before[name] = Bytes(m_data + name);
            m_read.push_back(Load(m_data, name));
            m_expected[name] = cleaner.Analyse(*m_read.back());
            m_after[name] = Apply(m_before[name], m_expected[name]);
            m_cells += m_expected[name].m_cells.size();
        }

        CDocConfig config;
        config.m_settingsPath = m_set.Folder() + "/vantor.ini";
        config.m_installDir = m_set.Folder();
        m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
        COptionSet options = m_doc->Options();
        options.m_loadEsms = 1;
        m_doc->SetOptions(options);
        std::vector<std::string> paths;
        for (const auto& name : m_plugins) paths.push_back(m_data + name);
        m_link.m_choices.push_back({CFileChoice::EStatus::Chosen, paths});
        m_doc->OnChoosePlugins();
    }

    void CleanCells(std::deque<EAnswer> answers, bool listOnly = false) {
        m_link.Clear();
        m_link.m_answers = std::move(answers);
        m_doc->OnCleanCells(listOnly);
        m_doc->WaitForWorker();
    }
    std::vector<std::string> Questions() const {
        std::vector<std::string> asked;
        for (const CMessage& m : m_link.Messages()) asked.push_back(m.m_caption + "|" + m.m_text);
        return asked;
    }
    void ExpectUnchanged() const {
        for (const auto& name : m_plugins) {
            EXPECT_EQ(Bytes(m_data + name), m_before.at(name)) << name;
            EXPECT_FALSE(fs::exists(m_data + fs::path(name).stem().string() + ".OLD")) << name;
        }
    }
};

}  // namespace

TEST(CleanCells, ListsAsksAndCleansEachPluginAfterItsBackup) {
    CGame game;
    ASSERT_GT(game.m_cells, 20u);
    std::map<std::string, std::int64_t> times;
    for (const auto& name : game.m_plugins) times[name] = WriteTime(game.m_data + name);

    // Listed only: nothing asked, nothing written.
    game.CleanCells({}, true);
    EXPECT_TRUE(game.Questions().empty());
    game.ExpectUnchanged();

    // Listed, asked, declined: the rows stay for Delete, the files as they were.
    game.CleanCells({EAnswer::No});
    game.ExpectUnchanged();
    const auto listed = game.m_doc->ResultTable(EPane::Warning);
    ASSERT_EQ(listed->RowCount(), game.m_cells);
    for (std::size_t row = 0; row < listed->RowCount(); ++row) {
        const std::string name(listed->Cell(row, 3));
        auto& cells = game.m_expected[name].m_cells;
        auto cell = std::find_if(cells.begin(), cells.end(), [&](const CCellClean& c) {
            return c.m_entry && c.m_entry->IdText() == listed->Cell(row, 2);
        });
        ASSERT_NE(cell, cells.end()) << name << " " << listed->Cell(row, 2);
        EXPECT_EQ(listed->Cell(row, 4), "Bench.esm");
        const std::string text(listed->Cell(row, 1));
        EXPECT_EQ(text.find(std::to_string(cell->m_duplicates) + " Duplicate Reference") != std::string::npos,
                  cell->m_duplicates > 0)
            << text;
        EXPECT_EQ(text.find("Junk Cell") != std::string::npos, cell->m_junk) << text;
        EXPECT_EQ(text.find("Ambient Light") != std::string::npos, cell->m_redundantAmbient) << text;
        cell->m_entry = nullptr;  // each cell is listed once
    }
    const auto asked = game.Questions();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].starts_with("Clean Cells|This Operation will Clean " + std::to_string(game.m_cells) +
                                     " Cells in 3 Plugins:"))
        << asked[0];

    // Agreed: each plugin is exactly its cleaned self, with its times, its
    // backup holds the old bytes, and it reads back with nothing left to clean.
    game.CleanCells({EAnswer::Yes});
    const auto master = Load(game.m_data, "Bench.esm");
    const CCellCleaner cleaner({master.get()});
    for (const auto& name : game.m_plugins) {
        SCOPED_TRACE(name);
        const std::string path = game.m_data + name, backup = game.m_data + fs::path(name).stem().string() + ".OLD";
        EXPECT_EQ(Bytes(path), game.m_after[name]);
        EXPECT_EQ(WriteTime(path), times[name]);
        const auto cleaned = Load(game.m_data, name);
        ASSERT_TRUE(cleaned);
        EXPECT_EQ(cleaned->Diagnostic().m_message, "");
        EXPECT_TRUE(cleaner.Analyse(*cleaned).m_cells.empty());
        if (game.m_expected[name].m_cells.empty()) {
            EXPECT_FALSE(fs::exists(backup));
        } else {
            EXPECT_EQ(Bytes(backup), game.m_before[name]);
        }
    }
    EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->RowCount(), 0u);
    const auto outcome = game.m_doc->LastOutcome().m_cellClean;
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->m_confirmed);
    EXPECT_EQ(outcome->m_cleaned, game.m_cells);
    EXPECT_EQ(outcome->m_failed, 0u);

    // Once more: nothing to clean, nothing asked, nothing written.
    game.CleanCells({EAnswer::Yes});
    EXPECT_EQ(game.Questions(), std::vector<std::string>{"Not Found|No Cells to Clean.\n"});
    for (const auto& name : game.m_plugins) EXPECT_EQ(Bytes(game.m_data + name), game.m_after[name]) << name;
}
