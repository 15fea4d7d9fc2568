// The real main frame driven through its commands on the sample set.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QKeyEvent>
#include <QStatusTipEvent>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FrameFixture.h"
#include "fixtures/TestOperation.h"
#include "LeftView.h"
#include "UiText.h"
#include "format/PluginFile.h"
#include "platform/Files.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;

// Menus (with keys, prompts and greyed items) and the toolbar as lines of text.
std::string CommandsText(CMainFrame& f) {
    std::string out;
    auto line = [&](QAction* a) {
        if (a->isSeparator()) return out += "  -\n", void();
        out += "  " + a->text().toStdString();
        for (const QKeySequence& k : a->shortcuts()) out += " [" + k.toString().toStdString() + "]";
        if (!a->statusTip().isEmpty()) out += " | " + a->statusTip().toStdString();
        out += a->isEnabled() ? "\n" : " (greyed)\n";
    };
    for (QAction* m : f.menuBar()->actions()) {
        out += m->text().toStdString() + "\n";
        for (QAction* a : m->menu()->actions()) line(a);
    }
    out += "Status bar\n";
    for (QLabel* l : f.Indicators()) out += "  " + l->text().toStdString() + "\n";
    out += "Toolbar\n";
    for (QAction* a : f.ToolBar()->actions()) out += a->isSeparator() ? "  -\n" : "  " + a->toolTip().toStdString() + "\n";
    return out;
}

// The panes shown and the toggles pressed, as "cw-/cw-".
std::string PaneState(CMainFrame& f) {
    const std::pair<EPane, C::ECommand> panes[] = {
        {EPane::Conflict, C::kToggleConflict}, {EPane::Warning, C::kToggleWarning}, {EPane::Editor, C::kToggleEditor}};
    std::string shown, pressed;
    for (int i = 0; i < 3; ++i) {
        shown += f.PaneShown(panes[i].first) ? "cwe"[i] : '-';
        pressed += f.Action(panes[i].second)->isChecked() ? "cwe"[i] : '-';
    }
    return shown + "/" + pressed;
}

void SelectCells(CResultView& view, const std::vector<std::pair<int, int>>& cells) {
    view.clearSelection();
    for (const auto& [r, c] : cells)
        view.selectionModel()->select(view.model()->index(r, c), QItemSelectionModel::Select);
    if (!cells.empty())
        view.selectionModel()->setCurrentIndex(view.model()->index(cells.back().first, cells.back().second),
                                               QItemSelectionModel::NoUpdate);
}

void ReleaseKey(QWidget& w, int key) {
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
}

TEST(MainFrame, StartShowsOnlyTheTreeWithTheExactMenus) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Vantorscope"));
    EXPECT_TRUE(f.Tree()->isVisible());
    EXPECT_EQ(PaneState(f), "---/---");
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Ready"));
    EXPECT_TRUE(f.actions().contains(f.Action(C::kDefaultCheck)));
    // Enable is 0 by default: the relink items and their separator are gone.
    std::string commands = CommandsText(f);
    CFrameFixture relink("[DialogRepair]\r\nEnable=0100000001\r\n");
    const std::string all = CommandsText(relink.Frame());
    const std::size_t from = all.find("&Operations\n");
    commands += "With Enable=0100000001\n" + all.substr(from, all.find("&Help\n") - from);
    ExpectGolden("commands.txt", commands);

    // A prompt shows in the message pane while a command is pointed at.
    QStatusTipEvent tip(f.Action(C::kCheckConflicts)->statusTip());
    QApplication::sendEvent(&f, &tip);
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Checks for Entry Conflicts"));
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(&f, &none);
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Ready"));
}

TEST(MainFrame, CheckFillsAndShowsTheConflictAndWarningLists) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_title, "Select Files");
    EXPECT_EQ(fx.m_choosers[0].m_startFolder, fx.DataDir());
    ASSERT_EQ(f.Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(f.Tree()->topLevelItem(0)->text(0), QStringLiteral("Plugin Files"));
    EXPECT_EQ(f.Tree()->topLevelItem(0)->childCount(), 3);

    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(PaneState(f), "cw-/cw-");
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);

    // What the document keeps is what the panes show.
    EXPECT_EQ(&f.View(EPane::Conflict)->Model().Table(), fx.Doc().ResultTable(EPane::Conflict).get());
    // Copy takes the rectangle of the selection, unselected cells empty.
    SelectCells(*f.View(EPane::Conflict), {{0, 0}, {1, 2}});
    EXPECT_EQ(f.ActiveList(), f.View(EPane::Conflict));
    EXPECT_EQ(f.View(EPane::Conflict)->SelectedText(), QStringLiteral("NPC_\t\t\n\t\tsample_iron_sword\n"));

    // Toggles: a pressed button hides its pane, a released one shows it.
    f.Action(C::kToggleWarning)->trigger();
    EXPECT_EQ(PaneState(f), "c--/c--");
    f.Action(C::kToggleEditor)->trigger();
    EXPECT_EQ(PaneState(f), "c-e/c-e");
    f.Action(C::kToggleConflict)->trigger();
    f.Action(C::kToggleEditor)->trigger();
    EXPECT_EQ(PaneState(f), "---/---");
    EXPECT_TRUE(f.Tree()->isVisible());

    // New Check empties the lists and the tree and hides every pane.
    f.Action(C::kToggleWarning)->trigger();
    f.Action(C::kNewCheck)->trigger();
    EXPECT_EQ(PaneState(f), "---/---");
    EXPECT_EQ(f.View(EPane::Warning)->model()->rowCount(), 0);
    EXPECT_EQ(f.Tree()->topLevelItem(0)->childCount(), 0);
}

TEST(MainFrame, ProgressDisplayOpensAdvancesAndCloses) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    // From the worker thread, each call is handled before the worker goes on:
    // a question asked after each report sees the frame's state then.
    std::vector<int> seen;
    std::vector<QString> texts;
    f.Link().m_askHook = [&](const CMessage&) -> std::optional<EAnswer> {
        seen.push_back(f.MessagePane()->Bar() ? f.MessagePane()->Bar()->value() : -1);
        texts.push_back(f.MessagePane()->Text());
        return EAnswer::Ok;
    };
    auto operation = fixtures::CTestOperation::Make([&](COperationContext& context) {
        for (int step = 0; step <= 3; ++step) {
            context.Link().Progress("Searching " + std::to_string(step * 100 / 3) + "% complete", 3);
            context.Link().Tell("probe", "probe");
        }
        context.Link().Progress({}, 0);
        context.Link().Tell("probe", "probe");
    });
    ASSERT_TRUE(fx.Doc().StartOperation(std::move(operation)));
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, -1}));
    EXPECT_EQ(texts.front(), QStringLiteral("Searching 0% complete"));
    EXPECT_EQ(texts[3], QStringLiteral("Searching 100% complete"));
    EXPECT_EQ(texts.back(), QStringLiteral("Ready"));
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);

    // The bar keeps to the right of the text.
    f.OnProgress("Extracting Plugin Data 0% complete", 5);
    ASSERT_NE(f.MessagePane()->Bar(), nullptr);
    const int textEnd = f.MessagePane()->fontMetrics().horizontalAdvance(f.MessagePane()->Text());
    EXPECT_GT(f.MessagePane()->Bar()->geometry().left(), textEnd);
    EXPECT_EQ(f.MessagePane()->Bar()->maximum(), 5);
    f.OnProgress({}, 0);
    EXPECT_EQ(f.MessagePane()->Text(), f.MessagePane()->IdleText());
}

TEST(MainFrame, DeleteKeyErasesTheEntryOnDiskFromOneColumnOnly) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    // Two columns of the conflict list are refused, with the box's texts.
    CResultView& conflicts = *f.View(EPane::Conflict);
    const auto listed = Rows(conflicts);
    SelectCells(conflicts, {{0, 3}, {0, 4}});
    ReleaseKey(conflicts, Qt::Key_Delete);
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_caption, "Please Select One Column at a time.");
    EXPECT_EQ(fx.m_messages[0].m_text, "Unable to Delete");
    EXPECT_EQ(Rows(conflicts), listed);
    fx.m_messages.clear();

    CResultView& warnings = *f.View(EPane::Warning);
    const int row = RowWith(warnings, "fSampleFatigueMult", "Sample Armory.esp", 3);
    ASSERT_GE(row, 0);

    // Cells outside the "Esp File" column delete nothing.
    SelectCells(warnings, {{row, 1}, {row, 2}});
    ReleaseKey(warnings, Qt::Key_Delete);
    EXPECT_TRUE(fx.m_messages.empty());
    EXPECT_GE(RowWith(warnings, "fSampleFatigueMult", "Sample Armory.esp", 3), 0);

    const std::size_t before = warnings.Model().Table().RowCount();
    fx.m_answers = {EAnswer::Yes};
    SelectCells(warnings, {{row, 3}});
    ReleaseKey(warnings, Qt::Key_Delete);
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_caption, "Delete Entry(s)");
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Delete: 1 entry deleted"));
    EXPECT_EQ(RowWith(warnings, "fSampleFatigueMult", "Sample Armory.esp", 3), -1);
    EXPECT_EQ(warnings.Model().Table().RowCount(), before - 1);
    EXPECT_EQ(fx.Doc().ResultTable(EPane::Warning)->RowCount(), before - 1);

    // The plugin on disk lost the record and kept a backup.
    const std::string path = fx.DataDir() + "Sample Armory.esp";
    EXPECT_TRUE(std::filesystem::exists(fx.DataDir() + "Sample Armory.OLD"));
    CPluginFile reread;
    ASSERT_TRUE(reread.Open("Sample Armory.esp", fx.DataDir()));
    std::atomic<std::int32_t> stop{0};
    ASSERT_TRUE(reread.ReadRecords(stop, CExtractOpts::All()));
    for (const auto& e : *reread.GetTable("GMST")) EXPECT_NE(e->IdText(), "fSampleFatigueMult");
}

TEST(MainFrame, HeaderClicksSortAndTheLogFollows) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& warnings = *f.View(EPane::Warning);
    ASSERT_GT(warnings.model()->rowCount(), 2);
    auto namesIn = [](const CResultTable& table) {
        std::vector<std::string> out;
        for (std::size_t r = 0; r < table.RowCount(); ++r) out.emplace_back(table.Cell(r, 2));
        return out;
    };
    auto names = [&] { return namesIn(warnings.Model().Table()); };
    emit warnings.horizontalHeader()->sectionClicked(2);
    // The order is worked out beside the window; until it is taken the list
    // says so and cannot be saved in an order it is about to lose.
    EXPECT_TRUE(warnings.Model().Sorting());
    EXPECT_FALSE(f.Action(C::kSaveResults)->isEnabled());
    EXPECT_TRUE(warnings.CaptionText().endsWith(QStringLiteral("sorting by Name\u2026")));
    ASSERT_TRUE(fx.WaitIdle());
    auto ascending = names();
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
    emit warnings.horizontalHeader()->sectionClicked(2);
    ASSERT_TRUE(fx.WaitIdle());
    auto descending = names();
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
    EXPECT_NE(ascending, descending);
    // The document's copy is in the same order.
    EXPECT_EQ(namesIn(*fx.Doc().ResultTable(EPane::Warning)), descending);

    // Save Results writes the lists as shown.
    const std::string log = fx.Dir() / "VANTORlog.txt";
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {log}});
    f.Action(C::kSaveResults)->trigger();
    ASSERT_FALSE(fx.m_choosers.empty());
    EXPECT_EQ(fx.m_choosers.back().m_title, "Save Log As");
    std::string text;
    platform::ReadWholeFile(log, text);
    const std::size_t header = text.find("ID,Warning,Name,Esp File,Original File\r\n");
    ASSERT_NE(header, std::string::npos);
    std::size_t at = header;
    for (const auto& name : descending) {
        at = text.find("," + name + ",", at);
        ASSERT_NE(at, std::string::npos) << name;
    }
    // Rows taken out while a sort runs: it starts again on what remains.
    emit warnings.horizontalHeader()->sectionClicked(2);
    warnings.Model().RemoveRows({0});
    EXPECT_TRUE(warnings.Model().Sorting());
    ASSERT_TRUE(fx.WaitIdle());
    auto remaining = names();
    EXPECT_EQ(remaining.size(), descending.size() - 1);
    EXPECT_TRUE(std::is_sorted(remaining.begin(), remaining.end()));

    // A new fill starts unsorted again.
    emit warnings.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(warnings.Model().SortColumn(), 0);
    EXPECT_FALSE(warnings.Model().SortDescending());
}

}  // namespace
}  // namespace vantor::uitest
