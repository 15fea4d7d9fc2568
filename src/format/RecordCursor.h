#pragma once
// Finding records in a file's bytes and the subrecords in a record: shared
// by the plugin reader and the dialogue reader.
#include <cstddef>
#include <cstdint>
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

// Walks the subrecords of one record's data and never leaves it.
class CSubRecordCursor {
public:
    // How many bytes of a subrecord's size field are read: the plugin reader
    // takes an ID's length from the low byte alone, as the game's tools
    // always did; the dialogue reader reads the whole field.
    enum class ELength { LowByte = 1, Whole = 4 };

    CSubRecordCursor(std::string_view data, ELength length) : m_data(data), m_length(length) {}

    // The next subrecord named `tag`, scanning forward one byte at a time
    // past whatever lies before it (some editors write DELE before NAME).
    // False when there is none whose payload lies wholly inside the data.
    bool ByName(std::string_view tag, std::string_view& payload);
    // The next subrecord, whatever its tag.
    bool Next(std::string_view& tag, std::string_view& payload);

    // Where the data after the subrecords taken so far begins.
    std::size_t Position() const { return m_pos; }
    // A by-name scan passed over a DELE subrecord. Only subrecord boundaries
    // count: "DELE" inside a payload is text.
    bool SkippedDele() const { return m_skippedDele; }

private:
    bool Take(std::size_t at, std::string_view& payload);

    std::string_view m_data;
    ELength m_length;
    std::size_t m_pos = 0;
    bool m_skippedDele = false;
};

// Whether the subrecords in `bytes`, walked from its start by their sizes
// (the low three bytes), include a DELE.
bool HoldsDeleSubRecord(std::string_view bytes);

}  // namespace vantor
