#pragma once
// The status bar's message pane: the idle text or a command's prompt, and
// during an operation its status text with a progress bar beside it.
#include <QProgressBar>
#include <QRect>
#include <QString>
#include <QWidget>

namespace vantor {

// Where the bar lies in the pane: it starts after the text plus four blanks,
// takes 40 percent of the width that remains to the right of that point and
// 80 percent of the pane's height, centred.
QRect ProgressBarRect(const QRect& pane, int textWidth, int blankWidth);

// The progress control: range 0 to the total, step 1, smooth.
class CProgressBar : public QProgressBar {
    Q_OBJECT
public:
    CProgressBar(int total, QWidget* parent);
    void StepIt();
};

class CStatusMessagePane : public QWidget {
    Q_OBJECT
public:
    explicit CStatusMessagePane(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    // The text shown when nothing else is: "Ready", or what the last
    // operation came to. Shown at once unless a progress display is open.
    void SetIdleText(const QString& text);
    QString IdleText() const { return m_idle; }

    // A total below 1 closes the display and brings back the idle text; otherwise
    // the first call opens it at 0 and each further one shows the text and
    // advances one step.
    void Progress(const QString& text, int total);
    CProgressBar* Bar() const { return m_bar; }
    // While a question waits for the user the display is put away, so that
    // it does not stand at "99%" as if still working; then it comes back.
    void PauseProgress(bool paused);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void LayOutBar();

    QString m_text;
    QString m_idle;
    CProgressBar* m_bar = nullptr;
    QString m_pausedText;  // the status text while paused
    bool m_paused = false;
};

}  // namespace vantor
