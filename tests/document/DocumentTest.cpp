// The document driven through the scripted link: what the user would see.
#include <gtest/gtest.h>

#include "document/VANTORDoc.h"
#include "fixtures/GameFolder.h"
#include "fixtures/System.h"
#include "fixtures/TestOperation.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

using Names = std::vector<std::string>;
using CGame = CGameFolder;

// Runs a command to the worker's end; the link keeps every call.
void Do(CGame& game, void (CVANTORDoc::*command)()) {
    (game.m_doc.get()->*command)();
    game.m_doc->WaitForWorker();
}

Names FileNames(const std::vector<CPluginFile*>& files) {
    Names names;
    for (const CPluginFile* f : files) names.push_back(f->FileName());
    return names;
}

bool HasCallStartingWith(const CScriptedLink& link, const std::string& prefix) {
    const auto calls = link.Calls();
    return std::any_of(calls.begin(), calls.end(), [&](const std::string& c) { return c.starts_with(prefix); });
}

}  // namespace

TEST(Document, SingleVersusExtractionProgressAndOrder) {
    CGame game;
    game.Plugin("M.esp", {"m"});
    for (auto n : {"A.esp", "B.esp", "C.esp", "D.esp"}) game.Plugin(n, {n});
    CVANTORDoc& doc = game.Doc(false);
    doc.OnSingleVersus();
    game.ChooseMaster("M.esp");
    game.Choose({"A.esp", "B.esp", "C.esp"});
    EXPECT_EQ(doc.Tree().m_masterItems, Names{"M.esp"});
    EXPECT_EQ(doc.Tree().m_pluginItems, (Names{"A.esp", "B.esp", "C.esp"}));

    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnExtractData);
    EXPECT_EQ(game.m_link.ProgressTexts(),
              (Names{"Extracting Plugin Data 0% complete", "Extracting Plugin Data 25% complete",
                     "Extracting Plugin Data 50% complete", "Extracting Plugin Data 75% complete",
                     "Extracting Plugin Data 100% complete"}));
    auto calls = game.m_link.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0] + calls[1], "close-editors hide 0");
    EXPECT_EQ(calls.back(), "progress 0|Extracting Plugin Data 100% complete");
    EXPECT_EQ(doc.LoadedNames(), (Names{"C.esp", "B.esp", "A.esp", "M.esp"}));

    // A later batch stands first; the master plugin stays last and is the
    // first file the checks compare.
    game.Choose({"D.esp", "A.esp"});  // A is loaded already: skipped
    EXPECT_EQ(doc.PendingNames(), Names{"D.esp"});
    Do(game, &CVANTORDoc::OnExtractData);
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "C.esp", "B.esp", "A.esp", "M.esp"}));

    // A chosen master that is already a plugin is refused.
    game.m_link.Clear();
    game.ChooseMaster("A.esp");
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text,
              "Please Remove Chosen File from Plugin List Before Selecting it as a Master.");
    EXPECT_TRUE(doc.Tree().m_masterItems.empty());
    EXPECT_EQ(doc.LoadedNames().back(), "M.esp");

    // Remove of the master plugin and of a plugin.
    doc.OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Master, false, "M.esp"});
    EXPECT_EQ(doc.LoadedNames().back(), "A.esp");
    doc.OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Plugins, false, "C.esp"});
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "B.esp", "A.esp"}));
    EXPECT_EQ(FileNames(doc.Files().PluginFiles()), doc.LoadedNames());

    doc.OnFullCheck();
    EXPECT_FALSE(doc.Tree().m_hasMasterRoot);
    doc.OnSingleVersus();
    EXPECT_TRUE(doc.Tree().m_hasMasterRoot);
    EXPECT_TRUE(doc.Tree().m_masterItems.empty());
}

TEST(Document, MastersFoundOnceInCaseBlindOrderAndNeverTwice) {
    CGame game;
    for (auto n : {"b.esm", "A.esm", "C.ESM", "Chosen.esm", "P.esp"}) game.Plugin(n, {n});
    CVANTORDoc& doc = game.Doc();
    doc.OnSingleVersus();
    game.ChooseMaster("Chosen.esm");
    game.Choose({"P.esp"});
    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnExtractData);
    // The chosen master plugin is not also read as a found master; the
    // checks see the masters in the order they were read.
    EXPECT_EQ(doc.FoundMasterNames(), (Names{"C.ESM", "b.esm", "A.esm"}));
    EXPECT_EQ(FileNames(doc.Files().MasterFiles()), (Names{"A.esm", "b.esm", "C.ESM"}));
    auto texts = game.m_link.ProgressTexts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[1], "Extracting Master Esm Data 33% complete");
    EXPECT_EQ(texts[3], "Extracting Master Esm Data 100% complete");

    // Read once: the next extraction does not read them again.
    game.Plugin("Q.esp", {"q"});
    game.Choose({"Q.esp"});
    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnExtractData);
    for (const auto& t : game.m_link.ProgressTexts()) EXPECT_EQ(t.find("Master Esm"), std::string::npos) << t;

    // Nothing pending and masters loaded: Extract Data does nothing at all.
    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnExtractData);
    EXPECT_TRUE(game.m_link.Calls().empty());

    // Choosing a found master as a plugin takes it out of the masters.
    game.Choose({"b.esm"});
    EXPECT_EQ(doc.FoundMasterNames(), (Names{"C.ESM", "A.esm"}));
    EXPECT_EQ(FileNames(doc.Files().MasterFiles()), (Names{"A.esm", "C.ESM"}));
}

// A check after Clear Esm Data reads the masters it needs again; without
// them every Original File would be "None" and nothing unclean.
TEST(Document, MastersAreReadAgainAfterClearEsmData) {
    CGame game;
    game.Plugin("M.esm", {"x"});
    game.Plugin("P.esp", {"x"});  // identical to the master's: unclean
    CVANTORDoc& doc = game.Doc();
    game.Choose({"P.esp"});
    for (int round = 0; round < 2; ++round) {
        if (round) {
            doc.OnClearEsmData();
            EXPECT_TRUE(doc.Files().MasterFiles().empty());
        }
        Do(game, &CVANTORDoc::OnCheckUnclean);
        const auto warnings = doc.ResultTable(EPane::Warning);
        ASSERT_EQ(warnings->RowCount(), 1u) << "round " << round;
        EXPECT_EQ(warnings->Cell(0, 4), "M.esm");
    }
}

TEST(Document, CheckCommandsExtractFirstOnlyWhenSomethingIsPending) {
    CGame game;
    game.Plugin("A.esp", {"a", "-gone"});
    CVANTORDoc& doc = game.Doc(false);

    // Full Check with nothing chosen: nothing happens, nothing is shown.
    Do(game, &CVANTORDoc::OnCheckAll);
    EXPECT_TRUE(game.m_link.Calls().empty());

    // Single Versus without a master: refused with a message.
    doc.OnSingleVersus();
    Do(game, &CVANTORDoc::OnCheckConflicts);
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Select a Master Plugin for Single Versus Mode");

    doc.OnFullCheck();
    game.Choose({"A.esp"});
    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnCheckDeleted);
    EXPECT_TRUE(HasCallStartingWith(game.m_link, "progress 1|Extracting Plugin Data"));
    // Both panes are refilled, each shown only with rows.
    auto calls = game.m_link.Calls();
    std::erase_if(calls, [](const std::string& c) { return c.starts_with("progress") || c.starts_with("close"); });
    EXPECT_EQ(calls, (Names{"hide 0", "rows 1|0", "hide 1", "rows 2|1", "show 2"}));

    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnCheckConflicts);
    EXPECT_FALSE(HasCallStartingWith(game.m_link, "progress 1|Extracting"));
    EXPECT_TRUE(doc.ResultTable(EPane::Warning)->m_rows.empty());

    // An unknown code is reported and the worker still ends.
    game.m_link.Clear();
    ASSERT_TRUE(doc.StartOperation(42));
    doc.WaitForWorker();
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Operation Does Not Exist");
    EXPECT_FALSE(doc.IsBusy());
}

TEST(Document, ACommandIssuedWhileAnOperationRunsNeverChangesIt) {
    // The running operation holds at its first call; meanwhile the user
    // clicks other commands. It must run with what its own command chose:
    // Check All (mask 7) still reports the deleted entry, ReLink Dialog
    // still asks for the window. Choosing, removing and the mode wait too.
    CGame game;
    game.Plugin("A.esp", {"a", "-gone"});
    game.Plugin("B.esp", {"b"});
    CVANTORDoc& doc = game.Doc(false);
    game.Option([&](COptionSet& o) {
        o.m_defaultOps = kCheckConflicts;
        o.m_espFilename = "Repair.esp";
        o.m_espPath = game.m_data;
    });
    game.Choose({"A.esp"});
    auto interrupt = [&](void (CVANTORDoc::*running)(), const std::function<void()>& clicks) {
        game.m_link.Clear();
        game.m_link.HoldAt("hide 0");
        (doc.*running)();
        game.m_link.WaitUntilHeld();
        EXPECT_TRUE(doc.IsBusy());
        clicks();
        game.m_link.Release();
        doc.WaitForWorker();
        EXPECT_FALSE(doc.IsBusy());
    };
    interrupt(&CVANTORDoc::OnCheckAll, [&] {
        doc.OnCheckConflicts();
        doc.OnDefaultCheck();
        EXPECT_FALSE(doc.StartOperation(EOperation::Extract));
        game.Choose({"B.esp"});
        doc.OnSingleVersus();
        doc.OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Plugins, false, "A.esp"});
    });
    EXPECT_EQ(doc.ResultTable(EPane::Warning)->m_rows.size(), 1u);
    EXPECT_TRUE(game.m_link.Choosers().empty());
    EXPECT_EQ(doc.CheckMode(), ECheckMode::Full);
    EXPECT_EQ(doc.LoadedNames(), Names{"A.esp"});
    game.m_link.m_choices.clear();
    interrupt(&CVANTORDoc::OnRelinkDialog, [&] { doc.OnAutoRelinkDialog(); });
    EXPECT_TRUE(HasCallStartingWith(game.m_link, "repair-tool "));
}

TEST(Document, MissingAndDamagedFiles) {
    CGame game;
    game.Plugin("A.esp", {"a"});
    game.Plugin("B.esp", {"b"});
    CVANTORDoc& doc = game.Doc(false);
    game.Choose({"A.esp", "B.esp"});
    platform::RemoveFile(game.m_data + "A.esp");
    Do(game, &CVANTORDoc::OnExtractData);
    EXPECT_EQ(doc.LoadedNames(), Names{"B.esp"});
    EXPECT_TRUE(doc.PendingNames().empty());

    // A damaged file is told once, with where it is damaged.
    CPluginBuilder b;
    b.Header().Record("MISC", {Name("a"), Sub("DATA", I32(1))}).Record("MISC", {Name("b"), Sub("DATA", I32(2))});
    game.Write("Cut.esp", CPluginBuilder(b).Truncate(b.Size() - 3));
    game.Choose({"Cut.esp"});
    game.m_link.Clear();
    Do(game, &CVANTORDoc::OnCheckAll);
    Do(game, &CVANTORDoc::OnCheckAll);
    std::vector<CMessage> told;
    for (const CMessage& m : game.m_link.Messages())
        if (m.m_caption == "Warning") told.push_back(m);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].m_text.rfind("Cut.esp: record MISC at offset ", 0), 0u) << told[0].m_text;
}

TEST(Document, RunningOutOfMemoryEndsTheOperationWithAMessage) {
    // As does any other exception: the progress display closes, what was not
    // read stays chosen, and the document goes on.
    CGame game;
    game.Plugin("A.esp", {"a"});
    game.Plugin("B.esp", {"b"});
    CVANTORDoc& doc = game.Doc(false);
    game.Choose({"A.esp", "B.esp"});
    const auto readFailing = [&](std::function<void()> doThrow) {
        return [&, doThrow] {
            CFaultGuard guard([&](platform::EFileOp op, const std::string& path) {
                if (op == platform::EFileOp::Open && path.ends_with("B.esp")) doThrow();
                return false;
            });
            Do(game, &CVANTORDoc::OnCheckAll);
        };
    };
    // Out of memory, the files read so far are let go as well.
    const struct {
        std::function<void()> m_start;
        std::string m_text, m_caption;
        Names m_loaded;
    } cases[] = {
        {readFailing([] { throw std::bad_alloc(); }), "Not enough memory to read the plugins and masters.",
         "Critical Error", {}},
        {readFailing([] { throw std::runtime_error("boom"); }), "File Error", "Error", {"A.esp"}},
        {[&] {
             doc.StartOperation(CTestOperation::Make([](COperationContext& c) {
                 c.Progress("Searching... 0% complete", 3);
                 throw std::bad_alloc();
             }));
         },
         "Not enough memory to search the loaded files.", "Critical Error", {"A.esp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_text);
        game.m_link.Clear();
        c.m_start();
        doc.WaitForWorker();
        ASSERT_FALSE(game.m_link.Messages().empty());
        EXPECT_EQ(game.m_link.Messages().back().m_text, c.m_text);
        EXPECT_EQ(game.m_link.Messages().back().m_caption, c.m_caption);
        auto calls = game.m_link.Calls();
        std::erase_if(calls, [](const std::string& call) { return !call.starts_with("progress "); });
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().rfind("progress 0|", 0), 0u);
        EXPECT_FALSE(doc.IsBusy());
        EXPECT_EQ(doc.LoadedNames(), c.m_loaded);
        EXPECT_EQ(doc.PendingNames().back(), "B.esp");
    }
    Do(game, &CVANTORDoc::OnExtractData);
    EXPECT_EQ(doc.LoadedNames(), (Names{"B.esp", "A.esp"}));
}

TEST(Document, StoppingClosesTheProgressDisplay) {
    CGame game;
    CVANTORDoc& doc = game.Doc();
    std::atomic<bool> reported{false};
    ASSERT_TRUE(doc.StartOperation(CTestOperation::Make([&](COperationContext& context) {
        context.Progress("Checking Warnings 28% complete", 7);
        reported = true;
        while (!context.Stopped()) std::this_thread::yield();
    })));
    while (!reported) std::this_thread::yield();
    doc.OnClearEsmData();
    const auto calls = game.m_link.Calls();
    const auto shown = std::find(calls.begin(), calls.end(), "progress 7|Checking Warnings 28% complete");
    ASSERT_NE(shown, calls.end());
    EXPECT_NE(std::find(shown, calls.end(), "progress 0|"), calls.end());
}

TEST(Document, StopAndCloseDuringExtractionUnderLoad) {
    // Many start/stop cycles on a set large enough that stops land mid-read;
    // odd rounds destroy the document while the worker reads.
    CGame game;
    Names names, ids;
    for (int i = 0; i < 4000; ++i) ids.push_back("id" + std::to_string(i));
    for (int p = 0; p < 6; ++p) {
        names.push_back("P" + std::to_string(p) + ".esp");
        game.Plugin(names.back(), ids);
    }
    game.Plugin("Big.esm", Names(3000, "m"));
    for (int round = 0; round < 20; ++round) {
        CVANTORDoc& doc = game.Doc();
        game.Choose(names);
        game.m_link.Clear();
        doc.OnExtractData();
        // Each round stops after another number of files.
        while (game.m_link.ProgressTexts().size() < std::size_t(round % 7)) std::this_thread::yield();
        if (round % 2) continue;
        doc.OnNewCheck();  // waits, then frees
        EXPECT_FALSE(doc.IsBusy());
        EXPECT_TRUE(doc.LoadedNames().empty());
        EXPECT_FALSE(doc.Stopped());
    }
}
