#pragma once
// The record types of the game's files, in one table: what every layer knows
// about a tag is asked here, never tested against a string where it is used.
// Adding a record type is one row (and its count in kRecordTypeCount).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantor {

// How a record's ID is found in its data.
enum class ERecordId : std::uint8_t {
    Name,       // its NAME subrecord
    Index,      // its INDX number (magic effects, skills)
    Script,     // the name in its SCHD header
    Cell,       // "x,y,..." or the cell's name, from NAME and DATA
    Landscape,  // its grid position
    PathGrid,   // its cell, from NAME and DATA
    Topic,      // a dialogue topic (DIAL): its NAME
    Response,   // a response (INFO): its INAM, under the topic before it
};

// The option without which the reader keeps no data of the type (only its
// ID and whether it is deleted).
enum class EExtractOption : std::uint8_t { None, CellData, DialogText, LandData, PathGridData };

struct CRecordType {
    std::string_view m_tag;
    // The words the lists show for an entry of the type.
    std::string_view m_description;
    ERecordId m_id = ERecordId::Name;
    EExtractOption m_extract = EExtractOption::None;
    // Whether an entry is ever judged unclean or a global change against a
    // master's copy (responses only when the options ask for it).
    bool m_comparedWithMasters = true;

    bool IsCell() const { return m_id == ERecordId::Cell; }
    bool IsTopic() const { return m_id == ERecordId::Topic; }
    bool IsResponse() const { return m_id == ERecordId::Response; }
    bool IsLandscape() const { return m_id == ERecordId::Landscape; }
};

inline constexpr std::size_t kRecordTypeCount = 41;

// Ordered by tag: a type's place here is the index of its table in a
// plugin's model. The SNDG description really ends in a blank.
inline constexpr std::array<CRecordType, kRecordTypeCount> kRecordTypes = {{
    {"ACTI", "Activator Entry"},
    {"ALCH", "Alchemy Item Entry"},
    {"APPA", "Apparatus Entry"},
    {"ARMO", "Armor Entry"},
    {"BODY", "Body Entry"},
    {"BOOK", "Book Entry"},
    {"BSGN", "BirthSign Entry"},
    {"CELL", "Cell Entry", ERecordId::Cell, EExtractOption::CellData, false},
    {"CLAS", "Class Settings"},
    {"CLOT", "Cloth Settings"},
    {"CONT", "Container Entry"},
    {"CREA", "Creature Entry"},
    {"DIAL", "Dialog Topic", ERecordId::Topic, EExtractOption::None, false},
    {"DOOR", "Door Entry"},
    {"ENCH", "Enchantment Settings"},
    {"FACT", "Faction Settings"},
    {"GLOB", "Global Settings"},
    {"GMST", "Gameplay Settings"},
    {"INFO", "Dialog Text", ERecordId::Response, EExtractOption::DialogText},
    {"INGR", "Ingredient Entry"},
    {"LAND", "Landscape Entry", ERecordId::Landscape, EExtractOption::LandData, false},
    {"LEVC", "Creature Leveled List"},
    {"LEVI", "Item Leveled List"},
    {"LIGH", "Light Settings"},
    {"LOCK", "Lockpick Tool"},
    {"LTEX", "Texture Entry", ERecordId::Name, EExtractOption::None, false},
    {"MGEF", "Magic Effects Entry", ERecordId::Index},
    {"MISC", "Misc. Items Entry"},
    {"NPC_", "NPC Entry"},
    {"PGRD", "Path Grid", ERecordId::PathGrid, EExtractOption::PathGridData},
    {"PROB", "Probe Tool"},
    {"RACE", "Race Settings"},
    {"REGN", "Region Settings Entry"},
    {"REPA", "Repair Item Entry"},
    {"SCPT", "Script", ERecordId::Script},
    {"SKIL", "Skill Entry", ERecordId::Index},
    {"SNDG", "Sound Gen "},
    {"SOUN", "Sound Entry"},
    {"SPEL", "Spell Entry"},
    {"STAT", "Static Entry"},
    {"WEAP", "Weapon Entry"},
}};

constexpr bool SortedByTag() {
    for (std::size_t t = 1; t < kRecordTypes.size(); ++t)
        if (!(kRecordTypes[t - 1].m_tag < kRecordTypes[t].m_tag)) return false;
    return true;
}
static_assert(SortedByTag(), "a tag is found by halving the table");

// The file's header record, which begins every plugin and master.
inline constexpr std::string_view kHeaderTag = "TES3";

// The place of a tag in kRecordTypes, or nullopt for a tag no table holds.
constexpr std::optional<std::size_t> RecordTypeIndex(std::string_view tag) {
    std::size_t low = 0, high = kRecordTypes.size();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (kRecordTypes[mid].m_tag < tag)
            low = mid + 1;
        else
            high = mid;
    }
    if (low < kRecordTypes.size() && kRecordTypes[low].m_tag == tag) return low;
    return std::nullopt;
}

// The type of a tag, or nullptr for a tag no table holds.
constexpr const CRecordType* FindRecordType(std::string_view tag) {
    const auto index = RecordTypeIndex(tag);
    return index ? &kRecordTypes[*index] : nullptr;
}

// The table of the (first) type whose ID is found that way: TableOf(Cell) is
// where a plugin keeps its cells.
constexpr std::size_t TableOf(ERecordId id) {
    for (std::size_t t = 0; t < kRecordTypes.size(); ++t)
        if (kRecordTypes[t].m_id == id) return t;
    return kRecordTypes.size();
}

// Records a file holds that are no entries of a table: the header and what
// may stand in it; the reader passes over them.
constexpr bool IsHeaderRecord(std::string_view tag) { return tag == kHeaderTag || tag == "MAST" || tag == "SSCR"; }

}  // namespace vantor
