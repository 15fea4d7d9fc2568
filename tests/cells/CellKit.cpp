#include "CellKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "fixtures/PluginBuilder.h"
#include "cells/CellLayout.h"
#include "format/SubRecord.h"
#include "platform/Files.h"

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

namespace vantor::cells::testing {

namespace {

using CSubs = std::vector<std::pair<std::string, std::string>>;

CSubs Split(std::string_view data) {
    std::vector<std::string> tags, payloads;
    SplitSubRecords(data, tags, payloads);
    CSubs out;
    for (std::size_t i = 0; i < tags.size(); ++i) out.emplace_back(tags[i], payloads[i]);
    return out;
}

std::size_t CountTag(const CSubs& subs, std::string_view tag) {
    return std::size_t(std::count_if(subs.begin(), subs.end(), [&](const auto& s) { return s.first == tag; }));
}

// The new data is the old with whole subrecords left out (NAM0 may count
// anew): the references removed, the ambient light and water height.
void CheckKeptInOrder(const CCellClean& cell) {
    const CSubs before = Split(cell.m_entry->Data()), after = Split(cell.m_data);
    std::size_t j = 0;
    CSubs removed;
    for (const auto& sub : before) {
        if (j < after.size() && after[j].first == sub.first && (after[j].second == sub.second || sub.first == "NAM0"))
            ++j;
        else
            removed.push_back(sub);
    }
    EXPECT_EQ(j, after.size()) << "bytes were changed or reordered";
    EXPECT_EQ(CountTag(before, "FRMR") - CountTag(after, "FRMR"), cell.m_duplicates);
    EXPECT_EQ(CountTag(removed, "AMBI") > 0, cell.m_redundantAmbient);
    EXPECT_EQ(CountTag(removed, "WHGT") > 0, cell.m_redundantWater);
    for (const char* kept : {"MVRF", "CNDT", "DELE", "NAM0", "RGNN", "NAM5", "INTV"})
        EXPECT_EQ(CountTag(removed, kept), 0u) << kept;
    // NAM0, when it was rewritten, counts the references after it.
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i].first != "NAM0" || after[i].second.size() != 4) continue;
        const auto old = std::find_if(before.begin(), before.end(), [](const auto& s) { return s.first == "NAM0"; });
        if (old != before.end() && old->second == after[i].second) break;
        const CSubs rest(after.begin() + std::ptrdiff_t(i), after.end());
        EXPECT_EQ(U32At(after[i].second, 0), CountTag(rest, "FRMR"));
        break;
    }
}

}  // namespace

CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch) {
    CPluginCells result = cleaner.Analyse(plugin);
    for (const auto& cell : result.m_cells)
        if (!cell.m_junk) CheckKeptInOrder(cell);

    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(plugin.FullPath(), bytes));
    EXPECT_TRUE(fixtures::CPluginBuilder().Raw(Apply(bytes, result)).Write(scratch + plugin.FileName()));
    auto cleaned = Load(scratch, plugin.FileName());
    if (!cleaned) {
        ADD_FAILURE() << "the cleaned " << plugin.FileName() << " does not read";
        return result;
    }
    EXPECT_EQ(cleaned->Diagnostic().m_message, "");
    EXPECT_EQ(cleaned->EntryCount(), plugin.EntryCount() - result.JunkCells());
    const CPluginCells again = cleaner.Analyse(*cleaned);
    EXPECT_TRUE(again.m_cells.empty()) << plugin.FileName() << ": " << again.Duplicates() << " duplicates left";
    EXPECT_EQ(again.m_unjudged, result.m_unjudged);
    return result;
}

}  // namespace vantor::cells::testing
