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
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;

std::vector<std::string> MenuTexts(QMenu* menu) {
    std::vector<std::string> texts;
    for (QAction* a : menu->actions()) texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return texts;
}

QMenu* MenuNamed(CMainFrame& f, const QString& title) {
    for (QAction* a : f.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

bool Pressed(CMainFrame& f, C::ECommand c) { return f.Action(c)->isChecked(); }

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
    for (EPane p : {EPane::Conflict, EPane::Warning, EPane::Editor}) EXPECT_FALSE(f.PaneShown(p));
    for (C::ECommand t : {C::kToggleConflict, C::kToggleWarning, C::kToggleEditor}) EXPECT_FALSE(Pressed(f, t));
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Ready"));
    ASSERT_EQ(f.Indicators().size(), 3);
    EXPECT_EQ(f.Indicators()[0]->text(), QStringLiteral("CAP"));
    EXPECT_EQ(f.Indicators()[2]->text(), QStringLiteral("SCRL"));

    std::vector<std::string> titles;
    for (QAction* a : f.menuBar()->actions()) titles.push_back(a->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Edit", "&CheckType", "Editor", "&Operations", "&Help"}));
    EXPECT_EQ(MenuTexts(MenuNamed(f, "&File")),
              (std::vector<std::string>{"&New Check\tCtrl+N", "-", "Choose &Master Plugin", "Choose &Active Plugins",
                                        "&Choose Plugins", "-", "&Save Results\tCtrl+S", "-", "&Print...\tCtrl+P",
                                        "Print Pre&view", "P&rint Setup...", "-", "E&xit"}));
    EXPECT_EQ(MenuTexts(MenuNamed(f, "&Edit")),
              (std::vector<std::string>{"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V", "-", "Select &All\tCtrl+A"}));
    EXPECT_EQ(MenuTexts(MenuNamed(f, "&CheckType")), (std::vector<std::string>{"&Single Versus", "&Full Check"}));
    EXPECT_EQ(MenuTexts(MenuNamed(f, "Editor")),
              (std::vector<std::string>{"View File Data", "-", "View All Esp Data", "View All Esm Data",
                                        "View All Global Changes", "-", "Find Object"}));
    // Enable is 0 by default: the relink items and their separator are gone.
    EXPECT_EQ(MenuTexts(MenuNamed(f, "&Operations")),
              (std::vector<std::string>{"&Extract Data", "Clear Esm Data", "-", "Check &Conflicts", "Check &Deleted",
                                        "Check &Unclean", "Check &All", "-", "Auto Delete Unclea&n", "Clean Cells", "-",
                                        "&Options"}));
    EXPECT_EQ(MenuTexts(MenuNamed(f, "&Help")), (std::vector<std::string>{"VANTOR Help", "-", "&About VANTOR..."}));
    EXPECT_FALSE(f.Action(C::kCut)->isEnabled());
    EXPECT_FALSE(f.Action(C::kPaste)->isEnabled());
    EXPECT_EQ(f.Action(C::kCopy)->shortcuts().size(), 2);

    // Toolbar order with its separators, tips and prompts.
    std::vector<std::string> bar;
    for (QAction* a : f.ToolBar()->actions()) bar.push_back(a->isSeparator() ? "-" : a->toolTip().toStdString());
    EXPECT_EQ(bar, (std::vector<std::string>{"New (Ctrl+N)", "Open (Ctrl+O)", "Save (Ctrl+S)", "-",
                                             "Select Check Options", "-",
                                             "View a Specific File's Data or Global Changes",
                                             "Find Object in Loaded Plugins (Ctrl+F)",
                                             "Begin Default Check Operation (F5)", "Stop (Esc)", "-",
                                             "Toggle Conflict Pane",
                                             "Toggle Warning Pane", "Toggle Editor Pane", "-", "Print (Ctrl+P)", "-",
                                             "About"}));
    // Items whose text names no key show the one they have.
    EXPECT_EQ(f.Action(C::kChoosePlugins)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(f.Action(C::kFindObject)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_TRUE(f.actions().contains(f.Action(C::kDefaultCheck)));
    EXPECT_EQ(f.Action(C::kSaveResults)->statusTip(), QStringLiteral("Save Check Results"));
    EXPECT_EQ(f.Action(C::kAutoDeleteUnclean)->statusTip(),
              QStringLiteral("Automatically Delete All Unclean Entries in Loaded Plugins"));
    EXPECT_TRUE(f.Action(C::kClearEsm)->statusTip().isEmpty());

    // A prompt shows in the message pane while a command is pointed at.
    QStatusTipEvent tip(f.Action(C::kCheckConflicts)->statusTip());
    QApplication::sendEvent(&f, &tip);
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Checks for Entry Conflicts"));
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(&f, &none);
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Ready"));
}

TEST(MainFrame, EnableKeepsTheRelinkItems) {
    CFrameFixture fx("[DialogRepair]\r\nEnable=0100000001\r\n");
    EXPECT_EQ(MenuTexts(MenuNamed(fx.Frame(), "&Operations")),
              (std::vector<std::string>{"&Extract Data", "Clear Esm Data", "-", "Check &Conflicts", "Check &Deleted",
                                        "Check &Unclean", "Check &All", "-", "Auto Delete Unclea&n",
                                        "Clean Cells", "Auto ReLink Dialog", "-", "ReLink Dialog", "-", "&Options"}));
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
    EXPECT_TRUE(f.PaneShown(EPane::Conflict));
    EXPECT_TRUE(f.PaneShown(EPane::Warning));
    EXPECT_FALSE(f.PaneShown(EPane::Editor));
    EXPECT_TRUE(Pressed(f, C::kToggleConflict));
    EXPECT_TRUE(Pressed(f, C::kToggleWarning));
    EXPECT_FALSE(Pressed(f, C::kToggleEditor));
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);

    const auto conflicts = Rows(*f.View(EPane::Conflict));
    const auto warnings = Rows(*f.View(EPane::Warning));
    EXPECT_EQ(conflicts,
              (std::vector<std::string>{
                  "NPC_|NPC Entry|sample_trader|Sample Tweaks.esp|Sample Armory.esp|Sample.esm",
                  "WEAP|Weapon Entry|sample_iron_sword|Sample Tweaks.esp|Sample Armory.esp|Sample.esm",
                  "WEAP|Weapon Entry|armory_silver_sword|Sample Tweaks.esp|Sample Armory.esp|None"}));
    ASSERT_EQ(warnings.size(), 8u);
    EXPECT_EQ(warnings[0], "CELL|Cell Entry Marked as DELETED (Removed from Game)|1,0,0 Sample Cellar|Sample Tweaks.esp|None");
    EXPECT_EQ(warnings[4],
              "MISC|Misc. Items Entry Marked as DELETED (Removed from Game)|sample_coin|Sample Tweaks.esp|Sample.esm");
    EXPECT_EQ(warnings[6],
              "NPC_|NPC Entry Identical to Default Entry. (Unclean Entry)|sample_priest|Sample Quests.esp|Sample.esm");
    // What the document keeps is what the panes show.
    EXPECT_EQ(&f.View(EPane::Conflict)->Model().Table(), fx.Doc().ResultTable(EPane::Conflict).get());

    // Toggles: a pressed button hides its pane, a released one shows it.
    f.Action(C::kToggleWarning)->trigger();
    EXPECT_FALSE(f.PaneShown(EPane::Warning));
    EXPECT_FALSE(Pressed(f, C::kToggleWarning));
    f.Action(C::kToggleEditor)->trigger();
    EXPECT_TRUE(f.PaneShown(EPane::Editor));
    EXPECT_TRUE(f.PaneShown(EPane::Conflict));
    EXPECT_TRUE(Pressed(f, C::kToggleEditor));
    f.Action(C::kToggleConflict)->trigger();
    f.Action(C::kToggleEditor)->trigger();
    EXPECT_FALSE(f.PaneShown(EPane::Conflict));
    EXPECT_FALSE(f.PaneShown(EPane::Editor));
    EXPECT_TRUE(f.Tree()->isVisible());

    // New Check empties the lists and the tree and hides every pane.
    f.Action(C::kToggleWarning)->trigger();
    f.Action(C::kNewCheck)->trigger();
    EXPECT_FALSE(f.PaneShown(EPane::Warning));
    EXPECT_EQ(f.View(EPane::Warning)->model()->rowCount(), 0);
    EXPECT_EQ(f.Tree()->topLevelItem(0)->childCount(), 0);
}

TEST(MainFrame, TogglesDoNothingWhileAnOperationRuns) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    ASSERT_TRUE(fx.StartHeldOperation());
    QCoreApplication::processEvents();
    f.Action(C::kToggleConflict)->trigger();
    EXPECT_FALSE(f.PaneShown(EPane::Conflict));
    EXPECT_FALSE(Pressed(f, C::kToggleConflict));
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    f.Action(C::kToggleConflict)->trigger();
    EXPECT_TRUE(f.PaneShown(EPane::Conflict));
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

TEST(MainFrame, DeleteOnWarningRowsErasesTheEntryOnDisk) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
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

TEST(MainFrame, DeleteInTheConflictListNeedsOneColumn) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& conflicts = *f.View(EPane::Conflict);
    ASSERT_GT(conflicts.model()->rowCount(), 0);
    const auto before = Rows(conflicts);
    SelectCells(conflicts, {{0, 3}, {0, 4}});
    ReleaseKey(conflicts, Qt::Key_Delete);
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_caption, "Please Select One Column at a time.");
    EXPECT_EQ(fx.m_messages[0].m_text, "Unable to Delete");
    EXPECT_EQ(Rows(conflicts), before);
}

TEST(MainFrame, HeaderClicksSortAndTheLogFollows) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& warnings = *f.View(EPane::Warning);
    ASSERT_GT(warnings.model()->rowCount(), 2);
    auto names = [&] {
        std::vector<std::string> out;
        for (std::size_t r = 0; r < warnings.Model().Table().RowCount(); ++r)
            out.emplace_back(warnings.Model().Table().Cell(r, 2));
        return out;
    };
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
    const auto kept = fx.Doc().ResultTable(EPane::Warning);
    ASSERT_EQ(kept->RowCount(), descending.size());
    for (std::size_t i = 0; i < descending.size(); ++i) EXPECT_EQ(kept->Cell(i, 2), descending[i]);

    // Save Results writes the lists as shown.
    const std::string log = fx.Dir() / "VANTORlog.txt";
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {log}});
    f.Action(C::kSaveResults)->trigger();
    ASSERT_FALSE(fx.m_choosers.empty());
    EXPECT_EQ(fx.m_choosers.back().m_title, "Save Log As");
    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
