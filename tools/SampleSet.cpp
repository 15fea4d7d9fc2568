// The bundled sample set: a small master and three plugins that between them
// hold every kind of finding the checks report (conflicts, unclean copies,
// changes to the master, deletions) and dialogue chains that two plugins
// extend at the same place.
#include <utility>

#include "Layouts.h"
#include "MkData.h"

namespace vantor::mkdata {

namespace {

struct CRecord {
    std::string m_tag;
    CSubs m_subs;
};
using CRecords = std::vector<CRecord>;

// 2002-05-01 12:00 UTC, then one day per file in load order.
constexpr std::int64_t kFirstTime = 1020254400;
constexpr std::int64_t kDay = 86400;

const char* const kMaster = "Sample.esm";
const char* const kArmory = "Sample Armory.esp";
const char* const kQuests = "Sample Quests.esp";
const char* const kTweaks = "Sample Tweaks.esp";
// OpenMW's side of the sample: a second data folder whose add-on is the
// newest file by time but loads before the tweaks by the content list.
const char* const kPatchFolder = "Mods/Sample Patch/";
const char* const kPatch = "Sample Patch.omwaddon";

std::string Build(const CHeader& header, const CRecords& records) {
    CHeader h = header;
    h.m_recordCount = static_cast<std::uint32_t>(records.size());
    CRecordWriter b;
    b.Record("TES3", Header(h));
    for (const auto& r : records) b.Record(r.m_tag, r.m_subs);
    return b.Bytes();
}

std::string Crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) out += std::string(line) + "\r\n";
    return out;
}

// Master content, kept as values so the plugins can copy or vary them.

CNpc Guard() {
    CNpc n{.m_id = "sample_guard", .m_name = "Hall Guard", .m_race = "Imperial", .m_class = "Guard",
           .m_faction = "Imperial Legion", .m_head = "b_n_imperial_m_head_01", .m_hair = "b_n_imperial_m_hair_02"};
    n.m_level = 20;
    n.m_fight = 0;
    n.m_alarm = 100;
    n.m_items = {{1, "sample_iron_sword"}, {5, "sample_coin"}};
    return n;
}

CNpc Trader() {
    CNpc n{.m_id = "sample_trader", .m_name = "Ulvena Dravil", .m_race = "Dark Elf", .m_class = "Trader Service",
           .m_head = "b_n_dark elf_f_head_03", .m_hair = "b_n_dark elf_f_hair_05"};
    n.m_female = true;
    n.m_level = 8;
    n.m_gold = 600;
    n.m_services = 0x00001 | 0x00400;  // buys and sells weapons, barters
    n.m_items = {{2, "sample_steel_dagger"}, {1, "sample_oak_bow"}};
    return n;
}

CNpc Priest() {
    CNpc n{.m_id = "sample_priest", .m_name = "Brother Tarvus", .m_race = "Breton", .m_class = "Priest Service",
           .m_faction = "Temple", .m_head = "b_n_breton_m_head_04", .m_hair = "b_n_breton_m_hair_01"};
    n.m_level = 12;
    n.m_spells = {"sample_blessing"};
    return n;
}

CWeapon IronSword() {
    CWeapon w{.m_item = {.m_id = "sample_iron_sword", .m_name = "Iron Sword", .m_model = "w\\w_iron_sword.nif",
                         .m_icon = "w\\tx_iron_sword.tga", .m_weight = 20, .m_value = 40}};
    w.m_type = 1;
    w.m_health = 600;
    w.m_speed = 1.25f;
    w.m_enchantPoints = 70;
    w.m_chop[1] = 12;
    w.m_slash[1] = 10;
    w.m_thrust[1] = 5;
    return w;
}

CWeapon SteelDagger() {
    CWeapon w{.m_item = {.m_id = "sample_steel_dagger", .m_name = "Steel Dagger", .m_model = "w\\w_steel_dagger.nif",
                         .m_icon = "w\\tx_steel_dagger.tga", .m_weight = 3, .m_value = 25}};
    w.m_type = 0;
    w.m_health = 450;
    w.m_speed = 2.5f;
    w.m_chop[1] = 6;
    w.m_slash[1] = 6;
    w.m_thrust[1] = 8;
    return w;
}

CWeapon OakBow() {
    CWeapon w{.m_item = {.m_id = "sample_oak_bow", .m_name = "Oak Bow", .m_model = "w\\w_oak_bow.nif",
                         .m_icon = "w\\tx_oak_bow.tga", .m_weight = 8, .m_value = 60}};
    w.m_type = 9;
    w.m_health = 500;
    w.m_chop[1] = 18;
    w.m_slash[0] = 0;
    w.m_slash[1] = 0;
    w.m_thrust[0] = 0;
    w.m_thrust[1] = 0;
    return w;
}

CWeapon SilverSword() {
    CWeapon w{.m_item = {.m_id = "armory_silver_sword", .m_name = "Silver Longsword",
                         .m_model = "w\\w_silver_longsword.nif", .m_icon = "w\\tx_silver_longsword.tga",
                         .m_weight = 18, .m_value = 320}};
    w.m_type = 1;
    w.m_health = 1100;
    w.m_speed = 1.35f;
    w.m_enchantPoints = 150;
    w.m_chop[1] = 16;
    w.m_slash[1] = 14;
    w.m_thrust[1] = 8;
    w.m_flags = 0x2;  // silver
    return w;
}

CItem Coin() { return {"sample_coin", "Old Septim", "m\\misc_coin.nif", "m\\tx_coin.tga", "", 0, 1}; }
CItem HallKey() {
    return {"sample_key_hall", "Hall Key", "m\\misc_key_01.nif", "m\\tx_key_01.tga", "", 0.1f, 5};
}
CItem Goblet() { return {"sample_goblet", "Silver Goblet", "m\\misc_goblet.nif", "m\\tx_goblet.tga", "", 1, 30}; }

CCell Hall() {
    CCell c{.m_name = "Sample Hall", .m_flags = 1};
    c.m_water = -200;
    c.m_refs = {
        {.m_index = 1, .m_id = "sample_pillar_01", .m_pos = {-256, 128, 0}},
        {.m_index = 2, .m_id = "sample_pillar_01", .m_pos = {256, 128, 0}},
        {.m_index = 3, .m_id = "sample_banner_01", .m_pos = {0, 384, 160}, .m_rot = {0, 0, 3.1416f}},
        {.m_index = 4, .m_id = "sample_goblet", .m_pos = {32, 96, 72}, .m_owner = "sample_priest"},
        {.m_index = 5, .m_id = "sample_guard", .m_pos = {0, -200, 0}},
        {.m_index = 6, .m_id = "sample_trader", .m_pos = {-180, 40, 0}, .m_rot = {0, 0, 1.5708f}},
        {.m_index = 7, .m_id = "sample_priest", .m_pos = {180, 40, 0}, .m_rot = {0, 0, -1.5708f}},
        {.m_index = 8, .m_id = "sample_coin", .m_pos = {40, 100, 72}, .m_count = 12},
    };
    return c;
}

CCell Cellar() {
    CCell c{.m_name = "Sample Cellar", .m_flags = 1};
    c.m_refs = {{.m_index = 1, .m_id = "sample_rock_01", .m_pos = {10, 20, 0}, .m_scale = 0.8f}};
    return c;
}

CCell Shore() {
    CCell c{.m_name = "", .m_flags = 0, .m_x = -2, .m_y = 5, .m_region = "Sample Region", .m_mapColor = 0x00406080};
    c.m_refs = {
        {.m_index = 1, .m_id = "sample_rock_01", .m_pos = {-15800, 43100, 420}, .m_scale = 1.6f},
        {.m_index = 2, .m_id = "sample_rock_01", .m_pos = {-15200, 42400, 380}, .m_rot = {0, 0, 0.7f}},
    };
    return c;
}

CCell Village() {
    CCell c{.m_name = "Sample Village", .m_flags = 0, .m_x = -1, .m_y = 5, .m_region = "Sample Region",
            .m_mapColor = 0x00507090};
    c.m_refs = {{.m_index = 1, .m_id = "sample_pillar_01", .m_pos = {-7000, 42000, 900}}};
    return c;
}

CPathGrid HallGrid() {
    CPathGrid g{.m_x = 0, .m_y = 0, .m_granularity = 512, .m_cellName = "Sample Hall"};
    g.m_points = {{-200, -200, 0}, {200, -200, 0}, {200, 200, 0}, {-200, 200, 0}};
    g.m_edges = {{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 3}, {3, 2}, {3, 0}, {0, 3}};
    return g;
}

CPathGrid ShoreGrid() {
    CPathGrid g{.m_x = -2, .m_y = 5, .m_granularity = 1024, .m_cellName = ""};
    g.m_points = {{-15900, 42900, 400}, {-15300, 42500, 390}, {-14800, 42100, 360}};
    g.m_edges = {{0, 1}, {1, 0}, {1, 2}, {2, 1}};
    return g;
}

// Dialogue response IDs look like the game's: long decimal numbers.
const char* const kGreet1 = "1953527391203226011";
const char* const kGreet2 = "2783218112655810362";
const char* const kGreet3 = "3205313832254719450";
const char* const kRumor1 = "1082211562121627431";
const char* const kRumor2 = "2248325931736723688";
const char* const kRumor3 = "1532816572889417553";
const char* const kQuestName = "2561416642117711900";
const char* const kQuest10 = "2974019041299030485";
const char* const kQuest20 = "1662230412172226873";
const char* const kQuest100 = "3121925452463910154";
const char* const kRumorQuests = "2301624833276031212";
const char* const kRumorTweaks = "1402725104307822871";
const char* const kQuest30 = "2815231022238811046";
const char* const kShrine1 = "3054421781812713337";
const char* const kShrine2 = "1871928412307614298";

CResponse Greeting(const char* id, const char* prev, const char* next, const char* text) {
    return {.m_id = id, .m_prev = prev, .m_next = next, .m_type = EDialType::Greeting, .m_text = text};
}

CResponse Rumor(const char* id, const char* prev, const char* next, const char* text) {
    return {.m_id = id, .m_prev = prev, .m_next = next, .m_type = EDialType::Topic, .m_text = text};
}

CResponse Journal(const char* id, const char* prev, const char* next, std::int32_t index, const char* text) {
    return {.m_id = id, .m_prev = prev, .m_next = next, .m_type = EDialType::Journal, .m_disposition = index,
            .m_text = text};
}

CResponse GuardGreeting() {
    CResponse r = Greeting(kGreet1, "", kGreet2, "Halt. State your business in the hall, %PCRace.");
    r.m_actor = "sample_guard";
    return r;
}
CResponse TraderGreeting() {
    CResponse r = Greeting(kGreet2, kGreet1, kGreet3, "Blades and bows, fair prices. Have a look.");
    r.m_actor = "sample_trader";
    return r;
}
CResponse AnyGreeting() { return Greeting(kGreet3, kGreet2, "", "Yes? What is it?"); }

CResponse Rumor1() { return Rumor(kRumor1, "", kRumor2, "They say the hall was built on an old shrine."); }
CResponse Rumor2() {
    CResponse r = Rumor(kRumor2, kRumor1, kRumor3, "The trader has been buying up every blade in the village.");
    r.m_cell = "Sample Village";
    return r;
}
CResponse Rumor3() { return Rumor(kRumor3, kRumor2, "", "Nothing much happens around here."); }

CResponse QuestName() {
    CResponse r = Journal(kQuestName, "", kQuest10, 0, "The Cellar Key");
    r.m_questName = true;
    return r;
}
CResponse Quest10() {
    return Journal(kQuest10, kQuestName, kQuest20, 10, "The guard asked me to find the key to the cellar.");
}
CResponse Quest20() { return Journal(kQuest20, kQuest10, kQuest100, 20, "I found the hall key in the cellar."); }
CResponse Quest100() {
    CResponse r = Journal(kQuest100, kQuest20, "", 100, "I returned the key. The guard thanked me.");
    r.m_finished = true;
    return r;
}

CScript DoorScript() {
    return {.m_name = "SampleDoorScript",
            .m_shorts = {"done"},
            .m_text = Crlf({"Begin SampleDoorScript", "", "short done", "", "if ( OnActivate == 1 )",
                            "\tif ( done == 0 )", "\t\tMessageBox \"The door is stuck.\"", "\t\tset done to 1",
                            "\telse", "\t\tActivate", "\tendif", "endif", "", "End SampleDoorScript"})};
}

CHeader PluginHeader(const std::string& description, std::uint64_t masterSize) {
    return {.m_masters = {kMaster}, .m_masterSizes = {masterSize}, .m_author = "Vantorscope sample",
            .m_description = description};
}

CRecords MasterRecords() {
    CRecords r;
    auto add = [&](const char* tag, CSubs subs) { r.push_back({tag, std::move(subs)}); };
    add("GMST", GmstString("sSampleWelcome", "Welcome to the sample hall."));
    add("GMST", GmstInt("iSampleMaxLevel", 50));
    add("GMST", GmstFloat("fSampleFatigueMult", 1.25f));
    add("GMST", GmstFloat("fSampleJumpBase", 0.5f));
    add("GLOB", Glob("SampleQuestStage", 's', 0));
    add("GLOB", Glob("SampleDayCount", 'l', 1));
    add("GLOB", Glob("SampleHourScale", 'f', 30));
    add("SKIL", Skil({0, 3, 0, {5, 2.5f, 1, 1}, "The Block skill lets one deflect blows with a shield."}));
    add("SKIL", Skil({1, 0, 0, {1.4f, 1, 1, 1}, "The Armorer skill repairs weapons and armor."}));
    add("SKIL", Skil({8, 5, 2, {0.02f, 0.03f, 1, 1}, "Athletics makes one run and swim faster."}));
    add("MGEF", Mgef({0, 5, 5, 0x208, "s\\tx_s_water_breath.dds", "vfx_particle064.tga",
                      "This effect lets the subject breathe underwater."}));
    add("MGEF", Mgef({14, 1, 5, 0x1D0, "s\\tx_s_fire_damage.dds", "vfx_firealpha00A.tga",
                      "This spell effect produces a manifestation of elemental fire."}));
    // Indices above 127 show the reader's signed index byte ("Index -116").
    add("MGEF", Mgef({140, 2, 30, 0x10, "s\\tx_s_summ_fabricant.dds", "vfx_conj_flare02.tga",
                      "This effect summons a fabricant from the Clockwork City."}));
    add("SCPT", Scpt(DoorScript()));
    add("STAT", Stat("sample_rock_01", "x\\ex_rock_01.nif"));
    add("STAT", Stat("sample_pillar_01", "x\\in_pillar_01.nif"));
    add("STAT", Stat("sample_banner_01", "x\\furn_banner_01.nif"));
    add("MISC", Misc(Coin()));
    add("MISC", Misc(HallKey()));
    add("MISC", Misc(Goblet()));
    add("WEAP", Weap(IronSword()));
    add("WEAP", Weap(SteelDagger()));
    add("WEAP", Weap(OakBow()));
    add("NPC_", Npc(Guard()));
    add("NPC_", Npc(Trader()));
    add("NPC_", Npc(Priest()));
    add("CELL", Cell(Hall()));
    add("CELL", Cell(Cellar()));
    add("CELL", Cell(Shore()));
    add("CELL", Cell(Village()));
    add("LAND", Land(-2, 5, 25, true));
    add("LAND", Land(-1, 5, 15, false));
    add("PGRD", Pgrd(HallGrid()));
    add("PGRD", Pgrd(ShoreGrid()));
    add("DIAL", Dial("Greeting 0", EDialType::Greeting));
    add("INFO", Info(GuardGreeting()));
    add("INFO", Info(TraderGreeting()));
    add("INFO", Info(AnyGreeting()));
    add("DIAL", Dial("latest rumors", EDialType::Topic));
    add("INFO", Info(Rumor1()));
    add("INFO", Info(Rumor2()));
    add("INFO", Info(Rumor3()));
    add("DIAL", Dial("SampleQuest", EDialType::Journal));
    add("INFO", Info(QuestName()));
    add("INFO", Info(Quest10()));
    add("INFO", Info(Quest20()));
    add("INFO", Info(Quest100()));
    return r;
}

// Better weapons: changes the master's sword and trader, copies two
// records unchanged, deletes a banner and adds a sword of its own.
CRecords ArmoryRecords() {
    CRecords r;
    auto add = [&](const char* tag, CSubs subs) { r.push_back({tag, std::move(subs)}); };
    add("GMST", GmstFloat("fSampleFatigueMult", 1.25f));  // identical to the master
    add("STAT", Deleted({records::Name("sample_banner_01")}));
    add("MISC", Misc(Goblet()));  // identical to the master
    CWeapon sword = IronSword();
    sword.m_chop[1] = 15;
    sword.m_slash[1] = 13;
    add("WEAP", Weap(sword));
    add("WEAP", Weap(SilverSword()));
    CNpc trader = Trader();
    trader.m_items.push_back({1, "armory_silver_sword"});
    add("NPC_", Npc(trader));
    CCell hall{.m_name = "Sample Hall", .m_flags = 1};
    hall.m_water = -200;
    hall.m_refs = {{.m_index = 1, .m_id = "armory_silver_sword", .m_pos = {-150, 60, 80}, .m_rot = {0, 1.5708f, 0}}};
    add("CELL", Cell(hall));
    return r;
}

// A quest extension: inserts responses into the master's chains (so the
// neighbours change too), deletes the last greeting and adds a topic.
CRecords QuestsRecords() {
    CRecords r;
    auto add = [&](const char* tag, CSubs subs) { r.push_back({tag, std::move(subs)}); };
    add("GLOB", Glob("SampleQuestStage", 's', 10));
    CScript script{.m_name = "SampleQuestScript",
                   .m_shorts = {"stage"},
                   .m_text = Crlf({"Begin SampleQuestScript", "", "short stage", "",
                                   "if ( GetJournalIndex SampleQuest >= 30 )", "\tset SampleQuestStage to 30",
                                   "endif", "", "End SampleQuestScript"})};
    add("SCPT", Scpt(script));
    add("NPC_", Npc(Priest()));  // identical to the master
    add("DIAL", Dial("Greeting 0", EDialType::Greeting));
    CResponse trader = TraderGreeting();
    trader.m_next = "";
    add("INFO", Info(trader));
    add("INFO", Deleted({records::Sub("INAM", records::Z(kGreet3)), records::Sub("PNAM", records::Z(kGreet2)),
                         records::Sub("NNAM", records::Z("")), records::Sub("DATA", std::string(12, '\0'))}));
    add("DIAL", Dial("latest rumors", EDialType::Topic));
    CResponse r1 = Rumor1();
    r1.m_next = kRumorQuests;
    add("INFO", Info(r1));
    CResponse inserted = Rumor(kRumorQuests, kRumor1, kRumor2, "A priest came asking about a key to the cellar.");
    add("INFO", Info(inserted));
    CResponse r2 = Rumor2();
    r2.m_prev = kRumorQuests;
    add("INFO", Info(r2));
    add("DIAL", Dial("SampleQuest", EDialType::Journal));
    CResponse q20 = Quest20();
    q20.m_next = kQuest30;
    add("INFO", Info(q20));
    add("INFO", Info(Journal(kQuest30, kQuest20, kQuest100, 30, "Brother Tarvus wants to see the cellar first.")));
    CResponse q100 = Quest100();
    q100.m_prev = kQuest30;
    add("INFO", Info(q100));
    add("DIAL", Dial("sample shrine", EDialType::Topic));
    CResponse s1 = Rumor(kShrine1, "", kShrine2, "The shrine lies beneath the hall. Few remember it.");
    s1.m_actor = "sample_priest";
    s1.m_result = "Journal SampleQuest 30";
    add("INFO", Info(s1));
    add("INFO", Info(Rumor(kShrine2, kShrine1, "", "Ask the priest, not me.")));
    return r;
}

// Balance tweaks: settings, a different change to the trader and the sword
// (conflicting with the armory), a deleted cell, coin and landscape edits.
CRecords TweaksRecords() {
    CRecords r;
    auto add = [&](const char* tag, CSubs subs) { r.push_back({tag, std::move(subs)}); };
    add("GMST", GmstString("sSampleWelcome", "Welcome, traveller, to the sample hall."));
    add("GMST", GmstInt("iSampleMaxLevel", 75));
    add("GMST", GmstFloat("fSampleJumpBase", 0.5f));  // identical to the master
    add("MISC", Deleted({records::Name("sample_coin")}));
    CWeapon sword = IronSword();
    sword.m_item.m_value = 55;
    sword.m_health = 800;
    add("WEAP", Weap(sword));
    CWeapon silver = SilverSword();
    silver.m_item.m_value = 280;
    add("WEAP", Weap(silver));
    CNpc trader = Trader();
    trader.m_gold = 1500;
    add("NPC_", Npc(trader));
    CCell cellar = Cellar();
    cellar.m_refs.clear();
    cellar.m_deleted = true;
    add("CELL", Cell(cellar));
    CCell shore = Shore();
    shore.m_refs[1].m_pos[2] = 410;
    add("CELL", Cell(shore));
    add("LAND", Land(-2, 5, 26, true));
    add("PGRD", Pgrd(ShoreGrid()));  // identical to the master
    add("DIAL", Dial("latest rumors", EDialType::Topic));
    CResponse r2 = Rumor2();
    r2.m_next = kRumorTweaks;
    add("INFO", Info(r2));
    add("INFO", Info(Rumor(kRumorTweaks, kRumor2, kRumor3, "Fatigue wears on you less than it used to.")));
    CResponse r3 = Rumor3();
    r3.m_prev = kRumorTweaks;
    add("INFO", Info(r3));
    return r;
}

// A patch to the trader and the iron sword that the tweaks change too: which
// of the two wins depends on the load order's kind.
CRecords PatchRecords() {
    CRecords r;
    CWeapon sword = IronSword();
    sword.m_item.m_value = 48;
    r.push_back({"WEAP", Weap(sword)});
    CNpc trader = Trader();
    trader.m_gold = 900;
    r.push_back({"NPC_", Npc(trader)});
    return r;
}

// Relative folders are taken from the file's own folder, so the set works
// wherever it lies.
const char* const kOpenMWConfig =
    "# The sample set as an OpenMW load order: two data folders, and the\n"
    "# content list, not the file times, decides which file wins.\n"
    "data=\"Data Files\"\n"
    "data=\"Mods/Sample Patch\"\n"
    "content=Sample.esm\n"
    "content=Sample Armory.esp\n"
    "content=Sample Quests.esp\n"
    "content=Sample Patch.omwaddon\n"
    "content=Sample Tweaks.esp\n";

}  // namespace

std::vector<std::string> SampleFileNames() { return {kMaster, kArmory, kQuests, kTweaks}; }

std::vector<std::int64_t> SampleTimes() {
    return {kFirstTime, kFirstTime + kDay, kFirstTime + 2 * kDay, kFirstTime + 3 * kDay};
}

CWritten WriteSampleSet(const std::string& dir) {
    CWritten out;
    const std::string data = dir + "/Data Files/";
    const auto times = SampleTimes();

    const std::string master = Build({.m_author = "Vantorscope sample",
                                      .m_description = "A small master for trying out Vantorscope.",
                                      .m_isMaster = true},
                                     MasterRecords());
    const std::string armory = Build(PluginHeader("Better weapons for the sample hall.", master.size()), ArmoryRecords());
    const std::string quests = Build(PluginHeader("Extends the cellar quest.", master.size()), QuestsRecords());
    CHeader tweaksHeader = PluginHeader("Balance tweaks; needs the armory.", master.size());
    // The tweaks change the armory's own sword, so the armory is a master too.
    tweaksHeader.m_masters.push_back(kArmory);
    tweaksHeader.m_masterSizes.push_back(armory.size());
    const std::string tweaks = Build(tweaksHeader, TweaksRecords());

    const std::string* bytes[] = {&master, &armory, &quests, &tweaks};
    const auto names = SampleFileNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        out.m_files.push_back(data + names[i]);
        if (!WriteFile(out.m_files.back(), *bytes[i], times[i], out.m_error)) {
            out.m_ok = false;
            return out;
        }
    }
    if (!WriteIni(dir, names, times.back(), out.m_error)) {
        out.m_ok = false;
        return out;
    }

    const std::string patch = Build(PluginHeader("Trader and sword patch, for OpenMW.", master.size()), PatchRecords());
    out.m_files.push_back(dir + "/" + kPatchFolder + kPatch);
    if (!WriteFile(out.m_files.back(), patch, times.back() + kDay, out.m_error) ||
        !WriteFile(dir + "/openmw.cfg", kOpenMWConfig, times.back(), out.m_error))
        out.m_ok = false;
    return out;
}

}  // namespace vantor::mkdata
