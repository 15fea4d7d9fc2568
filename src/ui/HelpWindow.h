#pragma once
// "VANTOR Help": the user's guide with its table of contents beside it and
// a Find box above it. Resizable, and never larger than the screen.
#include <QDialog>

class QLineEdit;
class QTextBrowser;
class QTreeWidget;

namespace vantor {

class CHelpWindow : public QDialog {
    Q_OBJECT
public:
    // `size`: the size it had when last closed; empty for the first time.
    CHelpWindow(const QString& markdown, QSize size, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return m_browser; }
    QTreeWidget* Contents() const { return m_contents; }
    QLineEdit* FindBox() const { return m_find; }
    // Finds the find box's text after the cursor, from the top again when
    // it is not found below; false when the guide does not hold it.
    bool FindNext();

private:
    void FillContents();

    QTextBrowser* m_browser;
    QTreeWidget* m_contents;
    QLineEdit* m_find;
};

}  // namespace vantor
