// Benchmark sets: a Morrowind-scale master, optional further masters, and
// plugins that copy, change, delete and add records.
//
// Every record is named by a key (owning file, tag, index) and its bytes are
// a pure function of that key and the seed, so a plugin can reproduce any
// record of an earlier file exactly (an unclean copy), vary it, or delete it
// without keeping the earlier files' bytes around.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "Layouts.h"
#include "MkData.h"
#include "format/LittleEndian.h"

namespace vantor::mkdata {

namespace {

// The order in which the game's masters hold their record types.
constexpr std::array<const char*, 41> kFileOrder = {
    "GMST", "GLOB", "CLAS", "FACT", "RACE", "SOUN", "SKIL", "MGEF", "SCPT", "REGN", "BSGN", "LTEX", "STAT", "DOOR",
    "MISC", "WEAP", "CONT", "SPEL", "CREA", "BODY", "LIGH", "ENCH", "NPC_", "ARMO", "CLOT", "REPA", "ACTI", "APPA",
    "LOCK", "PROB", "INGR", "BOOK", "ALCH", "LEVI", "LEVC", "CELL", "LAND", "PGRD", "SNDG", "DIAL", "INFO"};

// Record counts of an 80 MB master, close to the game's own.
constexpr std::array<std::uint32_t, 41> kBaseCounts = {
    1400, 70,  77,   22,  10,  430, 27,  137, 630, 9,   13,  107,  2800, 140,  //
    536,  485, 890,  990, 260, 1100, 570, 700, 2700, 280, 510, 6,   600,  22,  //
    6,    6,   95,   570, 250, 227, 116, 2500, 1400, 1200, 168, 2300, 24000};
constexpr double kBaseMegabytes = 80;

int TagOf(std::string_view tag) {
    for (std::size_t i = 0; i < kFileOrder.size(); ++i)
        if (tag == kFileOrder[i]) return static_cast<int>(i);
    return -1;
}

const int kGmst = TagOf("GMST"), kGlob = TagOf("GLOB"), kSkil = TagOf("SKIL"), kMgef = TagOf("MGEF"),
          kScpt = TagOf("SCPT"), kStat = TagOf("STAT"), kCell = TagOf("CELL"), kLand = TagOf("LAND"),
          kPgrd = TagOf("PGRD"), kDial = TagOf("DIAL"), kInfo = TagOf("INFO"), kNpc = TagOf("NPC_");

struct CKey {
    int m_owner = 0;
    int m_tag = 0;
    std::uint32_t m_index = 0;
    auto operator<=>(const CKey&) const = default;
};

constexpr std::int64_t kNone = -1;

struct CInfoPlace {
    CKey m_topic;
    // Chain neighbours as (owner, index) of INFO keys; kNone at either end.
    int m_prevOwner = 0, m_nextOwner = 0;
    std::int64_t m_prev = kNone, m_next = kNone;
};

// Relink: a response saved again only because a new one was inserted next
// to it, with m_place as its new chain neighbours.
// ModChange: a master record changed the way mods change it (entries added
// to and removed from a shared leveled list, stats set, an inventory
// extended), so that plugins fight over the same lists and fields.
enum class EAction { Own, Copy, Change, Delete, Relink, ModChange };

struct CPlanned {
    CKey m_key;
    EAction m_action;
    CInfoPlace m_place{};
};

// A reference of a cell as some file writes it, named by the file that
// created it (an owner) and its index there.
struct CGenRef {
    int m_creator = 0;
    std::uint32_t m_index = 0;
    bool m_temporary = true;
    bool m_moved = false;
    std::int32_t m_target[2] = {};  // the exterior it was moved to
    CSubs m_body;                   // what follows FRMR
    CSubs m_first;                  // the body as its creator wrote it
};

// A cell as the editor holds it: the header (NAME, DATA and the settings
// after them) and the references, persistent ones first.
struct CGenCell {
    CSubs m_header;
    std::vector<CGenRef> m_refs;
};

struct CSource {
    int m_owner = 0;
    bool m_master = false;
    std::string m_fileName;
    std::string m_prefix;
    std::uint64_t m_seed = 0;
    std::array<std::uint32_t, 41> m_own{};
    std::uint32_t m_exterior = 0;  // the first cells are exterior, one LAND each
    int m_gridX0 = 0, m_gridY0 = 0, m_gridWidth = 1;
    std::vector<CInfoPlace> m_infos;  // per own INFO
    std::vector<CPlanned> m_overrides;
    std::set<CKey> m_changed;  // masters: the earlier masters' records they change
};

std::string Capital(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

const char* const kPlaces[8] = {"Guild of Mages", "Cornerclub", "Temple", "Tradehouse",
                                "Manor",          "Armorer",    "Tower",  "Underground"};
const char* const kTopicWords[8] = {"rumors", "advice", "shrine", "guild", "trade", "ruins", "ashlanders", "legion"};

class CBenchSet {
public:
    CBenchSet(std::string dir, const CBenchOptions& options) : m_dir(std::move(dir)), m_opts(options) {}
    CWritten Write();

private:
    void AddMaster(const std::string& name, double megabytes);
    void AddPlugin(int number);
    void AddModChanges(CSource& src, std::set<CKey>& seen) const;
    CSubs ModChange(const CKey& key, int writer) const;
    bool RelinkAround(CSource& src, const CKey& removed, std::set<CKey>& seen) const;
    void LayOutDialogue(CSource& src, CRng& rng);
    std::string BuildFile(const CSource& src, const CHeader& header) const;

    CKey PickFromMasters(CRng& rng) const;
    bool PickFromPlugins(CRng& rng, int owner, CKey& key) const;
    const CInfoPlace& InfoPlace(const CKey& key) const { return m_sources[std::size_t(key.m_owner)].m_infos[key.m_index]; }

    std::string Id(const CKey& key) const;
    std::string InfoId(int owner, std::int64_t index) const;
    std::string TopicName(const CKey& key) const;
    EDialType TopicType(const CKey& key) const;
    CCell CellOf(const CKey& key, CRng* refs) const;
    std::string RandomObject(CRng& rng) const;
    CSubs Render(const CKey& key, const CInfoPlace* place = nullptr) const;
    CSubs RenderItem(const CKey& key, CRng& rng) const;
    CSubs Apply(const CPlanned& item, int writer) const;
    CGenCell OwnCell(const CKey& key) const;
    CGenCell InEffect(const CKey& key, int writer) const;
    CGenCell EditorCell(const CKey& key, int writer, bool copy) const;
    CSubs WriteCell(const CGenCell& cell, int writer) const;

    std::string m_dir;
    CBenchOptions m_opts;
    std::vector<CSource> m_sources;
    std::vector<std::uint64_t> m_masterSizes;
    std::vector<std::string> m_masterNames;
};

std::string CBenchSet::InfoId(int owner, std::int64_t index) const {
    if (index == kNone) return {};
    // Long decimal numbers like the game's; owner and index make it unique.
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%09lld%08llu", owner + 1, static_cast<long long>(index),
                  static_cast<unsigned long long>(Mix(m_opts.m_seed, std::uint64_t(owner), std::uint64_t(index)) %
                                                  100000000ull));
    return buf;
}

EDialType CBenchSet::TopicType(const CKey& key) const {
    const std::uint32_t i = key.m_index;
    if (key.m_owner == 0 && i < 10) return EDialType::Greeting;
    if (key.m_owner == 0 && i < 17) return EDialType::Voice;
    if (key.m_owner == 0 && i < 20) return EDialType::Persuasion;
    return i % 5 == 4 ? EDialType::Journal : EDialType::Topic;
}

std::string CBenchSet::TopicName(const CKey& key) const {
    static const char* const kVoice[7] = {"Hello", "Idle", "Attack", "Flee", "Hit", "Intruder", "Thief"};
    static const char* const kPersuasion[3] = {"Admire Success", "Intimidate Fail", "Bribe Success"};
    const std::uint32_t i = key.m_index;
    const std::string& prefix = m_sources[std::size_t(key.m_owner)].m_prefix;
    switch (TopicType(key)) {
        case EDialType::Greeting: return "Greeting " + std::to_string(i);
        case EDialType::Voice: return kVoice[i - 10];
        case EDialType::Persuasion: return kPersuasion[i - 17];
        case EDialType::Journal: return Capital(prefix) + "BQ_" + Capital(Word(i));
        default: return Lower(prefix) + Word(i) + " " + kTopicWords[i % 8];
    }
}

std::string CBenchSet::Id(const CKey& key) const {
    const CSource& src = m_sources[std::size_t(key.m_owner)];
    const std::string word = Word(key.m_index);
    const std::string tag = kFileOrder[std::size_t(key.m_tag)];
    if (key.m_tag == kGmst) return std::string(1, "sif"[key.m_index % 3]) + Capital(src.m_prefix) + Capital(word);
    if (key.m_tag == kGlob) return Capital(src.m_prefix) + "Global" + Capital(word);
    if (key.m_tag == kScpt) return Capital(src.m_prefix) + "Script" + Capital(word);
    if (key.m_tag == kNpc) return src.m_prefix + word + " " + Word(Mix(key.m_index, 7) % 1024);
    if (key.m_tag == kDial) return TopicName(key);
    if (key.m_tag == kInfo) return InfoId(key.m_owner, key.m_index);
    return src.m_prefix + Lower(tag) + "_" + word;
}

std::string CBenchSet::RandomObject(CRng& rng) const {
    static const int kPlaced[] = {TagOf("STAT"), TagOf("STAT"), TagOf("STAT"), TagOf("STAT"), TagOf("CONT"),
                                  TagOf("MISC"), TagOf("LIGH"), TagOf("ACTI"), TagOf("DOOR"), TagOf("NPC_")};
    const CSource& master = m_sources[0];
    for (int tries = 0; tries < 8; ++tries) {
        const int tag = kPlaced[rng.Range(0, 9)];
        if (master.m_own[std::size_t(tag)] > 0)
            return Id({0, tag, static_cast<std::uint32_t>(rng.Range(0, master.m_own[std::size_t(tag)] - 1))});
    }
    return "in_rock_" + Word(rng.Range(0, 99));
}

CCell CBenchSet::CellOf(const CKey& key, CRng* refs) const {
    const CSource& src = m_sources[std::size_t(key.m_owner)];
    CCell c;
    const std::uint32_t i = key.m_index;
    CRng look(Mix(src.m_seed, std::uint64_t(kCell), i, 99));
    if (i < src.m_exterior) {
        c.m_flags = 0;
        c.m_x = src.m_gridX0 + static_cast<int>(i % std::uint32_t(src.m_gridWidth));
        c.m_y = src.m_gridY0 + static_cast<int>(i / std::uint32_t(src.m_gridWidth));
        c.m_name = i % 9 == 0 ? Capital(src.m_prefix) + Capital(Word(i / 9)) : "";
        c.m_region = Capital(Word(i / 40 + 5)) + " Region";
        c.m_mapColor = static_cast<std::uint32_t>(look.Next() & 0xFFFFFF);
    } else {
        const std::uint32_t n = i - src.m_exterior;
        c.m_flags = 1;
        c.m_name = Capital(src.m_prefix) + Capital(Word(n / 8)) + ", " + kPlaces[n % 8];
        c.m_water = look.Real(-500, 0);
        c.m_fog = look.Real(0.2f, 1);
    }
    if (refs) {
        // Most cells hold a few dozen references; towns and dungeons hundreds.
        const std::int64_t count = refs->Chance(0.2) ? refs->Range(150, 600) : refs->Range(25, 180);
        c.m_refs.reserve(std::size_t(count));
        for (std::int64_t r = 0; r < count; ++r) {
            CReference ref;
            ref.m_index = static_cast<std::uint32_t>(r + 1);
            ref.m_id = RandomObject(*refs);
            const float originX = c.m_flags ? 0.0f : float(c.m_x) * 8192.0f;
            const float originY = c.m_flags ? 0.0f : float(c.m_y) * 8192.0f;
            ref.m_pos[0] = originX + refs->Real(0, 8192);
            ref.m_pos[1] = originY + refs->Real(0, 8192);
            ref.m_pos[2] = refs->Real(-200, 2000);
            ref.m_rot[2] = refs->Real(0, 6.2831f);
            if (refs->Chance(0.25)) ref.m_scale = refs->Real(0.5f, 2);
            if (refs->Chance(0.05)) ref.m_count = static_cast<std::int32_t>(refs->Range(2, 50));
            if (refs->Chance(0.05)) ref.m_owner = Id({0, kNpc, static_cast<std::uint32_t>(refs->Range(0, 99))});
            c.m_refs.push_back(std::move(ref));
        }
        // Some hold persistent references (people, doors) ahead of the rest.
        if (refs->Chance(0.3)) c.m_persistent = static_cast<std::size_t>(refs->Range(1, std::min<std::int64_t>(count, 6)));
    }
    return c;
}

std::string Words(CRng& rng, std::size_t minBytes, std::size_t maxBytes) {
    const std::size_t want = static_cast<std::size_t>(rng.Range(std::int64_t(minBytes), std::int64_t(maxBytes)));
    std::string out;
    while (out.size() < want) {
        if (!out.empty()) out += rng.Chance(0.1) ? ". " : " ";
        out += Word(static_cast<std::uint64_t>(rng.Range(0, 1023)), 1);
    }
    return out;
}

// Payloads of plausible numbers: alternating small integers and floats.
std::string Numbers(CRng& rng, std::size_t bytes) {
    std::string out;
    for (std::size_t i = 0; out.size() < bytes; ++i)
        out += i % 2 ? F32(rng.Real(0, 100)) : I32(static_cast<std::int32_t>(rng.Range(0, 255)));
    out.resize(bytes);
    return out;
}

CSubs CBenchSet::RenderItem(const CKey& key, CRng& rng) const {
    const std::string tag = kFileOrder[std::size_t(key.m_tag)];
    const std::string id = Id(key);
    const std::string word = Word(key.m_index);
    const std::string name = Capital(Word(rng.Range(0, 1023))) + " " + Capital(word);
    const std::string model = Lower(tag.substr(0, 1)) + "\\" + id + ".nif";
    const std::string icon = Lower(tag.substr(0, 1)) + "\\tx_" + id + ".tga";
    CSubs s{records::Name(id)};
    auto add = [&](const char* t, std::string payload) { s.push_back(Sub(t, std::move(payload))); };
    auto head = [&] {
        add("MODL", Z(model));
        add("FNAM", Z(name));
    };
    auto effects = [&](int lo, int hi) {
        for (std::int64_t e = rng.Range(lo, hi); e > 0; --e) add("ENAM", Numbers(rng, 24));
    };
    auto carried = [&](const char* t, int lo, int hi, std::size_t width) {
        for (std::int64_t e = rng.Range(lo, hi); e > 0; --e) {
            std::string payload = Fixed(RandomObject(rng), 32);
            add(t, width == 36 ? I32(static_cast<std::int32_t>(rng.Range(1, 10))) + payload : payload);
        }
    };
    if (tag == "ACTI" || tag == "DOOR") {
        head();
        if (tag == "DOOR") {
            add("SNAM", Z("Door Open"));
            add("ANAM", Z("Door Close"));
        } else if (rng.Chance(0.3)) {
            add("SCRI", Z("Script" + Capital(Word(rng.Range(0, 99)))));
        }
    } else if (tag == "ALCH") {
        head();
        add("TEXT", Z(icon));
        add("ALDT", Numbers(rng, 12));
        effects(1, 3);
    } else if (tag == "APPA" || tag == "LOCK" || tag == "PROB" || tag == "REPA") {
        head();
        add(tag == "APPA" ? "AADT" : tag == "LOCK" ? "LKDT" : tag == "PROB" ? "PBDT" : "RIDT", Numbers(rng, 16));
        add("ITEX", Z(icon));
    } else if (tag == "ARMO" || tag == "CLOT") {
        head();
        add(tag == "ARMO" ? "AODT" : "CTDT", Numbers(rng, tag == "ARMO" ? 24 : 12));
        add("ITEX", Z(icon));
        for (std::int64_t p = rng.Range(1, 3); p > 0; --p) {
            add("INDX", std::string(1, static_cast<char>(rng.Range(0, 26))));
            add("BNAM", Z("a_" + Word(rng.Range(0, 200))));
        }
        if (rng.Chance(0.1)) add("ENAM", Z("ench_" + Word(rng.Range(0, 99))));
    } else if (tag == "BODY") {
        head();
        add("BYDT", Numbers(rng, 4));
    } else if (tag == "BOOK") {
        head();
        add("BKDT", Numbers(rng, 20));
        add("ITEX", Z(icon));
        add("TEXT", "<DIV ALIGN=\"LEFT\"><FONT COLOR=\"000000\" SIZE=\"3\" FACE=\"Magic Cards\">" + Words(rng, 200, 4000));
    } else if (tag == "BSGN" || tag == "RACE" || tag == "CLAS") {
        add("FNAM", Z(name));
        if (tag == "BSGN") add("TNAM", Z("birthsigns\\" + word + ".tga"));
        add(tag == "RACE" ? "RADT" : tag == "CLAS" ? "CLDT" : "DESC",
            tag == "BSGN" ? Words(rng, 30, 120) : Numbers(rng, tag == "RACE" ? 140 : 60));
        if (tag != "CLAS") carried("NPCS", 1, 4, 32);
        if (tag != "BSGN") add("DESC", Words(rng, 40, 400));
    } else if (tag == "CONT") {
        head();
        add("CNDT", F32(rng.Real(10, 500)));
        add("FLAG", I32(8));
        carried("NPCO", 0, 10, 36);
    } else if (tag == "CREA") {
        head();
        add("NPDT", Numbers(rng, 96));
        add("FLAG", I32(0x48));
        carried("NPCO", 0, 3, 36);
        carried("NPCS", 0, 3, 32);
        add("AIDT", Numbers(rng, 12));
        add("AI_W", I16(512) + I16(5) + std::string{0, 40, 30, 20, 10, 0, 0, 0, 0, 1});
    } else if (tag == "ENCH" || tag == "SPEL") {
        if (tag == "SPEL") add("FNAM", Z(name));
        add(tag == "ENCH" ? "ENDT" : "SPDT", Numbers(rng, tag == "ENCH" ? 16 : 12));
        effects(1, 3);
    } else if (tag == "FACT") {
        add("FNAM", Z(name));
        for (int r = 0; r < 10; ++r) add("RNAM", Fixed(Capital(Word(std::uint64_t(r) + 40)), 32));
        add("FADT", Numbers(rng, 240));
        for (std::int64_t a = rng.Range(0, 5); a > 0; --a) {
            add("ANAM", Z("fac_" + Word(rng.Range(0, 21))));
            add("INTV", I32(static_cast<std::int32_t>(rng.Range(-3, 3))));
        }
    } else if (tag == "INGR") {
        head();
        add("IRDT", Numbers(rng, 56));
        add("ITEX", Z(icon));
    } else if (tag == "LEVC" || tag == "LEVI") {
        add("DATA", I32(static_cast<std::int32_t>(rng.Range(0, 3))));
        add("NNAM", std::string(1, static_cast<char>(rng.Range(0, 50))));
        const std::int64_t n = rng.Range(1, 12);
        add("INDX", I32(static_cast<std::int32_t>(n)));
        for (std::int64_t e = 0; e < n; ++e) {
            add(tag == "LEVC" ? "CNAM" : "INAM", Z(RandomObject(rng)));
            add("INTV", I16(static_cast<std::int16_t>(rng.Range(1, 30))));
        }
    } else if (tag == "LIGH") {
        head();
        add("ITEX", Z(icon));
        add("LHDT", Numbers(rng, 24));
        add("SNAM", Z("Fire"));
    } else if (tag == "LTEX") {
        add("INTV", I32(static_cast<std::int32_t>(key.m_index)));
        add("DATA", Z("tx_" + word + ".tga"));
    } else if (tag == "REGN") {
        add("FNAM", Z(name + " Region"));
        add("WEAT", Numbers(rng, 8));
        add("BNAM", Z(""));
        add("CNAM", I32(static_cast<std::int32_t>(rng.Next() & 0xFFFFFF)));
        for (std::int64_t e = rng.Range(0, 6); e > 0; --e)
            add("SNAM", Fixed("sound_" + Word(rng.Range(0, 99)), 32) + std::string(1, char(rng.Range(1, 20))));
    } else if (tag == "SNDG") {
        add("DATA", I32(static_cast<std::int32_t>(rng.Range(0, 7))));
        add("CNAM", Z(Id({0, TagOf("CREA"), static_cast<std::uint32_t>(rng.Range(0, 99))})));
        add("SNAM", Z("sound_" + Word(rng.Range(0, 99))));
    } else if (tag == "SOUN") {
        add("FNAM", Z("Fx\\" + word + ".wav"));
        add("DATA", std::string{static_cast<char>(rng.Range(0, 255)), 0, static_cast<char>(255)});
    } else {
        head();
        add("DATA", Numbers(rng, 12));
    }
    return s;
}

CSubs CBenchSet::Render(const CKey& key, const CInfoPlace* relinked) const {
    const CSource& src = m_sources[std::size_t(key.m_owner)];
    CRng rng(Mix(m_opts.m_seed, src.m_seed, std::uint64_t(key.m_tag) << 32 | key.m_index));
    const std::string id = Id(key);
    const int tag = key.m_tag;
    if (tag == kGmst) {
        switch (key.m_index % 3) {
            case 0: return GmstString(id, Capital(Words(rng, 4, 60)));
            case 1: return GmstInt(id, static_cast<std::int32_t>(rng.Range(0, 1000)));
            default: return GmstFloat(id, rng.Real(0, 10));
        }
    }
    if (tag == kGlob) return Glob(id, "slf"[key.m_index % 3], float(rng.Range(0, 100)));
    if (tag == kSkil) {
        CSkill s{.m_index = static_cast<std::int32_t>(key.m_index), .m_attribute = static_cast<std::int32_t>(rng.Range(0, 7)),
                 .m_specialization = static_cast<std::int32_t>(rng.Range(0, 2))};
        s.m_description = Capital(Words(rng, 40, 200));
        return Skil(s);
    }
    if (tag == kMgef) {
        CEffect e{.m_index = static_cast<std::int32_t>(key.m_index), .m_school = static_cast<std::int32_t>(rng.Range(0, 5)),
                  .m_baseCost = rng.Real(0.5f, 40), .m_flags = static_cast<std::int32_t>(rng.Range(0, 0xFFF))};
        e.m_icon = "s\\tx_s_" + Word(key.m_index) + ".dds";
        e.m_particle = "vfx_" + Word(key.m_index) + ".tga";
        e.m_description = Capital(Words(rng, 30, 150));
        return Mgef(e);
    }
    if (tag == kScpt) {
        CScript s{.m_name = id};
        for (std::int64_t v = rng.Range(0, 6); v > 0; --v) s.m_shorts.push_back(Word(rng.Range(0, 255)));
        for (std::int64_t v = rng.Range(0, 2); v > 0; --v) s.m_floats.push_back("f" + Word(rng.Range(0, 255)));
        s.m_text = "Begin " + id + "\r\n\r\n";
        for (std::int64_t line = rng.Range(5, 120); line > 0; --line)
            s.m_text += "\tif ( GetDistance Player < " + std::to_string(rng.Range(64, 4096)) + " )\r\n\t\t" +
                        Words(rng, 10, 50) + "\r\n\tendif\r\n";
        s.m_text += "\r\nEnd " + id + "\r\n";
        return Scpt(s);
    }
    if (tag == kStat) return Stat(id, "x\\" + id + ".nif");
    if (tag == TagOf("MISC")) {
        return Misc({id, Capital(Word(rng.Range(0, 1023))), "m\\" + id + ".nif", "m\\tx_" + id + ".tga", "",
                     rng.Real(0, 20), static_cast<std::int32_t>(rng.Range(0, 500))});
    }
    if (tag == TagOf("WEAP")) {
        CWeapon w{.m_item = {id, Capital(Word(rng.Range(0, 1023))), "w\\" + id + ".nif", "w\\tx_" + id + ".tga", "",
                             rng.Real(1, 60), static_cast<std::int32_t>(rng.Range(5, 5000))}};
        w.m_type = static_cast<std::int16_t>(rng.Range(0, 13));
        w.m_health = static_cast<std::int16_t>(rng.Range(100, 3000));
        w.m_speed = rng.Real(0.8f, 2.5f);
        w.m_chop[1] = static_cast<std::uint8_t>(rng.Range(2, 60));
        w.m_slash[1] = static_cast<std::uint8_t>(rng.Range(2, 60));
        w.m_thrust[1] = static_cast<std::uint8_t>(rng.Range(2, 60));
        if (rng.Chance(0.2)) w.m_enchantment = "ench_" + Word(rng.Range(0, 99));
        return Weap(w);
    }
    if (tag == kNpc) {
        CNpc n{.m_id = id, .m_name = Capital(Word(key.m_index)) + " " + Capital(Word(rng.Range(0, 1023))),
               .m_race = "Dark Elf", .m_class = "Commoner"};
        static const char* const kRaces[] = {"Dark Elf", "Imperial", "Nord", "Breton", "Redguard", "High Elf"};
        n.m_race = kRaces[rng.Range(0, 5)];
        n.m_head = "b_n_" + Lower(n.m_race) + "_m_head_0" + std::to_string(rng.Range(1, 9));
        n.m_hair = "b_n_" + Lower(n.m_race) + "_m_hair_0" + std::to_string(rng.Range(1, 9));
        n.m_female = rng.Chance(0.4);
        n.m_level = static_cast<std::int16_t>(rng.Range(1, 50));
        n.m_gold = static_cast<std::int32_t>(rng.Range(0, 2000));
        for (std::int64_t k = rng.Range(0, 8); k > 0; --k)
            n.m_items.push_back({static_cast<std::int32_t>(rng.Range(1, 5)), RandomObject(rng)});
        for (std::int64_t k = rng.Range(0, 4); k > 0; --k) n.m_spells.push_back("spel_" + Word(rng.Range(0, 300)));
        n.m_services = static_cast<std::int32_t>(rng.Range(0, 0x3FFFF));
        return Npc(n);
    }
    if (tag == kCell) return Cell(CellOf(key, &rng));
    if (tag == kLand) {
        const CCell cell = CellOf({key.m_owner, kCell, key.m_index}, nullptr);
        return Land(cell.m_x, cell.m_y, rng.Next(), rng.Chance(0.25));
    }
    if (tag == kPgrd) {
        const std::uint32_t cells = std::max<std::uint32_t>(1, src.m_own[std::size_t(kCell)]);
        const std::uint32_t pgrds = std::max<std::uint32_t>(1, src.m_own[std::size_t(kPgrd)]);
        const CCell cell = CellOf({key.m_owner, kCell, static_cast<std::uint32_t>(std::uint64_t(key.m_index) * cells / pgrds)},
                                  nullptr);
        CPathGrid g{.m_x = cell.m_flags ? 0 : cell.m_x, .m_y = cell.m_flags ? 0 : cell.m_y,
                    .m_granularity = static_cast<std::int16_t>(cell.m_flags ? 512 : 1024), .m_cellName = cell.m_name};
        const std::int64_t points = rng.Range(8, 120);
        for (std::int64_t p = 0; p < points; ++p) {
            g.m_points.push_back({static_cast<std::int32_t>(rng.Range(-4096, 4096)),
                                  static_cast<std::int32_t>(rng.Range(-4096, 4096)),
                                  static_cast<std::int32_t>(rng.Range(0, 1000))});
            if (p > 0) {
                g.m_edges.push_back({std::uint32_t(p), std::uint32_t(p - 1)});
                g.m_edges.push_back({std::uint32_t(p - 1), std::uint32_t(p)});
            }
        }
        return Pgrd(g);
    }
    if (tag == kDial) return Dial(id, TopicType(key));
    if (tag == kInfo) {
        const CInfoPlace& place = relinked ? *relinked : InfoPlace(key);
        CResponse r{.m_id = id, .m_prev = InfoId(place.m_prevOwner, place.m_prev),
                    .m_next = InfoId(place.m_nextOwner, place.m_next), .m_type = TopicType(place.m_topic)};
        r.m_disposition = r.m_type == EDialType::Journal ? static_cast<std::int32_t>(key.m_index % 100) * 10
                                                         : static_cast<std::int32_t>(rng.Range(0, 60));
        if (rng.Chance(0.3)) r.m_actor = Id({0, kNpc, static_cast<std::uint32_t>(rng.Range(0, 199))});
        if (rng.Chance(0.1)) r.m_race = "Dark Elf";
        if (rng.Chance(0.1)) r.m_class = "Commoner";
        if (rng.Chance(0.15)) r.m_faction = "fac_" + Word(rng.Range(0, 21));
        if (rng.Chance(0.1)) r.m_cell = CellOf({0, kCell, static_cast<std::uint32_t>(rng.Range(0, 99))}, nullptr).m_name;
        r.m_text = Capital(Words(rng, 40, 600)) + ".";
        for (std::int64_t c = rng.Range(0, 3); c > 0; --c)
            r.m_conditions.push_back("0" + std::string(1, "1234"[rng.Range(0, 3)]) + "sX" + Word(rng.Range(0, 99)));
        if (rng.Chance(0.1)) r.m_result = "Journal " + Word(rng.Range(0, 99)) + " " + std::to_string(rng.Range(1, 10) * 10);
        return Info(r);
    }
    return RenderItem(key, rng);
}

// How many leading subrecords form the record's ID (what a deletion keeps).
std::size_t IdSubCount(int tag) {
    if (tag == kDial || tag == kPgrd) return 2;
    if (tag == kInfo) return 4;
    return 1;
}

CSubs CBenchSet::Apply(const CPlanned& item, int writer) const {
    if (item.m_action == EAction::ModChange) return ModChange(item.m_key, writer);
    CSubs subs = Render(item.m_key, item.m_action == EAction::Relink ? &item.m_place : nullptr);
    const int tag = item.m_key.m_tag;
    if (item.m_action == EAction::Delete) {
        if (tag == kCell) {
            // NAME, DELE, DATA: the form the reader recognises for cells.
            return {subs[0], records::Dele(), subs[1]};
        }
        subs.resize(std::min(subs.size(), IdSubCount(tag)));
        return Deleted(std::move(subs));
    }
    // A master's cell, copied or changed, is written the way the editor does.
    if (tag == kCell && m_sources[std::size_t(item.m_key.m_owner)].m_master &&
        (item.m_action == EAction::Copy || item.m_action == EAction::Change))
        return WriteCell(EditorCell(item.m_key, writer, item.m_action == EAction::Copy), writer);
    if (item.m_action != EAction::Change || tag == kDial) return subs;
    CRng rng(Mix(m_opts.m_seed, std::uint64_t(writer) + 1000, std::uint64_t(tag) << 32 | item.m_key.m_index, 7));
    if (tag == kCell) {
        // A plugin's cell holds only the references it moved or added.
        std::size_t head = 0;
        while (head < subs.size() && subs[head].m_tag != "NAM0" && subs[head].m_tag != "FRMR") ++head;
        CSubs cell(subs.begin(), subs.begin() + std::ptrdiff_t(head));
        CCell layout = CellOf(item.m_key, nullptr);
        const std::int64_t moved = rng.Range(1, 12);
        cell.push_back(Sub("NAM0", I32(static_cast<std::int32_t>(moved))));
        for (std::int64_t r = 0; r < moved; ++r) {
            CReference ref{.m_index = static_cast<std::uint32_t>(rng.Range(1, 150)), .m_id = RandomObject(rng)};
            ref.m_pos[0] = (layout.m_flags ? 0.0f : float(layout.m_x) * 8192.0f) + rng.Real(0, 8192);
            ref.m_pos[1] = (layout.m_flags ? 0.0f : float(layout.m_y) * 8192.0f) + rng.Real(0, 8192);
            CSubs refSubs = Reference(ref);
            cell.insert(cell.end(), refSubs.begin(), refSubs.end());
        }
        return cell;
    }
    // Anything else: a few bytes of one non-ID subrecord differ, as after an
    // edit of a single field.
    const std::size_t first = std::min(subs.size(), IdSubCount(tag));
    std::vector<std::size_t> candidates;
    for (std::size_t i = first; i < subs.size(); ++i)
        if (!subs[i].m_payload.empty()) candidates.push_back(i);
    if (candidates.empty()) {
        subs.push_back(Sub("SCRI", Z("Script" + Capital(Word(rng.Range(0, 99))))));
        return subs;
    }
    std::string& payload = subs[candidates[std::size_t(rng.Range(0, std::int64_t(candidates.size()) - 1))]].m_payload;
    const auto at = static_cast<std::size_t>(rng.Range(0, std::int64_t(payload.size()) - 1));
    const auto end = std::min(payload.size(), at + static_cast<std::size_t>(rng.Range(1, 4)));
    for (std::size_t i = at; i < end; ++i) payload[i] = static_cast<char>(payload[i] ^ static_cast<char>(rng.Range(1, 255)));
    return subs;
}

std::int32_t I32At(const std::string& bytes, std::size_t at) { return le::I32(bytes, at); }

CGenCell CBenchSet::OwnCell(const CKey& key) const {
    const CSubs subs = Render(key);
    CGenCell cell;
    bool temporary = false;
    for (const CSub& sub : subs) {
        if (sub.m_tag == "NAM0") {
            temporary = true;
        } else if (sub.m_tag == "FRMR") {
            CGenRef ref;
            ref.m_creator = key.m_owner;
            ref.m_index = static_cast<std::uint32_t>(I32At(sub.m_payload, 0)) & 0xFFFFFFu;
            ref.m_temporary = temporary;
            cell.m_refs.push_back(std::move(ref));
        } else if (cell.m_refs.empty() && !temporary) {
            cell.m_header.push_back(sub);
        } else if (!cell.m_refs.empty()) {
            cell.m_refs.back().m_body.push_back(sub);
        }
    }
    for (auto& ref : cell.m_refs) ref.m_first = ref.m_body;
    return cell;
}

// The cell as the masters before `writer` leave it: the owner's copy with
// the changes of every later master that changed it, in order.
CGenCell CBenchSet::InEffect(const CKey& key, int writer) const {
    CGenCell cell = OwnCell(key);
    for (int m = key.m_owner + 1; m < writer && m_sources[std::size_t(m)].m_master; ++m) {
        if (!m_sources[std::size_t(m)].m_changed.count(key)) continue;
        const CGenCell later = EditorCell(key, m, false);
        cell.m_header = later.m_header;
        for (const CGenRef& ref : later.m_refs) {
            auto same = std::find_if(cell.m_refs.begin(), cell.m_refs.end(), [&](const CGenRef& r) {
                return r.m_creator == ref.m_creator && r.m_index == ref.m_index;
            });
            if (same == cell.m_refs.end()) {
                cell.m_refs.push_back(ref);
            } else {
                CSubs first = std::move(same->m_first);
                *same = ref;
                same->m_first = std::move(first);
            }
        }
    }
    return cell;
}

bool IsDeletedRef(const CGenRef& ref) {
    return std::any_of(ref.m_body.begin(), ref.m_body.end(), [](const CSub& s) { return s.m_tag == "DELE"; });
}

// What the editor saves of a master's cell that `writer` touched: the header
// (its light, water or region sometimes changed), the references the modder
// touched (most left as they were, some changed, deleted or moved to the
// next cell, some put back as their creator had them), and new ones. A copy
// holds every reference unchanged.
CGenCell CBenchSet::EditorCell(const CKey& key, int writer, bool copy) const {
    const CGenCell view = InEffect(key, writer);
    CRng rng(Mix(m_opts.m_seed, std::uint64_t(writer) + 2000, std::uint64_t(key.m_owner) << 32 | key.m_index, 11));
    const bool plugin = !m_sources[std::size_t(writer)].m_master;
    CGenCell cell;
    cell.m_header = view.m_header;
    const bool interior = cell.m_header.size() > 1 && !cell.m_header[1].m_payload.empty() && (cell.m_header[1].m_payload[0] & 1);
    if (copy) {
        cell.m_refs = view.m_refs;
        return cell;
    }
    for (CSub& sub : cell.m_header) {
        if (sub.m_tag == "AMBI" && rng.Chance(0.25)) sub.m_payload[std::size_t(rng.Range(0, 2))] ^= 0x11;
        if (sub.m_tag == "WHGT" && rng.Chance(0.2)) sub.m_payload = F32(rng.Real(-400, 100));
        if (sub.m_tag == "RGNN" && rng.Chance(0.15)) sub.m_payload = Z(Capital(Word(rng.Range(0, 99))) + " Region");
    }
    // Some cells are only visited; some only have their references looked at.
    const bool headerOnly = rng.Chance(0.08), lookedAt = rng.Chance(0.12);
    const double touched = rng.Real(0.1f, 0.7f);
    for (const CGenRef& ref : view.m_refs) {
        if (headerOnly || ref.m_moved || IsDeletedRef(ref) || !rng.Chance(touched)) continue;
        CGenRef mine = ref;
        const double what = lookedAt ? 0 : rng.Real(0, 1);
        auto data = std::find_if(mine.m_body.begin(), mine.m_body.end(), [](const CSub& s) { return s.m_tag == "DATA"; });
        const bool changedSince = records::SubBytes(mine.m_body) != records::SubBytes(mine.m_first);
        if (plugin && changedSince && what > 0.6) {
            mine.m_body = mine.m_first;  // put back as its creator had it
        } else if (what < 0.65 || data == mine.m_body.end()) {
            // saved as it was
        } else if (what < 0.75) {
            data->m_payload.replace(0, 4, F32(rng.Real(0, 8192)));
        } else if (what < 0.82) {
            mine.m_body.insert(data, Sub("ANAM", Z(Id({0, kNpc, static_cast<std::uint32_t>(rng.Range(0, 99))}))));
        } else if (what < 0.88) {
            mine.m_body = {mine.m_body.front(), records::Dele()};
        } else if (what < 0.95 && plugin && !interior) {
            const std::string& grid = cell.m_header[1].m_payload;
            mine.m_moved = true;
            mine.m_target[0] = I32At(grid, 4) + 1;
            mine.m_target[1] = I32At(grid, 8);
            data->m_payload.replace(0, 4, F32(float(mine.m_target[0]) * 8192.0f + rng.Real(0, 8192)));
        } else {
            data->m_payload.replace(4, 4, F32(rng.Real(0, 8192)));
        }
        cell.m_refs.push_back(std::move(mine));
    }
    if (!headerOnly && !lookedAt) {
        for (std::int64_t n = rng.Range(-4, 6), k = 0; k < n; ++k) {
            CGenRef mine;
            mine.m_creator = writer;
            mine.m_index = 0x8000u + static_cast<std::uint32_t>(k);
            CReference ref{.m_index = 0, .m_id = RandomObject(rng)};
            ref.m_pos[0] = rng.Real(0, 8192);
            mine.m_body = Reference(ref);
            mine.m_body.erase(mine.m_body.begin());
            mine.m_first = mine.m_body;
            cell.m_refs.push_back(std::move(mine));
        }
    }
    return cell;
}

// FRMR's high byte names the creating file by its place in the writer's
// MAST list, which names every master before it.
CSubs CBenchSet::WriteCell(const CGenCell& cell, int writer) const {
    CSubs subs = cell.m_header;
    const auto temporary = static_cast<std::int32_t>(
        std::count_if(cell.m_refs.begin(), cell.m_refs.end(), [](const CGenRef& r) { return r.m_temporary; }));
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1 && temporary > 0) subs.push_back(Sub("NAM0", I32(temporary)));
        for (const CGenRef& ref : cell.m_refs) {
            if (ref.m_temporary != (pass == 1)) continue;
            const std::uint32_t file = ref.m_creator == writer ? 0 : static_cast<std::uint32_t>(ref.m_creator) + 1;
            const std::string frmr = I32(static_cast<std::int32_t>(file << 24 | ref.m_index));
            if (ref.m_moved) {
                subs.push_back(Sub("MVRF", frmr));
                subs.push_back(Sub("CNDT", I32(ref.m_target[0]) + I32(ref.m_target[1])));
            }
            subs.push_back(Sub("FRMR", frmr));
            subs.insert(subs.end(), ref.m_body.begin(), ref.m_body.end());
        }
    }
    return subs;
}

void CBenchSet::LayOutDialogue(CSource& src, CRng& rng) {
    const std::uint32_t topics = src.m_own[std::size_t(kDial)];
    const std::uint32_t infos = src.m_own[std::size_t(kInfo)];
    if (topics == 0) {
        src.m_own[std::size_t(kInfo)] = 0;
        return;
    }
    // Every topic gets at least one response; the rest are spread at random.
    std::vector<std::uint32_t> cuts(topics - 1);
    const std::uint32_t spare = infos > topics ? infos - topics : 0;
    for (auto& c : cuts) c = static_cast<std::uint32_t>(rng.Range(0, spare));
    std::sort(cuts.begin(), cuts.end());
    src.m_own[std::size_t(kInfo)] = spare + topics;
    src.m_infos.resize(spare + topics);
    for (std::uint32_t t = 0; t < topics; ++t) {
        const std::uint32_t begin = t + (t == 0 ? 0 : cuts[t - 1]);
        const std::uint32_t end = t + 1 < topics ? t + 1 + cuts[t] : spare + topics;
        for (std::uint32_t i = begin; i < end; ++i) {
            CInfoPlace& p = src.m_infos[i];
            p.m_topic = {src.m_owner, kDial, t};
            p.m_prevOwner = p.m_nextOwner = src.m_owner;
            p.m_prev = i > begin ? std::int64_t(i) - 1 : kNone;
            p.m_next = i + 1 < end ? std::int64_t(i) + 1 : kNone;
        }
    }
}

// How much more or less often than its share of the master a plugin touches
// a record type, in quarters: landscape and path grids are left to a few
// large mods, and responses come in smaller batches than their number suggests.
int PickWeight(int tag) {
    if (tag == kLand || tag == kPgrd) return 1;
    if (tag == kCell || tag == kInfo) return 2;
    return 4;
}

CKey CBenchSet::PickFromMasters(CRng& rng) const {
    std::uint64_t total = 0;
    for (const auto& src : m_sources) {
        if (!src.m_master) break;
        for (int tag = 0; tag < 41; ++tag) total += std::uint64_t(src.m_own[std::size_t(tag)]) * PickWeight(tag);
    }
    // A third of the picks come from a small popular set, so that several
    // plugins change the same records, as real load orders do.
    const bool popular = rng.Chance(0.33);
    std::uint64_t at = static_cast<std::uint64_t>(rng.Range(0, std::int64_t(total) - 1));
    for (const auto& src : m_sources) {
        if (!src.m_master) break;
        for (int tag = 0; tag < 41; ++tag) {
            const std::uint64_t n = src.m_own[std::size_t(tag)];
            const std::uint64_t weighted = n * std::uint64_t(PickWeight(tag));
            if (at < weighted) {
                const std::uint64_t hot = std::max<std::uint64_t>(1, n / 50);
                const std::uint64_t index = at / std::uint64_t(PickWeight(tag));
                return {src.m_owner, tag, static_cast<std::uint32_t>(popular ? index % hot : index)};
            }
            at -= weighted;
        }
    }
    return {0, kStat, 0};
}

bool CBenchSet::PickFromPlugins(CRng& rng, int owner, CKey& key) const {
    const int firstPlugin = static_cast<int>(m_masterNames.size());
    if (owner <= firstPlugin) return false;
    const CSource& src = m_sources[std::size_t(rng.Range(firstPlugin, owner - 1))];
    std::uint64_t total = 0;
    for (auto n : src.m_own) total += n;
    if (total == 0) return false;
    std::uint64_t at = static_cast<std::uint64_t>(rng.Range(0, std::int64_t(total) - 1));
    for (int tag = 0; tag < 41; ++tag) {
        if (at < src.m_own[std::size_t(tag)]) {
            key = {src.m_owner, tag, static_cast<std::uint32_t>(at)};
            return true;
        }
        at -= src.m_own[std::size_t(tag)];
    }
    return false;
}

void CBenchSet::AddMaster(const std::string& name, double megabytes) {
    CSource src;
    src.m_owner = static_cast<int>(m_sources.size());
    src.m_master = true;
    src.m_fileName = name;
    src.m_prefix = src.m_owner == 0 ? "" : "x" + std::to_string(src.m_owner) + "_";
    src.m_seed = Mix(m_opts.m_seed, 0xE5Full, std::uint64_t(src.m_owner));
    const double scale = megabytes / kBaseMegabytes;
    for (std::size_t t = 0; t < kBaseCounts.size(); ++t) {
        const double n = std::round(double(kBaseCounts[t]) * scale);
        src.m_own[t] = static_cast<std::uint32_t>(std::max(1.0, n));
    }
    // Effect and skill IDs are their index byte, so only the first master
    // defines them (at most as many as there are distinct bytes).
    src.m_own[std::size_t(kMgef)] = src.m_owner == 0 ? std::min<std::uint32_t>(src.m_own[std::size_t(kMgef)], 143) : 0;
    src.m_own[std::size_t(kSkil)] = src.m_owner == 0 ? std::min<std::uint32_t>(src.m_own[std::size_t(kSkil)], 27) : 0;
    src.m_exterior = std::min(src.m_own[std::size_t(kLand)], src.m_own[std::size_t(kCell)]);
    src.m_own[std::size_t(kLand)] = src.m_exterior;
    src.m_gridWidth = std::max(1, static_cast<int>(std::ceil(std::sqrt(double(src.m_exterior)))));
    src.m_gridX0 = -src.m_gridWidth / 2 + 100 * src.m_owner;
    src.m_gridY0 = -src.m_gridWidth / 2;
    CRng rng(src.m_seed);
    LayOutDialogue(src, rng);
    // A later master overrides some of the earlier ones' records, changing them.
    if (src.m_owner > 0) {
        std::set<CKey> seen;
        const std::size_t n = static_cast<std::size_t>(double(src.m_own[std::size_t(kStat)]) * 2);
        for (std::size_t i = 0; i < n; ++i) {
            CKey key = PickFromMasters(rng);
            if (key.m_tag != kDial && seen.insert(key).second) {
                src.m_overrides.push_back({key, EAction::Change});
                src.m_changed.insert(key);
            }
        }
    }
    m_sources.push_back(std::move(src));
}

// The editor relinks the neighbours of a deleted response past it and saves
// them too; false when a neighbour is already taken in this plugin.
bool CBenchSet::RelinkAround(CSource& src, const CKey& removed, std::set<CKey>& seen) const {
    const CInfoPlace& place = InfoPlace(removed);
    const CKey prevKey{place.m_prevOwner, kInfo, static_cast<std::uint32_t>(std::max<std::int64_t>(0, place.m_prev))};
    const CKey nextKey{place.m_nextOwner, kInfo, static_cast<std::uint32_t>(std::max<std::int64_t>(0, place.m_next))};
    const bool hasPrev = place.m_prev != kNone, hasNext = place.m_next != kNone;
    if ((hasPrev && seen.count(prevKey)) || (hasNext && seen.count(nextKey))) return false;
    if (hasPrev) {
        CInfoPlace before = InfoPlace(prevKey);
        before.m_nextOwner = place.m_nextOwner;
        before.m_next = place.m_next;
        src.m_overrides.push_back({prevKey, EAction::Relink, before});
        seen.insert(prevKey);
    }
    if (hasNext) {
        CInfoPlace behind = InfoPlace(nextKey);
        behind.m_prevOwner = place.m_prevOwner;
        behind.m_prev = place.m_prev;
        src.m_overrides.push_back({nextKey, EAction::Relink, behind});
        seen.insert(nextKey);
    }
    return true;
}

void CBenchSet::AddPlugin(int number) {
    CSource src;
    src.m_owner = static_cast<int>(m_sources.size());
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "Bench %04d.esp", number);
    src.m_fileName = fileName;
    src.m_prefix = "p" + std::to_string(number) + "_";
    src.m_seed = Mix(m_opts.m_seed, 0x9A7ull, std::uint64_t(number));
    CRng rng(src.m_seed);
    const auto records = static_cast<std::size_t>(rng.Range(m_opts.m_minRecords, m_opts.m_maxRecords));
    const auto fromMasters = static_cast<std::size_t>(std::llround(double(records) * m_opts.m_fromMasters));
    auto fromPlugins = static_cast<std::size_t>(std::llround(double(records) * m_opts.m_fromPlugins));
    auto action = [&] {
        if (rng.Chance(m_opts.m_unchanged)) return EAction::Copy;
        if (rng.Chance(m_opts.m_deleted / std::max(1e-9, 1 - m_opts.m_unchanged))) return EAction::Delete;
        return EAction::Change;
    };
    std::set<CKey> seen;
    for (std::size_t i = 0, tries = 0; i < fromMasters && tries < 4 * fromMasters; ++tries) {
        const CKey key = PickFromMasters(rng);
        if (seen.insert(key).second) {
            EAction a = action();
            if (a == EAction::Delete && key.m_tag == kInfo && !RelinkAround(src, key, seen)) a = EAction::Change;
            src.m_overrides.push_back({key, a});
            ++i;
        }
    }
    std::size_t taken = 0;
    for (std::size_t tries = 0; taken < fromPlugins && tries < 4 * fromPlugins; ++tries) {
        CKey key;
        if (!PickFromPlugins(rng, src.m_owner, key)) break;
        if (seen.insert(key).second) {
            // Responses of other plugins are changed, not deleted: relinking
            // around them would reach into a third file's chain.
            const EAction a = action();
            src.m_overrides.push_back({key, a == EAction::Delete && key.m_tag == kInfo ? EAction::Change : a});
            ++taken;
        }
    }
    // What could not be overridden (the first plugin has no earlier ones) is new.
    std::size_t fresh = records - std::min(records, src.m_overrides.size());
    static const char* const kNewTags[] = {"STAT", "STAT", "STAT", "MISC", "MISC", "NPC_", "NPC_", "NPC_", "WEAP",
                                           "ARMO", "CLOT", "BOOK", "CONT", "ACTI", "LIGH", "SPEL", "SCPT", "CELL",
                                           "DIAL", "INFO", "INFO", "INFO", "GLOB", "LEVI"};
    const CSource& master = m_sources[0];
    while (fresh > 0) {
        const int tag = TagOf(kNewTags[rng.Range(0, std::int64_t(std::size(kNewTags)) - 1)]);
        if (tag == kDial) {
            // A new topic with a chain of new responses.
            const std::uint32_t topic = src.m_own[std::size_t(kDial)]++;
            const auto count = static_cast<std::uint32_t>(rng.Range(2, 8));
            const auto first = static_cast<std::uint32_t>(src.m_infos.size());
            for (std::uint32_t k = 0; k < count; ++k) {
                CInfoPlace p{{src.m_owner, kDial, topic}, src.m_owner, src.m_owner,
                             k > 0 ? std::int64_t(first + k - 1) : kNone,
                             k + 1 < count ? std::int64_t(first + k + 1) : kNone};
                src.m_infos.push_back(p);
            }
            fresh -= std::min<std::size_t>(fresh, count + 1);
        } else if (tag == kInfo && !master.m_infos.empty()) {
            // New responses inserted into a master topic after one of its
            // responses; the editor saves both neighbours relinked.
            const auto after = static_cast<std::uint32_t>(rng.Range(0, std::int64_t(master.m_infos.size()) - 1));
            const CInfoPlace& anchor = master.m_infos[after];
            const CKey anchorKey{0, kInfo, after};
            const CKey nextKey{anchor.m_nextOwner, kInfo, static_cast<std::uint32_t>(std::max<std::int64_t>(0, anchor.m_next))};
            const bool hasNext = anchor.m_next != kNone;
            if (seen.count(anchorKey) || (hasNext && seen.count(nextKey))) continue;
            const auto count = static_cast<std::uint32_t>(rng.Range(1, 3));
            const auto first = static_cast<std::uint32_t>(src.m_infos.size());
            for (std::uint32_t k = 0; k < count; ++k) {
                CInfoPlace p;
                p.m_topic = anchor.m_topic;
                p.m_prevOwner = k == 0 ? 0 : src.m_owner;
                p.m_prev = k == 0 ? std::int64_t(after) : std::int64_t(first + k - 1);
                p.m_nextOwner = k + 1 < count ? src.m_owner : anchor.m_nextOwner;
                p.m_next = k + 1 < count ? std::int64_t(first + k + 1) : anchor.m_next;
                src.m_infos.push_back(p);
            }
            CInfoPlace before = anchor;
            before.m_nextOwner = src.m_owner;
            before.m_next = first;
            src.m_overrides.push_back({anchorKey, EAction::Relink, before});
            seen.insert(anchorKey);
            if (hasNext) {
                CInfoPlace behind = master.m_infos[nextKey.m_index];
                behind.m_prevOwner = src.m_owner;
                behind.m_prev = first + count - 1;
                src.m_overrides.push_back({nextKey, EAction::Relink, behind});
                seen.insert(nextKey);
            }
            fresh -= std::min<std::size_t>(fresh, count + 1 + (hasNext ? 1 : 0));
        } else if (tag != kInfo) {
            ++src.m_own[std::size_t(tag)];
            --fresh;
        }
    }
    src.m_own[std::size_t(kInfo)] = static_cast<std::uint32_t>(src.m_infos.size());
    AddModChanges(src, seen);
    m_sources.push_back(std::move(src));
}

void CBenchSet::AddModChanges(CSource& src, std::set<CKey>& seen) const {
    // Each plugin changes a few of the same few dozen master records, so
    // that a hundred plugins share every one of them several times over.
    static const int kShared[] = {TagOf("LEVI"), TagOf("LEVI"), TagOf("LEVC"), kNpc, TagOf("WEAP"), TagOf("ARMO")};
    constexpr std::int64_t kPool = 24;
    CRng rng(Mix(src.m_seed, 0x3E26ull));
    const CSource& master = m_sources[0];
    for (std::int64_t n = rng.Range(2, 8); n > 0; --n) {
        const int tag = kShared[rng.Range(0, std::int64_t(std::size(kShared)) - 1)];
        const std::int64_t pool = std::min<std::int64_t>(kPool, master.m_own[std::size_t(tag)]);
        if (pool == 0) continue;
        const CKey key{0, tag, static_cast<std::uint32_t>(rng.Range(0, pool - 1))};
        if (seen.insert(key).second) src.m_overrides.push_back({key, EAction::ModChange});
    }
}

CSubs CBenchSet::ModChange(const CKey& key, int writer) const {
    CSubs subs = Render(key);
    CRng rng(Mix(m_opts.m_seed, std::uint64_t(writer) + 5000, std::uint64_t(key.m_tag) << 32 | key.m_index, 11));
    const std::string tag = kFileOrder[std::size_t(key.m_tag)];
    auto find = [&](const char* sub) {
        return std::find_if(subs.begin(), subs.end(), [&](const CSub& s) { return s.m_tag == sub; });
    };
    // Few values, so that two plugins often set a stat alike and sometimes not.
    auto stat = [&](std::int64_t lo, std::int64_t step) { return lo + step * rng.Range(0, 3); };
    if (tag == "LEVI" || tag == "LEVC") {
        const std::string entry = tag == "LEVI" ? "INAM" : "CNAM";
        auto indx = find("INDX");
        const std::size_t first = std::size_t(indx - subs.begin()) + 1;
        std::vector<std::pair<std::string, std::string>> entries;
        for (std::size_t i = first; i + 1 < subs.size(); i += 2) entries.emplace_back(subs[i].m_payload, subs[i + 1].m_payload);
        if (entries.size() > 1 && rng.Chance(0.5)) entries.erase(entries.begin() + rng.Range(0, std::int64_t(entries.size()) - 1));
        for (std::int64_t a = rng.Range(1, 3); a > 0; --a)
            entries.emplace_back(Z(RandomObject(rng)), I16(static_cast<std::int16_t>(rng.Range(1, 30))));
        if (rng.Chance(0.25)) find("NNAM")->m_payload = std::string(1, static_cast<char>(stat(0, 10)));
        subs.resize(first);
        subs.back().m_payload = I32(static_cast<std::int32_t>(entries.size()));
        for (auto& [id, level] : entries) {
            subs.push_back(Sub(entry, id));
            subs.push_back(Sub("INTV", level));
        }
    } else if (tag == "NPC_") {
        // Inventories extended after their last item; the level set.
        auto at = find("AIDT");
        while (at != subs.begin() && (at - 1)->m_tag == "NPCS") --at;
        CSubs items;
        for (std::int64_t a = rng.Range(1, 3); a > 0; --a)
            items.push_back(Sub("NPCO", I32(static_cast<std::int32_t>(rng.Range(1, 5))) + Fixed(RandomObject(rng), 32)));
        subs.insert(at, items.begin(), items.end());
        if (rng.Chance(0.5)) find("NPDT")->m_payload.replace(0, 2, I16(static_cast<std::int16_t>(stat(5, 5))));
    } else {
        // WPDT and AODT: weight and value, and an armour's rating.
        const bool weapon = tag == "WEAP";
        std::string& data = find(weapon ? "WPDT" : "AODT")->m_payload;
        const std::size_t weight = weapon ? 0 : 4;
        if (rng.Chance(0.6)) data.replace(weight, 4, F32(float(stat(5, 5))));
        if (rng.Chance(0.6)) data.replace(weight + 4, 4, I32(static_cast<std::int32_t>(stat(50, 25))));
        if (!weapon && rng.Chance(0.5)) data.replace(20, 4, I32(static_cast<std::int32_t>(stat(10, 5))));
    }
    return subs;
}

std::string CBenchSet::BuildFile(const CSource& src, const CHeader& header) const {
    std::vector<CPlanned> items = src.m_overrides;
    for (int tag = 0; tag < 41; ++tag)
        for (std::uint32_t i = 0; i < src.m_own[std::size_t(tag)]; ++i) items.push_back({{src.m_owner, tag, i}, EAction::Own});
    std::stable_sort(items.begin(), items.end(), [](const CPlanned& a, const CPlanned& b) {
        return std::tie(a.m_key.m_tag, a.m_key.m_owner, a.m_key.m_index) <
               std::tie(b.m_key.m_tag, b.m_key.m_owner, b.m_key.m_index);
    });

    // Responses follow their topic's DIAL record, so dialogue is written by topic.
    std::map<CKey, const CPlanned*> topics;
    std::map<CKey, std::vector<const CPlanned*>> responses;
    for (const auto& item : items) {
        if (item.m_key.m_tag == kDial) topics[item.m_key] = &item;
        if (item.m_key.m_tag == kInfo) {
            const CKey topic = InfoPlace(item.m_key).m_topic;
            topics.emplace(topic, nullptr);
            responses[topic].push_back(&item);
        }
    }

    CRecordWriter body;
    std::uint32_t count = 0;
    for (const auto& item : items) {
        if (item.m_key.m_tag == kDial || item.m_key.m_tag == kInfo) continue;
        body.Record(kFileOrder[std::size_t(item.m_key.m_tag)], Apply(item, src.m_owner));
        ++count;
    }
    for (const auto& [topic, dial] : topics) {
        const CPlanned copy{topic, topic.m_owner == src.m_owner ? EAction::Own : EAction::Copy};
        const CPlanned& use = dial ? *dial : copy;
        body.Record("DIAL", Apply(use, src.m_owner));
        ++count;
        if (use.m_action == EAction::Delete) continue;
        for (const CPlanned* info : responses[topic]) {
            body.Record("INFO", Apply(*info, src.m_owner));
            ++count;
        }
    }
    CHeader h = header;
    h.m_recordCount = count;
    CRecordWriter file;
    file.Record("TES3", Header(h));
    return file.Bytes() + body.Bytes();
}

CWritten CBenchSet::Write() {
    CWritten out;
    const std::string data = m_dir + "/Data Files/";
    std::int64_t time = 1020254400;
    std::vector<std::string> gameFiles;
    auto emit = [&](const CSource& src, const CHeader& header) {
        const std::string bytes = BuildFile(src, header);
        out.m_files.push_back(data + src.m_fileName);
        gameFiles.push_back(src.m_fileName);
        if (!WriteFile(out.m_files.back(), bytes, time, out.m_error)) out.m_ok = false;
        time += 3600;
        return bytes.size();
    };

    AddMaster("Bench.esm", m_opts.m_masterMegabytes);
    for (const auto& extra : m_opts.m_extraMasters) AddMaster(extra.m_name, extra.m_megabytes);
    for (const auto& src : m_sources) {
        CHeader h{.m_masters = m_masterNames, .m_masterSizes = m_masterSizes, .m_author = "vantor-mkdata",
                  .m_description = "Benchmark master", .m_isMaster = true};
        m_masterSizes.push_back(emit(src, h));
        m_masterNames.push_back(src.m_fileName);
        if (!out.m_ok) return out;
    }
    for (int p = 1; p <= m_opts.m_plugins; ++p) {
        AddPlugin(p);
        CHeader h{.m_masters = m_masterNames, .m_masterSizes = m_masterSizes, .m_author = "vantor-mkdata",
                  .m_description = "Benchmark plugin"};
        emit(m_sources.back(), h);
        if (!out.m_ok) return out;
    }
    if (!WriteIni(m_dir, gameFiles, time, out.m_error)) out.m_ok = false;
    return out;
}

}  // namespace

CWritten WriteBenchSet(const std::string& dir, const CBenchOptions& options) {
    return CBenchSet(dir, options).Write();
}

}  // namespace vantor::mkdata
