// Widget-free rules of the front end: splitter states, code page, progress
// geometry, page counts, and which entries the Delete key and the editor act on.
#include <gtest/gtest.h>

#include <QLocale>

#include "EntryActions.h"
#include "OperationSummary.h"
#include "PaneLayout.h"
#include "QtFrameLink.h"
#include "document/VANTORDoc.h"
#include "fixtures/GameFolder.h"
#include "fixtures/TableMaker.h"
#include "widgets/Cp1252.h"
#include "widgets/GridPrinter.h"
#include "widgets/StatusPane.h"

namespace vantor {
namespace {

TEST(PaneLayout, HideAndShowSequences) {
    // Each step hides (h) or shows (s) a pane (0 all, 1 conflict, 2 warning,
    // 3 editor) and names the panes then on screen; the mask kept is that set.
    const std::vector<std::vector<std::string>> cases = {
        // Start-up hides everything; any one pane brings the right side back with just it.
        {"h0", "s1c", "s3ce", "s2cwe"},
        {"h0", "s3e"},
        {"h0", "s2w", "h2"},
        // Hiding warning and editor hides the lower part; the editor comes back alone.
        {"h2ce", "h3c", "s3ce"},
        // A splitter that already hides one pane keeps the other until its parent goes.
        {"h1we", "h2e", "h3", "s1c"},
        {"h1we", "h2e", "h3", "s3e", "s2we"},
        // Show all restores every pane whatever the splitters hid.
        {"h1we", "h3w", "s0cwe"},
        // Hiding a hidden pane or showing a shown one changes nothing.
        {"h2ce", "h2ce", "s1ce"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        CPaneLayout layout;
        for (const std::string& step : cases[i]) {
            SCOPED_TRACE("case " + std::to_string(i) + " step " + step);
            step[0] == 'h' ? layout.Hide(step[1] - '0') : layout.Show(step[1] - '0');
            std::string shown;
            unsigned mask = 0;
            for (int k = 1; k <= 3; ++k) {
                EXPECT_EQ(layout.Visible(k), layout.OnScreen(k)) << "pane " << k;
                if (!layout.OnScreen(k)) continue;
                shown += "cwe"[k - 1];
                mask |= 1u << (k - 1);
            }
            EXPECT_EQ(shown, step.substr(2));
            EXPECT_EQ(layout.Mask(), mask);
        }
    }
    // Hidden at start-up: the right column, S1's lower row (warning and
    // editor both gone) and S2's upper row; conflict and editor stay in theirs.
    CPaneLayout layout;
    layout.Hide(0);
    EXPECT_EQ(layout.Splitters(), (CPaneLayout::CSplitters{1, 1, 0}));
    layout.Show(0);
    EXPECT_EQ(layout.Splitters(), (CPaneLayout::CSplitters{}));
}

TEST(Widgets, CodePageFiltersPagesAndTheProgressBar) {
    EXPECT_EQ(DecodeCp1252("\x80\x92\x9F caf\xE9"), QStringLiteral("\u20AC\u2019\u0178 caf\u00E9"));
    EXPECT_EQ(EncodeCp1252(QStringLiteral("\u20AC\u0178 caf\u00E9")), "\x80\x9F caf\xE9");
    EXPECT_EQ(EncodeCp1252(QStringLiteral("\u2014 ok \u4E2D")), std::nullopt);
    // The file dialogs' filters, the printer's pages and the progress bar.
    EXPECT_EQ(QtNameFilter({"Plugin Files (*.esp)", "*.esp"}), QStringLiteral("Plugin Files (*.esp)"));
    EXPECT_EQ(QtNameFilter({"Plugins and Masters", "*.esp;*.esm"}),
              QStringLiteral("Plugins and Masters (*.esp *.esm)"));
    for (const auto& [rows, pages] : std::vector<std::pair<int, int>>{{0, 1}, {40, 1}, {41, 2}})
        EXPECT_EQ(PageCountFor(rows, 40), pages) << rows;
    // A text wider than the pane leaves the bar no room, never a negative width.
    EXPECT_EQ(ProgressBarRect(QRect(0, 0, 600, 20), 700, 5).width(), 0);
    // Put away while a question waits, back as it was after the answer.
    CStatusMessagePane pane;
    pane.Progress(QStringLiteral("Checking Cells 99% complete"), 3);
    pane.PauseProgress(true);
    EXPECT_TRUE(pane.Bar()->isHidden());
    EXPECT_EQ(pane.Text(), QStringLiteral("Waiting for an answer"));
    pane.PauseProgress(false);
    EXPECT_FALSE(pane.Bar()->isHidden());
    EXPECT_EQ(pane.Text(), QStringLiteral("Checking Cells 99% complete"));

    // Printed columns: spare room shared out; short of room the IDs and file
    // names keep theirs and the others narrow; only when those alone are too
    // wide is every column narrowed.
    const QList<bool> keep{true, false, true, true};
    EXPECT_EQ(FitColumnsToPage({100, 100, 100, 100}, keep, 800), (QList<int>{200, 200, 200, 200}));
    EXPECT_EQ(FitColumnsToPage({100, 400, 300, 300}, keep, 800), (QList<int>{100, 100, 300, 300}));
    EXPECT_EQ(FitColumnsToPage({400, 400, 400, 400}, keep, 800), (QList<int>{200, 200, 200, 200}));
    for (const char* whole : {"ID", "Name", "Overriding Esp File", "Original File"})
        EXPECT_TRUE(KeepColumnWhole(QString::fromLatin1(whole))) << whole;
    EXPECT_FALSE(KeepColumnWhole(QStringLiteral("Conflict")));
}

struct CDeleteRecorder {
    std::vector<std::string> m_calls;  // of the last run only
    std::set<std::string> m_fail;      // IDs whose deletion fails
    CDeleteEntryFn Fn() {
        m_calls.clear();
        return [this](const CEntryRef& e, bool ask) {
            const std::string id(e.m_entry->IdText());
            m_calls.push_back(e.m_file->FileName() + "|" + std::string(CPluginFile::kTags[e.m_table]) + "|" + id +
                              (ask ? "|ask" : ""));
            return !m_fail.count(id);
        };
    }
};

// Rows are taken last to first; only the first deletion asks, and the
// question repeats until one succeeds. A row showing a deleted entry goes
// too; one with the same ID in another file stays.
TEST(DeleteSelected, TakesEveryRowOfEachEntryFromTheRightColumn) {
    using enum EFinding;
    fixtures::CTableMaker maker;
    const CResultTable table =
        maker.Make(EPane::Warning, {{"GMST", "a", "One.esp", "", "M.esm", Unclean},
                                    {"GMST", "b", "One.esp", "", "M.esm", Unclean},
                                    {"MISC", "c", "Two.esp", "", "", Deleted},
                                    {"GMST", "a", "One.esp", "", "M.esm", Deleted},
                                    {"GMST", "a", "Two.esp", "", "M.esm", Unclean},
                                    {"MISC", "Hall", "One.esp", "", "M.esm", CellClean}});
    CDeleteRecorder rec, cleaned;
    std::vector<std::string> closed;
    auto close = [&](const std::string& title) { closed.push_back(title); };
    const std::set<std::pair<int, int>> three{{0, 3}, {1, 3}, {2, 3}};
    CDeleteOutcome out = DeleteSelectedEntries(EPane::Warning, table, three, rec.Fn(), close);
    EXPECT_EQ(rec.m_calls, (std::vector<std::string>{"Two.esp|MISC|c|ask", "One.esp|GMST|b", "One.esp|GMST|a"}));
    EXPECT_EQ(closed, (std::vector<std::string>{"Two.esp - c", "One.esp - b", "One.esp - a"}));
    EXPECT_EQ(out.m_deleted, 3);
    EXPECT_EQ(out.m_rows, (std::set<int>{0, 1, 2, 3}));
    rec.m_fail = {"c"};
    out = DeleteSelectedEntries(EPane::Editor, table, three, rec.Fn(), close);
    EXPECT_EQ(rec.m_calls, (std::vector<std::string>{"Two.esp|MISC|c|ask", "One.esp|GMST|b|ask", "One.esp|GMST|a"}));
    EXPECT_EQ(out.m_rows, (std::set<int>{0, 1, 3}));

    // A Clean Cells row stands for cleaning its entry: Delete on it cleans,
    // and without a way to clean does nothing; it never deletes the record.
    EXPECT_EQ(DeleteSelectedEntries(EPane::Warning, table, {{5, 3}, {1, 3}}, rec.Fn(), close).m_rows, std::set<int>{1});
    EXPECT_EQ(rec.m_calls, std::vector<std::string>{"One.esp|GMST|b|ask"});
    out = DeleteSelectedEntries(EPane::Warning, table, {{5, 3}}, rec.Fn(), close, cleaned.Fn());
    EXPECT_TRUE(rec.m_calls.empty());
    EXPECT_EQ(cleaned.m_calls, std::vector<std::string>{"One.esp|MISC|Hall|ask"});
    EXPECT_EQ(out.m_rows, std::set<int>{5});

    // In the conflict list New.esp's entry shows in column 3 of row 0 and
    // column 4 of row 1.
    const CResultTable conflicts =
        maker.Make(EPane::Conflict, {{"NPC_", "guard", "New.esp", "Old.esp", "M.esm", Conflict},
                                     {"NPC_", "guard", "Newer.esp", "New.esp", "M.esm", Conflict},
                                     {"NPC_", "guard", "Newer.esp", "Old.esp", "M.esm", Conflict}});
    out = DeleteSelectedEntries(EPane::Conflict, conflicts, {{0, 3}}, rec.Fn(), close);
    EXPECT_EQ(rec.m_calls, (std::vector<std::string>{"New.esp|NPC_|guard|ask"}));
    EXPECT_EQ(out.m_rows, (std::set<int>{0, 1}));
}

// A plugin holding the same ID twice: a changed copy first, then one
// identical to the master's. The unclean row is the second; Delete on the
// row and the editor opened from it act on that one, never on the first.
TEST(DuplicateIds, DeleteAndTheEditorActOnTheRowsOwnEntry) {
    using namespace fixtures;
    auto misc = [](int value) { return std::vector<CSub>{Name("x"), Sub("DATA", I32(value))}; };
    CPluginBuilder master, plugin, changedOnly;
    master.Header().Record("MISC", misc(1));
    plugin.Header({"M.esm"}).Record("MISC", misc(2)).Record("MISC", misc(1));
    changedOnly.Header({"M.esm"}).Record("MISC", misc(2));
    const std::string identical = SubBytes(misc(1)).substr(SubBytes({Name("x")}).size());

    for (const bool throughEditor : {false, true}) {
        CGameFolder game;
        game.Write("M.esm", master);
        game.Write("P.esp", plugin);
        CVANTORDoc& doc = game.Doc();
        game.Choose({"P.esp"});
        CCheckRequest unclean;
        unclean.m_checks = CCheckSet::Unclean();
        game.Run(unclean);
        const auto warnings = doc.ResultTable(EPane::Warning);
        ASSERT_EQ(warnings->RowCount(), 1u);
        game.m_link.m_answers = {EAnswer::Yes};
        if (throughEditor) {
            const auto request = ResolveDoubleClick(doc, EPane::Warning, *warnings, 0, 3);
            ASSERT_TRUE(request);
            EXPECT_EQ(request->m_data, identical);
            EXPECT_TRUE(doc.Run(CDeleteEntryRequest{request->m_entry, true}).Ok());
        } else {
            const CDeleteOutcome out = DeleteSelectedEntries(
                EPane::Warning, *warnings, {{0, 3}},
                [&](const CEntryRef& e, bool ask) { return doc.Run(CDeleteEntryRequest{e, ask}).Ok(); }, [](const std::string&) {});
            EXPECT_EQ(out.m_rows, std::set<int>{0});
        }
        EXPECT_EQ(game.Read("P.esp"), changedOnly.Bytes()) << (throughEditor ? "editor" : "row");
    }
}

// Stopped, refused and failed operations are never told as done.
TEST(OperationSummary, StopsAndFailuresAreToldAsSuch) {
    using E = CDialogMerge::EOutcome;
    auto outcome = [](CRequest request, bool stopped = false) {
        COutcome o;
        o.m_request = std::move(request);
        o.m_result = stopped ? EResult::Stopped : EResult::Done;
        return o;
    };
    auto relink = [&](E result) {
        COutcome o = outcome(CRelinkRequest{});
        o.m_relink = CRelinkResult{true, "Repair.esp", {}, 0, result, {}, 1, 2};
        return o;
    };
    auto clean = [&](std::size_t deleted, std::size_t failed, bool stopped) {
        COutcome o = outcome(CAutoCleanRequest{}, stopped);
        o.m_clean = CAutoCleanResult{true, deleted + failed, deleted, deleted ? 1u : 0u, failed};
        return o;
    };
    auto check = [&](bool stopped, std::optional<std::size_t> rows, CExtractionCount read, bool outOfMemory = false) {
        COutcome o = outcome(CCheckRequest{}, stopped);
        o.m_paneRows = {rows, rows, std::nullopt};
        o.m_extraction = read;
        if (outOfMemory) {
            o.m_result = EResult::Failed;
            o.m_reason = EReason::OutOfMemory;
            o.m_activity = EActivity::Checking;
        }
        return o;
    };
    // Masters that were not there to compare with are named beside what could not be read.
    COutcome unread = check(false, 0, {2, 0, 1, 0}), unloaded = check(false, 2, {});
    unread.m_masterCoverage = CMasterCoverage{{{"Tribunal.esm", {"A.esp"}}, {"Bloodmoon.esm", {"A.esp", "B.esp"}}}, true};
    unloaded.m_masterCoverage = CMasterCoverage{{{"Tribunal.esm", {"A.esp"}}}, false};
    COutcome extract = outcome(CReadRequest{}), cells = outcome(CCleanCellsRequest{});
    extract.m_extraction = CExtractionCount{};
    cells.m_cellClean.emplace().m_cells = 3;
    // What the sample set's runs come to (cancelled, written, stopped with
    // rows found) is in the window's operations transcript.
    const std::vector<std::pair<COutcome, std::string>> cases = {
        {relink(E::Stopped), "Dialog repair stopped: no repair plugin written"},
        {relink(E::WriteFailed), "Dialog repair failed: Repair.esp could not be written"},
        {relink(E::Refused), "Dialog repair failed: Repair.esp may not be written"},
        {clean(0, 0, false), "Auto clean: no unclean entries found"},
        {clean(2, 1, false), "Auto clean: 2 entries deleted from 1 plugin, 1 could not be deleted"},
        {clean(0, 0, true), "Auto clean stopped: 0 entries deleted from 0 plugins"},
        {check(false, 0, {2, 0, 1, 0}), "Check All: 0 conflicts, 0 warnings (1 file could not be read)"},
        {unread,
         "Check All: 0 conflicts, 0 warnings (1 file could not be read; no master was read: unclean entries and global "
         "changes could not be checked; masters not loaded: Tribunal.esm, Bloodmoon.esm)"},
        {unloaded, "Check All: 2 conflicts, 2 warnings (master not loaded: Tribunal.esm)"},
        {check(false, {}, {}, true),
         "Check All failed: not enough memory to check the plugins"},
        {extract, "Extract Data: nothing new to read"},
        {cells, "Clean Cells: 3 cells to clean, nothing changed"},
    };
    for (const auto& [o, text] : cases) EXPECT_EQ(OperationSummary(o), text);
    EXPECT_EQ(OperationSummary(check(false, 4, {}), "View File Data"), "Check All: 4 conflicts, 4 warnings");
    // Counts are grouped as the list captions group them.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(OperationSummary(check(false, 1234567, {})), "Check All: 1,234,567 conflicts, 1,234,567 warnings");
    QLocale::setDefault(saved);
}

}  // namespace
}  // namespace vantor
