#include "ViewFileDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>

#include "DialogLayout.h"
#include "UiText.h"
#include "widgets/Cp1252.h"

namespace vantor {

CViewFileDlg::CViewFileDlg(const CViewFileSeed& seed, QWidget* owner) : QDialog(owner), m_seed(seed) {
    setWindowTitle(QStringLiteral("View File"));
    m_file = MakeTextCombo(this);
    m_global = new QRadioButton(QStringLiteral("View Global Changes"));
    m_allData = new QRadioButton(QStringLiteral("View All Data"));
    m_allData->setChecked(true);
    m_espFile = new QRadioButton(QStringLiteral("Esp File"));
    m_esmFile = new QRadioButton(QStringLiteral("Esm File"));
    m_espFile->setChecked(true);
    connect(m_espFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(false);
    });
    connect(m_esmFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(true);
    });

    auto* choices = new QHBoxLayout;
    choices->addWidget(MakeButtonGroup(QStringLiteral("View Mode"), {m_global, m_allData}, this));
    choices->addWidget(MakeButtonGroup(QStringLiteral("File Type"), {m_espFile, m_esmFile}, this));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &CViewFileDlg::OnOk);
    LayOutComboDialog(*this, QStringLiteral("Select File:"), m_file, choices, ok, new QPushButton(QStringLiteral("Cancel"), this));
    FillFiles(false);
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
