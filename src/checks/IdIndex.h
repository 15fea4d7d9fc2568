#pragma once
// Hash indexes by entry ID for the check engine. IDs are compared as
// zero-terminated texts (CEntry::IdText), so every key is a view into an
// entry's ID; the entries outlive the index.
#include <cstdint>
#include <string_view>
#include <vector>

#include "checks/Finding.h"
#include "format/PluginFile.h"

namespace vantor::checks_detail {

inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Open-addressing map from an ID text to a 32-bit value.
class CIdMap {
public:
    void Reserve(std::size_t count);
    // The value of `key`, inserting `fresh` when the key is new.
    std::uint32_t& Insert(std::string_view key, std::uint32_t fresh, bool& inserted);
    // kNone when absent.
    std::uint32_t Find(std::string_view key) const;
    std::size_t Size() const { return m_keys.size(); }

private:
    // A slot names its key by number; keys and values lie apart, so the
    // table a probe walks is 8 bytes a slot.
    struct CSlot {
        std::uint32_t m_hash = 0;
        std::uint32_t m_key = kNone;  // kNone: empty
    };
    void Grow();
    std::vector<CSlot> m_slots;
    std::vector<std::string_view> m_keys;
    std::vector<std::uint32_t> m_values;
};

// Entries of each ID in one table, in table order. It remembers the
// table's size and storage so a table changed since (an entry erased) is
// noticed and the index rebuilt.
class CFirstIndex {
public:
    bool IsFor(const CEntryTable& table) const {
        return m_built && table.size() == m_size && table.data() == m_data;
    }
    void Build(const CEntryTable& table);
    // Position of the first entry of the ID, or kNone.
    std::uint32_t First(std::string_view id) const { return m_map.Find(id); }
    // Position of the next entry with the same ID, or kNone.
    std::uint32_t Next(std::uint32_t pos) const { return m_next[pos]; }

private:
    CIdMap m_map;
    std::vector<std::uint32_t> m_next;
    bool m_built = false;
    std::size_t m_size = 0;
    const void* m_data = nullptr;
};

// For one record tag: every ID the masters hold, with the masters that hold
// it in master-list order and the position of its first entry in each.
class CMasterIndex {
public:
    struct CHit {
        std::uint32_t m_master;
        std::uint32_t m_pos;
        std::uint32_t m_next;  // next master holding the same ID, or kNone
    };
    bool IsFor(const std::vector<CPluginFile*>& masters, std::size_t tableIndex) const;
    void Build(const std::vector<CPluginFile*>& masters, std::size_t tableIndex);
    // First hit of an ID, or kNone.
    std::uint32_t Head(std::string_view id) const {
        std::uint32_t number = m_map.Find(id);
        return number == kNone ? kNone : m_first[number];
    }
    const CHit& Hit(std::uint32_t index) const { return m_hits[index]; }

private:
    CIdMap m_map;                      // ID -> ID number
    std::vector<std::uint32_t> m_first;  // ID number -> its first hit
    std::vector<CHit> m_hits;
    std::vector<std::size_t> m_sizes;  // table size per master when built
    bool m_built = false;
};

// For one record tag over the plugin list: the entries of each ID grouped in
// plugin order and table order, so the pairs of equal IDs between plugins
// are found without comparing every entry with every other.
class CPluginBuckets {
public:
    void Build(const std::vector<CPluginFile*>& plugins, std::size_t tableIndex);
    // The slots of the entry's ID that follow it, and the end of its group.
    std::uint32_t SlotOf(std::size_t plugin, std::size_t pos) const { return m_slotOf[plugin][pos]; }
    std::uint32_t GroupOf(std::size_t plugin, std::size_t pos) const { return m_idOf[plugin][pos]; }
    std::uint32_t GroupEnd(std::uint32_t group) const { return m_groupEnd[group]; }
    std::size_t GroupCount() const { return m_groupEnd.size(); }
    std::size_t SlotCount() const { return m_entries.size(); }
    // A slot's entry itself, not its position: the conflict phase reads
    // slots of other plugins in no order, and a position would cost a
    // second miss through that plugin's table. Its plugin lies apart, so a
    // slot costs ten bytes, not sixteen.
    const CEntry* EntryAt(std::uint32_t slot) const { return m_entries[slot]; }
    // A checker holds fewer than kMaxFiles plugins, so their numbers fit.
    CFileIndex PluginAt(std::uint32_t slot) const { return m_plugins[slot]; }
    // The slot's data class, below ClassCount(): two slots of one group hold
    // the same data exactly when their classes are equal, and slots of two
    // groups never share one. Each distinct data is compared byte by byte
    // once per group, not once per pair.
    std::uint32_t ClassOf(std::uint32_t slot) const { return m_class[slot]; }
    std::size_t ClassCount() const { return m_classCount; }

private:
    void ClassifyData();

    std::vector<std::vector<std::uint32_t>> m_idOf;    // per plugin, per entry: ID number
    std::vector<std::vector<std::uint32_t>> m_slotOf;  // per plugin, per entry: its slot
    std::vector<std::uint32_t> m_groupEnd;             // per ID number: one past its last slot
    std::vector<const CEntry*> m_entries;              // per slot
    std::vector<CFileIndex> m_plugins;                 // per slot
    std::vector<std::uint32_t> m_class;                // per slot: data class
    std::size_t m_classCount = 0;
};

}  // namespace vantor::checks_detail
