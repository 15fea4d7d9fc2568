#pragma once
// The file tree: "Master Plugin" (Single Versus only) and "Plugin Files"
// with the chosen files, and the context menu "Remove" / "Add".
#include <QTreeWidget>
#include <optional>

#include "FileTree.h"

class QAction;

namespace vantor {

class CLeftView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);

    // Shows the document's tree; the roots are expanded.
    void Rebuild(const CFileTree& tree);
    // The selected item as the document's commands take it.
    std::optional<CFileTree::CSelection> Selection() const;
    // The width that shows every name whole, with a vertical scroll bar.
    int WidthForNames() const;
    // Selects the item with this text (a root name or a file name).
    bool SelectText(const QString& text);

    QAction* RemoveAction() const { return m_remove; }
    QAction* AddAction() const { return m_add; }
    // The context menu as it would open (for the frame's tests).
    QList<QAction*> ContextActions() const { return {m_remove, m_add}; }

signals:
    void RemoveRequested(std::optional<CFileTree::CSelection> selection);
    void AddRequested(std::optional<CFileTree::CSelection> selection);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAction* m_remove;
    QAction* m_add;
};

}  // namespace vantor
