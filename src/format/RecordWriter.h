#pragma once
// Writes plugin files: records and subrecords in, bytes out. The repair
// plugin is written with it, and so are the generated sample, benchmark and
// fuzzing files and the tests' plugins, which also need exact control over
// size fields, stray bytes and truncation.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::records {

struct CSub {
    std::string m_tag;
    std::string m_payload;
    std::optional<std::uint32_t> m_size;  // overrides the size field written
};

// Little-endian payload pieces.
std::string I32(std::int32_t v);
std::string I16(std::int16_t v);
std::string F32(float v);
// A zero-terminated name payload.
inline std::string Z(const std::string& s) { return s + std::string(1, '\0'); }
// A NUL-padded fixed field, cut to its width.
std::string Fixed(const std::string& s, std::size_t width);

inline CSub Sub(std::string tag, std::string payload) { return {std::move(tag), std::move(payload), std::nullopt}; }
inline CSub Name(const std::string& id) { return Sub("NAME", Z(id)); }
inline CSub Dele() { return Sub("DELE", I32(0)); }

// Subrecord bytes: tag, 4-byte size (or the override), payload.
void AppendSub(std::string& out, std::string_view tag, std::string_view payload);
std::string SubBytes(const CSub& sub);
std::string SubBytes(const std::vector<CSub>& subs);
// A record: tag, data size (or the override), 4 unused bytes, flags, data.
void AppendRecord(std::string& out, std::string_view tag, std::string_view data,
                  std::optional<std::uint32_t> dataSize = std::nullopt, std::uint32_t flags = 0);

// The fields of a TES3 header record.
struct CPluginHeader {
    std::vector<std::string> m_masters{};
    std::vector<std::uint64_t> m_masterSizes{};  // 0 where none is given
    std::uint32_t m_recordCount = 0;
    std::string m_author{};
    std::string m_description{};
    bool m_isMaster = false;
    float m_version = 1.3f;
};
// HEDR (version, file type, author, description, record count), then a MAST
// and DATA pair per master.
std::vector<CSub> HeaderSubRecords(const CPluginHeader& header);
// Where the record count lies in the bytes of the header record.
constexpr std::size_t kHeaderCountOffset = 16 + 8 + 296;

class CRecordWriter {
public:
    // The TES3 header record. Without a record count the header counts the
    // records written after it.
    CRecordWriter& Header(const CPluginHeader& header, bool countRecords = false);
    CRecordWriter& Header(const std::vector<std::string>& masters = {},
                          std::optional<std::uint32_t> recordCount = std::nullopt,
                          const std::vector<std::uint64_t>& masterSizes = {});
    CRecordWriter& Record(const std::string& tag, const std::vector<CSub>& subs,
                          std::optional<std::uint32_t> dataSize = std::nullopt, std::uint32_t flags = 0);
    CRecordWriter& RecordData(const std::string& tag, const std::string& data,
                              std::optional<std::uint32_t> dataSize = std::nullopt, std::uint32_t flags = 0);
    CRecordWriter& Raw(const std::string& bytes);
    CRecordWriter& Truncate(std::size_t length);

    // Offset the next record will be written at.
    std::size_t Size() const { return m_bytes.size(); }
    const std::string& Bytes() const { return m_bytes; }
    // Writes the bytes to a file, replacing it (tests and the generator).
    bool Write(const std::string& path) const;

private:
    std::string m_bytes;
    std::size_t m_countAt = 0;  // where the header's record count is kept up to date, or 0
    std::uint32_t m_records = 0;
};

}  // namespace vantor::records
