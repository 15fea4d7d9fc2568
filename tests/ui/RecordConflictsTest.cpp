// The "Record Conflicts" list of the real frame on the sample set: one row
// per record, the copies side by side below it, and the entry editor opened
// on a file's copy.
#include <gtest/gtest.h>

#include <QToolBar>

#include "EntryDlg.h"
#include "FrameFixture.h"
#include "RecordConflictsPane.h"
#include "widgets/GridCtrl.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

QString Cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.index(row, column).data(role).toString();
}

TEST(RecordConflictsList, OneRowPerRecordAndItsCopiesSideBySide) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    CRecordConflictsDock& dock = *f.RecordConflicts();
    // A toolbar toggle like the other lists', and hidden until filled.
    EXPECT_TRUE(f.ToolBar()->actions().contains(dock.ToggleAction()));
    EXPECT_FALSE(dock.isVisible());
    fx.ChooseSamplePlugins();
    f.CheckRecordConflictsAction()->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    ASSERT_TRUE(dock.isVisible());
    EXPECT_TRUE(dock.ToggleAction()->isChecked());

    CRecordConflictsPane& pane = dock.Pane();
    const CRecordConflictModel& list = pane.Model();
    EXPECT_EQ(pane.CaptionText(), QStringLiteral("Record Conflicts (4)"));
    EXPECT_EQ(f.MessagePane()->IdleText(), QStringLiteral("Record Conflicts: 4 records"));
    int sword = -1;
    for (int r = 0; r < list.rowCount(); ++r)
        if (Cell(list, r, kRecordName) == "sample_iron_sword") sword = r;
    ASSERT_GE(sword, 0);
    EXPECT_EQ(Cell(list, sword, kRecordWinner), "Sample Tweaks.esp");
    EXPECT_EQ(Cell(list, sword, kRecordFiles), "Sample Armory.esp, Sample Tweaks.esp");
    EXPECT_EQ(Cell(list, sword, kRecordOriginal), "Sample.esm");
    EXPECT_EQ(Cell(list, sword, kRecordAgreeing), "No");
    EXPECT_EQ(Cell(list, sword, kRecordContested), "WPDT (Value, Health, Chop Max, Slash Max)");

    // The record's fields side by side: the master's copy first, the winner's
    // column marked; cells that differ from the master highlighted, those
    // the winner overrides in red.
    pane.ListGrid().setCurrentIndex(list.index(sword, 0));
    const CRecordDetailModel& detail = pane.Detail();
    ASSERT_EQ(detail.columnCount(), 4);
    EXPECT_EQ(detail.headerData(1, Qt::Horizontal).toString(), "Sample.esm (original)");
    EXPECT_EQ(detail.headerData(2, Qt::Horizontal).toString(), "Sample Armory.esp");
    EXPECT_EQ(detail.headerData(3, Qt::Horizontal).toString(), "Sample Tweaks.esp (winner)");
    EXPECT_TRUE(detail.headerData(3, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    int chopMax = -1;
    for (int r = 0; r < detail.rowCount(); ++r)
        if (Cell(detail, r, 0) == "WPDT.Chop Max") chopMax = r;
    ASSERT_GE(chopMax, 0);
    const auto color = [&](int column, int role) { return detail.index(chopMax, column).data(role).value<QColor>(); };
    // The armory raises the chop; the tweaks keep the master's, and win.
    EXPECT_NE(Cell(detail, chopMax, 2), Cell(detail, chopMax, 1));
    EXPECT_EQ(Cell(detail, chopMax, 3), Cell(detail, chopMax, 1));
    EXPECT_EQ(color(2, Qt::BackgroundRole), CRecordDetailModel::ChangedColor());
    EXPECT_EQ(color(2, Qt::ForegroundRole), CRecordDetailModel::OverriddenColor());
    EXPECT_FALSE(color(3, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(color(3, Qt::ForegroundRole).isValid());

    // A double click on a file's column opens its copy; the master's only to look at.
    emit pane.DetailGrid().CellDoubleClicked(chopMax, 2);
    ASSERT_EQ(Editors(f).size(), 1u);
    EXPECT_EQ(Editors(f)[0]->windowTitle(), QStringLiteral("Sample Armory.esp - sample_iron_sword"));
    emit pane.DetailGrid().CellDoubleClicked(chopMax, 1);
    ASSERT_EQ(Editors(f).size(), 2u);
    emit pane.DetailGrid().CellDoubleClicked(chopMax, 0);
    EXPECT_EQ(Editors(f).size(), 2u);

    // Sorting keeps each row's record; the toggle hides the list.
    emit pane.ListGrid().HeaderClicked(kRecordName);
    emit pane.ListGrid().HeaderClicked(kRecordName);
    EXPECT_EQ(Cell(list, 0, kRecordName), "sample_trader");
    EXPECT_EQ(Cell(list, 0, kRecordWinner), "Sample Tweaks.esp");
    dock.ToggleAction()->trigger();
    EXPECT_FALSE(dock.isVisible());
}

}  // namespace
}  // namespace vantor::uitest
