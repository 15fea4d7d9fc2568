// The cell cleaning rules, one plugin cell per case against a master's cells.
#include <gtest/gtest.h>

#include "cells/CellClean.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::cells;
using fixtures::ReadPluginAt;
using fixtures::F32;
using fixtures::I32;
using fixtures::Z;

namespace {

constexpr std::int32_t kFirst = 1 << 24, kSecond = 2 << 24;  // FRMR: created by MAST entry 1, 2

std::string Sub(const std::string& tag, const std::string& data) {
    return fixtures::SubBytes(fixtures::Sub(tag, data));
}
std::string Body(const std::string& id, float x, const std::string& extra = {}) {
    return Sub("NAME", Z(id)) + extra + Sub("DATA", F32(x) + std::string(20, '\0'));
}
std::string Ref(std::int32_t frmr, const std::string& body) { return Sub("FRMR", I32(frmr)) + body; }
std::string Count(int n) { return Sub("NAM0", I32(n)); }
std::string CellRecord(const std::string& name, std::int32_t flags, std::int32_t x, std::int32_t y,
                       const std::string& rest, bool deleted = false) {
    fixtures::CPluginBuilder b;
    b.RecordData("CELL", Sub("NAME", Z(name)) + (deleted ? Sub("DELE", I32(0)) : "") +
                             Sub("DATA", I32(flags) + I32(x) + I32(y)) + rest);
    return b.Bytes();
}

const std::string kAmbient = I32(0x101010) + I32(0x808080) + I32(0x202020) + F32(0.5f);
const std::string kWater = Sub("WHGT", F32(-5)), kOtherWater = Sub("WHGT", F32(7));
const std::string kAmbi = Sub("AMBI", kAmbient), kOtherAmbi = Sub("AMBI", I32(1) + kAmbient.substr(4));
const std::string kRegion = Sub("RGNN", Z("Ascadian Isles Region")), kMapColour = Sub("NAM5", I32(0x336699));
// The master's references, as a plugin copies them.
const std::string kNpc = Ref(kFirst | 1, Body("npc", 1)), kChair = Ref(kFirst | 2, Body("chair", 2)),
                  kTable = Ref(kFirst | 3, Body("table", 3)), kLamp = Ref(kFirst | 4, Body("lamp", 4)),
                  kRock = Ref(kFirst | 6, Body("rock", 6)), kTree = Ref(kFirst | 7, Body("tree", 7));

std::string MasterBytes() {
    fixtures::CPluginBuilder b;
    b.Header().Raw(CellRecord("Hall", 1, 0, 0,
                              kWater + kAmbi + Ref(1, Body("npc", 1)) + Count(3) + Ref(2, Body("chair", 2)) +
                                  Ref(3, Body("table", 3)) + Ref(4, Body("lamp", 4))));
    // Older files give the water height as an integer.
    b.Raw(CellRecord("Old Hall", 1, 0, 0, Sub("INTV", I32(-5)) + kAmbi + Count(1) + Ref(5, Body("cup", 5))));
    b.Raw(CellRecord("", 0, 3, -4,
                     kRegion + kMapColour + Count(2) + Ref(6, Body("rock", 6)) + Ref(7, Body("tree", 7))));
    b.Raw(CellRecord("Dry Hall", 1, 0, 0, Sub("WHGT", F32(0.0f)) + kAmbi));
    return b.Bytes();
}

// A piece of the plugin cell's data and what cleaning makes of it.
struct CPiece {
    std::string m_bytes, m_after;
};
CPiece Keep(const std::string& bytes) { return {bytes, bytes}; }
CPiece Drop(const std::string& bytes) { return {bytes, ""}; }
CPiece Recount(int from, int to) { return {Count(from), Count(to)}; }

// What the analysis found in a cell, as "<duplicates>[ ambient][ water][ junk]".
std::string Found(const CCellClean& c) {
    return std::to_string(c.m_duplicates) + (c.m_redundantAmbient ? " ambient" : "") +
           (c.m_redundantWater ? " water" : "") + (c.m_junk ? " junk" : "");
}

}  // namespace

TEST(CellClean, EachRuleAndEachException) {
    struct CCase {
        const char* m_what;
        std::string m_cell;  // an interior's name; "" for the exterior 3,-4
        std::vector<CPiece> m_pieces;
        std::string m_found;  // "" when the cell is not listed
        std::vector<std::string> m_masters = {"M.esm"};
        bool m_deleted = false;
        std::size_t m_unjudged = 0;
        std::vector<std::string> m_unjudgedFor = {};  // missing masters that kept the cell from being judged
    };
    const CCase cases[] = {
        {"identical references go, then the cell with its identical header", "Hall",
         {Drop(kWater), Drop(kAmbi), Drop(kNpc), Keep(Count(2)), Drop(kChair), Drop(kTable)}, "3 ambient water junk"},
        {"a header identical to the master's and nothing else is junk", "Hall", {Drop(kWater), Drop(kAmbi)},
         "0 ambient water junk"},
        {"a changed subrecord stays; NAM0 counts what is left", "Hall",
         {Keep(kOtherWater), Keep(kOtherAmbi), Drop(kNpc), Recount(2, 1), Drop(kChair),
          Keep(Ref(kFirst | 3, Body("table", 9)))},
         "2"},
        {"a changed size stays", "Hall",
         {Keep(kOtherWater), Recount(2, 1), Keep(Ref(kFirst | 2, Body("chair", 2, Sub("XSCL", F32(2))))), Drop(kTable)},
         "1"},
        {"a moved reference stays whole", "Hall",
         {Keep(kOtherAmbi), Recount(2, 1), Keep(Sub("MVRF", I32(kFirst | 2)) + Sub("CNDT", I32(1) + I32(2)) + kChair),
          Drop(kTable)},
         "1"},
        {"a deleted reference stays", "Hall",
         {Recount(2, 1), Keep(Ref(kFirst | 2, Sub("NAME", Z("chair")) + Sub("DELE", I32(0)))), Drop(kTable)}, "1"},
        {"a reference the plugin created stays, even on a master's index", "Hall",
         {Recount(2, 1), Keep(Ref(2, Body("chair", 2))), Drop(kTable)}, "1"},
        {"a reference of a master that is not loaded stays", "Hall",
         {Recount(2, 1), Keep(Ref(kFirst | 2, Body("chair", 2))), Drop(Ref(kSecond | 3, Body("table", 3)))}, "1",
         {"Gone.esm", "M.esm"}},
        // N.esm loads after M.esm and may change (or the plugin revert) what M
        // holds: without it nothing of the cell can be judged.
        {"a master named after the one compared with is not loaded", "Hall", {Keep(kWater), Keep(kAmbi), Keep(kNpc)},
         "", {"M.esm", "N.esm", "Gone.esm", "n.esm"}, false, 1, {"N.esm", "Gone.esm"}},
        {"a persistent reference copied among the temporary ones stays", "Hall",
         {Recount(2, 1), Keep(kNpc), Drop(kTable)}, "1"},
        {"an index the master does not hold stays", "Hall", {Keep(Count(1)), Keep(Ref(kFirst | 99, Body("chair", 2)))},
         ""},
        {"a changed header keeps the cell after its references are gone", "Hall",
         {Drop(kWater), Keep(kOtherAmbi), Drop(kNpc), Recount(1, 0), Drop(kLamp)}, "2 water"},
        {"interiors match without regard to case; the renamed cell stays", "HALL",
         {Drop(kWater), Drop(kAmbi), Recount(1, 0), Drop(kChair)}, "1 ambient water"},
        {"a water height of -0 is the master's 0", "Dry Hall", {Drop(Sub("WHGT", F32(-0.0f))), Keep(kOtherAmbi)},
         "0 water"},
        {"a water height equal to the master's integer one", "Old Hall",
         {Drop(kWater), Keep(kOtherAmbi), Keep(Count(1)), Keep(Ref(kFirst | 5, Body("cup", 1)))}, "0 water"},
        {"an exterior matches by grid though the plugin renames its region", "",
         {Keep(Sub("RGNN", Z("Bitter Coast Region"))), Keep(kMapColour), Recount(2, 0), Drop(kRock), Drop(kTree)}, "2"},
        {"an exterior's ambient light is not judged", "",
         {Keep(kRegion), Keep(kMapColour), Keep(kAmbi), Recount(2, 0), Drop(kRock), Drop(kTree)}, "2"},
        {"an identical exterior is junk", "",
         {Keep(kRegion), Keep(kMapColour), Keep(Count(2)), Drop(kRock), Drop(kTree)}, "2 junk"},
        {"a cell no master holds is not judged", "New Place", {Keep(kWater), Keep(kAmbi), Keep(kNpc)}, ""},
        {"a deleted cell is left alone", "Hall", {Keep(kWater), Keep(kAmbi), Keep(kNpc)}, "", {"M.esm"}, true},
        {"a damaged cell is left alone", "Hall", {Keep(kWater), Keep(kAmbi.substr(0, 10))}, "", {"M.esm"}, false, 1},
    };

    fixtures::CTempDir dir;
    ASSERT_TRUE(fixtures::CPluginBuilder().Raw(MasterBytes()).Write(dir / "M.esm"));
    auto master = ReadPluginAt(dir.Path(), "M.esm");
    ASSERT_TRUE(master);
    const CCellCleaner cleaner({master.get()});

    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_what);
        std::string rest, expected;
        for (const CPiece& p : c.m_pieces) {
            rest += p.m_bytes;
            expected += p.m_after;
        }
        const bool interior = !c.m_cell.empty();
        fixtures::CPluginBuilder b;
        b.Header(c.m_masters);
        b.Raw(CellRecord(c.m_cell, interior ? 1 : 0, interior ? 0 : 3, interior ? 0 : -4, rest, c.m_deleted));
        ASSERT_TRUE(b.Write(dir / "P.esp"));
        auto plugin = ReadPluginAt(dir.Path(), "P.esp");
        ASSERT_TRUE(plugin);

        const CPluginCells result = cleaner.Analyse(*plugin);
        EXPECT_EQ(result.m_unjudged, c.m_unjudged);
        EXPECT_EQ(result.m_unjudgedForMissing, c.m_unjudgedFor.empty() ? 0u : 1u);
        EXPECT_EQ(result.m_unjudgedMasters, c.m_unjudgedFor);
        std::vector<std::string> missing;  // each once, whatever its case
        for (const std::string& m : c.m_masters)
            if (m != "M.esm" && m != "n.esm") missing.push_back(m);
        EXPECT_EQ(result.m_missingMasters, missing);
        ASSERT_EQ(result.m_cells.size(), c.m_found.empty() ? 0u : 1u);
        if (c.m_found.empty()) continue;
        const CCellClean& cell = result.m_cells[0];
        EXPECT_EQ(cell.m_entry, plugin->GetTable("CELL")->front().get());
        EXPECT_EQ(cell.m_master, "M.esm");
        EXPECT_EQ(Found(cell), c.m_found);
        EXPECT_TRUE(cell.m_junk || cell.m_data == expected);
    }
}

// A later master changes a reference; the plugin's copy is compared with the
// version in effect before it, whichever order its MAST list names them in.
TEST(CellClean, ComparesWithTheNewestVersionAndKeepsReverts) {
    fixtures::CTempDir dir;
    fixtures::CPluginBuilder base, newer, plugin;
    base.Header().Raw(CellRecord("Hall", 1, 0, 0,
                                 kWater + Count(3) + Ref(1, Body("chair", 2)) + Ref(2, Body("table", 3)) +
                                     Ref(3, Body("lamp", 4))));
    // Newer moves the chair, deletes the lamp, adds a rug, changes the ambient
    // light, and names an index Base does not hold.
    const std::string lampDeleted = Sub("NAME", Z("lamp")) + Sub("DELE", I32(0)), ghost = Body("ghost", 9);
    newer.Header({"Base.esm"})
        .Raw(CellRecord("Hall", 1, 0, 0,
                        kWater + kAmbi + Count(4) + Ref(kFirst | 1, Body("chair", 20)) + Ref(kFirst | 3, lampDeleted) +
                            Ref(1, Body("rug", 5)) + Ref(kFirst | 9, ghost)));
    // MAST: Newer first, so Newer's references carry 1 and Base's 2.
    const std::string kept =
        Ref(kSecond | 1, Body("chair", 2)) + Ref(kSecond | 3, lampDeleted) + Ref(kSecond | 9, ghost);
    const std::string table = Ref(kSecond | 2, Body("table", 3)), rug = Ref(kFirst | 1, Body("rug", 5));
    plugin.Header({"Newer.esm", "Base.esm"})
        .Raw(CellRecord("Hall", 1, 0, 0, kWater + kAmbi + Count(5) + table + rug + kept));
    ASSERT_TRUE(base.Write(dir / "Base.esm") && newer.Write(dir / "Newer.esm") && plugin.Write(dir / "P.esp"));
    auto b = ReadPluginAt(dir.Path(), "Base.esm"), n = ReadPluginAt(dir.Path(), "Newer.esm");
    auto p = ReadPluginAt(dir.Path(), "P.esp");
    ASSERT_TRUE(b && n && p);

    // The chair reverts to Base's, the deletion is the plugin's own, no master made the ghost: they stay.
    const CPluginCells result = CCellCleaner({b.get(), n.get()}).Analyse(*p);
    ASSERT_EQ(result.m_cells.size(), 1u);
    EXPECT_EQ(result.m_cells[0].m_master, "Newer.esm");
    EXPECT_EQ(Found(result.m_cells[0]), "2 ambient water");  // the table and the rug
    EXPECT_EQ(result.m_cells[0].m_data, Count(3) + kept);

    // Given the other way round, Base is the newer one and the chair a copy of it.
    const CPluginCells reversed = CCellCleaner({n.get(), b.get()}).Analyse(*p);
    ASSERT_EQ(reversed.m_cells.size(), 1u);
    EXPECT_EQ(reversed.m_cells[0].m_master, "Base.esm");
    EXPECT_EQ(Found(reversed.m_cells[0]), "3 water");  // chair, table, and the rug, which only Newer holds
}
