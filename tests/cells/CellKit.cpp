#include "CellKit.h"

#include <atomic>
#include <map>

#include "fixtures/PluginBuilder.h"

namespace vantor::cells::testing {

std::unique_ptr<CPluginFile> Load(const std::string& folder, const std::string& name) {
    auto file = std::make_unique<CPluginFile>();
    std::atomic<std::int32_t> stop{0};
    if (!file->Open(name, folder) || !file->ReadRecords(stop, CExtractOpts::All())) return nullptr;
    file->Close();
    return file;
}

std::string Apply(const std::string& bytes, const CPluginCells& result) {
    std::map<std::int32_t, const CCellClean*> byOffset;
    for (const auto& c : result.m_cells) byOffset[c.m_entry->m_offset] = &c;
    std::string out;
    std::size_t pos = 0;
    while (pos + 16 <= bytes.size()) {
        const std::size_t size = std::size_t(std::uint8_t(bytes[pos + 4])) | std::size_t(std::uint8_t(bytes[pos + 5])) << 8 |
                                 std::size_t(std::uint8_t(bytes[pos + 6])) << 16;
        const std::size_t end = std::min(bytes.size(), pos + 16 + size);
        auto it = byOffset.find(std::int32_t(pos));
        if (it == byOffset.end()) {
            out.append(bytes, pos, end - pos);
        } else if (!it->second->m_junk) {
            // The entry's data is the record's tail; what precedes it (NAME, DATA) stays.
            const std::size_t idBytes = size - it->second->m_entry->DataLength();
            const std::string data = it->second->m_data;
            out.append(bytes, pos, 4);
            out += fixtures::I32(std::int32_t(idBytes + data.size()));
            out.append(bytes, pos + 8, 8 + idBytes);
            out += data;
        }
        pos = end;
    }
    out.append(bytes, pos, std::string::npos);
    return out;
}

std::string Sub(const std::string& tag, const std::string& payload) {
    return fixtures::SubBytes(fixtures::Sub(tag, payload));
}

}  // namespace vantor::cells::testing
