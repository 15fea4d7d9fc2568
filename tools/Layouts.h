#pragma once
// Record layouts shared by the sample and the benchmark generators: each
// builds the subrecords of one record type the way the game's own files lay
// them out, from explicit fields.
#include <cstdint>
#include <string>
#include <vector>

#include "format/RecordWriter.h"

namespace vantor::mkdata {

// The record writer's pieces, by their short names in every generator.
using records::CRecordWriter;
using records::CSub;
using records::Dele;
using records::F32;
using records::Fixed;
using records::I16;
using records::I32;
using records::Sub;
using records::Z;
using CSubs = std::vector<CSub>;

// splitmix64: small, fast and the same on every platform, unlike the
// standard distributions.
class CRng {
public:
    explicit CRng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next();
    // Uniform in [lo, hi] (inclusive).
    std::int64_t Range(std::int64_t lo, std::int64_t hi);
    float Real(float lo, float hi);
    bool Chance(double p);
    std::string Bytes(std::size_t n);

private:
    std::uint64_t m_state;
};

// Mixes several numbers into one seed.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b, std::uint64_t c = 0, std::uint64_t d = 0);

// A pronounceable word made from the digits of `n`; distinct n give distinct
// words.
std::string Word(std::uint64_t n, std::size_t minSyllables = 2);

using CHeader = records::CPluginHeader;
inline CSubs Header(const CHeader& header) { return records::HeaderSubRecords(header); }

CSubs GmstString(const std::string& id, const std::string& value);
CSubs GmstInt(const std::string& id, std::int32_t value);
CSubs GmstFloat(const std::string& id, float value);
// type is 's' (short), 'l' (long) or 'f' (float); globals always store a float.
CSubs Glob(const std::string& id, char type, float value);

struct CSkill {
    std::int32_t m_index = 0;
    std::int32_t m_attribute = 0;
    std::int32_t m_specialization = 0;
    float m_uses[4] = {1, 1, 1, 1};
    std::string m_description{};
};
CSubs Skil(const CSkill& s);

struct CEffect {
    std::int32_t m_index = 0;
    std::int32_t m_school = 0;
    float m_baseCost = 1;
    std::int32_t m_flags = 0;
    std::string m_icon{};
    std::string m_particle{};
    std::string m_description{};
};
CSubs Mgef(const CEffect& e);

struct CScript {
    std::string m_name{};
    std::vector<std::string> m_shorts{}, m_longs{}, m_floats{};
    std::string m_text{};
};
// SCHD (name in a 32-byte field and five counts), SCVR, SCDT, SCTX. The
// compiled bytes are derived from the text so that equal text gives equal data.
CSubs Scpt(const CScript& s);

CSubs Stat(const std::string& id, const std::string& model);

struct CItem {
    std::string m_id{}, m_name{}, m_model{}, m_icon{}, m_script{};
    float m_weight = 1;
    std::int32_t m_value = 1;
};
CSubs Misc(const CItem& item);

struct CWeapon {
    CItem m_item{};
    std::int16_t m_type = 1;  // 1: long blade, one hand
    std::int16_t m_health = 100;
    float m_speed = 1, m_reach = 1;
    std::int16_t m_enchantPoints = 0;
    std::uint8_t m_chop[2] = {1, 5}, m_slash[2] = {1, 5}, m_thrust[2] = {1, 5};
    std::int32_t m_flags = 0;
    std::string m_enchantment{};
};
CSubs Weap(const CWeapon& w);

struct CCarried {
    std::int32_t m_count{};
    std::string m_id{};
};
struct CNpc {
    std::string m_id{}, m_name{}, m_race{}, m_class{}, m_faction{}, m_head{}, m_hair{}, m_script{};
    bool m_female = false;
    std::int16_t m_level = 1;
    std::uint8_t m_disposition = 50;
    std::int32_t m_gold = 0;
    std::vector<CCarried> m_items{};
    std::vector<std::string> m_spells{};
    std::uint8_t m_hello = 30, m_fight = 30, m_flee = 30, m_alarm = 0;
    std::int32_t m_services = 0;
};
// Autocalculated stats (NPDT of 12 bytes), as most townspeople have.
CSubs Npc(const CNpc& n);

struct CReference {
    std::uint32_t m_index = 1;
    std::string m_id{};
    float m_pos[3] = {0, 0, 0};
    float m_rot[3] = {0, 0, 0};
    float m_scale = 1;  // written only when not 1
    std::int32_t m_count = 1;  // written only when not 1
    std::string m_owner{};
    bool m_deleted = false;
};
CSubs Reference(const CReference& r);

struct CCell {
    std::string m_name{};
    std::int32_t m_flags = 0;  // bit 0: interior
    std::int32_t m_x = 0, m_y = 0;
    std::string m_region{};         // exterior only
    std::uint32_t m_mapColor = 0;  // exterior only
    float m_water = 0;             // interior only
    std::uint32_t m_ambient[3] = {0x202020, 0x808080, 0x404040};
    float m_fog = 1;
    std::vector<CReference> m_refs{};
    bool m_deleted = false;  // DELE between NAME and DATA, as the game's editor writes it
    // The first references are persistent: written before NAM0, which counts the rest.
    std::size_t m_persistent = 0;
};
CSubs Cell(const CCell& c);

// A 65x65 landscape square: INTV, DATA, VNML, VHGT, WNAM, VTEX and, when
// asked for, VCLR. Heights come from `shape` so that a changed shape changes
// the bytes.
CSubs Land(std::int32_t x, std::int32_t y, std::uint64_t shape, bool colours);

struct CGridPoint {
    std::int32_t m_x{}, m_y{}, m_z{};
};
struct CPathGrid {
    std::int32_t m_x = 0, m_y = 0;
    std::int16_t m_granularity = 1024;
    std::string m_cellName{};
    std::vector<CGridPoint> m_points{};
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_edges{};
};
CSubs Pgrd(const CPathGrid& g);

enum class EDialType : std::uint8_t { Topic = 0, Voice = 1, Greeting = 2, Persuasion = 3, Journal = 4 };
CSubs Dial(const std::string& topic, EDialType type);

struct CResponse {
    std::string m_id{}, m_prev{}, m_next{};
    EDialType m_type = EDialType::Topic;
    std::int32_t m_disposition = 0;  // journal index for journal entries
    std::string m_actor{}, m_race{}, m_class{}, m_faction{}, m_cell{};
    std::string m_text{};
    std::string m_result{};  // BNAM result script
    std::vector<std::string> m_conditions{};  // SCVR payloads
    bool m_questName = false, m_finished = false;
};
CSubs Info(const CResponse& r);

// Marks a record deleted the way the editor does: its ID subrecords and DELE.
CSubs Deleted(CSubs idSubs);

}  // namespace vantor::mkdata
