// The real main frame on the sample set: the lists, the tree, the progress
// display, where the window opens and what it remembers, printing, help and
// closing. What each operation tells is in the operations transcript.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPrinter>
#include <QSplitter>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FrameFixture.h"
#include "LeftView.h"
#include "MkData.h"
#include "fixtures/TableMaker.h"
#include "fixtures/System.h"
#include "fixtures/TestOperation.h"
#include "platform/Files.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;

TEST(MainFrame, ChecksFitsCopiesAndSortsTheLists) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    // A plugin whose name is wider than the tree's first width.
    const std::string longName = "Sample Armory With A Name Far Longer Than The Tree Is Wide.esp";
    std::filesystem::copy_file(fx.DataDir() + "Sample Armory.esp", fx.DataDir() + longName);
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.DataDir() + longName, fx.DataDir() + "Sample Tweaks.esp",
                                                           fx.DataDir() + "Sample Quests.esp"}});
    f.Action(C::kChoosePlugins)->trigger();
    EXPECT_GE(f.Tree()->width(), f.Tree()->WidthForNames());
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(f.MessagePane()->Bar(), nullptr);
    CResultView& list = *f.View(EPane::Conflict);
    // Copy takes the rectangle of the selection, unselected cells empty.
    SelectCells(list, {{0, 0}, {1, 2}});
    EXPECT_EQ(f.ActiveList(), &list);
    EXPECT_EQ(list.SelectedText(), QStringLiteral("NPC_\t\t\n\t\tsample_iron_sword\n"));

    // Columns fit their texts up to a cap; width left over goes to a column,
    // not to an empty strip; a width the user gave stays when the list is
    // filled again.
    const QFontMetrics metrics(list.font());
    int total = 0;
    for (int c = 0; c < list.Model().columnCount(); ++c) {
        int longest = 0;
        for (int r = 0; r < list.Model().rowCount(); ++r)
            longest = std::max(longest, metrics.horizontalAdvance(list.model()->index(r, c).data().toString()));
        EXPECT_GE(list.columnWidth(c), std::min(longest, std::max(200, metrics.averageCharWidth() * 48))) << c;
        total += list.columnWidth(c);
    }
    EXPECT_GE(total, list.viewport()->width());
    list.horizontalHeader()->resizeSection(0, 97);
    f.Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(list.columnWidth(0), 97);

    // Rows taken out while a sort runs: it starts again on what remains.
    // (What each click shows, and saving it, is in the operations transcript.)
    CResultView& warnings = *f.View(EPane::Warning);
    const std::size_t rows = warnings.Model().Table().RowCount();
    ASSERT_GT(rows, 2u);
    emit warnings.horizontalHeader()->sectionClicked(2);
    warnings.Model().RemoveRows({0});
    EXPECT_TRUE(warnings.Model().Sorting());
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(&warnings.Model().Table(), fx.Doc().ResultTable(EPane::Warning).get());
    std::vector<std::string> names;
    for (std::size_t r = 0; r < warnings.Model().Table().RowCount(); ++r)
        names.emplace_back(warnings.Model().Table().Cell(r, 2));
    EXPECT_EQ(names.size(), rows - 1);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // Another column starts ascending.
    emit warnings.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(warnings.Model().SortColumn(), 0);
    EXPECT_FALSE(warnings.Model().SortDescending());
}

TEST(MainFrame, PrintsTakesOpenMWsLoadOrderAndShowsProgress) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    std::vector<fixtures::CRowSpec> rows;
    for (int i = 0; i < 250; ++i)
        rows.push_back({"NPC_", "id_" + std::to_string(i), "A.esp", "B.esp", "M.esm", EFinding::Conflict});
    fixtures::CTableMaker maker;
    // The footers told, then the pages the PDF holds.
    auto print = [&](const CResultTable& table) {
        f.SetPaneRows(EPane::Conflict, std::make_shared<CResultTable>(table));
        QStringList footers;
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFileName(QString::fromStdString(fx.Dir() / "list.pdf"));
            footers = f.PrintActiveList(printer);
        }
        const std::string pdf = FileText(fx.Dir() / "list.pdf");
        int pages = 0;
        for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
            pages += pdf.compare(at, 12, "/Type /Pages") != 0;
        return std::pair(footers, pages);
    };
    const auto [footers, pages] = print(maker.Make(EPane::Conflict, rows));
    ASSERT_GE(footers.size(), 3);
    const int n = int(footers.size());
    EXPECT_EQ(footers.front(), QString("Page 1 of %1").arg(n));
    EXPECT_EQ(footers.back(), QString("Page %1 of %1").arg(n));
    EXPECT_EQ(pages, n);
    EXPECT_EQ(print(ConflictTableHeader()), std::pair(QStringList{"Page 1 of 1"}, 1));

    // OpenMW's load order is kept, and the tree shows each file's folder.
    const CGameChoice openmw{CGameChoice::EGame::OpenMW, fx.Dir() / "openmw.cfg"};
    f.ApplyGame(openmw);
    EXPECT_EQ(CGameChoice::Load(fx.Dir() / "vantor.ini"), openmw);
    EXPECT_TRUE(fx.m_messages.empty());
    f.Action(C::kChooseActive)->trigger();
    const QList<QTreeWidgetItem*> patch =
        f.Tree()->findItems(QStringLiteral("Sample Patch.omwaddon"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(patch.size(), 1);
    EXPECT_EQ(patch.front()->toolTip(0), QString::fromStdString(fx.Dir().Path() + "Mods/Sample Patch/"));
    f.Action(C::kChoosePlugins)->trigger();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_filters[0].m_pattern, "*.esp;*.omwaddon");
    EXPECT_EQ(fx.m_choosers[0].m_filters[1].m_pattern, "*.esm;*.omwgame");

    // From the worker thread the calls are posted and handled in the order
    // made: a notice told after each report sees the frame's state then.
    std::vector<int> seen;
    QStringList texts;
    f.Link().m_askHook = [&](const CMessage&) -> std::optional<EAnswer> {
        seen.push_back(f.MessagePane()->Bar() ? f.MessagePane()->Bar()->value() : -1);
        texts << f.MessagePane()->Text();
        return EAnswer::Ok;
    };
    ASSERT_TRUE(f.Start(fixtures::CTestOperation::Make([&](COperationContext& context) {
        for (int step = 0; step <= 3; ++step) {
            context.Link().Progress("Searching " + std::to_string(step * 100 / 3) + "% complete", 3);
            context.Link().Tell(CNothingFoundNotice{"probe"});
        }
        context.Link().Progress({}, 0);
        context.Link().Tell(CNothingFoundNotice{"probe"});
    })));
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, -1}));
    EXPECT_EQ(texts, (QStringList{"Searching 0% complete", "Searching 33% complete", "Searching 66% complete",
                                  "Searching 100% complete", "Ready"}));
    // The bar keeps to the right of the text.
    f.OnProgress("Extracting Plugin Data 0% complete", 5);
    ASSERT_NE(f.MessagePane()->Bar(), nullptr);
    const int textEnd = f.MessagePane()->fontMetrics().horizontalAdvance(f.MessagePane()->Text());
    EXPECT_GT(f.MessagePane()->Bar()->geometry().left(), textEnd);
    EXPECT_EQ(f.MessagePane()->Bar()->maximum(), 5);
    f.OnProgress({}, 0);
    EXPECT_EQ(f.MessagePane()->Text(), f.MessagePane()->IdleText());

    // Options changed during an operation apply when it ends.
    ASSERT_TRUE(fx.StartHeldOperation());
    COptionSet changed = fx.Doc().Options();
    changed.m_loadEsms = 0;
    f.ApplyOptions(changed);
    EXPECT_TRUE(f.OptionsPending());
    EXPECT_EQ(fx.Doc().Options().m_loadEsms, 1);
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_FALSE(f.OptionsPending());
    EXPECT_EQ(fx.Doc().Options().m_loadEsms, 0);
}

TEST(MainFrame, ClosingDuringALongExtractionStopsAndWaits) {
    fixtures::CTempDir dir;
    mkdata::CBenchOptions bench;
    bench.m_plugins = 10;
    bench.m_masterMegabytes = 30;
    const auto written = mkdata::WriteBenchSet(dir.Path(), bench);
    ASSERT_TRUE(written.m_ok) << written.m_error;
    auto frame = StartFrame(dir);
    CFileChoice choice{CFileChoice::EStatus::Chosen, {}};
    for (const auto& path : written.m_files)
        if (path.ends_with(".esp")) choice.m_paths.push_back(path);
    frame->Link().m_chooserHook = [&](const CFileChooser&) -> std::optional<CFileChoice> { return choice; };
    frame->Action(C::kChoosePlugins)->trigger();
    frame->Action(C::kExtractData)->trigger();
    QElapsedTimer wait;
    wait.start();
    while (!frame->MessagePane()->Bar() && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(frame->Doc().IsBusy()) << "the extraction ended before the window was closed";
    // The worker is stopped and waited for; the files it read are freed
    // only after that, with the window.
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(frame->Doc().IsBusy());
    EXPECT_FALSE(frame->Busy());
    frame.reset();
    EXPECT_TRUE(std::filesystem::exists(dir / "vantor.ini"));
}

TEST(MainWindow, OpensMaximizedFirstThenWhereItWasLeft) {
    // A comment and a section of the user's own: their bytes must survive.
    fixtures::CTempDir dir;
    const std::string settings = dir / "vantor.ini";
    std::ofstream(settings, std::ios::binary) << "; mine\r\n[Mine]\r\nKey=value\r\n";
    std::unique_ptr<CMainFrame> frame;
    auto restart = [&] {
        EXPECT_TRUE(!frame || frame->close());
        frame.reset();
        frame = StartFrame(dir);
        frame->ShowPane(EPane::All);
        QCoreApplication::processEvents();
    };
    restart();
    EXPECT_TRUE(frame->isMaximized());
    const std::string before = FileText(settings);
    ASSERT_EQ(before.rfind("; mine\r\n[Mine]\r\nKey=value\r\n", 0), 0u);

    frame->showNormal();
    frame->setGeometry(40, 50, 620, 430);
    frame->findChildren<QSplitter*>().front()->setSizes({150, 470});
    // A header dragged by the user.
    frame->View(EPane::Warning)->horizontalHeader()->resizeSection(2, 233);
    QCoreApplication::processEvents();
    const QList<int> sizes = frame->findChildren<QSplitter*>().front()->sizes();
    restart();
    const std::string after = FileText(settings);
    EXPECT_EQ(after.rfind(before, 0), 0u) << "the file's bytes before [Window] changed";
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), QRect(40, 50, 620, 430));
    EXPECT_EQ(frame->findChildren<QSplitter*>().front()->sizes(), sizes);
    EXPECT_EQ(frame->View(EPane::Warning)->UserColumnWidths().value(2), 233);
    EXPECT_EQ(frame->View(EPane::Warning)->columnWidth(2), 233);
    frame->showMaximized();
    restart();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->normalGeometry(), QRect(40, 50, 620, 430));
    EXPECT_TRUE(frame->close());
    frame.reset();

    // A place on no screen (a display that is gone) opens maximized.
    std::string moved = FileText(settings);
    const auto at = moved.find("Placement=");
    moved.replace(at, moved.find('\r', at) - at, "Placement=-30000,-30000,620,430");
    std::ofstream(settings, std::ios::binary) << moved;
    restart();
    EXPECT_TRUE(frame->isMaximized());
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    for (const std::string option : {"--help", "--version"}) {
        const fixtures::CProgramRun run = fixtures::RunProgram(
            "env", "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" VANTORSCOPE_PATH "' " + option, {}, {});
        EXPECT_EQ(run.m_exit, 0) << option << ": " << run.m_out;
        EXPECT_NE(run.m_out.find(option == "--help" ? "--install-dir" : VANTOR_VERSION), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace vantor::uitest
