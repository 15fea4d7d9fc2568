#include "LeftView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>

#include "Icons.h"
#include "UiText.h"

namespace vantor {

namespace {
// Item data: the file name's bytes, and which root the item belongs to.
constexpr int kBytesRole = Qt::UserRole;
constexpr int kRootRole = Qt::UserRole + 1;
}  // namespace

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_remove = new QAction("Remove", this);
    m_remove->setStatusTip("Remove Item from Tree");
    m_add = new QAction("Add", this);
    m_add->setStatusTip("Add Items to Tree");
    connect(m_remove, &QAction::triggered, this, [this] { emit RemoveRequested(Selection()); });
    connect(m_add, &QAction::triggered, this, [this] { emit AddRequested(Selection()); });
    Rebuild({});
}

void CLeftView::Rebuild(const CFileTree& tree) {
    const QIcon rootIcon = icons::Make(icons::EIcon::TreeRoot);
    const QIcon fileIcon = icons::Make(icons::EIcon::TreeFile);
    auto addRoot = [&](const char* name, CFileTree::ERoot root, const std::vector<std::string>& items) {
        auto* item = new QTreeWidgetItem(this, QStringList{QString::fromLatin1(name)});
        item->setIcon(0, rootIcon);
        item->setData(0, kRootRole, int(root));
        for (const auto& name : items) {
            auto* child = new QTreeWidgetItem(item, QStringList{FromCoreText(name)});
            child->setIcon(0, fileIcon);
            // The whole name, also when the tree is narrower than it, and its folder.
            const auto folder = tree.m_folders.find(name);
            child->setToolTip(0, FromCoreText(folder == tree.m_folders.end() ? name : folder->second + name));
            child->setData(0, kBytesRole, QByteArray::fromStdString(name));
            child->setData(0, kRootRole, int(root));
        }
        item->setExpanded(true);
    };
    clear();
    if (tree.m_hasMasterRoot) addRoot(CFileTree::kMasterRoot, CFileTree::ERoot::Master, tree.m_masterItems);
    addRoot(CFileTree::kPluginRoot, CFileTree::ERoot::Plugins, tree.m_pluginItems);
}

std::optional<CFileTree::CSelection> CLeftView::Selection() const {
    const auto items = selectedItems();
    if (items.isEmpty()) return std::nullopt;
    const QTreeWidgetItem* item = items.front();
    CFileTree::CSelection selection;
    selection.m_root = CFileTree::ERoot(item->data(0, kRootRole).toInt());
    selection.m_isRoot = item->parent() == nullptr;
    if (!selection.m_isRoot) selection.m_text = item->data(0, kBytesRole).toByteArray().toStdString();
    return selection;
}

int CLeftView::WidthForNames() const {
    // The names sit one indentation in, beside their icons.
    return sizeHintForColumn(0) + indentation() + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

bool CLeftView::SelectText(const QString& text) {
    const auto found = findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    clearSelection();
    found.front()->setSelected(true);
    setCurrentItem(found.front());
    return true;
}

void CLeftView::keyPressEvent(QKeyEvent* event) {
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() == Qt::Key_Menu || shiftF10) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menu);
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        if (m_remove->isEnabled() && !selectedItems().isEmpty()) m_remove->trigger();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->globalPos();
    // A right click selects the item under the mouse before the menu opens.
    if (event->reason() == QContextMenuEvent::Mouse) {
        if (QTreeWidgetItem* item = itemAt(event->pos())) {
            clearSelection();
            item->setSelected(true);
            setCurrentItem(item);
        }
    } else {
        // From the keyboard: at the current item, where the user is looking.
        QTreeWidgetItem* item = currentItem();
        at = viewport()->mapToGlobal(item ? visualItemRect(item).center() : QPoint(0, 0));
    }
    QMenu menu(this);
    menu.addAction(m_remove);
    menu.addAction(m_add);
    menu.exec(at);
}

}  // namespace vantor
