#pragma once
// The three list panes: the conflict list, the warning list and the editor
// list. Each is a grid over a result model; the document's table follows
// every sort and row deletion so the log writes what the user sees.
#include "ResultModel.h"
#include "widgets/GridCtrl.h"

namespace vantor {

class CMainFrame;

class CResultView : public CGridCtrl {
    Q_OBJECT
public:
    CResultView(EPane pane, CResultTable header, const QList<int>& widths, CMainFrame& frame);

    EPane Pane() const { return m_pane; }
    CResultModel& Model() { return m_model; }
    const CResultModel& Model() const { return m_model; }

    // The rows an operation (or a clearing command) gave this pane.
    void SetRows(CResultTable table);
    // A header click: sorts the rows here and in the document.
    void SortClicked(int column);
    // A double click: opens the entry editor on that cell's entry, or brings
    // an editor already open on it to the front.
    void OpenEntry(int row, int column);
    // The Delete key: deletes the selected entries from their plugins.
    void DeleteSelected();

private:
    EPane m_pane;
    CResultModel m_model;
    CMainFrame& m_frame;
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
