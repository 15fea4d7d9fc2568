#include "cells/CellLayout.h"

#include <cstdint>

#include "format/LittleEndian.h"

namespace vantor::cells {

namespace {

constexpr std::uint32_t Tag(const char (&t)[5]) {
    return std::uint32_t(std::uint8_t(t[0])) | std::uint32_t(std::uint8_t(t[1])) << 8 |
           std::uint32_t(std::uint8_t(t[2])) << 16 | std::uint32_t(std::uint8_t(t[3])) << 24;
}
constexpr std::uint32_t kFrmr = Tag("FRMR"), kMvrf = Tag("MVRF"), kNam0 = Tag("NAM0"), kDele = Tag("DELE");

}  // namespace

std::optional<CCellLayout> ParseCellData(std::string_view data) {
    // The record size field is 24 bits, so offsets fit 32 bits.
    if (data.size() > 0xFFFFFFu) return std::nullopt;
    CCellLayout layout;
    layout.m_pieces.reserve(data.size() / 64 + 4);
    bool inHeader = true, temporary = false;
    // The reference being read, and whether its FRMR has come (a moved one
    // starts at MVRF and CNDT; the FRMR after them holds the reference).
    std::size_t current = SIZE_MAX;
    bool afterFrmr = false;
    for (std::size_t pos = 0; pos < data.size();) {
        if (data.size() - pos < 8) return std::nullopt;
        const std::uint32_t tag = le::U32(data, pos);
        const std::uint32_t size = le::U32(data, pos + 4);
        if (size > data.size() - pos - 8) return std::nullopt;
        const auto begin = std::uint32_t(pos), end = std::uint32_t(pos + 8 + size);
        pos = end;

        if (tag == kFrmr && size != 4) return std::nullopt;
        if (tag == kFrmr && current != SIZE_MAX && !afterFrmr) {
            CCellPiece& moved = layout.m_pieces[current];
            moved.m_hasFrmr = true;
            moved.m_frmr = le::U32(data, begin + 8);
            moved.m_body = moved.m_end = end;
            afterFrmr = true;
            continue;
        }
        if (tag == kFrmr || tag == kMvrf || tag == kNam0) {
            inHeader = false;
            current = SIZE_MAX;
            CCellPiece piece;
            piece.m_begin = begin;
            piece.m_end = piece.m_body = end;
            if (tag == kNam0) {
                if (size != 4) return std::nullopt;
                piece.m_kind = CCellPiece::EKind::Count;
                temporary = true;
            } else {
                piece.m_kind = CCellPiece::EKind::Reference;
                piece.m_temporary = temporary;
                piece.m_moved = tag == kMvrf;
                piece.m_hasFrmr = afterFrmr = tag == kFrmr;
                if (piece.m_hasFrmr) piece.m_frmr = le::U32(data, begin + 8);
                current = layout.m_pieces.size();
            }
            layout.m_pieces.push_back(piece);
            continue;
        }
        if (current != SIZE_MAX) {
            CCellPiece& ref = layout.m_pieces[current];
            ref.m_end = end;
            if (afterFrmr && tag == kDele) ref.m_deleted = true;
            if (!afterFrmr) ref.m_body = end;
            continue;
        }
        CCellPiece piece;
        piece.m_kind = inHeader ? CCellPiece::EKind::Header : CCellPiece::EKind::Stray;
        piece.m_begin = begin;
        piece.m_end = piece.m_body = end;
        if (inHeader) {
            layout.m_headerEnd = end;
            if (tag == kDele) layout.m_deleted = true;
        }
        layout.m_pieces.push_back(piece);
    }
    return layout;
}

}  // namespace vantor::cells
