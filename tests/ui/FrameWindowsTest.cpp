// The frame's tree, options sheet, entry editor path, printing and closing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPrinter>
#include <QRadioButton>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FrameFixture.h"
#include "fixtures/TableMaker.h"
#include "LeftView.h"
#include "MkData.h"
#include "OptionsSheet.h"
#include "widgets/GridPrinter.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;

std::vector<std::string> TreeTexts(const CLeftView& tree) {
    std::vector<std::string> out;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* root = tree.topLevelItem(i);
        out.push_back(root->text(0).toStdString());
        for (int c = 0; c < root->childCount(); ++c) out.push_back("  " + root->child(c)->text(0).toStdString());
    }
    return out;
}

TEST(FileTree, ModesRootsAndRemove) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    EXPECT_FALSE(f.Action(C::kChooseMaster)->isEnabled());
    EXPECT_TRUE(f.Action(C::kFullCheck)->isChecked());

    f.Action(C::kSingleVersus)->trigger();
    EXPECT_TRUE(f.Action(C::kChooseMaster)->isEnabled());
    EXPECT_TRUE(f.Action(C::kSingleVersus)->isChecked());
    EXPECT_FALSE(f.Action(C::kFullCheck)->isChecked());
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.DataDir() + "Sample.esm"}});
    f.Action(C::kChooseMaster)->trigger();
    EXPECT_EQ(fx.m_choosers.back().m_title, "Select Master Plugin to Check Against");
    EXPECT_EQ(TreeTexts(*f.Tree()),
              (std::vector<std::string>{"Master Plugin", "  Sample.esm", "Plugin Files", "  Sample Armory.esp",
                                        "  Sample Quests.esp", "  Sample Tweaks.esp"}));

    // A right click selects the item under the mouse before the menu opens.
    CLeftView& tree = *f.Tree();
    tree.SelectText("Plugin Files");
    QTreeWidgetItem* quests = tree.findItems("Sample Quests.esp", Qt::MatchExactly | Qt::MatchRecursive).front();
    const QPoint at = tree.visualItemRect(quests).center();
    QStringList menuItems;
    QTimer::singleShot(50, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            for (QAction* a : popup->actions()) menuItems << a->text();
            popup->close();
        }
    });
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &rightClick);
    EXPECT_EQ(menuItems, (QStringList{"Remove", "Add"}));
    auto selection = tree.Selection();
    ASSERT_TRUE(selection.has_value());
    EXPECT_EQ(selection->m_text, "Sample Quests.esp");
    tree.RemoveAction()->trigger();
    EXPECT_EQ(fx.Doc().PendingNames(), (std::vector<std::string>{"Sample Armory.esp", "Sample Tweaks.esp"}));
    EXPECT_EQ(tree.topLevelItem(1)->childCount(), 2);

    // Add on the master root chooses a master; Full Check drops the root.
    tree.SelectText("Master Plugin");
    tree.AddAction()->trigger();
    EXPECT_EQ(fx.m_choosers.back().m_title, "Select Master Plugin to Check Against");
    f.Action(C::kFullCheck)->trigger();
    EXPECT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_FALSE(f.Action(C::kChooseMaster)->isEnabled());
}

TEST(OptionsSheet, PagesCopyInWhenShownAndBackOnlyIfShown) {
    COptionSet options;
    options.m_defaultOps = 0x0F;
    options.m_conflictChecks[3] = 0;
    COptionsSheet sheet(options);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("VANTOR Options"));
    QStringList tabs;
    for (int i = 0; i < sheet.Tabs()->count(); ++i) tabs << sheet.Tabs()->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Operations", "Conflicts", "Game"}));
    sheet.show();
    CPPageOP& op = *sheet.Operations();
    EXPECT_TRUE(op.WasShown());
    EXPECT_FALSE(sheet.Conflicts()->WasShown());
    for (QCheckBox* box : {op.m_checkDeleted, op.m_reportDialog, op.m_extractLand}) {
        EXPECT_EQ(box->isChecked(), box == op.m_checkDeleted) << box->text().toStdString();
        box->toggle();
    }
    COptionSet result = sheet.Result();
    // Only the named bit of DefaultOps changes; the unseen page changes nothing.
    EXPECT_EQ(result.m_defaultOps, 0x0D);
    EXPECT_EQ(result.m_uncleanChecks[kInfoCheck], 1);
    for (std::size_t k = 0; k < kCheckCount; ++k)
        if (k != kInfoCheck) {
            EXPECT_EQ(result.m_uncleanChecks[k], options.m_uncleanChecks[k]);
        }
    EXPECT_EQ(result.m_extractOpts.m_landData, 1);
    EXPECT_EQ(result.m_conflictChecks, options.m_conflictChecks);

    sheet.Tabs()->setCurrentIndex(1);
    CPPageID& ids = *sheet.Conflicts();
    EXPECT_TRUE(ids.WasShown());
    EXPECT_EQ(ids.m_boxes[7]->text(), QStringLiteral("CLAS- Classes"));
    EXPECT_FALSE(ids.m_boxes[3]->isChecked());
    EXPECT_TRUE(ids.m_boxes[37]->isChecked());
    // Four columns of ten in index order.
    EXPECT_EQ(ids.m_boxes[10]->y(), ids.m_boxes[0]->y());
    EXPECT_GT(ids.m_boxes[10]->x(), ids.m_boxes[9]->x());
    EXPECT_EQ(ids.m_boxes[37]->x(), ids.m_boxes[30]->x());
    ids.m_boxes[5]->setChecked(false);
    result = sheet.Result();
    EXPECT_EQ(std::vector<std::int32_t>(&result.m_conflictChecks[3], &result.m_conflictChecks[6]),
              (std::vector<std::int32_t>{0, 1, 0}));

    // The load order: OpenMW's configuration file counts only for OpenMW.
    CPPageGame& game = *sheet.GamePage();
    EXPECT_EQ(game.m_morrowind->text(), QStringLiteral("Morrowind (Morrowind.ini and file times)"));
    EXPECT_EQ(game.m_openmw->text(), QStringLiteral("OpenMW (openmw.cfg)"));
    EXPECT_TRUE(game.m_morrowind->isChecked());
    EXPECT_FALSE(game.m_config->isEnabled());
    game.m_openmw->setChecked(true);
    EXPECT_TRUE(game.m_config->isEnabled());
    game.m_config->setText(QStringLiteral("/games/openmw.cfg "));
    EXPECT_EQ(sheet.Game(), (CGameChoice{CGameChoice::EGame::OpenMW, "/games/openmw.cfg"}));
}

TEST(MainFrame, OpenMWLoadOrderIsKeptAndShowsEachFilesFolder) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    const CGameChoice openmw{CGameChoice::EGame::OpenMW, fx.Dir() / "openmw.cfg"};
    f.ApplyGame(openmw);
    EXPECT_EQ(CGameChoice::Load(fx.Dir() / "vantor.ini"), openmw);
    EXPECT_TRUE(fx.m_messages.empty());
    f.Action(CMainFrame::kChooseActive)->trigger();
    const QList<QTreeWidgetItem*> patch =
        f.Tree()->findItems(QStringLiteral("Sample Patch.omwaddon"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(patch.size(), 1);
    EXPECT_EQ(patch.front()->toolTip(0), QString::fromStdString(fx.Dir().Path() + "Mods/Sample Patch/"));
    f.Action(CMainFrame::kChoosePlugins)->trigger();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_filters[0].m_pattern, "*.esp;*.omwaddon");
    EXPECT_EQ(fx.m_choosers[0].m_filters[1].m_pattern, "*.esm;*.omwgame");

    // A configuration that cannot be read is told, and still taken.
    f.ApplyGame({CGameChoice::EGame::OpenMW, fx.Dir() / "none.cfg"});
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_NE(fx.m_messages[0].m_text.find("none.cfg"), std::string::npos);
}

TEST(MainFrame, OptionsChangedDuringAnOperationApplyWhenItEnds) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    ASSERT_TRUE(fx.StartHeldOperation());
    COptionSet changed = fx.Doc().Options();
    changed.m_loadEsms = 0;
    f.ApplyOptions(changed);
    EXPECT_TRUE(f.OptionsPending());
    EXPECT_EQ(fx.Doc().Options().m_loadEsms, 1);
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    QElapsedTimer t;
    t.start();
    while (f.OptionsPending() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(fx.Doc().Options().m_loadEsms, 0);
}

TEST(MainFrame, PrintsTheActiveListWithPageFooters) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    std::vector<fixtures::CRowSpec> rows;
    for (int i = 0; i < 250; ++i) rows.push_back({"NPC_", "id_" + std::to_string(i), "A.esp", "B.esp", "M.esm", EFinding::Conflict});
    fixtures::CTableMaker maker;
    f.SetPaneRows(EPane::Conflict, std::make_shared<CResultTable>(maker.Make(EPane::Conflict, rows)));

    auto printTo = [&](const std::string& path) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        return f.PrintActiveList(printer);
    };
    auto pdfPages = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int pages = 0;
        for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
            if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
        return pages;
    };

    const std::string path = fx.Dir() / "list.pdf";
    const QStringList footers = printTo(path);
    ASSERT_GE(footers.size(), 3);
    const int n = int(footers.size());
    EXPECT_EQ(footers.front(), QString("Page 1 of %1").arg(n));
    EXPECT_EQ(footers.back(), QString("Page %1 of %1").arg(n));
    EXPECT_EQ(pdfPages(path), n);

    f.SetPaneRows(EPane::Conflict, std::make_shared<CResultTable>(ConflictTableHeader()));
    const std::string empty = fx.Dir() / "empty.pdf";
    EXPECT_EQ(printTo(empty), QStringList{"Page 1 of 1"});
    EXPECT_EQ(pdfPages(empty), 1);
}

TEST(MainFrame, ClosingDuringALongExtractionStopsAndWaits) {
    fixtures::CTempDir dir;
    mkdata::CBenchOptions bench;
    bench.m_plugins = 10;
    bench.m_masterMegabytes = 30;
    const auto written = mkdata::WriteBenchSet(dir.Path(), bench);
    ASSERT_TRUE(written.m_ok) << written.m_error;

    CDocConfig config;
    config.m_settingsPath = dir / "vantor.ini";
    config.m_installDir = dir.Path();
    auto frame = std::make_unique<CMainFrame>(config);
    frame->show();
    CFileChoice choice{CFileChoice::EStatus::Chosen, {}};
    for (const auto& path : written.m_files)
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".esp") == 0) choice.m_paths.push_back(path);
    frame->Link().m_chooserHook = [&](const CFileChooser&) -> std::optional<CFileChoice> { return choice; };
    frame->Action(C::kChoosePlugins)->trigger();
    frame->Action(C::kExtractData)->trigger();

    QElapsedTimer wait;
    wait.start();
    while (!frame->MessagePane()->Bar() && wait.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(frame->Doc().IsBusy()) << "the extraction ended before the window was closed";

    // The worker is stopped and waited for; the files it read are freed
    // only after that, with the window.
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(frame->Doc().IsBusy());
    EXPECT_TRUE(frame->Doc().Stopped());
    frame.reset();
    EXPECT_TRUE(std::filesystem::exists(dir / "vantor.ini"));
}

}  // namespace
}  // namespace vantor::uitest
