#pragma once
// "View File": which loaded file to show, whether it is a plugin or a
// master, and whether to show all its data or only its global changes.
#include <QDialog>
#include <optional>

#include "document/VANTORDoc.h"

class QComboBox;
class QRadioButton;

namespace vantor {

// What the dialog answers.
struct CViewFileChoice {
    bool m_esmFile = false;        // "Esm File" selected
    bool m_globalChanges = false;  // "View Global Changes" mode
    std::string m_fileName;
};

class CViewFileDlg : public QDialog {
    Q_OBJECT
public:
    CViewFileDlg(const CViewFileSeed& seed, QWidget* owner);

    // The frame's dialog: shows it modally; nullopt on "Cancel".
    static std::optional<CViewFileChoice> Run(const CViewFileSeed& seed, QWidget* owner);

    QComboBox* FileBox() const { return m_file; }
    QRadioButton* EspFile() const { return m_espFile; }
    QRadioButton* EsmFile() const { return m_esmFile; }
    QRadioButton* GlobalChanges() const { return m_global; }
    QRadioButton* AllData() const { return m_allData; }

    // "OK": reads the controls and accepts.
    void OnOk();
    const CViewFileChoice& Choice() const { return m_choice; }

private:
    void FillFiles(bool masters);

    CViewFileSeed m_seed;
    CViewFileChoice m_choice;
    QComboBox* m_file = nullptr;
    QRadioButton* m_global = nullptr;
    QRadioButton* m_allData = nullptr;
    QRadioButton* m_espFile = nullptr;
    QRadioButton* m_esmFile = nullptr;
};

}  // namespace vantor
