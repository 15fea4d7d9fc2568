// The entry editor meets whatever a plugin holds and whatever a user types:
// every entry shown in the grid must write back to its own bytes without a
// question, and typed rows must either be refused with a message or turn
// into subrecords of the sizes their rows name.
#include <cstdint>
#include <vector>

#include "FuzzKit.h"
#include "editor/EntryRows.h"
#include "editor/WriteBack.h"
#include "format/LittleEndian.h"
#include "format/SubRecord.h"

using namespace vantor;
using fuzz::Check;

namespace {

// The grid of one entry's data, written back unchanged.
void RoundTrip(std::string_view recordType, std::string_view data) {
    CSubRecords subs;
    if (!SplitSubRecords(data, subs)) return;
    auto rows = FillGrid(recordType, subs);
    Check(rows.size() == subs.size());
    std::vector<CMessage> asked;
    CWriteBack back = WriteBackRows(rows, [&](const CMessage& m) {
        asked.push_back(m);
        return EAnswer::No;
    });
    std::size_t firstShortTag = 0;
    while (firstShortTag < subs.size() && subs[firstShortTag].m_tag.size() == 4) ++firstShortTag;
    if (firstShortTag == subs.size()) {
        Check(back.m_ok && asked.empty());
        Check(JoinSubRecords(back.m_subRecords) == JoinSubRecords(subs));
    } else {
        // Only a tag cut short by the end of the data is refused.
        Check(!back.m_ok && back.m_row == int(firstShortTag) + 1);
        Check(asked.size() == 1 && asked[0].m_text == "ID Length Invalid.");
    }
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Rows typed by hand: one per line, cells ID, Data, Type, Bytes and the row
// value separated by tabs. Questions are answered from the value's bits.
void TypedRows(std::string_view text) {
    std::vector<CEntryRow> rows;
    for (auto line : Split(text, '\n')) {
        auto cells = Split(line, '\t');
        // A size may be up to 16 MB; a few such rows are all one run needs.
        if (cells.size() < 4 || cells[3].size() > 6) continue;
        CEntryRow row;
        row.m_tag = cells[0];
        row.m_data = cells[1];
        row.m_type = cells[2];
        row.m_bytes = cells[3];
        if (cells.size() > 4) row.m_value = static_cast<std::int32_t>(std::strtol(std::string(cells[4]).c_str(), nullptr, 10));
        rows.push_back(std::move(row));
        if (rows.size() == 16) break;
    }
    std::size_t questions = 0, refusals = 0;
    std::uint32_t answers = static_cast<std::uint32_t>(text.size());
    CWriteBack back = WriteBackRows(rows, [&](const CMessage& m) {
        if (m.m_buttons == EButtons::Ok) {
            ++refusals;
            return EAnswer::Ok;
        }
        ++questions;
        return (answers >> (questions % 32)) & 1 ? EAnswer::Yes : EAnswer::No;
    });
    if (!back.m_ok) {
        Check(back.m_row >= 1 && std::size_t(back.m_row) <= rows.size());
        Check(refusals <= 1);
        return;
    }
    Check(refusals == 0 && back.m_subRecords.size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CSubRecord& written = back.m_subRecords[i];
        Check(written.m_tag.size() == 4);
        std::string type = rows[i].m_type;
        for (char& c : type) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        const std::size_t bytes = std::strtoul(rows[i].m_bytes.c_str(), nullptr, 10);
        if (type == "DEC" || type == "FIXED" || type == "MIXED") Check(written.m_payload.size() == bytes);
        if (type == "HEX") Check(written.m_payload.size() == (rows[i].m_data.size() + 1) / 2);
        // Whatever was written shows again as a row that writes it back.
        CEntryRow again = MakeRow("NPC_", written.m_tag, written.m_payload);
        auto payload = RowPayload(again, 1, [](const CMessage&) -> EAnswer { std::abort(); });
        Check(payload && *payload == written.m_payload);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(bytes), size);

    // As a plugin: each record's data under its own tag; as one entry's data
    // under a type whose rules differ.
    std::size_t at = 0;
    while (at + 16 <= input.size()) {
        const std::string_view tag = input.substr(at, 4);
        const std::uint32_t length = le::U24(input, at + 4);
        RoundTrip(tag, input.substr(at + 16, length));
        at += 16 + std::size_t(length);
    }
    for (std::string_view type : {"INFO", "LTEX", "NPC_"}) RoundTrip(type, input);

    TypedRows(input);
    return 0;
}
