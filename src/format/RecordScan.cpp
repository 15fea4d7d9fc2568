#include "format/RecordScan.h"

#include <algorithm>
#include <array>

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
    return CPluginFile::TagIndex(tag) >= 0 || tag == "TES3" || tag == "MAST" || tag == "SSCR";
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

}  // namespace vantor
