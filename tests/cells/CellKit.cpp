#include "CellKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fixtures/PluginBuilder.h"
#include "format/LittleEndian.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "platform/Files.h"

namespace vantor::cells::testing {

std::string Apply(const std::string& bytes, const CPluginCells& result) {
    std::map<std::int32_t, const CCellClean*> byOffset;
    for (const auto& c : result.m_cells) byOffset[c.m_entry->m_offset] = &c;
    std::string out;
    std::size_t pos = 0;
    while (pos + 16 <= bytes.size()) {
        const std::size_t size = le::U24(bytes, pos + 4);
        const auto it = byOffset.find(std::int32_t(pos));
        if (it == byOffset.end()) {
            out.append(bytes, pos, 16 + size);
        } else if (!it->second->m_junk) {
            // The entry's data is the record's tail; NAME and DATA before it stay.
            const std::size_t idBytes = size - it->second->m_entry->DataLength();
            out += bytes.substr(pos, 4) + fixtures::I32(std::int32_t(idBytes + it->second->m_data.size())) +
                   bytes.substr(pos + 8, 8 + idBytes) + it->second->m_data;
        }
        pos += 16 + size;
    }
    out += bytes.substr(std::min(pos, bytes.size()));
    // The header's record count loses the junk cells.
    constexpr std::size_t kCount = records::kHeaderCountOffset;
    if (out.compare(0, 4, "TES3") == 0 && out.compare(16, 4, "HEDR") == 0)
        le::SetU32(out, kCount, le::U32(out, kCount) - std::uint32_t(result.JunkCells()));
    return out;
}

namespace {

using CSubs = std::vector<std::pair<std::string, std::string>>;

std::size_t CountTag(const CSubs& subs, std::string_view tag) {
    return std::size_t(std::count_if(subs.begin(), subs.end(), [&](const auto& s) { return s.first == tag; }));
}

// The new data is the old with whole subrecords left out (NAM0 may count
// anew): the duplicate references, the ambient light and water height.
void CheckKeptInOrder(const CCellClean& cell) {
    CSubs before, after, removed;
    for (auto [data, subs] : {std::pair{cell.m_entry->Data(), &before}, std::pair{std::string_view(cell.m_data), &after}}) {
        CSubRecords split;
        SplitSubRecords(data, split);
        for (const CSubRecord& s : split) subs->emplace_back(s.m_tag, s.m_payload);
    }
    std::size_t j = 0;
    for (const auto& sub : before) {
        if (j < after.size() && after[j].first == sub.first && (after[j].second == sub.second || sub.first == "NAM0")) ++j;
        else removed.push_back(sub);
    }
    EXPECT_EQ(j, after.size()) << "bytes were changed or reordered";
    EXPECT_EQ(CountTag(before, "FRMR") - CountTag(after, "FRMR"), cell.m_duplicates);
    EXPECT_EQ(CountTag(removed, "AMBI") > 0, cell.m_redundantAmbient);
    EXPECT_EQ(CountTag(removed, "WHGT") > 0, cell.m_redundantWater);
    for (const char* kept : {"MVRF", "CNDT", "DELE", "NAM0", "RGNN", "NAM5", "INTV"}) EXPECT_EQ(CountTag(removed, kept), 0u) << kept;
}

}  // namespace

CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch) {
    CPluginCells result = cleaner.Analyse(plugin);
    for (const auto& cell : result.m_cells)
        if (!cell.m_junk) CheckKeptInOrder(cell);

    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(plugin.FullPath(), bytes));
    EXPECT_TRUE(fixtures::CPluginBuilder().Raw(Apply(bytes, result)).Write(scratch + plugin.FileName()));
    const auto cleaned = ReadPluginAt(scratch, plugin.FileName());
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
