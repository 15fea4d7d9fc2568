// libFuzzer target for the dialogue reader and merge. The input is split in
// two files, a plugin and a master, which are read, merged and written into
// repair plugin bytes in memory.
//
// Beyond "no crash, no leak": the repair plugin must consist of whole
// records, its header must count them, every topic must appear once, and
// every chain must be linked both ways with empty ends and no id twice.
#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "FuzzKit.h"
#include "dialogrepair/DialogMerge.h"
#include "format/LittleEndian.h"
#include "format/SubRecord.h"

namespace {

using namespace vantor;
using fuzz::Fail;

// Answers every question alike.
struct CFuzzLink : CUserLink {
    explicit CFuzzLink(bool yes) : m_yes(yes) {}
    void Progress(const std::string&, int) override {}
    EAnswer Ask(const CMessage& m) override { return m.m_buttons != EButtons::YesNo ? EAnswer::Ok : m_yes ? EAnswer::Yes : EAnswer::No; }
    bool m_yes;
};

void CheckChain(const std::vector<std::vector<std::string>>& chain) {
    const std::string empty(1, '\0');
    std::set<std::string> ids;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const auto& c = chain[k];
        if (c[1] != (k == 0 ? empty : chain[k - 1][0])) Fail("PNAM does not name the previous response");
        if (c[2] != (k + 1 == chain.size() ? empty : chain[k + 1][0])) Fail("NNAM does not name the next response");
        if (!ids.insert(std::string(UpToNul(c[0]))).second) Fail("a response written twice in one chain");
    }
}

void CheckRepair(std::string_view out, std::size_t topics) {
    if (out.size() < 362 || out.substr(0, 4) != "TES3" || le::U32(out, 4) != 346) Fail("bad header");
    std::size_t pos = 362, records = 0;
    std::set<std::string> names;
    std::vector<std::vector<std::string>> chain;
    while (pos < out.size()) {
        if (out.size() - pos < 16) Fail("a record cut short");
        const std::string_view tag = out.substr(pos, 4);
        const std::size_t size = le::U32(out, pos + 4);
        if (out.size() - pos - 16 < size) Fail("a record runs past the end");
        const std::string_view data = out.substr(pos + 16, size);
        pos += 16 + size;
        ++records;
        if (tag != "DIAL" && tag != "INFO") Fail("a record that is neither DIAL nor INFO");
        // The ids lead the record; what follows them is carried over opaque.
        std::vector<std::string> ids;
        std::size_t at = 0;
        const char* want[] = {"INAM", "PNAM", "NNAM"};
        const std::size_t count = tag == "DIAL" ? 1 : 3;
        for (std::size_t k = 0; k < count; ++k) {
            if (data.size() - at < 8 || data.substr(at, 4) != (tag == "DIAL" ? "NAME" : want[k])) Fail("ids out of place");
            const std::size_t length = le::U32(data, at + 4);
            if (data.size() - at - 8 < length) Fail("an id runs past its record");
            ids.emplace_back(data.substr(at + 8, length));
            at += 8 + length;
        }
        if (tag == "DIAL") {
            CheckChain(chain);
            chain.clear();
            if (!names.insert(std::string(UpToNul(ids[0]))).second) Fail("a topic written twice");
        } else {
            if (names.empty()) Fail("INFO before any DIAL");
            const std::string_view rest = data.substr(at);
            if (!rest.empty() && IsDeletedData(rest)) Fail("a deleted response written");
            chain.push_back(ids);
        }
    }
    CheckChain(chain);
    if (le::U32(out, 320) != records) Fail("the header miscounts the records");
    if (names.size() != topics) Fail("topics missing from the output");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 3) return 0;
    const bool yes = (bytes[0] & 1) == 0;
    const std::size_t split = std::min<std::size_t>(size - 3, std::size_t(bytes[1]) | std::size_t(bytes[2]) << 8);
    const std::string_view input(reinterpret_cast<const char*>(bytes) + 3, size - 3);
    const std::string_view plugin = input.substr(0, split);
    const std::string_view master = input.substr(split);

    CFuzzLink link(yes);
    CDialogMerge merge(link);
    std::atomic<std::int32_t> stop{0};
    merge.ReadDialogFile(stop, plugin, {0, 1000}, true);
    // The same plugin bytes once more, newer: every response is a duplicate.
    if (bytes[0] & 2) merge.ReadDialogFile(stop, plugin, {0, 2000}, true);
    merge.ReadDialogFile(stop, master, {0, 500}, false);
    if (!merge.Merge(stop)) {
        if (yes) Fail("the merge declined although every question was answered Yes");
        return 0;
    }
    CheckRepair(merge.RepairPluginBytes(stop), merge.Topics().size());
    return 0;
}
