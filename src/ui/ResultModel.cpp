#include "ResultModel.h"

#include "widgets/Cp1252.h"

namespace vantor {

CResultModel::CResultModel(CResultTable header, QObject* parent)
    : QAbstractTableModel(parent), m_table(std::move(header)), m_ownHeader(m_table.m_header) {}

void CResultModel::SetTable(CResultTable table) {
    beginResetModel();
    m_table = std::move(table);
    if (m_table.m_header.empty()) m_table.m_header = m_ownHeader;
    m_sortColumn = -1;
    m_descending = false;
    endResetModel();
}

const std::string& CResultModel::Text(int row, int column) const {
    static const std::string kEmpty;
    if (row < 0 || std::size_t(row) >= m_table.m_rows.size() || column < 0) return kEmpty;
    const auto& cells = m_table.m_rows[std::size_t(row)];
    return std::size_t(column) < cells.size() ? cells[std::size_t(column)].m_text : kEmpty;
}

void CResultModel::SortClicked(int column) {
    if (column < 0 || column >= columnCount()) return;
    m_descending = (column == m_sortColumn) ? !m_descending : false;
    m_sortColumn = column;
    // A reset rather than a layout change: the selection names cells, and
    // cells that moved must not stay selected under other rows.
    beginResetModel();
    m_table.SortByColumn(std::size_t(column), m_descending);
    endResetModel();
}

void CResultModel::RemoveRows(const std::set<int>& rows) {
    if (rows.empty()) return;
    beginResetModel();
    std::vector<std::vector<CResultCell>> kept;
    kept.reserve(m_table.m_rows.size());
    for (std::size_t r = 0; r < m_table.m_rows.size(); ++r)
        if (!rows.count(int(r))) kept.push_back(std::move(m_table.m_rows[r]));
    m_table.m_rows = std::move(kept);
    endResetModel();
}

int CResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_table.m_rows.size());
}

int CResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_table.m_header.size());
}

QVariant CResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    return DecodeCp1252(Text(index.row(), index.column()));
}

QVariant CResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        std::size_t(section) >= m_table.m_header.size())
        return {};
    return DecodeCp1252(m_table.m_header[std::size_t(section)]);
}

}  // namespace vantor
