#include "PageRangeDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantor {

CPageRangeDlg::CPageRangeDlg(int pages, int suggested, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Print Preview"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("The list fills %1 pages. A preview holds every page it shows in memory; "
                                           "which pages should it show?")
                                .arg(pages),
                            this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* form = new QFormLayout;
    m_from = new QSpinBox(this);
    m_to = new QSpinBox(this);
    m_from->setRange(1, pages);
    m_to->setRange(1, pages);
    m_from->setValue(1);
    m_to->setValue(std::min(pages, suggested));
    form->addRow(QStringLiteral("&From page:"), m_from);
    form->addRow(QStringLiteral("&To page:"), m_to);
    layout->addLayout(form);
    // The range stays the right way round whichever end is moved.
    connect(m_from, &QSpinBox::valueChanged, this, [this](int from) { m_to->setValue(std::max(from, m_to->value())); });
    connect(m_to, &QSpinBox::valueChanged, this, [this](int to) { m_from->setValue(std::min(to, m_from->value())); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::pair<int, int> CPageRangeDlg::Range() const { return {m_from->value(), m_to->value()}; }

}  // namespace vantor
