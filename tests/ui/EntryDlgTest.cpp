// The entry editor window, the hex dump and the Find and View File dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTableWidget>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>

#include "EntryDlg.h"
#include "FindDlg.h"
#include "FrameFixture.h"
#include "widgets/StatusPane.h"
#include "ViewFileDlg.h"
#include "format/PluginFile.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "widgets/HexView.h"

namespace vantor::uitest {
namespace {

using B = CEntryDlg;

void DoubleClick(CResultView& v, int r, int c) { emit v.doubleClicked(v.model()->index(r, c)); }

int GridRowOf(const QTableWidget& grid, const QString& tag) {
    for (int r = 0; r < grid.rowCount(); ++r)
        if (grid.item(r, 1) && grid.item(r, 1)->text() == tag) return r;
    return -1;
}

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

CEntryDlg* EditorTitled(CMainFrame& f, const std::string& title) {
    for (CEntryDlg* dlg : Editors(f))
        if (dlg->windowTitle().toStdString() == title) return dlg;
    return nullptr;
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

    // The name column opens nothing; a file column its entry.
    DoubleClick(conflicts, row, 2);
    EXPECT_TRUE(Editors(f).empty());
    DoubleClick(conflicts, row, 3);
    auto editors = Editors(f);
    ASSERT_EQ(editors.size(), 1u);
    CEntryDlg& dlg = *editors[0];
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Sample Tweaks.esp - sample_iron_sword"));
    EXPECT_EQ(dlg.size(), QSize(625, 250));
    // Editing starts off; the grid shows one row per subrecord.
    EXPECT_TRUE(dlg.ReadOnlyBox()->isChecked());
    for (B::EButton b : {B::kAddRow, B::kInsertRow, B::kDeleteRow, B::kWriteToEsp})
        EXPECT_FALSE(dlg.Button(b)->isEnabled());
    EXPECT_EQ(dlg.Grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
    CSubRecords subs;
    SplitSubRecords(tweaks->Data(), subs);
    ASSERT_EQ(dlg.Grid()->rowCount(), int(subs.size()));
    EXPECT_EQ(dlg.Grid()->item(0, 1)->text().toStdString(), subs[0].m_tag);
    EXPECT_FALSE(dlg.Grid()->item(0, 3)->flags() & Qt::ItemIsEditable);

    dlg.ReadOnlyBox()->setChecked(false);
    EXPECT_TRUE(dlg.Button(B::kWriteToEsp)->isEnabled());
    EXPECT_NE(dlg.Grid()->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The hex view: this entry's bytes against the other file's.
    EXPECT_EQ(Marks(dlg), Marks(tweaks->Data(), armory->Data()));
    EXPECT_NE(Marks(dlg).find('x'), std::string::npos);
    EXPECT_EQ(dlg.HexView()->Layout().Bytes(), tweaks->Data());
    EXPECT_TRUE(dlg.Grid()->isHidden());
    EXPECT_TRUE(dlg.Button(B::kHexView)->isHidden());
    dlg.Button(B::kGridView)->click();
    EXPECT_FALSE(dlg.Grid()->isHidden());
    EXPECT_TRUE(dlg.HexView()->isHidden());

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
    EXPECT_FALSE(master->Button(B::kHexView)->isHidden());
    for (B::EButton b : {B::kGridView, B::kAddRow, B::kInsertRow, B::kDeleteRow, B::kWriteToEsp, B::kDeleteEntry}) {
        EXPECT_TRUE(master->Button(b)->isHidden()) << b;
        EXPECT_FALSE(master->Button(b)->isEnabled() && b != B::kGridView) << b;
    }
    EXPECT_TRUE(master->ReadOnlyBox()->isHidden());
    master->Button(B::kHexView)->click();
    EXPECT_FALSE(master->Button(B::kGridView)->isHidden());

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
    CMainFrame& f = fx.Frame();
    fx.CheckSamples();
    const std::string file = "Sample Tweaks.esp";
    const auto before = ReadEntries(fx.DataDir(), file);
    ASSERT_TRUE(before.count({"WEAP", "sample_iron_sword"}));

    CResultView& conflicts = *f.View(EPane::Conflict);
    const int row = RowWith(conflicts, "sample_iron_sword", file, 3);
    ASSERT_GE(row, 0);
    DoubleClick(conflicts, row, 3);
    auto editors = Editors(f);
    ASSERT_EQ(editors.size(), 1u);
    CEntryDlg& dlg = *editors[0];
    dlg.ReadOnlyBox()->setChecked(false);
    QTableWidget& grid = *dlg.Grid();
    const int name = GridRowOf(grid, "FNAM");
    ASSERT_GE(name, 0);
    ASSERT_EQ(grid.item(name, 3)->text(), QStringLiteral("Ascii"));

    // A row that does not fit its type stops the writing with its message.
    dlg.AddRow();
    grid.item(grid.rowCount() - 1, 1)->setText("XXXX");
    grid.item(grid.rowCount() - 1, 3)->setText("Word");
    grid.item(grid.rowCount() - 1, 4)->setText("2");
    fx.m_messages.clear();
    EXPECT_FALSE(dlg.WriteToEsp());
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_text, "Invalid Type Field.");
    EXPECT_EQ(grid.currentRow(), grid.rowCount() - 1);
    EXPECT_TRUE(dlg.Button(B::kWriteToEsp)->isEnabled());
    EXPECT_EQ(ReadEntries(fx.DataDir(), file), before);
    grid.setCurrentCell(grid.rowCount() - 1, 1);
    dlg.DeleteRow();

    // Text the game's code page cannot hold is refused, never written as "??".
    grid.item(name, 2)->setText(QStringLiteral("\u0142\u0105"));
    fx.m_messages.clear();
    EXPECT_FALSE(dlg.WriteToEsp());
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_text, "Ascii Type Data not Valid Ascii at Row " + std::to_string(name + 1) + ".");
    EXPECT_EQ(ReadEntries(fx.DataDir(), file), before);

    grid.item(name, 2)->setText("Blade of Tests");
    fx.m_answers = {EAnswer::Yes, EAnswer::Yes};
    EXPECT_TRUE(dlg.WriteToEsp());
    EXPECT_TRUE(std::filesystem::exists(fx.DataDir() + "Sample Tweaks.OLD"));
    EXPECT_EQ(f.MessagePane()->Text(), QStringLiteral("Written to ESP: Sample Tweaks.esp"));

    // Every other entry of the file keeps its bytes; of this one only FNAM changed.
    const std::pair<std::string, std::string> key{"WEAP", "sample_iron_sword"};
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
    DoubleClick(conflicts, RowWith(conflicts, "sample_iron_sword", "Sample Tweaks.esp", 3), 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    QPointer<CEntryDlg> dlg = Editors(f)[0];

    // Nothing is deleted while "Read Only" is ticked.
    EXPECT_FALSE(dlg->Button(B::kDeleteEntry)->isEnabled());
    dlg->ReadOnlyBox()->setChecked(false);
    EXPECT_TRUE(dlg->Button(B::kDeleteEntry)->isEnabled());
    // The row and write buttons act on the grid: not while the bytes show.
    dlg->Button(B::kHexView)->click();
    for (B::EButton b : {B::kAddRow, B::kInsertRow, B::kDeleteRow, B::kWriteToEsp})
        EXPECT_FALSE(dlg->Button(b)->isEnabled()) << b;
    dlg->Button(B::kGridView)->click();
    EXPECT_TRUE(dlg->Button(B::kWriteToEsp)->isEnabled());

    // While an operation runs the file waits: nothing is written or deleted,
    // and Delete on the entry's row neither closes the editor nor acts.
    ASSERT_TRUE(fx.StartHeldOperation());
    for (B::EButton b : {B::kWriteToEsp, B::kDeleteEntry}) EXPECT_FALSE(dlg->Button(b)->isEnabled()) << b;
    conflicts.setCurrentIndex(conflicts.model()->index(RowWith(conflicts, "sample_iron_sword", "Sample Tweaks.esp", 3), 3));
    QKeyEvent del(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(&conflicts, &del);
    EXPECT_EQ(Editors(f).size(), 1u);
    fx.ReleaseHeldOperation();
    ASSERT_TRUE(fx.WaitIdle());
    for (B::EButton b : {B::kWriteToEsp, B::kDeleteEntry}) EXPECT_TRUE(dlg->Button(b)->isEnabled()) << b;
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
    EXPECT_EQ(Editors(f).size(), 1u);
    fx.m_answers = {EAnswer::No};
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(Editors(f).size(), 1u);
    fx.m_answers = {EAnswer::Yes};
    QCoreApplication::sendEvent(dlg, &escape);
    EXPECT_TRUE(Editors(f).empty());

    // An editor without edits closes without a question.
    DoubleClick(conflicts, RowWith(conflicts, "sample_iron_sword", "Sample Tweaks.esp", 3), 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    fx.m_messages.clear();
    QCoreApplication::sendEvent(Editors(f)[0], &escape);
    EXPECT_TRUE(Editors(f).empty());
    EXPECT_TRUE(fx.m_messages.empty());

    // Delete Entry: declined, nothing changes; accepted, the window closes
    // and the entry's rows go from the list and the file.
    CResultView& warnings = *f.View(EPane::Warning);
    const std::size_t rowsBefore = warnings.Model().Table().RowCount();
    DoubleClick(warnings, RowWith(warnings, "sample_priest", "Sample Quests.esp", 3), 3);
    ASSERT_EQ(Editors(f).size(), 1u);
    dlg = Editors(f)[0];
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
