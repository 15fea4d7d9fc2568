#include "HexView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>

#include "Cp1252.h"

namespace vantor {

namespace {

QColor DiffColour() { return QColor(kDiffColour.m_red, kDiffColour.m_green, kDiffColour.m_blue); }

}  // namespace

CHexView::CHexView(std::string_view bytes, std::string_view comparison, QWidget* parent)
    : QAbstractScrollArea(parent), m_layout(bytes, comparison) {
    QFont font(QStringLiteral("Courier"), 8);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    setFont(font);
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    UpdateScrollBars();
}

QColor CHexView::ColumnColour(std::size_t line, std::size_t column) const {
    for (const CColumnSpan& span : m_layout.DiffSpans(line))
        if (column >= span.m_column && column < span.m_column + span.m_length) return DiffColour();
    return palette().color(QPalette::Text);
}

void CHexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CHexView::UpdateScrollBars() {
    const QFontMetrics metrics(font());
    const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    // As many bytes per line as the window holds, in steps of four.
    const std::size_t columns = std::size_t(std::max(0, viewport()->width() / charWidth));
    m_layout.SetBytesPerLine(CHexLayout::FitBytesPerLine(columns));

    const int lineHeight = std::max(1, metrics.height());
    const int visibleLines = std::max(1, viewport()->height() / lineHeight);
    verticalScrollBar()->setRange(0, std::max(0, int(m_layout.LineCount()) - visibleLines));
    verticalScrollBar()->setPageStep(visibleLines);
    const int visibleColumns = std::max(1, viewport()->width() / charWidth);
    horizontalScrollBar()->setRange(0, std::max(0, int(m_layout.LineWidth()) - visibleColumns));
    horizontalScrollBar()->setPageStep(visibleColumns);
    viewport()->update();
}

void CHexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    const int lineHeight = std::max(1, metrics.height());
    const int firstLine = verticalScrollBar()->value();
    const int left = -horizontalScrollBar()->value() * charWidth;
    const QColor text = palette().color(QPalette::Text);

    for (std::size_t line = std::size_t(firstLine); line < m_layout.LineCount(); ++line) {
        const int top = (int(line) - firstLine) * lineHeight;
        if (top > viewport()->height()) break;
        QString shown = DecodeCp1252(m_layout.LineText(line));
        // Bytes the code page leaves as control characters show as dots too.
        for (QChar& c : shown)
            if (!c.isPrint() && c != QLatin1Char(' ')) c = QLatin1Char('.');
        // Paint in runs of one colour; every cell is one character wide.
        const auto spans = m_layout.DiffSpans(line);
        std::size_t column = 0;
        auto paintRun = [&](std::size_t from, std::size_t to, const QColor& colour) {
            if (to <= from || from >= std::size_t(shown.size())) return;
            to = std::min<std::size_t>(to, std::size_t(shown.size()));
            painter.setPen(colour);
            for (std::size_t i = from; i < to; ++i)
                painter.drawText(QRect(left + int(i) * charWidth, top, charWidth, lineHeight), Qt::AlignCenter,
                                 QString(shown[qsizetype(i)]));
        };
        for (const CColumnSpan& span : spans) {
            paintRun(column, span.m_column, text);
            paintRun(span.m_column, span.m_column + span.m_length, DiffColour());
            column = span.m_column + span.m_length;
        }
        paintRun(column, std::size_t(shown.size()), text);
    }
}

}  // namespace vantor
