#include "EntryDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>
#include <QTableWidget>
#include <QToolTip>
#include <set>

#include "MainFrame.h"
#include "QtFrameLink.h"
#include "ResultViews.h"
#include "UiText.h"
#include "format/SubRecord.h"
#include "editor/WriteBack.h"
#include "widgets/Cp1252.h"
#include "widgets/HexView.h"

namespace vantor {

namespace {

constexpr int kStartWidth = 625;
constexpr int kStartHeight = 250;
constexpr int kRowValueRole = Qt::UserRole;
constexpr int kFromEntryRole = Qt::UserRole + 1;

constexpr const char* kButtonTexts[CEntryDlg::kButtonCount] = {
    "Hex View", "Grid View", "Add Row", "Insert Row", "Delete Row", "Write to ESP", "Delete Entry",
};

}  // namespace

QWidget* CEntryDlg::Open(const CEntryOpenRequest& request, QWidget* owner) {
    auto* frame = qobject_cast<CMainFrame*>(owner);
    // An entry without subrecords has nothing to show or edit.
    if (!frame || request.m_subRecords.empty()) return nullptr;
    return new CEntryDlg(request, *frame);
}

CEntryDlg::CEntryDlg(const CEntryOpenRequest& request, CMainFrame& frame)
    : QDialog(&frame), m_request(request), m_frame(frame) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setSizeGripEnabled(true);
    setWindowTitle(FromCoreText(request.m_title));

    // The buttons in a row above the grid, "Read Only" at its right end; the
    // row is as wide as their texts need.
    auto* band = new QHBoxLayout;
    band->setSpacing(4);
    for (int b = 0; b < kButtonCount; ++b) {
        auto* button = new QPushButton(QString::fromLatin1(kButtonTexts[b]), this);
        // Enter must not write or delete anything by itself.
        button->setAutoDefault(false);
        band->addWidget(button);
        m_buttons[b] = button;
    }
    m_buttons[kGridView]->hide();
    m_readOnly = new QCheckBox(QStringLiteral("Read Only"), this);
    m_readOnly->setChecked(true);
    band->addStretch(1);
    band->addSpacing(10);
    band->addWidget(m_readOnly);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 1, 0, 0);
    m_layout->setSpacing(2);
    m_layout->addLayout(band);

    connect(m_buttons[kHexView], &QPushButton::clicked, this, [this] { SetViewMode(1); });
    connect(m_buttons[kGridView], &QPushButton::clicked, this, [this] { SetViewMode(0); });
    connect(m_buttons[kAddRow], &QPushButton::clicked, this, &CEntryDlg::AddRow);
    connect(m_buttons[kInsertRow], &QPushButton::clicked, this, &CEntryDlg::InsertRow);
    connect(m_buttons[kDeleteRow], &QPushButton::clicked, this, &CEntryDlg::DeleteRow);
    connect(m_buttons[kWriteToEsp], &QPushButton::clicked, this, &CEntryDlg::WriteToEsp);
    connect(m_buttons[kDeleteEntry], &QPushButton::clicked, this, &CEntryDlg::DeleteEntry);
    connect(m_readOnly, &QCheckBox::toggled, this, [this](bool checked) { EnableEditing(!checked); });
    connect(&m_frame, &CMainFrame::BusyChanged, this, &CEntryDlg::UpdateButtons);

    // The top-left corner 625 pixels left of the pointer and level with it,
    // kept on the screen so a pointer near its left edge still shows it.
    QPoint corner = QCursor::pos() - QPoint(kStartWidth, 0);
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
        const QRect area = screen->availableGeometry();
        corner.setX(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() - kStartWidth)));
        corner.setY(std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() - kStartHeight)));
    }
    setGeometry(QRect(corner, QSize(kStartWidth, kStartHeight)));

    SetViewMode(0);
    EnableEditing(false);
}

void CEntryDlg::SetRow(int row, const CEntryRow& values) {
    const QScopedValueRollback<bool> filling(m_filling, true);
    const std::string* texts[] = {&values.m_tag, &values.m_data, &values.m_type, &values.m_bytes};
    auto* fixed = new QTableWidgetItem();
    fixed->setFlags(Qt::ItemIsEnabled);
    m_grid->setItem(row, 0, fixed);
    for (int c = 1; c < int(kGridColumnCount); ++c) {
        auto* item = new QTableWidgetItem(DecodeCp1252(*texts[c - 1]));
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (values.m_fromEntry && c >= 3) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        m_grid->setItem(row, c, item);
    }
    m_grid->item(row, 2)->setData(kRowValueRole, values.m_value);
    m_grid->item(row, 1)->setData(kFromEntryRole, values.m_fromEntry);
}

void CEntryDlg::FillGridFromEntry() {
    const auto rows = FillGrid(m_request.m_tag, m_request.m_subRecords);
    m_grid->setRowCount(int(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) SetRow(int(r), rows[r]);
    m_grid->resizeRowsToContents();
    for (int r = 0; r < m_grid->rowCount(); ++r)
        if (m_grid->rowHeight(r) > kGridMaxRowHeight) m_grid->setRowHeight(r, kGridMaxRowHeight);
    m_unwritten = false;
}

std::vector<CEntryRow> CEntryDlg::GridRows() const {
    std::vector<CEntryRow> rows;
    if (!m_grid) return rows;
    // A cell the code page cannot hold is flagged, and "Write to ESP"
    // refuses its row; the text kept is only for the message.
    auto text = [this](int r, int c, bool* outside = nullptr) {
        const QTableWidgetItem* item = m_grid->item(r, c);
        if (!item) return std::string();
        auto bytes = EncodeCp1252(item->text());
        if (!bytes && outside) *outside = true;
        return bytes.value_or(item->text().toStdString());
    };
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        CEntryRow row;
        row.m_tag = text(r, 1, &row.m_tagOutsideCodePage);
        row.m_data = text(r, 2, &row.m_dataOutsideCodePage);
        row.m_type = text(r, 3);
        row.m_bytes = text(r, 4);
        if (const QTableWidgetItem* data = m_grid->item(r, 2)) row.m_value = data->data(kRowValueRole).toInt();
        if (const QTableWidgetItem* id = m_grid->item(r, 1)) row.m_fromEntry = id->data(kFromEntryRole).toBool();
        rows.push_back(std::move(row));
    }
    return rows;
}

void CEntryDlg::SetViewMode(int mode) {
    m_viewMode = mode;
    if (mode == 0) {
        if (m_hex) m_hex->hide();
        if (!m_grid) {
            m_grid = new QTableWidget(0, int(kGridColumnCount), this);
            QStringList headers;
            for (auto h : kGridHeaders) headers << QString::fromLatin1(h.data(), qsizetype(h.size()));
            m_grid->setHorizontalHeaderLabels(headers);
            m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
            m_grid->verticalHeader()->hide();
            for (std::size_t c = 0; c < kGridColumnCount; ++c) m_grid->setColumnWidth(int(c), kGridWidths[c]);
            // Tags and type names stay readable in fonts wider than the
            // widths were chosen for.
            const QFontMetrics metrics(m_grid->font());
            m_grid->setColumnWidth(1, std::max(kGridWidths[1], metrics.horizontalAdvance(QStringLiteral("WWWW")) + 12));
            m_grid->setColumnWidth(3, std::max(kGridWidths[3], metrics.horizontalAdvance(QStringLiteral("Mixed")) + 12));
            // The data column takes what the others leave, so "Bytes" stays in view.
            m_grid->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
            m_grid->setWordWrap(true);
            m_grid->setTextElideMode(Qt::ElideRight);
            m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
            FillGridFromEntry();
            // Edits from here on are the user's, until they are written.
            connect(m_grid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
                if (m_filling) return;
                m_unwritten = true;
                if (item->column() == 2) FollowBytes(item->row());
            });
            m_grid->installEventFilter(this);
            m_layout->addWidget(m_grid, 1);
        }
        m_grid->show();
    } else {
        if (m_grid) m_grid->hide();
        if (!m_hex) {
            m_hex = new CHexView(m_request.m_data, m_request.m_compare, this);
            m_layout->addWidget(m_hex, 1);
        }
        m_hex->show();
    }
    m_buttons[kHexView]->setVisible(mode == 0);
    m_buttons[kGridView]->setVisible(mode != 0);
    UpdateButtons();
}

void CEntryDlg::EnableEditing(bool on) {
    m_editing = on;
    UpdateButtons();
    if (m_grid)
        m_grid->setEditTriggers(on && !m_request.m_viewOnly ? QAbstractItemView::DoubleClicked |
                                                                  QAbstractItemView::EditKeyPressed |
                                                                  QAbstractItemView::AnyKeyPressed
                                                            : QAbstractItemView::NoEditTriggers);
}

void CEntryDlg::UpdateButtons() {
    // The row and write buttons act on the grid, so not while the hex dump
    // shows; nothing is deleted while "Read Only" is ticked. An operation
    // running may be changing the entry's plugin: the file waits for it.
    const bool rows = m_editing && m_viewMode == 0 && !m_request.m_viewOnly;
    const bool idle = !m_frame.Doc().IsBusy();
    for (EButton b : {kAddRow, kInsertRow, kDeleteRow}) m_buttons[b]->setEnabled(rows);
    m_buttons[kWriteToEsp]->setEnabled(rows && idle);
    m_buttons[kDeleteEntry]->setEnabled(!m_readOnly->isChecked() && !m_request.m_viewOnly && idle);
}

void CEntryDlg::AddRow() {
    if (!m_grid) return;
    const int row = m_grid->rowCount();
    m_grid->insertRow(row);
    SetRow(row, NewRow());
    m_unwritten = true;
    // The new row may be below the visible ones.
    m_grid->setCurrentCell(row, 1);
    m_grid->scrollToItem(m_grid->item(row, 1));
}

void CEntryDlg::InsertRow() {
    if (!m_grid) return;
    const int row = std::max(0, m_grid->currentRow());
    m_grid->insertRow(row);
    SetRow(row, NewRow());
    m_unwritten = true;
}

void CEntryDlg::DeleteRow() {
    if (!m_grid || m_grid->currentRow() < 0) return;
    m_grid->removeRow(m_grid->currentRow());
    m_unwritten = true;
}

bool CEntryDlg::WriteToEsp() {
    CVANTORDoc& doc = m_frame.Doc();
    if (doc.IsBusy() || !m_grid) return false;
    EnableEditing(false);
    // A cell still being typed in holds the newest text.
    if (QWidget* editor = m_grid->focusWidget(); editor && editor != m_grid) m_grid->setFocus();
    const CWriteBack result = WriteBackRows(GridRows(), m_frame.Link());
    bool written = false;
    if (!result.m_ok) {
        if (result.m_row > 0) m_grid->setCurrentCell(result.m_row - 1, 2);
    } else {
        written = m_frame.UpdateEntry(m_request.m_entry, result.m_subRecords);
    }
    if (written) {
        m_frame.ShowOutcome(QStringLiteral("Written to ESP: ") + FromCoreText(m_request.m_file));
        // Show what the file now holds: the grid as a fresh opening would
        // fill it and a hex dump of the new bytes.
        if (const CEntry* entry = m_request.m_entry.m_entry) {
            m_request.m_data = std::string(entry->Data());
            m_request.m_subRecords.clear();
            SplitSubRecords(m_request.m_data, m_request.m_subRecords);
            FillGridFromEntry();
            delete m_hex;
            m_hex = nullptr;
            if (m_viewMode != 0) SetViewMode(m_viewMode);
        }
    }
    EnableEditing(true);
    return written;
}

bool CEntryDlg::DeleteEntry() {
    CVANTORDoc& doc = m_frame.Doc();
    if (doc.IsBusy()) return false;
    if (!m_frame.DeleteEntry(m_request.m_entry, true)) return false;
    for (EPane pane : {EPane::Conflict, EPane::Warning, EPane::Editor}) {
        CResultView* view = m_frame.View(pane);
        if (!view) continue;
        const auto rows = view->Model().Table().RowsShowing(m_request.m_entry.m_entry);
        if (rows.empty()) continue;
        std::set<int> taken;
        for (std::size_t r : rows) taken.insert(int(r));
        view->Model().RemoveRows(taken);
        view->viewport()->update();
    }
    m_frame.ShowOutcome(QStringLiteral("Entry deleted: ") + FromCoreText(m_request.m_title));
    // The entry is gone: there is nothing left to write.
    m_unwritten = false;
    close();
    return true;
}

void CEntryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_firstShow) return;
    m_firstShow = false;
    m_buttons[kHexView]->setVisible(m_viewMode == 0);
    m_buttons[kGridView]->setVisible(m_viewMode != 0);
    if (m_request.m_viewOnly) {
        // A master's entry is only looked at.
        m_readOnly->hide();
        for (EButton b : {kAddRow, kInsertRow, kDeleteRow, kWriteToEsp, kDeleteEntry}) m_buttons[b]->hide();
    }
    EnableEditing(!m_readOnly->isChecked());
}

void CEntryDlg::closeEvent(QCloseEvent* event) {
    if (m_unwritten && !m_request.m_viewOnly) {
        const EAnswer answer = m_frame.Link().Show({"The changes to this entry have not been written to its file.\n"
                                                   "Discard them?",
                                                   "Discard Changes", EButtons::YesNo, EIcon::Question, EAnswer::No});
        if (answer != EAnswer::Yes) {
            event->ignore();
            return;
        }
        m_unwritten = false;
    }
    QDialog::closeEvent(event);
}

void CEntryDlg::FollowBytes(int row) {
    const std::vector<CEntryRow> rows = GridRows();
    if (row < 0 || std::size_t(row) >= rows.size()) return;
    const CEntryRow& values = rows[std::size_t(row)];
    // Only these two take their size from the text; the other types have a
    // size the text must fit, which stays.
    const QString type = QString::fromStdString(values.m_type).toUpper();
    if (type != QLatin1String("HEX") && type != QLatin1String("ASCII")) return;
    // Measured as "Write to ESP" would make it, without its questions: what
    // it would refuse leaves the number as it was.
    struct CMeasuringLink : CUserLink {
        void Progress(const std::string&, int) override {}
        void Tell(const CNotice&) override {}
        CAnswer Ask(const CQuestion&) override { return {EAnswer::Yes, {}}; }
    } measuring;
    const auto payload = RowPayload(values, row + 1, measuring);
    if (!payload || values.m_dataOutsideCodePage) return;
    const QScopedValueRollback<bool> filling(m_filling, true);
    if (QTableWidgetItem* bytes = m_grid->item(row, 4)) bytes->setText(QString::number(payload->size()));
}

bool CEntryDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_grid || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool editable = m_editing && !m_request.m_viewOnly;
    if (enter) {
        // Enter in the grid edits the cell, never closes the window.
        if (editable && m_grid->currentItem() && (m_grid->currentItem()->flags() & Qt::ItemIsEditable))
            m_grid->editItem(m_grid->currentItem());
        return true;
    }
    // Typing that would change a cell, while the grid cannot be edited: say why.
    const bool typing = !key->text().isEmpty() && key->text().at(0).isPrint() &&
                        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typing && !editable) {
        const QString why = m_request.m_viewOnly
                                ? QStringLiteral("This entry is open for viewing only: it cannot be edited here.")
                                : QStringLiteral("\"Read Only\" is ticked: clear it to edit the entry.");
        QToolTip::showText(m_readOnly->mapToGlobal(QPoint(0, m_readOnly->height())), why, m_readOnly);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CEntryDlg::keyPressEvent(QKeyEvent* event) {
    // Enter (outside the grid, which takes it) and Escape close the window
    // like its close box.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vantor
