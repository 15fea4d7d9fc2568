#pragma once
// The record types the checks report, in the order the option set and the
// conflict phase go through them, and the bits of a check mask.
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

// Bits of DefaultOps and of a check command's own mask.
enum ECheckBits : std::uint8_t {
    kCheckConflicts = 1,
    kCheckDeleted = 2,
    kCheckUnclean = 4,
    kCheckAll = 7,
    kCheckGlobalChanges = 8,  // the global-change listing's own
};

}  // namespace vantor
