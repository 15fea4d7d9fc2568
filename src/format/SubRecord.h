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
};

// Splits the data into parallel tag and payload lists (appended to).
// False, with the lists untouched, when the data is shorter than 4 bytes.
// The payload length is the low 24 bits of the size field; a payload that
// claims more than remains is cut at the end of the data.
bool SplitSubRecords(std::string_view data, std::vector<std::string>& tags, std::vector<std::string>& payloads);
inline bool SplitSubRecords(const CEntry& entry, std::vector<std::string>& tags, std::vector<std::string>& payloads) {
    return SplitSubRecords(entry.Data(), tags, payloads);
}

// The record's last subrecord is "DELE" with a 4-byte payload; data shorter
// than 12 bytes is tested at its start instead.
bool IsDeletedData(std::string_view data);

bool SameBytes(std::string_view a, std::string_view b);

// Tag, 4-byte little-endian length and payload for each pair, in order.
std::string JoinSubRecords(const std::vector<std::string>& tags, const std::vector<std::string>& payloads);

}  // namespace vantor
