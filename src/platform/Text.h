#pragma once
// Small text rules shared by every layer.
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::platform {

// File, section, key and registry names are compared as Windows compares
// them: without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// A-Z as a-z, every other byte as it is: the key names are compared by.
std::string LowerAscii(std::string_view text);

// The progress text of long operations: the prefix, then the percentage of
// steps done (integer division, 0 for no steps), then "% complete".
std::string PercentText(std::string_view prefix, std::uint64_t done, std::uint64_t total);

// The word that agrees with a count: `one` for exactly one, `many` for any
// other count, none included ("1 cell is", "0 cells are").
std::string_view Plural(std::uint64_t n, std::string_view one, std::string_view many);
// The count and its noun: "1 cell", "3 cells". `digits` is the count as it
// is shown, when the caller groups its digits.
std::string CountOf(std::uint64_t n, std::string_view one, std::string_view many);
std::string CountOf(std::string_view digits, std::uint64_t n, std::string_view one, std::string_view many);

// Appends a CSV field as RFC 4180 writes it: quoted when it holds a comma,
// a quote or a line break, its quotes doubled.
void AppendCsvField(std::string& out, std::string_view cell);

}  // namespace vantor::platform
