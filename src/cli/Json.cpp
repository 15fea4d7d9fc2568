#include "cli/Json.h"

#include "platform/Cp1252.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vantor::cli {

std::string Cp1252ToUtf8(std::string_view bytes) { return cp1252::ToUtf8(bytes); }

std::string Utf8ToCp1252(std::string_view utf8) { return cp1252::FromUtf8(utf8).value_or(std::string(utf8)); }

std::string DisplayText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        // Lead bytes of 2-, 3- and 4-byte sequences that can be well formed.
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4                                   ? 4
                                                                                                    : 1;
        bool wellFormed = length > 1 && i + length <= bytes.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k)
            wellFormed = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        // Overlong forms and surrogates are not UTF-8.
        if (wellFormed && length == 3) {
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            wellFormed = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0);
        } else if (wellFormed && length == 4) {
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            wellFormed = !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (wellFormed) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out += Cp1252ToUtf8(bytes.substr(i, 1));
            ++i;
        }
    }
    return out;
}

void CJsonWriter::Separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back()) m_out << ',';
        m_first.back() = false;
    }
}

CJsonWriter& CJsonWriter::BeginObject() {
    Separate();
    m_out << '{';
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    m_out << '}';
    m_first.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    Separate();
    m_out << '[';
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    m_out << ']';
    m_first.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view key) {
    String(key);
    m_out << ':';
    m_afterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view cp1252) {
    Separate();
    Quoted(Cp1252ToUtf8(cp1252));
    return *this;
}

CJsonWriter& CJsonWriter::Name(std::string_view name) {
    Separate();
    Quoted(DisplayText(name));
    return *this;
}

void CJsonWriter::Quoted(std::string_view utf8) {
    m_out << '"';
    for (char ch : utf8) {
        switch (ch) {
            case '"': m_out << "\\\""; break;
            case '\\': m_out << "\\\\"; break;
            case '\n': m_out << "\\n"; break;
            case '\r': m_out << "\\r"; break;
            case '\t': m_out << "\\t"; break;
            default:
                if (static_cast<unsigned char>(ch) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(ch));
                    m_out << buf;
                } else {
                    m_out << ch;
                }
        }
    }
    m_out << '"';
}

CJsonWriter& CJsonWriter::Number(long long value) {
    Separate();
    m_out << value;
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
    Separate();
    m_out << (value ? "true" : "false");
    return *this;
}

}  // namespace vantor::cli
