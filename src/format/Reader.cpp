// The record reader. The file is read whole into one buffer and parsed from
// there; each entry's data is a slice of that buffer.
#include <cstdio>
#include <new>

#include "format/LittleEndian.h"
#include "format/PluginFile.h"
#include "format/RecordCursor.h"
#include "format/SubRecord.h"

namespace vantor {

namespace {

enum class EKind { Named, Dial, Info, Index, Script, Cell, Land, PathGrid, Skipped, Unknown };

EKind Classify(std::string_view tag) {
    if (tag == "TES3" || tag == "MAST" || tag == "SSCR") return EKind::Skipped;
    int index = CPluginFile::TagIndex(tag);
    if (index < 0) return EKind::Unknown;
    if (tag == "DIAL") return EKind::Dial;
    if (tag == "INFO") return EKind::Info;
    if (tag == "MGEF" || tag == "SKIL") return EKind::Index;
    if (tag == "SCPT") return EKind::Script;
    if (tag == "CELL") return EKind::Cell;
    if (tag == "LAND") return EKind::Land;
    if (tag == "PGRD") return EKind::PathGrid;
    return EKind::Named;
}

// Low 16 bits of the 32-bit word at `offset`, as a signed number; bytes the
// payload does not have count as zero.
int Signed16At(std::string_view payload, std::size_t offset) { return le::I16(payload, offset); }

// The masters and record count of the TES3 header record, whose data
// starts at `dataStart` in the file.
void ReadHeader(std::string_view data, std::size_t dataStart, std::vector<std::string>& masters,
                std::optional<std::uint32_t>& count, std::int64_t& countOffset) {
    for (std::size_t p = 0; p + 8 <= data.size();) {
        const std::string_view tag = data.substr(p, 4);
        const std::size_t length = le::U24(data, p + 4);
        const std::string_view payload = data.substr(p + 8, std::min(length, data.size() - p - 8));
        if (tag == "MAST") masters.emplace_back(UpToNul(payload));
        // HEDR: version, file type, author (32), description (256), record count.
        if (tag == "HEDR" && payload.size() >= 300 && !count) {
            count = le::U32(payload, 296);
            countOffset = std::int64_t(dataStart + p + 8 + 296);
        }
        if (length > data.size() - p - 8) break;
        p += 8 + length;
    }
}

}  // namespace

bool CPluginFile::ReadRecords(const std::atomic<std::int32_t>& stop, const CExtractOpts& opts) {
    m_diagnostic = {};
    m_headerMasters.clear();
    m_headerRecordCount.reset();
    m_headerCountOffset = -1;
    m_recordsInFile = -1;
    try {
        return ParseBuffer(stop, opts);
    } catch (const std::bad_alloc&) {
        m_diagnostic = {CReadDiagnostic::EKind::Exception, "Not enough memory to read " + m_fileName + "."};
    } catch (const std::exception& e) {
        m_diagnostic = {CReadDiagnostic::EKind::Exception, e.what()};
    }
    return false;
}

bool CPluginFile::ParseBuffer(const std::atomic<std::int32_t>& stop, const CExtractOpts& opts) {
    auto owned = std::make_shared<std::string>();
    if (!m_readFile.ReadAll(*owned)) {
        m_diagnostic = {CReadDiagnostic::EKind::ReadFailed,
                        m_fileName + ": " + (platform::LastErrorMessage().empty() ? "read failed" : platform::LastErrorMessage())};
        return false;
    }
    std::shared_ptr<const std::string> buffer = owned;
    const std::string& buf = *buffer;
    const std::size_t n = buf.size();
    std::size_t keptBytes = 0;

    auto damaged = [&](std::string_view tag, std::size_t at, const char* what) {
        if (m_diagnostic.m_kind != CReadDiagnostic::EKind::None) return;
        char where[64];
        std::snprintf(where, sizeof where, " at offset %zu", at);
        m_diagnostic = {CReadDiagnostic::EKind::Damaged,
                        m_fileName + ": record " + std::string(tag) + where + ": " + what};
    };

    std::string topic;
    std::size_t pos = 0;
    // Records after the header, and whether the file was walked as whole
    // records from end to end.
    std::int64_t records = 0;
    bool whole = true;
    while (n - pos >= 4) {
        const std::size_t tagStart = pos;
        const std::string_view tag = std::string_view(buf).substr(pos, 4);
        pos += 4;
        const EKind kind = Classify(tag);

        if (kind == EKind::Unknown) {
            // Resynchronise on the next record tag after this position.
            whole = false;
            pos = NextRecordTag(buf, tagStart + 1);
        } else if (kind == EKind::Skipped) {
            if (n - pos < 4) {
                whole = false;
                break;
            }
            const std::uint32_t dataSize = le::U24(buf, pos);
            if (tagStart == 0 && tag == "TES3")
                ReadHeader(std::string_view(buf).substr(std::min(n, std::size_t(16)), dataSize), 16, m_headerMasters,
                           m_headerRecordCount, m_headerCountOffset);
            else
                ++records;
            pos = std::min(n, pos + 12);
            // The header is passed over from its first non-zero byte on.
            while (pos < n && buf[pos] == 0) ++pos;
            if (pos >= n) {
                whole = false;
                break;
            }
            pos = std::min(n, pos + 1 + dataSize - 1);
            if (pos != tagStart + 16 + dataSize) whole = false;
        } else {
            if (n - pos < 12) {
                damaged(tag, tagStart, "header cut short by the end of the file");
                whole = false;
                break;
            }
            const std::uint32_t dataSize = le::U24(buf, pos);
            const std::size_t dataStart = pos + 12;
            const std::size_t dataEnd = dataStart + dataSize;
            if (dataEnd > n) {
                damaged(tag, tagStart, "size runs past the end of the file");
                whole = false;
                pos = tagStart + 1;
                continue;
            }

            CSubRecordCursor cursor(std::string_view(buf).substr(dataStart, dataSize),
                                    CSubRecordCursor::ELength::LowByte);
            std::string id, prevInfo, nextInfo;
            std::string_view payload, nextTag;
            bool ok = true;
            std::int32_t deleted = -1;  // -1: decided by the data below
            switch (kind) {
                case EKind::Named:
                case EKind::Dial:
                    ok = cursor.ByName("NAME", payload);
                    id.assign(payload);
                    break;
                case EKind::Info:
                    ok = cursor.ByName("INAM", payload);
                    id.assign(payload);
                    if (ok && cursor.ByName("PNAM", payload)) {
                        prevInfo.assign(payload);
                        ok = cursor.ByName("NNAM", payload);
                        nextInfo.assign(payload);
                    } else {
                        ok = false;
                    }
                    break;
                case EKind::Index:
                    ok = cursor.ByName("INDX", payload);
                    id = "Index " + std::to_string(payload.empty() ? 0 : int(static_cast<std::int8_t>(payload[0])));
                    break;
                case EKind::Script:
                    ok = cursor.ByName("SCHD", payload);
                    id.assign(payload);
                    break;
                case EKind::Cell: {
                    std::string_view name;
                    ok = cursor.ByName("NAME", name) && cursor.Next(nextTag, payload);
                    deleted = 0;
                    if (ok && nextTag == "DELE") {
                        deleted = 1;
                        ok = cursor.Next(nextTag, payload);
                    }
                    if (ok)
                        id = std::to_string(Signed16At(payload, 0)) + "," + std::to_string(Signed16At(payload, 4)) + "," +
                             std::to_string(Signed16At(payload, 8)) + " " + std::string(name);
                    break;
                }
                case EKind::Land:
                    ok = cursor.ByName("INTV", payload);
                    id = std::to_string(Signed16At(payload, 0)) + "," + std::to_string(Signed16At(payload, 4));
                    break;
                case EKind::PathGrid: {
                    std::string_view name;
                    ok = cursor.Next(nextTag, payload) && cursor.ByName("NAME", name);
                    if (ok)
                        id = std::to_string(Signed16At(payload, 0)) + "," + std::to_string(Signed16At(payload, 4)) + "," +
                             std::to_string(Signed16At(payload, 8)) + " " + std::string(name);
                    break;
                }
                default:
                    break;
            }
            ++records;
            if (!ok) {
                // The ID is not inside this record: pass the record over whole.
                damaged(tag, tagStart, "ID subrecord missing or cut short; record skipped");
                pos = dataEnd;
            } else {
                auto entry = std::make_unique<CEntry>();
                entry->m_id = std::move(id);
                entry->m_offset = std::int64_t(tagStart);
                entry->m_size = std::int64_t(dataSize) + 16;
                entry->m_sizeChange = 0;
                const std::size_t dataOffset = dataStart + cursor.Position();
                const std::string_view data = std::string_view(buf).substr(dataOffset, dataEnd - dataOffset);
                if (deleted < 0) deleted = (IsDeletedData(data) || cursor.SkippedDele()) ? 1 : 0;
                entry->m_deleted = deleted;
                if (kind == EKind::Dial) topic.assign(UpToNul(entry->m_id));
                if (kind == EKind::Info) {
                    entry->m_topic = topic;
                    entry->m_prevInfo = std::move(prevInfo);
                    entry->m_nextInfo = std::move(nextInfo);
                }
                const bool keep = (kind == EKind::Info && opts.m_dialogText) || (kind == EKind::Cell && opts.m_cellData) ||
                                  (kind == EKind::Land && opts.m_landData) ||
                                  (kind == EKind::PathGrid && opts.m_pathGridData) ||
                                  (kind != EKind::Info && kind != EKind::Cell && kind != EKind::Land && kind != EKind::PathGrid);
                entry->m_dataDropped = !keep && !data.empty();
                if (keep && !data.empty()) {
                    entry->SetSharedData(buffer, dataOffset, data.size());
                    keptBytes += data.size();
                }
                m_tables[std::size_t(TagIndex(tag))].push_back(std::move(entry));
                pos = dataEnd;
            }
        }
        if (stop.load(std::memory_order_relaxed)) {
            whole = false;
            break;
        }
    }
    if (whole && pos == n) m_recordsInFile = records;

    // When most of the file was dropped (landscape or cell data off), the
    // kept slices are copied out so the whole buffer need not stay alive.
    if (keptBytes < buf.size() / 2) {
        for (auto& table : m_tables)
            for (auto& entry : table)
                if (entry->SharesBuffer(&buf)) entry->OwnData();
    }
    return true;
}

}  // namespace vantor
