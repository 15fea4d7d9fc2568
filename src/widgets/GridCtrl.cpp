#include "GridCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>

#include <climits>

namespace vantor {

CGridCtrl::CGridCtrl(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // One height for every row keeps lists of many thousand rows fast.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = horizontalHeader();
    header->setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, &CGridCtrl::HeaderClicked);
    connect(this, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { emit CellDoubleClicked(index.row(), index.column()); });
}

void CGridCtrl::SetColumnWidths(const QList<int>& widths) {
    for (int c = 0; c < widths.size(); ++c) setColumnWidth(c, widths[c]);
}

QList<int> CGridCtrl::ColumnWidths() const {
    QList<int> widths;
    if (!model()) return widths;
    for (int c = 0; c < model()->columnCount(); ++c) widths.push_back(columnWidth(c));
    return widths;
}

QSet<std::pair<int, int>> CGridCtrl::SelectedCells() const {
    QSet<std::pair<int, int>> cells;
    if (!selectionModel()) return cells;
    for (const QModelIndex& i : selectionModel()->selectedIndexes()) cells.insert({i.row(), i.column()});
    return cells;
}

QString CGridCtrl::SelectedText() const {
    const auto cells = SelectedCells();
    if (cells.isEmpty() || !model()) return {};
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const auto& [r, c] : cells) {
        top = std::min(top, r);
        bottom = std::max(bottom, r);
        left = std::min(left, c);
        right = std::max(right, c);
    }
    QString text;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            if (c > left) text += QLatin1Char('\t');
            if (cells.contains({r, c})) text += model()->index(r, c).data().toString();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void CGridCtrl::CopySelection() const {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void CGridCtrl::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && event->key() == Qt::Key_A) {
        selectAll();
        return;
    }
    if (ctrl && (event->key() == Qt::Key_C || event->key() == Qt::Key_Insert)) {
        CopySelection();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit EnterPressed(currentIndex().row(), currentIndex().column());
        return;
    }
    QTableView::keyPressEvent(event);
}

void CGridCtrl::keyReleaseEvent(QKeyEvent* event) {
    const QModelIndex focus = currentIndex();
    if (focus.isValid() && !event->isAutoRepeat()) emit KeyReleased(focus.row(), focus.column(), event->key());
    QTableView::keyReleaseEvent(event);
}

}  // namespace vantor
