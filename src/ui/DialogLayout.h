#pragma once
// The arrangement the Find and View File dialogs share: a labelled combo box
// with an edit field above the dialog's own choices, and the default button
// over "Cancel" at the right. Layouts give every text the room it needs at
// any font size or display scale.
#include <QGroupBox>
#include <QString>
#include <initializer_list>

class QComboBox;
class QDialog;
class QLayout;
class QPushButton;
class QWidget;

namespace vantor {

// An editable combo box whose list keeps the order items are added in.
QComboBox* MakeTextCombo(QWidget* parent);
// A group box of the given buttons, one under the other.
QGroupBox* MakeButtonGroup(const QString& title, std::initializer_list<QWidget*> buttons, QWidget* parent);
// Lays out `dialog`; `accept` becomes its default button.
void LayOutComboDialog(QDialog& dialog, const QString& label, QComboBox* combo, QLayout* choices, QPushButton* accept,
                       QPushButton* cancel);

}  // namespace vantor
