#include "FindDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DialogLayout.h"
#include "widgets/Cp1252.h"

namespace vantor {

CFindDlg::CFindDlg(COptionSet& options, QWidget* owner, const std::string& text) : QDialog(owner), m_options(options) {
    setWindowTitle(QStringLiteral("Find Object in Loaded Files"));
    m_text = MakeTextCombo(this);
    // The history, most recent first; empty entries show as empty lines.
    for (const std::string& entry : options.m_findHistory) m_text->addItem(DecodeCp1252(entry));
    m_text->setCurrentIndex(-1);
    m_text->setEditText(DecodeCp1252(text));

    m_wholeWord = new QCheckBox(QStringLiteral("Match whole word only"), this);
    m_matchCase = new QCheckBox(QStringLiteral("Match case"), this);
    m_lookInData = new QCheckBox(QStringLiteral("Look in data"), this);
    m_lookInData->setChecked(true);
    m_espMode = new QRadioButton(QStringLiteral("Esp Mode"));
    m_esmMode = new QRadioButton(QStringLiteral("Esm Mode"));
    m_espMode->setChecked(true);

    auto* switches = new QVBoxLayout;
    switches->addWidget(m_wholeWord);
    switches->addWidget(m_matchCase);
    switches->addWidget(m_lookInData);
    switches->addStretch();
    auto* choices = new QHBoxLayout;
    choices->addLayout(switches);
    choices->addWidget(MakeButtonGroup(QStringLiteral("Search Type"), {m_espMode, m_esmMode}, this));
    auto* find = new QPushButton(QStringLiteral("Find"), this);
    connect(find, &QPushButton::clicked, this, &CFindDlg::OnFind);
    LayOutComboDialog(*this, QStringLiteral("Find what:"), m_text, choices, find, new QPushButton(QStringLiteral("Cancel"), this));
}

void CFindDlg::OnFind() {
    auto text = EncodeCp1252(m_text->currentText());
    // No plugin can hold a character the code page lacks; searching for a
    // stand-in would find other things.
    if (!text) {
        QMessageBox::information(this, QStringLiteral("Not Found"), QStringLiteral("Cannot find ") + m_text->currentText());
        return;
    }
    m_params.m_text = *text;
    m_params.m_matchCase = m_matchCase->isChecked();
    m_params.m_wholeWord = m_wholeWord->isChecked();
    m_params.m_lookInData = m_lookInData->isChecked();
    m_params.m_searchMasters = m_esmMode->isChecked();
    m_options.RememberFind(m_params.m_text);
    accept();
}

std::optional<CFindParams> CFindDlg::Run(COptionSet& options, const std::string& text, QWidget* owner) {
    CFindDlg dialog(options, owner, text);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Params();
}

}  // namespace vantor
