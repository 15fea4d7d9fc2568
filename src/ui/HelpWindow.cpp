#include "HelpWindow.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor {

namespace {
constexpr int kBlockRole = Qt::UserRole;  // the heading's position in the guide
}

CHelpWindow::CHelpWindow(const QString& markdown, QSize size, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("VANTOR Help"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    auto* findRow = new QHBoxLayout;
    auto* findLabel = new QLabel(QStringLiteral("&Find:"), this);
    m_find = new QLineEdit(this);
    m_find->setClearButtonEnabled(true);
    findLabel->setBuddy(m_find);
    auto* next = new QPushButton(QStringLiteral("Find &Next"), this);
    next->setAutoDefault(false);
    findRow->addWidget(findLabel);
    findRow->addWidget(m_find, 1);
    findRow->addWidget(next);
    layout->addLayout(findRow);

    auto* split = new QSplitter(Qt::Horizontal, this);
    m_contents = new QTreeWidget(split);
    m_contents->setHeaderHidden(true);
    m_contents->setObjectName(QStringLiteral("contents"));
    m_browser = new QTextBrowser(split);
    m_browser->setObjectName(QStringLiteral("help"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setMarkdown(markdown);
    split->addWidget(m_contents);
    split->addWidget(m_browser);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    FillContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);

    connect(m_find, &QLineEdit::returnPressed, this, &CHelpWindow::FindNext);
    connect(next, &QPushButton::clicked, this, &CHelpWindow::FindNext);
    auto* findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        m_find->setFocus();
        m_find->selectAll();
    });
    connect(m_contents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        QTextCursor at(m_browser->document()->findBlock(item->data(0, kBlockRole).toInt()));
        m_browser->setTextCursor(at);
        // The heading at the top of the view, not just somewhere in it.
        m_browser->verticalScrollBar()->setValue(m_browser->verticalScrollBar()->maximum());
        m_browser->ensureCursorVisible();
    });

    // As it was left, or a comfortable reading width; never beyond the screen.
    const QFontMetrics metrics(font());
    QSize wanted = size.isValid() ? size : QSize(metrics.averageCharWidth() * 130, metrics.height() * 40);
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(wanted);
    split->setSizes({metrics.averageCharWidth() * 30, wanted.width() - metrics.averageCharWidth() * 30});
}

void CHelpWindow::FillContents() {
    // The guide's headings, each under the last heading of a higher level.
    std::vector<QTreeWidgetItem*> parents;
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level <= 0) continue;
        while (!parents.empty() && int(parents.size()) >= level) parents.pop_back();
        auto* item = parents.empty() ? new QTreeWidgetItem(m_contents) : new QTreeWidgetItem(parents.back());
        item->setText(0, block.text());
        item->setData(0, kBlockRole, block.position());
        while (int(parents.size()) < level - 1) parents.push_back(item);
        parents.push_back(item);
    }
    m_contents->expandToDepth(0);
}

bool CHelpWindow::FindNext() {
    const QString text = m_find->text();
    if (text.isEmpty()) return false;
    if (m_browser->find(text)) return true;
    m_browser->moveCursor(QTextCursor::Start);
    return m_browser->find(text);
}

}  // namespace vantor
