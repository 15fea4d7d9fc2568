#include "DialogLayout.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor {

QComboBox* MakeTextCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMinimumContentsLength(24);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

QGroupBox* MakeButtonGroup(const QString& title, std::initializer_list<QWidget*> buttons, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    auto* column = new QVBoxLayout(group);
    for (QWidget* button : buttons) {
        button->setParent(group);
        column->addWidget(button);
    }
    return group;
}

void LayOutComboDialog(QDialog& dialog, const QString& label, QComboBox* combo, QLayout* choices, QPushButton* accept,
                       QPushButton* cancel) {
    auto* caption = new QLabel(label, &dialog);
    caption->setBuddy(combo);
    auto* top = new QHBoxLayout;
    top->addWidget(caption);
    top->addWidget(combo, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addLayout(choices);
    accept->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(accept);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(&dialog);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.resize(dialog.sizeHint());
}

}  // namespace vantor
