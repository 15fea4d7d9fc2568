#include "cells/CellLayout.h"

namespace vantor::cells {

namespace {

struct CSub {
    std::string_view m_tag;
    std::uint32_t m_begin, m_end;
};

bool StartsReference(std::string_view tag) { return tag == "FRMR" || tag == "MVRF"; }

}  // namespace

std::optional<CCellLayout> ParseCellData(std::string_view data) {
    // The record size field is 24 bits, so offsets fit 32 bits.
    if (data.size() > 0xFFFFFFu) return std::nullopt;
    std::vector<CSub> subs;
    for (std::size_t pos = 0; pos < data.size();) {
        if (data.size() - pos < 8) return std::nullopt;
        const std::size_t end = pos + 8 + std::size_t(U32At(data, pos + 4));
        if (end > data.size()) return std::nullopt;
        subs.push_back({data.substr(pos, 4), std::uint32_t(pos), std::uint32_t(end)});
        pos = end;
    }

    CCellLayout layout;
    layout.m_pieces.reserve(subs.size() / 3 + 8);
    bool inHeader = true, temporary = false;
    for (std::size_t i = 0; i < subs.size();) {
        const CSub& s = subs[i];
        CCellPiece piece;
        piece.m_begin = s.m_begin;
        if (s.m_tag == "NAM0") {
            if (s.m_end - s.m_begin != 12) return std::nullopt;
            piece.m_kind = CCellPiece::EKind::Count;
            inHeader = false;
            temporary = true;
            ++i;
        } else if (StartsReference(s.m_tag)) {
            piece.m_kind = CCellPiece::EKind::Reference;
            piece.m_temporary = temporary;
            piece.m_moved = s.m_tag == "MVRF";
            inHeader = false;
            std::size_t j = i;
            if (piece.m_moved) {
                // MVRF and CNDT name the target grid; the FRMR after them holds the reference.
                ++j;
                while (j < subs.size() && subs[j].m_tag != "FRMR" && subs[j].m_tag != "MVRF" && subs[j].m_tag != "NAM0") ++j;
            }
            if (j < subs.size() && subs[j].m_tag == "FRMR") {
                if (subs[j].m_end - subs[j].m_begin != 12) return std::nullopt;
                piece.m_hasFrmr = true;
                piece.m_frmr = U32At(data, subs[j].m_begin + 8);
                piece.m_body = subs[j].m_end;
                ++j;
                while (j < subs.size() && !StartsReference(subs[j].m_tag) && subs[j].m_tag != "NAM0") {
                    if (subs[j].m_tag == "DELE") piece.m_deleted = true;
                    ++j;
                }
            }
            i = j;
            if (!piece.m_hasFrmr) piece.m_body = subs[i - 1].m_end;
        } else {
            piece.m_kind = inHeader ? CCellPiece::EKind::Header : CCellPiece::EKind::Stray;
            if (inHeader && s.m_tag == "DELE") layout.m_deleted = true;
            ++i;
        }
        piece.m_end = subs[i - 1].m_end;
        if (piece.m_kind == CCellPiece::EKind::Header) layout.m_headerEnd = piece.m_end;
        layout.m_pieces.push_back(piece);
    }
    return layout;
}

}  // namespace vantor::cells
