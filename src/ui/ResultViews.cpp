#include "ResultViews.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QToolTip>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>
#include <functional>
#include <queue>

#include "EntryActions.h"
#include "MainFrame.h"
#include "OperationSummary.h"
#include "OptionsSheet.h"
#include "QtFrameLink.h"
#include "UiText.h"
#include "document/VANTORDoc.h"
#include "format/Entry.h"

namespace vantor {

namespace {

// Only the longest texts of a column (by bytes) are measured: lists run to
// hundreds of thousands of rows.
constexpr std::size_t kMeasured = 16;
constexpr int kCellPadding = 14;
constexpr int kSortIndicatorRoom = 18;

}  // namespace

CResultView::CResultView(EPane pane, CResultTable header, const QList<int>& widths, CMainFrame& frame)
    : m_pane(pane), m_model(std::move(header)), m_frame(frame), m_defaultWidths(widths),
      m_userWidths(QList<int>(widths.size(), 0)) {
    setModel(&m_model);
    SetColumnWidths(widths);
    connect(this, &CGridCtrl::HeaderClicked, this, &CResultView::SortClicked);
    connect(this, &CGridCtrl::CellDoubleClicked, this, &CResultView::OpenEntry);
    connect(this, &CGridCtrl::EnterPressed, this, &CResultView::OpenRow);
    connect(this, &CGridCtrl::KeyReleased, this, [this](int, int, int key) {
        if (key == Qt::Key_Delete) DeleteSelected();
    });
    QHeaderView* columns = horizontalHeader();
    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_fitting && column >= 0 && column < m_userWidths.size()) m_userWidths[column] = width;
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CResultView::CaptionChanged);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CResultView::FollowToolTip);
    connect(&m_model, &CResultModel::SortingChanged, this, [this](bool sorting) {
        // The list can still be scrolled and looked at while it sorts.
        if (sorting)
            viewport()->setCursor(Qt::BusyCursor);
        else
            viewport()->unsetCursor();
        emit CaptionChanged();
    });
    // A double click on a header's edge gives the column back to the fitting.
    connect(columns, &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        if (column < 0 || column >= m_userWidths.size()) return;
        m_userWidths[column] = 0;
        FitColumns();
    });
}

QString CResultView::CaptionText() const {
    static const char* const kNames[] = {"Conflict List", "Warning List", "Editor List"};
    const qlonglong rows = qlonglong(m_model.Table().RowCount());
    QString text = QStringLiteral("%1 \u2014 %2 %3")
                       .arg(QLatin1String(kNames[int(m_pane) - 1]), QLocale().toString(rows),
                            rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
    if (m_model.Sorting())
        text += QStringLiteral(", sorting by %1\u2026").arg(m_model.headerData(m_model.SortColumn(), Qt::Horizontal).toString());
    if (m_stoppedEarly) text += QStringLiteral(" (stopped early)");
    return text;
}

void CResultView::SetStoppedEarly(bool stopped) {
    m_stoppedEarly = stopped;
    emit CaptionChanged();
}

void CResultView::SetRows(CTablePtr table) {
    m_stoppedEarly = false;
    m_fitting = true;
    m_model.SetTable(std::move(table));
    m_fitting = false;
    horizontalHeader()->setSortIndicatorShown(false);
    MeasureContent();
    FitColumns();
}

void CResultView::SetUserColumnWidths(const QList<int>& widths) {
    for (int c = 0; c < m_userWidths.size(); ++c) m_userWidths[c] = c < widths.size() ? std::max(0, widths[c]) : 0;
    FitColumns();
}

void CResultView::MeasureContent() {
    m_contentWidths.clear();
    m_textWidths.clear();
    const std::size_t rows = m_model.Table().RowCount();
    if (rows == 0) return;
    const int columns = m_model.columnCount();
    using CLength = std::pair<std::size_t, std::size_t>;  // bytes, row
    using CShortestFirst = std::priority_queue<CLength, std::vector<CLength>, std::greater<>>;
    std::vector<CShortestFirst> longest(static_cast<std::size_t>(columns));
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < std::size_t(columns); ++c) {
            auto& heap = longest[c];
            const std::size_t length = m_model.Table().Cell(r, c).size();
            if (heap.size() < kMeasured) heap.push({length, r});
            else if (length > heap.top().first) {
                heap.pop();
                heap.push({length, r});
            }
        }
    }
    const QFontMetrics cells(font());
    const QFontMetrics headers(horizontalHeader()->font());
    const int maximum = std::max(200, cells.averageCharWidth() * 48);
    for (int c = 0; c < columns; ++c) {
        int text = 0;
        for (auto& heap = longest[std::size_t(c)]; !heap.empty(); heap.pop())
            text = std::max(text, cells.horizontalAdvance(m_model.data(m_model.index(int(heap.top().second), c)).toString()));
        const int header = headers.horizontalAdvance(m_model.headerData(c, Qt::Horizontal).toString()) + kSortIndicatorRoom;
        m_textWidths.push_back(text);
        m_contentWidths.push_back(std::min(std::max(text, header) + kCellPadding, maximum));
    }
}

void CResultView::FitColumns() {
    if (m_fitting) return;
    const int columns = m_model.columnCount();
    QList<int> widths;
    int widest = -1;
    for (int c = 0; c < columns; ++c) {
        const int user = c < m_userWidths.size() ? m_userWidths[c] : 0;
        if (user > 0) {
            widths.push_back(user);
        } else if (c < m_contentWidths.size()) {
            widths.push_back(m_contentWidths[c]);
            if (widest < 0 || m_textWidths[c] > m_textWidths[widest]) widest = c;
        } else {
            widths.push_back(c < m_defaultWidths.size() ? m_defaultWidths[c] : 100);
        }
    }
    int used = 0;
    for (int w : widths) used += w;
    const int room = viewport()->width() - used;
    if (widest >= 0 && room > 0) widths[widest] += room;
    m_fitting = true;
    SetColumnWidths(widths);
    m_fitting = false;
    m_fittedFor = viewport()->width();
}

void CResultView::resizeEvent(QResizeEvent* event) {
    CGridCtrl::resizeEvent(event);
    FitColumns();
}

void CResultView::updateGeometries() {
    CGridCtrl::updateGeometries();
    // A scroll bar that came or went changed the width to share out.
    if (!m_fitting && m_fittedFor != viewport()->width()) FitColumns();
}

void CResultView::SortClicked(int column) {
    m_model.SortClicked(column);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, m_model.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CResultView::OpenEntry(int row, int column) {
    // The files a running operation reads may be changing under the lookup.
    if (m_frame.Doc().IsBusy()) return;
    auto request = ResolveDoubleClick(m_frame.Doc(), m_pane, m_model.Table(), row, column);
    if (!request) return;
    if (m_frame.BringEntryEditorForward(request->m_title)) return;
    if (request->m_subRecords.empty()) {
        // Say why no editor opens rather than doing nothing.
        const CEntry* entry = request->m_entry.m_entry;
        const CRecordType* type = FindRecordType(request->m_tag);
        const char* option = type ? ExtractionOptionLabel(type->m_extract) : nullptr;
        std::string text = "This entry holds no subrecords besides its ID, so there is nothing to show.";
        if (entry && entry->m_dataDropped && option)
            text = std::string("The data of this entry was not read, because \"") + option +
                   "\" is off in Operations > Options.\n\nTurn it on, then start a New Check (or Clear Esm Data for a "
                   "master's entry) and run the check again to read it.";
        m_frame.Link().Show({text, "Nothing to Show", EButtons::Ok, EIcon::Information, EAnswer::Ok});
        return;
    }
    m_frame.OpenEntryEditor(*request);
}

void CResultView::OpenRow(int row, int column) {
    // The tag, description and name columns name no file: the row's plugin.
    OpenEntry(row, column >= 3 ? column : 3);
}

int CResultView::DeleteColumn(int column) const {
    if (m_pane == EPane::Conflict && column == 4) return 4;
    return 3;
}

void CResultView::DeleteSelected() {
    std::set<std::pair<int, int>> selected;
    for (const auto& cell : SelectedCells()) selected.insert(cell);
    DeleteCells(selected);
}

void CResultView::DeleteCells(const std::set<std::pair<int, int>>& cells) {
    // The Delete key cannot be greyed out like a command: while an operation
    // runs it is refused before any editor is closed for it.
    if (m_frame.Doc().IsBusy()) {
        QApplication::beep();
        return;
    }
    CDeleteOutcome outcome = DeleteSelectedEntries(
        m_pane, m_model.Table(), cells,
        [this](const CEntryRef& entry, bool ask) { return m_frame.DeleteEntry(entry, ask); },
        [this](const std::string& title) { m_frame.CloseEntryEditors(title); },
        [this](const CEntryRef& cell, bool ask) { return m_frame.CleanCell(cell, ask); });
    if (outcome.m_refused) {
        // The sentence is the box's title and the short phrase its text.
        m_frame.Link().Show({"Unable to Delete", "Please Select One Column at a time.", EButtons::Ok, EIcon::None,
                            EAnswer::Ok});
        return;
    }
    if (outcome.m_deleted > 0)
        m_frame.ShowOutcome(
            QString::fromStdString("Delete: " + GroupedCount(std::size_t(outcome.m_deleted), "entry", "entries") + " deleted"));
    if (outcome.m_rows.empty()) return;
    m_model.RemoveRows(outcome.m_rows);
    viewport()->update();
}

QMenu* CResultView::ContextMenu(int row, int column) {
    auto* menu = new QMenu(this);
    const bool onRow = row >= 0 && row < m_model.rowCount();
    const bool idle = !m_frame.Doc().IsBusy();
    const std::string id(m_model.Text(row, 2));
    const int fileColumn = DeleteColumn(column);
    QAction* open = menu->addAction(QStringLiteral("Open\tEnter"), this, [this, row, column] { OpenRow(row, column); });
    QAction* remove = menu->addAction(QStringLiteral("Delete\tDel"), this, [this, fileColumn] {
        // Every selected row, in the plugin column the click was in.
        std::set<std::pair<int, int>> cells;
        for (const auto& [r, c] : SelectedCells()) cells.insert({r, fileColumn});
        DeleteCells(cells);
    });
    menu->addSeparator();
    QAction* copy = menu->addAction(QStringLiteral("Copy\tCtrl+C"), this, [this] { CopySelection(); });
    QAction* find = menu->addAction(QStringLiteral("Find Object"), this, [this, id] { m_frame.FindObject(id); });
    open->setEnabled(onRow && idle);
    // A master listing names no plugin in its "Esp File" column.
    remove->setEnabled(onRow && idle && m_model.Text(row, fileColumn) != "None" && !m_model.Text(row, fileColumn).empty());
    copy->setEnabled(!SelectedCells().isEmpty());
    find->setEnabled(onRow && idle && !id.empty());
    return menu;
}

void CResultView::FollowToolTip() {
    // A tip on screen names the cell it was shown for; after a sort another
    // row lies under the pointer.
    if (!QToolTip::isVisible()) return;
    const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
    if (!viewport()->rect().contains(at)) return;
    const QModelIndex index = indexAt(at);
    const QString tip = index.isValid() ? index.data(Qt::ToolTipRole).toString() : QString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(QCursor::pos(), tip, viewport(), visualRect(index));
}

void CResultView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex at = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    if (!at.isValid()) return;
    // A right click outside the selection selects the cell under it.
    if (!selectionModel()->isSelected(at))
        selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    const QPoint where = event->reason() == QContextMenuEvent::Mouse
                             ? event->globalPos()
                             : viewport()->mapToGlobal(visualRect(at).center());
    std::unique_ptr<QMenu> menu(ContextMenu(at.row(), at.column()));
    menu->exec(where);
}

CConflictView::CConflictView(CMainFrame& frame)
    : CResultView(EPane::Conflict, ConflictTableHeader(), {50, 150, 150, 150, 150, 100}, frame) {}

CWarningView::CWarningView(CMainFrame& frame)
    : CResultView(EPane::Warning, WarningTableHeader(), {50, 300, 150, 150, 100}, frame) {}

CEditorView::CEditorView(CMainFrame& frame)
    : CResultView(EPane::Editor, EditorTableHeader(), {50, 300, 150, 150, 100}, frame) {}

}  // namespace vantor
