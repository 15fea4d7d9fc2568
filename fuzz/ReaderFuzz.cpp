// libFuzzer target for the plugin reader. Beyond "no crash, no leak", every
// stored entry must describe bytes that are really in the input: its tag at
// its offset, its record inside the file and apart from every other record,
// its data the tail of its record.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzKit.h"
#include "format/ScanReference.h"
#include "format/SubRecord.h"

namespace {

using namespace vantor;
using fuzz::Fail;

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
            if (SplitSubRecords(*e, subs) != (data.size() >= 4)) Fail("split disagrees", e.get());
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    fuzz::PutInMemory(0, input);
    bool ok = false;
    auto all = fuzz::ReadInMemory(0, CExtractOpts::All(), 0, &ok);
    // Nothing can fail to read from memory: false here would be a false report.
    if (!ok) Fail("ReadRecords returned false on a readable file");
    CheckEntries(*all, input);

    // The options only decide which data is kept: the entries are the same.
    auto plain = fuzz::ReadInMemory(0, CExtractOpts{}, 0, &ok);
    if (!ok || plain->EntryCount() != all->EntryCount()) Fail("options changed the entries");
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const auto &a = all->Table(t), &b = plain->Table(t);
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i]->m_id != b[i]->m_id || a[i]->m_offset != b[i]->m_offset || a[i]->m_deleted != b[i]->m_deleted ||
                a[i]->m_topic != b[i]->m_topic)
                Fail("options changed an entry", b[i].get());
    }
    CheckEntries(*plain, input);

    // A raised stop flag ends the reading after the first record.
    auto stopped = fuzz::ReadInMemory(0, CExtractOpts::All(), 1, &ok);
    if (!ok || stopped->EntryCount() > 1) Fail("the stop flag was not honoured");

    // Large seeds (whole plugins of the corpus) are checked by the tests.
    if (size <= (std::size_t(1) << 16) && fixtures::FirstScanMismatch(input, size <= 1024 ? 1 : 61) != std::string_view::npos)
        Fail("the tag scan stops elsewhere than one byte at a time");
    return 0;
}
