// libFuzzer target for the plugin reader. The input becomes an in-memory
// file (memfd) reached through /proc/self/fd, so the reader is exercised
// through its ordinary Open without touching the disk.
//
// Beyond "no crash, no leak", every stored entry must describe bytes that
// are really in the input: its tag at its offset, its record inside the
// file and apart from every other record, its data the tail of its record.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "format/PluginFile.h"
#include "format/RecordCursor.h"
#include "format/SubRecord.h"

namespace {

using namespace vantor;

[[noreturn]] void Fail(const char* what, const CEntry* e = nullptr) {
    if (e) std::fprintf(stderr, "reader fuzz: %s (offset %lld, size %lld)\n", what, static_cast<long long>(e->m_offset),
                        static_cast<long long>(e->m_size));
    else std::fprintf(stderr, "reader fuzz: %s\n", what);
    std::abort();
}

int InputFile() {
    static const int fd = memfd_create("vantor-reader-fuzz", 0);
    if (fd < 0) Fail("memfd_create failed");
    return fd;
}

struct CRead {
    std::unique_ptr<CPluginFile> m_file = std::make_unique<CPluginFile>();
    bool m_ok = false;
};

CRead Read(const CExtractOpts& opts, std::int32_t stopFlag) {
    CRead r;
    std::atomic<std::int32_t> stop{stopFlag};
    if (!r.m_file->Open(std::to_string(InputFile()), "/proc/self/fd/")) Fail("cannot open the input");
    r.m_ok = r.m_file->ReadRecords(stop, opts);
    r.m_file->Close();
    return r;
}

void CheckEntries(const CPluginFile& file, std::string_view input) {
    std::vector<const CEntry*> all;
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const std::string_view tag = CPluginFile::kTags[t];
        for (const auto& e : file.Table(t)) {
            if (e->m_offset < 0 || e->m_size < 16) Fail("impossible offset or size", e.get());
            const auto offset = static_cast<std::size_t>(e->m_offset), size = static_cast<std::size_t>(e->m_size);
            if (offset + size > input.size()) Fail("record runs past the end of the input", e.get());
            if (input.substr(offset, 4) != tag) Fail("entry in the wrong table", e.get());
            const std::string_view data = e->Data();
            if (data.size() + 16 > size) Fail("data longer than the record", e.get());
            if (!data.empty() && input.substr(offset + size - data.size(), data.size()) != data)
                Fail("data is not the tail of its record", e.get());
            if (e->m_deleted != 0 && e->m_deleted != 1) Fail("deleted flag neither 0 nor 1", e.get());
            if (e->m_sizeChange != 0) Fail("size change after reading", e.get());
            if (e->m_topic.has_value() != (tag == "INFO")) Fail("topic on the wrong type", e.get());

            CSubRecords subs;
            const bool split = SplitSubRecords(*e, subs);
            if (split != (data.size() >= 4)) Fail("split disagrees", e.get());
            std::size_t payloadBytes = 0;
            for (const auto& s : subs) payloadBytes += s.m_payload.size();
            if (payloadBytes > data.size()) Fail("split payloads exceed the data", e.get());
            (void)IsDeletedData(data);
            (void)e->IdText();
            all.push_back(e.get());
        }
    }
    std::sort(all.begin(), all.end(), [](const CEntry* a, const CEntry* b) { return a->m_offset < b->m_offset; });
    for (std::size_t i = 1; i < all.size(); ++i)
        if (all[i]->m_offset < all[i - 1]->m_offset + all[i - 1]->m_size) Fail("records overlap", all[i]);
}

// The reader skips junk with a scan that passes over bytes; it must stop
// where a scan one byte at a time stops (the first tag at or after it).
void CheckTagScan(std::string_view input) {
    const std::size_t n = input.size();
    // Large seeds (whole plugins of the corpus) are checked by the tests.
    if (n > (std::size_t(1) << 16)) return;
    std::vector<std::size_t> stops(n + 1);
    std::size_t next = n < 3 ? 0 : n - 3;
    for (std::size_t from = n + 1; from-- > 0;) {
        if (n - from >= 4 && IsRecordTag(input.substr(from, 4))) next = from;
        stops[from] = std::max(from, next);
    }
    // Every position of a short input; of a longer one every 61st and the
    // eight before each tag, where a skip could jump over it.
    const std::size_t step = n <= 1024 ? 1 : 61;
    auto check = [&](std::size_t from) {
        if (NextRecordTag(input, from) != stops[from]) Fail("the tag scan stops elsewhere than one byte at a time");
    };
    for (std::size_t from = 0; from <= n; from += step) check(from);
    if (step > 1)
        for (std::size_t at = 8; at <= n; ++at)
            if (stops[at] == at && at + 4 <= n)
                for (std::size_t back = 1; back <= 8; ++back) check(at - back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const int fd = InputFile();
    if (ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, bytes, size, 0) != static_cast<ssize_t>(size)))
        Fail("cannot write the input");
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);

    CRead all = Read(CExtractOpts::All(), 0);
    // Nothing can fail to read from memory: false here would be a false report.
    if (!all.m_ok) Fail("ReadRecords returned false on a readable file");
    CheckEntries(*all.m_file, input);

    // The options only decide which data is kept: the entries are the same.
    CRead plain = Read(CExtractOpts{}, 0);
    if (!plain.m_ok || plain.m_file->EntryCount() != all.m_file->EntryCount()) Fail("options changed the entries");
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const auto& a = all.m_file->Table(t);
        const auto& b = plain.m_file->Table(t);
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i]->m_id != b[i]->m_id || a[i]->m_offset != b[i]->m_offset || a[i]->m_deleted != b[i]->m_deleted ||
                a[i]->m_topic != b[i]->m_topic)
                Fail("options changed an entry", b[i].get());
    }
    CheckEntries(*plain.m_file, input);

    // A raised stop flag ends the reading after the first record.
    CRead stopped = Read(CExtractOpts::All(), 1);
    if (!stopped.m_ok || stopped.m_file->EntryCount() > 1) Fail("the stop flag was not honoured");

    CheckTagScan(input);
    return 0;
}
