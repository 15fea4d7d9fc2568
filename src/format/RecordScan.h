#pragma once
// Finding records in a file's bytes.
#include <cstddef>
#include <string_view>

namespace vantor {

// One of the 44 record tags the reader knows: the 41 with a table, and
// "TES3", "MAST" and "SSCR", which it passes over.
bool IsRecordTag(std::string_view tag);

// The first position at or after `from` where a record tag begins, or the
// first position from which fewer than four bytes remain: the position a
// scan one byte at a time would stop at, found without looking at every
// byte.
std::size_t NextRecordTag(std::string_view bytes, std::size_t from);

}  // namespace vantor
