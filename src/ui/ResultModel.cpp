#include "ResultModel.h"

#include <mutex>
#include <thread>

#include "widgets/Cp1252.h"

namespace vantor {

namespace {

std::mutex& PostingMutex() {
    static std::mutex posting;
    return posting;
}

}  // namespace

struct CResultModel::CSortJob {
    int m_number = 0;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};

CResultModel::CResultModel(CResultTable header, QObject* parent)
    : QAbstractTableModel(parent), m_table(std::make_shared<CResultTable>(std::move(header))),
      m_ownHeader(m_table->m_header) {}

CResultModel::~CResultModel() {
    // Nobody is told: the view that listens is going too.
    if (!m_sort) return;
    m_sort->m_cancel = true;
    m_sort->m_thread.join();
}

void CResultModel::SetTable(CTablePtr table) {
    CancelSort();
    beginResetModel();
    m_table = table ? std::move(table) : std::make_shared<CResultTable>();
    if (m_table->m_header.empty()) m_table->m_header = m_ownHeader;
    m_sortColumn = -1;
    m_descending = false;
    endResetModel();
}

std::string_view CResultModel::Text(int row, int column) const {
    if (row < 0 || column < 0) return {};
    return m_table->Cell(std::size_t(row), std::size_t(column));
}

void CResultModel::SortClicked(int column) {
    if (column < 0 || column >= columnCount()) return;
    m_descending = (column == m_sortColumn) ? !m_descending : false;
    m_sortColumn = column;
    StartSort();
}

void CResultModel::StartSort() {
    CancelSort();
    auto job = std::make_unique<CSortJob>();
    job->m_number = ++m_jobs;
    // The thread reads the table through its own reference; the rows do not
    // change until its order is taken here, on the user-interface thread.
    job->m_thread = std::thread([this, number = job->m_number, cancel = &job->m_cancel, table = m_table,
                                 column = std::size_t(m_sortColumn), descending = m_descending] {
        std::vector<std::uint32_t> order = table->SortedOrder(column, descending, cancel);
        if (cancel->load()) return;
        // Posted through a standard mutex, so thread checkers see the hand-over.
        std::lock_guard posting(PostingMutex());
        QMetaObject::invokeMethod(
            this,
            [this, number, order = std::move(order)]() mutable {
                { std::lock_guard posted(PostingMutex()); }
                TakeOrder(number, std::move(order));
            },
            Qt::QueuedConnection);
    });
    m_sort = std::move(job);
    emit SortingChanged(true);
}

void CResultModel::CancelSort() {
    if (!m_sort) return;
    m_sort->m_cancel = true;
    m_sort->m_thread.join();
    m_sort.reset();
    emit SortingChanged(false);
}

void CResultModel::TakeOrder(int job, std::vector<std::uint32_t> order) {
    if (!m_sort || m_sort->m_number != job) return;
    m_sort->m_thread.join();
    m_sort.reset();
    // A reset rather than a layout change: the selection names cells, and
    // cells that moved must not stay selected under other rows.
    beginResetModel();
    m_table->Reorder(std::move(order));
    endResetModel();
    emit SortingChanged(false);
}

void CResultModel::RemoveRows(const std::set<int>& rows) {
    if (rows.empty()) return;
    // Rows leave the table only while no thread reads it; a sort that was
    // running starts again on what remains.
    const bool sorting = Sorting();
    CancelSort();
    beginResetModel();
    std::set<std::size_t> taken;
    for (int r : rows)
        if (r >= 0) taken.insert(std::size_t(r));
    m_table->RemoveRows(taken);
    endResetModel();
    if (sorting) StartSort();
}

int CResultModel::rowCount(const QModelIndex& parent) const {
    // A view counts its rows in int; a larger table shows its first rows.
    return parent.isValid() ? 0 : int(std::min<std::size_t>(m_table->RowCount(), INT_MAX));
}

int CResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_table->ColumnCount());
}

QVariant CResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    return DecodeCp1252(Text(index.row(), index.column()));
}

QVariant CResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        std::size_t(section) >= m_table->m_header.size())
        return {};
    return DecodeCp1252(m_table->m_header[std::size_t(section)]);
}

}  // namespace vantor
