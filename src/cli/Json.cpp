#include "cli/Json.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vantor::cli {

std::string Cp1252ToUtf8(std::string_view bytes) {
    // 0x80..0x9F of Windows-1252; 0 marks the five undefined positions.
    static const char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        char32_t cp = c;
        if (c >= 0x80 && c < 0xA0) cp = kHigh[c - 0x80] ? kHigh[c - 0x80] : c;
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    // Code point -> byte for 0x80-0xFF, from the forward mapping.
    static const auto kBack = [] {
        std::array<char32_t, 128> back{};
        for (int b = 0x80; b <= 0xFF; ++b) {
            const std::string u = Cp1252ToUtf8(std::string(1, static_cast<char>(b)));
            char32_t cp = static_cast<unsigned char>(u[0]) & (u.size() == 2 ? 0x1F : 0x0F);
            for (std::size_t i = 1; i < u.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(u[i]) & 0x3F);
            back[std::size_t(b - 0x80)] = cp;
        }
        return back;
    }();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > utf8.size()) return std::string(utf8);
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return std::string(utf8);
            cp = (cp << 6) | (next & 0x3F);
        }
        i += length;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        const auto* hit = std::find(kBack.begin(), kBack.end(), cp);
        if (hit == kBack.end()) return std::string(utf8);
        out.push_back(static_cast<char>(0x80 + (hit - kBack.begin())));
    }
    return out;
}

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
