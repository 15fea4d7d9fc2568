#include "format/Header.h"

#include "format/Entry.h"
#include "format/SubRecord.h"
#include "platform/Files.h"

namespace vantor {

std::optional<std::vector<std::string>> ReadHeaderMasters(const std::string& path) {
    std::string buf;
    if (!platform::ReadWholeFile(path, buf) || buf.size() < 16 || buf.compare(0, 4, "TES3") != 0) return std::nullopt;
    std::size_t size = static_cast<unsigned char>(buf[4]) | static_cast<unsigned char>(buf[5]) << 8 |
                       static_cast<std::size_t>(static_cast<unsigned char>(buf[6])) << 16;
    std::vector<std::string> tags, payloads;
    SplitSubRecords(std::string_view(buf).substr(16, size), tags, payloads);
    std::vector<std::string> masters;
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (tags[i] == "MAST") masters.emplace_back(UpToNul(payloads[i]));
    return masters;
}

}  // namespace vantor
