// The windows the frame opens: the entry editor and its hex dump, Find,
// View File, the options sheet and the Dialog Repair Tool.
#include <gtest/gtest.h>

#include <QToolTip>

#include <QMessageBox>
#include <QGroupBox>
#include <QAbstractButton>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>

#include "DialogRepairDlg.h"
#include "EntryDlg.h"
#include "FindDlg.h"
#include "FrameFixture.h"
#include "ViewFileDlg.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "widgets/HexView.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using B = CEntryDlg;

void DoubleClick(CResultView& v, int r, int c) { emit v.doubleClicked(v.model()->index(r, c)); }

// The bytes of `data` that differ from `compare` (or lie past its end), as ".x..".
std::string Marks(std::string_view data, std::string_view compare) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) out += i >= compare.size() || data[i] != compare[i] ? 'x' : '.';
    return out;
}

// What the editor's hex view shows and marks, as Marks() gives it.
std::string Marks(CEntryDlg& dlg) {
    dlg.Button(B::kHexView)->click();
    if (!dlg.HexView()) return "no hex view";
    std::string out;
    for (std::size_t i = 0; i < dlg.HexView()->Layout().Size(); ++i)
        out += dlg.HexView()->Layout().Differs(i) ? 'x' : '.';
    return out;
}

// The buttons shown, "(greyed)" ones in brackets, "Read Only" ticked [x] or
// not [ ], and the view on screen.
std::string Looks(CEntryDlg& dlg) {
    const char* names[] = {"hex", "grid", "add", "insert", "delrow", "write", "delete"};
    std::string out;
    for (int b = 0; b < B::kButtonCount; ++b) {
        const QPushButton* button = dlg.Button(B::EButton(b));
        if (!button->isHidden())
            out += button->isEnabled() ? names[b] + std::string(" ") : "(" + std::string(names[b]) + ") ";
    }
    if (!dlg.ReadOnlyBox()->isHidden()) out += dlg.ReadOnlyBox()->isChecked() ? "[x] " : "[ ] ";
    if (!dlg.Grid()->isHidden())
        out += dlg.Grid()->editTriggers() == QAbstractItemView::NoEditTriggers ? "grid" : "editable grid";
    if (dlg.HexView() && !dlg.HexView()->isHidden()) out += "hex";
    return out;
}

CEntryDlg* EditorTitled(CMainFrame& f, const std::string& title) {
    for (CEntryDlg* dlg : Editors(f))
        if (dlg->windowTitle().toStdString() == title) return dlg;
    return nullptr;
}

// A list's context menu for row 0 and its items, "(greyed)" when greyed.
std::pair<std::unique_ptr<QMenu>, QStringList> MenuOf(CResultView& view, int column) {
    std::unique_ptr<QMenu> menu(view.ContextMenu(0, column));
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? "-" : a->text().section('\t', 0, 0) + (a->isEnabled() ? "" : " (greyed)"));
    return {std::move(menu), texts};
}

// One walk through the editor on the sample set's iron sword, which Sample
// Tweaks.esp takes over from Sample Armory.esp and Sample.esm.
TEST(EntryEditor, OpensComparesWritesAndDeletesOnlyWhenItMay) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.ChooseSamplePlugins();
    f.Action(CMainFrame::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    CResultView& conflicts = *f.View(EPane::Conflict);
    CResultView& warnings = *f.View(EPane::Warning);
    const std::string file = "Sample Tweaks.esp";
    const int row = RowWith(conflicts, "sample_iron_sword", file, 3);
    ASSERT_GE(row, 0);
    const CEntry* tweaks = fx.Doc().FindEntry(file, "sample_iron_sword", "WEAP", false);
    const CEntry* armory = fx.Doc().FindEntry("Sample Armory.esp", "sample_iron_sword", "WEAP", false);
    ASSERT_TRUE(tweaks && armory);

    // Enter, the menu's Open and a double click on a file column open the
    // row's entry; a double click on the name column opens nothing.
    conflicts.setCurrentIndex(conflicts.model()->index(row, 2));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&conflicts, &enter);
    ASSERT_EQ(Editors(f).size(), 1u);
    EXPECT_EQ(Editors(f)[0]->windowTitle(), QStringLiteral("Sample Tweaks.esp - sample_iron_sword"));
    f.CloseEntryEditors({});
    auto [menu, texts] = MenuOf(conflicts, 1);
    EXPECT_EQ(texts, (QStringList{"Open", "Delete", "-", "Copy", "Find Object"}));
    std::string searched = "none";
    f.SetFindDialog([&](COptionSet&, const std::string& text, QWidget*) -> std::optional<CFindParams> {
        searched = text;
        return std::nullopt;
    });
    menu->actions().back()->trigger();
    EXPECT_EQ(searched, std::string(conflicts.Model().Text(0, 2)));
    menu->actions().front()->trigger();
    EXPECT_EQ(Editors(f).size(), 1u);
    f.CloseEntryEditors({});
    DoubleClick(conflicts, row, 2);
    EXPECT_TRUE(Editors(f).empty());
    DoubleClick(conflicts, row, 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    QPointer<CEntryDlg> dlg = Editors(f)[0];
    EXPECT_EQ(dlg->size(), QSize(625, 250));
    // Editing starts off; the grid shows one row per subrecord.
    EXPECT_EQ(Looks(*dlg), "hex (add) (insert) (delrow) (write) (delete) [x] grid");
    CSubRecords subs;
    ASSERT_TRUE(SplitSubRecords(tweaks->Data(), subs));
    ASSERT_EQ(dlg->Grid()->rowCount(), int(subs.size()));
    EXPECT_EQ(dlg->Grid()->item(0, 1)->text().toStdString(), subs[0].m_tag);
    EXPECT_FALSE(dlg->Grid()->item(0, 3)->flags() & Qt::ItemIsEditable);
    // Typing while "Read Only" is ticked says why nothing changes; Enter in
    // the grid never closes the window.
    dlg->Grid()->setCurrentCell(0, 2);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(dlg->Grid(), &typed);
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("\"Read Only\" is ticked"))) << QToolTip::text().toStdString();
    EXPECT_EQ(dlg->Grid()->item(0, 2)->text().toStdString(), std::string(subs[0].m_payload.c_str()));
    QCoreApplication::sendEvent(dlg->Grid(), &enter);
    ASSERT_EQ(Editors(f).size(), 1u);
    dlg->ReadOnlyBox()->setChecked(false);
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow write delete [ ] editable grid");

    // The hex view: this entry's bytes against the other file's; the row and
    // write buttons act on the grid, so not while the bytes show.
    EXPECT_EQ(Marks(*dlg), Marks(tweaks->Data(), armory->Data()));
    EXPECT_NE(Marks(*dlg).find('x'), std::string::npos);
    EXPECT_EQ(dlg->HexView()->Layout().Bytes(), tweaks->Data());
    EXPECT_EQ(Looks(*dlg), "grid (add) (insert) (delrow) (write) delete [ ] hex");
    dlg->Button(B::kGridView)->click();
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow write delete [ ] editable grid");

    // The same cell again brings this window forward instead of a second;
    // the overridden file's entry is compared with the overriding one; the
    // master's copy is only looked at; a warning whose original file is
    // "None" is compared with itself.
    DoubleClick(conflicts, row, 3);
    EXPECT_EQ(Editors(f).size(), 1u);
    DoubleClick(conflicts, row, 4);
    CEntryDlg* older = EditorTitled(f, "Sample Armory.esp - sample_iron_sword");
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(Marks(*older), Marks(armory->Data(), tweaks->Data()));
    DoubleClick(conflicts, row, 5);
    CEntryDlg* master = EditorTitled(f, "Sample.esm - sample_iron_sword");
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(Looks(*master), "hex grid");
    master->Button(B::kHexView)->click();
    EXPECT_EQ(Looks(*master), "grid hex");
    ASSERT_EQ(warnings.Model().Text(0, 4), "None");
    DoubleClick(warnings, 0, 3);
    CEntryDlg* alone = EditorTitled(f, file + " - " + std::string(warnings.Model().Text(0, 2)));
    ASSERT_NE(alone, nullptr);
    const std::string same = Marks(*alone);
    EXPECT_TRUE(!same.empty() && same.find_first_not_of('.') == std::string::npos) << same;
    // Escape closes one window, without a question when nothing was edited;
    // the others stay.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(master, &escape);
    ASSERT_EQ(Editors(f).size(), 3u);
    fx.m_messages.clear();
    QCoreApplication::sendEvent(alone, &escape);
    EXPECT_TRUE(fx.m_messages.empty());
    f.CloseEntryEditors("Sample Armory.esp - sample_iron_sword");
    ASSERT_EQ(Editors(f).size(), 1u);

    // While an operation runs the file waits: nothing is written or deleted,
    // Delete on the entry's row neither closes the editor nor acts, and the
    // lists' menus keep only Copy.
    ASSERT_TRUE(fx.StartHeldOperation());
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow (write) (delete) [ ] editable grid");
    conflicts.setCurrentIndex(conflicts.model()->index(row, 3));
    ReleaseKey(conflicts, Qt::Key_Delete);
    EXPECT_EQ(Editors(f).size(), 1u);
    warnings.setCurrentIndex(warnings.model()->index(0, 2));
    EXPECT_EQ(MenuOf(warnings, 2).second,
              (QStringList{"Open (greyed)", "Delete (greyed)", "-", "Copy", "Find Object (greyed)"}));
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow write delete [ ] editable grid");
    ASSERT_NE(fx.Doc().FindEntry(file, "sample_iron_sword", "WEAP", false), nullptr);

    // Text the game's code page cannot hold stops the writing at its row
    // with the converter's message, never written as "??".
    const auto before = ReadEntries(fx.DataDir(), file);
    const std::pair<std::string, std::string> key{"WEAP", "sample_iron_sword"};
    ASSERT_TRUE(before.count(key));
    QTableWidget& grid = *dlg->Grid();
    int name = 0;
    while (name < grid.rowCount() && grid.item(name, 1)->text() != QStringLiteral("FNAM")) ++name;
    ASSERT_LT(name, grid.rowCount());
    grid.item(name, 2)->setText(QStringLiteral("\u0142\u0105"));
    grid.setCurrentCell(0, 1);
    fx.m_messages.clear();
    EXPECT_FALSE(dlg->WriteToEsp());
    EXPECT_EQ(grid.currentRow(), name);
    EXPECT_TRUE(dlg->Button(B::kWriteToEsp)->isEnabled());
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_caption + ": " + fx.m_messages[0].m_text,
              "Invalid Data: Ascii Type Data not Valid Ascii at Row " + std::to_string(name + 1) + ".");
    EXPECT_EQ(ReadEntries(fx.DataDir(), file), before);
    // "Bytes" follows the text at once: the letters and the closing zero byte.
    grid.item(name, 2)->setText("Blade");
    EXPECT_EQ(grid.item(name, 4)->text(), QStringLiteral("6"));
    grid.item(name, 2)->setText("Blade of Tests");
    EXPECT_EQ(grid.item(name, 4)->text(), QStringLiteral("15"));
    // A row added and deleted again leaves nothing behind.
    dlg->AddRow();
    dlg->DeleteRow();
    fx.m_answers = {EAnswer::Yes, EAnswer::Yes};
    EXPECT_TRUE(dlg->WriteToEsp());
    EXPECT_TRUE(std::filesystem::exists(fx.DataDir() + "Sample Tweaks.OLD"));
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Written to ESP: Sample Tweaks.esp"));
    // Of the entry only FNAM changed: the grid's other rows went back as read.
    CSubRecords old;
    ASSERT_TRUE(SplitSubRecords(before.at(key), old));
    std::vector<records::CSub> edited;
    for (const auto& sub : old)
        edited.push_back(
            records::Sub(sub.m_tag, sub.m_tag == "FNAM" ? std::string("Blade of Tests", 15) : sub.m_payload));
    EXPECT_EQ(ReadEntries(fx.DataDir(), file).at(key), records::SubBytes(edited));
    // The window now shows what the file holds.
    EXPECT_EQ(grid.item(name, 2)->text(), QStringLiteral("Blade of Tests"));
    EXPECT_EQ(grid.item(name, 4)->text(), QStringLiteral("15"));

    // A new row below the visible ones is scrolled to.
    for (int i = 0; i < 12; ++i) dlg->Button(B::kAddRow)->click();
    QCoreApplication::processEvents();
    const QRect last = grid.visualItemRect(grid.item(grid.rowCount() - 1, 1));
    EXPECT_TRUE(grid.viewport()->rect().contains(last)) << last.y() << " in " << grid.viewport()->height();
    EXPECT_EQ(grid.currentRow(), grid.rowCount() - 1);
    // Unwritten edits: Escape asks; No keeps the window, and so does closing
    // the main window, which then stays open too.
    fx.m_messages.clear();
    fx.m_answers = {EAnswer::No};
    QCoreApplication::sendEvent(dlg, &escape);
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_caption, "Discard Changes");
    EXPECT_EQ(fx.m_messages[0].m_default, EAnswer::No);
    ASSERT_EQ(Editors(f).size(), 1u);
    fx.m_answers = {EAnswer::No};
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(Editors(f).size(), 1u);
    fx.m_answers = {EAnswer::Yes};
    QCoreApplication::sendEvent(dlg, &escape);
    EXPECT_TRUE(Editors(f).empty());
    // Every editor closes when an operation starts.
    DoubleClick(conflicts, row, 4);
    f.Action(CMainFrame::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_TRUE(Editors(f).empty());

    // Delete Entry: not while "Read Only" is ticked; declined, nothing
    // changes; accepted, the window closes and the entry's rows go from the
    // list and the file.
    const std::size_t rowsBefore = warnings.Model().Table().RowCount();
    DoubleClick(warnings, RowWith(warnings, "sample_priest", "Sample Quests.esp", 3), 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    dlg = Editors(f)[0];
    EXPECT_FALSE(dlg->Button(B::kDeleteEntry)->isEnabled());
    dlg->ReadOnlyBox()->setChecked(false);
    fx.m_answers = {EAnswer::No};
    dlg->Button(B::kDeleteEntry)->click();
    EXPECT_EQ(Editors(f).size(), 1u);
    EXPECT_EQ(warnings.Model().Table().RowCount(), rowsBefore);
    fx.m_answers = {EAnswer::Yes};
    dlg->Button(B::kDeleteEntry)->click();
    EXPECT_TRUE(Editors(f).empty());
    EXPECT_TRUE(dlg.isNull());
    EXPECT_EQ(RowWith(warnings, "sample_priest", "Sample Quests.esp", 3), -1);
    EXPECT_LT(warnings.Model().Table().RowCount(), rowsBefore);
    EXPECT_EQ(fx.Doc().ResultTable(EPane::Warning)->RowCount(), warnings.Model().Table().RowCount());
    EXPECT_FALSE(ReadEntries(fx.DataDir(), "Sample Quests.esp").count({"NPC_", "sample_priest"}));
    // Delete from the menu of a warning row's name cell deletes the entry
    // from the row's plugin.
    const auto cell = [&](int column) { return std::string(warnings.Model().Text(0, column)); };
    const std::string other = cell(3), id = cell(2), tag = cell(0);
    warnings.setCurrentIndex(warnings.model()->index(0, 2));
    fx.m_answers = {EAnswer::Yes};
    MenuOf(warnings, 2).first->actions()[1]->trigger();
    EXPECT_EQ(fx.Doc().FindEntry(other, id, tag, false), nullptr);
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
        const std::string text = (w->property("text").toString() + w->property("title").toString()).toStdString();
        EXPECT_GE(w->width(), need.width()) << name << ": " << w->metaObject()->className() << " " << text;
        EXPECT_GE(w->height(), need.height()) << name;
        EXPECT_TRUE(window.rect().contains(QRect(w->mapTo(&window, QPoint(0, 0)), w->size()))) << name;
    }
    EXPECT_GT(checked, 3) << name;
}

TEST(Dialogs, ShowWholeLabelsAndDifferingBytesInRed) {
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

    // The hex view paints the bytes that differ in red.
    auto redPixels = [](CHexView& view) {
        view.resize(600, 120);
        const QImage image = view.viewport()->grab().toImage();
        int count = 0;
        for (int i = 0; i < image.width() * image.height(); ++i) {
            const QColor c = image.pixelColor(i % image.width(), i / image.width());
            count += c.red() > 180 && c.green() < 120 && c.blue() < 120;
        }
        return count;
    };
    CHexView same("ABCDEFGH", "ABCDEFGH"), differs("ABCDEFGH", "ABCxEFG");
    EXPECT_EQ(redPixels(same), 0);
    EXPECT_GT(redPixels(differs), 0);
    // Byte 3 and byte 7 (past the comparison's end) differ, in both columns.
    const CHexLayout& l = differs.Layout();
    for (const auto& [column, red] : {std::pair(l.HexColumn(3), true), std::pair(l.CharColumn(3), true),
                                      std::pair(l.CharColumn(7), true), std::pair(l.HexColumn(2), false),
                                      std::pair(decltype(l.HexColumn(0)){0}, false)})
        EXPECT_EQ(differs.ColumnColour(0, column) == QColor(255, 51, 50), red) << column;
}

}  // namespace
}  // namespace vantor::uitest
