#include "editor/WriteBack.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace vantor {

namespace {

// A payload's size field is read as 24 bits; a longer "Bytes" value could
// never be read back and would only make the padding allocate without bound.
constexpr std::uint32_t kMaxPayloadLength = 0xFFFFFF;

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
    using EWhy = CInvalidRowNotice::EWhy;

    CRowWriter(const CEntryRow& row, int rowNumber, CUserLink& link) : m_row(row), m_number(rowNumber), m_link(link) {}

    std::optional<std::string> Payload() {
        auto bytes = BytesCell(m_row.m_bytes);
        // Only an empty cell is named by the message; a cell that is no
        // length at all is as unusable.
        if (!bytes) return Refuse(EWhy::LengthField);
        m_length = *bytes;
        const std::string type = Upper(m_row.m_type);
        if (type == "HEX") return Hex();
        if (type == "DEC") return Dec();
        if (type == "ASCII") return Ascii();
        if (type == "FIXED") return Fixed();
        if (type == "MIXED") return Mixed();
        return Refuse(EWhy::TypeField);
    }

    static std::nullopt_t Refuse(CUserLink& link, EWhy why, int row, unsigned long long limit = 0) {
        link.Tell(CInvalidRowNotice{why, row, limit});
        return std::nullopt;
    }

private:
    std::nullopt_t Refuse(EWhy why, unsigned long long limit = 0) { return Refuse(m_link, why, m_number, limit); }

    std::optional<std::string> Hex() {
        std::string digits = m_row.m_data;
        if (m_row.m_dataOutsideCodePage || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) return Refuse(EWhy::HexDigits);
        if (digits.size() != 2 * std::size_t(m_length) &&
            !m_link.Agrees(CRowLengthChangedQuestion{m_number}))
            return std::nullopt;
        if (digits.size() % 2) {
            if (!m_link.Agrees(CRowLengthOddQuestion{m_number}))
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
        if (m_row.m_dataOutsideCodePage || !AllDigits(digits)) return Refuse(EWhy::DecimalDigits);
        // More than 4 bytes still carry a 32-bit value: the rest are zero.
        const std::uint64_t max = m_length >= 4 ? 0xFFFFFFFFull : (1ull << (8 * m_length)) - 1;
        const std::uint64_t value = DigitsValue(digits);
        if (text.size() > 20 || (!negative && value > max))
            return Refuse(EWhy::IntegerTooLarge, max);
        if (negative && value > 0x80000000ull) return Refuse(EWhy::IntegerTooSmall);
        auto word = static_cast<std::uint32_t>(negative ? 0x100000000ull - value : value);
        return LittleEndian(word, m_length);
    }

    std::optional<std::string> Ascii() {
        // Text the code page cannot hold would be written as something else.
        if (m_row.m_dataOutsideCodePage || (m_row.m_value != 0 && !IsValidAscii(m_row.m_data)))
            return Refuse(EWhy::AsciiText);
        std::string payload = m_row.m_data;
        // Row value 0: the payload ended in its zero terminator (or the row
        // is new), which the text does not show.
        if (m_row.m_value == 0) payload += '\0';
        return payload;
    }

    std::optional<std::string> Fixed() {
        std::string_view text = Trim(m_row.m_data);
        if (m_row.m_dataOutsideCodePage || !IsValidAscii(text))
            return Refuse(EWhy::FixedText);
        if (text.size() > m_length) return Refuse(EWhy::FixedTooLong);
        std::string payload(text);
        payload.resize(m_length, '\0');
        return payload;
    }

    std::optional<std::string> Mixed() {
        if (m_row.m_value != 0 && m_row.m_value != static_cast<std::int64_t>(m_length))
            return Refuse(EWhy::FixedSizeChanged);
        std::string_view text = m_row.m_data;
        if (m_row.m_dataOutsideCodePage || !IsValidAscii(text))
            return Refuse(EWhy::FixedNotAscii);
        auto marker = text.find('=');
        if (marker == std::string_view::npos) return Refuse(EWhy::MixedMarker);
        std::string_view number = Trim(text.substr(0, marker));
        std::string_view name = Trim(text.substr(marker + 1));
        // A sign may only lead: "1-2" or a lone "-" is no number.
        const bool negative = number.starts_with('-');
        std::string_view digits = negative ? number.substr(1) : number;
        if (!AllDigits(digits)) return Refuse(EWhy::MixedDecimal);
        if (!IsValidAscii(name)) return Refuse(EWhy::MixedName);
        const std::uint64_t value = DigitsValue(digits);
        if (number.size() > 10 || value > 0xFFFFFFFFull) return Refuse(EWhy::MixedTooLarge);
        // The count and name must fit the subrecord's size: a count-and-name
        // subrecord that grows corrupts the record. The text as typed may be
        // longer than the size ("10 = " and a 31-letter name still fit 36).
        if (4 + name.size() > m_length) return Refuse(EWhy::MixedTooLong);
        auto word = static_cast<std::uint32_t>(negative ? 0x100000000ull - value : value);
        std::string payload = LittleEndian(word, 4);
        payload += name;
        payload.resize(m_length, '\0');
        return payload;
    }

    const CEntryRow& m_row;
    int m_number;
    CUserLink& m_link;
    std::uint32_t m_length = 0;
};

}  // namespace

std::optional<std::string> RowPayload(const CEntryRow& row, int rowNumber, CUserLink& link) {
    return CRowWriter(row, rowNumber, link).Payload();
}

CWriteBack WriteBackRows(const std::vector<CEntryRow>& rows, CUserLink& link) {
    CWriteBack result;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        auto payload = RowPayload(rows[i], number, link);
        // The tag is checked after the row's data has passed.
        if (payload && (rows[i].m_tag.size() != 4 || rows[i].m_tagOutsideCodePage))
            payload = CRowWriter::Refuse(link, CRowWriter::EWhy::TagLength, number);
        if (!payload) {
            result.m_row = number;
            return result;
        }
        result.m_subRecords.push_back({rows[i].m_tag, std::move(*payload)});
    }
    result.m_ok = true;
    return result;
}

}  // namespace vantor
