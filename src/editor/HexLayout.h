#pragma once
// The hex view's layout as plain geometry: which bytes go on which line, the
// text of the address, hexadecimal and character columns, which byte lies
// under a column position, and which bytes differ from a comparison. The
// widget paints what this computes, in a fixed-pitch font, one character
// cell per column position; the console prints the same lines.
//
// A line is: 8 address digits, 2 blanks, per byte two digits and a blank,
// one more blank, then one character per byte. A short last line is padded
// so that its characters stay in their column.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

struct CRgb {
    std::uint8_t m_red, m_green, m_blue;
};
// Bytes that differ from the comparison are painted in this colour.
inline constexpr CRgb kDiffColour{255, 51, 50};

// A run of column positions on one line.
struct CColumnSpan {
    std::size_t m_column;
    std::size_t m_length;
    bool operator==(const CColumnSpan&) const = default;
};

class CHexLayout {
public:
    static constexpr std::size_t kAddressDigits = 8;
    static constexpr std::size_t kDefaultBytesPerLine = 16;

    // Both blocks are copied: the view outlives the list row it came from.
    // The comparison may be shorter or longer; a byte past its end differs.
    CHexLayout(std::string_view bytes, std::string_view comparison, std::size_t bytesPerLine = kDefaultBytesPerLine);

    // At least one byte per line.
    void SetBytesPerLine(std::size_t count);
    std::size_t BytesPerLine() const { return m_perLine; }
    // The most bytes per line (a multiple of 4, at least 4) whose line fits
    // in `columns` character cells.
    static std::size_t FitBytesPerLine(std::size_t columns);

    std::size_t Size() const { return m_bytes.size(); }
    const std::string& Bytes() const { return m_bytes; }
    // Lines needed for the bytes; 0 for an empty block.
    std::size_t LineCount() const;
    // Character cells of a full line.
    std::size_t LineWidth() const;
    // Index of the first byte of a line, and how many bytes it holds.
    std::size_t LineStart(std::size_t line) const { return line * m_perLine; }
    std::size_t LineLength(std::size_t line) const;

    std::string AddressText(std::size_t line) const;
    // Two upper-case digits and a blank per byte, padded to the full width.
    std::string HexText(std::size_t line) const;
    // One character per byte: "." for a byte below 32, every other byte as
    // the character it codes (bytes of the game's code page, not padded).
    std::string CharText(std::size_t line) const;
    // The whole line: address, hexadecimal and character columns.
    std::string LineText(std::size_t line) const;

    // Column positions, within a line's text, of a byte's first digit and of
    // its character; `indexInLine` counts from 0 at the line's start.
    std::size_t HexColumn(std::size_t indexInLine) const;
    std::size_t CharColumn(std::size_t indexInLine) const;
    // The byte under a column position of a line (its digits or its
    // character), or nothing over the address, blanks or past the data.
    std::optional<std::size_t> ByteAt(std::size_t line, std::size_t column) const;

    bool Differs(std::size_t index) const;
    // The column runs to paint in the difference colour on one line: runs of
    // differing bytes in the hexadecimal column (digits and the blanks
    // between them) and in the character column.
    std::vector<CColumnSpan> DiffSpans(std::size_t line) const;

private:
    std::size_t CharStart() const;

    std::string m_bytes;
    std::string m_comparison;
    std::size_t m_perLine;
};

}  // namespace vantor
