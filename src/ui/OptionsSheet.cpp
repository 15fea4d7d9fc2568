#include "OptionsSheet.h"

#include <QCheckBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "UiText.h"

namespace vantor {

namespace {

QCheckBox* AddBox(QGroupBox* group, const char* label) {
    auto* box = new QCheckBox(QString::fromLatin1(label), group);
    group->layout()->addWidget(box);
    return box;
}

QGroupBox* Group(const char* title, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    new QVBoxLayout(group);
    return group;
}

void SetBit(std::uint8_t& mask, std::uint8_t bit, bool on) {
    mask = on ? std::uint8_t(mask | bit) : std::uint8_t(mask & ~bit);
}

}  // namespace

const char* ExtractionOptionLabel(EExtractOption option) {
    switch (option) {
        case EExtractOption::CellData: return "Extract Cell Data";
        case EExtractOption::DialogText: return "Extract Dialog Text";
        case EExtractOption::LandData: return "Extract Landscape Data";
        case EExtractOption::PathGridData: return "Extract Path Grid Data";
        case EExtractOption::None: break;
    }
    return nullptr;
}

void COptionsPage::showEvent(QShowEvent* event) {
    if (!m_shown) {
        m_shown = true;
        CopyIn(m_source);
    }
    QWidget::showEvent(event);
}

CPPageOP::CPPageOP(const COptionSet& source, QWidget* parent) : COptionsPage(source, parent) {
    auto* columns = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);

    QGroupBox* defaults = Group("Default Operations", this);
    m_checkConflicts = AddBox(defaults, "Check Conflicts");
    m_checkDeleted = AddBox(defaults, "Check Deleted");
    m_checkUnclean = AddBox(defaults, "Check Unclean");
    QGroupBox* general = Group("General", this);
    m_loadEsms = AddBox(general, "Load Esm Files");
    m_dialogRepair = AddBox(general, "Offer Dialog Repair Commands");
    m_dialogRepair->setToolTip(QStringLiteral("\"Auto ReLink Dialog\" and \"ReLink Dialog\" in the Operations menu"));
    QGroupBox* unclean = Group("Unclean Detection", this);
    m_reportDialog = AddBox(unclean, "Report Dialog Text");
    left->addWidget(defaults);
    left->addWidget(general);
    left->addWidget(unclean);
    left->addStretch();

    QGroupBox* extraction = Group("Extraction Options", this);
    m_extractCell = AddBox(extraction, ExtractionOptionLabel(EExtractOption::CellData));
    m_extractDialog = AddBox(extraction, ExtractionOptionLabel(EExtractOption::DialogText));
    m_extractLand = AddBox(extraction, ExtractionOptionLabel(EExtractOption::LandData));
    m_extractPathGrid = AddBox(extraction, ExtractionOptionLabel(EExtractOption::PathGridData));
    right->addWidget(extraction);
    right->addStretch();
}

void CPPageOP::CopyIn(const COptionSet& o) {
    const CCheckSet defaults = CCheckSet::FromBits(o.m_defaultOps);
    m_checkConflicts->setChecked(defaults.m_conflicts);
    m_checkDeleted->setChecked(defaults.m_deleted);
    m_checkUnclean->setChecked(defaults.m_unclean);
    m_loadEsms->setChecked(o.m_loadEsms);
    m_dialogRepair->setChecked(o.DialogRepairEnabled());
    m_extractCell->setChecked(o.m_extractOpts.m_cellData != 0);
    m_extractDialog->setChecked(o.m_extractOpts.m_dialogText != 0);
    m_extractLand->setChecked(o.m_extractOpts.m_landData != 0);
    m_extractPathGrid->setChecked(o.m_extractOpts.m_pathGridData != 0);
    m_reportDialog->setChecked(o.m_uncleanChecks[kInfoCheck] != 0);
}

void CPPageOP::CopyBack(COptionSet& o) const {
    // Only the three named bits: others a settings file may hold stay.
    SetBit(o.m_defaultOps, CCheckSet::Conflicts().Bits(), m_checkConflicts->isChecked());
    SetBit(o.m_defaultOps, CCheckSet::Deleted().Bits(), m_checkDeleted->isChecked());
    SetBit(o.m_defaultOps, CCheckSet::Unclean().Bits(), m_checkUnclean->isChecked());
    o.m_loadEsms = m_loadEsms->isChecked();
    // Any value but 0 offers them: one the user wrote stays as it was.
    if (m_dialogRepair->isChecked() != o.DialogRepairEnabled()) o.m_enable = m_dialogRepair->isChecked() ? 1 : 0;
    o.m_extractOpts.m_cellData = m_extractCell->isChecked() ? 1 : 0;
    o.m_extractOpts.m_dialogText = m_extractDialog->isChecked() ? 1 : 0;
    o.m_extractOpts.m_landData = m_extractLand->isChecked() ? 1 : 0;
    o.m_extractOpts.m_pathGridData = m_extractPathGrid->isChecked() ? 1 : 0;
    o.m_uncleanChecks[kInfoCheck] = m_reportDialog->isChecked() ? 1 : 0;
}

CPPageID::CPPageID(const COptionSet& source, QWidget* parent) : COptionsPage(source, parent) {
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox("Choose which Conflicts to Display", this);
    outer->addWidget(group);
    auto* grid = new QGridLayout(group);
    // Four columns in index order, ten boxes each (eight in the last).
    for (std::size_t k = 0; k < kCheckCount; ++k) {
        const auto label = kCheckIndex[k].m_label;
        m_boxes[k] = new QCheckBox(QString::fromLatin1(label.data(), qsizetype(label.size())), group);
        grid->addWidget(m_boxes[k], int(k % 10), int(k / 10));
    }
}

void CPPageID::CopyIn(const COptionSet& o) {
    for (std::size_t k = 0; k < kCheckCount; ++k) m_boxes[k]->setChecked(o.m_conflictChecks[k] != 0);
}

void CPPageID::CopyBack(COptionSet& o) const {
    for (std::size_t k = 0; k < kCheckCount; ++k) o.m_conflictChecks[k] = m_boxes[k]->isChecked() ? 1 : 0;
}

QString FoundGameText(const platform::CInstallDirs& found) {
    if (found.m_installDir.empty())
        return QStringLiteral("Not found. Choose the folder that holds Morrowind.ini and \"Data Files\".");
    const QString dir = FromCoreText(found.m_installDir);
    switch (found.m_source) {
        case platform::EInstallSource::Given: return QStringLiteral("Given on the command line: ") + dir;
        case platform::EInstallSource::Registry: return QStringLiteral("Found in the registry: ") + dir;
        case platform::EInstallSource::Environment:
            return QStringLiteral("Found through %1: ").arg(QString::fromLatin1(platform::kInstallDirVariable)) + dir;
        case platform::EInstallSource::WinePrefix:
            return QStringLiteral("Found in the Wine prefix %1: ").arg(FromCoreText(found.m_winePrefix)) + dir;
        case platform::EInstallSource::Default: break;
    }
    return QStringLiteral("Not found. Choose the folder that holds Morrowind.ini and \"Data Files\".");
}

CPPageGame::CPPageGame(const CGameChoice& choice, const std::string& defaultConfig,
                       const platform::CInstallDirs& found, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Load Order"), this);
    auto* inner = new QVBoxLayout(group);
    m_morrowind = new QRadioButton(QStringLiteral("&Morrowind (Morrowind.ini and file times)"), group);
    inner->addWidget(m_morrowind);
    auto* gameRow = new QHBoxLayout;
    gameRow->setContentsMargins(20, 0, 0, 0);
    auto* gameLabel = new QLabel(QStringLiteral("&Game folder:"), group);
    m_gameFolder = new QLineEdit(FromCoreText(choice.m_installDir), group);
    m_gameFolder->setPlaceholderText(FromCoreText(found.m_installDir));
    m_gameFolder->setToolTip(QStringLiteral("The folder that holds Morrowind.ini and \"Data Files\"; empty: the one found"));
    gameLabel->setBuddy(m_gameFolder);
    m_browseGame = new QPushButton(QStringLiteral("B&rowse..."), group);
    gameRow->addWidget(gameLabel);
    gameRow->addWidget(m_gameFolder, 1);
    gameRow->addWidget(m_browseGame);
    inner->addLayout(gameRow);
    m_found = new QLabel(FoundGameText(found), group);
    m_found->setContentsMargins(20, 0, 0, 0);
    m_found->setWordWrap(true);
    m_found->setTextInteractionFlags(Qt::TextSelectableByMouse);
    inner->addWidget(m_found);

    m_openmw = new QRadioButton(QStringLiteral("&OpenMW (openmw.cfg)"), group);
    inner->addWidget(m_openmw);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 0, 0);
    auto* configLabel = new QLabel(QStringLiteral("&Configuration:"), group);
    m_config = new QLineEdit(FromCoreText(choice.m_openmwConfig), group);
    m_config->setPlaceholderText(FromCoreText(defaultConfig));
    m_config->setToolTip(QStringLiteral("The openmw.cfg to read, or the folder holding it; empty: where OpenMW keeps it"));
    configLabel->setBuddy(m_config);
    m_browse = new QPushButton(QStringLiteral("Bro&wse..."), group);
    row->addWidget(configLabel);
    row->addWidget(m_config, 1);
    row->addWidget(m_browse);
    inner->addLayout(row);
    inner->addWidget(new QLabel(QStringLiteral("A change takes effect at the next New Check."), group));
    layout->addWidget(group);
    layout->addStretch();

    (choice.m_game == CGameChoice::EGame::OpenMW ? m_openmw : m_morrowind)->setChecked(true);
    auto enable = [this] {
        const bool openmw = m_openmw->isChecked();
        m_config->setEnabled(openmw);
        m_browse->setEnabled(openmw);
        m_gameFolder->setEnabled(!openmw);
        m_browseGame->setEnabled(!openmw);
    };
    enable();
    connect(m_openmw, &QRadioButton::toggled, this, enable);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString start = m_config->text().isEmpty() ? m_config->placeholderText() : m_config->text();
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Select openmw.cfg"), start,
                                                          QStringLiteral("OpenMW Configuration (openmw.cfg);;All Files (*)"));
        if (!path.isEmpty()) m_config->setText(path);
    });
    connect(m_browseGame, &QPushButton::clicked, this, [this] {
        const QString start = m_gameFolder->text().isEmpty() ? m_gameFolder->placeholderText() : m_gameFolder->text();
        const QString path = QFileDialog::getExistingDirectory(this, QStringLiteral("Select the Game Folder"), start);
        if (!path.isEmpty()) m_gameFolder->setText(QDir::toNativeSeparators(path));
    });
}

CGameChoice CPPageGame::Choice() const {
    CGameChoice choice;
    choice.m_game = m_openmw->isChecked() ? CGameChoice::EGame::OpenMW : CGameChoice::EGame::Morrowind;
    choice.m_openmwConfig = ToCorePath(m_config->text().trimmed());
    choice.m_installDir = ToCorePath(m_gameFolder->text().trimmed());
    return choice;
}

COptionsSheet::COptionsSheet(const COptionSet& options, QWidget* parent, const CGameChoice& game,
                             const std::string& defaultOpenMWConfig, const platform::CInstallDirs& found)
    : QDialog(parent), m_options(options) {
    setWindowTitle("VANTOR Options");
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_operations = new CPPageOP(m_options, m_tabs);
    m_conflicts = new CPPageID(m_options, m_tabs);
    m_game = new CPPageGame(game, defaultOpenMWConfig, found, m_tabs);
    m_tabs->addTab(m_operations, "Operations");
    m_tabs->addTab(m_conflicts, "Conflicts");
    m_tabs->addTab(m_game, "Game");
    layout->addWidget(m_tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

COptionSet COptionsSheet::Result() const {
    COptionSet result = m_options;
    if (m_operations->WasShown()) m_operations->CopyBack(result);
    if (m_conflicts->WasShown()) m_conflicts->CopyBack(result);
    return result;
}

CGameChoice COptionsSheet::Game() const { return m_game->Choice(); }

}  // namespace vantor
