#include "editor/WriteBack.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace vantor {

namespace {

constexpr const char* kInvalidData = "Invalid Data";
constexpr const char* kInvalidSize = "Invalid Size";

// A payload's size field is read as 24 bits; a longer "Bytes" value could
// never be read back and would only make the padding allocate without bound.
constexpr std::uint32_t kMaxPayloadLength = 0xFFFFFF;

std::string WithRow(const char* format, int row) {
    char text[128];
    std::snprintf(text, sizeof text, format, row);
    return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
int HexValue(char c) { return IsDigit(c) ? c - '0' : (c >= 'a' ? c - 'a' : c - 'A') + 10; }
bool AllDigits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit); }

// The white space the C library's isspace knows in the "C" locale.
std::string_view Trim(std::string_view s) {
    constexpr std::string_view kSpace = " \t\n\v\f\r";
    auto first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

// Decimal digits as a number, saturating instead of wrapping, so a long text
// can never pass as a small value.
std::uint64_t DigitsValue(std::string_view digits) {
    std::uint64_t value = 0;
    for (char c : digits) {
        unsigned d = static_cast<unsigned>(c - '0');
        if (value > (UINT64_MAX - d) / 10) return UINT64_MAX;
        value = value * 10 + d;
    }
    return value;
}

std::string LittleEndian(std::uint32_t value, std::size_t length) {
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length && i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::optional<std::uint32_t> BytesCell(std::string_view text) {
    if (!AllDigits(text) || text.size() > 8) return std::nullopt;
    auto value = DigitsValue(text);
    if (value > kMaxPayloadLength) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

class CRowWriter {
public:
    CRowWriter(const CEntryRow& row, int rowNumber, const CAsk& ask) : m_row(row), m_number(rowNumber), m_ask(ask) {}

    std::optional<std::string> Payload() {
        auto bytes = BytesCell(m_row.m_bytes);
        // Only an empty cell is named by the message; a cell that is no
        // length at all is as unusable.
        if (!bytes) return Refuse("Length in Bytes Field Invalid");
        m_length = *bytes;
        const std::string type = Upper(m_row.m_type);
        if (type == "HEX") return Hex();
        if (type == "DEC") return Dec();
        if (type == "ASCII") return Ascii();
        if (type == "FIXED") return Fixed();
        if (type == "MIXED") return Mixed();
        return Refuse("Invalid Type Field.");
    }

    static std::nullopt_t Refuse(const CAsk& ask, std::string text, const char* caption = kInvalidData) {
        ask(CMessage{std::move(text), caption, EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
        return std::nullopt;
    }

private:
    std::nullopt_t Refuse(std::string text, const char* caption = kInvalidData) {
        return Refuse(m_ask, std::move(text), caption);
    }
    bool Confirm(std::string text, const char* caption) {
        return m_ask(CMessage{std::move(text), caption, EButtons::YesNo, EIcon::Question, EAnswer::Yes}) == EAnswer::Yes;
    }

    std::optional<std::string> Hex() {
        std::string digits = m_row.m_data;
        if (m_row.m_dataOutsideCodePage || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) return Refuse("Hex Data field not Valid Hexadecimal");
        if (digits.size() != 2 * std::size_t(m_length) &&
            !Confirm(WithRow("Hex-Type Data's Length at Row %d has Changed.\n Continue?", m_number), "Length Changed"))
            return std::nullopt;
        if (digits.size() % 2) {
            if (!Confirm(WithRow("Hex-Type Data's Length at Row %d not Even.\n Fill and Continue?", m_number),
                         "Length not Even"))
                return std::nullopt;
            digits += '0';
        }
        std::string payload;
        payload.reserve(digits.size() / 2);
        for (std::size_t i = 0; i < digits.size(); i += 2)
            payload += static_cast<char>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1]));
        return payload;
    }

    std::optional<std::string> Dec() {
        std::string_view text = m_row.m_data;
        // A 4-byte value is shown as a signed 32-bit number (faction
        // reactions and dialogue condition values are often negative), so
        // that is what it takes back. Other lengths are shown without a sign.
        const bool negative = m_length == 4 && text.starts_with('-');
        std::string_view digits = negative ? text.substr(1) : text;
        if (m_row.m_dataOutsideCodePage || !AllDigits(digits)) return Refuse("Decimal Data field not Numeric");
        // More than 4 bytes still carry a 32-bit value: the rest are zero.
        const std::uint64_t max = m_length >= 4 ? 0xFFFFFFFFull : (1ull << (8 * m_length)) - 1;
        const std::uint64_t value = DigitsValue(digits);
        if (text.size() > 20 || (!negative && value > max))
            return Refuse("Integer Value Larger than\n" + std::to_string(max));
        if (negative && value > 0x80000000ull) return Refuse("Integer Value Smaller than\n-2147483648");
        auto word = static_cast<std::uint32_t>(negative ? 0x100000000ull - value : value);
        return LittleEndian(word, m_length);
    }

    std::optional<std::string> Ascii() {
        // Text the code page cannot hold would be written as something else.
        if (m_row.m_dataOutsideCodePage || (m_row.m_value != 0 && !IsValidAscii(m_row.m_data)))
            return Refuse(WithRow("Ascii Type Data not Valid Ascii at Row %d.", m_number));
        std::string payload = m_row.m_data;
        // Row value 0: the payload ended in its zero terminator (or the row
        // is new), which the text does not show.
        if (m_row.m_value == 0) payload += '\0';
        return payload;
    }

    std::optional<std::string> Fixed() {
        std::string_view text = Trim(m_row.m_data);
        if (m_row.m_dataOutsideCodePage || !IsValidAscii(text))
            return Refuse(WithRow("Fixed Size Ascii Type Data not Valid Ascii at Row %d.", m_number));
        if (text.size() > m_length)
            return Refuse(WithRow("Fixed Size Ascii Type Data is Greater than its Max Size at Row %d.", m_number),
                          kInvalidSize);
        std::string payload(text);
        payload.resize(m_length, '\0');
        return payload;
    }

    std::optional<std::string> Mixed() {
        if (m_row.m_value != 0 && m_row.m_value != static_cast<std::int64_t>(m_length))
            return Refuse(WithRow("Fixed Size Data has Changed Size at Row %d.", m_number), kInvalidSize);
        std::string_view text = m_row.m_data;
        if (m_row.m_dataOutsideCodePage || !IsValidAscii(text))
            return Refuse(WithRow("Fixed Size Ascii Data not Valid Ascii at Row %d.", m_number));
        auto marker = text.find('=');
        if (marker == std::string_view::npos)
            return Refuse(WithRow("Mixed Mode Marker '=' not Found at Row %d.", m_number));
        std::string_view number = Trim(text.substr(0, marker));
        std::string_view name = Trim(text.substr(marker + 1));
        // A sign may only lead: "1-2" or a lone "-" is no number.
        const bool negative = number.starts_with('-');
        std::string_view digits = negative ? number.substr(1) : number;
        if (!AllDigits(digits)) return Refuse(WithRow("Decimal Data not Numeric at Row %d.", m_number));
        if (!IsValidAscii(name)) return Refuse(WithRow("Fixed Size Ascii Data is not Valid Ascii at Row %d.", m_number));
        const std::uint64_t value = DigitsValue(digits);
        if (number.size() > 10 || value > 0xFFFFFFFFull) return Refuse("Decimal Value Larger than\n4294967295");
        // The count and name must fit the subrecord's size: a count-and-name
        // subrecord that grows corrupts the record. The text as typed may be
        // longer than the size ("10 = " and a 31-letter name still fit 36).
        if (4 + name.size() > m_length)
            return Refuse(WithRow("Fixed Size Data is Greater than its Max Size at Row %d.", m_number), kInvalidSize);
        auto word = static_cast<std::uint32_t>(negative ? 0x100000000ull - value : value);
        std::string payload = LittleEndian(word, 4);
        payload += name;
        payload.resize(m_length, '\0');
        return payload;
    }

    const CEntryRow& m_row;
    int m_number;
    const CAsk& m_ask;
    std::uint32_t m_length = 0;
};

}  // namespace

std::optional<std::string> RowPayload(const CEntryRow& row, int rowNumber, const CAsk& ask) {
    return CRowWriter(row, rowNumber, ask).Payload();
}

CWriteBack WriteBackRows(const std::vector<CEntryRow>& rows, const CAsk& ask) {
    CWriteBack result;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        auto payload = RowPayload(rows[i], number, ask);
        // The tag is checked after the row's data has passed.
        if (payload && (rows[i].m_tag.size() != 4 || rows[i].m_tagOutsideCodePage))
            payload = CRowWriter::Refuse(ask, "ID Length Invalid.");
        if (!payload) {
            result.m_row = number;
            return result;
        }
        result.m_subRecords.push_back({rows[i].m_tag, std::move(*payload)});
    }
    result.m_ok = true;
    return result;
}

CWriteBack WriteBackRows(const std::vector<CEntryRow>& rows, CUserLink& link) {
    return WriteBackRows(rows, [&link](const CMessage& message) { return link.Ask(message); });
}

}  // namespace vantor
