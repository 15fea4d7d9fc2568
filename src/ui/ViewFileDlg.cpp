#include "ViewFileDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "DialogUnits.h"
#include "UiText.h"
#include "widgets/Cp1252.h"

namespace vantor {

CViewFileDlg::CViewFileDlg(const CViewFileSeed& seed, QWidget* owner) : QDialog(owner), m_seed(seed) {
    setWindowTitle(QStringLiteral("View File"));
    setFixedSize(Du(0, 0, 232, 71).size());

    auto* label = new QLabel(QStringLiteral("Select File:"), this);
    label->setGeometry(Du(7, 9, 39, 8));
    m_file = new QComboBox(this);
    m_file->setEditable(true);
    m_file->setInsertPolicy(QComboBox::NoInsert);
    m_file->setGeometry(Du(46, 7, 122, 14));

    auto* mode = new QGroupBox(QStringLiteral("View Mode"), this);
    mode->setGeometry(Du(7, 28, 95, 36));
    m_global = new QRadioButton(QStringLiteral("View Global Changes"), mode);
    m_global->setGeometry(Du(10, 11, 83, 10));
    m_allData = new QRadioButton(QStringLiteral("View All Data"), mode);
    m_allData->setGeometry(Du(10, 21, 83, 10));
    m_allData->setChecked(true);

    auto* type = new QGroupBox(QStringLiteral("File Type"), this);
    type->setGeometry(Du(108, 28, 60, 36));
    m_espFile = new QRadioButton(QStringLiteral("Esp File"), type);
    m_espFile->setGeometry(Du(10, 11, 48, 10));
    m_esmFile = new QRadioButton(QStringLiteral("Esm File"), type);
    m_esmFile->setGeometry(Du(10, 21, 48, 10));
    m_espFile->setChecked(true);
    connect(m_espFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(false);
    });
    connect(m_esmFile, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillFiles(true);
    });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(Du(175, 7, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(Du(175, 24, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CViewFileDlg::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

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
