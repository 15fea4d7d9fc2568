#pragma once
// The layout of a CELL record's data: its header subrecords and its
// references, as byte ranges of the data, so that a cleaned cell can be put
// together again from the untouched bytes of the kept pieces.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantor::cells {

// One piece of the data. Pieces cover the data without gaps, in order.
struct CCellPiece {
    enum class EKind : std::uint8_t {
        Header,     // one subrecord before the first reference or NAM0
        Count,      // NAM0: the number of temporary references after it
        Reference,  // FRMR up to the next MVRF, FRMR or NAM0; from MVRF when moved
        Stray,      // a subrecord after NAM0 that starts no reference
    };
    EKind m_kind = EKind::Header;
    std::uint32_t m_begin = 0, m_end = 0;  // [begin, end) in the data

    // References only.
    std::uint32_t m_body = 0;   // first byte after the FRMR subrecord (== m_end without FRMR)
    std::uint32_t m_frmr = 0;   // index in the low 24 bits, creating file in the high 8
    bool m_hasFrmr = false;     // a moved reference's MVRF/CNDT may stand alone
    bool m_moved = false;       // starts at MVRF
    bool m_deleted = false;     // holds a DELE subrecord
    bool m_temporary = false;   // after NAM0

    std::string_view Tag(std::string_view data) const { return data.substr(m_begin, 4); }
    std::string_view Bytes(std::string_view data) const { return data.substr(m_begin, m_end - m_begin); }
    // What follows FRMR: the reference's own subrecords.
    std::string_view Body(std::string_view data) const { return data.substr(m_body, m_end - m_body); }
    // Header subrecords: the payload after the 8-byte subrecord header.
    std::string_view Payload(std::string_view data) const { return data.substr(m_begin + 8, m_end - m_begin - 8); }
};

struct CCellLayout {
    std::vector<CCellPiece> m_pieces;
    std::uint32_t m_headerEnd = 0;  // bytes of the data that are header subrecords
    bool m_deleted = false;         // a DELE among the header subrecords
};

// Splits the data that follows a cell's NAME and DATA. Nothing when a
// subrecord runs past the end of the data, or when FRMR or NAM0 is not 4
// bytes: such a cell cannot be cleaned safely.
std::optional<CCellLayout> ParseCellData(std::string_view data);

}  // namespace vantor::cells
