#pragma once
// The grid under every list pane: one fixed header row, read-only cells, a
// selection of single cells, sorting by header clicks left to the owner,
// clipboard copy, and notifications for double clicks and released keys.
#include <QSet>
#include <QString>
#include <QTableView>

namespace vantor {

class CGridCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget* parent = nullptr);

    // Gives the columns their widths in pixels.
    void SetColumnWidths(const QList<int>& widths);
    QList<int> ColumnWidths() const;

    // The selected cells' texts over the rectangle that holds them: cells
    // separated by tabs, rows ended by a line end, unselected cells empty.
    QString SelectedText() const;
    void CopySelection() const;

    // (row, column) pairs of the selected cells.
    QSet<std::pair<int, int>> SelectedCells() const;

signals:
    void CellDoubleClicked(int row, int column);
    // Enter or Return on the focused cell.
    void EnterPressed(int row, int column);
    // A key was released while a cell had the focus.
    void KeyReleased(int row, int column, int key);
    void HeaderClicked(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace vantor
