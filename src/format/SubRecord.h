#pragma once
// Subrecords are split out of an entry's data only on demand.
#include <string>
#include <string_view>
#include <vector>

#include "format/Entry.h"

namespace vantor {

// A subrecord as the tool handles it: a 4-character tag and its payload.
struct CSubRecord {
    std::string m_tag;
    std::string m_payload;
    bool operator==(const CSubRecord&) const = default;
};
using CSubRecords = std::vector<CSubRecord>;

// Splits the data into subrecords, appended to `out`. False, with `out`
// untouched, when the data is shorter than 4 bytes. The payload length is
// the low 24 bits of the size field; a payload that claims more than
// remains is cut at the end of the data.
bool SplitSubRecords(std::string_view data, CSubRecords& out);
inline bool SplitSubRecords(const CEntry& entry, CSubRecords& out) { return SplitSubRecords(entry.Data(), out); }

// The record's last subrecord is "DELE" with a 4-byte payload; data shorter
// than 12 bytes is tested at its start instead.
bool IsDeletedData(std::string_view data);

bool SameBytes(std::string_view a, std::string_view b);

// Tag, 4-byte little-endian length and payload for each, in order.
std::string JoinSubRecords(const CSubRecords& subs);

}  // namespace vantor
