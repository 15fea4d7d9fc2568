// The real main frame on the sample set: the lists, the tree, the progress
// display, where the window opens and what it remembers, printing, help and
// closing. What each operation tells is in the operations transcript.
#include <gtest/gtest.h>

#include <QCursor>
#include <QHeaderView>
#include <QToolTip>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QAbstractButton>
#include <QMimeData>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QPrinter>
#include <QSplitter>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FrameFixture.h"
#include "LeftView.h"
#include "OptionsSheet.h"
#include "PageRangeDlg.h"
#include "MkData.h"
#include "fixtures/FaultGuard.h"
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
    // A tip on screen follows the row under the pointer once the rows move.
    const QModelIndex top = warnings.model()->index(0, 2);
    const QString before = top.data().toString();
    QCursor::setPos(warnings.viewport()->mapToGlobal(warnings.visualRect(top).center()));
    QToolTip::showText(QCursor::pos(), before, warnings.viewport(), warnings.visualRect(top));
    emit warnings.horizontalHeader()->sectionClicked(2);
    ASSERT_TRUE(fx.WaitIdle());
    ASSERT_NE(warnings.model()->index(0, 2).data().toString(), before);
    EXPECT_EQ(QToolTip::text(), warnings.model()->index(0, 2).data().toString());
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
    QPageLayout::Orientation turned{};
    auto print = [&](const CResultTable& table, int from = 0, int to = 0) {
        f.SetPaneRows(EPane::Conflict, std::make_shared<CResultTable>(table));
        QStringList footers;
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFileName(QString::fromStdString(fx.Dir() / "list.pdf"));
            footers = f.PrintActiveList(printer, from, to);
            turned = printer.pageLayout().orientation();
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
    EXPECT_EQ(turned, QPageLayout::Portrait);
    EXPECT_EQ(print(ConflictTableHeader()), std::pair(QStringList{"Page 1 of 1"}, 1));
    // A range of pages; Cancel in the progress window stops after the page
    // it was pressed on.
    const CResultTable many = maker.Make(EPane::Conflict, rows);
    EXPECT_EQ(print(many, 2, 3), std::pair(QStringList{QString("Page 2 of %1").arg(n), QString("Page 3 of %1").arg(n)}, 2));
    f.m_printProgressHook = [](int done, int) { return done < 2; };
    EXPECT_EQ(print(many).second, 2);
    f.m_printProgressHook = nullptr;
    // File names too wide for a portrait page turn it, and are printed whole.
    for (auto& row : rows) row.m_file = row.m_other = "A Plugin Whose Name Goes On And On, Part " + row.m_id + ".esp";
    print(maker.Make(EPane::Conflict, rows));
    EXPECT_EQ(turned, QPageLayout::Landscape);
    // A preview of a long list shows the pages asked for; a short one all.
    EXPECT_EQ(f.AskPreviewPages(C::kPreviewPages), std::pair(1, int(C::kPreviewPages)));
    WhenShown<CPageRangeDlg>([](CPageRangeDlg& dlg) {
        EXPECT_EQ(dlg.To()->value(), C::kPreviewPages);
        dlg.To()->setValue(7);
        dlg.From()->setValue(9);
        dlg.accept();
    });
    EXPECT_EQ(f.AskPreviewPages(900), std::pair(9, 9));

    // OpenMW's load order is kept, and the tree shows each file's folder.
    const CGameChoice openmw{CGameChoice::EGame::OpenMW, fx.Dir() / "openmw.cfg"};
    f.ApplyGame(openmw);
    EXPECT_EQ(CGameChoice::Load(fx.Dir() / "vantor.ini"), openmw);
    EXPECT_TRUE(fx.m_messages.empty());
    f.Action(C::kChooseActive)->trigger();
    const QList<QTreeWidgetItem*> patch =
        f.Tree()->findItems(QStringLiteral("Sample Patch.omwaddon"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(patch.size(), 1);
    EXPECT_EQ(patch.front()->toolTip(0), QString::fromStdString(fx.Dir().Path() + "Mods/Sample Patch/Sample Patch.omwaddon"));
    f.Action(C::kChoosePlugins)->trigger();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_filters[0].m_pattern, "*.esp;*.omwaddon");
    EXPECT_EQ(fx.m_choosers[0].m_filters[1].m_pattern, "*.esm;*.omwgame");

    // From the worker thread the calls are posted and handled in the order
    // made: a notice told after each report sees the frame's state then.
    // While its box is on screen the display is put away, not left
    // counting; it comes back after the answer.
    std::vector<int> seen;
    QStringList texts;
    f.Link().m_askHook = [&](const CMessage&) -> std::optional<EAnswer> {
        const CProgressBar* bar = f.MessagePane()->Bar();
        seen.push_back(bar ? bar->value() : -1);
        EXPECT_FALSE(bar && bar->isVisible());
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
    const QString waiting = QStringLiteral("Waiting for an answer");
    EXPECT_EQ(texts, (QStringList{waiting, waiting, waiting, waiting, "Ready"}));
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

    // A settings file that cannot be written (a full disk, say) is said
    // before the window goes, naming the file.
    frame->showNormal();
    frame->setGeometry(60, 70, 600, 400);
    std::vector<CMessage> told;
    frame->Link().m_askHook = [&told](const CMessage& m) -> std::optional<EAnswer> {
        told.push_back(m);
        return EAnswer::Ok;
    };
    {
        const fixtures::CFaultGuard full([](platform::EFileOp op, const std::string&) {
            return op == platform::EFileOp::Write || op == platform::EFileOp::ShortWrite;
        });
        EXPECT_TRUE(frame->close());
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].m_caption, "Warning");
    EXPECT_NE(told[0].m_text.find("The settings could not be written to " + settings), std::string::npos)
        << told[0].m_text;
}

// Sets environment variables for a scope (unset for nullopt), then puts them back.
class CEnvironment {
public:
    CEnvironment(std::initializer_list<std::pair<const char*, std::optional<std::string>>> values) {
        for (const auto& [name, value] : values) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
            if (value)
                qputenv(name, QByteArray::fromStdString(*value));
            else
                qunsetenv(name);
        }
    }
    ~CEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_saved;
};

TEST(MainWindow, FirstStartWithoutTheGameOffersTheGamePage) {
    fixtures::CTempDir dir;
    ASSERT_TRUE(mkdata::WriteSampleSet(dir.Path()).m_ok);
    // No game anywhere the lookup goes, and no OpenMW either.
    if (std::filesystem::exists("/etc/openmw/openmw.cfg")) GTEST_SKIP() << "OpenMW is installed here";
    const CEnvironment nowhere{{"HOME", dir / "home"}, {platform::kInstallDirVariable, std::nullopt},
                               {"WINEPREFIX", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt},
                               {"XDG_DATA_HOME", std::nullopt}};
    CDocConfig config;
    config.m_settingsPath = dir / "vantor.ini";
    CMainFrame frame(config);
    std::vector<CMessage> asked;
    QString found;
    int page = -1;
    // Yes opens the sheet on its Game page, where the folder is set.
    frame.Link().m_askHook = [&](const CMessage& m) -> std::optional<EAnswer> {
        asked.push_back(m);
        WhenShown<COptionsSheet>([&](COptionsSheet& sheet) {
            page = sheet.Tabs()->currentIndex();
            found = sheet.GamePage()->m_found->text();
            sheet.GamePage()->m_gameFolder->setText(QString::fromStdString(dir.Path()));
            sheet.accept();
        });
        return EAnswer::Yes;
    };
    frame.show();
    QElapsedTimer wait;
    wait.start();
    while (asked.empty() && wait.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].m_caption, "Game Not Found");
    EXPECT_EQ(asked[0].m_buttons, EButtons::YesNo);
    EXPECT_EQ(page, 2);
    EXPECT_TRUE(found.startsWith("Not found")) << found.toStdString();
    // Kept for the next start, and in use at once: the active plugins come
    // from the folder's Morrowind.ini without another question.
    EXPECT_EQ(CGameChoice::Load(config.m_settingsPath).value_or(CGameChoice{}).m_installDir, dir.Path());
    frame.Action(CMainFrame::kChooseActive)->trigger();
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_FALSE(frame.Doc().PendingNames().empty());
    EXPECT_TRUE(frame.close());
}

TEST(MainWindow, DroppedFilesRecentSetsTheTreesKeysAndHelp) {
    auto fx = std::make_unique<CFrameFixture>();
    const std::string d = fx->DataDir();
    {
        CMainFrame& f = fx->Frame();
        EXPECT_FALSE(f.RecentMenu()->isEnabled());
        // Plugin files dropped on the window are chosen; other files are not.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(d + "Sample Armory.esp")),
                      QUrl::fromLocalFile(QString::fromStdString(fx->Dir() / "vantor.ini"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &drop);
        EXPECT_EQ(fx->Doc().PendingNames(), std::vector<std::string>{"Sample Armory.esp"});
        fx->ChooseSamplePlugins();
        ASSERT_EQ(f.RecentMenu()->actions().size(), 2);
        EXPECT_EQ(f.RecentMenu()->actions()[0]->text(),
                  QStringLiteral("&1 Sample Armory.esp, Sample Quests.esp, Sample Tweaks.esp"));
        EXPECT_EQ(f.RecentMenu()->actions()[1]->text(), QStringLiteral("&2 Sample Armory.esp"));

        // The tree: the whole path as the tip, Delete removes, Shift+F10
        // opens the item's menu.
        const QList<QTreeWidgetItem*> tweaks = f.Tree()->findItems("Sample Tweaks.esp", Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(tweaks.size(), 1);
        EXPECT_EQ(tweaks[0]->toolTip(0).toStdString(), d + "Sample Tweaks.esp");
        ASSERT_TRUE(f.Tree()->SelectText("Sample Quests.esp"));
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(f.Tree(), &del);
        EXPECT_EQ(fx->Doc().PendingNames().size(), 2u);
        QStringList items;
        QTimer::singleShot(50, [&items] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (QAction* a : popup->actions()) items << a->text();
                popup->close();
            }
        });
        QKeyEvent menuKey(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
        QApplication::sendEvent(f.Tree(), &menuKey);
        EXPECT_EQ(items, (QStringList{"Remove", "Add"}));

        // A set chosen again after New Check.
        f.Action(C::kNewCheck)->trigger();
        f.RecentMenu()->actions()[0]->trigger();
        EXPECT_EQ(fx->Doc().PendingNames().size(), 3u);

        // Help: contents, Find, and a size of the user's own.
        f.HelpBrowser();
        CHelpWindow& help = *f.HelpWindow();
        ASSERT_EQ(help.Contents()->topLevelItemCount(), 1);
        EXPECT_GE(help.Contents()->topLevelItem(0)->childCount(), 8);
        help.FindBox()->setText(QStringLiteral("restore"));
        EXPECT_TRUE(help.FindNext());
        EXPECT_EQ(help.Browser()->textCursor().selectedText().toLower(), QStringLiteral("restore"));
        help.FindBox()->setText(QStringLiteral("no such words in the guide"));
        EXPECT_FALSE(help.FindNext());
        help.resize(520, 410);
    }
    // Both kept for the next start.
    fx->Frame().close();
    const fixtures::CTempDir& dir = fx->Dir();
    auto again = StartFrame(dir);
    EXPECT_EQ(again->RecentMenu()->actions().size(), 2);
    again->HelpBrowser();
    EXPECT_EQ(again->HelpWindow()->size(), QSize(520, 410));
    again->close();
}

TEST(MainWindow, AQuestionAskedAgainInARunOffersYesToAll) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    f.Link().m_askHook = nullptr;
    // The real boxes: each one's buttons are noted, and "Yes to All" is
    // clicked where it is offered, else Yes.
    std::vector<QStringList> offered;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        QStringList texts;
        QAbstractButton* all = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            texts << b->text();
            if (b->text() == QStringLiteral("Yes to &All")) all = b;
        }
        offered.push_back(texts);
        (all ? all : box->button(QMessageBox::Yes))->click();
    });
    answer.start(20);
    std::vector<EAnswer> answers;
    auto run = [&] {
        offered.clear();
        answers.clear();
        ASSERT_TRUE(f.Start(fixtures::CTestOperation::Make([&](COperationContext& context) {
            for (int i = 0; i < 4; ++i)
                answers.push_back(
                    context.Link().Ask(CConflictingDialogueQuestion{"Greeting", "1", {"A.esp", "B.esp"}, "Hello"}).m_answer);
        })));
        ASSERT_TRUE(fx.WaitIdle());
    };
    run();
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_FALSE(offered[0].contains(QStringLiteral("Yes to &All")));
    EXPECT_TRUE(offered[1].contains(QStringLiteral("No to A&ll")));
    EXPECT_EQ(answers, std::vector<EAnswer>(4, EAnswer::Yes));
    // The next run asks again.
    run();
    EXPECT_EQ(offered.size(), 2u);
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    for (const std::string option : {"--help", "--version"}) {
        const fixtures::CProgramRun run = fixtures::RunProgram(
            "env", "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" VANTORSCOPE_PATH "' " + option, {}, {});
        EXPECT_EQ(run.m_exit, 0) << option << ": " << run.m_out;
        EXPECT_NE(run.m_out.find(option == "--help" ? "--install-dir" : VANTOR_VERSION), std::string::npos) << option;
    }
    // The options the guide's pictures are taken with are not the user's.
    const fixtures::CProgramRun help = fixtures::RunProgram(VANTORSCOPE_PATH, "--help", {}, {});
    EXPECT_EQ(help.m_out.find("--screenshot"), std::string::npos);
    EXPECT_EQ(help.m_out.find("--show-dialog"), std::string::npos);
    // Without a display: one plain sentence and status 1, no abort.
    const fixtures::CProgramRun none =
        fixtures::RunProgram("env", "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" VANTORSCOPE_PATH "'", {}, {});
    EXPECT_EQ(none.m_exit, 1) << none.m_out;
    EXPECT_EQ(none.m_out, "vantorscope: cannot open its window: no display was found (is DISPLAY or WAYLAND_DISPLAY "
                          "set?).\nThe command-line program vantor needs none.\n");
}

TEST(CommandLine, PictureScenesCleanOnlyCopiesInTheTemporaryFolder) {
    // The guide's "changes" scene cleans the plugins it is given: a modder's
    // own files, or a link to them from the temporary folder, are refused
    // before anything is read.
    const fixtures::CTempDir temp, own;
    ASSERT_FALSE(mkdata::WriteSampleSet(own.Path()).m_files.empty());
    const std::string armory = own.Path() + "Data Files/Sample Armory.esp";
    const std::string quests = own.Path() + "Data Files/Sample Quests.esp";
    const std::string linked = temp.Path() + "Sample Quests.esp";
    std::filesystem::create_symlink(quests, linked);
    const std::string before = FileText(armory) + FileText(quests);
    const fixtures::CProgramRun run = fixtures::RunProgram(
        "env", "QT_QPA_PLATFORM=offscreen TMPDIR='" + temp.Path() + "' '" VANTORSCOPE_PATH "' --install-dir '" +
                   own.Path() + "' --settings '" + temp.Path() + "vantor.ini' --screenshot '" + temp.Path() +
                   "x.png' --show-dialog changes '" + armory + "' '" + linked + "'",
        {}, {});
    EXPECT_EQ(run.m_exit, 1) << run.m_out;
    EXPECT_NE(run.m_out.find("runs only on copies inside"), std::string::npos) << run.m_out;
    EXPECT_NE(run.m_out.find(armory), std::string::npos) << run.m_out;
    EXPECT_NE(run.m_out.find(linked), std::string::npos) << run.m_out;
    EXPECT_EQ(run.m_out.find("vantor.ini"), std::string::npos) << run.m_out;
    EXPECT_EQ(FileText(armory) + FileText(quests), before);
    EXPECT_FALSE(std::filesystem::exists(own.Path() + "Data Files/Sample Armory.OLD"));
    EXPECT_FALSE(std::filesystem::exists(temp.Path() + "x.png"));
}

}  // namespace
}  // namespace vantor::uitest
