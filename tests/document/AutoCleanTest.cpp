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

    // Cancelled at the question about a backup that exists: every entry is
    // told as not deleted and stays, in the file and in the model.
    game.CGameFolder::Write("P.OLD", CPluginBuilder().Raw("older backup"));
    game.m_link.Clear();
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

    platform::RemoveFile(game.m_data + "P.OLD");
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

    // Report Dialog Text decides for the INFO copy; CELL and DIAL are never
    // cleaned.
    game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
    game.Clean();
    EXPECT_TRUE(game.Loaded().GetTable("INFO")->empty());
    EXPECT_EQ(game.Loaded().GetTable("CELL")->size(), 1u);
    EXPECT_EQ(game.Loaded().GetTable("DIAL")->size(), 1u);
}

TEST(EntryServices, DeleteAndUpdate) {
    // A backup that exists is asked about once per file: Cancel leaves the
    // plugin alone and is no error; keeping it serves every later change.
    CCleanGame game;
    game.Option([](COptionSet& o) { o.m_extractOpts.m_dialogText = 0; });
    game.Write(CCleanGame::Plugin(true));
    game.CGameFolder::Write("P.OLD", CPluginBuilder().Raw("older backup"));
    const std::string before = game.Read();
    game.Run(&CVANTORDoc::OnExtractData);
    CVANTORDoc& doc = *game.m_doc;

    const CEntryRef gone = game.Ref("MISC", "new");
    game.m_link.m_answers = {EAnswer::No};
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Delete Entry(s)?\n\nBackup(s) Saved with Extension \".OLD\"");
    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::Cancel};
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", false));
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "File Exists");
    EXPECT_EQ(game.Read(), before);

    game.m_link.m_answers = {EAnswer::No};
    EXPECT_TRUE(doc.DeleteEntry("P.esp", "MISC", "new", false));
    game.m_link.Clear();
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Entry Already Deleted or Missing.");
    EXPECT_FALSE(doc.DeleteEntry("Q.esp", "MISC", "new", false));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Filename not Found.");

    // Update after a delete still finds the record further on; only the
    // update itself is asked.
    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_TRUE(doc.UpdateEntry(game.Ref("MISC", "b"), {{"DATA", I32(99)}}));  // the data after the ID
    EXPECT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.Read(), CCleanGame::Plugin(true, 99, false).Bytes());
    EXPECT_EQ(game.Read("P.OLD"), "older backup");
    EXPECT_FALSE(doc.UpdateEntry(gone, {}));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Entry Deleted or Missing.");

    // Data that was not extracted is never rewritten; erasing needs none.
    const std::string updated = game.Read();
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_FALSE(doc.UpdateEntry(game.Ref("INFO", "1"), {{"DATA", std::string(12, '\1')}}));
    EXPECT_EQ(game.Read(), updated);
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Cannot Complete Request");
    EXPECT_TRUE(doc.DeleteEntry("P.esp", "INFO", "1", false));
    EXPECT_EQ(game.Read().find("INAM"), std::string::npos);
}

TEST(AutoClean, KeepsTheRightCopyOfAnIdHeldTwiceAndWhatUndoesANewerMaster) {
    // A changed copy first, then one identical to the master's: the clean
    // deletes the second and keeps the change. M.esm and the newer New.esm
    // both hold "a": the plugin's "a" is M's copy, which undoes New's change
    // and must survive the clean. A plugin inserts response 2 after or before
    // the master's response 1: 1 keeps its text but now links to 2, through
    // its next or its previous alone; cleaning it would cut the chain.
    CPluginBuilder twice, undoes, newer, after, before;
    twice.Header({"M.esm"}).Record("MISC", Misc("a", 7)).Record("MISC", Misc("a", 1));
    undoes.Header({"M.esm", "New.esm"}).Record("MISC", Misc("a", 1));
    newer.Header().Record("MISC", Misc("a", 9));
    after.Header({"M.esm"}).Record("DIAL", Greeting()).Record("INFO", Info("1", "", "2", "hello"));
    after.Record("INFO", Info("2", "1", "", "added"));
    before.Header({"M.esm"}).Record("DIAL", Greeting()).Record("INFO", Info("2", "", "1", "added"));
    before.Record("INFO", Info("1", "2", "", "hello"));
    const struct {
        const CPluginBuilder& m_plugin;
        bool m_newer;
        std::size_t m_unclean;
        std::string m_changes;  // the rows of View All Global Changes
        std::string m_kept;
    } cases[] = {
        {twice, false, 1, "Misc. Items Entry Modified from Esm|a|",
         CPluginBuilder().Header({"M.esm"}).Record("MISC", Misc("a", 7)).Bytes()},
        {undoes, true, 0, "Misc. Items Entry Modified from Esm|a|", undoes.Bytes()},
        {after, false, 0, "Dialog Text Modified from Esm|1|", after.Bytes()},
        {before, false, 0, "Dialog Text Modified from Esm|1|", before.Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_changes);
        CCleanGame game;
        game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
        if (c.m_newer) {
            const auto time = platform::LastWriteTime(game.m_data + "M.esm");
            ASSERT_TRUE(time);
            game.CGameFolder::Write("New.esm", newer, *time + 100);
        }
        game.Write(c.m_plugin);
        game.Run(&CVANTORDoc::OnCheckUnclean);
        EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->m_rows.size(), c.m_unclean);
        game.Run(&CVANTORDoc::OnViewAllGlobalChanges);
        const auto changes = game.m_doc->ResultTable(EPane::Editor);
        std::string rows;
        for (std::size_t r = 0; r < changes->RowCount(); ++r)
            rows += std::string(changes->Cell(r, 1)) + "|" + std::string(changes->Cell(r, 2)) + "|";
        EXPECT_EQ(rows, c.m_changes);
        game.Clean();
        EXPECT_EQ(game.Read(), c.m_kept);
    }
}
