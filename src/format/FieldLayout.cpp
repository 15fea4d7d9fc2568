#include "format/FieldLayout.h"

#include <array>
#include <charconv>
#include <cmath>

#include "format/LittleEndian.h"

namespace vantor {

namespace {

constexpr std::size_t SizeOf(EFieldType type) {
    switch (type) {
        case EFieldType::U8:
        case EFieldType::I8: return 1;
        case EFieldType::U16:
        case EFieldType::I16: return 2;
        case EFieldType::I32:
        case EFieldType::F32: return 4;
    }
    return 0;
}

struct CNamedType {
    std::string_view m_name;
    EFieldType m_type;
};

// Fields laid end to end, as the game writes its data blocks.
template <std::size_t N>
constexpr std::array<CField, N> Fields(const CNamedType (&list)[N]) {
    std::array<CField, N> fields{};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < N; ++i) {
        fields[i] = CField{list[i].m_name, offset, SizeOf(list[i].m_type), list[i].m_type};
        offset += fields[i].m_size;
    }
    return fields;
}

template <std::size_t N>
constexpr std::size_t Span(const std::array<CField, N>& fields) {
    return fields.back().m_offset + fields.back().m_size;
}

using enum EFieldType;

constexpr CNamedType kWeaponList[] = {
    {"Weight", F32},        {"Value", I32},        {"Type", I16},        {"Health", U16},
    {"Speed", F32},         {"Reach", F32},        {"Enchant Points", U16}, {"Chop Min", U8},
    {"Chop Max", U8},       {"Slash Min", U8},     {"Slash Max", U8},    {"Thrust Min", U8},
    {"Thrust Max", U8},     {"Flags", I32},
};
constexpr auto kWeapon = Fields(kWeaponList);

constexpr CNamedType kArmorList[] = {
    {"Type", I32}, {"Weight", F32}, {"Value", I32}, {"Health", I32}, {"Enchant Points", I32}, {"Armor Rating", I32},
};
constexpr auto kArmor = Fields(kArmorList);

constexpr CNamedType kClothingList[] = {{"Type", I32}, {"Weight", F32}, {"Value", U16}, {"Enchant Points", U16}};
constexpr auto kClothing = Fields(kClothingList);

constexpr CNamedType kNpcList[] = {
    {"Level", I16},          {"Strength", U8},      {"Intelligence", U8},   {"Willpower", U8},
    {"Agility", U8},         {"Speed", U8},         {"Endurance", U8},      {"Personality", U8},
    {"Luck", U8},            {"Block", U8},         {"Armorer", U8},        {"Medium Armor", U8},
    {"Heavy Armor", U8},     {"Blunt Weapon", U8},  {"Long Blade", U8},     {"Axe", U8},
    {"Spear", U8},           {"Athletics", U8},     {"Enchant", U8},        {"Destruction", U8},
    {"Alteration", U8},      {"Illusion", U8},      {"Conjuration", U8},    {"Mysticism", U8},
    {"Restoration", U8},     {"Alchemy", U8},       {"Unarmored", U8},      {"Security", U8},
    {"Sneak", U8},           {"Acrobatics", U8},    {"Light Armor", U8},    {"Short Blade", U8},
    {"Marksman", U8},        {"Mercantile", U8},    {"Speechcraft", U8},    {"Hand-to-hand", U8},
    {"Unknown", U8},         {"Health", U16},       {"Magicka", U16},       {"Fatigue", U16},
    {"Disposition", U8},     {"Reputation", U8},    {"Rank", U8},           {"Unknown 2", U8},
    {"Gold", I32},
};
constexpr auto kNpc = Fields(kNpcList);

// The short form, whose stats the game calculates.
constexpr CNamedType kNpcAutoList[] = {
    {"Level", I16},     {"Disposition", U8}, {"Reputation", U8}, {"Rank", U8},
    {"Unknown 1", U8},  {"Unknown 2", U8},   {"Unknown 3", U8},  {"Gold", I32},
};
constexpr auto kNpcAuto = Fields(kNpcAutoList);

constexpr CNamedType kCreatureList[] = {
    {"Type", I32},           {"Level", I32},          {"Strength", I32},       {"Intelligence", I32},
    {"Willpower", I32},      {"Agility", I32},        {"Speed", I32},          {"Endurance", I32},
    {"Personality", I32},    {"Luck", I32},           {"Health", I32},         {"Magicka", I32},
    {"Fatigue", I32},        {"Soul", I32},           {"Combat", I32},         {"Magic", I32},
    {"Stealth", I32},        {"Attack 1 Min", I32},   {"Attack 1 Max", I32},   {"Attack 2 Min", I32},
    {"Attack 2 Max", I32},   {"Attack 3 Min", I32},   {"Attack 3 Max", I32},   {"Gold", I32},
};
constexpr auto kCreature = Fields(kCreatureList);

constexpr CNamedType kSpellList[] = {{"Type", I32}, {"Cost", I32}, {"Flags", I32}};
constexpr auto kSpell = Fields(kSpellList);

constexpr CNamedType kEnchantmentList[] = {{"Type", I32}, {"Cost", I32}, {"Charge", I32}, {"Auto Calculate", I32}};
constexpr auto kEnchantment = Fields(kEnchantmentList);

constexpr CNamedType kPotionList[] = {{"Weight", F32}, {"Value", I32}, {"Auto Calculate", I32}};
constexpr auto kPotion = Fields(kPotionList);

constexpr CNamedType kAiList[] = {
    {"Hello", U8}, {"Unknown 1", U8}, {"Fight", U8},     {"Flee", U8},
    {"Alarm", U8}, {"Unknown 2", U8}, {"Unknown 3", U8}, {"Unknown 4", U8},
    {"Services", I32},
};
constexpr auto kAi = Fields(kAiList);

constexpr std::array kLayouts = {
    CFieldLayout{"WEAP", "WPDT", Span(kWeapon), kWeapon},
    CFieldLayout{"ARMO", "AODT", Span(kArmor), kArmor},
    CFieldLayout{"CLOT", "CTDT", Span(kClothing), kClothing},
    CFieldLayout{"NPC_", "NPDT", Span(kNpc), kNpc},
    CFieldLayout{"NPC_", "NPDT", Span(kNpcAuto), kNpcAuto},
    CFieldLayout{"CREA", "NPDT", Span(kCreature), kCreature},
    CFieldLayout{"SPEL", "SPDT", Span(kSpell), kSpell},
    CFieldLayout{"ENCH", "ENDT", Span(kEnchantment), kEnchantment},
    CFieldLayout{"ALCH", "ALDT", Span(kPotion), kPotion},
    CFieldLayout{"NPC_", "AIDT", Span(kAi), kAi},
    CFieldLayout{"CREA", "AIDT", Span(kAi), kAi},
};

static_assert(Span(kWeapon) == 32 && Span(kArmor) == 24 && Span(kClothing) == 12 && Span(kNpc) == 52 &&
              Span(kNpcAuto) == 12 && Span(kCreature) == 96 && Span(kSpell) == 12 && Span(kEnchantment) == 16 &&
              Span(kPotion) == 12 && Span(kAi) == 12);

std::int64_t IntegerAt(const CField& field, std::string_view payload) {
    const std::size_t at = field.m_offset;
    switch (field.m_type) {
        case U8: return le::U16(payload, at) & 0xFF;
        case I8: return le::I8(payload, at);
        case U16: return le::U16(payload, at);
        case I16: return le::I16(payload, at);
        case I32: return le::I32(payload, at);
        case F32: break;
    }
    return 0;
}

}  // namespace

const CFieldLayout* FindFieldLayout(std::string_view record, std::string_view sub, std::size_t payloadSize) {
    for (const CFieldLayout& layout : kLayouts)
        if (layout.m_record == record && layout.m_sub == sub && layout.m_size == payloadSize) return &layout;
    return nullptr;
}

std::span<const CFieldLayout> AllFieldLayouts() { return kLayouts; }

std::string FieldText(const CField& field, std::string_view payload) {
    if (field.m_offset + field.m_size > payload.size()) return {};
    if (field.m_type != F32) return std::to_string(IntegerAt(field, payload));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, le::F32(payload, field.m_offset)).ptr;
    return std::string(text, end);
}

bool SameField(const CField& field, std::string_view a, std::string_view b) {
    const std::size_t end = field.m_offset + field.m_size;
    if (end > a.size() || end > b.size()) return a.size() == b.size() && a.substr(field.m_offset) == b.substr(field.m_offset);
    if (field.m_type == F32) {
        const float x = le::F32(a, field.m_offset), y = le::F32(b, field.m_offset);
        if (!std::isnan(x) && !std::isnan(y)) return x == y;
    }
    return a.substr(field.m_offset, field.m_size) == b.substr(field.m_offset, field.m_size);
}

std::vector<std::size_t> DifferingFields(const CFieldLayout& layout, std::string_view a, std::string_view b) {
    std::vector<std::size_t> differ;
    for (std::size_t i = 0; i < layout.m_fields.size(); ++i)
        if (!SameField(layout.m_fields[i], a, b)) differ.push_back(i);
    return differ;
}

}  // namespace vantor
