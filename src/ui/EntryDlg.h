#pragma once
// The entry editor: a modeless window over one entry of a loaded file, with
// a grid of its subrecords (editable once "Read Only" is cleared) and a hex
// dump that marks the bytes differing from a comparison entry. "Write to
// ESP" rewrites the entry through the document; "Delete Entry" erases it and
// takes its rows out of the result lists.
#include <QDialog>
#include <string>
#include <vector>

#include "EntryActions.h"
#include "editor/EntryRows.h"

class QCheckBox;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace vantor {

class CHexView;
class CMainFrame;

class CEntryDlg : public QDialog {
    Q_OBJECT
public:
    enum EButton { kHexView, kGridView, kAddRow, kInsertRow, kDeleteRow, kWriteToEsp, kDeleteEntry, kButtonCount };

    CEntryDlg(const CEntryOpenRequest& request, CMainFrame& frame);

    // The frame's opener: a new editor, or nullptr for an entry without
    // subrecords.
    static QWidget* Open(const CEntryOpenRequest& request, QWidget* owner);

    QPushButton* Button(EButton button) const { return m_buttons[button]; }
    QCheckBox* ReadOnlyBox() const { return m_readOnly; }
    QTableWidget* Grid() const { return m_grid; }
    CHexView* HexView() const { return m_hex; }  // nullptr until first shown
    int ViewMode() const { return m_viewMode; }
    // Whether the grid holds edits that were not written to the file.
    bool HasUnwrittenEdits() const { return m_unwritten; }

    // The grid's rows as the write-back reads them.
    std::vector<CEntryRow> GridRows() const;

    void SetViewMode(int mode);
    void EnableEditing(bool on);
    void AddRow();
    void InsertRow();
    void DeleteRow();
    // True when the entry was rewritten.
    bool WriteToEsp();
    // True when the entry was deleted (the window then closes).
    bool DeleteEntry();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillGridFromEntry();
    void SetRow(int row, const CEntryRow& values);
    void UpdateButtons();
    // The "Bytes" cell of a Hex or Ascii row follows its edited "Data".
    void FollowBytes(int row);

    CEntryOpenRequest m_request;
    CMainFrame& m_frame;
    int m_viewMode = 0;
    bool m_firstShow = true;
    bool m_editing = false;    // EnableEditing's state
    bool m_filling = false;    // the grid is being filled, not edited
    bool m_unwritten = false;  // edits not yet written to the file
    QPushButton* m_buttons[kButtonCount] = {};
    QCheckBox* m_readOnly = nullptr;
    QTableWidget* m_grid = nullptr;
    CHexView* m_hex = nullptr;
    QVBoxLayout* m_layout = nullptr;
};

}  // namespace vantor
