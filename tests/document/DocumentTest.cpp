// The document driven through the scripted link: what the user sees, the
// automatic clean and single-entry services on files, and both load orders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "document/GameChoice.h"
#include "document/VANTORDoc.h"
#include "fixtures/Deadline.h"
#include "fixtures/GameFolder.h"
#include "fixtures/System.h"
#include "fixtures/TestOperation.h"
#include "document/Worker.h"
#include <thread>

using namespace vantor;
using namespace vantor::fixtures;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

Names Told(const CScriptedLink& link) {
    Names texts;
    for (const texts::CMessage& m : link.Messages()) texts.push_back(m.m_text);
    return texts;
}

// Whether the progress display was closed after it was last shown.
bool ProgressClosed(const CScriptedLink& link) {
    auto calls = link.Calls();
    std::erase_if(calls, [](const std::string& call) { return !call.starts_with("progress "); });
    return !calls.empty() && calls.back().starts_with("progress 0|");
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

CCheckRequest Check(CCheckSet checks) {
    CCheckRequest request;
    request.m_checks = checks;
    return request;
}

bool Delete(CVANTORDoc& doc, const std::string& file, const std::string& tag, const std::string& id, bool ask) {
    return doc.Run(CDeleteEntryRequest{doc.FindEntryRef(file, tag, id), ask}).Ok();
}
bool Update(CVANTORDoc& doc, const CEntryRef& entry, const CSubRecords& subs) {
    return doc.Run(CUpdateEntryRequest{entry, subs}).Ok();
}

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

    // Unclean a, changed b, two unclean dup, a new entry, unclean CELL, DIAL, INFO.
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
    // Answers Yes to the automatic clean.
    void Clean() {
        m_link.m_answers = {EAnswer::Yes};
        Run(CAutoCleanRequest{});
    }
};

enum class EMode { OpenMW, GameContentTimes, GameFileTimes };

// Two masters, two plugins, file times against content order; OpenMW keeps P2.esp in a second data folder.
struct CAgesGame : CGameFolder {
    std::string m_p2Folder;

    explicit CAgesGame(EMode mode) : m_p2Folder(mode == EMode::OpenMW ? m_dir.Path() + "Mods/Patch/" : m_data) {
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
        if (mode == EMode::OpenMW)
            config.m_loadOrder = MakeLoadOrder({CGameChoice::EGame::OpenMW, m_dir / "openmw.cfg"});
        m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
        m_doc->ChooseActivePlugins();
    }
};

std::string Texts(const CTablePtr& table) {
    std::string out;
    for (std::size_t r = 0; r < table->RowCount(); ++r)
        for (std::size_t c = 0; c < table->ColumnCount(); ++c) out += std::string(table->Cell(r, c)) + "|";
    return out + "\n";
}

// What a check, the dialogue merge and the automatic clean leave: rows, repair plugin, messages, files.
std::vector<std::string> Outcomes(EMode mode) {
    CAgesGame game(mode);
    std::vector<std::string> seen;
    game.Run(Check(CCheckSet::All()));
    seen.push_back(Texts(game.m_link.Pane(EPane::Conflict)) + Texts(game.m_link.Pane(EPane::Warning)));
    game.Option([&](COptionSet& o) {
        o.m_espFilename = "Repair.esp";
        o.m_espPath = game.m_dir.Path();
    });
    game.Run(CRelinkRequest{{}, true, {}});
    seen.push_back(ReadText(game.m_dir / "Repair.esp"));
    game.Run(CAutoCleanRequest{});
    std::string told;
    for (const texts::CMessage& m : game.m_link.Messages()) told += m.m_text + "\n";
    // Each plugin is cleaned where it was found, its backup beside it.
    EXPECT_TRUE(fs::exists(game.m_p2Folder + "P2.OLD"));
    seen.push_back(told + game.Read("P1.esp") + ReadText(game.m_p2Folder + "P2.esp"));
    return seen;
}

}  // namespace

TEST(Document, ChoosingReadingAndCheckingInBothModes) {
    CGameFolder game;
    for (auto n : {"M.esm", "A.esp", "B.esp", "C.esp", "b.esm", "A.esm", "C.ESM", "Gone.esp"}) game.Plugin(n, {n});
    game.Plugin("D.esp", {"d", "-gone"});
    CVANTORDoc& doc = game.Doc();

    // Nothing chosen: a check or a clean says so and starts nothing; Choose
    // Active Plugins says why it chose none; Single Versus without a master
    // is refused.
    const Names nothing{"No Plugins Chosen to Check: Choose Plugins or Choose Active Plugins First."};
    EXPECT_EQ(game.Run(Check(CCheckSet::All())), Names{"ask Cannot Continue|" + nothing[0]});
    EXPECT_EQ(Told(game.m_link), nothing);
    game.Run(CCleanCellsRequest{});
    EXPECT_EQ(Told(game.m_link), Names{"No Plugins Chosen to Clean: Choose Plugins or Choose Active Plugins First."});
    const std::string ini = std::get<loadorder::CMorrowindWhere>(doc.LoadOrder()->Where()).m_iniPath;
    game.m_link.Clear();
    doc.ChooseActivePlugins();
    EXPECT_EQ(Told(game.m_link), Names{"No Active Plugins: " + ini + " was not found."});
    std::ofstream(platform::FsPath(ini)) << "[Game Files]\r\nGameFile0=M.esm\r\n";
    game.m_link.Clear();
    doc.ChooseActivePlugins();
    EXPECT_EQ(Told(game.m_link), Names{"No Active Plugins: " + ini + " names none."});
#ifndef _WIN32  // Windows asks the registry, whatever the environment says
    doc.SetLoadOrder(loadorder::MorrowindLoadOrder(
        {std::nullopt, game.m_data, [](const std::string&) { return std::optional<std::string>(); }}));
    game.m_link.Clear();
    doc.ChooseActivePlugins();
    EXPECT_EQ(Told(game.m_link),
              Names{"No Active Plugins: the game's folder was not found, so there is no Morrowind.ini to read them from."});
#endif
    EXPECT_TRUE(doc.PendingNames().empty());
    doc.SetCheckMode(ECheckMode::SingleVersus);
    game.Run(Check(CCheckSet::Conflicts()));
    EXPECT_EQ(Told(game.m_link), Names{"Select a Master Plugin for Single Versus Mode"});
    game.ChooseMaster("M.esm");
    game.Choose({"A.esp", "B.esp", "C.esp"});

    game.Run(CReadRequest{});
    Names progress;  // three masters, then four plugins with the master plugin
    for (int p : {0, 33, 66, 100}) progress.push_back("Extracting Master Esm Data " + std::to_string(p) + "% complete");
    for (int p : {0, 25, 50, 75, 100}) progress.push_back("Extracting Plugin Data " + std::to_string(p) + "% complete");
    EXPECT_EQ(game.m_link.ProgressTexts(), progress);
    auto calls = game.m_link.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), "progress 0|Extracting Plugin Data 100% complete");
    EXPECT_EQ(doc.LoadedNames(), (Names{"C.esp", "B.esp", "A.esp", "M.esm"}));
    // The master plugin is not also a found master; checks see masters in reading order.
    EXPECT_EQ(doc.FoundMasterNames(), (Names{"C.ESM", "b.esm", "A.esm"}));
    EXPECT_EQ(FileNames(doc.Files().MasterFiles()), (Names{"A.esm", "b.esm", "C.ESM"}));

    // A later batch stands first, the master plugin last; masters are not read again.
    game.Choose({"D.esp", "A.esp"});  // A is loaded already: skipped
    EXPECT_EQ(doc.PendingNames(), Names{"D.esp"});
    game.Run(CReadRequest{});
    for (const auto& t : game.m_link.ProgressTexts()) EXPECT_EQ(t.find("Master Esm"), std::string::npos) << t;
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "C.esp", "B.esp", "A.esp", "M.esm"}));
    // Nothing pending and masters loaded: Extract Data does nothing at all.
    game.Run(CReadRequest{});
    EXPECT_TRUE(game.m_link.Calls().empty());

    // Choosing a found master as a plugin takes it out of the masters.
    game.Choose({"b.esm"});
    EXPECT_EQ(doc.FoundMasterNames(), (Names{"C.ESM", "A.esm"}));
    EXPECT_EQ(FileNames(doc.Files().MasterFiles()), (Names{"A.esm", "C.ESM"}));

    // A chosen master that is already a plugin is refused.
    game.ChooseMaster("A.esp");
    EXPECT_EQ(Told(game.m_link), Names{"Please Remove Chosen File from Plugin List Before Selecting it as a Master."});
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "C.esp", "B.esp", "A.esp", "M.esm"}));

    // Remove of the master plugin and of a plugin.
    doc.RemoveFile("M.esm");
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "C.esp", "B.esp", "A.esp"}));
    doc.RemoveFile("C.esp");
    EXPECT_EQ(doc.LoadedNames(), (Names{"D.esp", "B.esp", "A.esp"}));
    EXPECT_EQ(FileNames(doc.Files().PluginFiles()), doc.LoadedNames());

    // A check reads pending files first, skipping one gone; panes are shown only with rows.
    doc.SetCheckMode(ECheckMode::Full);
    game.Choose({"Gone.esp"});
    platform::RemoveFile(game.m_data + "Gone.esp");
    game.Run(Check(CCheckSet::Deleted()));
    EXPECT_TRUE(HasCallStartingWith(game.m_link, "progress 2|Extracting Plugin Data"));
    EXPECT_EQ(doc.LoadedNames(), (Names{"b.esm", "D.esp", "B.esp", "A.esp"}));
    EXPECT_TRUE(doc.PendingNames().empty());
    calls = game.m_link.Calls();
    std::erase_if(calls, [](const std::string& c) { return c.starts_with("progress"); });
    EXPECT_EQ(calls, (Names{"rows 1|0 shown by rows", "rows 2|1 shown by rows"}));

    game.Run(Check(CCheckSet::Conflicts()));
    for (const auto& t : game.m_link.ProgressTexts()) EXPECT_EQ(t.find("Extracting"), std::string::npos) << t;
    EXPECT_TRUE(doc.ResultTable(EPane::Warning)->m_rows.empty());

    // The default check runs the checks the settings name, and only those
    // (DefaultOps=0101: conflicts alone; D.esp's deleted entry is a warning).
    for (const CCheckSet checks : {CCheckSet::Conflicts(), CCheckSet::Deleted()}) {
        game.Option([&](COptionSet& o) { o.m_defaultOps = checks.Bits(); });
        game.Run(Check(doc.DefaultChecks()));
        EXPECT_EQ(doc.ResultTable(EPane::Warning)->m_rows.size(), checks.m_deleted ? 1u : 0u) << int(checks.Bits());
    }

    // A damaged file is told once, with where it is damaged; files that are
    // no plugin are named and left out, and the check goes on without them.
    game.Plugin("Cut.esp", {"a", "b"});
    fs::resize_file(game.m_data + "Cut.esp", fs::file_size(game.m_data + "Cut.esp") - 3);
    std::string random(3000, '\0');
    std::mt19937 rng(29);
    for (char& c : random) c = char(rng());
    game.Write("Broken.esp", CPluginBuilder().Raw(random));
    game.Write("Truncated.esp", CPluginBuilder().Raw(std::string("TES3\x2c\x01\0\0", 8)));
    game.Choose({"Broken.esp", "Cut.esp", "Truncated.esp"});
    game.Run(Check(CCheckSet::All()));
    Names told;
    for (const texts::CMessage& m : game.m_link.Messages()) told.push_back(m.m_caption + "|" + m.m_text);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0], "Error|Broken.esp: not a TES3 plugin or master: it does not begin with a TES3 header record");
    EXPECT_EQ(told[1].rfind("Warning|Cut.esp: record MISC at offset ", 0), 0u) << told[1];
    EXPECT_EQ(told[2], "Error|Truncated.esp: not a TES3 plugin or master: it ends inside its TES3 header record, after 8 bytes");
    EXPECT_EQ(doc.LoadedNames().front(), "Cut.esp");
    EXPECT_EQ(game.m_outcome.m_extraction->m_unreadable, 2u);
    game.Run(Check(CCheckSet::All()));
    EXPECT_TRUE(game.m_link.Messages().empty());
}



// A check after Clear Esm Data reads the masters again, or nothing is unclean.
TEST(Document, MastersAreReadAgainAfterClearEsmData) {
    CGameFolder game;
    game.Plugin("M.esm", {"x"});
    game.Plugin("P.esp", {"x"});  // identical to the master's: unclean
    CVANTORDoc& doc = game.Doc();
    game.Choose({"P.esp"});
    for (int round = 0; round < 2; ++round) {
        if (round) {
            doc.ClearMasters();
            EXPECT_TRUE(doc.Files().MasterFiles().empty());
        }
        game.Run(Check(CCheckSet::Unclean()));
        const auto warnings = doc.ResultTable(EPane::Warning);
        ASSERT_EQ(warnings->RowCount(), 1u) << "round " << round;
        EXPECT_EQ(warnings->Cell(0, 4), "M.esm");
    }
}

// The deleted row names the newest master holding the ID, as unclean and
// changed rows do; a check names the masters its plugins need that are not
// loaded, and says when no master was there for the unclean test.
TEST(Document, ChecksNameTheNewestMasterAndTheMastersNotLoaded) {
    CGameFolder game;
    const CPluginBuilder deletesWick = CPluginBuilder().Header().Record("MISC", {Name("Wick"), Dele()});
    game.Write("Old.esm", deletesWick, 1000000);
    game.Write("New.esm", CPluginBuilder().Header().Record("MISC", Misc("Wick", 1)), 1001000);
    CPluginBuilder p = CPluginBuilder().Header({"Old.esm", "New.esm", "Gone.esm", "GONE.esm"});
    game.Write("P.esp", p.Record("MISC", {Name("Wick"), Dele()}), 1002000);
    game.Write("Q.esp", CPluginBuilder().Header({"gone.esm", "P.esp", "Other.esp"}), 1003000);
    CVANTORDoc& doc = game.Doc();
    game.Choose({"P.esp", "Q.esp"});
    game.Run(Check(CCheckSet::All()));
    const auto warnings = doc.ResultTable(EPane::Warning);
    ASSERT_EQ(warnings->RowCount(), 1u);
    EXPECT_EQ(warnings->Cell(0, 4), "New.esm");
    const CMasterCoverage missing{{{"Gone.esm", {"P.esp", "Q.esp"}}, {"Other.esp", {"Q.esp"}}}, false};
    EXPECT_EQ(game.m_outcome.m_masterCoverage, missing);

    // Without masters: the deleted row names none, and the unclean test
    // (alone of the checks) could not be made.
    doc.ClearMasters();
    game.Option([](COptionSet& o) { o.m_loadEsms = 0; });
    const std::pair<CCheckSet, bool> checks[] = {{CCheckSet::All(), true}, {CCheckSet::Deleted(), false}};
    for (const auto& [command, noneRead] : checks) {
        game.Run(Check(command));
        const auto coverage = game.m_outcome.m_masterCoverage;
        ASSERT_TRUE(coverage.has_value());
        EXPECT_EQ(coverage->m_noneRead, noneRead);
        ASSERT_EQ(coverage->m_missing.size(), 4u);
        EXPECT_EQ(coverage->m_missing[0], (CMissingMaster{"Old.esm", {"P.esp"}}));
        EXPECT_EQ(doc.ResultTable(EPane::Warning)->Cell(0, 4), "None");
    }
}

TEST(Document, ACommandIssuedWhileAnOperationRunsNeverChangesIt) {
    // While the operation holds at its first call on the worker the user
    // clicks other commands; it runs as its own request chose: Check All
    // still reports the deleted entry, ReLink Dialog still asks for the window.
    CGameFolder game;
    game.Plugin("A.esp", {"a", "-gone"});
    game.Plugin("B.esp", {"b"});
    CVANTORDoc& doc = game.Doc(false);
    game.Option([&](COptionSet& o) {
        o.m_defaultOps = CCheckSet::Conflicts().Bits();
        o.m_espFilename = "Repair.esp";
        o.m_espPath = game.m_data;
    });
    game.Choose({"A.esp"});
    auto interrupt = [&](const CRequest& running, const std::string& firstCall, const std::function<void()>& clicks) {
        game.m_link.Clear();
        game.m_link.HoldAt(firstCall);
        CWorker worker;
        CVANTORDoc::CPrepared prepared = doc.Prepare(running);
        ASSERT_TRUE(prepared);
        auto operation = std::make_shared<std::unique_ptr<COperation>>(std::move(prepared.m_operation));
        ASSERT_TRUE(worker.Start([&, operation](const CStopToken& stop) { return doc.Execute(std::move(*operation), stop); }));
        ASSERT_TRUE(game.m_link.WaitUntilHeld()) << "the operation never came to its first call";
        EXPECT_TRUE(doc.IsBusy());
        EXPECT_FALSE(worker.Start([](const CStopToken&) { return COutcome{}; }));
        clicks();
        game.m_link.Release();
        EXPECT_TRUE(worker.Wait(kWaitLimit));
        EXPECT_FALSE(doc.IsBusy());
    };
    interrupt(Check(CCheckSet::All()), "progress 1|Extracting Plugin Data 0% complete", [&] {
        EXPECT_EQ(doc.Prepare(Check(CCheckSet::Conflicts())).m_refusal.m_reason, EReason::Busy);
        EXPECT_FALSE(doc.Prepare(CReadRequest{}));
        EXPECT_FALSE(doc.ChoosePlugins({game.m_data + "B.esp"}));
        EXPECT_FALSE(doc.SetCheckMode(ECheckMode::SingleVersus));
        EXPECT_EQ(doc.RemoveFile("A.esp"), CVANTORDoc::ERemoved::Nothing);
    });
    EXPECT_EQ(doc.ResultTable(EPane::Warning)->m_rows.size(), 1u);
    EXPECT_EQ(doc.CheckMode(), ECheckMode::Full);
    EXPECT_EQ(doc.LoadedNames(), Names{"A.esp"});
    interrupt(CRelinkRequest{}, "repair-tool " + game.m_data + "|Repair.esp",
              [&] { EXPECT_FALSE(doc.Prepare(CRelinkRequest{{}, true, {}})); });
    EXPECT_TRUE(HasCallStartingWith(game.m_link, "repair-tool "));

    // A hold that nothing reaches in time fails the wait and lets a late call pass.
    game.m_link.HoldAt("rows 1");
    EXPECT_FALSE(game.m_link.WaitUntilHeld(std::chrono::milliseconds(1)));
    game.Run(Check(CCheckSet::Conflicts()));
    EXPECT_FALSE(doc.IsBusy());
}

TEST(Document, RunningOutOfMemoryEndsTheOperationWithAMessage) {
    // As any other exception: the progress closes, what was not read stays
    // chosen; out of memory, what was read is let go too.
    CGameFolder game;
    game.Plugin("A.esp", {"a"});
    game.Plugin("B.esp", {"b"});
    CVANTORDoc& doc = game.Doc(false);
    game.Choose({"A.esp", "B.esp"});
    for (const bool outOfMemory : {true, false}) {
        CFaultGuard guard([&](platform::EFileOp op, const std::string& path) {
            if (op != platform::EFileOp::Open || !path.ends_with("B.esp")) return false;
            if (outOfMemory) throw std::bad_alloc();
            throw std::runtime_error("boom");
        });
        game.Run(Check(CCheckSet::All()));
        const auto told = game.m_link.Messages();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].m_text, outOfMemory ? "Not enough memory to read the plugins and masters." : "File Error");
        EXPECT_EQ(told[0].m_caption, outOfMemory ? "Critical Error" : "Error");
        EXPECT_TRUE(ProgressClosed(game.m_link));
        EXPECT_EQ(doc.LoadedNames(), outOfMemory ? Names{} : Names{"A.esp"});
        EXPECT_EQ(doc.PendingNames(), (outOfMemory ? Names{"A.esp", "B.esp"} : Names{"B.esp"}));
    }
    game.m_link.Clear();
    const COutcome failed = doc.Execute(CTestOperation::Make([](COperationContext& c) {
        c.Progress("Searching... 0% complete", 3);
        throw std::bad_alloc();
    }), {});
    EXPECT_EQ(failed.m_result, EResult::Failed);
    EXPECT_EQ(failed.m_reason, EReason::OutOfMemory);
    ASSERT_EQ(Told(game.m_link), Names{"Not enough memory to search the loaded files."});
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Critical Error");
    EXPECT_TRUE(ProgressClosed(game.m_link));
    EXPECT_FALSE(doc.IsBusy());
    game.Run(CReadRequest{});
    EXPECT_EQ(doc.LoadedNames(), (Names{"B.esp", "A.esp"}));
}

TEST(Document, StoppingEndsTheRunAndKeepsWhatWasRead) {
    // A stop ends a test operation where it waits for one; a stop of the
    // reading after another number of files each round leaves the files not
    // yet read chosen; odd rounds destroy the worker and the document while
    // they read.
    CGameFolder game;
    Names names, ids;
    for (int i = 0; i < 4000; ++i) ids.push_back("id" + std::to_string(i));
    for (int p = 0; p < 6; ++p) {
        names.push_back("P" + std::to_string(p) + ".esp");
        game.Plugin(names.back(), ids);
    }
    game.Plugin("Big.esm", Names(3000, "m"));
    CVANTORDoc& doc = game.Doc();
    CStopSource stop;
    std::thread stopper([&] {
        EXPECT_TRUE(SpinUntil([&] { return !game.m_link.ProgressTexts().empty(); })) << "the operation never reported";
        stop.RequestStop();
    });
    const COutcome stopped = doc.Execute(CTestOperation::Make([&](COperationContext& context) {
        context.Progress("Checking Warnings 28% complete", 7);
        EXPECT_TRUE(SpinUntil([&] { return context.Stopped(); })) << "the operation was never stopped";
    }), stop.Token());
    stopper.join();
    EXPECT_EQ(stopped.m_result, EResult::Stopped);

    for (int round = 0; round < 20; ++round) {
        CVANTORDoc& reading = game.Doc();
        game.Choose(names);
        game.m_link.Clear();
        CWorker worker;
        CVANTORDoc::CPrepared prepared = reading.Prepare(CReadRequest{});
        ASSERT_TRUE(prepared);
        auto operation = std::make_shared<std::unique_ptr<COperation>>(std::move(prepared.m_operation));
        worker.Start([&reading, operation](const CStopToken& token) { return reading.Execute(std::move(*operation), token); });
        ASSERT_TRUE(SpinUntil([&] { return game.m_link.ProgressTexts().size() >= std::size_t(round % 7); }))
            << "round " << round << ": the reading never told its progress";
        if (round % 2) continue;
        worker.RequestStop();
        ASSERT_TRUE(worker.Wait(kWaitLimit)) << "round " << round;
        EXPECT_FALSE(reading.IsBusy());
        EXPECT_EQ(reading.LoadedNames().size() + reading.PendingNames().size(), names.size() + 0u) << "round " << round;
        reading.NewCheck();
        EXPECT_TRUE(reading.LoadedNames().empty());
    }
}

TEST(AutoClean, DeletesExactlyTheUncleanEntriesAfterABackup) {
    CCleanGame game;
    game.Write(CCleanGame::Plugin(true));
    const std::string before = game.Read();
    game.Run(Check(CCheckSet::Unclean()));
    EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->m_rows.size(), 3u);

    // Cancelled at the existing backup: every entry is told as not deleted and stays.
    game.CGameFolder::Write("P.OLD", CPluginBuilder().Raw("older backup"));
    game.m_link.m_answers = {EAnswer::Yes, EAnswer::Cancel};
    game.Run(CAutoCleanRequest{});
    EXPECT_EQ(game.Read(), before);
    EXPECT_EQ(game.Read("P.OLD"), "older backup");
    auto messages = game.m_link.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[1].m_caption, "File Exists");
    EXPECT_EQ(messages[2].m_text, "P.esp - a Error Deleting Entry.");
    EXPECT_EQ(messages[4].m_text, "P.esp - dup Error Deleting Entry.");
    EXPECT_EQ(game.Loaded().GetTable("MISC")->size(), 5u);

    platform::RemoveFile(game.m_data + "P.OLD");
    game.Clean();
    EXPECT_EQ(game.Read(), CCleanGame::Plugin(false).Bytes());
    EXPECT_EQ(game.Read("P.OLD"), before);
    // The outcome names each entry deleted, with the plugin's backup.
    ASSERT_EQ(game.m_outcome.m_changed.size(), 1u);
    const CFileChange& change = game.m_outcome.m_changed[0];
    EXPECT_EQ(fixtures::Native(change.m_backup), fixtures::Native(game.m_data + "P.OLD"));
    std::string deleted;
    for (const CEntryName& e : change.m_changed) deleted += e.m_file + ":" + e.m_tag + ":" + e.m_id + " ";
    EXPECT_EQ(deleted, "P.esp:MISC:a P.esp:MISC:dup P.esp:MISC:dup ");
    const Names told = Told(game.m_link);  // only the confirmation
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("This Operation will Delete all Unclean Entries.\nWARNING:", 0), 0u);
    auto texts = game.m_link.ProgressTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Auto-Deleting 66% complete");
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Conflict)->m_rows.empty());

    // The model follows the file: a second check finds nothing to clean.
    game.Run(Check(CCheckSet::Unclean()));
    EXPECT_TRUE(game.m_doc->ResultTable(EPane::Warning)->m_rows.empty());
    EXPECT_EQ(game.Loaded().RemovedEntries().size(), 3u);

    // Report Dialog Text decides for the INFO copy; CELL and DIAL are never cleaned.
    game.Option([](COptionSet& o) { o.m_uncleanChecks[kInfoCheck] = 1; });
    game.Clean();
    EXPECT_TRUE(game.Loaded().GetTable("INFO")->empty());
    EXPECT_EQ(game.Loaded().GetTable("CELL")->size(), 1u);
    EXPECT_EQ(game.Loaded().GetTable("DIAL")->size(), 1u);
}

TEST(EntryServices, DeleteAndUpdate) {
    // An existing backup is asked about once per file: Cancel changes nothing, keeping it serves later.
    CCleanGame game;
    game.Option([](COptionSet& o) { o.m_extractOpts.m_dialogText = 0; });
    game.Write(CCleanGame::Plugin(true));
    game.CGameFolder::Write("P.OLD", CPluginBuilder().Raw("older backup"));
    const std::string before = game.Read();
    game.Run(CReadRequest{});
    CVANTORDoc& doc = *game.m_doc;

    const CEntryRef gone = game.Ref("MISC", "new");
    game.m_link.m_answers = {EAnswer::Yes, EAnswer::Cancel};
    EXPECT_FALSE(Delete(doc, "P.esp", "MISC", "new", true));
    const auto asked = game.m_link.Messages();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].m_text, "Delete Entry(s)?\n\nMISC new in P.esp\n\nBackup(s) Saved with Extension \".OLD\"");
    EXPECT_EQ(asked[1].m_caption, "File Exists");
    EXPECT_EQ(game.Read(), before);

    game.m_link.m_answers = {EAnswer::No};
    EXPECT_TRUE(Delete(doc, "P.esp", "MISC", "new", false));
    game.m_link.Clear();
    EXPECT_FALSE(Delete(doc, "P.esp", "MISC", "new", true));
    EXPECT_FALSE(Delete(doc, "Q.esp", "MISC", "new", false));
    EXPECT_EQ(Told(game.m_link), (Names{"Entry Already Deleted or Missing.", "Filename not Found."}));

    // Update after a delete still finds the record; only the update is asked.
    game.m_link.Clear();
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_TRUE(Update(doc, game.Ref("MISC", "b"), {{"DATA", I32(99)}}));  // the data after the ID
    EXPECT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.Read(), CCleanGame::Plugin(true, 99, false).Bytes());
    EXPECT_EQ(game.Read("P.OLD"), "older backup");
    EXPECT_FALSE(Update(doc, gone, {}));
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Entry Deleted or Missing.");

    // Data that was not extracted is never rewritten; erasing needs none.
    const std::string updated = game.Read();
    game.m_link.m_answers = {EAnswer::Yes};
    EXPECT_FALSE(Update(doc, game.Ref("INFO", "1"), {{"DATA", std::string(12, '\1')}}));
    EXPECT_EQ(game.Read(), updated);
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Cannot Complete Request");
    EXPECT_TRUE(Delete(doc, "P.esp", "INFO", "1", false));
    EXPECT_EQ(game.Read().find("INAM"), std::string::npos);
}

TEST(AutoClean, KeepsTheRightCopyOfAnIdHeldTwiceAndWhatUndoesANewerMaster) {
    // A changed copy then an identical one: the second goes. The plugin's "a" is
    // M's copy undoing the newer New.esm's change: it stays. Response 1 keeps its
    // text but links to an inserted 2 by NNAM or PNAM alone: cleaning it would cut the chain.
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
        game.Run(Check(CCheckSet::Unclean()));
        EXPECT_EQ(game.m_doc->ResultTable(EPane::Warning)->m_rows.size(), c.m_unclean);
        game.Run(CGlobalChangesRequest{});
        const auto changes = game.m_doc->ResultTable(EPane::Editor);
        std::string rows;
        for (std::size_t r = 0; r < changes->RowCount(); ++r)
            rows += std::string(changes->Cell(r, 1)) + "|" + std::string(changes->Cell(r, 2)) + "|";
        EXPECT_EQ(rows, c.m_changes);
        game.Clean();
        EXPECT_EQ(game.Read(), c.m_kept);
    }
}

TEST(LoadOrderAges, OpenMWContentOrderDecidesAsTheGameFileTimesDo) {
    // Unclean only against the newest master holding it: m1, A's copy, is
    // unclean where A is newer and undoes B's change where B is.
    const auto openmw = Outcomes(EMode::OpenMW), byTimes = Outcomes(EMode::GameFileTimes);
    EXPECT_EQ(openmw, Outcomes(EMode::GameContentTimes));
    ASSERT_EQ(openmw.size(), byTimes.size());
    for (std::size_t i = 0; i < openmw.size(); ++i) EXPECT_NE(openmw[i], byTimes[i]) << "outcome " << i;
}

TEST(LoadOrderAges, ANewLoadOrderWaitsForNewCheckAndBringsItsOwnMasters) {
    CAgesGame game(EMode::OpenMW);
    game.m_doc->ChooseActivePlugins();  // again: nothing is chosen twice
    EXPECT_EQ(game.m_doc->PendingNames(), (std::vector<std::string>{"P1.esp", "P2.esp"}));
    EXPECT_EQ(game.m_doc->Files().Of(EFileRole::Pending).back()->m_folder, fixtures::Native(game.m_dir.Path() + "Mods/Patch/"));
    ASSERT_TRUE(game.m_doc->FindMasters());
    game.m_doc->SetLoadOrder(MakeLoadOrder({}, game.m_dir.Path()));
    EXPECT_TRUE(IsOpenMW(*game.m_doc->LoadOrder()));
    game.m_doc->NewCheck();
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
    for (const CGameChoice& choice : {CGameChoice{CGameChoice::EGame::Morrowind, ""},
                                      CGameChoice{CGameChoice::EGame::OpenMW, "/games/openmw.cfg"}}) {
        ASSERT_TRUE(choice.Save(settings));
        EXPECT_EQ(CGameChoice::Load(settings), choice);
    }
    EXPECT_EQ(ReadText(settings),
              "[General]\r\nLoadEsms=0\r\n\r\n[Game]\r\nGame=OpenMW\r\nOpenMWConfig=/games/openmw.cfg\r\n");

    // The game's folder set in the window is where its load order looks.
    const CGameChoice set{CGameChoice::EGame::Morrowind, "", home.Path() + "game"};
    ASSERT_TRUE(set.Save(settings));
    EXPECT_EQ(CGameChoice::Load(settings), set);
    const loadorder::CWhere where = MakeLoadOrder(set)->Where();
    EXPECT_EQ(std::get<loadorder::CMorrowindWhere>(where).m_installDir, set.m_installDir);
}
