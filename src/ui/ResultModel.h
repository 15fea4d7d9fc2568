#pragma once
// A result pane's rows as a Qt table model over the table the document
// holds: sorting or deleting rows here changes that one table, so the log
// saves what the user sees. Cell texts are made only when a cell is shown.
#include <QAbstractTableModel>
#include <set>
#include <string_view>

#include "document/ResultTable.h"

namespace vantor {

class CResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CResultModel(CResultTable header, QObject* parent = nullptr);

    // Shows another table; the header stays the pane's own when the table
    // brings none.
    void SetTable(CTablePtr table);
    const CResultTable& Table() const { return *m_table; }
    // Raw bytes of a cell, "" outside the table.
    std::string_view Text(int row, int column) const;

    // A click on a header: ascending, or the reverse order when the same
    // column was the last one sorted.
    void SortClicked(int column);
    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_descending; }
    void RemoveRows(const std::set<int>& rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    CTablePtr m_table;
    std::vector<std::string> m_ownHeader;
    int m_sortColumn = -1;
    bool m_descending = false;
};

}  // namespace vantor
