#pragma once
// "VANTOR Options": the pages "Operations" and "Conflicts", which copy the
// option set into their boxes when first shown and back on OK (a page never
// shown leaves its options as they were), and "Game", the load order.
#include <QDialog>
#include <array>

#include "document/GameChoice.h"
#include "document/Options.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace vantor {

// The label of an extraction option's box ("Extract Cell Data"); nullptr for none.
const char* ExtractionOptionLabel(EExtractOption option);

class COptionsPage : public QWidget {
    Q_OBJECT
public:
    COptionsPage(const COptionSet& source, QWidget* parent) : QWidget(parent), m_source(source) {}
    bool WasShown() const { return m_shown; }
    virtual void CopyBack(COptionSet& options) const = 0;

protected:
    void showEvent(QShowEvent* event) override;
    virtual void CopyIn(const COptionSet& options) = 0;

private:
    const COptionSet& m_source;
    bool m_shown = false;
};

class CPPageOP : public COptionsPage {
    Q_OBJECT
public:
    CPPageOP(const COptionSet& source, QWidget* parent = nullptr);
    void CopyBack(COptionSet& options) const override;

    QCheckBox* m_checkConflicts;
    QCheckBox* m_checkDeleted;
    QCheckBox* m_checkUnclean;
    QCheckBox* m_loadEsms;
    QCheckBox* m_dialogRepair;  // the Enable key: the Dialog Repair commands offered
    QCheckBox* m_extractCell;
    QCheckBox* m_extractDialog;
    QCheckBox* m_extractLand;
    QCheckBox* m_extractPathGrid;
    QCheckBox* m_reportDialog;

protected:
    void CopyIn(const COptionSet& options) override;
};

class CPPageID : public COptionsPage {
    Q_OBJECT
public:
    CPPageID(const COptionSet& source, QWidget* parent = nullptr);
    void CopyBack(COptionSet& options) const override;

    std::array<QCheckBox*, kCheckCount> m_boxes{};

protected:
    void CopyIn(const COptionSet& options) override;
};

// Which load order the program works on, the game's folder and OpenMW's
// configuration file.
class CPPageGame : public QWidget {
    Q_OBJECT
public:
    // `defaultConfig` is what an empty path stands for; `found` is the game's
    // folder as the lookup (or the command line) found it.
    CPPageGame(const CGameChoice& choice, const std::string& defaultConfig, const platform::CInstallDirs& found,
               QWidget* parent = nullptr);
    CGameChoice Choice() const;

    QRadioButton* m_morrowind;
    QRadioButton* m_openmw;
    QLineEdit* m_gameFolder;
    QPushButton* m_browseGame;
    QLabel* m_found;  // where the folder an empty field stands for came from
    QLineEdit* m_config;
    QPushButton* m_browse;
};

// What the Game page says of a folder found by the lookup.
QString FoundGameText(const platform::CInstallDirs& found);

class COptionsSheet : public QDialog {
    Q_OBJECT
public:
    COptionsSheet(const COptionSet& options, QWidget* parent = nullptr, const CGameChoice& game = {},
                  const std::string& defaultOpenMWConfig = {}, const platform::CInstallDirs& found = {});

    // The option set with the shown pages' boxes copied back into it.
    COptionSet Result() const;
    CGameChoice Game() const;

    QTabWidget* Tabs() const { return m_tabs; }
    CPPageOP* Operations() const { return m_operations; }
    CPPageID* Conflicts() const { return m_conflicts; }
    CPPageGame* GamePage() const { return m_game; }

private:
    COptionSet m_options;
    QTabWidget* m_tabs;
    CPPageOP* m_operations;
    CPPageID* m_conflicts;
    CPPageGame* m_game;
};

}  // namespace vantor
