#pragma once
// Prints a grid's rows page by page. Every page carries a header (the
// window title centred, the program's name on the right, both bold) above
// the grid's column header row, and a footer with "Page %d of %d" on the
// left and the date and time of printing on the right.
#include <QAbstractItemModel>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QPainter;
class QPrinter;

namespace vantor {

// "Page %d of %d".
QString PageFooterText(int page, int pageCount);

// Pages needed for `rows` data rows at `rowsPerPage` per page; at least one,
// so an empty list still prints its header.
int PageCountFor(int rows, int rowsPerPage);

// Column widths across a page `pageWidth` wide for columns that need
// `needed` to show their longest text. Room to spare is shared out in
// proportion; short of room, the columns marked in `keepWhole` (IDs, file
// names) keep what they need and the others share the rest. Only when the
// kept columns alone are wider than the page is every column narrowed.
QList<int> FitColumnsToPage(const QList<int>& needed, const QList<bool>& keepWhole, int pageWidth);

// Whether a column of this header is never cut: the record type, the ID
// and the file names.
bool KeepColumnWhole(const QString& header);

class CGridPrinter {
public:
    CGridPrinter(const QAbstractItemModel& model, QString title, QString appName);

    // Turns the page to landscape when the columns need more than a
    // portrait page's width (and back when they do not); the number of
    // pages the list then fills. Call before printing.
    int PreparePage(QPrinter& printer);

    // Prints the pages of the printer's page range (every page when it has
    // none). Returns the footer texts of the pages printed, in order (empty
    // when the printer could not be started).
    QStringList Print(QPrinter& printer);
    // The same onto a painter already begun on a paged device (preview).
    QStringList Print(QPrinter& printer, QPainter& painter);

    void SetPrintTime(const QDateTime& when) { m_when = when; }
    // Told after each page printed (pages done, pages to print); false stops
    // the printing there.
    void SetProgress(std::function<bool(int done, int total)> progress) { m_progress = std::move(progress); }
    // The pages to print (1-based, inclusive); 0 takes the printer's range.
    void SetPageRange(int from, int to) { m_from = from, m_to = to; }

    // The widths each column needs for its longest text, in the printer's units.
    QList<int> NeededWidths(QPrinter& printer) const;

private:
    const QAbstractItemModel& m_model;
    QString m_title;
    QString m_appName;
    QDateTime m_when = QDateTime::currentDateTime();
    std::function<bool(int, int)> m_progress;
    int m_from = 0;
    int m_to = 0;
    QList<int> m_needed;  // NeededWidths, once per printing
};

}  // namespace vantor
