#include "checks/IdIndex.h"

#include <algorithm>
#include <cstring>

#include "platform/Cache.h"

namespace vantor::checks_detail {

namespace {
// A hash of short byte strings, eight bytes at a time: IDs are a few dozen
// bytes, and the index hashes millions of them.
std::uint32_t HashOf(std::string_view key) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ key.size();
    const char* p = key.data();
    std::size_t n = key.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (n) {
        std::uint64_t w = 0;
        for (std::size_t i = 0; i < n; ++i) w |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
        h = (h ^ w) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0x9E3779B97F4A7C15ull;
    return std::uint32_t(h >> 32);
}
}  // namespace

void CIdMap::Reserve(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity < count * 2) capacity *= 2;
    if (capacity <= m_slots.size()) return;
    std::vector<CSlot> old = std::move(m_slots);
    m_slots.assign(capacity, CSlot{});
    const std::size_t mask = capacity - 1;
    for (const CSlot& s : old) {
        if (s.m_key == kNone) continue;
        std::size_t i = s.m_hash & mask;
        while (m_slots[i].m_key != kNone) i = (i + 1) & mask;
        m_slots[i] = s;
    }
}

void CIdMap::Grow() { Reserve(m_slots.empty() ? 8 : m_slots.size()); }

std::uint32_t& CIdMap::Insert(std::string_view key, std::uint32_t fresh, bool& inserted) {
    // Load factor at most one half keeps the probe runs short.
    if ((m_keys.size() + 1) * 2 > m_slots.size()) Grow();
    const std::uint32_t hash = HashOf(key);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = hash & mask;
    while (m_slots[i].m_key != kNone) {
        const std::uint32_t k = m_slots[i].m_key;
        if (m_slots[i].m_hash == hash && m_keys[k] == key) {
            inserted = false;
            return m_values[k];
        }
        i = (i + 1) & mask;
    }
    m_slots[i] = {hash, std::uint32_t(m_keys.size())};
    m_keys.push_back(key);
    m_values.push_back(fresh);
    inserted = true;
    return m_values.back();
}

std::uint32_t CIdMap::Find(std::string_view key) const {
    if (m_slots.empty()) return kNone;
    const std::uint32_t hash = HashOf(key);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask; m_slots[i].m_key != kNone; i = (i + 1) & mask) {
        const std::uint32_t k = m_slots[i].m_key;
        if (m_slots[i].m_hash == hash && m_keys[k] == key) return m_values[k];
    }
    return kNone;
}

void CFirstIndex::Build(const CEntryTable& table) {
    m_map = CIdMap{};
    m_map.Reserve(table.size());
    m_next.assign(table.size(), kNone);
    std::vector<std::uint32_t> last(table.size(), kNone);  // by first position
    for (std::size_t pos = 0; pos < table.size(); ++pos) {
        bool inserted = false;
        const std::uint32_t first = m_map.Insert(table[pos]->IdText(), std::uint32_t(pos), inserted);
        if (!inserted) m_next[last[first]] = std::uint32_t(pos);
        last[first] = std::uint32_t(pos);
    }
    m_built = true;
    m_size = table.size();
    m_data = table.data();
}

bool CMasterIndex::IsFor(const std::vector<CPluginFile*>& masters, std::size_t tableIndex) const {
    if (!m_built || m_sizes.size() != masters.size()) return false;
    for (std::size_t m = 0; m < masters.size(); ++m)
        if (masters[m]->Table(tableIndex).size() != m_sizes[m]) return false;
    return true;
}

void CMasterIndex::Build(const std::vector<CPluginFile*>& masters, std::size_t tableIndex) {
    m_map = CIdMap{};
    m_hits.clear();
    m_first.clear();
    m_sizes.clear();
    std::size_t total = 0;
    for (const CPluginFile* master : masters) total += master->Table(tableIndex).size();
    m_map.Reserve(total);
    m_hits.reserve(total);
    // Per ID number, its last hit so far: new hits are linked behind it,
    // which keeps each chain in master order.
    std::vector<std::uint32_t> last;
    for (std::size_t m = 0; m < masters.size(); ++m) {
        const CEntryTable& table = masters[m]->Table(tableIndex);
        m_sizes.push_back(table.size());
        for (std::size_t pos = 0; pos < table.size(); ++pos) {
            const auto hitIndex = std::uint32_t(m_hits.size());
            bool inserted = false;
            const std::uint32_t id = m_map.Insert(table[pos]->IdText(), std::uint32_t(m_first.size()), inserted);
            if (inserted) {
                m_first.push_back(hitIndex);
                last.push_back(hitIndex);
            } else if (m_hits[last[id]].m_master == m) {
                continue;  // a later entry of the same ID in the same master
            } else {
                m_hits[last[id]].m_next = hitIndex;
                last[id] = hitIndex;
            }
            m_hits.push_back({std::uint32_t(m), std::uint32_t(pos), kNone});
        }
    }
    m_built = true;
}

void CPluginBuckets::Build(const std::vector<CPluginFile*>& plugins, std::size_t tableIndex) {
    CIdMap map;
    std::size_t total = 0;
    for (const CPluginFile* plugin : plugins) total += plugin->Table(tableIndex).size();
    map.Reserve(total);
    m_idOf.assign(plugins.size(), {});
    m_slotOf.assign(plugins.size(), {});
    std::vector<std::uint32_t> count;
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        const CEntryTable& table = plugins[p]->Table(tableIndex);
        m_idOf[p].resize(table.size());
        for (std::size_t pos = 0; pos < table.size(); ++pos) {
            bool inserted = false;
            const std::uint32_t id = map.Insert(table[pos]->IdText(), std::uint32_t(count.size()), inserted);
            if (inserted) count.push_back(0);
            ++count[id];
            m_idOf[p][pos] = id;
        }
    }
    // Groups laid out one after another; filling them in plugin and table
    // order leaves each group in that order.
    std::vector<std::uint32_t> next(count.size());
    m_groupEnd.resize(count.size());
    std::uint32_t offset = 0;
    for (std::size_t id = 0; id < count.size(); ++id) {
        next[id] = offset;
        offset += count[id];
        m_groupEnd[id] = offset;
    }
    m_entries.resize(offset);
    m_plugins.resize(offset);
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        const CEntryTable& table = plugins[p]->Table(tableIndex);
        m_slotOf[p].resize(m_idOf[p].size());
        for (std::size_t pos = 0; pos < m_idOf[p].size(); ++pos) {
            const std::uint32_t slot = next[m_idOf[p][pos]]++;
            m_entries[slot] = table[pos].get();
            m_plugins[slot] = CFileIndex(p);
            m_slotOf[p][pos] = slot;
        }
    }
    ClassifyData();
}

void CPluginBuckets::ClassifyData() {
    constexpr std::size_t kEntryAhead = 8;
    m_class.assign(m_entries.size(), 0);
    struct CClass {
        const CEntry* m_entry;
        std::uint32_t m_id;
    };
    std::vector<CClass> classes;
    std::uint32_t next = 0;
    std::uint32_t start = 0;
    for (const std::uint32_t end : m_groupEnd) {
        if (end - start < 2) {  // an ID held once pairs with nothing
            if (end > start) m_class[start] = next++;
            start = end;
            continue;
        }
        classes.clear();
        // Copies are told apart by their prints first: the bytes of most
        // copies that differ are never read (they lie in mapped pages not
        // touched yet). Only copies with equal prints are compared byte by
        // byte.
        for (std::uint32_t s = start; s < end; ++s) {
            // The entries of the slots ahead are asked for while this one is
            // compared: they lie anywhere in memory.
            if (s + kEntryAhead < m_entries.size()) platform::Prefetch(m_entries[s + kEntryAhead]);
            const CEntry& entry = *m_entries[s];
            auto same = std::find_if(classes.begin(), classes.end(),
                                     [&](const CClass& c) { return c.m_entry->SameData(entry); });
            if (same == classes.end()) same = classes.insert(classes.end(), {&entry, next++});
            m_class[s] = same->m_id;
        }
        start = end;
    }
    m_classCount = next;
}

}  // namespace vantor::checks_detail
