#include "cells/CellClean.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "cells/CellLayout.h"
#include "platform/Text.h"
#include "format/LittleEndian.h"

namespace vantor::cells {

namespace {

constexpr std::size_t kCellTable = TableOf(ERecordId::Cell);

using EKind = CCellPiece::EKind;

using platform::LowerAscii;

// Where a cell lies, from its entry ID "flags,x,y name": interiors by name
// without regard to case, exteriors by grid. Nothing for an ID the reader
// did not form that way.
struct CPlace {
    bool m_interior = false;
    std::string m_key;
};

std::optional<CPlace> PlaceOf(const CEntry& cell) {
    const std::string_view id = cell.IdText();
    int numbers[3] = {};
    const char* at = id.data();
    const char* end = id.data() + id.size();
    for (int k = 0; k < 3; ++k) {
        auto [next, ec] = std::from_chars(at, end, numbers[k]);
        if (ec != std::errc() || next == end || *next != (k < 2 ? ',' : ' ')) return std::nullopt;
        at = next + 1;
    }
    CPlace place;
    place.m_interior = (numbers[0] & 1) != 0;
    if (place.m_interior) {
        place.m_key = "i" + LowerAscii(std::string_view(at, std::size_t(end - at)));
    } else {
        place.m_key = "e" + std::to_string(numbers[1]) + "," + std::to_string(numbers[2]);
    }
    return place;
}

float FloatOf(std::string_view payload) {
    const std::uint32_t bits = le::U32(payload, 0);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One master's copy of the cell.
struct CCopy {
    int m_master;
    const CEntry* m_entry;
    CCellLayout m_layout;
};

// A reference as some master last wrote it, keyed by the file that created
// it and its index there.
struct CVersion {
    std::uint64_t m_key;
    const CCopy* m_copy;
    const CCellPiece* m_piece;
    bool m_byCreator;  // this copy is the creating file's own
};

std::uint64_t RefKey(int creator, std::uint32_t frmr) { return std::uint64_t(std::uint32_t(creator)) << 24 | (frmr & 0xFFFFFFu); }

}  // namespace

std::size_t CPluginCells::Duplicates() const {
    std::size_t n = 0;
    for (const auto& c : m_cells) n += c.m_duplicates;
    return n;
}

std::size_t CPluginCells::RedundantSettings() const {
    std::size_t n = 0;
    for (const auto& c : m_cells) n += std::size_t(c.m_redundantAmbient) + std::size_t(c.m_redundantWater);
    return n;
}

std::size_t CPluginCells::JunkCells() const {
    return std::size_t(std::count_if(m_cells.begin(), m_cells.end(), [](const CCellClean& c) { return c.m_junk; }));
}

CCellCleaner::CCellCleaner(std::vector<const CPluginFile*> masters) {
    m_masters.resize(masters.size());
    for (std::size_t i = 0; i < masters.size(); ++i) {
        m_masters[i].m_file = masters[i];
        // Of two given files with one name, the later one answers.
        m_byName[LowerAscii(masters[i]->FileName())] = int(i);
    }
    for (auto& m : m_masters) {
        for (const auto& name : m.m_file->HeaderMasters()) m.m_masters.push_back(Resolve(name));
        for (const auto& e : m.m_file->Table(kCellTable))
                if (auto place = PlaceOf(*e)) m.m_cells[place->m_key].push_back(e.get());
    }
}

int CCellCleaner::Resolve(std::string_view fileName) const {
    auto it = m_byName.find(LowerAscii(fileName));
    return it == m_byName.end() ? -1 : it->second;
}

CPluginCells CCellCleaner::Analyse(const CPluginFile& plugin) const { return Judge(plugin, nullptr); }

CPluginCells CCellCleaner::AnalyseCell(const CPluginFile& plugin, const CEntry& cell) const { return Judge(plugin, &cell); }

CPluginCells CCellCleaner::Judge(const CPluginFile& plugin, const CEntry* only) const {
    CPluginCells out;
    out.m_plugin = &plugin;
    // Everything per MAST entry is done once per plugin, so that a plugin
    // naming many masters (or one master many times) costs its length once.
    CPluginMasters masters;
    masters.m_lastEntry.assign(m_masters.size(), -1);
    std::unordered_set<std::string> missing;
    const std::vector<std::string>& names = plugin.HeaderMasters();
    for (std::size_t k = 0; k < names.size(); ++k) {
        const int m = Resolve(names[k]);
        masters.m_byEntry.push_back(m);
        if (m >= 0) {
            if (masters.m_lastEntry[std::size_t(m)] < 0) masters.m_given.push_back(m);
            masters.m_lastEntry[std::size_t(m)] = int(k);
        } else {
            masters.m_lastMissing = int(k);
            if (missing.insert(LowerAscii(names[k])).second) out.m_missingMasters.push_back(names[k]);
        }
    }
    std::sort(masters.m_given.begin(), masters.m_given.end());
    for (const auto& e : plugin.Table(kCellTable))
            if (!only || e.get() == only) JudgeCell(*e, masters, out);
    if (masters.m_firstHiding >= 0) {
        std::unordered_set<std::string> named;
        for (std::size_t k = std::size_t(masters.m_firstHiding) + 1; k < names.size(); ++k)
            if (masters.m_byEntry[k] < 0 && named.insert(LowerAscii(names[k])).second)
                out.m_unjudgedMasters.push_back(names[k]);
    }
    return out;
}

void CCellCleaner::JudgeCell(const CEntry& cell, CPluginMasters& masters, CPluginCells& out) const {
    if (cell.m_deleted) return;
    const auto place = PlaceOf(cell);
    if (!place) return;
    const std::vector<int>& pluginMasters = masters.m_byEntry;

    // The plugin's own masters that hold the cell, oldest first.
    std::vector<int> holders;
    for (int m : masters.m_given)
        if (m_masters[std::size_t(m)].m_cells.count(place->m_key)) holders.push_back(m);
    if (holders.empty()) return;

    auto unjudged = [&] { ++out.m_unjudged; };
    if (cell.m_dataDropped) return unjudged();
    const std::string_view data = cell.Data();
    const auto layout = ParseCellData(data);
    if (!layout) return unjudged();
    if (layout->m_deleted) return;

    std::vector<CCopy> copies;
    for (int m : holders) {
        for (const CEntry* e : m_masters[std::size_t(m)].m_cells.at(place->m_key)) {
            auto parsed = e->m_dataDropped ? std::nullopt : ParseCellData(e->Data());
            if (!parsed) return unjudged();
            copies.push_back({m, e, std::move(*parsed)});
        }
    }
    const CCopy& newest = copies.back();
    // A master that deleted the cell leaves nothing to compare with.
    if (newest.m_entry->m_deleted || newest.m_layout.m_deleted) return;
    // A master named after the one compared with loads after it: what it
    // holds of the cell is what the plugin's copy changes or reverts.
    const int compared = masters.m_lastEntry[std::size_t(newest.m_master)];
    if (masters.m_lastMissing > compared) {
        ++out.m_unjudgedForMissing;
        if (masters.m_firstHiding < 0 || compared < masters.m_firstHiding) masters.m_firstHiding = compared;
        return unjudged();
    }

    // Every reference of the masters' copies, the newest version last.
    std::vector<CVersion> versions;
    for (const CCopy& copy : copies) {
        const auto& own = m_masters[std::size_t(copy.m_master)].m_masters;
        for (const CCellPiece& p : copy.m_layout.m_pieces) {
            if (p.m_kind != EKind::Reference || !p.m_hasFrmr) continue;
            const std::uint32_t file = p.m_frmr >> 24;
            const int creator = file == 0 ? copy.m_master : file <= own.size() ? own[file - 1] : -1;
            if (creator >= 0) versions.push_back({RefKey(creator, p.m_frmr), &copy, &p, creator == copy.m_master});
        }
    }
    std::stable_sort(versions.begin(), versions.end(),
                     [](const CVersion& a, const CVersion& b) { return a.m_key < b.m_key; });

    CCellClean clean;
    std::vector<bool> removed(layout->m_pieces.size(), false);
    std::size_t temporariesRemoved = 0;
    for (std::size_t i = 0; i < layout->m_pieces.size(); ++i) {
        const CCellPiece& p = layout->m_pieces[i];
        if (p.m_kind != EKind::Reference || !p.m_hasFrmr || p.m_moved || p.m_deleted) continue;
        const std::uint32_t file = p.m_frmr >> 24;
        if (file == 0 || file > pluginMasters.size() || pluginMasters[file - 1] < 0) continue;
        const std::uint64_t key = RefKey(pluginMasters[file - 1], p.m_frmr);
        auto range = std::equal_range(versions.begin(), versions.end(), CVersion{key, nullptr, nullptr, false},
                                      [](const CVersion& a, const CVersion& b) { return a.m_key < b.m_key; });
        if (range.first == range.second) continue;
        // The creating master must hold the reference itself.
        if (std::none_of(range.first, range.second, [](const CVersion& v) { return v.m_byCreator; })) continue;
        const CVersion& inEffect = *(range.second - 1);
        const CCellPiece& v = *inEffect.m_piece;
        if (v.m_moved || v.m_deleted || v.m_temporary != p.m_temporary) continue;
        if (p.Body(data) != v.Body(inEffect.m_copy->m_entry->Data())) continue;
        removed[i] = true;
        ++clean.m_duplicates;
        temporariesRemoved += p.m_temporary;
    }

    const std::string_view masterData = newest.m_entry->Data();
    if (place->m_interior) {
        std::optional<std::string_view> ambient, water, oldWater;
        for (const CCellPiece& p : newest.m_layout.m_pieces) {
            if (p.m_kind != EKind::Header) continue;
            const std::string_view tag = p.Tag(masterData);
            if (tag == "AMBI" && !ambient) ambient = p.Payload(masterData);
            if (tag == "WHGT" && !water) water = p.Payload(masterData);
            if (tag == "INTV" && !oldWater) oldWater = p.Payload(masterData);
        }
        auto sameWater = [&](std::string_view height) {
            if (height.size() != 4) return false;
            if (water && water->size() == 4) return *water == height || FloatOf(*water) == FloatOf(height);
            if (!water && oldWater && oldWater->size() == 4)
                return float(std::int32_t(le::U32(*oldWater, 0))) == FloatOf(height);
            return false;
        };
        for (std::size_t i = 0; i < layout->m_pieces.size(); ++i) {
            const CCellPiece& p = layout->m_pieces[i];
            if (p.m_kind != EKind::Header) continue;
            const std::string_view tag = p.Tag(data);
            if (tag == "AMBI" && ambient && p.Payload(data) == *ambient) {
                removed[i] = true;
                clean.m_redundantAmbient = true;
            } else if (tag == "WHGT" && sameWater(p.Payload(data))) {
                removed[i] = true;
                clean.m_redundantWater = true;
            }
        }
    }

    bool leftOver = false;
    for (std::size_t i = 0; i < layout->m_pieces.size(); ++i) {
        const EKind kind = layout->m_pieces[i].m_kind;
        if ((kind == EKind::Reference || kind == EKind::Stray) && !removed[i]) leftOver = true;
    }
    clean.m_junk = !leftOver && cell.m_id == newest.m_entry->m_id &&
                   data.substr(0, layout->m_headerEnd) == masterData.substr(0, newest.m_layout.m_headerEnd);
    if (!clean.m_duplicates && !clean.m_redundantAmbient && !clean.m_redundantWater && !clean.m_junk) return;

    clean.m_entry = &cell;
    clean.m_master = m_masters[std::size_t(newest.m_master)].m_file->FileName();
    if (!clean.m_junk) {
        std::uint32_t temporaries = 0;
        for (std::size_t i = 0; i < layout->m_pieces.size(); ++i)
            temporaries += !removed[i] && layout->m_pieces[i].m_kind == EKind::Reference && layout->m_pieces[i].m_temporary;
        clean.m_data.reserve(data.size());
        bool counted = false;
        for (std::size_t i = 0; i < layout->m_pieces.size(); ++i) {
            if (removed[i]) continue;
            const CCellPiece& p = layout->m_pieces[i];
            const std::string_view bytes = p.Bytes(data);
            if (p.m_kind == EKind::Count && !counted && temporariesRemoved > 0) {
                clean.m_data.append(bytes.substr(0, 8));
                le::PutU32(clean.m_data, temporaries);
            } else {
                clean.m_data.append(bytes);
            }
            counted = counted || p.m_kind == EKind::Count;
        }
    }
    out.m_cells.push_back(std::move(clean));
}

}  // namespace vantor::cells
