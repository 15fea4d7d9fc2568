// The window while an operation runs (what waits, the busy cursor, Stop)
// and what the status bar and the list captions say once it has ended.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStatusTipEvent>
#include <set>

#include "FrameFixture.h"
#include "LeftView.h"
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

    // New Check stops a running check and forgets it: nothing it found is
    // told about the empty lists.
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.Doc().IsBusy());
    f.Action(C::kNewCheck)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Ready");
    EXPECT_EQ(Caption(warnings), QStringLiteral("Warning List \u2014 0 rows"));
    EXPECT_TRUE(f.Action(C::kChoosePlugins)->isEnabled());
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

TEST(Busy, ACheckClickedWhileOneRunsChangesNothing) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    // The worker waits for the window before it reads anything, so the
    // check below is still running when the others are asked for.
    f.Action(C::kCheckConflicts)->trigger();
    ASSERT_TRUE(fx.Doc().IsBusy());
    f.Action(C::kCheckAll)->trigger();
    f.Action(C::kCheckUnclean)->trigger();
    fx.Doc().OnCheckAll();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Check Conflicts: 3 conflicts");
    EXPECT_EQ(f.View(EPane::Conflict)->Model().Table().RowCount(), 3u);
    EXPECT_EQ(f.View(EPane::Warning)->Model().Table().RowCount(), 0u);
    EXPECT_FALSE(f.PaneShown(EPane::Warning));
}

TEST(Busy, TheStatusBarTellsWhatEachOperationCameTo) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    f.Action(C::kExtractData)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Extract Data: 3 plugins, 1 master read");

    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Caption(*f.View(EPane::Conflict)), QStringLiteral("Conflict List \u2014 3 rows"));
    // What the clean will find: the unclean rows and their plugins.
    const CResultTable& warnings = f.View(EPane::Warning)->Model().Table();
    std::size_t unclean = 0;
    std::set<std::string> plugins;
    for (std::size_t r = 0; r < warnings.RowCount(); ++r)
        if (warnings.Cell(r, 1).find("Unclean") != std::string_view::npos) {
            ++unclean;
            plugins.emplace(warnings.Cell(r, 3));
        }
    ASSERT_GT(unclean, 0u);

    f.Action(C::kViewAllEsp)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    const std::size_t listed = f.View(EPane::Editor)->Model().Table().RowCount();
    EXPECT_EQ(Status(f), "View All Esp Data: " + std::to_string(listed) + " entries");
    EXPECT_EQ(Caption(*f.View(EPane::Editor)), QStringLiteral("Editor List \u2014 %1 rows").arg(listed));

    f.SetFindDialog([](COptionSet&, const std::string& text, QWidget*) -> std::optional<CFindParams> {
        CFindParams params;
        params.m_text = text;
        return params;
    });
    f.FindObject("sample_trader");
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Find Object: " + std::to_string(f.View(EPane::Editor)->Model().Table().RowCount()) +
                             " entries found");
    f.FindObject("no_such_thing");
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Find Object: nothing found");

    fx.m_answers = {EAnswer::No};
    f.Action(C::kAutoDeleteUnclean)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Auto clean cancelled: nothing deleted");
    fx.m_answers = {EAnswer::Yes};
    f.Action(C::kAutoDeleteUnclean)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Status(f), "Auto clean: " + CountOf(unclean, "entry", "entries") + " deleted from " +
                             CountOf(plugins.size(), "plugin", "plugins"));

    // A prompt covers the message only while a command is pointed at.
    QStatusTipEvent tip(QStringLiteral("Checks for Entry Conflicts"));
    QApplication::sendEvent(&f, &tip);
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(&f, &none);
    EXPECT_EQ(Status(f).rfind("Auto clean: ", 0), 0u);
}

}  // namespace
}  // namespace vantor::uitest
