#include "ResultViews.h"

#include <QHeaderView>

#include "EntryActions.h"
#include "MainFrame.h"
#include "QtFrameLink.h"
#include "document/VANTORDoc.h"

namespace vantor {

CResultView::CResultView(EPane pane, CResultTable header, const QList<int>& widths, CMainFrame& frame)
    : m_pane(pane), m_model(std::move(header)), m_frame(frame) {
    setModel(&m_model);
    SetColumnWidths(widths);
    connect(this, &CGridCtrl::HeaderClicked, this, &CResultView::SortClicked);
    connect(this, &CGridCtrl::CellDoubleClicked, this, &CResultView::OpenEntry);
    connect(this, &CGridCtrl::KeyReleased, this, [this](int, int, int key) {
        if (key == Qt::Key_Delete) DeleteSelected();
    });
}

void CResultView::SetRows(CResultTable table) {
    const QList<int> widths = ColumnWidths();
    m_model.SetTable(std::move(table));
    SetColumnWidths(widths);
    horizontalHeader()->setSortIndicatorShown(false);
}

void CResultView::SortClicked(int column) {
    m_model.SortClicked(column);
    m_frame.Doc().SortResultTable(m_pane, std::size_t(column), m_model.SortDescending());
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, m_model.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CResultView::OpenEntry(int row, int column) {
    // The files a running operation reads may be changing under the lookup.
    if (m_frame.Doc().IsBusy()) return;
    auto request = ResolveDoubleClick(m_frame.Doc(), m_pane, m_model.Table(), row, column);
    if (!request) return;
    if (m_frame.BringEntryEditorForward(request->m_title)) return;
    m_frame.OpenEntryEditor(*request);
}

void CResultView::DeleteSelected() {
    std::set<std::pair<int, int>> selected;
    for (const auto& cell : SelectedCells()) selected.insert(cell);
    CDeleteOutcome outcome = DeleteSelectedEntries(
        m_pane, m_model.Table(), selected,
        [this](const std::string& file, const std::string& tag, const std::string& id, bool ask) {
            return m_frame.DeleteEntry(file, tag, id, ask);
        },
        [this](const std::string& title) { m_frame.CloseEntryEditors(title); });
    if (outcome.m_refused) {
        // The sentence is the box's title and the short phrase its text.
        m_frame.Link().Ask({"Unable to Delete", "Please Select One Column at a time.", EButtons::Ok, EIcon::None,
                            EAnswer::Ok});
        return;
    }
    if (outcome.m_rows.empty()) return;
    m_model.RemoveRows(outcome.m_rows);
    m_frame.Doc().StoreResultTable(m_pane, m_model.Table());
    viewport()->update();
}

CConflictView::CConflictView(CMainFrame& frame)
    : CResultView(EPane::Conflict, ConflictTableHeader(), {50, 150, 150, 150, 150, 100}, frame) {}

CWarningView::CWarningView(CMainFrame& frame)
    : CResultView(EPane::Warning, WarningTableHeader(), {50, 300, 150, 150, 100}, frame) {}

CEditorView::CEditorView(CMainFrame& frame)
    : CResultView(EPane::Editor, EditorTableHeader(), {50, 300, 150, 150, 100}, frame) {}

}  // namespace vantor
