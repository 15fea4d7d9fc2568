#pragma once
// "VANTOR Options": the pages "Operations" and "Conflicts". A page copies the
// option set into its boxes when first shown and back on OK; a page never
// shown leaves its options as they were.
#include <QDialog>
#include <array>

#include "document/Options.h"

class QCheckBox;
class QTabWidget;

namespace vantor {

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

class COptionsSheet : public QDialog {
    Q_OBJECT
public:
    COptionsSheet(const COptionSet& options, QWidget* parent = nullptr);

    // The option set with the shown pages' boxes copied back into it.
    COptionSet Result() const;

    QTabWidget* Tabs() const { return m_tabs; }
    CPPageOP* Operations() const { return m_operations; }
    CPPageID* Conflicts() const { return m_conflicts; }

private:
    COptionSet m_options;
    QTabWidget* m_tabs;
    CPPageOP* m_operations;
    CPPageID* m_conflicts;
};

}  // namespace vantor
