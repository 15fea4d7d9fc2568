#pragma once
// One record of one plugin or master: its key, its remaining bytes kept
// opaque, and where it lay in the file as read.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

class CEntry {
public:
    CEntry() = default;
    CEntry(const CEntry&) = default;
    CEntry& operator=(const CEntry&) = default;

    // The ID as stored (it may continue past a NUL: a script ID holds the
    // whole script header) and as compared and shown: up to the first NUL.
    std::string m_id;
    std::string_view IdText() const {
        auto nul = m_id.find('\0');
        return nul == std::string::npos ? std::string_view(m_id) : std::string_view(m_id).substr(0, nul);
    }

    // Data: the record's remaining subrecords exactly as in the file. It is
    // usually a slice of the file buffer shared by every entry of the file,
    // so reading a master costs no copy of its records.
    std::string_view Data() const { return {m_data, m_dataLength}; }
    std::size_t DataLength() const { return m_dataLength; }
    void SetData(std::string bytes);
    // `data` lies in what `owner` keeps alive.
    void SetSharedData(std::shared_ptr<const void> owner, std::string_view data);
    void ClearData();
    // Gives the entry its own copy of its data, releasing the shared buffer.
    void OwnData();
    bool SharesBuffer(const void* owner) const { return m_owner.get() == owner; }

    std::optional<std::string> m_topic;  // INFO only
    // INFO only: the PNAM and NNAM payloads, the response's place in its
    // chain. They are ID subrecords, so not part of the data.
    std::string m_prevInfo, m_nextInfo;
    // Same data, and for a response also the same place in its chain: a
    // plugin that only relinks a master's response has changed it.
    bool SameRecordAs(const CEntry& other) const {
        return Data() == other.Data() && m_prevInfo == other.m_prevInfo && m_nextInfo == other.m_nextInfo;
    }
    std::int32_t m_deleted = 0;
    // Where the record lay in the file as read, its length then (header
    // included), and how much its length on disk has changed since.
    std::int64_t m_offset = 0;
    std::int64_t m_size = 0;
    std::int64_t m_sizeChange = 0;
    // The record had data that the reader dropped because its extraction
    // option was off: the data held here is not the record's.
    bool m_dataDropped = false;
    // The record header's flags (persistent, blocked, ...) as read.
    std::uint32_t m_flags = 0;

private:
    std::shared_ptr<const void> m_owner;
    const char* m_data = nullptr;
    std::size_t m_dataLength = 0;
    bool m_ownsData = false;  // the owner holds this entry's data and nothing else
};

// Text of a byte string up to its first NUL.
inline std::string_view UpToNul(std::string_view bytes) {
    auto nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

}  // namespace vantor
