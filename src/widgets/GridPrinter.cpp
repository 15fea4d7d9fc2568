#include "GridPrinter.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPrinter>

#include <numeric>

namespace vantor {

QString PageFooterText(int page, int pageCount) {
    return QString::asprintf("Page %d of %d", page, pageCount);
}

int PageCountFor(int rows, int rowsPerPage) {
    if (rows <= 0 || rowsPerPage <= 0) return 1;
    return (rows + rowsPerPage - 1) / rowsPerPage;
}

QList<int> FitColumnsToPage(const QList<int>& needed, const QList<bool>& keepWhole, int pageWidth) {
    const int columns = int(needed.size());
    QList<int> widths = needed;
    auto share = [&](int room, auto include) {
        qint64 weight = 0;
        for (int c = 0; c < columns; ++c)
            if (include(c)) weight += std::max(1, needed[c]);
        if (weight == 0) return;
        for (int c = 0; c < columns; ++c)
            if (include(c)) widths[c] = int(qint64(room) * std::max(1, needed[c]) / weight);
    };
    const int total = std::accumulate(needed.begin(), needed.end(), 0);
    if (total <= pageWidth) {
        // Spare room in proportion, so the grid spans the page.
        for (int c = 0; c < columns; ++c) widths[c] = needed[c] + int(qint64(pageWidth - total) * needed[c] / std::max(1, total));
        return widths;
    }
    int whole = 0;
    for (int c = 0; c < columns; ++c)
        if (keepWhole.value(c)) whole += needed[c];
    // The other columns need some room of their own, a few letters each.
    int flexible = 0;
    for (int c = 0; c < columns; ++c)
        if (!keepWhole.value(c)) ++flexible;
    const int least = pageWidth / 20;
    if (whole + flexible * least <= pageWidth) {
        share(pageWidth - whole, [&](int c) { return !keepWhole.value(c); });
        return widths;
    }
    share(pageWidth, [](int) { return true; });
    return widths;
}

bool KeepColumnWhole(const QString& header) {
    return header == QLatin1String("ID") || header == QLatin1String("Name") || header.endsWith(QLatin1String("File"));
}

namespace {

QFont BodyFont() { return QFont(QStringLiteral("Sans Serif"), 9); }

QFont BoldFont() {
    QFont bold = BodyFont();
    bold.setBold(true);
    return bold;
}

QRect PageRect(const QPrinter& printer) {
    const QRect paint = printer.pageLayout().paintRectPixels(printer.resolution());
    return paint.translated(-paint.topLeft());
}

// Rows below the title and the column header row, above the footer.
int RowsPerPage(const QRect& page, int lineHeight) {
    return std::max(1, (page.height() - 1 - 4 * lineHeight) / lineHeight - 1);
}

// Texts measured per column: the longest by letters, since a font's widths
// differ little between letters of one text.
constexpr int kMeasured = 8;

}  // namespace

CGridPrinter::CGridPrinter(const QAbstractItemModel& model, QString title, QString appName)
    : m_model(model), m_title(std::move(title)), m_appName(std::move(appName)) {}

QList<int> CGridPrinter::NeededWidths(QPrinter& printer) const {
    const QFontMetrics fm(BodyFont(), &printer);
    const QFontMetrics bm(BoldFont(), &printer);
    const int pad = fm.averageCharWidth() / 2 + 1;
    const int columns = m_model.columnCount();
    const int rows = m_model.rowCount();
    QList<int> needed;
    for (int c = 0; c < columns; ++c) {
        int widest = bm.horizontalAdvance(m_model.headerData(c, Qt::Horizontal).toString());
        // (length, row) of the longest texts, shortest first.
        std::vector<std::pair<qsizetype, int>> longest;
        for (int r = 0; r < rows; ++r) {
            const qsizetype length = m_model.index(r, c).data().toString().size();
            if (longest.size() == kMeasured && length <= longest.front().first) continue;
            longest.emplace_back(length, r);
            std::sort(longest.begin(), longest.end());
            if (longest.size() > kMeasured) longest.erase(longest.begin());
        }
        for (const auto& [length, r] : longest)
            widest = std::max(widest, fm.horizontalAdvance(m_model.index(r, c).data().toString()));
        needed.push_back(widest + 2 * pad + 2);
    }
    return needed;
}

int CGridPrinter::PreparePage(QPrinter& printer) {
    m_needed = NeededWidths(printer);
    const int total = std::accumulate(m_needed.begin(), m_needed.end(), 0);
    // Measured on a portrait page: a landscape one is only taken when that
    // is too narrow.
    printer.setPageOrientation(QPageLayout::Portrait);
    if (total > PageRect(printer).width()) printer.setPageOrientation(QPageLayout::Landscape);
    const QRect page = PageRect(printer);
    const int lineHeight = QFontMetrics(BodyFont(), &printer).height() * 13 / 10;
    return PageCountFor(m_model.rowCount(), RowsPerPage(page, lineHeight));
}

QStringList CGridPrinter::Print(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) return {};
    QStringList footers = Print(printer, painter);
    painter.end();
    return footers;
}

QStringList CGridPrinter::Print(QPrinter& printer, QPainter& painter) {
    const QRect page = PageRect(printer);
    const QFont body = BodyFont();
    const QFont bold = BoldFont();
    const QFontMetrics fm(body, &printer);
    const int lineHeight = fm.height() * 13 / 10;
    const int pad = fm.averageCharWidth() / 2 + 1;

    const int columns = m_model.columnCount();
    if (m_needed.size() != columns) m_needed = NeededWidths(printer);
    QList<bool> keep;
    for (int c = 0; c < columns; ++c) keep.push_back(KeepColumnWhole(m_model.headerData(c, Qt::Horizontal).toString()));
    const QList<int> widths = FitColumnsToPage(m_needed, keep, page.width());
    QList<int> x{0};
    for (int c = 0; c < columns; ++c) x.push_back(x.back() + widths[c]);

    const int gridTop = page.top() + lineHeight * 2;
    // The column header row is repeated on every page.
    const int rowsPerPage = RowsPerPage(page, lineHeight);
    const int rows = m_model.rowCount();
    const int pages = PageCountFor(rows, rowsPerPage);
    const QString when = QLocale().toString(m_when, QLocale::ShortFormat);
    // The range asked for, within the pages there are.
    const int from = std::clamp(m_from > 0 ? m_from : printer.fromPage() > 0 ? printer.fromPage() : 1, 1, pages);
    const int to = std::clamp(m_to > 0 ? m_to : printer.toPage() > 0 ? printer.toPage() : pages, from, pages);

    QStringList footers;
    for (int p = from - 1; p < to; ++p) {
        if (p > from - 1 && !printer.newPage()) break;
        painter.setFont(bold);
        const QRect titleRect(page.left(), page.top(), page.width(), lineHeight);
        painter.drawText(titleRect, Qt::AlignHCenter | Qt::AlignVCenter, m_title);
        painter.drawText(titleRect, Qt::AlignRight | Qt::AlignVCenter, m_appName);
        painter.drawLine(page.left(), page.top() + lineHeight + lineHeight / 4, page.right(),
                         page.top() + lineHeight + lineHeight / 4);

        auto drawRow = [&](int y, auto textOf) {
            for (int c = 0; c < columns; ++c) {
                const QRect cell(page.left() + x[c], y, x[c + 1] - x[c], lineHeight);
                painter.drawRect(cell);
                const QRect inner = cell.adjusted(pad, 0, -pad, 0);
                painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                                 painter.fontMetrics().elidedText(textOf(c), Qt::ElideRight, inner.width()));
            }
        };
        painter.setFont(bold);
        drawRow(gridTop, [&](int c) { return m_model.headerData(c, Qt::Horizontal).toString(); });
        painter.setFont(body);
        int y = gridTop + lineHeight;
        for (int r = p * rowsPerPage; r < std::min(rows, (p + 1) * rowsPerPage); ++r, y += lineHeight)
            drawRow(y, [&](int c) { return m_model.index(r, c).data().toString(); });

        const QString footer = PageFooterText(p + 1, pages);
        const QRect footerRect(page.left(), page.bottom() - lineHeight, page.width(), lineHeight);
        painter.drawText(footerRect, Qt::AlignLeft | Qt::AlignVCenter, footer);
        painter.drawText(footerRect, Qt::AlignRight | Qt::AlignVCenter, when);
        footers.push_back(footer);
        if (m_progress && !m_progress(p - from + 2, to - from + 1)) break;
    }
    return footers;
}

}  // namespace vantor
