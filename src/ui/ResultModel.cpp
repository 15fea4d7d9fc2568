#include "ResultModel.h"

#include "widgets/Cp1252.h"

namespace vantor {

CResultModel::CResultModel(CResultTable header, QObject* parent)
    : QAbstractTableModel(parent), m_table(std::make_shared<CResultTable>(std::move(header))),
      m_ownHeader(m_table->m_header) {}

void CResultModel::SetTable(CTablePtr table) {
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
    // A reset rather than a layout change: the selection names cells, and
    // cells that moved must not stay selected under other rows.
    beginResetModel();
    m_table->SortByColumn(std::size_t(column), m_descending);
    endResetModel();
}

void CResultModel::RemoveRows(const std::set<int>& rows) {
    if (rows.empty()) return;
    beginResetModel();
    std::set<std::size_t> taken;
    for (int r : rows)
        if (r >= 0) taken.insert(std::size_t(r));
    m_table->RemoveRows(taken);
    endResetModel();
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
