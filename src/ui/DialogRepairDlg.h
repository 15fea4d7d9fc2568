#pragma once
// "Dialog Repair Tool": names the repair plugin and the plugins whose
// dialogue is merged into it. The list box shows the names sorted; the
// plugins are kept, and handed on, in the order they were added.
#include <QDialog>
#include <string>
#include <vector>

#include "QtFrameLink.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vantor {

class CDialogRepairDlg : public QDialog {
    Q_OBJECT
public:
    enum EButton { kCreateNew, kDeleteExisting, kBrowseRepair, kRepairDialog, kClear, kAddActive, kBrowsePlugins,
                   kButtonCount };

    // File choosers and message boxes go through `link`.
    CDialogRepairDlg(const CRepairDialogSeed& seed, CQtFrameLink& link, QWidget* owner);

    QPushButton* Button(EButton button) const { return m_buttons[button]; }
    QListWidget* List() const { return m_list; }
    QLabel* RepairNameLabel() const { return m_name; }
    // What "Repair Dialog" hands on.
    CRepairDialogResult Result() const;

    void CreateNew();
    void DeleteExisting();
    void BrowseRepairPlugin();
    void BrowsePlugins();
    void AddAllActivePlugins();
    void Clear();
    // The context menu's "Remove" on the selected list item.
    void RemoveSelected();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool IsListed(const std::string& name) const;
    void AddPlugin(const std::string& name, const std::string& folder);
    void RefillList();
    void SetRepairPlugin(const std::string& path);

    CRepairDialogSeed m_seed;
    CQtFrameLink& m_link;
    std::vector<std::string> m_names;
    std::vector<std::string> m_folders;
    bool m_replaceAgreed = false;
    QPushButton* m_buttons[kButtonCount] = {};
    QListWidget* m_list = nullptr;
    QLabel* m_name = nullptr;
};

}  // namespace vantor
