// The window on screen: where it opens, what it remembers, labels that fit
// their text, the lists' columns, keyboard and context menu, help.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSplitter>
#include <QTextBrowser>
#include <filesystem>
#include <fstream>

#include "DialogRepairDlg.h"
#include "EntryDlg.h"
#include "FindDlg.h"
#include "FrameFixture.h"
#include "LeftView.h"
#include "ViewFileDlg.h"
#include "platform/Files.h"

namespace vantor::uitest {
namespace {

std::string FileText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, text);
    return text;
}

TEST(MainWindow, OpensMaximizedFirstThenWhereItWasLeft) {
    // A comment and a section of the user's own: their bytes must survive.
    fixtures::CTempDir dir;
    const std::string settings = dir / "vantor.ini";
    std::ofstream(settings, std::ios::binary) << "; mine\r\n[Mine]\r\nKey=value\r\n";
    auto start = [&] {
        CDocConfig config;
        config.m_settingsPath = settings;
        config.m_installDir = dir.Path();
        auto frame = std::make_unique<CMainFrame>(config);
        frame->show();
        QCoreApplication::processEvents();
        return frame;
    };
    auto frame = start();
    EXPECT_TRUE(frame->isMaximized());
    const std::string before = FileText(settings);
    ASSERT_EQ(before.rfind("; mine\r\n[Mine]\r\nKey=value\r\n", 0), 0u);

    frame->showNormal();
    frame->setGeometry(40, 50, 620, 430);
    auto* s0 = frame->findChildren<QSplitter*>().front();
    frame->ShowPane(EPane::All);
    s0->setSizes({150, 470});
    QCoreApplication::processEvents();
    const QList<int> sizes = s0->sizes();
    // A header dragged by the user.
    frame->View(EPane::Warning)->horizontalHeader()->resizeSection(2, 233);
    QCoreApplication::processEvents();
    ASSERT_TRUE(frame->close());
    frame.reset();

    const std::string after = FileText(settings);
    EXPECT_EQ(after.rfind(before, 0), 0u) << "the file's bytes before [Window] changed";
    EXPECT_NE(after.find("[Window]"), std::string::npos);

    frame = start();
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), QRect(40, 50, 620, 430));
    frame->ShowPane(EPane::All);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->findChildren<QSplitter*>().front()->sizes(), sizes);
    EXPECT_EQ(frame->View(EPane::Warning)->UserColumnWidths().value(2), 233);
    EXPECT_EQ(frame->View(EPane::Warning)->columnWidth(2), 233);
    frame->showMaximized();
    ASSERT_TRUE(frame->close());
    frame.reset();
    frame = start();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->normalGeometry(), QRect(40, 50, 620, 430));
    frame->close();
    frame.reset();

    // A place on no screen (a display that is gone) opens maximized.
    std::string moved = FileText(settings);
    const auto at = moved.find("Placement=");
    moved.replace(at, moved.find('\r', at) - at, "Placement=-30000,-30000,620,430");
    std::ofstream(settings, std::ios::binary) << moved;
    frame = start();
    EXPECT_TRUE(frame->isMaximized());
}

// Every text-bearing control of `window` as wide and high as its text needs.
void ExpectWholeTexts(QWidget& window, const char* name) {
    window.show();
    QCoreApplication::processEvents();
    int checked = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window)) continue;
        QSize need;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) need = w->sizeHint();
        else if (qobject_cast<QGroupBox*>(w)) need = w->minimumSizeHint();
        else continue;
        ++checked;
        EXPECT_GE(w->width(), need.width()) << name << ": " << w->metaObject()->className() << " "
                                            << w->property("text").toString().toStdString()
                                            << w->property("title").toString().toStdString();
        EXPECT_GE(w->height(), need.height()) << name;
        EXPECT_TRUE(window.rect().contains(QRect(w->mapTo(&window, QPoint(0, 0)), w->size()))) << name;
    }
    EXPECT_GT(checked, 3) << name;
    window.hide();
}

TEST(Dialogs, ShowEveryLabelWholeAtALargeFont) {
    CFrameFixture fx;
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSize(normal.pointSize() * 2 + 4);
    QApplication::setFont(large);

    COptionSet options;
    CFindDlg find(options, &fx.Frame());
    ExpectWholeTexts(find, "Find");
    CViewFileDlg view({{"A Plugin With A Long Name.esp"}, {"Sample.esm"}}, &fx.Frame());
    ExpectWholeTexts(view, "View File");
    CRepairDialogSeed seed;
    seed.m_repairName = "Dialog Repair.esp";
    CDialogRepairDlg repair(seed, fx.Frame().Link(), &fx.Frame());
    ExpectWholeTexts(repair, "Dialog Repair Tool");

    QApplication::setFont(normal);

    // A short text under a long caption: the box is wide enough for both.
    const QString caption = QStringLiteral("Please Select Entries from only one column at a time.");
    QMessageBox box(QMessageBox::NoIcon, caption, QStringLiteral("Unable to Delete"), QMessageBox::Ok, &fx.Frame());
    FitCaption(box);
    box.show();
    QCoreApplication::processEvents();
    QFont bold = box.font();
    bold.setBold(true);
    // A window manager draws it in bold, beside an icon and three buttons.
    EXPECT_GT(box.width(), QFontMetrics(bold).horizontalAdvance(caption) + 100);
    box.hide();
}

TEST(Lists, ColumnsFitTheirTextsAndTheTreeItsNames) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    // A plugin whose name is wider than the tree's first width.
    const std::string longName = "Sample Armory With A Name Far Longer Than The Tree Is Wide.esp";
    std::filesystem::copy_file(fx.DataDir() + "Sample Armory.esp", fx.DataDir() + longName);
    CFileChoice choice{CFileChoice::EStatus::Chosen, {}};
    for (const std::string& name : {longName, std::string("Sample Quests.esp"), std::string("Sample Tweaks.esp")})
        choice.m_paths.push_back(fx.DataDir() + name);
    fx.m_choices.push_back(choice);
    f.Action(CMainFrame::kChoosePlugins)->trigger();
    EXPECT_GE(f.Tree()->width(), f.Tree()->WidthForNames());
    f.Action(CMainFrame::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());

    CResultView& list = *f.View(EPane::Conflict);
    ASSERT_GT(list.Model().rowCount(), 0);
    const QFontMetrics metrics(list.font());
    int total = 0;
    for (int c = 0; c < list.Model().columnCount(); ++c) {
        int longest = 0;
        for (int r = 0; r < list.Model().rowCount(); ++r)
            longest = std::max(longest, metrics.horizontalAdvance(list.model()->index(r, c).data().toString()));
        const int cap = std::max(200, metrics.averageCharWidth() * 48);
        EXPECT_GE(list.columnWidth(c), std::min(longest, cap)) << c;
        total += list.columnWidth(c);
    }
    // Width left over goes to a column, not to an empty strip.
    EXPECT_GE(total, list.viewport()->width());

    // A width the user gave stays when the list is filled again.
    list.horizontalHeader()->resizeSection(0, 97);
    f.Action(CMainFrame::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(list.columnWidth(0), 97);
}

TEST(Help, IsTheUsersGuideBuiltIntoTheProgram) {
    CFrameFixture fx;
    const QString guide = fx.Frame().HelpBrowser()->toPlainText();
    for (const char* part : {"The lists", "How the checks decide", "how to restore", "The command line"})
        EXPECT_TRUE(guide.contains(QString::fromLatin1(part), Qt::CaseInsensitive)) << part;
    // Not the developers' build notes, and no comment markers as text.
    EXPECT_FALSE(guide.contains("cmake"));
    EXPECT_FALSE(guide.contains("BEGIN how-the-checks-decide"));
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    for (const char* option : {"--help", "--version"}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VANTORSCOPE_PATH), {QString::fromLatin1(option)});
        ASSERT_TRUE(program.waitForFinished(30000)) << option;
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(program.exitCode(), 0) << option << ": " << program.readAllStandardError().toStdString();
        EXPECT_TRUE(out.contains(std::string(option) == "--help" ? "--install-dir" : VANTOR_VERSION)) << option;
    }
}

}  // namespace
}  // namespace vantor::uitest
