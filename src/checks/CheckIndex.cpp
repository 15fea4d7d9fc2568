#include "checks/CheckIndex.h"

#include <algorithm>

namespace vantor {

const std::array<CCheckType, kCheckCount> kCheckIndex = {{
    {"ACTI", "ACTI - Activators"},    {"ALCH", "ALCH - Alchemy"},       {"APPA", "APPA - Apparatus"},
    {"ARMO", "ARMO - Armor"},         {"BODY", "BODY - Body"},          {"BOOK", "BOOK - Book"},
    {"BSGN", "BSGN - Birthsign"},     {"CLAS", "CLAS- Classes"},        {"CLOT", "CLOT - Cloths"},
    {"CONT", "CONT - Containers"},    {"CREA", "CREA - Creatures"},     {"DOOR", "DOOR - Doors"},
    {"ENCH", "ENCH - Enchantments"},  {"FACT", "FACT - Factions"},      {"GLOB", "GLOB - Globals"},
    {"GMST", "GMST - Gameplay"},      {"INFO", "INFO - Dialog Text"},   {"INGR", "INGR - Ingredients"},
    {"LAND", "LAND - Landscape"},     {"LEVC", "LEVC - Creature Lists"}, {"LEVI", "LEVI - Item Lists"},
    {"LIGH", "LIGH - Lights"},        {"LOCK", "LOCK - Lockpicks"},     {"MGEF", "MGEF - Magic Effects"},
    {"MISC", "MISC - Miscellaneous"}, {"NPC_", "NPC_ - Npc Settings"},  {"PGRD", "PGRD - Path Grid"},
    {"PROB", "PROB - Probes"},        {"RACE", "RACE - Race Settings"}, {"REGN", "REGN - Region Settings"},
    {"REPA", "REPA - Repair Items"},  {"SCPT", "SCPT - Scripts"},       {"SKIL", "SKIL - Skill Settings"},
    {"SNDG", "SNDG - Sound Gen"},     {"SOUN", "SOUN - Sounds"},        {"SPEL", "SPEL - Spells"},
    {"STAT", "STAT - Statics"},       {"WEAP", "WEAP - Weapons"},
}};

int CheckIndexOf(std::string_view tag) {
    auto it = std::lower_bound(kCheckIndex.begin(), kCheckIndex.end(), tag,
                               [](const CCheckType& c, std::string_view t) { return c.m_tag < t; });
    return (it != kCheckIndex.end() && it->m_tag == tag) ? int(it - kCheckIndex.begin()) : -1;
}

}  // namespace vantor
