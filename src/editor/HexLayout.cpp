#include "editor/HexLayout.h"

#include <algorithm>
#include <cstdio>

namespace vantor {

namespace {

constexpr std::size_t kAddressGap = 2;  // blanks after the address
constexpr std::size_t kHexCell = 3;     // two digits and a blank
constexpr std::size_t kCharGap = 1;     // blank after the hexadecimal column

}  // namespace

CHexLayout::CHexLayout(std::string_view bytes, std::string_view comparison, std::size_t bytesPerLine)
    : m_bytes(bytes), m_comparison(comparison), m_perLine(std::max<std::size_t>(bytesPerLine, 1)) {}

void CHexLayout::SetBytesPerLine(std::size_t count) { m_perLine = std::max<std::size_t>(count, 1); }

std::size_t CHexLayout::FitBytesPerLine(std::size_t columns) {
    const std::size_t fixed = kAddressDigits + kAddressGap + kCharGap;
    const std::size_t perByte = kHexCell + 1;
    std::size_t count = columns > fixed ? (columns - fixed) / perByte : 0;
    return std::max<std::size_t>(count / 4 * 4, 4);
}

std::size_t CHexLayout::LineCount() const { return (m_bytes.size() + m_perLine - 1) / m_perLine; }

std::size_t CHexLayout::LineWidth() const { return CharStart() + m_perLine; }

std::size_t CHexLayout::LineLength(std::size_t line) const {
    const std::size_t start = LineStart(line);
    return start >= m_bytes.size() ? 0 : std::min(m_perLine, m_bytes.size() - start);
}

std::size_t CHexLayout::CharStart() const { return kAddressDigits + kAddressGap + m_perLine * kHexCell + kCharGap; }

std::string CHexLayout::AddressText(std::size_t line) const {
    char text[24];
    std::snprintf(text, sizeof text, "%08zX", LineStart(line));
    return text;
}

std::string CHexLayout::HexText(std::size_t line) const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(m_perLine * kHexCell, ' ');
    const std::size_t start = LineStart(line);
    for (std::size_t i = 0; i < LineLength(line); ++i) {
        auto c = static_cast<unsigned char>(m_bytes[start + i]);
        out[i * kHexCell] = kDigits[c >> 4];
        out[i * kHexCell + 1] = kDigits[c & 15];
    }
    return out;
}

std::string CHexLayout::CharText(std::size_t line) const {
    std::string out = m_bytes.substr(std::min(LineStart(line), m_bytes.size()), LineLength(line));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32) c = '.';
    return out;
}

std::string CHexLayout::LineText(std::size_t line) const {
    return AddressText(line) + std::string(kAddressGap, ' ') + HexText(line) + std::string(kCharGap, ' ') +
           CharText(line);
}

std::size_t CHexLayout::HexColumn(std::size_t indexInLine) const {
    return kAddressDigits + kAddressGap + indexInLine * kHexCell;
}

std::size_t CHexLayout::CharColumn(std::size_t indexInLine) const { return CharStart() + indexInLine; }

std::optional<std::size_t> CHexLayout::ByteAt(std::size_t line, std::size_t column) const {
    const std::size_t length = LineLength(line);
    const std::size_t hexStart = HexColumn(0);
    std::optional<std::size_t> inLine;
    if (column >= hexStart && column < hexStart + m_perLine * kHexCell) {
        const std::size_t offset = column - hexStart;
        if (offset % kHexCell < 2) inLine = offset / kHexCell;
    } else if (column >= CharStart() && column < CharStart() + m_perLine) {
        inLine = column - CharStart();
    }
    if (!inLine || *inLine >= length) return std::nullopt;
    return LineStart(line) + *inLine;
}

bool CHexLayout::Differs(std::size_t index) const {
    return index < m_bytes.size() && (index >= m_comparison.size() || m_bytes[index] != m_comparison[index]);
}

std::vector<CColumnSpan> CHexLayout::DiffSpans(std::size_t line) const {
    std::vector<CColumnSpan> hex, chars;
    const std::size_t start = LineStart(line);
    const std::size_t length = LineLength(line);
    for (std::size_t i = 0; i < length;) {
        if (!Differs(start + i)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < length && Differs(start + end)) ++end;
        hex.push_back({HexColumn(i), (end - i) * kHexCell - 1});
        chars.push_back({CharColumn(i), end - i});
        i = end;
    }
    hex.insert(hex.end(), chars.begin(), chars.end());
    return hex;
}

}  // namespace vantor
