#include "format/SubRecord.h"

#include "format/LittleEndian.h"

namespace vantor {

bool SplitSubRecords(std::string_view data, CSubRecords& out) {
    if (data.size() < 4) return false;
    std::size_t offset = 0;
    while (offset < data.size()) {
        std::string tag(data.substr(offset, 4));
        const std::size_t length = le::U24(data, offset + 4);
        std::size_t start = offset + 8;
        std::string payload = start < data.size() ? std::string(data.substr(start, length)) : std::string();
        out.push_back({std::move(tag), std::move(payload)});
        offset = start + length;
    }
    return true;
}

bool IsDeletedData(std::string_view data) {
    std::string_view probe = data.size() < 12 ? data.substr(0, 4) : data.substr(data.size() - 12, 4);
    return probe == "DELE";
}

bool SameBytes(std::string_view a, std::string_view b) { return a == b; }

std::string JoinSubRecords(const CSubRecords& subs) {
    std::string out;
    for (const CSubRecord& s : subs) {
        out.append(s.m_tag);
        le::PutU32(out, static_cast<std::uint32_t>(s.m_payload.size()));
        out.append(s.m_payload);
    }
    return out;
}

}  // namespace vantor
