#pragma once
// A result pane's rows as a Qt table model over the table the document
// holds: sorting or deleting rows here changes that one table, so the log
// saves what the user sees. Cell texts are made only when a cell is shown.
#include <QAbstractTableModel>
#include <memory>
#include <set>
#include <string_view>

#include "document/ResultTable.h"

namespace vantor {

class CResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CResultModel(CResultTable header, QObject* parent = nullptr);
    ~CResultModel() override;

    // Shows another table; the header stays the pane's own when the table
    // brings none.
    void SetTable(CTablePtr table);
    const CResultTable& Table() const { return *m_table; }
    // Raw bytes of a cell, "" outside the table.
    std::string_view Text(int row, int column) const;

    // A click on a header: ascending, or the reverse order when the same
    // column was the last one sorted. The order is worked out on a thread of
    // its own, so the window goes on painting; the rows take it when it is
    // done, and until then the table is only read.
    void SortClicked(int column);
    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_descending; }
    bool Sorting() const { return m_sort != nullptr; }
    void RemoveRows(const std::set<int>& rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void SortingChanged(bool sorting);

private:
    struct CSortJob;
    void StartSort();
    // Ends a running sort without using its order.
    void CancelSort();
    void TakeOrder(int job, std::vector<std::uint32_t> order);

    CTablePtr m_table;
    std::vector<std::string> m_ownHeader;
    int m_sortColumn = -1;
    bool m_descending = false;
    std::unique_ptr<CSortJob> m_sort;
    int m_jobs = 0;  // numbers the sorts, so a late answer is known
};

}  // namespace vantor
