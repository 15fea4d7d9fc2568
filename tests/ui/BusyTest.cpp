// The window while an operation runs (what waits, the busy cursor, Stop)
// and what the status bar and the list captions say once it has ended.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <set>

#include "FrameFixture.h"
#include "FindDlg.h"
#include "LeftView.h"
#include "ViewFileDlg.h"
#include "OperationSummary.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;
using Names = std::vector<std::string>;

std::string Status(CMainFrame& f) { return f.MessagePane()->Text().toStdString(); }

// The caption the user sees above a list, not the text it is made from.
QString Caption(const CResultView& view) {
    const auto* label = view.parentWidget()->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    return label ? label->text() : QString();
}

// Asks for a stop at the n-th progress report whose text starts with
// `prefix`, after `check` has looked at the window as it is then.
void StopAt(CFrameFixture& fx, const std::string& prefix, int n, std::function<void()> check = {}) {
    fx.Frame().Link().m_progressHook = [&fx, prefix, n, count = 0, check](const std::string& text, int) mutable {
        if (text.rfind(prefix, 0) != 0 || ++count != n) return;
        if (check) check();
        fx.Frame().Action(C::kStop)->trigger();
    };
}

TEST(Busy, StopKeepsTheChosenFilesTheReadDataAndTheRowsFoundSoFar) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    EXPECT_FALSE(f.Action(C::kStop)->isEnabled());
    bool looked = false;
    // After the first plugin's warnings, the conflicts all found.
    StopAt(fx, "Checking Warnings", 2, [&] {
        looked = true;
        EXPECT_TRUE(f.Action(C::kStop)->isEnabled());
        for (C::ECommand c : {C::kCheckAll, C::kCheckConflicts, C::kDefaultCheck, C::kAutoDeleteUnclean, C::kCleanCells,
                              C::kExtractData, C::kChoosePlugins, C::kSaveResults, C::kFindObject, C::kViewAllEsp,
                              C::kToggleConflict, C::kToggleWarning, C::kToggleEditor})
            EXPECT_FALSE(f.Action(c)->isEnabled()) << c;
        EXPECT_FALSE(f.Tree()->RemoveAction()->isEnabled());
        for (C::ECommand c : {C::kNewCheck, C::kOptions, C::kExit}) EXPECT_TRUE(f.Action(c)->isEnabled()) << c;
        EXPECT_EQ(f.centralWidget()->cursor().shape(), Qt::BusyCursor);
    });
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    ASSERT_TRUE(looked);

    const CResultView& conflicts = *f.View(EPane::Conflict);
    const CResultView& warnings = *f.View(EPane::Warning);
    const std::size_t found = warnings.Model().Table().RowCount();
    EXPECT_EQ(conflicts.Model().Table().RowCount(), 3u);
    ASSERT_GT(found, 0u);
    ASSERT_LT(found, 8u);
    for (std::size_t r = 0; r < found; ++r) EXPECT_EQ(warnings.Model().Table().Cell(r, 3), "Sample Armory.esp");
    EXPECT_TRUE(f.PaneShown(EPane::Conflict));
    EXPECT_TRUE(f.PaneShown(EPane::Warning));
    EXPECT_EQ(Status(f), "Check All stopped: 3 conflicts, " + CountOf(found, "warning", "warnings") +
                             " found before the stop");
    EXPECT_TRUE(Caption(warnings).endsWith(QStringLiteral("(stopped early)")));
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);
    // The choice and the read files stay; everything may run again.
    EXPECT_EQ(f.Tree()->topLevelItem(0)->childCount(), 3);
    EXPECT_EQ(fx.Doc().LoadedNames().size(), 3u);
    EXPECT_FALSE(f.Action(C::kStop)->isEnabled());
    EXPECT_TRUE(f.Action(C::kCheckAll)->isEnabled());
    EXPECT_FALSE(f.centralWidget()->testAttribute(Qt::WA_SetCursor));

    f.Link().m_progressHook = nullptr;
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Check All: 3 conflicts, 8 warnings");
    EXPECT_EQ(Caption(warnings), QStringLiteral("Warning List \u2014 8 rows"));
}

TEST(Busy, AStopWhileReadingLeavesTheRestChosenForTheNextRun) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    const Names chosen{"Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"};

    // Before the master is read: nothing read, all still chosen.
    StopAt(fx, "Extracting Master Esm Data", 1);
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Check All stopped: 3 chosen plugins not read yet");
    EXPECT_EQ(fx.Doc().PendingNames(), chosen);
    EXPECT_FALSE(fx.Doc().MastersLoaded());

    // After the first plugin.
    StopAt(fx, "Extracting Plugin Data 33%", 1);
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Check All stopped: 1 plugin, 1 master read, 2 chosen plugins not read yet");
    EXPECT_EQ(fx.Doc().LoadedNames(), Names{"Sample Armory.esp"});
    EXPECT_EQ(fx.Doc().PendingNames(), (Names{"Sample Quests.esp", "Sample Tweaks.esp"}));
    EXPECT_EQ(f.Tree()->topLevelItem(0)->childCount(), 3);

    // The next run reads the rest and checks against the master.
    f.Link().m_progressHook = nullptr;
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Check All: 3 conflicts, 8 warnings");
    EXPECT_EQ(Rows(*f.View(EPane::Conflict)).front(),
              "NPC_|NPC Entry|sample_trader|Sample Tweaks.esp|Sample Armory.esp|Sample.esm");
}

// What the window tells after each step: the status bar, the greyed commands,
// each list's caption and whether it shows, and the rows a check, a search or
// View File Data listed.
TEST(Busy, TheStatusBarAndTheCaptionsTellWhatEachOperationCameTo) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    auto run = [&](C::ECommand c, std::optional<EAnswer> answer = {}) {
        return [&, c, answer] {
            if (answer) fx.m_answers = {*answer};
            f.Action(c)->trigger();
        };
    };
    // Through the real dialog; a cancelled search changes nothing.
    auto find = [&](const char* text, bool cancel) {
        return [&, text, cancel] {
            WhenShown<CFindDlg>([text, cancel](CFindDlg& dlg) {
                dlg.FindWhat()->setEditText(text);
                cancel ? dlg.reject() : dlg.OnFind();
            });
            f.Action(C::kFindObject)->trigger();
        };
    };
    const std::vector<std::pair<std::string, std::function<void()>>> steps = {
        {"Choose Plugins", [&] { fx.ChooseSamplePlugins(); }},
        {"Extract Data", run(C::kExtractData)},
        {"Check All", run(C::kCheckAll)},
        {"View All Esp Data", run(C::kViewAllEsp)},
        {"Find Object sample_trader", find("sample_trader", false)},
        {"Find Object other, cancelled", find("other", true)},
        {"Find Object no_such_thing", find("no_such_thing", false)},
        {"View File Data of Sample Quests.esp",
         [&] {
             WhenShown<CViewFileDlg>([](CViewFileDlg& dlg) {
                 EXPECT_GE(dlg.FileBox()->findText("Sample Quests.esp"), 0);
                 dlg.FileBox()->setEditText("Sample Quests.esp");
                 dlg.OnOk();
             });
             f.Action(C::kViewFileData)->trigger();
         }},
        // The worker waits for the window before it reads anything, so the
        // checks asked for meanwhile find it still running.
        {"Check Conflicts, with Check All and Check Unclean asked for while it runs",
         [&] {
             f.Action(C::kCheckConflicts)->trigger();
             EXPECT_TRUE(fx.Doc().IsBusy());
             f.Action(C::kCheckAll)->trigger();
             f.Action(C::kCheckUnclean)->trigger();
             fx.Doc().OnCheckAll();
         }},
        {"Check All", run(C::kCheckAll)},
        {"Auto Delete Unclean, answered No", run(C::kAutoDeleteUnclean, EAnswer::No)},
        {"Auto Delete Unclean, answered Yes", run(C::kAutoDeleteUnclean, EAnswer::Yes)},
        {"Check All", run(C::kCheckAll)},
        {"View All Esm Data", run(C::kViewAllEsm)},
        {"View All Global Changes", run(C::kViewAllGlobal)},
        // A prompt covers the message only while a command is pointed at.
        {"A command pointed at and left",
         [&] {
             QStatusTipEvent tip(QStringLiteral("Checks for Entry Conflicts"));
             QApplication::sendEvent(&f, &tip);
             EXPECT_EQ(Status(f), "Checks for Entry Conflicts");
             QStatusTipEvent none{QString()};
             QApplication::sendEvent(&f, &none);
         }},
        // New Check stops a running check and forgets it: nothing it found is
        // told about the empty lists.
        {"Check All, with New Check asked for while it runs",
         [&] {
             f.Action(C::kCheckAll)->trigger();
             EXPECT_TRUE(fx.Doc().IsBusy());
             f.Action(C::kNewCheck)->trigger();
         }},
    };
    std::string told;
    for (const auto& [name, step] : steps) {
        step();
        ASSERT_TRUE(fx.WaitIdle()) << name;
        told += name + "\n  " + Status(f) + "\n  greyed:";
        for (QAction* menu : f.menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (!a->isSeparator() && !a->isEnabled()) told += " " + a->text().section('\t', 0, 0).remove('&').toStdString();
        told += "\n";
        for (EPane p : {EPane::Conflict, EPane::Warning, EPane::Editor})
            told += "  " + Caption(*f.View(p)).toStdString() + (f.PaneShown(p) ? "\n" : " (hidden)\n");
        const bool checked = name.starts_with("Check"), listed = name.starts_with("Find") || name.starts_with("View File");
        for (EPane p : {EPane::Conflict, EPane::Warning, EPane::Editor})
            if ((p == EPane::Editor) != checked && (checked || listed))
                for (const auto& row : Rows(*f.View(p))) told += "    " + row + "\n";
    }
    ExpectGolden("operations.txt", told);
    EXPECT_EQ(fx.Doc().Options().m_findHistory[1], "sample_trader");
}

}  // namespace
}  // namespace vantor::uitest
