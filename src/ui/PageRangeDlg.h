#pragma once
// "Print Preview" of a long list: which of its pages to look at.
#include <QDialog>
#include <utility>

class QSpinBox;

namespace vantor {

class CPageRangeDlg : public QDialog {
    Q_OBJECT
public:
    // Offers pages 1 to `suggested` of `pages`.
    CPageRangeDlg(int pages, int suggested, QWidget* parent = nullptr);
    std::pair<int, int> Range() const;

    QSpinBox* From() const { return m_from; }
    QSpinBox* To() const { return m_to; }

private:
    QSpinBox* m_from;
    QSpinBox* m_to;
};

}  // namespace vantor
