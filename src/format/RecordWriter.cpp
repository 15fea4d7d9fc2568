#include "format/RecordWriter.h"

#include <fstream>

#include "format/LittleEndian.h"
#include "platform/Files.h"

namespace vantor::records {

std::string I32(std::int32_t v) {
    std::string s;
    le::PutI32(s, v);
    return s;
}

std::string I16(std::int16_t v) {
    std::string s;
    le::PutI16(s, v);
    return s;
}

std::string F32(float v) {
    std::string s;
    le::PutF32(s, v);
    return s;
}

std::string Fixed(const std::string& s, std::size_t width) {
    std::string out = s.substr(0, width);
    out.resize(width, '\0');
    return out;
}

void AppendSub(std::string& out, std::string_view tag, std::string_view payload) {
    out.append(tag);
    le::PutU32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
}

std::string SubBytes(const CSub& sub) {
    std::string out = sub.m_tag;
    le::PutU32(out, sub.m_size.value_or(static_cast<std::uint32_t>(sub.m_payload.size())));
    return out + sub.m_payload;
}

std::string SubBytes(const std::vector<CSub>& subs) {
    std::string out;
    for (const auto& s : subs) out += SubBytes(s);
    return out;
}

void AppendRecord(std::string& out, std::string_view tag, std::string_view data, std::optional<std::uint32_t> dataSize,
                  std::uint32_t flags) {
    out.append(tag.substr(0, 4));
    le::PutU32(out, dataSize.value_or(static_cast<std::uint32_t>(data.size())));
    le::PutU32(out, 0);
    le::PutU32(out, flags);
    out.append(data);
}

std::vector<CSub> HeaderSubRecords(const CPluginHeader& h) {
    std::string hedr = F32(h.m_version) + I32(h.m_isMaster ? 1 : 0) + Fixed(h.m_author, 32) +
                       Fixed(h.m_description, 256) + I32(static_cast<std::int32_t>(h.m_recordCount));
    std::vector<CSub> subs{Sub("HEDR", hedr)};
    for (std::size_t i = 0; i < h.m_masters.size(); ++i) {
        const std::uint64_t size = i < h.m_masterSizes.size() ? h.m_masterSizes[i] : 0;
        std::string data;
        le::PutU64(data, size);
        subs.push_back(Sub("MAST", Z(h.m_masters[i])));
        subs.push_back(Sub("DATA", data));
    }
    return subs;
}

CRecordWriter& CRecordWriter::Header(const CPluginHeader& header, bool countRecords) {
    const std::size_t at = m_bytes.size();
    m_countAt = 0;
    Record("TES3", HeaderSubRecords(header));
    m_records = 0;
    if (countRecords) m_countAt = at + kHeaderCountOffset;
    return *this;
}

CRecordWriter& CRecordWriter::Header(const std::vector<std::string>& masters, std::optional<std::uint32_t> recordCount,
                                     const std::vector<std::uint64_t>& masterSizes) {
    return Header(CPluginHeader{.m_masters = masters,
                                .m_masterSizes = masterSizes,
                                .m_recordCount = recordCount.value_or(0),
                                .m_author = "Vantor"},
                  !recordCount);
}

CRecordWriter& CRecordWriter::Record(const std::string& tag, const std::vector<CSub>& subs,
                                     std::optional<std::uint32_t> dataSize, std::uint32_t flags) {
    return RecordData(tag, SubBytes(subs), dataSize, flags);
}

CRecordWriter& CRecordWriter::RecordData(const std::string& tag, const std::string& data,
                                         std::optional<std::uint32_t> dataSize, std::uint32_t flags) {
    AppendRecord(m_bytes, tag, data, dataSize, flags);
    if (m_countAt) le::SetU32(m_bytes, m_countAt, ++m_records);
    return *this;
}

CRecordWriter& CRecordWriter::Raw(const std::string& bytes) {
    m_bytes += bytes;
    return *this;
}

CRecordWriter& CRecordWriter::Truncate(std::size_t length) {
    if (length < m_bytes.size()) m_bytes.resize(length);
    return *this;
}

bool CRecordWriter::Write(const std::string& path) const {
    std::ofstream out(platform::FsPath(path), std::ios::binary | std::ios::trunc);
    out.write(m_bytes.data(), std::streamsize(m_bytes.size()));
    return bool(out);
}

}  // namespace vantor::records
