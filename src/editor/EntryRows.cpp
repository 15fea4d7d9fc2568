#include "editor/EntryRows.h"

#include <cstdint>
#include <cstdio>

#include "format/SubRecord.h"
#include "editor/WriteBack.h"
#include "format/LittleEndian.h"
#include "format/RecordTypes.h"

namespace vantor {

namespace {

bool IsAsciiTag(std::string_view recordType, std::string_view tag) {
    for (std::string_view t : {"TEXT", "SCRI", "MODL", "DESC", "STRV", "SCTX", "NAME", "RGNN"})
        if (tag == t) return true;
    if (tag == "SCVR" && FindRecordType(recordType) && FindRecordType(recordType)->IsResponse()) return true;
    if (tag == "DATA" && recordType == "LTEX") return true;
    if (tag.size() < 3) return false;
    std::string_view last = tag.substr(tag.size() - 3);
    return last == "VFX" || last == "TEX" || last == "SND" || last == "NAM";
}

std::int32_t SignedWord(std::string_view bytes) { return le::I32(bytes, 0); }

std::string HexDigits(std::string_view payload) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(payload.size() * 2);
    for (unsigned char c : payload) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// The typed form of a payload by the tag's rules, or Hex when none applies.
void ChooseForm(CEntryRow& row, std::string_view recordType, std::string_view payload) {
    const std::string_view tag = row.m_tag;
    const std::size_t n = payload.size();
    if ((tag == "INDX" || tag == "INTV") && n <= 4) {
        row.m_type = kTypeDec;
        row.m_data = std::to_string(SignedWord(payload));
    } else if (IsAsciiTag(recordType, tag) && IsValidAscii(payload)) {
        row.m_type = kTypeAscii;
        row.m_data = UpToNul(payload);
        row.m_value = static_cast<std::int8_t>(payload.back());
    } else if (tag == "NPCS" || tag == "RNAM") {
        row.m_type = kTypeFixed;
        row.m_data = UpToNul(payload);
        row.m_value = static_cast<std::int32_t>(n);
    } else if (tag == "NPCO" && n >= 4) {
        row.m_type = kTypeMixed;
        row.m_data = std::to_string(SignedWord(payload)) + " = " + std::string(UpToNul(payload.substr(4)));
        row.m_value = static_cast<std::int32_t>(n);
    } else {
        row.m_type = kTypeHex;
        row.m_data = HexDigits(payload);
    }
}

}  // namespace

bool IsValidAscii(std::string_view text) {
    if (text.empty()) return false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (!((c >= 32 && c <= 254) || c == 9 || c == 10 || c == 13)) return false;
    }
    if (text.size() >= 2) return true;
    auto c = static_cast<unsigned char>(text[0]);
    return c == 0 || c == 9 || c == 10 || c == 13 || (c >= 32 && c <= 126);
}

CEntryRow MakeRow(std::string_view recordType, std::string_view tag, std::string_view payload) {
    CEntryRow row;
    row.m_tag = tag;
    row.m_bytes = std::to_string(payload.size());
    row.m_fromEntry = true;
    ChooseForm(row, recordType, payload);
    if (row.m_type == kTypeHex) return row;
    // A typed form that would not give the same bytes back (junk after a
    // fixed name's terminator, blanks the write trims, a name the checks
    // refuse) would change or refuse a row the user never touched.
    // Any notice or question of the checks means the form does not fit.
    struct CObjects : CUserLink {
        bool m_objected = false;
        void Progress(const std::string&, int) override {}
        void Tell(const CNotice&) override { m_objected = true; }
        CAnswer Ask(const CQuestion&) override {
            m_objected = true;
            return {EAnswer::No, {}};
        }
    } objects;
    auto payloadBack = RowPayload(row, 1, objects);
    if (objects.m_objected || payloadBack != payload) {
        row.m_type = kTypeHex;
        row.m_data = HexDigits(payload);
        row.m_value = 0;
    }
    return row;
}

std::vector<CEntryRow> FillGrid(std::string_view recordType, const CSubRecords& subs) {
    std::vector<CEntryRow> rows;
    rows.reserve(subs.size());
    for (const CSubRecord& s : subs) rows.push_back(MakeRow(recordType, s.m_tag, s.m_payload));
    return rows;
}

std::vector<CEntryRow> FillGrid(std::string_view recordType, const CEntry& entry) {
    CSubRecords subs;
    SplitSubRecords(entry, subs);
    return FillGrid(recordType, subs);
}

CEntryRow NewRow() { return CEntryRow{}; }

}  // namespace vantor
