#include "Layouts.h"

#include <algorithm>
#include <cmath>

namespace vantor::mkdata {

std::uint64_t CRng::Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::int64_t CRng::Range(std::int64_t lo, std::int64_t hi) {
    if (hi <= lo) return lo;
    return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
}

float CRng::Real(float lo, float hi) {
    // 24 random bits give every float in [0, 1) the same chance on any platform.
    return lo + (hi - lo) * static_cast<float>(Next() >> 40) / 16777216.0f;
}

bool CRng::Chance(double p) { return static_cast<double>(Next() >> 11) / 9007199254740992.0 < p; }

std::string CRng::Bytes(std::size_t n) {
    std::string out(n, '\0');
    std::size_t i = 0;
    while (i < n) {
        std::uint64_t v = Next();
        for (int k = 0; k < 8 && i < n; ++k, ++i) out[i] = static_cast<char>((v >> (8 * k)) & 0xFF);
    }
    return out;
}

std::uint64_t Mix(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
    CRng rng(a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull));
    rng.Next();
    CRng second(rng.Next() ^ (c * 0xD6E8FEB86659FD93ull) ^ (d + 0xA0761D6478BD642Full));
    return second.Next();
}

std::string Word(std::uint64_t n, std::size_t minSyllables) {
    static const char* const kSyllables[32] = {"ald", "bal", "dra", "fen", "gor", "hla", "ind", "jor",
                                               "kel", "lor", "mar", "nel", "oth", "pel", "qua", "ral",
                                               "sad", "tel", "uri", "ves", "vor", "wen", "xan", "yas",
                                               "zan", "bre", "cor", "dun", "eth", "fal", "gil", "hin"};
    std::string out;
    std::size_t count = 0;
    do {
        out += kSyllables[n % 32];
        n /= 32;
        ++count;
    } while (n > 0 || count < minSyllables);
    return out;
}

CSubs GmstString(const std::string& id, const std::string& value) {
    // The game's own string settings carry no terminating NUL.
    return {records::Name(id), Sub("STRV", value)};
}

CSubs GmstInt(const std::string& id, std::int32_t value) { return {records::Name(id), Sub("INTV", I32(value))}; }

CSubs GmstFloat(const std::string& id, float value) { return {records::Name(id), Sub("FLTV", F32(value))}; }

CSubs Glob(const std::string& id, char type, float value) {
    return {records::Name(id), Sub("FNAM", std::string(1, type)), Sub("FLTV", F32(value))};
}

CSubs Skil(const CSkill& s) {
    std::string skdt = I32(s.m_attribute) + I32(s.m_specialization);
    for (float u : s.m_uses) skdt += F32(u);
    return {Sub("INDX", I32(s.m_index)), Sub("SKDT", skdt), Sub("DESC", s.m_description)};
}

CSubs Mgef(const CEffect& e) {
    std::string medt = I32(e.m_school) + F32(e.m_baseCost) + I32(e.m_flags) + I32(255) + I32(128) + I32(64) +
                       F32(1.0f) + F32(1.0f) + F32(1.0f);
    return {Sub("INDX", I32(e.m_index)), Sub("MEDT", medt), Sub("ITEX", e.m_icon), Sub("PTEX", e.m_particle),
            Sub("DESC", e.m_description)};
}

CSubs Scpt(const CScript& s) {
    std::string vars;
    for (const auto* list : {&s.m_shorts, &s.m_longs, &s.m_floats})
        for (const auto& v : *list) vars += Z(v);
    // Stand-in for compiled code: a stable function of the text, about a
    // third of its length as the game's compiler produces.
    std::string compiled;
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < s.m_text.size(); ++i) {
        h = (h ^ static_cast<unsigned char>(s.m_text[i])) * 1099511628211ull;
        if (i % 3 == 2) compiled += static_cast<char>(h & 0xFF);
    }
    const auto count = [](const std::vector<std::string>& v) { return static_cast<std::int32_t>(v.size()); };
    std::string schd = Fixed(s.m_name, 32) + I32(count(s.m_shorts)) + I32(count(s.m_longs)) + I32(count(s.m_floats)) +
                       I32(static_cast<std::int32_t>(compiled.size())) + I32(static_cast<std::int32_t>(vars.size()));
    CSubs subs{Sub("SCHD", schd)};
    if (!vars.empty()) subs.push_back(Sub("SCVR", vars));
    subs.push_back(Sub("SCDT", compiled));
    subs.push_back(Sub("SCTX", s.m_text));
    return subs;
}

CSubs Stat(const std::string& id, const std::string& model) { return {records::Name(id), Sub("MODL", Z(model))}; }

namespace {

void AddItemHead(CSubs& subs, const CItem& item) {
    subs.push_back(records::Name(item.m_id));
    subs.push_back(Sub("MODL", Z(item.m_model)));
    subs.push_back(Sub("FNAM", Z(item.m_name)));
}

void AddItemTail(CSubs& subs, const CItem& item) {
    if (!item.m_script.empty()) subs.push_back(Sub("SCRI", Z(item.m_script)));
    if (!item.m_icon.empty()) subs.push_back(Sub("ITEX", Z(item.m_icon)));
}

}  // namespace

CSubs Misc(const CItem& item) {
    CSubs subs;
    AddItemHead(subs, item);
    subs.push_back(Sub("MCDT", F32(item.m_weight) + I32(item.m_value) + I32(0)));
    AddItemTail(subs, item);
    return subs;
}

CSubs Weap(const CWeapon& w) {
    CSubs subs;
    AddItemHead(subs, w.m_item);
    std::string wpdt = F32(w.m_item.m_weight) + I32(w.m_item.m_value) + I16(w.m_type) + I16(w.m_health) +
                       F32(w.m_speed) + F32(w.m_reach) + I16(w.m_enchantPoints);
    for (const auto* pair : {w.m_chop, w.m_slash, w.m_thrust}) wpdt += std::string{char(pair[0]), char(pair[1])};
    wpdt += I32(w.m_flags);
    subs.push_back(Sub("WPDT", wpdt));
    AddItemTail(subs, w.m_item);
    if (!w.m_enchantment.empty()) subs.push_back(Sub("ENAM", Z(w.m_enchantment)));
    return subs;
}

CSubs Npc(const CNpc& n) {
    CSubs subs{records::Name(n.m_id), Sub("FNAM", Z(n.m_name)), Sub("RNAM", Z(n.m_race)), Sub("CNAM", Z(n.m_class)),
               Sub("ANAM", Z(n.m_faction)), Sub("BNAM", Z(n.m_head)), Sub("KNAM", Z(n.m_hair))};
    if (!n.m_script.empty()) subs.push_back(Sub("SCRI", Z(n.m_script)));
    std::string npdt = I16(n.m_level) + std::string{char(n.m_disposition), 0, 0, 0, 0, 0} + I32(n.m_gold);
    subs.push_back(Sub("NPDT", npdt));
    // Flags: autocalculated stats (0x10), plus female (0x01).
    subs.push_back(Sub("FLAG", I32(0x10 | (n.m_female ? 0x01 : 0))));
    for (const auto& item : n.m_items) subs.push_back(Sub("NPCO", I32(item.m_count) + Fixed(item.m_id, 32)));
    for (const auto& spell : n.m_spells) subs.push_back(Sub("NPCS", Fixed(spell, 32)));
    std::string aidt = std::string{char(n.m_hello), 0, char(n.m_fight), char(n.m_flee), char(n.m_alarm), 0, 0, 0} +
                       I32(n.m_services);
    subs.push_back(Sub("AIDT", aidt));
    return subs;
}

CSubs Reference(const CReference& r) {
    CSubs subs{Sub("FRMR", I32(static_cast<std::int32_t>(r.m_index))), records::Name(r.m_id)};
    if (r.m_scale != 1.0f) subs.push_back(Sub("XSCL", F32(r.m_scale)));
    if (!r.m_owner.empty()) subs.push_back(Sub("ANAM", Z(r.m_owner)));
    if (r.m_count != 1) subs.push_back(Sub("NAM9", I32(r.m_count)));
    if (r.m_deleted) subs.push_back(Sub("DELE", I32(0)));
    std::string data;
    for (float v : r.m_pos) data += F32(v);
    for (float v : r.m_rot) data += F32(v);
    subs.push_back(Sub("DATA", data));
    return subs;
}

CSubs Cell(const CCell& c) {
    CSubs subs{records::Name(c.m_name)};
    if (c.m_deleted) subs.push_back(Sub("DELE", I32(0)));
    subs.push_back(Sub("DATA", I32(c.m_flags) + I32(c.m_x) + I32(c.m_y)));
    if (c.m_flags & 1) {
        subs.push_back(Sub("WHGT", F32(c.m_water)));
        subs.push_back(Sub("AMBI", I32(static_cast<std::int32_t>(c.m_ambient[0])) +
                                       I32(static_cast<std::int32_t>(c.m_ambient[1])) +
                                       I32(static_cast<std::int32_t>(c.m_ambient[2])) + F32(c.m_fog)));
    } else {
        if (!c.m_region.empty()) subs.push_back(Sub("RGNN", Z(c.m_region)));
        subs.push_back(Sub("NAM5", I32(static_cast<std::int32_t>(c.m_mapColor))));
    }
    const std::size_t persistent = std::min(c.m_persistent, c.m_refs.size());
    for (std::size_t i = 0; i < c.m_refs.size(); ++i) {
        if (i == persistent)
            subs.push_back(Sub("NAM0", I32(static_cast<std::int32_t>(c.m_refs.size() - persistent))));
        CSubs ref = Reference(c.m_refs[i]);
        subs.insert(subs.end(), std::make_move_iterator(ref.begin()), std::make_move_iterator(ref.end()));
    }
    return subs;
}

CSubs Land(std::int32_t x, std::int32_t y, std::uint64_t shape, bool colours) {
    constexpr int kSide = 65;
    CRng rng(shape);
    // Heights as a gentle slope with noise, stored as row deltas like the game.
    const int slopeX = static_cast<int>(rng.Range(-3, 3)), slopeY = static_cast<int>(rng.Range(-3, 3));
    std::string vhgt = F32(static_cast<float>(rng.Range(-2000, 8000)));
    std::string vnml;
    vnml.reserve(kSide * kSide * 3);
    vhgt.reserve(4 + kSide * kSide + 3);
    for (int row = 0; row < kSide; ++row) {
        for (int col = 0; col < kSide; ++col) {
            const int delta = (col == 0 ? slopeY : slopeX) + static_cast<int>(rng.Range(-2, 2));
            vhgt += static_cast<char>(static_cast<std::int8_t>(delta));
            vnml += static_cast<char>(static_cast<std::int8_t>(-slopeX * 8));
            vnml += static_cast<char>(static_cast<std::int8_t>(-slopeY * 8));
            vnml += static_cast<char>(static_cast<std::int8_t>(120));
        }
    }
    vhgt += std::string(3, '\0');
    std::string wnam;
    for (int i = 0; i < 81; ++i) wnam += static_cast<char>(static_cast<std::int8_t>(rng.Range(-40, 100)));
    std::string vtex;
    for (int i = 0; i < 256; ++i) vtex += I16(static_cast<std::int16_t>(rng.Range(0, 12)));
    CSubs subs{Sub("INTV", I32(x) + I32(y)), Sub("DATA", I32(colours ? 0x0F : 0x0B)), Sub("VNML", vnml),
               Sub("VHGT", vhgt), Sub("WNAM", wnam)};
    if (colours) {
        std::string vclr;
        vclr.reserve(kSide * kSide * 3);
        for (int i = 0; i < kSide * kSide; ++i) {
            const auto shade = static_cast<char>(rng.Range(160, 255));
            vclr += shade;
            vclr += shade;
            vclr += static_cast<char>(rng.Range(140, 240));
        }
        subs.push_back(Sub("VCLR", vclr));
    }
    subs.push_back(Sub("VTEX", vtex));
    return subs;
}

CSubs Pgrd(const CPathGrid& g) {
    std::string data = I32(g.m_x) + I32(g.m_y) + I16(g.m_granularity) +
                       I16(static_cast<std::int16_t>(g.m_points.size()));
    std::string points;
    std::vector<std::uint8_t> connections(g.m_points.size(), 0);
    for (const auto& e : g.m_edges)
        if (e.first < connections.size()) ++connections[e.first];
    for (std::size_t i = 0; i < g.m_points.size(); ++i) {
        const auto& p = g.m_points[i];
        points += I32(p.m_x) + I32(p.m_y) + I32(p.m_z) + std::string{1, char(connections[i]), 0, 0};
    }
    std::string edges;
    for (const auto& e : g.m_edges) edges += I32(static_cast<std::int32_t>(e.second));
    CSubs subs{Sub("DATA", data), records::Name(g.m_cellName)};
    if (!points.empty()) subs.push_back(Sub("PGRP", points));
    if (!edges.empty()) subs.push_back(Sub("PGRC", edges));
    return subs;
}

CSubs Dial(const std::string& topic, EDialType type) {
    return {records::Name(topic), Sub("DATA", std::string(1, static_cast<char>(type)))};
}

CSubs Info(const CResponse& r) {
    std::string data = I32(static_cast<std::int32_t>(r.m_type)) + I32(r.m_disposition) +
                       std::string{char(0xFF), char(0xFF), char(0xFF), 0};
    CSubs subs{Sub("INAM", Z(r.m_id)), Sub("PNAM", Z(r.m_prev)), Sub("NNAM", Z(r.m_next)), Sub("DATA", data)};
    if (!r.m_actor.empty()) subs.push_back(Sub("ONAM", Z(r.m_actor)));
    if (!r.m_race.empty()) subs.push_back(Sub("RNAM", Z(r.m_race)));
    if (!r.m_class.empty()) subs.push_back(Sub("CNAM", Z(r.m_class)));
    if (!r.m_faction.empty()) subs.push_back(Sub("FNAM", Z(r.m_faction)));
    if (!r.m_cell.empty()) subs.push_back(Sub("ANAM", Z(r.m_cell)));
    subs.push_back(Sub("NAME", r.m_text));
    for (const auto& c : r.m_conditions) {
        subs.push_back(Sub("SCVR", c));
        subs.push_back(Sub("INTV", I32(1)));
    }
    if (r.m_questName) subs.push_back(Sub("QSTN", std::string(1, '\x01')));
    if (r.m_finished) subs.push_back(Sub("QSTF", std::string(1, '\x01')));
    if (!r.m_result.empty()) subs.push_back(Sub("BNAM", r.m_result));
    return subs;
}

CSubs Deleted(CSubs idSubs) {
    idSubs.push_back(records::Dele());
    return idSubs;
}

}  // namespace vantor::mkdata
