#pragma once
// The "Record Conflicts" list: one row per record two or more plugins hold,
// and under it the chosen record's copies side by side, one column per
// file, the master's first, the winner's marked, the cells that differ
// highlighted. A double click on a copy opens it in the entry editor.
#include <QAbstractTableModel>
#include <QDockWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "EntryActions.h"
#include "document/operations/RecordConflictList.h"

class QLabel;

namespace vantor {

class CGridCtrl;

// The list's rows over the finding; sorting orders a row index, so the
// findings themselves are never moved.
class CRecordConflictModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetList(CRecordConflictsPtr list);
    const CRecordConflictsPtr& List() const { return m_list; }
    // The finding a row shows.
    const CRecordConflict* Record(int row) const;
    // A header click: ascending, or reversed when the column was the last sorted.
    void SortClicked(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    CRecordConflictsPtr m_list;
    std::vector<std::uint32_t> m_order;
    int m_sortColumn = -1;
    bool m_descending = false;
};

// One record's copies side by side: a line per subrecord or field, a column
// per file after the line's name.
class CRecordDetailModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Colours of the cells that differ: from the master's copy (what the
    // file changes), and from the winner's (what the game does not load).
    static QColor ChangedColor();
    static QColor OverriddenColor();

    void SetRecord(const CRecordConflict* record);
    const CRecordConflict* Record() const { return m_record; }
    const CRecordComparison* Comparison() const { return m_comparison ? &*m_comparison : nullptr; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const CRecordConflict* m_record = nullptr;
    std::optional<CRecordComparison> m_comparison;
};

class CRecordConflictsPane : public QWidget {
    Q_OBJECT
public:
    // `open` opens the entry editor on a request (the frame's).
    using COpenEditor = std::function<void(const CEntryOpenRequest&)>;
    CRecordConflictsPane(const CVANTORDoc& doc, COpenEditor open, QWidget* parent = nullptr);

    void SetList(CRecordConflictsPtr list);
    // "Record Conflicts (n)", and when a stop cut it short.
    QString CaptionText() const;
    CRecordConflictModel& Model() { return m_model; }
    CRecordDetailModel& Detail() { return m_detail; }
    CGridCtrl& ListGrid() { return *m_list; }
    CGridCtrl& DetailGrid() { return *m_grid; }
    // Shows a row's record in the detail grid.
    void ShowRecord(int row);
    // A double click on a file's column of the detail grid.
    void OpenCopy(int column);

private:
    const CVANTORDoc& m_doc;
    COpenEditor m_open;
    CRecordConflictModel m_model;
    CRecordDetailModel m_detail;
    QLabel* m_caption = nullptr;
    CGridCtrl* m_list = nullptr;
    CGridCtrl* m_grid = nullptr;
};

// The list as a dock of the main window, hidden until an operation fills it
// or its toolbar button shows it.
class CRecordConflictsDock : public QDockWidget {
    Q_OBJECT
public:
    CRecordConflictsDock(const CVANTORDoc& doc, CRecordConflictsPane::COpenEditor open, QWidget* parent = nullptr);
    CRecordConflictsPane& Pane() { return *m_pane; }
    // The toolbar's toggle: shows and hides the list.
    QAction* ToggleAction() const { return toggleViewAction(); }
    // New findings: shown, and the dock with them.
    void Show(CRecordConflictsPtr list);

private:
    CRecordConflictsPane* m_pane;
};

}  // namespace vantor
