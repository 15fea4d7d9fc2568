// The record reader. The file is mapped (or read) whole and its records
// are met front to back through a walk of it; each entry's data is a slice
// of the whole file's bytes.
#include <algorithm>
#include <array>
#include <charconv>
#include <new>

#include "format/LittleEndian.h"
#include "format/PluginFile.h"
#include "format/RecordCursor.h"
#include "format/SubRecord.h"

namespace vantor {

namespace {

enum class EKind { Named, Dial, Info, Index, Script, Cell, Land, PathGrid, Skipped, Unknown };

EKind Classify(std::string_view tag) {
    if (IsHeaderRecord(tag)) return EKind::Skipped;
    const CRecordType* type = FindRecordType(tag);
    if (!type) return EKind::Unknown;
    switch (type->m_id) {
        case ERecordId::Name: return EKind::Named;
        case ERecordId::Index: return EKind::Index;
        case ERecordId::Script: return EKind::Script;
        case ERecordId::Cell: return EKind::Cell;
        case ERecordId::Landscape: return EKind::Land;
        case ERecordId::PathGrid: return EKind::PathGrid;
        case ERecordId::Topic: return EKind::Dial;
        case ERecordId::Response: return EKind::Info;
    }
    return EKind::Named;
}

// Low 16 bits of the 32-bit word at `offset`, as a signed number; bytes the
// payload does not have count as zero.
int Signed16At(std::string_view payload, std::size_t offset) { return le::I16(payload, offset); }

void AppendNumber(std::string& out, int n) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}

// A cell's or path grid's ID: "x,y,z name" from the three numbers at the
// start of `grid`, made in `out`.
std::string_view CellId(std::string& out, std::string_view grid, std::string_view name) {
    out.clear();
    AppendNumber(out, Signed16At(grid, 0));
    out += ',';
    AppendNumber(out, Signed16At(grid, 4));
    out += ',';
    AppendNumber(out, Signed16At(grid, 8));
    out += ' ';
    out += name;
    return out;
}

// "1 byte", "45 bytes".
std::string Bytes(std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// Four bytes that read as a record tag of some type: capitals, digits and '_'.
bool TagLike(std::string_view tag) {
    return std::all_of(tag.begin(), tag.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
}

// What one read passed over or found damaged: each kind of problem once,
// where it was first met, with the number of other places like it.
class CReadNotes {
public:
    enum class EProblem { UnknownRecord, NoRecord, HeaderCut, SizePastEnd, IdMissing, DamagedHeader, Count };

    explicit CReadNotes(const std::string& fileName) : m_fileName(fileName) {}

    // `where` names the record (or the bytes) and its offset; `what` says
    // what the reader made of it.
    void Note(EProblem problem, const std::string& where, const std::string& what) {
        CFirst& first = m_first[std::size_t(problem)];
        if (first.m_seen++ > 0) return;
        first.m_text = m_fileName + ": " + where + ": " + what;
        m_order.push_back(problem);
    }
    static std::string Record(std::string_view tag, std::size_t at) {
        return "record " + std::string(tag) + " at offset " + std::to_string(at);
    }

    std::vector<CReadDiagnostic> Diagnostics() const {
        std::vector<CReadDiagnostic> out;
        for (EProblem problem : m_order) {
            const CFirst& first = m_first[std::size_t(problem)];
            std::string text = first.m_text;
            if (first.m_seen > 1)
                text += "; " + std::to_string(first.m_seen - 1) + (first.m_seen == 2 ? " more place" : " more places") +
                        " like it in the file";
            const bool skipped = problem == EProblem::UnknownRecord || problem == EProblem::NoRecord;
            out.push_back({skipped ? CReadDiagnostic::EKind::Skipped : CReadDiagnostic::EKind::Damaged, text});
        }
        return out;
    }

private:
    struct CFirst {
        std::size_t m_seen = 0;
        std::string m_text;
    };
    const std::string& m_fileName;
    std::array<CFirst, std::size_t(EProblem::Count)> m_first;
    std::vector<EProblem> m_order;
};

// The masters and record count of the TES3 header record, whose data
// starts at `dataStart` in the file.
void ReadHeader(std::string_view data, std::size_t dataStart, std::vector<std::string>& masters,
                std::optional<std::uint32_t>& count, std::int64_t& countOffset, CReadNotes& notes) {
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
        if (length > data.size() - p - 8) {
            notes.Note(CReadNotes::EProblem::DamagedHeader, CReadNotes::Record("TES3", dataStart - 16),
                       "its subrecord " + std::string(tag) + " at offset " + std::to_string(dataStart + p) +
                           " runs past the end of the header; the masters and the record count after it are not read");
            break;
        }
        p += 8 + length;
    }
}

}  // namespace

std::string WhyNotAPlugin(std::string_view start, std::size_t fileSize) {
    constexpr std::string_view kTag = "TES3";
    if (fileSize == 0) return "the file is empty";
    if (!kTag.starts_with(start.substr(0, 4))) return "it does not begin with a TES3 header record";
    if (fileSize < 16) return "it ends inside its TES3 header record, after " + Bytes(fileSize);
    const std::size_t size = le::U24(start, 4);
    if (size > fileSize - 16)
        return "its TES3 header record claims " + Bytes(size) + " of data, but the file holds " +
               Bytes(fileSize - 16) + " after the record's own header";
    return {};
}

std::string WhyNotAPlugin(std::string_view buf) { return WhyNotAPlugin(buf.substr(0, 16), buf.size()); }

bool CPluginFile::ReadRecords(const std::atomic<std::int32_t>& stop, const CExtractOpts& opts) {
    // A file that changed while it was walked is read again into memory,
    // where it cannot change under the entries made of it.
    for (const bool held : {false, true}) {
        m_diagnostics.clear();
        m_headerMasters.clear();
        m_headerRecordCount.reset();
        m_headerCountOffset = -1;
        m_recordsInFile = -1;
        for (auto& table : m_tables) table.clear();
        m_removed.clear();
        m_rewritten.clear();
        m_entries.Clear();
        try {
            platform::CFileWalk walk(m_readFile);
            if (!walk.Start(held)) {
                m_diagnostics = {{CReadDiagnostic::EKind::ReadFailed,
                                  m_fileName + ": " +
                                      (platform::LastErrorMessage().empty() ? "read failed"
                                                                            : platform::LastErrorMessage())}};
                return false;
            }
            if (!ParseBuffer(walk, stop, opts)) return false;
            if (walk.Finish() || held) return true;
        } catch (const std::bad_alloc&) {
            m_diagnostics = {{CReadDiagnostic::EKind::Exception, "Not enough memory to read " + m_fileName + "."}};
            return false;
        } catch (const std::exception& e) {
            m_diagnostics = {{CReadDiagnostic::EKind::Exception, e.what()}};
            return false;
        }
    }
    return false;
}

bool CPluginFile::ParseBuffer(platform::CFileWalk& walk, const std::atomic<std::int32_t>& stop,
                              const CExtractOpts& opts) {
    const std::shared_ptr<const platform::CFileBytes>& buffer = walk.Bytes();
    // The whole file, for what is rare (a header, damage): the records
    // themselves are met through the walk.
    const std::string_view buf = buffer->View();
    const std::size_t n = buf.size();
    std::size_t keptBytes = 0;

    // Anything else (a text, an archive, another game's file, a file cut
    // inside its header) is refused whole rather than scanned for records
    // that happen to be in it.
    if (const std::string why = WhyNotAPlugin(walk.At(0, 16), n); !why.empty()) {
        m_diagnostics = {{CReadDiagnostic::EKind::NotAPlugin, m_fileName + ": not a TES3 plugin or master: " + why}};
        return false;
    }
    CReadNotes notes(m_fileName);
    const std::size_t headerSize = le::U24(walk.At(0, 16), 4);
    ReadHeader(walk.At(16, headerSize), 16, m_headerMasters, m_headerRecordCount, m_headerCountOffset, notes);

    // Moves on from bytes that are no record to the next record tag at or
    // after `from`, or to the end of the file when no record follows.
    auto passOver = [&](std::size_t from) {
        const std::size_t next = NextRecordTag(buf, from);
        return n - next >= 4 ? next : n;
    };
    auto upTo = [&](std::size_t next) { return next < n ? "up to the next record" : "up to the end of the file"; };

    // The last topic's ID text, and a scratch for IDs made from the data
    // (cells, landscapes, path grids, indexes), reused from record to record.
    CEntryText topic;
    std::string made;
    std::size_t pos = 16 + headerSize;
    // Records after the header, and whether the file was walked as whole
    // records from end to end.
    std::int64_t records = 0;
    bool whole = true;
    bool stopped = false;
    while (pos < n) {
        // A stop ends the reading after the record read last (the header is
        // one too).
        if (stop.load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        const std::size_t tagStart = pos;
        // The record's header (fewer bytes at the end of the file); the tag
        // is copied, since the next piece met may take the header's place.
        const std::string_view head = walk.At(pos, 16);
        std::array<char, 4> tagBytes{};
        const std::size_t tagSize = std::min<std::size_t>(head.size(), 4);
        std::copy_n(head.data(), tagSize, tagBytes.data());
        const std::string_view tag(tagBytes.data(), tagSize);
        const EKind kind = n - pos < 4 ? EKind::Unknown : Classify(tag);
        pos += 4;

        if (kind == EKind::Unknown) {
            // Resynchronise on the next record tag after this position.
            whole = false;
            pos = passOver(tagStart + 1);
            if (tag.size() == 4 && TagLike(tag))
                notes.Note(CReadNotes::EProblem::UnknownRecord, CReadNotes::Record(tag, tagStart),
                           "unknown record type, " + Bytes(pos - tagStart) + " passed over " + upTo(pos));
            else
                notes.Note(CReadNotes::EProblem::NoRecord, "offset " + std::to_string(tagStart),
                           Bytes(pos - tagStart) + " that are no record passed over " + upTo(pos));
            continue;
        }
        if (n - pos < 12) {
            notes.Note(CReadNotes::EProblem::HeaderCut, CReadNotes::Record(tag, tagStart),
                       "its header is cut short by the end of the file");
            whole = false;
            break;
        }
        const std::uint32_t dataSize = le::U24(head, 4);
        const std::uint32_t flags = le::U32(head, 12);
        const std::size_t dataStart = pos + 12;
        const std::size_t dataEnd = dataStart + dataSize;
        if (dataEnd > n) {
            whole = false;
            pos = passOver(tagStart + 1);
            notes.Note(CReadNotes::EProblem::SizePastEnd, CReadNotes::Record(tag, tagStart),
                       "its size runs past the end of the file; " + Bytes(pos - tagStart) + " passed over " +
                           upTo(pos));
            continue;
        }
        // The header's record count counts every record after the header,
        // of whatever type.
        ++records;
        if (kind == EKind::Skipped) {
            // Passed over by its size, whatever its data begins with: a start
            // script whose data begins with zero bytes hides no record after it.
            pos = dataStart + dataSize;
        } else {
            const std::string_view record = walk.At(dataStart, dataSize);
            CSubRecordCursor cursor(record, CSubRecordCursor::ELength::LowByte);
            std::string_view id, prevInfo, nextInfo;
            std::string_view payload, nextTag;
            bool ok = true;
            std::int32_t deleted = -1;  // -1: decided by the data below
            switch (kind) {
                case EKind::Named:
                case EKind::Dial:
                    ok = cursor.ByName("NAME", payload);
                    id = payload;
                    break;
                case EKind::Info:
                    ok = cursor.ByName("INAM", payload);
                    id = payload;
                    if (ok && cursor.ByName("PNAM", payload)) {
                        prevInfo = payload;
                        ok = cursor.ByName("NNAM", payload);
                        nextInfo = payload;
                    } else {
                        ok = false;
                    }
                    break;
                case EKind::Index:
                    ok = cursor.ByName("INDX", payload);
                    made = "Index " + std::to_string(payload.empty() ? 0 : int(static_cast<std::int8_t>(payload[0])));
                    id = made;
                    break;
                case EKind::Script:
                    ok = cursor.ByName("SCHD", payload);
                    id = payload;
                    break;
                case EKind::Cell: {
                    std::string_view name;
                    ok = cursor.ByName("NAME", name) && cursor.Next(nextTag, payload);
                    deleted = 0;
                    if (ok && nextTag == "DELE") {
                        deleted = 1;
                        ok = cursor.Next(nextTag, payload);
                    }
                    if (ok) id = CellId(made, payload, name);
                    break;
                }
                case EKind::Land:
                    ok = cursor.ByName("INTV", payload);
                    made.clear();
                    AppendNumber(made, Signed16At(payload, 0));
                    made += ',';
                    AppendNumber(made, Signed16At(payload, 4));
                    id = made;
                    break;
                case EKind::PathGrid: {
                    std::string_view name;
                    ok = cursor.Next(nextTag, payload) && cursor.ByName("NAME", name);
                    if (ok) id = CellId(made, payload, name);
                    break;
                }
                default:
                    break;
            }
            if (!ok) {
                // The ID is not inside this record: pass the record over whole.
                notes.Note(CReadNotes::EProblem::IdMissing, CReadNotes::Record(tag, tagStart),
                           "its ID subrecord is missing or cut short; the record is passed over");
                pos = dataEnd;
            } else {
                CEntry* entry = m_entries.New();
                entry->m_id = m_entries.Keep(id);
                entry->m_offset = std::int64_t(tagStart);
                entry->m_flags = flags;
                entry->m_size = std::int64_t(dataSize) + 16;
                entry->m_sizeChange = 0;
                const std::string_view data = record.substr(cursor.Position());
                if (deleted < 0) deleted = (IsDeletedData(data) || cursor.SkippedDele()) ? 1 : 0;
                entry->m_deleted = deleted;
                if (kind == EKind::Dial) topic = CEntryText::Kept(entry->IdText());
                if (kind == EKind::Info) {
                    CResponsePlace* place = m_entries.NewPlace();
                    place->m_topic = topic;
                    place->m_prevInfo = m_entries.Keep(prevInfo);
                    place->m_nextInfo = m_entries.Keep(nextInfo);
                    entry->SetPlace(place);
                }
                const bool keep = (kind == EKind::Info && opts.m_dialogText) || (kind == EKind::Cell && opts.m_cellData) ||
                                  (kind == EKind::Land && opts.m_landData) ||
                                  (kind == EKind::PathGrid && opts.m_pathGridData) ||
                                  (kind != EKind::Info && kind != EKind::Cell && kind != EKind::Land && kind != EKind::PathGrid);
                entry->m_dataDropped = !keep && !data.empty();
                if (keep && !data.empty()) {
                    // The print from the bytes in hand, not from the mapping,
                    // whose pages are then touched only if the data is read.
                    entry->SetSharedData(buffer, walk.Kept(data), CEntry::PrintOf(data));
                    keptBytes += data.size();
                }
                m_tables[std::size_t(TagIndex(tag))].emplace_back(entry);
                pos = dataEnd;
            }
        }
    }
    if (whole && !stopped && pos == n) m_recordsInFile = records;
    m_diagnostics = notes.Diagnostics();

    // When most of the file was dropped (landscape or cell data off), the
    // kept slices are copied out so the whole buffer need not stay alive.
    if (keptBytes < buf.size() / 2) {
        for (auto& table : m_tables)
            for (auto& entry : table)
                if (entry->SharesBuffer(buffer.get())) entry->OwnData();
    }
    return true;
}

}  // namespace vantor
