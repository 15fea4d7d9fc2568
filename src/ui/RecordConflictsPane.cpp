#include "RecordConflictsPane.h"

#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "UiText.h"
#include "document/VANTORDoc.h"
#include "widgets/Cp1252.h"
#include "widgets/GridCtrl.h"

namespace vantor {

namespace {

// A landscape's payload shown whole would be thousands of hex digits.
constexpr qsizetype kLongestCell = 200;

QString Shortened(QString text) {
    if (text.size() > kLongestCell) text = text.left(kLongestCell) + QChar(0x2026);
    return text;
}

// Three columns of a grid, the last one marked: copies side by side, a winner.
QIcon ToggleIcon() {
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.fillRect(QRectF(10, 2, 4, 12), QColor(60, 110, 190));
    p.fillRect(QRectF(2, 6, 8, 4), QColor(230, 180, 40));
    p.drawLine(QPointF(5.5, 1.5), QPointF(5.5, 14.5));
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 14.5));
    return QIcon(image);
}

}  // namespace

// ------------------------------------------------------------------ list --

void CRecordConflictModel::SetList(CRecordConflictsPtr list) {
    beginResetModel();
    m_list = std::move(list);
    m_order.resize(m_list ? m_list->m_records.size() : 0);
    std::iota(m_order.begin(), m_order.end(), 0u);
    m_sortColumn = -1;
    m_descending = false;
    endResetModel();
}

const CRecordConflict* CRecordConflictModel::Record(int row) const {
    if (!m_list || row < 0 || std::size_t(row) >= m_order.size()) return nullptr;
    return &m_list->m_records[m_order[std::size_t(row)]];
}

void CRecordConflictModel::SortClicked(int column) {
    if (!m_list || column < 0 || column >= columnCount()) return;
    m_descending = column == m_sortColumn ? !m_descending : false;
    m_sortColumn = column;
    std::vector<std::string> keys(m_list->m_records.size());
    for (std::size_t r = 0; r < keys.size(); ++r) keys[r] = RecordConflictCell(m_list->m_records[r], std::size_t(column));
    beginResetModel();
    // By the text's bytes, as the other lists sort; equal texts keep their order.
    std::stable_sort(m_order.begin(), m_order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return m_descending ? keys[b] < keys[a] : keys[a] < keys[b];
    });
    endResetModel();
}

int CRecordConflictModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_order.size());
}

int CRecordConflictModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kRecordColumnCount);
}

QVariant CRecordConflictModel::data(const QModelIndex& index, int role) const {
    const CRecordConflict* record = Record(index.row());
    if (!record || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const std::string text = RecordConflictCell(*record, std::size_t(index.column()));
    // IDs are the plugin's text; the other cells name files and subrecords.
    return index.column() == kRecordName ? DecodeCp1252(text) : FromCoreText(text);
}

QVariant CRecordConflictModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) return {};
    return FromCoreText(kRecordConflictHeader[std::size_t(section)]);
}

// ---------------------------------------------------------------- detail --

QColor CRecordDetailModel::ChangedColor() { return QColor(255, 236, 179); }
QColor CRecordDetailModel::OverriddenColor() { return QColor(192, 0, 0); }

void CRecordDetailModel::SetRecord(const CRecordConflict* record) {
    beginResetModel();
    m_comparison.reset();
    m_record = record;
    if (record) m_comparison.emplace(*record);
    endResetModel();
}

int CRecordDetailModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_comparison ? 0 : int(m_comparison->LineCount());
}

int CRecordDetailModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_comparison ? 0 : int(m_comparison->ColumnCount()) + 1;
}

QVariant CRecordDetailModel::data(const QModelIndex& index, int role) const {
    if (!m_comparison || !index.isValid()) return {};
    const auto line = std::size_t(index.row());
    if (index.column() == 0) return role == Qt::DisplayRole ? FromCoreText(m_comparison->LineName(line)) : QVariant();
    const auto column = std::size_t(index.column() - 1);
    const std::uint8_t differs = m_comparison->Differs(line, column);
    switch (role) {
        case Qt::DisplayRole:
            if (m_comparison->NotRead(column)) return QStringLiteral("(not read)");
            return Shortened(DecodeCp1252(m_comparison->Text(line, column)));
        case Qt::ToolTipRole:
            return Shortened(DecodeCp1252(m_comparison->Text(line, column)).left(kLongestCell * 10));
        case Qt::BackgroundRole:
            if (differs & CRecordComparison::kFromMaster) return ChangedColor();
            return {};
        case Qt::ForegroundRole:
            if (differs & CRecordComparison::kFromWinner) return OverriddenColor();
            return {};
        default: return {};
    }
}

QVariant CRecordDetailModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!m_comparison || orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (section == 0) return role == Qt::DisplayRole ? QStringLiteral("Subrecord") : QVariant();
    const auto column = std::size_t(section - 1);
    const bool winner = column == m_comparison->WinnerColumn();
    if (role == Qt::FontRole && winner) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role != Qt::DisplayRole) return {};
    QString text = FromCoreText(m_comparison->File(column).FileName());
    if (winner) text += QStringLiteral(" (winner)");
    if (column == 0 && m_comparison->HasMaster()) text += QStringLiteral(" (original)");
    return text;
}

// ------------------------------------------------------------------ pane --

CRecordConflictsPane::CRecordConflictsPane(const CVANTORDoc& doc, COpenEditor open, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_open(std::move(open)) {
    setObjectName("recordConflicts");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_caption = new QLabel(this);
    layout->addWidget(m_caption);
    auto* split = new QSplitter(Qt::Vertical, this);
    m_list = new CGridCtrl(split);
    m_list->setModel(&m_model);
    m_grid = new CGridCtrl(split);
    m_grid->setModel(&m_detail);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    layout->addWidget(split, 1);
    m_caption->setText(CaptionText());

    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { ShowRecord(current.row()); });
    connect(m_list, &CGridCtrl::HeaderClicked, this, [this](int column) {
        m_model.SortClicked(column);
        ShowRecord(-1);
    });
    connect(m_grid, &CGridCtrl::CellDoubleClicked, this, [this](int, int column) { OpenCopy(column); });
}

void CRecordConflictsPane::SetList(CRecordConflictsPtr list) {
    m_model.SetList(std::move(list));
    ShowRecord(m_model.rowCount() > 0 ? 0 : -1);
    m_caption->setText(CaptionText());
}

QString CRecordConflictsPane::CaptionText() const {
    const CRecordConflictsPtr& list = m_model.List();
    QString text = QStringLiteral("Record Conflicts (%1)").arg(m_model.rowCount());
    if (list && list->m_stopped) text += QStringLiteral(" (stopped early)");
    return text;
}

void CRecordConflictsPane::ShowRecord(int row) {
    m_detail.SetRecord(m_model.Record(row));
    m_grid->resizeColumnsToContents();
}

void CRecordConflictsPane::OpenCopy(int column) {
    const CRecordComparison* comparison = m_detail.Comparison();
    const CRecordConflictsPtr& list = m_model.List();
    // The files a running operation reads may be changing under the lookup.
    if (!comparison || !list || column < 1 || m_doc.IsBusy()) return;
    const auto k = std::size_t(column - 1);
    if (k >= comparison->ColumnCount()) return;
    const auto refOf = [&](std::size_t c) {
        CEntryRef ref;
        for (const CFileRef& file : list->m_files)
            if (file.get() == &comparison->File(c)) ref.m_file = file;
        ref.m_entry = &comparison->Entry(c);
        ref.m_table = std::uint8_t(m_detail.Record()->m_group.m_table);
        return ref;
    };
    // The hex view marks the bytes that differ from the winner's copy, and
    // the winner's those that differ from the master's.
    const std::size_t winner = comparison->WinnerColumn();
    const std::size_t other = k != winner ? winner : comparison->HasMaster() ? 0 : k;
    const bool master = comparison->HasMaster() && k == 0;
    if (auto request = EntryOpenRequest(m_doc, EPane::Conflict, refOf(k), refOf(other), master)) m_open(*request);
}

// ------------------------------------------------------------------ dock --

CRecordConflictsDock::CRecordConflictsDock(const CVANTORDoc& doc, CRecordConflictsPane::COpenEditor open, QWidget* parent)
    : QDockWidget(QStringLiteral("Record Conflicts"), parent), m_pane(new CRecordConflictsPane(doc, std::move(open), this)) {
    setObjectName("RecordConflicts");
    setWidget(m_pane);
    QAction* toggle = toggleViewAction();
    toggle->setIcon(ToggleIcon());
    toggle->setToolTip(QStringLiteral("Toggle Record Conflicts"));
    toggle->setStatusTip(QStringLiteral("Show or hide the Record Conflicts list"));
    hide();
}

void CRecordConflictsDock::Show(CRecordConflictsPtr list) {
    m_pane->SetList(std::move(list));
    show();
    raise();
}

}  // namespace vantor
