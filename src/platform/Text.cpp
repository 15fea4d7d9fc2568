#include "platform/Text.h"

#include <algorithm>
#include <array>

namespace vantor::platform {

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

std::string PercentText(std::string_view prefix, std::uint64_t done, std::uint64_t total) {
    return std::string(prefix) + std::to_string(total ? done * 100 / total : 0) + "% complete";
}

std::string_view Plural(std::uint64_t n, std::string_view one, std::string_view many) { return n == 1 ? one : many; }

std::string CountOf(std::uint64_t n, std::string_view one, std::string_view many) {
    return CountOf(std::to_string(n), n, one, many);
}

std::string CountOf(std::string_view digits, std::uint64_t n, std::string_view one, std::string_view many) {
    std::string text(digits);
    return text.append(" ").append(Plural(n, one, many));
}

void AppendCsvField(std::string& out, std::string_view cell) {
    // One look-up a byte: a list of millions of rows asks this of every ID.
    static constexpr auto kQuoted = [] {
        std::array<bool, 256> quoted{};
        for (const unsigned char c : {',', '"', '\r', '\n'}) quoted[c] = true;
        return quoted;
    }();
    const bool plain =
        std::none_of(cell.begin(), cell.end(), [](char c) { return kQuoted[static_cast<unsigned char>(c)]; });
    if (plain) {
        out += cell;
        return;
    }
    out += '"';
    for (const char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace vantor::platform
