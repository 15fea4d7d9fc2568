#include "ViewFileDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "UiText.h"
#include "widgets/Cp1252.h"

namespace vantor {

CViewFileDlg::CViewFileDlg(const CViewFileSeed& seed, QWidget* owner) : QDialog(owner), m_seed(seed) {
    setWindowTitle(QStringLiteral("View File"));

    auto* label = new QLabel(QStringLiteral("Select File:"), this);
    m_file = new QComboBox(this);
    m_file->setEditable(true);
    m_file->setInsertPolicy(QComboBox::NoInsert);
    m_file->setMinimumContentsLength(24);
    m_file->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    label->setBuddy(m_file);

    auto* mode = new QGroupBox(QStringLiteral("View Mode"), this);
    m_global = new QRadioButton(QStringLiteral("View Global Changes"), mode);
    m_allData = new QRadioButton(QStringLiteral("View All Data"), mode);
    m_allData->setChecked(true);
    auto* modes = new QVBoxLayout(mode);
    modes->addWidget(m_global);
    modes->addWidget(m_allData);

    auto* type = new QGroupBox(QStringLiteral("File Type"), this);
    m_espFile = new QRadioButton(QStringLiteral("Esp File"), type);
    m_esmFile = new QRadioButton(QStringLiteral("Esm File"), type);
    m_espFile->setChecked(true);
    auto* types = new QVBoxLayout(type);
    types->addWidget(m_espFile);
    types->addWidget(m_esmFile);
    connect(m_espFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(false);
    });
    connect(m_esmFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(true);
    });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &CViewFileDlg::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* select = new QHBoxLayout;
    select->addWidget(label);
    select->addWidget(m_file, 1);
    auto* groups = new QHBoxLayout;
    groups->addWidget(mode);
    groups->addWidget(type);
    auto* left = new QVBoxLayout;
    left->addLayout(select);
    left->addLayout(groups);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    FillFiles(false);
    resize(sizeHint());
}

void CViewFileDlg::FillFiles(bool masters) {
    const QString typed = m_file->currentText();
    m_file->clear();
    for (const std::string& name : masters ? m_seed.m_masters : m_seed.m_plugins) m_file->addItem(FromCoreText(name));
    m_file->setCurrentIndex(-1);
    m_file->setEditText(typed);
    // Masters have no global changes of their own; the mode keeps its value.
    m_global->setEnabled(!masters);
}

void CViewFileDlg::OnOk() {
    const QString text = m_file->currentText();
    const int index = m_file->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    // A listed name goes back as the bytes it came from; a typed one as the
    // file system would spell it.
    const auto& names = m_esmFile->isChecked() ? m_seed.m_masters : m_seed.m_plugins;
    m_choice.m_fileName = index >= 0 && std::size_t(index) < names.size() ? names[std::size_t(index)] : ToCorePath(text);
    m_choice.m_esmFile = m_esmFile->isChecked();
    m_choice.m_globalChanges = m_global->isChecked();
    accept();
}

std::optional<CViewFileChoice> CViewFileDlg::Run(const CViewFileSeed& seed, QWidget* owner) {
    CViewFileDlg dialog(seed, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

}  // namespace vantor
