// The automatic clean and the single-entry services, end to end on files.
#include <gtest/gtest.h>

#include "document/VANTORDoc.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

std::string Read(const std::string& path) {
    std::string out;
    platform::ReadWholeFile(path, out);
    return out;
}

std::vector<CSub> Misc(const std::string& id, int value) { return {Name(id), Sub("DATA", I32(value))}; }

struct CCleanGame {
    CTempDir m_dir;
    CScriptedLink m_link;
    std::string m_data = m_dir.Path() + "Data Files/";
    std::unique_ptr<CVANTORDoc> m_doc;

    CCleanGame() {
        fixtures::MakeFolder(m_data);
        CPluginBuilder master;
        master.Header()
            .Record("MISC", Misc("a", 1))
            .Record("MISC", Misc("b", 2))
            .Record("MISC", Misc("dup", 3))
            .Record("CELL", Cell("Vivec", 1, 0, 0, false, "refs"))
            .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
            .Record("INFO", Info("1", "", "", "hello"));
        EXPECT_TRUE(master.Write(m_data + "M.esm"));
        CDocConfig config;
        config.m_settingsPath = m_dir / "vantor.ini";
        config.m_installDir = m_dir.Path();
        m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
    }

    // The plugin: unclean a, changed b, two unclean copies of dup, a new
    // entry, and unclean CELL, DIAL and INFO records.
    static CPluginBuilder Plugin(bool withUnclean) {
        CPluginBuilder b;
        b.Header({"M.esm"});
        if (withUnclean) b.Record("MISC", Misc("a", 1));
        b.Record("MISC", Misc("b", 20));
        if (withUnclean) b.Record("MISC", Misc("dup", 3)).Record("MISC", Misc("dup", 3));
        b.Record("MISC", Misc("new", 5))
            .Record("CELL", Cell("Vivec", 1, 0, 0, false, "refs"))
            .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
            .Record("INFO", Info("1", "", "", "hello"));
        return b;
    }

    void Choose(const std::string& name) {
        m_link.m_choices.push_back({CFileChoice::EStatus::Chosen, {m_data + name}});
        m_doc->OnChoosePlugins();
    }
    CPluginFile& Loaded() const { return *m_doc->FindLoadedFile("P.esp", false); }
    // The n-th entry of that ID in P.esp.
    CEntryRef Ref(const char* tag, std::string_view id, int nth = 0) const {
        const int t = CPluginFile::TagIndex(tag);
        for (const auto& e : Loaded().Table(std::size_t(t)))
            if (e->IdText() == id && nth-- == 0) return {m_doc->FindLoadedFile("P.esp", false), e.get(), std::uint8_t(t)};
        return {};
    }
    template <class F>
    void Option(F&& change) {
        COptionSet options = m_doc->Options();
        change(options);
        m_doc->SetOptions(options);
    }
    void Run(void (CVANTORDoc::*command)()) {
        (m_doc.get()->*command)();
        m_doc->WaitForWorker();
    }
};

}  // namespace

TEST(AutoClean, DeletesExactlyTheUncleanEntriesAfterABackup) {
    CCleanGame game;
    ASSERT_TRUE(CCleanGame::Plugin(true).Write(game.m_data + "P.esp"));
    const std::string before = Read(game.m_data + "P.esp");
    auto mtime = platform::LastWriteTime(game.m_data + "P.esp");
    game.Choose("P.esp");
    game.Run(&CVANTORDoc::OnCheckUnclean);
    EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->m_rows.size(), 3u);

    // "No" changes nothing and the run sends no progress.
    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::No};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), before);
    EXPECT_TRUE(game.m_link.ProgressTexts().empty());
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "Auto Clean Plugins");
    EXPECT_EQ(game.m_link.Messages()[0].m_text.rfind("This Operation will Delete all Unclean Entries.\nWARNING:", 0), 0u);

    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::Yes};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), CCleanGame::Plugin(false).Bytes());
    EXPECT_EQ(Read(game.m_data + "P.OLD"), before);
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
    ASSERT_TRUE(CCleanGame::Plugin(false).Write(game.m_data + "P.esp"));
    game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
    game.Choose("P.esp");
    game.m_link.m_answers = {EAnswer::Yes};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_TRUE(game.Loaded().GetTable("INFO")->empty());
    EXPECT_EQ(game.Loaded().GetTable("CELL")->size(), 1u);  // never cleaned
    EXPECT_EQ(game.Loaded().GetTable("DIAL")->size(), 1u);
}

TEST(AutoClean, ExistingBackupCancelledLeavesThePluginAlone) {
    CCleanGame game;
    ASSERT_TRUE(CCleanGame::Plugin(true).Write(game.m_data + "P.esp"));
    ASSERT_TRUE(CPluginBuilder().Raw("older backup").Write(game.m_data + "P.OLD"));
    const std::string before = Read(game.m_data + "P.esp");
    game.Choose("P.esp");
    game.m_link.m_answers = {EAnswer::Yes, EAnswer::Cancel};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), before);
    EXPECT_EQ(Read(game.m_data + "P.OLD"), "older backup");
    auto messages = game.m_link.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[1].m_caption, "File Exists");
    EXPECT_EQ(messages[2].m_text, "P.esp - a Error Deleting Entry.");
    EXPECT_EQ(messages[4].m_text, "P.esp - dup Error Deleting Entry.");
    EXPECT_EQ(game.Loaded().GetTable("MISC")->size(), 5u);
}

TEST(EntryServices, DeleteAndUpdate) {
    CCleanGame game;
    ASSERT_TRUE(CCleanGame::Plugin(true).Write(game.m_data + "P.esp"));
    const std::string before = Read(game.m_data + "P.esp");
    game.Choose("P.esp");
    game.Run(&CVANTORDoc::OnExtractData);
    CVANTORDoc& doc = *game.m_doc;

    const CEntryRef gone = game.Ref("MISC", "new");
    game.m_link.m_answers = {EAnswer::No};
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    EXPECT_EQ(Read(game.m_data + "P.esp"), before);
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Delete Entry(s)?\n\nBackup(s) Saved with Extension \".OLD\"");

    EXPECT_TRUE(doc.DeleteEntry("P.esp", "MISC", "new", false));
    game.m_link.Clear();
    EXPECT_FALSE(doc.DeleteEntry("P.esp", "MISC", "new", true));
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Entry Already Deleted or Missing.");
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "VANTOR");
    EXPECT_FALSE(doc.DeleteEntry("Q.esp", "MISC", "new", false));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Filename not Found.");

    // Update after a delete still finds the record further on.
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_TRUE(doc.UpdateEntry(game.Ref("MISC", "b"), {{"DATA", I32(99)}}));  // the data after the ID
    CPluginBuilder expected;
    expected.Header({"M.esm"}).Record("MISC", Misc("a", 1)).Record("MISC", Misc("b", 99));
    expected.Record("MISC", Misc("dup", 3)).Record("MISC", Misc("dup", 3));
    expected.Record("CELL", Cell("Vivec", 1, 0, 0, false, "refs"))
        .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
        .Record("INFO", Info("1", "", "", "hello"));
    EXPECT_EQ(Read(game.m_data + "P.esp"), expected.Bytes());
    EXPECT_EQ(Read(game.m_data + "P.OLD"), before);  // one backup per file object
    EXPECT_FALSE(doc.UpdateEntry(gone, {}));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Entry Deleted or Missing.");
}

TEST(EntryServices, DataNotExtractedIsNeverRewritten) {
    CCleanGame game;
    ASSERT_TRUE(CCleanGame::Plugin(false).Write(game.m_data + "P.esp"));
    const std::string before = Read(game.m_data + "P.esp");
    game.Option([](COptionSet& o) { o.m_extractOpts.m_dialogText = 0; });
    game.Choose("P.esp");
    game.Run(&CVANTORDoc::OnExtractData);
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_FALSE(game.m_doc->UpdateEntry(game.Ref("INFO", "1"), {{"DATA", std::string(12, '\1')}}));
    EXPECT_EQ(Read(game.m_data + "P.esp"), before);
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Cannot Complete Request");
    // Erasing needs no data and still works.
    EXPECT_TRUE(game.m_doc->DeleteEntry("P.esp", "INFO", "1", false));
    EXPECT_EQ(Read(game.m_data + "P.esp").find("INAM"), std::string::npos);
}

TEST(AutoClean, ARelinkedResponseIsAChangeNotACopy) {
    // The plugin inserts response 2 after the master's response 1: response
    // 1 keeps its text but now links to 2. Cleaning it would cut the chain.
    CCleanGame game;
    CPluginBuilder plugin;
    plugin.Header({"M.esm"})
        .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
        .Record("INFO", Info("1", "", "2", "hello"))
        .Record("INFO", Info("2", "1", "", "added"));
    ASSERT_TRUE(plugin.Write(game.m_data + "P.esp"));
    game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
    game.Choose("P.esp");
    game.Run(&CVANTORDoc::OnCheckUnclean);
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
    game.Run(&CVANTORDoc::OnViewAllGlobalChanges);
    auto changes = game.m_doc->ResultTable(EPane::Editor);
    ASSERT_EQ(changes->RowCount(), 1u);
    EXPECT_EQ(changes->Cell(0, 2), "1");
    EXPECT_EQ(changes->Cell(0, 1), "Dialog Text Modified from Esm");
    game.m_link.m_answers = {EAnswer::Yes};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), plugin.Bytes());
}

TEST(AutoClean, DeletesTheUncleanCopyOfAnIdHeldTwice) {
    // A changed copy first, then one identical to the master's: the clean
    // deletes the second and keeps the change.
    CCleanGame game;
    CPluginBuilder plugin, kept;
    plugin.Header({"M.esm"}).Record("MISC", Misc("a", 7)).Record("MISC", Misc("a", 1));
    kept.Header({"M.esm"}).Record("MISC", Misc("a", 7));
    ASSERT_TRUE(plugin.Write(game.m_data + "P.esp"));
    game.Choose("P.esp");
    game.m_link.m_answers = {EAnswer::Yes};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), kept.Bytes());
}

TEST(AutoClean, KeepsAnEntryThatUndoesANewerMastersChange) {
    // M.esm and the newer New.esm both hold "a"; the plugin's "a" is M's
    // copy: it undoes New's change and must survive the clean.
    CCleanGame game;
    CPluginBuilder newer, plugin;
    newer.Header().Record("MISC", Misc("a", 9));
    ASSERT_TRUE(newer.Write(game.m_data + "New.esm"));
    const auto masterTime = platform::LastWriteTime(game.m_data + "M.esm");
    ASSERT_TRUE(masterTime);
    ASSERT_TRUE(fixtures::StampFile(game.m_data + "New.esm", *masterTime + 100));
    plugin.Header({"M.esm", "New.esm"}).Record("MISC", Misc("a", 1));
    ASSERT_TRUE(plugin.Write(game.m_data + "P.esp"));
    game.Choose("P.esp");
    game.m_link.m_answers = {EAnswer::Yes};
    game.Run(&CVANTORDoc::OnAutoDeleteUnclean);
    EXPECT_EQ(Read(game.m_data + "P.esp"), plugin.Bytes());
    EXPECT_EQ(game.Loaded().GetTable("MISC")->size(), 1u);
}
