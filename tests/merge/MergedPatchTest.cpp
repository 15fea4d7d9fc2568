// The merged patch's rules, each on the plugins that show it.
#include <gtest/gtest.h>

#include <map>

#include "checks/FileAges.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "format/LittleEndian.h"
#include "merge/MergedPatch.h"

namespace vantor::merge {
namespace {

using namespace fixtures;

std::string U8(std::uint8_t v) { return std::string(1, char(v)); }
std::string U16(std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string U32(std::uint32_t v) { return I32(std::int32_t(v)); }

using CEntries = std::vector<std::pair<std::string, std::uint16_t>>;

std::vector<CSub> LevelledItems(const std::string& id, std::uint32_t flags, std::uint8_t chanceNone, const CEntries& entries) {
    std::vector<CSub> subs{Name(id), Sub("DATA", U32(flags)), Sub("NNAM", U8(chanceNone)), Sub("INDX", U32(std::uint32_t(entries.size())))};
    for (const auto& [item, level] : entries) {
        subs.push_back(Sub("INAM", Z(item)));
        subs.push_back(Sub("INTV", U16(level)));
    }
    return subs;
}

// A weapon's WPDT: weight and value set, the rest zero.
std::vector<CSub> Weapon(const std::string& id, const std::string& name, float weight, std::int32_t value) {
    return {Name(id), Sub("FNAM", Z(name)), Sub("WPDT", F32(weight) + I32(value) + std::string(24, '\0'))};
}

std::string Npco(std::int32_t count, const std::string& item) { return I32(count) + Fixed(item, 32); }

std::vector<CSub> Npc(const std::string& id, std::uint8_t fight, const std::vector<std::string>& items,
                      const std::vector<std::string>& spells, std::size_t npdtSize = 12) {
    std::vector<CSub> subs{Name(id), Sub("FNAM", Z(id)), Sub("NPDT", std::string(npdtSize, '\1'))};
    for (const auto& item : items) subs.push_back(Sub("NPCO", Npco(1, item)));
    for (const auto& spell : spells) subs.push_back(Sub("NPCS", Fixed(spell, 32)));
    subs.push_back(Sub("AIDT", std::string(2, '\0') + U8(fight) + std::string(9, '\0')));
    return subs;
}

// Plugins written and read in one folder, each a minute newer than the last.
class CLoadOrder {
public:
    CPluginFile& Add(const std::string& name, const std::vector<std::pair<std::string, std::vector<CSub>>>& records,
                     bool master = false, std::uint32_t flags = 0) {
        CPluginBuilder b;
        b.Header({}, std::uint32_t(records.size()));
        for (const auto& [tag, subs] : records) b.Record(tag, subs, std::nullopt, flags);
        if (!b.Write(m_dir / name) || !StampFile(m_dir / name, 1'000'000 + 60 * std::int64_t(m_files.size())))
            throw std::runtime_error("cannot write " + name);
        m_files.push_back(ReadPluginAt(m_dir.Path(), name));
        (master ? m_masters : m_plugins).push_back(m_files.back().get());
        return *m_files.back();
    }
    CMergeResult Merge() {
        CLastWriteAges ages;
        const std::atomic<std::int32_t> stop{0};
        return MergeRecords(m_plugins, m_masters, ages, stop);
    }
    // The patch written and read back.
    std::unique_ptr<CPluginFile> Patch(const CMergeResult& result) {
        CPluginBuilder b;
        b.Raw(PatchBytes(result));
        if (!b.Write(m_dir / "Merged Patch.esp")) return nullptr;
        return ReadPluginAt(m_dir.Path(), "Merged Patch.esp");
    }
    const std::string& Folder() const { return m_dir.Path(); }

private:
    CTempDir m_dir;
    std::vector<std::unique_ptr<CPluginFile>> m_files;
    std::vector<CPluginFile*> m_plugins, m_masters;
};

CSubRecords SubsOf(const CPluginFile& file, const std::string& tag, const std::string& id) {
    CSubRecords subs;
    for (const auto& e : *file.GetTable(tag))
        if (e->IdText() == id) SplitSubRecords(*e, subs);
    return subs;
}

// "tag=payload-as-text" of the list subrecords, for readable failures.
std::vector<std::string> ListOf(const CSubRecords& subs) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < subs.size(); ++i) {
        const CSubRecord& s = subs[i];
        if (s.m_tag == "INAM" && i + 1 < subs.size())
            out.push_back(std::string(UpToNul(s.m_payload)) + "@" + std::to_string(le::U16(subs[++i].m_payload, 0)));
        else if (s.m_tag == "DATA" || s.m_tag == "INDX")
            out.push_back(s.m_tag + "=" + std::to_string(le::U32(s.m_payload, 0)));
        else if (s.m_tag == "NNAM")
            out.push_back("NNAM=" + std::to_string(int(std::uint8_t(s.m_payload[0]))));
    }
    return out;
}

const CMergedRecord* Find(const CMergeResult& r, const std::string& id) {
    for (const CMergedRecord& m : r.m_records)
        if (UpToNul(m.m_id) == id) return &m;
    return nullptr;
}

TEST(MergedPatch, LeveledListsMergeEntryByEntryAgainstTheBase) {
    CLoadOrder order;
    order.Add("Morrowind.esm",
              {{"LEVI", LevelledItems("list", 1, 0, {{"a", 1}, {"b", 2}, {"twice", 4}})},
               {"LEVI", LevelledItems("same", 1, 0, {{"a", 1}})}},
              true);
    // A adds c and another "twice", removes b; B adds c too, and d, and
    // sets chance none; C removes both "twice" and sets the flags. A's
    // change to "same" is B's as well: the merge is B's copy.
    order.Add("A.esp", {{"LEVI", LevelledItems("list", 1, 0, {{"a", 1}, {"c", 1}, {"twice", 4}, {"twice", 4}})},
                        {"LEVI", LevelledItems("same", 1, 0, {{"a", 1}, {"x", 1}})}});
    order.Add("B.esp", {{"LEVI", LevelledItems("list", 1, 50, {{"d", 3}, {"a", 1}, {"b", 2}, {"C", 1}, {"twice", 4}})},
                        {"LEVI", LevelledItems("same", 1, 0, {{"a", 1}, {"x", 1}})}});
    order.Add("C.esp", {{"LEVI", LevelledItems("list", 3, 0, {{"a", 1}, {"b", 2}})}});
    // No master holds "new": the first plugin's copy is the base.
    order.Add("D.esp", {{"LEVI", LevelledItems("new", 0, 0, {{"p", 1}, {"q", 1}})}});
    order.Add("E.esp", {{"LEVI", LevelledItems("new", 0, 0, {{"p", 1}, {"r", 5}})}});
    order.Add("F.esp", {{"LEVI", LevelledItems("new", 0, 0, {{"p", 1}, {"q", 1}, {"s", 1}})}});

    const CMergeResult result = order.Merge();
    ASSERT_EQ(result.m_records.size(), 2u);
    EXPECT_EQ(result.m_sameAsWinner, 1u);
    auto patch = order.Patch(result);
    ASSERT_TRUE(patch);
    // Level first, then as the base and then the plugins first hold them.
    EXPECT_EQ(ListOf(SubsOf(*patch, "LEVI", "list")),
              (std::vector<std::string>{"DATA=3", "NNAM=50", "INDX=3", "a@1", "C@1", "d@3"}));
    EXPECT_EQ(ListOf(SubsOf(*patch, "LEVI", "new")),
              (std::vector<std::string>{"DATA=0", "NNAM=0", "INDX=3", "p@1", "s@1", "r@5"}));
    const CMergedRecord* list = Find(result, "list");
    ASSERT_TRUE(list);
    std::map<std::string, std::string> from;
    for (const CFieldSource& f : list->m_fields) from[f.m_field] = f.m_file->FileName() + (f.m_contested.empty() ? "" : " contested");
    EXPECT_EQ(from, (std::map<std::string, std::string>{{"DATA", "C.esp"},
                                                        {"NNAM", "B.esp"},
                                                        {"entry b at level 2", "A.esp"},
                                                        {"entry C at level 1", "B.esp"},
                                                        {"entry d at level 3", "B.esp"},
                                                        {"entry twice at level 4", "C.esp contested"}}));
}

TEST(MergedPatch, ObjectRecordsMergeFieldByFieldAndInventoriesAsLists) {
    CLoadOrder order;
    order.Add("Morrowind.esm", {{"WEAP", Weapon("sword", "Sword", 10.0f, 5)},
                                {"NPC_", Npc("guard", 30, {"dagger"}, {"heal"})},
                                {"NPC_", Npc("mixed", 30, {}, {}, 52)}},
              true);
    order.Add("A.esp", {{"WEAP", Weapon("sword", "Sword", 12.0f, 5)},
                        {"NPC_", Npc("guard", 30, {"dagger", "gold"}, {"heal"})},
                        {"NPC_", Npc("mixed", 40, {}, {})}});
    // B's name and value stand beside C's weight, which is contested with A's.
    order.Add("B.esp", {{"WEAP", Weapon("sword", "Blade", 10.0f, 7)},
                        {"NPC_", Npc("guard", 90, {"dagger"}, {"heal", "shield"})},
                        {"NPC_", Npc("mixed", 30, {}, {}, 52)}});
    order.Add("C.esp", {{"WEAP", Weapon("sword", "Sword", 15.0f, 5)}});

    const CMergeResult result = order.Merge();
    auto patch = order.Patch(result);
    ASSERT_TRUE(patch);
    const CSubRecords sword = SubsOf(*patch, "WEAP", "sword");
    ASSERT_EQ(sword.size(), 2u);
    EXPECT_EQ(sword[0], (CSubRecord{"FNAM", Z("Blade")}));
    EXPECT_EQ(sword[1], (CSubRecord{"WPDT", F32(15.0f) + I32(7) + std::string(24, '\0')}));
    const CMergedRecord* merged = Find(result, "sword");
    ASSERT_TRUE(merged);
    ASSERT_EQ(merged->Contested(), 1u);
    for (const CFieldSource& f : merged->m_fields)
        if (!f.m_contested.empty()) {
            EXPECT_EQ(f.m_field, "WPDT Weight");
            EXPECT_EQ(f.m_file->FileName(), "C.esp");
            ASSERT_EQ(f.m_contested.size(), 2u);
            EXPECT_EQ(f.m_contested[0]->FileName(), "A.esp");
        }

    CSubRecords expected = SubsOf(*patch, "NPC_", "guard");
    CSubRecords guard;
    for (const CSub& s : Npc("guard", 90, {"dagger", "gold"}, {"heal", "shield"})) guard.push_back({s.m_tag, s.m_payload});
    guard.erase(guard.begin());  // NAME
    EXPECT_EQ(expected, guard);
    // An NPC whose stats one plugin has the game calculate is left whole.
    ASSERT_EQ(result.m_skipped.size(), 1u);
    EXPECT_EQ(result.m_skipped[0].m_id, Z("mixed"));
    EXPECT_NE(result.m_skipped[0].m_reason.find("NPDT data in different forms"), std::string::npos);
}

TEST(MergedPatch, LeavesAloneWhatIsNeverMergedAndWhatADeletionDecides) {
    CLoadOrder order;
    order.Add("Morrowind.esm", {{"LEVC", LevelledItems("gone", 0, 0, {{"rat", 1}})},
                                {"MISC", {Name("coin"), Sub("DATA", I32(1))}},
                                {"SCPT", {Sub("SCHD", Fixed("script", 52)), Sub("SCTX", "begin script")}}},
              true);
    auto creatures = [](std::vector<CSub> subs) {
        for (CSub& s : subs)
            if (s.m_tag == "INAM") s.m_tag = "CNAM";
        return subs;
    };
    order.Add("A.esp", {{"LEVC", creatures(LevelledItems("gone", 0, 0, {{"rat", 1}, {"bat", 1}}))},
                        {"MISC", {Name("coin"), Sub("DATA", I32(2))}},
                        {"SCPT", {Sub("SCHD", Fixed("script", 52)), Sub("SCTX", "begin a")}},
                        {"LEVC", creatures(LevelledItems("kept", 0, 0, {{"rat", 1}}))}});
    order.Add("B.esp", {{"LEVC", {Name("gone"), Dele()}},
                        {"MISC", {Name("coin"), Sub("DATA", I32(3))}},
                        {"SCPT", {Sub("SCHD", Fixed("script", 52)), Sub("SCTX", "begin b")}},
                        {"LEVC", creatures(LevelledItems("kept", 0, 0, {{"rat", 1}, {"wolf", 2}}))}});
    order.Add("C.esp", {{"LEVC", creatures(LevelledItems("kept", 0, 0, {{"rat", 1}, {"bear", 3}}))}});

    const CMergeResult result = order.Merge();
    ASSERT_EQ(result.m_records.size(), 1u);
    EXPECT_EQ(result.m_records[0].m_tag, "LEVC");
    EXPECT_EQ(UpToNul(result.m_records[0].m_id), "kept");
    ASSERT_EQ(result.m_skipped.size(), 1u);
    EXPECT_EQ(result.m_skipped[0].m_reason, "deleted by B.esp");
    auto patch = order.Patch(result);
    ASSERT_TRUE(patch);
    CSubRecords kept = SubsOf(*patch, "LEVC", "kept");
    ASSERT_EQ(kept.size(), 9u);
    EXPECT_EQ(kept[3], (CSubRecord{"CNAM", Z("rat")}));
    EXPECT_EQ(kept[5], (CSubRecord{"CNAM", Z("wolf")}));
    EXPECT_EQ(kept[7], (CSubRecord{"CNAM", Z("bear")}));
    EXPECT_EQ(CountsByType(result), "1 LEVC");
}

TEST(MergedPatch, ThePatchNamesEveryContributingFileAndCountsItsRecords) {
    CLoadOrder order;
    order.Add("Morrowind.esm", {{"LEVI", LevelledItems("list", 0, 0, {{"a", 1}})}}, true);
    order.Add("Tribunal.esm", {{"MISC", {Name("coin"), Sub("DATA", I32(1))}}}, true);
    order.Add("A.esp", {{"LEVI", LevelledItems("list", 0, 0, {{"a", 1}, {"b", 1}})}});
    order.Add("Idle.esp", {{"LEVI", LevelledItems("list", 0, 0, {{"a", 1}})}});
    // The winner's record flags (here blocked and persistent) stay on the merged record.
    constexpr std::uint32_t kBlockedPersistent = 0x2400;
    order.Add("B.esp", {{"LEVI", LevelledItems("list", 0, 0, {{"a", 1}, {"c", 1}})}}, false, kBlockedPersistent);
    order.Add("C.esp", {{"LEVI", LevelledItems("other", 0, 0, {{"a", 1}, {"c", 1}})}});
    const CMergeResult result = order.Merge();
    auto patch = order.Patch(result);
    ASSERT_TRUE(patch);
    // Only what contributed, masters first, each in load order.
    EXPECT_EQ(patch->HeaderMasters(), (std::vector<std::string>{"Morrowind.esm", "A.esp", "B.esp"}));
    EXPECT_EQ(patch->HeaderRecordCount(), 1u);
    const std::string header = ReadText(order.Folder() + "Merged Patch.esp").substr(0, 400);
    EXPECT_NE(header.find("VANTOR Merged Patch"), std::string::npos);
    EXPECT_NE(header.find("Merged patch of 4 plugins, to load last: A.esp, Idle.esp, B.esp, C.esp"),
              std::string::npos);
    const std::string bytes = ReadText(order.Folder() + "Merged Patch.esp");
    // Each master's DATA holds its size.
    const auto mast = bytes.find(std::string("A.esp\0DATA", 10));
    ASSERT_NE(mast, std::string::npos);
    EXPECT_EQ(le::U64(bytes, mast + 6 + 8), ReadText(order.Folder() + "A.esp").size());
    const auto levi = bytes.find("LEVI");
    ASSERT_NE(levi, std::string::npos);
    EXPECT_EQ(le::U32(bytes, levi + 12), kBlockedPersistent);
}

}  // namespace
}  // namespace vantor::merge
