#pragma once
// The named fields of the fixed-size data subrecords of object records
// (a weapon's WPDT, an NPC's NPDT, the AI data ...), so that two copies of a
// record can be compared, shown and combined field by field instead of as
// opaque bytes. Every byte of such a payload belongs to exactly one field,
// padding included, so a payload rebuilt from its fields is the payload.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class EFieldType { U8, I8, U16, I16, I32, F32 };

struct CField {
    std::string_view m_name;  // as the user reads it: "Weight", "Chop Max"
    std::size_t m_offset = 0;
    std::size_t m_size = 0;
    EFieldType m_type = EFieldType::I32;
};

struct CFieldLayout {
    std::string_view m_record;  // "WEAP"
    std::string_view m_sub;     // "WPDT"
    std::size_t m_size = 0;     // the payload's length
    std::span<const CField> m_fields;
};

// The layout of the data subrecord `sub` of a record of type `record` whose
// payload is `payloadSize` bytes long, or nullptr. An NPC's NPDT has a long
// and a short (auto-calculated) form; a payload of any other length has no
// layout and is compared as bytes.
const CFieldLayout* FindFieldLayout(std::string_view record, std::string_view sub, std::size_t payloadSize);

// Every layout, for tests and tools.
std::span<const CFieldLayout> AllFieldLayouts();

// The field's value in the payload as text: integers in decimal, floats in
// the shortest form that reads back as the same number.
std::string FieldText(const CField& field, std::string_view payload);

// Whether the field holds the same value in both payloads. Floats compare as
// numbers (0.0 and -0.0 are one weight), and a NaN equals only its own bytes.
bool SameField(const CField& field, std::string_view a, std::string_view b);

// The indexes of the layout's fields that differ between two payloads of its
// size.
std::vector<std::size_t> DifferingFields(const CFieldLayout& layout, std::string_view a, std::string_view b);

}  // namespace vantor
