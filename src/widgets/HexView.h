#pragma once
// A read-only hex dump of a byte block: address, hexadecimal and character
// columns in a fixed-pitch font, the bytes that differ from a comparison
// block in red. It paints what CHexLayout computes and scrolls both ways.
#include <QAbstractScrollArea>
#include <string_view>

#include "editor/HexLayout.h"

namespace vantor {

class CHexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CHexView(std::string_view bytes, std::string_view comparison, QWidget* parent = nullptr);

    const CHexLayout& Layout() const { return m_layout; }
    // The colour a column position of a line is painted in.
    QColor ColumnColour(std::size_t line, std::size_t column) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateScrollBars();

    CHexLayout m_layout;
};

}  // namespace vantor
