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

class QPainter;
class QPrinter;

namespace vantor {

// "Page %d of %d".
QString PageFooterText(int page, int pageCount);

// Pages needed for `rows` data rows at `rowsPerPage` per page; at least one,
// so an empty list still prints its header.
int PageCountFor(int rows, int rowsPerPage);

class CGridPrinter {
public:
    CGridPrinter(const QAbstractItemModel& model, QList<int> columnWidths, QString title, QString appName);

    // Prints every row. Returns the footer texts of the pages printed, in
    // order (empty when the printer could not be started).
    QStringList Print(QPrinter& printer);
    // The same onto a painter already begun on a paged device (preview).
    QStringList Print(QPrinter& printer, QPainter& painter);

    void SetPrintTime(const QDateTime& when) { m_when = when; }

private:
    const QAbstractItemModel& m_model;
    QList<int> m_widths;
    QString m_title;
    QString m_appName;
    QDateTime m_when = QDateTime::currentDateTime();
};

}  // namespace vantor
