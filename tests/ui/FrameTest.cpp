// The real main frame driven through its commands on the sample set.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>
#include <algorithm>

#include "FrameFixture.h"
#include "fixtures/TestOperation.h"
#include "LeftView.h"
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

TEST(MainFrame, StartShowsOnlyTheTreeWithTheExactMenus) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Vantorscope"));
    EXPECT_TRUE(f.Tree()->isVisible());
    for (EPane p : {EPane::Conflict, EPane::Warning, EPane::Editor}) EXPECT_FALSE(f.PaneShown(p));
    EXPECT_TRUE(f.actions().contains(f.Action(C::kDefaultCheck)));
    // Enable is 0 by default: the relink items and their separator are gone.
    std::string commands = CommandsText(f);
    CFrameFixture relink("[DialogRepair]\r\nEnable=0100000001\r\n");
    const std::string all = CommandsText(relink.Frame());
    const std::size_t from = all.find("&Operations\n");
    commands += "With Enable=0100000001\n" + all.substr(from, all.find("&Help\n") - from);
    ExpectGolden("commands.txt", commands);
}

// The toggles and New Check are in the operations transcript.
TEST(MainFrame, CheckFillsTheListsTheDocumentKeepsAndCopyTakesTheSelection) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_title, "Select Files");
    EXPECT_EQ(fx.m_choosers[0].m_startFolder, fx.DataDir());
    ASSERT_EQ(f.Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(f.Tree()->topLevelItem(0)->text(0), QStringLiteral("Plugin Files"));
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);
    // What the document keeps is what the panes show.
    EXPECT_EQ(&f.View(EPane::Conflict)->Model().Table(), fx.Doc().ResultTable(EPane::Conflict).get());
    // Copy takes the rectangle of the selection, unselected cells empty.
    SelectCells(*f.View(EPane::Conflict), {{0, 0}, {1, 2}});
    EXPECT_EQ(f.ActiveList(), f.View(EPane::Conflict));
    EXPECT_EQ(f.View(EPane::Conflict)->SelectedText(), QStringLiteral("NPC_\t\t\n\t\tsample_iron_sword\n"));
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

// The sort itself and the list while it sorts are in the operations transcript.
TEST(MainFrame, SortedListsAreSavedAsShownAndSortAgainAfterRemovals) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& warnings = *f.View(EPane::Warning);
    auto namesIn = [](const CResultTable& table) {
        std::vector<std::string> out;
        for (std::size_t r = 0; r < table.RowCount(); ++r) out.emplace_back(table.Cell(r, 2));
        return out;
    };
    for (int click = 0; click < 2; ++click) {
        emit warnings.horizontalHeader()->sectionClicked(2);
        ASSERT_TRUE(fx.WaitIdle());
    }
    const auto descending = namesIn(warnings.Model().Table());
    ASSERT_GT(descending.size(), 2u);
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
    EXPECT_EQ(namesIn(*fx.Doc().ResultTable(EPane::Warning)), descending);

    const std::string log = fx.Dir() / "VANTORlog.txt";
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {log}});
    f.Action(C::kSaveResults)->trigger();
    ASSERT_FALSE(fx.m_choosers.empty());
    EXPECT_EQ(fx.m_choosers.back().m_title, "Save Log As");
    std::string text;
    platform::ReadWholeFile(log, text);
    std::size_t at = text.find("ID,Warning,Name,Esp File,Original File\r\n");
    ASSERT_NE(at, std::string::npos);
    for (const auto& name : descending) {
        at = text.find("," + name + ",", at);
        ASSERT_NE(at, std::string::npos) << name;
    }
    // Rows taken out while a sort runs: it starts again on what remains.
    emit warnings.horizontalHeader()->sectionClicked(2);
    warnings.Model().RemoveRows({0});
    EXPECT_TRUE(warnings.Model().Sorting());
    ASSERT_TRUE(fx.WaitIdle());
    const auto remaining = namesIn(warnings.Model().Table());
    EXPECT_EQ(remaining.size(), descending.size() - 1);
    EXPECT_TRUE(std::is_sorted(remaining.begin(), remaining.end()));
    // Another column starts ascending.
    emit warnings.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(warnings.Model().SortColumn(), 0);
    EXPECT_FALSE(warnings.Model().SortDescending());
}

}  // namespace
}  // namespace vantor::uitest
