#include "checks/RecordCopies.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace vantor {

namespace {

// Each file once, by age; equally old files keep their order in the list.
std::vector<const CPluginFile*> Sorted(const std::vector<CPluginFile*>& files, CFileAges& ages, bool newestFirst) {
    std::vector<const CPluginFile*> order;
    std::vector<CFileAge> age;
    std::unordered_set<const CPluginFile*> seen;
    for (const CPluginFile* file : files)
        if (file && seen.insert(file).second) {
            order.push_back(file);
            age.push_back(ages.AgeOf(file->FullPath()));
        }
    std::vector<std::size_t> index(order.size());
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(),
                     [&](std::size_t a, std::size_t b) { return newestFirst ? age[b] < age[a] : age[a] < age[b]; });
    std::vector<const CPluginFile*> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : index) sorted.push_back(order[i]);
    return sorted;
}

}  // namespace

std::vector<const CPluginFile*> InLoadOrder(const std::vector<CPluginFile*>& files, CFileAges& ages) {
    return Sorted(files, ages, false);
}

std::vector<CRecordGroup> CollectRecordGroups(const std::vector<CPluginFile*>& plugins,
                                              const std::vector<CPluginFile*>& masters, CFileAges& ages,
                                              std::size_t minPlugins, const std::atomic<std::int32_t>& stop) {
    const std::vector<const CPluginFile*> order = InLoadOrder(plugins, ages);
    // Of equally old masters the first listed is taken, as the checks take it.
    const std::vector<const CPluginFile*> newestMasters = Sorted(masters, ages, true);
    auto stopped = [&] { return stop.load(std::memory_order_relaxed) != 0; };

    std::vector<CRecordGroup> groups;
    constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;
    struct CIdCount {
        std::uint32_t m_plugins = 0;
        std::uint32_t m_lastPlugin = 0;
        std::uint32_t m_group = kNoGroup;
    };
    for (std::size_t t = 0; t < CPluginFile::kTableCount && !stopped(); ++t) {
        // How many plugins hold each ID; numbered in order of first copy.
        std::unordered_map<std::string_view, std::uint32_t> number;
        std::vector<CIdCount> counts;
        for (std::uint32_t p = 0; p < order.size(); ++p)
            for (const auto& entry : order[p]->Table(t)) {
                auto [it, added] = number.try_emplace(entry->IdText(), std::uint32_t(counts.size()));
                if (added) counts.push_back({});
                CIdCount& c = counts[it->second];
                if (c.m_plugins == 0 || c.m_lastPlugin != p) {
                    ++c.m_plugins;
                    c.m_lastPlugin = p;
                }
            }
        if (stopped()) break;

        const std::size_t firstGroup = groups.size();
        std::vector<std::string_view> ids(counts.size());
        for (const auto& [id, n] : number) ids[n] = id;
        for (std::uint32_t n = 0; n < counts.size(); ++n)
            if (counts[n].m_plugins >= std::max<std::size_t>(minPlugins, 1)) {
                counts[n].m_group = std::uint32_t(groups.size());
                groups.push_back(CRecordGroup{t, ids[n], std::nullopt, {}});
            }
        if (groups.size() == firstGroup) continue;

        for (const CPluginFile* plugin : order)
            for (const auto& entry : plugin->Table(t)) {
                const std::uint32_t g = counts[number.at(entry->IdText())].m_group;
                if (g == kNoGroup) continue;
                std::vector<CRecordCopy>& copies = groups[g].m_copies;
                if (copies.empty() || copies.back().m_file != plugin) copies.push_back({plugin, entry.get()});
            }
        for (const CPluginFile* master : newestMasters)
            for (const auto& entry : master->Table(t)) {
                auto it = number.find(entry->IdText());
                if (it == number.end() || counts[it->second].m_group == kNoGroup) continue;
                CRecordGroup& group = groups[counts[it->second].m_group];
                if (!group.m_master) group.m_master = CRecordCopy{master, entry.get()};
            }
    }
    return groups;
}

}  // namespace vantor
