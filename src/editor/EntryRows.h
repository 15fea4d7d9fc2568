#pragma once
// The entry editor's grid without a window: one row per subrecord, its
// payload in a form chosen from the tag. Texts are bytes in the game's code
// page; the GUI decodes them for display and encodes what is typed.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/Entry.h"
#include "format/SubRecord.h"

namespace vantor {

// The display types, as the "Type" cell names them.
inline constexpr std::string_view kTypeDec = "Dec";
inline constexpr std::string_view kTypeAscii = "Ascii";
inline constexpr std::string_view kTypeFixed = "Fixed";
inline constexpr std::string_view kTypeMixed = "Mixed";
inline constexpr std::string_view kTypeHex = "Hex";

// The grid's five columns: a fixed narrow column, then ID, Data, Type, Bytes.
inline constexpr std::size_t kGridColumnCount = 5;
inline constexpr std::array<std::string_view, kGridColumnCount> kGridHeaders = {"", "ID", "Data", "Type", "Bytes"};
inline constexpr std::array<int, kGridColumnCount> kGridWidths = {10, 40, 455, 40, 50};
// A filled row is fitted to its content but never taller than this.
inline constexpr int kGridMaxRowHeight = 100;

// One grid row as the cells hold it.
struct CEntryRow {
    std::string m_tag;    // "ID"
    std::string m_data;   // "Data"
    std::string m_type;   // "Type"
    std::string m_bytes;  // "Bytes", the payload length in decimal
    // The integer the "Data" cell carries for "Write to ESP": for Ascii the
    // payload's last byte as a signed byte, for Fixed and Mixed the payload
    // length, otherwise 0 (also for rows the user adds).
    std::int32_t m_value = 0;
    // Rows filled from the entry keep "Type" and "Bytes" read-only.
    bool m_fromEntry = false;
    // The window could not turn what was typed into the "ID" or "Data" cell
    // into the game's code page (Windows-1252 has no "ł"): such a cell is
    // never written.
    bool m_tagOutsideCodePage = false;
    bool m_dataOutsideCodePage = false;

    bool operator==(const CEntryRow&) const = default;
};

// Text the editor accepts as ASCII: not empty; every byte but the last
// printable (32 to 254) or tab, line feed or carriage return; a single byte
// is also 0 or 32 to 126. The last byte of a longer text is not tested, so a
// payload ending in its zero terminator passes.
bool IsValidAscii(std::string_view text);

// The row of one subrecord of an entry of type `recordType`. A payload is
// shown in a typed form only when that form turns back into the very same
// bytes; anything else shows as hexadecimal digits.
CEntryRow MakeRow(std::string_view recordType, std::string_view tag, std::string_view payload);

// One row per subrecord, in order. The tag and payload lists are parallel.
std::vector<CEntryRow> FillGrid(std::string_view recordType, const CSubRecords& subs);
// The rows of an entry's data: the subrecords after its ID subrecords, which
// the reader consumed and a rewrite keeps. No rows when the data is shorter
// than a subrecord tag.
std::vector<CEntryRow> FillGrid(std::string_view recordType, const CEntry& entry);

// An empty row the user adds: every cell editable, row value 0.
CEntryRow NewRow();

}  // namespace vantor
