// Conflicts by record on small load orders built byte by byte, and on the
// corpus of real plugins.
#include <gtest/gtest.h>

#include <filesystem>

#include "checks/CheckFixture.h"
#include "checks/RecordConflicts.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"

namespace vantor {
namespace {

using namespace fixtures;

constexpr std::int64_t kT = 1'100'000'000;
const std::atomic<std::int32_t> kRunning{0};

// A weapon: its name and the data block with weight and value.
std::vector<CSub> Weapon(const std::string& id, float weight, std::int32_t value, const std::string& name = "Sword") {
    std::string data = F32(weight) + I32(value) + std::string(24, '\0');
    return {Name(id), Sub("FNAM", Z(name)), Sub("WPDT", data)};
}

// A path grid (its ID is its cell's grid and name) with `points` points.
std::vector<CSub> Grid(std::int32_t points) {
    return {Sub("DATA", std::string(12, '\0')), Name("grid"), Sub("PGRP", std::string(16 * std::size_t(points), '\1'))};
}

CCheckSwitches AllTypes() {
    CCheckSwitches on{};
    on.fill(1);
    return on;
}

std::string FilesOf(const CRecordConflict& c) {
    std::string text;
    for (const CRecordCopy& copy : c.m_group.m_copies) text += (text.empty() ? "" : " ") + copy.m_file->FileName();
    return text;
}

TEST(RecordConflicts, OneFindingPerRecordWithItsCopiesWinnerMasterAndNamedFields) {
    fixtures::CLoadOrder files;
    CPluginFile& older = files.Add("Old.esm", CPluginBuilder().Header().Record("WEAP", Weapon("sword", 1, 10)), kT);
    CPluginFile& newer = files.Add("New.esm",
                                   CPluginBuilder().Header().Record("WEAP", Weapon("sword", 2, 10)).Record(
                                       "MISC", Named("coin", "Coin")),
                                   kT + 1);
    // Given out of order: the load order is the files' times.
    CPluginFile& c = files.Add("C.esp",
                               CPluginBuilder()
                                   .Header()
                                   .Record("MISC", Named("rock", "Big Rock"))
                                   .Record("MISC", Named("coin", "", true))
                                   .Record("PGRD", Grid(1)),
                               kT + 4, CExtractOpts{});
    CPluginFile& a = files.Add("A.esp",
                               CPluginBuilder()
                                   .Header()
                                   .Record("WEAP", Weapon("sword", 5, 10))
                                   .Record("MISC", Named("rock", "Big Rock"))
                                   .Record("MISC", Named("coin", "Gold Coin"))
                                   .Record("MISC", Named("gem", "Gem"))
                                   .Record("PGRD", Grid(2)),
                               kT + 2, CExtractOpts{});
    CPluginFile& b = files.Add("B.esp", CPluginBuilder().Header().Record("WEAP", Weapon("sword", 6, 99, "Blade")),
                               kT + 3);
    CLastWriteAges ages;
    CScriptedLink link;
    const std::vector<CPluginFile*> plugins{&c, &a, &b}, masters{&older, &newer};
    const std::vector<CRecordConflict> found = FindRecordConflicts(plugins, masters, ages, AllTypes(), kRunning, &link);

    // By type in tag order, then by first copy in load order; the gem only one
    // plugin holds is not there.
    ASSERT_EQ(found.size(), 4u);
    const CRecordConflict& rock = found[0];
    const CRecordConflict& coin = found[1];
    const CRecordConflict& grid = found[2];
    const CRecordConflict& sword = found[3];
    EXPECT_EQ(std::string(sword.m_group.m_id) + " " + FilesOf(sword), "sword A.esp B.esp");
    EXPECT_EQ(sword.m_group.Winner().m_file, &b);
    EXPECT_EQ(sword.m_agreement, ERecordAgreement::Conflict);
    EXPECT_EQ(rock.m_agreement, ERecordAgreement::Agreeing);
    EXPECT_EQ(FilesOf(rock), "A.esp C.esp");
    EXPECT_FALSE(rock.m_group.m_master);
    EXPECT_EQ(coin.m_agreement, ERecordAgreement::Conflict);
    // Path grid data was not read: said, not taken for agreement.
    EXPECT_EQ(grid.m_agreement, ERecordAgreement::NotRead);
    EXPECT_EQ(CopyCount(found), 8u);
    EXPECT_EQ(link.Calls().front(), "progress 100|Checking Record Conflicts 0% complete");
    EXPECT_EQ(link.Calls().back(), "progress 0|Checking Record Conflicts 100% complete");

    // The newest master's copy is the one compared with, first column.
    const CRecordComparison s(sword);
    ASSERT_EQ(s.ColumnCount(), 3u);
    EXPECT_TRUE(s.HasMaster());
    EXPECT_EQ(&s.File(0), &newer);
    EXPECT_EQ(s.WinnerColumn(), 2u);
    EXPECT_EQ(s.Names(s.Changed(1, CRecordComparison::kFromMaster)), "WPDT (Weight)");
    EXPECT_EQ(s.Names(s.Changed(1, CRecordComparison::kFromWinner)), "FNAM, WPDT (Weight, Value)");
    EXPECT_EQ(s.Names(s.Changed(2, CRecordComparison::kFromMaster)), "FNAM, WPDT (Weight, Value)");
    EXPECT_TRUE(s.Changed(2, CRecordComparison::kFromWinner).empty());
    EXPECT_EQ(s.Names(s.Contested()), "FNAM, WPDT (Weight, Value)");
    // Values as a modder reads them, fields by name.
    std::size_t weight = s.LineCount();
    for (std::size_t l = 0; l < s.LineCount(); ++l)
        if (s.LineName(l) == "WPDT.Weight") weight = l;
    ASSERT_LT(weight, s.LineCount());
    EXPECT_EQ(s.Text(weight, 0) + " " + s.Text(weight, 1) + " " + s.Text(weight, 2), "2 5 6");
    EXPECT_EQ(s.Differs(weight, 1), CRecordComparison::kFromMaster | CRecordComparison::kFromWinner);

    // A deleted copy differs by its deletion mark and the subrecords it lacks.
    const CRecordComparison del(coin);
    EXPECT_EQ(del.Names(del.Changed(del.WinnerColumn(), CRecordComparison::kFromMaster)), "FNAM, DELE");
    const CRecordComparison agreeing(rock);
    EXPECT_TRUE(agreeing.Contested().empty());
    const CRecordComparison unread(grid);
    EXPECT_TRUE(unread.NotRead(0) && unread.NotRead(1) && unread.LineCount() == 0);

    // Only the types switched on; Single Versus: only what that plugin holds.
    CCheckSwitches weaponsOnly{};
    weaponsOnly[std::size_t(CheckIndexOf("WEAP"))] = 1;
    EXPECT_EQ(FindRecordConflicts(plugins, masters, ages, weaponsOnly, kRunning).size(), 1u);
    const auto versus = FindRecordConflicts(plugins, masters, ages, AllTypes(), kRunning, nullptr, &b);
    ASSERT_EQ(versus.size(), 1u);
    EXPECT_EQ(versus[0].m_group.m_id, "sword");
    const std::atomic<std::int32_t> stopped{1};
    EXPECT_TRUE(FindRecordConflicts(plugins, masters, ages, AllTypes(), stopped).empty());
}

TEST(RecordConflicts, RepeatedSubrecordsMatchByOccurrenceAndResponsesByTheirPlace) {
    fixtures::CLoadOrder files;
    auto npc = [](const std::string& second, std::int16_t level) {
        return std::vector<CSub>{Name("guard"), Sub("NPDT", I16(level) + std::string(10, '\0')),
                                 Sub("NPCO", I32(1) + Fixed("torch", 32)), Sub("NPCO", I32(1) + Fixed(second, 32))};
    };
    CPluginFile& a = files.Add("A.esp",
                               CPluginBuilder().Header().Record("NPC_", npc("bread", 3)).Record(
                                   "INFO", Info("hello", "", "", "Hi")),
                               kT);
    CPluginFile& b = files.Add("B.esp",
                               CPluginBuilder().Header().Record("NPC_", npc("apple", 3)).Record(
                                   "INFO", Info("hello", "greet", "", "Hi")),
                               kT + 1);
    CLastWriteAges ages;
    const auto found = FindRecordConflicts({&a, &b}, {}, ages, AllTypes(), kRunning);
    ASSERT_EQ(found.size(), 2u);
    const CRecordComparison info(found[0]);
    EXPECT_EQ(info.Names(info.Contested()), "PNAM");
    const CRecordComparison guard(found[1]);
    EXPECT_FALSE(guard.HasMaster());
    EXPECT_EQ(guard.Names(guard.Contested()), "NPCO[2]");
    EXPECT_EQ(guard.Names(guard.Changed(0, CRecordComparison::kFromMaster)), "");
}

TEST(RecordConflicts, CorpusRecordsHeldTwiceAreListedOnceWithTheirNewestCopyWinning) {
    const auto paths = CorpusFiles();
    if (paths.empty()) GTEST_SKIP() << "corpus absent";
    CTempDir dir;
    std::vector<std::unique_ptr<CPluginFile>> owned;
    std::vector<CPluginFile*> plugins, masters;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string name = std::to_string(i) + "_" + std::filesystem::path(paths[i]).filename().string();
        std::filesystem::copy_file(paths[i], dir / name);
        ASSERT_TRUE(StampFile(dir / name, kT + std::int64_t(i)));
        auto file = ReadPluginAt(dir.Path(), name);
        if (!file || file->EntryCount() == 0) continue;
        const std::string ext = std::filesystem::path(name).extension().string();
        (ext == ".esm" || ext == ".ESM" || ext == ".omwgame" ? masters : plugins).push_back(file.get());
        owned.push_back(std::move(file));
    }
    CLastWriteAges ages;
    const auto found = FindRecordConflicts(plugins, masters, ages, AllTypes(), kRunning);
    ASSERT_FALSE(found.empty());
    std::size_t contested = 0;
    for (const CRecordConflict& c : found) {
        ASSERT_GE(c.m_group.m_copies.size(), 2u);
        const CRecordComparison comparison(c);
        // Plugins that disagree disagree somewhere the comparison names; agreeing ones nowhere.
        if (c.m_agreement == ERecordAgreement::Conflict) {
            EXPECT_FALSE(comparison.Contested().empty()) << c.m_group.m_id;
            ++contested;
        }
        if (c.m_agreement == ERecordAgreement::Agreeing) {
            EXPECT_TRUE(comparison.Contested().empty()) << c.m_group.m_id;
        }
        for (std::size_t k = 1; k < c.m_group.m_copies.size(); ++k)
            EXPECT_LE(ages.AgeOf(c.m_group.m_copies[k - 1].m_file->FullPath()),
                      ages.AgeOf(c.m_group.m_copies[k].m_file->FullPath()));
    }
    EXPECT_GT(contested, 0u);
}

}  // namespace
}  // namespace vantor
