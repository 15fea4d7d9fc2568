#pragma once
// "Find Object in Loaded Files": the find text with the option set's find
// history, the three search switches and the search mode.
#include <QDialog>
#include <optional>

#include "document/Options.h"
#include "document/VANTORDoc.h"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace vantor {

class CFindDlg : public QDialog {
    Q_OBJECT
public:
    // `text` is the find text it opens with.
    CFindDlg(COptionSet& options, QWidget* owner, const std::string& text = {});

    // The frame's dialog: shows it modally; nullopt on "Cancel".
    static std::optional<CFindParams> Run(COptionSet& options, const std::string& text, QWidget* owner);

    QComboBox* FindWhat() const { return m_text; }
    QCheckBox* MatchCase() const { return m_matchCase; }
    QCheckBox* WholeWord() const { return m_wholeWord; }
    QCheckBox* LookInData() const { return m_lookInData; }
    QRadioButton* EsmMode() const { return m_esmMode; }

    // "Find": reads the controls, updates the find history and accepts.
    void OnFind();
    const CFindParams& Params() const { return m_params; }

private:
    COptionSet& m_options;
    CFindParams m_params;
    QComboBox* m_text = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QCheckBox* m_wholeWord = nullptr;
    QCheckBox* m_lookInData = nullptr;
    QRadioButton* m_espMode = nullptr;
    QRadioButton* m_esmMode = nullptr;
};

}  // namespace vantor
