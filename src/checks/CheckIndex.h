#pragma once
// The record types the checks report, in the order the option set and the
// conflict phase go through them, and the set of checks a run makes.
#include <array>
#include <cstdint>
#include <string_view>

namespace vantor {

inline constexpr std::size_t kCheckCount = 38;

// One checkable record type: its tag and the label of its Conflicts box.
struct CCheckType {
    std::string_view m_tag;
    std::string_view m_label;
};

// The check index: the 38 checkable tags in alphabetical order. The labels
// are shown as they stand, "CLAS- Classes" included.
extern const std::array<CCheckType, kCheckCount> kCheckIndex;
inline constexpr std::size_t kInfoCheck = 16;

// Position of a tag in the check index, or -1 for a tag no check reports.
int CheckIndexOf(std::string_view tag);

// One switch per record type, indexed by the check index; non-zero is on.
using CCheckSwitches = std::array<std::int32_t, kCheckCount>;

// Which checks a run makes.
struct CCheckSet {
    bool m_conflicts = false;
    bool m_deleted = false;
    bool m_unclean = false;
    bool m_globalChanges = false;  // the global-change listing's own

    static constexpr CCheckSet Conflicts() { return {true, false, false, false}; }
    static constexpr CCheckSet Deleted() { return {false, true, false, false}; }
    static constexpr CCheckSet Unclean() { return {false, false, true, false}; }
    static constexpr CCheckSet All() { return {true, true, true, false}; }
    static constexpr CCheckSet GlobalChanges() { return {false, false, false, true}; }

    // As the settings file keeps DefaultOps: 1 conflicts, 2 deleted,
    // 4 unclean, 8 global changes.
    static constexpr CCheckSet FromBits(std::uint8_t bits) {
        return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
    }
    constexpr std::uint8_t Bits() const {
        return std::uint8_t((m_conflicts ? 1 : 0) | (m_deleted ? 2 : 0) | (m_unclean ? 4 : 0) | (m_globalChanges ? 8 : 0));
    }
    constexpr CCheckSet operator|(const CCheckSet& o) const {
        return {m_conflicts || o.m_conflicts, m_deleted || o.m_deleted, m_unclean || o.m_unclean,
                m_globalChanges || o.m_globalChanges};
    }
    // Whether the warning phase runs: a check that is not a conflict.
    constexpr bool Warnings() const { return m_deleted || m_unclean || m_globalChanges; }
    constexpr bool Any() const { return m_conflicts || Warnings(); }
    bool operator==(const CCheckSet&) const = default;
};

}  // namespace vantor
