#include "DialogRepairDlg.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <algorithm>

#include "UiText.h"
#include "document/GameChoice.h"
#include "document/OutputPath.h"
#include "platform/FileOps.h"

namespace vantor {

namespace {

// The choosers of this window: plugin files first, starting in the data folder.
CFileChooser PluginChooser(CFileChooser::EMode mode, const char* title, const CRepairDialogSeed& seed) {
    CFileChooser chooser;
    chooser.m_mode = mode;
    chooser.m_title = title;
    chooser.m_filters = {texts::PluginFilter(seed.m_loadOrder && IsOpenMW(*seed.m_loadOrder)), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = seed.m_dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = mode != CFileChooser::EMode::Save;
    chooser.m_confirmOverwrite = mode == CFileChooser::EMode::Save;
    return chooser;
}

// (folder ending in a separator, file name) of a full path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

CDialogRepairDlg::CDialogRepairDlg(const CRepairDialogSeed& seed, CQtFrameLink& link, QWidget* owner)
    : QDialog(owner), m_seed(seed), m_link(link) {
    setWindowTitle(QStringLiteral("Dialog Repair Tool"));

    auto* repairGroup = new QGroupBox(QStringLiteral("Dialog Repair Plugin"), this);
    m_name = new QLabel(FromCoreText(seed.m_repairName), repairGroup);
    auto* pluginGroup = new QGroupBox(QStringLiteral("Plugins with Dialog to Repair"), this);
    m_list = new QListWidget(pluginGroup);
    m_list->setSortingEnabled(true);

    const char* const texts[kButtonCount] = {"Create New", "Delete Existing",        "Browse", "Repair Dialog",
                                             "Clear",      "Add All Active Plugins", "Browse"};
    for (int b = 0; b < kButtonCount; ++b) {
        m_buttons[b] = new QPushButton(QString::fromLatin1(texts[b]), b < kRepairDialog ? repairGroup : pluginGroup);
        m_buttons[b]->setAutoDefault(false);
    }

    // The classic arrangement, laid out so every button shows its whole text.
    auto* repairRow = new QHBoxLayout;
    for (EButton b : {kCreateNew, kDeleteExisting, kBrowseRepair}) repairRow->addWidget(m_buttons[b]);
    auto* repair = new QVBoxLayout(repairGroup);
    repair->addWidget(m_name);
    repair->addLayout(repairRow);
    auto* plugins = new QGridLayout(pluginGroup);
    plugins->addWidget(m_list, 0, 0, 1, 2);
    plugins->addWidget(m_buttons[kRepairDialog], 0, 2, Qt::AlignTop);
    plugins->addWidget(m_buttons[kClear], 1, 0);
    plugins->addWidget(m_buttons[kAddActive], 1, 1);
    plugins->addWidget(m_buttons[kBrowsePlugins], 1, 2);
    plugins->setRowStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(repairGroup);
    layout->addWidget(pluginGroup, 1);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    m_buttons[kRepairDialog]->setDefault(true);
    connect(m_buttons[kCreateNew], &QPushButton::clicked, this, &CDialogRepairDlg::CreateNew);
    connect(m_buttons[kDeleteExisting], &QPushButton::clicked, this, &CDialogRepairDlg::DeleteExisting);
    connect(m_buttons[kBrowseRepair], &QPushButton::clicked, this, &CDialogRepairDlg::BrowseRepairPlugin);
    connect(m_buttons[kRepairDialog], &QPushButton::clicked, this, &QDialog::accept);
    connect(m_buttons[kClear], &QPushButton::clicked, this, &CDialogRepairDlg::Clear);
    connect(m_buttons[kAddActive], &QPushButton::clicked, this, &CDialogRepairDlg::AddAllActivePlugins);
    connect(m_buttons[kBrowsePlugins], &QPushButton::clicked, this, &CDialogRepairDlg::BrowsePlugins);
}

CRepairDialogResult CDialogRepairDlg::Result() const {
    return {m_seed.m_repairName, m_seed.m_repairFolder, m_names, m_folders, m_replaceAgreed};
}

bool CDialogRepairDlg::IsListed(const std::string& name) const {
    return std::find(m_names.begin(), m_names.end(), name) != m_names.end();
}

void CDialogRepairDlg::AddPlugin(const std::string& name, const std::string& folder) {
    if (name.empty() || IsListed(name)) return;
    // The repair plugin is written, never read as a plugin to repair.
    if (name == m_seed.m_repairName && folder == m_seed.m_repairFolder) return;
    m_names.push_back(name);
    m_folders.push_back(folder);
}

void CDialogRepairDlg::RefillList() {
    m_list->clear();
    for (const std::string& name : m_names) {
        auto* item = new QListWidgetItem(FromCoreText(name));
        // The bytes of the name, as a shown text may not turn back into them.
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
        m_list->addItem(item);
    }
}

void CDialogRepairDlg::SetRepairPlugin(const std::string& path) {
    auto [folder, name] = SplitPath(path);
    m_seed.m_repairFolder = WithSeparator(folder);
    m_seed.m_repairName = name;
    m_name->setText(FromCoreText(name));
}

void CDialogRepairDlg::CreateNew() {
    const CFileChoice choice =
        m_link.ChooseFile(PluginChooser(CFileChooser::EMode::Save, "New Dialog Merge Plugin", m_seed));
    if (choice.m_status == CFileChoice::EStatus::Failed) {
        m_link.Tell("Error Selecting File", "Error");
        return;
    }
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    std::string path = choice.m_paths.front();
    // A name typed without an extension is a plugin.
    if (SplitPath(path).second.find('.') == std::string::npos) path += ".esp";
    SetRepairPlugin(path);
    // The chooser asked about replacing the name it gave, not one made longer.
    m_replaceAgreed = path == choice.m_paths.front();
}

void CDialogRepairDlg::DeleteExisting() {
    if (m_seed.m_repairName.empty()) return;
    const std::string path = m_seed.m_repairFolder + m_seed.m_repairName;
    const char* const caption = "Delete Existing";
    // "Browse" may have named any file: never one the document reads.
    if (IsFileInUse(path, m_seed.m_filesInUse)) {
        m_link.Tell(path + "\nis a plugin or master in use. It is not deleted.", caption, EIcon::Exclamation);
        return;
    }
    const platform::CPathProbe probe = platform::ProbePath(path);
    if (probe.m_known && !probe.Exists()) {
        m_link.Tell("There is no file " + path + " to delete.", caption, EIcon::Information);
        return;
    }
    if (probe.m_known && probe.m_kind != platform::EFileKind::Regular) {
        m_link.Tell(path + "\nis " + platform::KindWords(probe.m_kind) + ", not a plugin. It is not deleted.", caption,
                    EIcon::Exclamation);
        return;
    }
    if (m_link.Show({"Delete " + path + "?\n\nThe file is removed for good; no backup is made.", caption,
                    EButtons::YesNo, EIcon::Question, EAnswer::No}) != EAnswer::Yes)
        return;
    platform::ClearLastError();
    if (!platform::RemoveFile(path)) {
        const std::string why = platform::LastErrorMessage();
        m_link.Tell("Could not delete " + path + (why.empty() ? "." : ":\n" + why), "Error", EIcon::Exclamation);
        return;
    }
    // Nothing is there to be replaced any more.
    m_replaceAgreed = false;
}

void CDialogRepairDlg::BrowseRepairPlugin() {
    const CFileChoice choice = m_link.ChooseFile(
        PluginChooser(CFileChooser::EMode::OpenOne, "Select Master Plugin to Check Against", m_seed));
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    if (IsListed(SplitPath(choice.m_paths.front()).second)) {
        m_link.Tell("Please Remove from Esp List", "Already Loaded");
        return;
    }
    SetRepairPlugin(choice.m_paths.front());
    m_replaceAgreed = false;
}

void CDialogRepairDlg::BrowsePlugins() {
    const CFileChoice choice =
        m_link.ChooseFile(PluginChooser(CFileChooser::EMode::OpenMany, "Select Plugins to Repair", m_seed));
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    // Every file keeps its own folder, which for one choice is the same.
    for (const std::string& path : choice.m_paths) {
        auto [folder, name] = SplitPath(path);
        AddPlugin(name, WithSeparator(folder));
    }
    RefillList();
}

void CDialogRepairDlg::AddAllActivePlugins() {
    if (!m_seed.m_loadOrder) return;
    // Each from the folder it was found in: OpenMW's lie in many.
    for (const loadorder::CGameFile& plugin : m_seed.m_loadOrder->ActivePlugins()) AddPlugin(plugin.m_name, plugin.m_folder);
    RefillList();
}

void CDialogRepairDlg::Clear() {
    m_list->clear();
    m_names.clear();
    m_folders.clear();
}

void CDialogRepairDlg::RemoveSelected() {
    QListWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected()) return;
    const std::string name = item->data(Qt::UserRole).toByteArray().toStdString();
    const auto it = std::find(m_names.begin(), m_names.end(), name);
    if (it != m_names.end()) {
        m_folders.erase(m_folders.begin() + (it - m_names.begin()));
        m_names.erase(it);
    }
    delete m_list->takeItem(m_list->row(item));
}

void CDialogRepairDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_list->rect().contains(m_list->mapFrom(this, event->pos())) || !m_list->currentItem() ||
        !m_list->currentItem()->isSelected())
        return;
    QMenu menu(this);
    QAction* remove = menu.addAction(QStringLiteral("Remove"));
    QAction* add = menu.addAction(QStringLiteral("Add"));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == remove) RemoveSelected();
    if (chosen == add) BrowsePlugins();
}

}  // namespace vantor
