#pragma once
// The three list panes: the conflict list, the warning list and the editor
// list. Each is a grid over a result model; the document's table follows
// every sort and row deletion so the log writes what the user sees.
#include <set>
#include <utility>

#include "ResultModel.h"
#include "widgets/GridCtrl.h"

class QMenu;

namespace vantor {

class CMainFrame;

class CResultView : public CGridCtrl {
    Q_OBJECT
public:
    CResultView(EPane pane, CResultTable header, const QList<int>& widths, CMainFrame& frame);

    EPane Pane() const { return m_pane; }
    // The line above the list: its name and how many rows it holds, and
    // whether they are still being sorted or came from a stopped operation.
    QString CaptionText() const;
    void SetStoppedEarly(bool stopped);
    CResultModel& Model() { return m_model; }
    const CResultModel& Model() const { return m_model; }

    // The rows an operation (or a clearing command) gave this pane.
    void SetRows(CTablePtr table);
    // A header click: sorts the rows here and in the document.
    void SortClicked(int column);
    // A double click: opens the entry editor on that cell's entry, or brings
    // an editor already open on it to the front.
    void OpenEntry(int row, int column);
    // Enter or the context menu's "Open": the entry of the cell's file
    // column, or of the row's plugin when the cell names no file.
    void OpenRow(int row, int column);
    // The Delete key: deletes the selected entries from their plugins.
    void DeleteSelected();

    // The menu a right click on a data cell opens: "Open", "Delete", "Copy"
    // and "Find Object" for the row's ID. The caller owns it.
    QMenu* ContextMenu(int row, int column);

    // Column widths the user dragged a header to; 0 where the column is
    // sized to its content.
    const QList<int>& UserColumnWidths() const { return m_userWidths; }
    void SetUserColumnWidths(const QList<int>& widths);
    // User widths stay; the other columns fit their longest text (up to a
    // maximum) and the widest of them takes the width left over.
    void FitColumns();
    // The tip on screen shows the cell now under the pointer.
    void FollowToolTip();

signals:
    void CaptionChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;

private:
    void MeasureContent();
    void DeleteCells(const std::set<std::pair<int, int>>& cells);
    // The plugin column the context menu's "Delete" acts on for a click in
    // `column`.
    int DeleteColumn(int column) const;

    EPane m_pane;
    CResultModel m_model;
    CMainFrame& m_frame;
    QList<int> m_defaultWidths;
    QList<int> m_userWidths;
    QList<int> m_contentWidths;  // empty while the list has no rows
    QList<int> m_textWidths;     // the widest cell text of each column
    int m_fittedFor = -1;        // the viewport width the columns fit
    bool m_fitting = false;
    bool m_stoppedEarly = false;
};

class CConflictView : public CResultView {
    Q_OBJECT
public:
    explicit CConflictView(CMainFrame& frame);
};

class CWarningView : public CResultView {
    Q_OBJECT
public:
    explicit CWarningView(CMainFrame& frame);
};

class CEditorView : public CResultView {
    Q_OBJECT
public:
    explicit CEditorView(CMainFrame& frame);
};

}  // namespace vantor
