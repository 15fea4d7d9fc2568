#include "StatusPane.h"

#include <QPainter>

namespace vantor {

namespace {
const char* const kIdleText = "Ready";
}

QRect ProgressBarRect(const QRect& pane, int textWidth, int blankWidth) {
    const int left = pane.left() + textWidth + 4 * blankWidth;
    const int room = std::max(0, pane.right() + 1 - left);
    const int height = pane.height() * 8 / 10;
    const int top = pane.top() + (pane.height() - height) / 2;
    return QRect(left, top, room * 4 / 10, height);
}

CProgressBar::CProgressBar(int total, QWidget* parent) : QProgressBar(parent) {
    setRange(0, total);
    setValue(0);
    setTextVisible(false);
}

void CProgressBar::StepIt() {
    if (value() < maximum()) setValue(value() + 1);
}

CStatusMessagePane::CStatusMessagePane(QWidget* parent) : QWidget(parent), m_text(kIdleText), m_idle(kIdleText) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize CStatusMessagePane::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_text) + 8, fontMetrics().height() + 4};
}

void CStatusMessagePane::SetText(const QString& text) {
    m_text = text;
    LayOutBar();
    update();
}

void CStatusMessagePane::SetIdleText(const QString& text) {
    m_idle = text.isEmpty() ? QString::fromLatin1(kIdleText) : text;
    if (!m_bar) SetText(m_idle);
}

void CStatusMessagePane::Progress(const QString& text, int total) {
    if (total < 1) {
        delete m_bar;
        m_bar = nullptr;
        m_paused = false;
        SetText(m_idle);
        return;
    }
    if (m_bar) {
        m_text = text;
        m_bar->StepIt();
    } else {
        m_bar = new CProgressBar(total, this);
        m_text = text;
        m_bar->show();
    }
    LayOutBar();
    update();
}

void CStatusMessagePane::PauseProgress(bool paused) {
    if (!m_bar || paused == m_paused) return;
    m_paused = paused;
    m_bar->setVisible(!paused);
    if (paused) m_pausedText = m_text;
    SetText(paused ? QStringLiteral("Waiting for an answer") : m_pausedText);
}

void CStatusMessagePane::LayOutBar() {
    if (!m_bar) return;
    const QFontMetrics fm = fontMetrics();
    m_bar->setGeometry(ProgressBarRect(rect(), fm.horizontalAdvance(m_text), fm.horizontalAdvance(QChar(' '))));
}

void CStatusMessagePane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

void CStatusMessagePane::resizeEvent(QResizeEvent*) { LayOutBar(); }

}  // namespace vantor
