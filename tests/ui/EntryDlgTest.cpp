// The entry editor window opened from the lists, the hex dump and the Find
// and View File dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <filesystem>

#include "EntryDlg.h"
#include "FindDlg.h"
#include "FrameFixture.h"
#include "widgets/StatusPane.h"
#include "ViewFileDlg.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "widgets/HexView.h"

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
    for (std::size_t i = 0; i < dlg.HexView()->Layout().Size(); ++i) out += dlg.HexView()->Layout().Differs(i) ? 'x' : '.';
    return out;
}

// The buttons shown, "(greyed)" ones in brackets, "Read Only" ticked [x] or
// not [ ], and the view on screen.
std::string Looks(CEntryDlg& dlg) {
    const char* names[] = {"hex", "grid", "add", "insert", "delrow", "write", "delete"};
    std::string out;
    for (int b = 0; b < B::kButtonCount; ++b) {
        const QPushButton* button = dlg.Button(B::EButton(b));
        if (!button->isHidden()) out += button->isEnabled() ? names[b] + std::string(" ") : "(" + std::string(names[b]) + ") ";
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

TEST(EntryEditor, OpensFromTheListsWithItsComparisonAndViews) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& conflicts = *f.View(EPane::Conflict);
    const int row = RowWith(conflicts, "sample_iron_sword", "Sample Tweaks.esp", 3);
    ASSERT_GE(row, 0);
    const CEntry* tweaks = fx.Doc().FindEntry("Sample Tweaks.esp", "sample_iron_sword", "WEAP", false);
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
    ASSERT_TRUE(Editors(f).empty());
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
    CEntryDlg& dlg = *Editors(f)[0];
    EXPECT_EQ(dlg.size(), QSize(625, 250));
    // Editing starts off; the grid shows one row per subrecord.
    EXPECT_EQ(Looks(dlg), "hex (add) (insert) (delrow) (write) (delete) [x] grid");
    CSubRecords subs;
    SplitSubRecords(tweaks->Data(), subs);
    ASSERT_EQ(dlg.Grid()->rowCount(), int(subs.size()));
    EXPECT_EQ(dlg.Grid()->item(0, 1)->text().toStdString(), subs[0].m_tag);
    EXPECT_FALSE(dlg.Grid()->item(0, 3)->flags() & Qt::ItemIsEditable);
    dlg.ReadOnlyBox()->setChecked(false);
    EXPECT_EQ(Looks(dlg), "hex add insert delrow write delete [ ] editable grid");

    // The hex view: this entry's bytes against the other file's; the row and
    // write buttons act on the grid, so not while the bytes show.
    EXPECT_EQ(Marks(dlg), Marks(tweaks->Data(), armory->Data()));
    EXPECT_NE(Marks(dlg).find('x'), std::string::npos);
    EXPECT_EQ(dlg.HexView()->Layout().Bytes(), tweaks->Data());
    EXPECT_EQ(Looks(dlg), "grid (add) (insert) (delrow) (write) delete [ ] hex");
    dlg.Button(B::kGridView)->click();
    EXPECT_EQ(Looks(dlg), "hex add insert delrow write delete [ ] editable grid");

    // The same cell again brings this window forward instead of a second;
    // the overridden file's entry is compared with the overriding one.
    DoubleClick(conflicts, row, 3);
    EXPECT_EQ(Editors(f).size(), 1u);
    DoubleClick(conflicts, row, 4);
    CEntryDlg* older = EditorTitled(f, "Sample Armory.esp - sample_iron_sword");
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(Marks(*older), Marks(armory->Data(), tweaks->Data()));

    // The master's copy is only looked at: nothing but the view toggle.
    DoubleClick(conflicts, row, 5);
    CEntryDlg* master = EditorTitled(f, "Sample.esm - sample_iron_sword");
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(Looks(*master), "hex grid");
    master->Button(B::kHexView)->click();
    EXPECT_EQ(Looks(*master), "grid hex");

    // A warning whose original file is "None" is compared with itself.
    CResultView& warnings = *f.View(EPane::Warning);
    ASSERT_EQ(warnings.Model().Text(0, 4), "None");
    DoubleClick(warnings, 0, 3);
    CEntryDlg* alone = EditorTitled(f, "Sample Tweaks.esp - " + std::string(warnings.Model().Text(0, 2)));
    ASSERT_NE(alone, nullptr);
    const std::string same = Marks(*alone);
    EXPECT_TRUE(!same.empty() && same.find_first_not_of('.') == std::string::npos) << same;

    // Escape closes one window, an operation every other.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(master, &escape);
    EXPECT_EQ(Editors(f).size(), 3u);
    f.Action(CMainFrame::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_TRUE(Editors(f).empty());
}

TEST(EntryEditor, WriteToEspRewritesOnlyThatEntry) {
    CFrameFixture fx;
    fx.CheckSamples();
    const std::string file = "Sample Tweaks.esp";
    const auto before = ReadEntries(fx.DataDir(), file);
    const std::pair<std::string, std::string> key{"WEAP", "sample_iron_sword"};
    ASSERT_TRUE(before.count(key));
    CResultView& conflicts = *fx.Frame().View(EPane::Conflict);
    DoubleClick(conflicts, RowWith(conflicts, "sample_iron_sword", file, 3), 3);
    ASSERT_EQ(Editors(fx.Frame()).size(), 1u);
    CEntryDlg& dlg = *Editors(fx.Frame())[0];
    dlg.ReadOnlyBox()->setChecked(false);
    QTableWidget& grid = *dlg.Grid();
    int name = 0;
    while (name < grid.rowCount() && grid.item(name, 1)->text() != QStringLiteral("FNAM")) ++name;
    ASSERT_LT(name, grid.rowCount());
    ASSERT_EQ(grid.item(name, 3)->text(), QStringLiteral("Ascii"));

    // A row that does not fit its type stops the writing with its message;
    // so does text the game's code page cannot hold, never written as "??".
    dlg.AddRow();
    const int added = grid.rowCount() - 1;
    for (const auto& [column, text] : {std::pair(1, "XXXX"), std::pair(3, "Word"), std::pair(4, "2")})
        grid.item(added, column)->setText(text);
    fx.m_messages.clear();
    EXPECT_FALSE(dlg.WriteToEsp());
    EXPECT_EQ(grid.currentRow(), added);
    EXPECT_TRUE(dlg.Button(B::kWriteToEsp)->isEnabled());
    grid.setCurrentCell(added, 1);
    dlg.DeleteRow();
    grid.item(name, 2)->setText(QStringLiteral("\u0142\u0105"));
    EXPECT_FALSE(dlg.WriteToEsp());
    ASSERT_EQ(fx.m_messages.size(), 2u);
    EXPECT_EQ(fx.m_messages[0].m_text, "Invalid Type Field.");
    EXPECT_EQ(fx.m_messages[1].m_text, "Ascii Type Data not Valid Ascii at Row " + std::to_string(name + 1) + ".");
    EXPECT_EQ(ReadEntries(fx.DataDir(), file), before);

    grid.item(name, 2)->setText("Blade of Tests");
    fx.m_answers = {EAnswer::Yes, EAnswer::Yes};
    EXPECT_TRUE(dlg.WriteToEsp());
    EXPECT_TRUE(std::filesystem::exists(fx.DataDir() + "Sample Tweaks.OLD"));
    EXPECT_EQ(fx.Frame().MessagePane()->Text(), QStringLiteral("Written to ESP: Sample Tweaks.esp"));
    // Every other entry of the file keeps its bytes; of this one only FNAM changed.
    CSubRecords subs;
    ASSERT_TRUE(SplitSubRecords(before.at(key), subs));
    std::vector<records::CSub> edited;
    for (const auto& sub : subs)
        edited.push_back(records::Sub(sub.m_tag, sub.m_tag == "FNAM" ? std::string("Blade of Tests", 15) : sub.m_payload));
    auto expected = before;
    expected[key] = records::SubBytes(edited);
    EXPECT_TRUE(ReadEntries(fx.DataDir(), file) == expected);
    // The window now shows what the file holds.
    EXPECT_EQ(grid.item(name, 2)->text(), QStringLiteral("Blade of Tests"));
    EXPECT_EQ(grid.item(name, 4)->text(), QStringLiteral("15"));
}

TEST(EntryEditor, GuardsEditsAndDeletesItsEntryOnlyWhenAsked) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    CResultView& conflicts = *f.View(EPane::Conflict);
    CResultView& warnings = *f.View(EPane::Warning);
    const int sword = RowWith(conflicts, "sample_iron_sword", "Sample Tweaks.esp", 3);
    DoubleClick(conflicts, sword, 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    QPointer<CEntryDlg> dlg = Editors(f)[0];
    dlg->ReadOnlyBox()->setChecked(false);

    // While an operation runs the file waits: nothing is written or deleted,
    // Delete on the entry's row neither closes the editor nor acts, and the
    // lists' menus keep only Copy.
    ASSERT_TRUE(fx.StartHeldOperation());
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow (write) (delete) [ ] editable grid");
    conflicts.setCurrentIndex(conflicts.model()->index(sword, 3));
    ReleaseKey(conflicts, Qt::Key_Delete);
    EXPECT_EQ(Editors(f).size(), 1u);
    warnings.setCurrentIndex(warnings.model()->index(0, 2));
    EXPECT_EQ(MenuOf(warnings, 2).second,
              (QStringList{"Open (greyed)", "Delete (greyed)", "-", "Copy", "Find Object (greyed)"}));
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(Looks(*dlg), "hex add insert delrow write delete [ ] editable grid");
    EXPECT_NE(fx.Doc().FindEntry("Sample Tweaks.esp", "sample_iron_sword", "WEAP", false), nullptr);

    // A new row below the visible ones is scrolled to.
    QTableWidget& grid = *dlg->Grid();
    for (int i = 0; i < 12; ++i) dlg->Button(B::kAddRow)->click();
    QCoreApplication::processEvents();
    const QRect last = grid.visualItemRect(grid.item(grid.rowCount() - 1, 1));
    EXPECT_TRUE(grid.viewport()->rect().contains(last)) << last.y() << " in " << grid.viewport()->height();
    EXPECT_EQ(grid.currentRow(), grid.rowCount() - 1);

    // Unwritten edits: Escape asks; No keeps the window, and so does closing
    // the main window, which then stays open too.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
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
    // An editor without edits closes without a question.
    DoubleClick(conflicts, sword, 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    fx.m_messages.clear();
    QCoreApplication::sendEvent(Editors(f)[0], &escape);
    EXPECT_TRUE(Editors(f).empty());
    EXPECT_TRUE(fx.m_messages.empty());

    // Delete Entry: declined, nothing changes; accepted, the window closes
    // and the entry's rows go from the list and the file.
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
    const std::string file = cell(3), id = cell(2), tag = cell(0);
    warnings.setCurrentIndex(warnings.model()->index(0, 2));
    fx.m_answers = {EAnswer::Yes};
    MenuOf(warnings, 2).first->actions()[1]->trigger();
    EXPECT_EQ(fx.Doc().FindEntry(file, id, tag, false), nullptr);
}

TEST(HexView, PaintsDifferingBytesInRed) {
    auto redPixels = [](CHexView& view) {
        view.resize(600, 120);
        const QImage image = view.viewport()->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 180 && c.green() < 120 && c.blue() < 120;
            }
        return count;
    };
    CHexView same("ABCDEFGH", "ABCDEFGH");
    EXPECT_EQ(redPixels(same), 0);
    CHexView differs("ABCDEFGH", "ABCxEFG");
    EXPECT_GT(redPixels(differs), 0);
    // Byte 3 and byte 7 (past the comparison's end) differ, in both columns.
    const CHexLayout& l = differs.Layout();
    const std::pair<std::size_t, bool> columns[] = {
        {l.HexColumn(3), true}, {l.CharColumn(3), true}, {l.CharColumn(7), true}, {l.HexColumn(2), false}, {0, false}};
    for (const auto& [column, red] : columns) EXPECT_EQ(differs.ColumnColour(0, column) == QColor(255, 51, 50), red) << column;
}

QStringList Items(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i) out << box.itemText(i);
    return out;
}

TEST(FindDialog, StartValuesAndHistoryAfterABA) {
    COptionSet options;
    auto search = [&](const QString& text) {
        CFindDlg dlg(options, nullptr);
        dlg.FindWhat()->setEditText(text);
        dlg.OnFind();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        return dlg.Params();
    };
    {
        CFindDlg dlg(options, nullptr);
        EXPECT_EQ(Items(*dlg.FindWhat()), QStringList({"", "", "", "", ""}));
        EXPECT_TRUE(dlg.FindWhat()->currentText().isEmpty());
        EXPECT_EQ(std::vector<bool>({dlg.MatchCase()->isChecked(), dlg.WholeWord()->isChecked(),
                                     dlg.LookInData()->isChecked(), dlg.EsmMode()->isChecked()}),
                  std::vector<bool>({false, false, true, false}));
    }
    const CFindParams first = search("A");
    EXPECT_EQ(first.m_text, "A");
    EXPECT_EQ(first.m_lookInData, 1);
    EXPECT_EQ(first.m_searchMasters, 0);
    search("B");
    search("A");
    CFindDlg dlg(options, nullptr);
    EXPECT_EQ(Items(*dlg.FindWhat()), QStringList({"A", "B", "", "", ""}));
    // Exact comparison: another case is another entry.
    dlg.FindWhat()->setEditText("a");
    dlg.EsmMode()->setChecked(true);
    dlg.MatchCase()->setChecked(true);
    dlg.OnFind();
    EXPECT_EQ(dlg.Params().m_searchMasters, 1);
    EXPECT_EQ(dlg.Params().m_matchCase, 1);
    EXPECT_EQ(std::vector<std::string>(options.m_findHistory.begin(), options.m_findHistory.begin() + 3),
              (std::vector<std::string>{"a", "A", "B"}));
}

TEST(ViewFileDialog, FileTypeSwitchesTheListAndTheGlobalMode) {
    CViewFileSeed seed{{"One.esp", "Two.esp"}, {"Main.esm"}};
    CViewFileDlg dlg(seed, nullptr);
    EXPECT_TRUE(dlg.EspFile()->isChecked());
    EXPECT_TRUE(dlg.AllData()->isChecked());
    EXPECT_EQ(Items(*dlg.FileBox()), QStringList({"One.esp", "Two.esp"}));
    EXPECT_TRUE(dlg.GlobalChanges()->isEnabled());

    dlg.GlobalChanges()->setChecked(true);
    dlg.EsmFile()->setChecked(true);
    EXPECT_EQ(Items(*dlg.FileBox()), QStringList({"Main.esm"}));
    EXPECT_FALSE(dlg.GlobalChanges()->isEnabled());
    dlg.FileBox()->setCurrentIndex(0);
    dlg.OnOk();
    EXPECT_TRUE(dlg.Choice().m_esmFile);
    EXPECT_TRUE(dlg.Choice().m_globalChanges) << "the mode keeps its value";
    EXPECT_EQ(dlg.Choice().m_fileName, "Main.esm");
}

}  // namespace
}  // namespace vantor::uitest
