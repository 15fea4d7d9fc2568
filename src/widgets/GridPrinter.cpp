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

CGridPrinter::CGridPrinter(const QAbstractItemModel& model, QList<int> columnWidths, QString title, QString appName)
    : m_model(model), m_widths(std::move(columnWidths)), m_title(std::move(title)), m_appName(std::move(appName)) {}

QStringList CGridPrinter::Print(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) return {};
    QStringList footers = Print(printer, painter);
    painter.end();
    return footers;
}

QStringList CGridPrinter::Print(QPrinter& printer, QPainter& painter) {
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution()).translated(
        -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft());
    QFont body("Sans Serif", 9);
    QFont bold = body;
    bold.setBold(true);
    const QFontMetrics fm(body, &printer);
    const int lineHeight = fm.height() * 13 / 10;
    const int pad = fm.averageCharWidth() / 2 + 1;

    const int columns = m_model.columnCount();
    QList<int> widths = m_widths;
    while (widths.size() < columns) widths.push_back(100);
    widths.resize(columns);
    const int total = std::max(1, std::accumulate(widths.begin(), widths.end(), 0));
    // The screen widths keep their proportions across the page.
    QList<int> x{0};
    for (int c = 0; c < columns; ++c) x.push_back(x.back() + int(qint64(widths[c]) * page.width() / total));

    const int headerHeight = lineHeight * 2;
    const int footerHeight = lineHeight * 2;
    const int gridTop = page.top() + headerHeight;
    const int gridBottom = page.bottom() - footerHeight;
    // The column header row is repeated on every page.
    const int rowsPerPage = std::max(1, (gridBottom - gridTop) / lineHeight - 1);
    const int rows = m_model.rowCount();
    const int pages = PageCountFor(rows, rowsPerPage);
    const QString when = QLocale().toString(m_when, QLocale::ShortFormat);

    QStringList footers;
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !printer.newPage()) break;
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
    }
    return footers;
}

}  // namespace vantor
