#include "FindDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "DialogUnits.h"
#include "widgets/Cp1252.h"

namespace vantor {

CFindDlg::CFindDlg(COptionSet& options, QWidget* owner) : QDialog(owner), m_options(options) {
    setWindowTitle(QStringLiteral("Find Object in Loaded Files"));
    setFixedSize(Du(0, 0, 238, 71).size());

    auto* label = new QLabel(QStringLiteral("Find what:"), this);
    label->setGeometry(Du(7, 9, 38, 8));
    m_text = new QComboBox(this);
    m_text->setEditable(true);
    m_text->setInsertPolicy(QComboBox::NoInsert);
    m_text->setGeometry(Du(45, 7, 129, 14));
    // The history, most recent first; empty entries show as empty lines.
    for (const std::string& entry : options.m_findHistory) m_text->addItem(DecodeCp1252(entry));
    m_text->setCurrentIndex(-1);
    m_text->setEditText(QString());

    m_wholeWord = new QCheckBox(QStringLiteral("Match whole word only"), this);
    m_wholeWord->setGeometry(Du(7, 30, 90, 10));
    m_matchCase = new QCheckBox(QStringLiteral("Match case"), this);
    m_matchCase->setGeometry(Du(7, 44, 90, 10));
    m_lookInData = new QCheckBox(QStringLiteral("Look in data"), this);
    m_lookInData->setGeometry(Du(7, 57, 90, 10));
    m_lookInData->setChecked(true);

    auto* group = new QGroupBox(QStringLiteral("Search Type"), this);
    group->setGeometry(Du(102, 28, 72, 36));
    m_espMode = new QRadioButton(QStringLiteral("Esp Mode"), group);
    m_espMode->setGeometry(Du(9, 12, 55, 10));
    m_esmMode = new QRadioButton(QStringLiteral("Esm Mode"), group);
    m_esmMode->setGeometry(Du(9, 23, 55, 10));
    m_espMode->setChecked(true);

    auto* find = new QPushButton(QStringLiteral("Find"), this);
    find->setGeometry(Du(181, 7, 50, 14));
    find->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(Du(181, 25, 50, 14));
    connect(find, &QPushButton::clicked, this, &CFindDlg::OnFind);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CFindDlg::OnFind() {
    m_params.m_text = EncodeCp1252(m_text->currentText());
    m_params.m_matchCase = m_matchCase->isChecked() ? 1 : 0;
    m_params.m_wholeWord = m_wholeWord->isChecked() ? 1 : 0;
    m_params.m_lookInData = m_lookInData->isChecked() ? 1 : 0;
    m_params.m_searchMasters = m_esmMode->isChecked() ? 1 : 0;
    m_options.RememberFind(m_params.m_text);
    accept();
}

std::optional<CFindParams> CFindDlg::Run(COptionSet& options, QWidget* owner) {
    CFindDlg dialog(options, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Params();
}

}  // namespace vantor
