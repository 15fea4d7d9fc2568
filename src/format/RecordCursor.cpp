#include "format/RecordCursor.h"

#include <algorithm>
#include <array>

#include "format/LittleEndian.h"
#include "format/PluginFile.h"

namespace vantor {

namespace {

// The bytes record tags are made of: capitals, '_' (NPC_) and '3' (TES3).
constexpr std::array<bool, 256> TagBytes() {
    std::array<bool, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c) table[std::size_t(c)] = true;
    table[std::size_t('_')] = true;
    table[std::size_t('3')] = true;
    return table;
}
constexpr std::array<bool, 256> kTagByte = TagBytes();

bool TagByte(char c) { return kTagByte[static_cast<unsigned char>(c)]; }

}  // namespace

bool IsRecordTag(std::string_view tag) {
    return FindRecordType(tag) || IsHeaderRecord(tag);
}

std::size_t NextRecordTag(std::string_view bytes, std::size_t from) {
    const std::size_t n = bytes.size();
    std::size_t p = from;
    // Every tag starting at p..p+3 holds the byte at p+3: when that byte is
    // no tag byte, none of the four positions can start a tag. Junk of
    // zeros is passed over four bytes at a time.
    while (p + 4 <= n) {
        if (!TagByte(bytes[p + 3])) {
            p += 4;
        } else if (!TagByte(bytes[p + 2])) {
            p += 3;
        } else if (!TagByte(bytes[p + 1])) {
            p += 2;
        } else if (!TagByte(bytes[p]) || !IsRecordTag(bytes.substr(p, 4))) {
            p += 1;
        } else {
            return p;
        }
    }
    // The skips may pass the last positions; the scan one byte at a time
    // would stop at the first of them.
    return std::max(from, n < 3 ? 0 : n - 3);
}

bool HoldsDeleSubRecord(std::string_view bytes) {
    for (std::size_t p = 0; p + 8 <= bytes.size();) {
        if (bytes.substr(p, 4) == "DELE") return true;
        const std::size_t length = le::U24(bytes, p + 4);
        if (length > bytes.size() - p - 8) break;
        p += 8 + length;
    }
    return false;
}

bool CSubRecordCursor::ByName(std::string_view tag, std::string_view& payload) {
    std::size_t p = m_pos;
    while (p + 8 <= m_data.size() && m_data.substr(p, 4) != tag) ++p;
    if (p + 8 > m_data.size()) return false;
    if (p != m_pos && HoldsDeleSubRecord(m_data.substr(m_pos, p - m_pos))) m_skippedDele = true;
    return Take(p, payload);
}

bool CSubRecordCursor::Next(std::string_view& tag, std::string_view& payload) {
    if (m_pos + 8 > m_data.size()) return false;
    tag = m_data.substr(m_pos, 4);
    return Take(m_pos, payload);
}

bool CSubRecordCursor::Take(std::size_t at, std::string_view& payload) {
    const std::size_t length = le::Get(m_data, at + 4, std::size_t(m_length));
    const std::size_t start = at + 8;
    if (length > m_data.size() - start) return false;
    payload = m_data.substr(start, length);
    m_pos = start + length;
    return true;
}

}  // namespace vantor
