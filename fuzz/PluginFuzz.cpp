// libFuzzer target for the reader, the dialogue merge, the entry editor and
// cell cleaning: each takes every input and checks, beyond "no crash, no
// leak", what its comment says. A failed check aborts; the trace names it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "cells/CellClean.h"
#include "cells/CellLayout.h"
#include "dialogrepair/DialogMerge.h"
#include "editor/EntryRows.h"
#include "editor/WriteBack.h"
#include "fixtures/PluginBuilder.h"
#include "format/LittleEndian.h"
#include "format/ScanReference.h"
#include "format/SubRecord.h"

namespace {

using namespace vantor;

void Check(bool ok) {
    if (!ok) std::abort();
}

// Memory file `slot` (0 or 1) holding `bytes`, read through /proc/self/fd as any file.
int InMemory(int slot, std::string_view bytes) {
    static const int fds[2] = {memfd_create("vantor-fuzz-0", 0), memfd_create("vantor-fuzz-1", 0)};
    Check(fds[slot] >= 0 && ftruncate(fds[slot], 0) == 0 &&
          (bytes.empty() || pwrite(fds[slot], bytes.data(), bytes.size(), 0) == ssize_t(bytes.size())));
    return fds[slot];
}

// Nothing can fail to read from memory: false there would be a false report.
std::unique_ptr<CPluginFile> Read(int fd, const CExtractOpts& opts, std::int32_t stop = 0) {
    auto file = fixtures::ReadPluginAt("/proc/self/fd/", std::to_string(fd), opts, stop);
    Check(file != nullptr);
    return file;
}

// Every entry describes bytes really in the input: its tag at its offset, its
// record inside the file and apart from every other, its data the record's tail.
void CheckEntries(const CPluginFile& file, std::string_view input) {
    std::vector<const CEntry*> all;
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        for (const auto& e : file.Table(t)) {
            const auto offset = static_cast<std::size_t>(e->m_offset), size = static_cast<std::size_t>(e->m_size);
            const std::string_view data = e->Data();
            Check(e->m_offset >= 0 && e->m_size >= 16 && offset + size <= input.size());
            Check(input.substr(offset, 4) == CPluginFile::kTags[t] && data.size() + 16 <= size &&
                  input.substr(offset + size - data.size(), data.size()) == data);
            Check((e->m_deleted == 0 || e->m_deleted == 1) && e->m_sizeChange == 0 &&
                  (e->Topic() != nullptr) == (CPluginFile::kTags[t] == "INFO"));
            CSubRecords subs;
            Check(SplitSubRecords(*e, subs) == (data.size() >= 4));
            std::size_t payloadBytes = 0;
            for (const auto& s : subs) payloadBytes += s.m_payload.size();
            Check(payloadBytes <= data.size());
            (void)IsDeletedData(data);
            (void)e->IdText();
            all.push_back(e.get());
        }
    }
    std::sort(all.begin(), all.end(), [](const CEntry* a, const CEntry* b) { return a->m_offset < b->m_offset; });
    for (std::size_t i = 1; i < all.size(); ++i) Check(all[i]->m_offset >= all[i - 1]->m_offset + all[i - 1]->m_size);
}

// Whether the bytes begin with a whole TES3 header record: what the reader
// takes for a plugin or master.
bool BeginsWithHeader(std::string_view bytes) {
    return bytes.size() >= 16 && bytes.substr(0, 4) == "TES3" && le::U24(bytes, 4) <= bytes.size() - 16;
}

// The reader: the input is written to memory once and read three times. An
// input that is no plugin is refused, naming the file, and its bytes are
// read once more behind a header, so that every input reaches the records.
void Reader(std::string_view input) {
    if (!BeginsWithHeader(input)) {
        CPluginFile refused;
        const std::atomic<std::int32_t> stop{0};
        const std::string name = std::to_string(InMemory(0, input));
        Check(refused.Open(name, "/proc/self/fd/") && !refused.ReadRecords(stop, CExtractOpts::All()));
        Check(refused.EntryCount() == 0 && refused.Diagnostics().size() == 1 &&
              refused.Diagnostic().m_kind == CReadDiagnostic::EKind::NotAPlugin &&
              refused.Diagnostic().m_message.starts_with(name + ": "));
        return Reader(fixtures::CPluginBuilder().Header().Bytes() + std::string(input));
    }
    const int fd = InMemory(0, input);
    auto all = Read(fd, CExtractOpts::All()), plain = Read(fd, CExtractOpts{});
    for (const CPluginFile* file : {all.get(), plain.get()}) {
        CheckEntries(*file, input);
        // What was passed over is told as a warning naming the file, each kind once.
        for (const CReadDiagnostic& d : file->Diagnostics())
            Check((d.m_kind == CReadDiagnostic::EKind::Damaged || d.m_kind == CReadDiagnostic::EKind::Skipped) &&
                  d.m_message.starts_with(file->FileName() + ": "));
        Check(file->Diagnostics().size() <= 6);
    }
    // The options only decide which data is kept: the entries are the same.
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const auto &a = all->Table(t), &b = plain->Table(t);
        Check(a.size() == b.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            Check(a[i]->m_id == b[i]->m_id && a[i]->m_offset == b[i]->m_offset &&
                  a[i]->m_deleted == b[i]->m_deleted && (a[i]->Topic() != nullptr) == (b[i]->Topic() != nullptr) &&
                  (!a[i]->Topic() || *a[i]->Topic() == *b[i]->Topic()));
    }
    // A raised stop flag ends the reading after the first record.
    Check(Read(fd, CExtractOpts::All(), 1)->EntryCount() <= 1);
    // The tag scan stops where a scan one byte at a time would.
    Check(input.size() > (std::size_t(1) << 16) ||
          fixtures::FirstScanMismatch(input, input.size() <= 1024 ? 1 : 61) == std::string_view::npos);
}

// The dialogue merge, its questions all answered alike.
struct CFuzzLink : CUserLink {
    explicit CFuzzLink(bool yes) : m_yes(yes) {}
    void Progress(const std::string&, int) override {}
    void Tell(const CNotice&) override {}
    CAnswer Ask(const CQuestion&) override { return {m_yes ? EAnswer::Yes : EAnswer::No, {}}; }
    bool m_yes;
};

// The repair plugin is whole records, counted by its header: DIAL and INFO only, ids first, each
// topic once, no deleted response, each chain linked both ways with empty ends and no id twice.
void CheckRepair(std::string_view out, std::size_t topics) {
    Check(out.size() >= 362 && out.substr(0, 4) == "TES3" && le::U32(out, 4) == 346);
    const std::string none(1, '\0');
    std::string prev = none, next = none;  // the INAM and NNAM of the chain's last response so far
    std::set<std::string> names, chain;
    std::size_t records = 0;
    for (std::size_t pos = 362; pos < out.size(); ++records) {
        Check(out.size() - pos >= 16 && out.size() - pos - 16 >= le::U32(out, pos + 4));
        const std::string_view tag = out.substr(pos, 4), data = out.substr(pos + 16, le::U32(out, pos + 4));
        pos += 16 + data.size();
        std::vector<std::string> ids;
        std::size_t at = 0;
        for (const char* want : tag == "DIAL" ? std::vector{"NAME"} : std::vector{"INAM", "PNAM", "NNAM"}) {
            Check(data.size() - at >= 8 && data.substr(at, 4) == want && data.size() - at - 8 >= le::U32(data, at + 4));
            ids.emplace_back(data.substr(at + 8, le::U32(data, at + 4)));
            at += 8 + ids.back().size();
        }
        if (tag == "DIAL") {
            Check(next == none && names.insert(std::string(UpToNul(ids[0]))).second);
            prev = none;
            chain.clear();
        } else {
            Check(tag == "INFO" && !names.empty() && (at == data.size() || !IsDeletedData(data.substr(at))));
            Check(ids[1] == prev && (prev == none || next == ids[0]));
            Check(chain.insert(std::string(UpToNul(ids[0]))).second);
            prev = ids[0];
            next = ids[2];
        }
    }
    Check(next == none && le::U32(out, 320) == records && names.size() == topics);
}

// The first three bytes choose the answers, a second read and where the master begins.
void Dialogue(std::string_view input) {
    if (input.size() < 3) return;
    const auto* control = reinterpret_cast<const std::uint8_t*>(input.data());
    const std::size_t split = std::min<std::size_t>(input.size() - 3, control[1] | std::size_t(control[2]) << 8);
    CFuzzLink link((control[0] & 1) == 0);
    CDialogMerge merge(link);
    const std::atomic<std::int32_t> stop{0};
    merge.ReadDialogFile(stop, input.substr(3, split), {0, 1000}, true);
    // The same plugin bytes once more, newer: every response is a duplicate.
    if (control[0] & 2) merge.ReadDialogFile(stop, input.substr(3, split), {0, 2000}, true);
    merge.ReadDialogFile(stop, input.substr(3 + split), {0, 500}, false);
    if (merge.Merge(stop))
        CheckRepair(merge.RepairPluginBytes(stop), merge.Topics().size());
    else
        Check(!link.m_yes);  // declined although every question was answered Yes
}

// The entry editor: every entry in the grid writes back to its own bytes without a question;
// only a tag cut short by the end of the data is refused, at its row. With each row's Data
// typed over by the next row's bytes, the rows are refused once at a row, or what they write
// shows again as rows that write it back.
void RoundTrip(std::string_view recordType, std::string_view data) {
    CSubRecords subs;
    if (!SplitSubRecords(data, subs)) return;
    auto rows = FillGrid(recordType, subs);
    Check(rows.size() == subs.size());
    // Refusals are told; the questions about hexadecimal rows are answered
    // by the input's bits.
    struct CRowLink : CUserLink {
        std::size_t m_bits = 0;
        std::vector<CNotice> m_told;
        std::size_t m_asked = 0;
        void Progress(const std::string&, int) override {}
        void Tell(const CNotice& notice) override { m_told.push_back(notice); }
        CAnswer Ask(const CQuestion&) override {
            ++m_asked;
            return {(m_bits >> (m_asked % 32)) & 1 ? EAnswer::Yes : EAnswer::No, {}};
        }
    } link;
    link.m_bits = data.size();
    const CWriteBack back = WriteBackRows(rows, link);
    std::size_t shortTag = 0;
    while (shortTag < subs.size() && subs[shortTag].m_tag.size() == 4) ++shortTag;
    if (shortTag == subs.size()) {
        Check(back.m_ok && link.m_told.empty() && link.m_asked == 0 &&
              JoinSubRecords(back.m_subRecords) == JoinSubRecords(subs));
    } else {
        const auto* told = link.m_told.size() == 1 ? std::get_if<CInvalidRowNotice>(&link.m_told[0]) : nullptr;
        Check(!back.m_ok && back.m_row == int(shortTag) + 1 && link.m_asked == 0 && told &&
              told->m_why == CInvalidRowNotice::EWhy::TagLength);
    }

    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].m_data = subs[(i + 1) % subs.size()].m_payload;
    link.m_told.clear();
    link.m_asked = 0;
    const CWriteBack typed = WriteBackRows(rows, link);
    const std::size_t refusals = link.m_told.size();
    Check(typed.m_ok ? refusals == 0 && typed.m_subRecords.size() == rows.size()
                     : refusals <= 1 && typed.m_row >= 1 && std::size_t(typed.m_row) <= rows.size());
    // Written rows ask nothing when they are read back.
    struct CNoQuestions : CUserLink {
        void Progress(const std::string&, int) override {}
        void Tell(const CNotice&) override { std::abort(); }
        CAnswer Ask(const CQuestion&) override { std::abort(); }
    } silent;
    for (std::size_t i = 0; typed.m_ok && i < rows.size(); ++i) {
        const CSubRecord& written = typed.m_subRecords[i];
        auto again = RowPayload(MakeRow("NPC_", written.m_tag, written.m_payload), 1, silent);
        Check(written.m_tag.size() == 4 && again && *again == written.m_payload);
    }
}

// Cell cleaning: the input's halves are the data of a master's interior cell "Hall" and of a
// plugin's copy resolved through its MAST list. The layout tiles the data, and a cleaned cell
// is the old one with whole pieces left out, NAM0 aside.
std::unique_ptr<CPluginFile> CellFile(int slot, const std::string& master, std::string_view cellData) {
    fixtures::CPluginBuilder b;
    b.Header(master.empty() ? std::vector<std::string>{} : std::vector<std::string>{master});
    b.RecordData("CELL", records::SubBytes(fixtures::Cell("Hall", 1, 0, 0)) + std::string(cellData));
    return Read(InMemory(slot, b.Bytes()), CExtractOpts::All());
}

void Cells(std::string_view input) {
    const std::string_view halves[2] = {input.substr(0, input.size() / 2), input.substr(input.size() / 2)};
    for (std::string_view data : halves) {
        const auto layout = cells::ParseCellData(data);
        if (!layout) continue;
        std::uint32_t at = 0;
        for (const cells::CCellPiece& p : layout->m_pieces) {
            Check(p.m_begin == at && p.m_end > p.m_begin && p.m_body >= p.m_begin && p.m_body <= p.m_end);
            at = p.m_end;
        }
        Check(at == data.size());
    }
    auto master = CellFile(0, "", halves[0]);
    auto plugin = CellFile(1, master->FileName(), halves[1]);
    for (const cells::CCellClean& cell : cells::CCellCleaner({master.get()}).Analyse(*plugin).m_cells) {
        if (cell.m_junk) continue;
        // Walk the old data, skipping whole pieces: the kept ones come in order.
        const std::string_view old = cell.m_entry->Data(), now = cell.m_data;
        const auto layout = cells::ParseCellData(old);
        Check(layout.has_value());
        std::size_t j = 0;
        for (const cells::CCellPiece& p : layout->m_pieces) {
            const std::string_view piece = p.Bytes(old);
            if (now.substr(j, piece.size()) == piece ||
                (p.m_kind == cells::CCellPiece::EKind::Count && now.substr(j, 8) == piece.substr(0, 8)))
                j += piece.size();
        }
        Check(j == now.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    Reader(input);
    Dialogue(input);
    // The editor: as a plugin, each record's data under its own tag; as one
    // entry's data under types whose rules differ.
    for (std::size_t at = 0; at + 16 <= size; at += 16 + std::size_t(le::U24(input, at + 4)))
        RoundTrip(input.substr(at, 4), input.substr(at + 16, le::U24(input, at + 4)));
    for (std::string_view type : {"INFO", "LTEX", "NPC_"}) RoundTrip(type, input);
    Cells(input);
    return 0;
}
