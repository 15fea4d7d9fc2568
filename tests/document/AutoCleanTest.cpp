// The automatic clean and the single-entry services, end to end on files.
#include <gtest/gtest.h>

#include "fixtures/GameFolder.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

std::vector<CSub> Misc(const std::string& id, int value) { return {Name(id), Sub("DATA", I32(value))}; }
std::vector<CSub> Greeting() { return {Name("Greeting"), Sub("DATA", std::string(1, '\0'))}; }

// M.esm beside the plugin under test, P.esp.
struct CCleanGame : CGameFolder {
    CCleanGame() {
        CPluginBuilder master;
        master.Header()
            .Record("MISC", Misc("a", 1))
            .Record("MISC", Misc("b", 2))
            .Record("MISC", Misc("dup", 3))
            .Record("CELL", Cell("Vivec", 1, 0, 0, false, "refs"))
            .Record("DIAL", Greeting())
            .Record("INFO", Info("1", "", "", "hello"));
        CGameFolder::Write("M.esm", master);
        Doc(true);
    }

    // The plugin: unclean a, changed b, two unclean copies of dup, a new
    // entry, and unclean CELL, DIAL and INFO records.
    static CPluginBuilder Plugin(bool withUnclean, int b = 20, bool withNew = true) {
        CPluginBuilder p;
        p.Header({"M.esm"});
        if (withUnclean) p.Record("MISC", Misc("a", 1));
        p.Record("MISC", Misc("b", b));
        if (withUnclean) p.Record("MISC", Misc("dup", 3)).Record("MISC", Misc("dup", 3));
        if (withNew) p.Record("MISC", Misc("new", 5));
        return p.Record("CELL", Cell("Vivec", 1, 0, 0, false, "refs"))
            .Record("DIAL", Greeting())
            .Record("INFO", Info("1", "", "", "hello"));
    }
    // Writes P.esp and chooses it.
    void Write(const CPluginBuilder& plugin) {
        CGameFolder::Write("P.esp", plugin);
        Choose({"P.esp"});
    }
    std::string Read(const std::string& name = "P.esp") const { return CGameFolder::Read(name); }
    CPluginFile& Loaded() const { return CGameFolder::Loaded("P.esp"); }
    // The first entry of that ID in P.esp.
    CEntryRef Ref(const char* tag, std::string_view id) const {
        const int t = CPluginFile::TagIndex(tag);
        for (const auto& e : Loaded().Table(std::size_t(t)))
            if (e->IdText() == id) return {m_doc->FindLoadedFile("P.esp", false), e.get(), std::uint8_t(t)};
        return {};
    }
    void Run(void (CVANTORDoc::*command)()) {
        (m_doc.get()->*command)();
        m_doc->WaitForWorker();
    }
    // Answers Yes to the automatic clean.
    void Clean() {
        m_link.m_answers = {EAnswer::Yes};
        Run(&CVANTORDoc::OnAutoDeleteUnclean);
    }
};

}  // namespace

TEST(AutoClean, DeletesExactlyTheUncleanEntriesAfterABackup) {
    CCleanGame game;
    game.Write(CCleanGame::Plugin(true));
    const std::string before = game.Read();
    auto mtime = platform::LastWriteTime(game.m_data + "P.esp");
    game.Run(&CVANTORDoc::OnCheckUnclean);
    EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->m_rows.size(), 3u);

    // "No" changes nothing and the run sends no progress.
    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::No};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(game.Read(), before);
    EXPECT_TRUE(game.m_link.ProgressTexts().empty());
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text.rfind("This Operation will Delete all Unclean Entries.\nWARNING:", 0), 0u);

    game.m_link.Clear();
    game.Clean();
    EXPECT_EQ(game.Read(), CCleanGame::Plugin(false).Bytes());
    EXPECT_EQ(game.Read("P.OLD"), before);
    EXPECT_EQ(platform::LastWriteTime(game.m_data + "P.esp"), mtime);
    EXPECT_EQ(game.m_link.Messages().size(), 1u);  // only the confirmation
    auto texts = game.m_link.ProgressTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Auto-Deleting 66% complete");
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Conflict)->m_rows.empty());

    // The model follows the file: a second check finds nothing to clean.
    game.Run(&CVANTORDoc::OnCheckUnclean);
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
    EXPECT_EQ(game.Loaded().RemovedEntries().size(), 3u);
}

TEST(AutoClean, ReportDialogTextDecidesForInfo) {
    CCleanGame game;
    game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
    game.Write(CCleanGame::Plugin(false));
    game.Clean();
    EXPECT_TRUE(game.Loaded().GetTable("INFO")->empty());
    EXPECT_EQ(game.Loaded().GetTable("CELL")->size(), 1u);  // never cleaned
    EXPECT_EQ(game.Loaded().GetTable("DIAL")->size(), 1u);
}

TEST(AutoClean, ExistingBackupCancelledLeavesThePluginAlone) {
    CCleanGame game;
    game.Write(CCleanGame::Plugin(true));
    game.CGameFolder::Write("P.OLD", CPluginBuilder().Raw("older backup"));
    const std::string before = game.Read();
    game.m_link.m_answers = {EAnswer::Yes, EAnswer::Cancel};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(game.Read(), before);
    EXPECT_EQ(game.Read("P.OLD"), "older backup");
    auto messages = game.m_link.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[1].m_caption, "File Exists");
    EXPECT_EQ(messages[2].m_text, "P.esp - a Error Deleting Entry.");
    EXPECT_EQ(messages[4].m_text, "P.esp - dup Error Deleting Entry.");
    EXPECT_EQ(game.Loaded().GetTable("MISC")->size(), 5u);
}

TEST(EntryServices, DeleteAndUpdate) {
    CCleanGame game;
    game.Write(CCleanGame::Plugin(true));
    const std::string before = game.Read();
    game.Run(&CVANTORDoc::OnExtractData);
    CVANTORDoc& doc = *game.m_doc;

    const CEntryRef gone = game.Ref("MISC", "new");
    game.m_link.m_answers = {EAnswer::No};
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    EXPECT_EQ(game.Read(), before);
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Delete Entry(s)?\n\nBackup(s) Saved with Extension \".OLD\"");

    EXPECT_TRUE(doc.DeleteEntry("P.esp", "MISC", "new", false));
    game.m_link.Clear();
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Entry Already Deleted or Missing.");
    EXPECT_FALSE(doc.DeleteEntry("Q.esp", "MISC", "new", false));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Filename not Found.");

    // Update after a delete still finds the record further on.
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_TRUE(doc.UpdateEntry(game.Ref("MISC", "b"), {{"DATA", I32(99)}}));  // the data after the ID
    EXPECT_EQ(game.Read(), CCleanGame::Plugin(true, 99, false).Bytes());
    EXPECT_EQ(game.Read("P.OLD"), before);  // one backup per file object
    EXPECT_FALSE(doc.UpdateEntry(gone, {}));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Entry Deleted or Missing.");
}

TEST(EntryServices, DataNotExtractedIsNeverRewritten) {
    CCleanGame game;
    game.Option([](COptionSet& o) { o.m_extractOpts.m_dialogText = 0; });
    game.Write(CCleanGame::Plugin(false));
    const std::string before = game.Read();
    game.Run(&CVANTORDoc::OnExtractData);
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_FALSE(game.m_doc->UpdateEntry(game.Ref("INFO", "1"), {{"DATA", std::string(12, '\1')}}));
    EXPECT_EQ(game.Read(), before);
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Cannot Complete Request");
    // Erasing needs no data and still works.
    EXPECT_TRUE(game.m_doc->DeleteEntry("P.esp", "INFO", "1", false));
    EXPECT_EQ(game.Read().find("INAM"), std::string::npos);
}

TEST(AutoClean, ARelinkedResponseIsAChangeNotACopy) {
    // The plugin inserts response 2 after or before the master's response 1:
    // 1 keeps its text but now links to 2, through its next or its previous
    // alone. Cleaning it would cut the chain.
    const std::vector<std::vector<CSub>> inserts[] = {
        {Info("1", "", "2", "hello"), Info("2", "1", "", "added")},
        {Info("2", "", "1", "added"), Info("1", "2", "", "hello")},
    };
    for (const auto& infos : inserts) {
        CCleanGame game;
        CPluginBuilder plugin;
        plugin.Header({"M.esm"}).Record("DIAL", Greeting()).Record("INFO", infos[0]).Record("INFO", infos[1]);
        game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
        game.Write(plugin);
        game.Run(&CVANTORDoc::OnCheckUnclean);
        EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
        game.Run(&CVANTORDoc::OnViewAllGlobalChanges);
        auto changes = game.m_doc->ResultTable(EPane::Editor);
        ASSERT_EQ(changes->RowCount(), 1u);
        EXPECT_EQ(changes->Cell(0, 2), "1");
        EXPECT_EQ(changes->Cell(0, 1), "Dialog Text Modified from Esm");
        game.Clean();
        EXPECT_EQ(game.Read(), plugin.Bytes());
    }
}

TEST(AutoClean, KeepsTheRightCopyOfAnIdHeldTwiceAndWhatUndoesANewerMaster) {
    // A changed copy first, then one identical to the master's: the clean
    // deletes the second and keeps the change. M.esm and the newer New.esm
    // both hold "a": the plugin's "a" is M's copy, which undoes New's change
    // and must survive the clean.
    CPluginBuilder twice, undoes, newer;
    twice.Header({"M.esm"}).Record("MISC", Misc("a", 7)).Record("MISC", Misc("a", 1));
    undoes.Header({"M.esm", "New.esm"}).Record("MISC", Misc("a", 1));
    newer.Header().Record("MISC", Misc("a", 9));
    const struct {
        const CPluginBuilder& m_plugin;
        bool m_newer;
        std::string m_kept;
    } cases[] = {
        {twice, false, CPluginBuilder().Header({"M.esm"}).Record("MISC", Misc("a", 7)).Bytes()},
        {undoes, true, undoes.Bytes()},
    };
    for (const auto& c : cases) {
        CCleanGame game;
        if (c.m_newer) {
            const auto time = platform::LastWriteTime(game.m_data + "M.esm");
            ASSERT_TRUE(time);
            game.CGameFolder::Write("New.esm", newer, *time + 100);
        }
        game.Write(c.m_plugin);
        game.Clean();
        EXPECT_EQ(game.Read(), c.m_kept);
    }
}
