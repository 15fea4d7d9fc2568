// The merged patch on generated load orders, checked against the model the
// plugins were generated from rather than against the merge's own reading of
// them; and the real leveled lists of the corpus, merged with themselves.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "checks/FileAges.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "format/LittleEndian.h"
#include "merge/MergedPatch.h"

namespace vantor::merge {
namespace {

using namespace fixtures;

// A leveled list as the generator means it: how often it holds each item
// at each level, its flags and its chance none.
struct CList {
    std::map<std::pair<std::string, std::uint16_t>, int> m_counts;
    std::uint32_t m_flags = 0;
    std::uint8_t m_chance = 0;
};

// A weapon's name and the WPDT fields mods change.
struct CWeapon {
    std::string m_name;
    float m_weight = 0;
    std::int32_t m_value = 0;
    std::uint16_t m_health = 0;
};

struct CFile {
    std::map<std::string, CList> m_lists;
    std::map<std::string, CWeapon> m_weapons;
};

std::vector<CSub> ListSubs(const std::string& id, const CList& list, std::mt19937& rng) {
    std::vector<std::pair<std::string, std::uint16_t>> entries;
    for (const auto& [key, n] : list.m_counts)
        for (int i = 0; i < n; ++i) entries.push_back(key);
    // Mods write their entries in any order.
    std::shuffle(entries.begin(), entries.end(), rng);
    std::vector<CSub> subs{Name(id), Sub("DATA", I32(std::int32_t(list.m_flags))), Sub("NNAM", std::string(1, char(list.m_chance))),
                           Sub("INDX", I32(std::int32_t(entries.size())))};
    for (const auto& [item, level] : entries) {
        subs.push_back(Sub("INAM", Z(item)));
        subs.push_back(Sub("INTV", std::string{char(level & 0xFF), char(level >> 8)}));
    }
    return subs;
}

std::vector<CSub> WeaponSubs(const std::string& id, const CWeapon& w) {
    std::string wpdt = F32(w.m_weight) + I32(w.m_value) + I16(3) + I16(std::int16_t(w.m_health)) + std::string(20, '\0');
    return {Name(id), Sub("FNAM", Z(w.m_name)), Sub("WPDT", wpdt)};
}

// The list as a patch or plugin holds it.
CList ReadList(const CEntry& entry) {
    CSubRecords subs;
    SplitSubRecords(entry, subs);
    CList list;
    for (std::size_t i = 0; i < subs.size(); ++i) {
        if (subs[i].m_tag == "DATA") list.m_flags = le::U32(subs[i].m_payload, 0);
        if (subs[i].m_tag == "NNAM") list.m_chance = std::uint8_t(subs[i].m_payload[0]);
        if (subs[i].m_tag == "INAM" && i + 1 < subs.size())
            ++list.m_counts[{std::string(UpToNul(subs[i].m_payload)), le::U16(subs[i + 1].m_payload, 0)}];
    }
    return list;
}

CWeapon ReadWeapon(const CEntry& entry) {
    CSubRecords subs;
    SplitSubRecords(entry, subs);
    CWeapon w;
    for (const CSubRecord& s : subs) {
        if (s.m_tag == "FNAM") w.m_name = std::string(UpToNul(s.m_payload));
        if (s.m_tag == "WPDT") {
            w.m_weight = le::F32(s.m_payload, 0);
            w.m_value = le::I32(s.m_payload, 4);
            w.m_health = le::U16(s.m_payload, 10);
        }
    }
    return w;
}

const CEntry* Held(const CPluginFile& file, const std::string& tag, const std::string& id) {
    for (const auto& e : *file.GetTable(tag))
        if (e->IdText() == id) return e.get();
    return nullptr;
}

// The value of the newest file whose value differs from the base's, or the
// base's; `contested` when the changers disagree.
template <class T>
T Expected(const T& base, const std::vector<const T*>& values, bool* contested = nullptr) {
    const T* newest = nullptr;
    for (const T* v : values)
        if (v && !(*v == base)) {
            if (contested && newest && !(*newest == *v)) *contested = true;
            newest = v;
        }
    return newest ? *newest : base;
}

// A random load order: a master with lists and weapons; plugins that add
// and remove entries, change flags and chance none, and change the same
// stats as each other; lists no master holds.
struct CLoadOrderModel {
    CFile m_master;
    std::vector<CFile> m_plugins;

    explicit CLoadOrderModel(std::mt19937& rng) {
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        const std::vector<std::string> items = {"dagger", "sword", "bow", "arrow", "potion", "ring", "gold", "helm"};
        for (int l = 0; l < 6; ++l) {
            CList list;
            for (int e = 0, n = 1 + pick(5); e < n; ++e) ++list.m_counts[{items[pick(8)], std::uint16_t(1 + pick(4))}];
            list.m_flags = std::uint32_t(pick(4));
            m_master.m_lists["list" + std::to_string(l)] = list;
        }
        for (int w = 0; w < 4; ++w)
            m_master.m_weapons["weapon" + std::to_string(w)] = {"Weapon", float(1 + pick(20)), 10 * pick(10), std::uint16_t(pick(500))};
        const int plugins = 2 + pick(4);
        for (int p = 0; p < plugins; ++p) {
            CFile file;
            for (const auto& [id, base] : m_master.m_lists) {
                if (pick(3) == 0) continue;
                CList list = base;
                for (int c = 0, n = pick(4); c < n; ++c) {
                    const std::pair<std::string, std::uint16_t> entry{items[pick(8)], std::uint16_t(1 + pick(4))};
                    if (pick(2) && list.m_counts.count(entry))
                        list.m_counts.erase(entry);
                    else
                        ++list.m_counts[entry];
                }
                if (pick(4) == 0) list.m_flags = std::uint32_t(pick(4));
                if (pick(4) == 0) list.m_chance = std::uint8_t(pick(100));
                file.m_lists[id] = list;
            }
            // A list no master holds, which some plugins extend.
            if (pick(2)) {
                CList list;
                for (int e = 0, n = 1 + pick(3); e < n; ++e) ++list.m_counts[{items[pick(8)], std::uint16_t(1 + pick(4))}];
                file.m_lists["newlist"] = list;
            }
            for (const auto& [id, base] : m_master.m_weapons) {
                if (pick(2)) continue;
                CWeapon w = base;
                if (pick(3) == 0) w.m_weight = float(1 + pick(20));
                if (pick(3) == 0) w.m_value = 10 * pick(10);
                if (pick(3) == 0) w.m_health = std::uint16_t(pick(500));
                if (pick(4) == 0) w.m_name = "Weapon " + std::to_string(p);
                file.m_weapons[id] = w;
            }
            m_plugins.push_back(file);
        }
    }
};

void Write(const CTempDir& dir, const std::string& name, const CFile& file, std::int64_t time, std::mt19937& rng) {
    CPluginBuilder b;
    b.Header({}, std::uint32_t(file.m_lists.size() + file.m_weapons.size()));
    for (const auto& [id, list] : file.m_lists) b.Record("LEVI", ListSubs(id, list, rng));
    for (const auto& [id, w] : file.m_weapons) b.Record("WEAP", WeaponSubs(id, w));
    if (!b.Write(dir / name) || !StampFile(dir / name, time)) throw std::runtime_error("cannot write " + name);
}

bool operator==(const CList& a, const CList& b) {
    return a.m_counts == b.m_counts && a.m_flags == b.m_flags && a.m_chance == b.m_chance;
}

TEST(MergedPatchProperties, GeneratedLoadOrdersKeepEveryPluginsChangeTheNewestChangerMade) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        const CLoadOrderModel model(rng);
        CTempDir dir;
        Write(dir, "Master.esm", model.m_master, 1'000'000, rng);
        std::vector<std::unique_ptr<CPluginFile>> read;
        std::vector<CPluginFile*> plugins, masters;
        read.push_back(ReadPluginAt(dir.Path(), "Master.esm"));
        masters.push_back(read.back().get());
        for (std::size_t p = 0; p < model.m_plugins.size(); ++p) {
            const std::string name = "Plugin" + std::to_string(p) + ".esp";
            Write(dir, name, model.m_plugins[p], 1'000'100 + std::int64_t(p) * 10, rng);
            read.push_back(ReadPluginAt(dir.Path(), name));
            plugins.push_back(read.back().get());
        }
        // Given in another order than they load.
        std::reverse(plugins.begin(), plugins.end());
        CLastWriteAges ages;
        const std::atomic<std::int32_t> stop{0};
        CPluginBuilder bytes;
        bytes.Raw(PatchBytes(MergeRecords(plugins, masters, ages, stop)));
        ASSERT_TRUE(bytes.Write(dir / "Patch.esp"));
        const auto patch = ReadPluginAt(dir.Path(), "Patch.esp");
        ASSERT_TRUE(patch) << "seed " << seed;
        EXPECT_EQ(patch->HeaderRecordCount(), patch->EntryCount()) << "seed " << seed;

        // What the game loads with the patch last: the patch's copy, or the
        // newest plugin's.
        auto loaded = [&](const std::string& tag, const std::string& id) -> const CEntry* {
            if (const CEntry* e = Held(*patch, tag, id)) return e;
            for (auto p = model.m_plugins.size(); p-- > 0;)
                if (const CEntry* e = Held(*read[p + 1], tag, id)) return e;
            return Held(*read[0], tag, id);
        };
        std::set<std::string> listIds;
        for (const CFile& f : model.m_plugins)
            for (const auto& [id, list] : f.m_lists) listIds.insert(id);
        for (const std::string& id : listIds) {
            const std::string where = "seed " + std::to_string(seed) + " list " + id;
            std::vector<const CList*> copies;
            for (const CFile& f : model.m_plugins) copies.push_back(f.m_lists.count(id) ? &f.m_lists.at(id) : nullptr);
            // The base: the master's list, or the first plugin's copy.
            const CList* base = model.m_master.m_lists.count(id) ? &model.m_master.m_lists.at(id) : nullptr;
            if (!base)
                for (const CList*& c : copies)
                    if (c) {
                        base = c;
                        c = nullptr;
                        break;
                    }
            CList expected;
            std::set<std::pair<std::string, std::uint16_t>> keys;
            for (const CList* c : copies)
                if (c) for (const auto& [key, n] : c->m_counts) keys.insert(key);
            for (const auto& [key, n] : base->m_counts) keys.insert(key);
            for (const auto& key : keys) {
                std::vector<int> counts;
                for (const CList* c : copies) counts.push_back(c ? (c->m_counts.count(key) ? c->m_counts.at(key) : 0) : -1);
                const int baseCount = base->m_counts.count(key) ? base->m_counts.at(key) : 0;
                int count = baseCount;
                for (int n : counts)
                    if (n >= 0 && n != baseCount) count = n;
                if (count) expected.m_counts[key] = count;
            }
            std::vector<const std::uint32_t*> flags;
            std::vector<const std::uint8_t*> chances;
            for (const CList* c : copies) {
                flags.push_back(c ? &c->m_flags : nullptr);
                chances.push_back(c ? &c->m_chance : nullptr);
            }
            expected.m_flags = Expected(base->m_flags, flags);
            expected.m_chance = Expected(base->m_chance, chances);
            const CEntry* game = loaded("LEVI", id);
            ASSERT_TRUE(game) << where;
            EXPECT_TRUE(ReadList(*game) == expected) << where;
            if (const CEntry* merged = Held(*patch, "LEVI", id)) {
                // The count written is the entries written, by level.
                CSubRecords subs;
                SplitSubRecords(*merged, subs);
                std::uint32_t entries = 0, indx = 0, level = 0;
                for (std::size_t i = 0; i < subs.size(); ++i) {
                    if (subs[i].m_tag == "INDX") indx = le::U32(subs[i].m_payload, 0);
                    if (subs[i].m_tag != "INTV") continue;
                    ++entries;
                    EXPECT_LE(level, le::U16(subs[i].m_payload, 0)) << where;
                    level = le::U16(subs[i].m_payload, 0);
                }
                EXPECT_EQ(indx, entries) << where;
            }
        }

        // Each weapon field is the newest changer's; with the patch last,
        // every plugin's change nobody contests is what the game has.
        for (const auto& [id, base] : model.m_master.m_weapons) {
            const std::string where = "seed " + std::to_string(seed) + " weapon " + id;
            std::vector<const std::string*> names;
            std::vector<const float*> weights;
            std::vector<const std::int32_t*> values;
            std::vector<const std::uint16_t*> healths;
            for (const CFile& f : model.m_plugins) {
                const CWeapon* w = f.m_weapons.count(id) ? &f.m_weapons.at(id) : nullptr;
                names.push_back(w ? &w->m_name : nullptr);
                weights.push_back(w ? &w->m_weight : nullptr);
                values.push_back(w ? &w->m_value : nullptr);
                healths.push_back(w ? &w->m_health : nullptr);
            }
            const CEntry* game = loaded("WEAP", id);
            ASSERT_TRUE(game) << where;
            const CWeapon w = ReadWeapon(*game);
            bool contested[4] = {};
            EXPECT_EQ(w.m_name, Expected(base.m_name, names, &contested[0])) << where;
            EXPECT_EQ(w.m_weight, Expected(base.m_weight, weights, &contested[1])) << where;
            EXPECT_EQ(w.m_value, Expected(base.m_value, values, &contested[2])) << where;
            EXPECT_EQ(w.m_health, Expected(base.m_health, healths, &contested[3])) << where;
            for (std::size_t p = 0; p < model.m_plugins.size(); ++p) {
                if (!names[p]) continue;
                if (!contested[0] && *names[p] != base.m_name) {
                    EXPECT_EQ(w.m_name, *names[p]) << where;
                }
                if (!contested[2] && *values[p] != base.m_value) {
                    EXPECT_EQ(w.m_value, *values[p]) << where;
                }
            }
        }
    }
}

// Every real leveled list held by two copies of its plugin merges into
// nothing: the merge of a list with itself is the list the game loads.
TEST(MergedPatchProperties, CorpusLeveledListsMergeWithThemselvesIntoNothing) {
    std::vector<std::string> files;
    for (const std::string& path : CorpusFiles())
        if (path.size() > 4 && (path.ends_with(".esp") || path.ends_with(".esm") || path.ends_with(".ESP"))) files.push_back(path);
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    std::size_t lists = 0;
    for (const std::string& path : files) {
        auto original = ReadPluginAt(platform::FolderOf(path), platform::FileNameOf(path));
        if (!original) continue;
        CTempDir dir;
        std::string bytes;
        ASSERT_TRUE(platform::ReadWholeFile(path, bytes));
        CPluginBuilder copy;
        copy.Raw(bytes);
        ASSERT_TRUE(copy.Write(dir / "Copy.esp") && StampFile(dir / "Copy.esp", 2'000'000));
        ASSERT_TRUE(StampFile(dir / "Copy.esp", 2'000'000));
        auto second = ReadPluginAt(dir.Path(), "Copy.esp");
        ASSERT_TRUE(second);
        CLastWriteAges ages;
        const std::atomic<std::int32_t> stop{0};
        const CMergeResult result = MergeRecords({original.get(), second.get()}, {}, ages, stop);
        EXPECT_TRUE(result.m_records.empty()) << path;
        for (const CSkippedRecord& s : result.m_skipped) EXPECT_NE(s.m_reason.find("deleted"), std::string::npos) << path;
        lists += original->GetTable("LEVI")->size() + original->GetTable("LEVC")->size();
        // A list merged against a copy of itself with one entry more is the
        // list with that entry, every other byte as it was.
        for (const auto& e : *original->GetTable("LEVI")) {
            if (e->m_deleted) continue;
            const CList before = ReadList(*e);
            CList after = before;
            ++after.m_counts[{"vantor_added", 1}];
            CTempDir more;
            std::mt19937 rng(7);
            CPluginBuilder b;
            b.Header().Record("LEVI", ListSubs(std::string(e->IdText()), after, rng));
            ASSERT_TRUE(b.Write(more / "More.esp") && StampFile(more / "More.esp", 3'000'000));
            auto added = ReadPluginAt(more.Path(), "More.esp");
            const CMergeResult withMore = MergeRecords({original.get(), added.get(), second.get()}, {}, ages, stop);
            ASSERT_EQ(withMore.m_records.size(), 1u) << path << " " << e->IdText();
            CEntry merged;
            merged.SetData(withMore.m_records[0].m_data);
            EXPECT_TRUE(ReadList(merged) == after) << path << " " << e->IdText();
            break;
        }
    }
    RecordProperty("lists", int(lists));
}

}  // namespace
}  // namespace vantor::merge
