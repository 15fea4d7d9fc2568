// The indexed engine against the literal nested loops, row for row, on
// generated load orders full of the cases where an index could go wrong, and
// on the real plugins of the corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "checks/CheckFixture.h"
#include "checks/CheckOperations.h"
#include "checks/PluginChecker.h"
#include "checks/ReferenceChecker.h"
#include "fixtures/ScriptedLink.h"

namespace vantor {
namespace {

using namespace fixtures;

constexpr std::int64_t kT = 1'600'000'000;

struct COrder {
    CLoadOrder files;
    std::vector<CPluginFile*> plugins;
    std::vector<CPluginFile*> masters;
};

class CGenerator {
public:
    explicit CGenerator(unsigned seed) : m_rng(seed) {}

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(m_rng); }
    template <typename T>
    const T& Pick(const std::vector<T>& from) {
        return from[Below(from.size())];
    }

    // IDs that differ in case, that agree up to an embedded zero byte, and
    // bodies that are equal, differ after a zero byte, or start with one.
    std::string Id() { return Pick<std::string>({"a", "b", "c", "A", "B", std::string("a\0x", 3), "d"}); }
    std::vector<CSub> Body(bool deleted) {
        std::vector<CSub> subs;
        switch (Below(6)) {
            case 0: break;
            case 1: subs.push_back(Sub("FNAM", Z("one"))); break;
            case 2: subs.push_back(Sub("FNAM", Z("two"))); break;
            case 3: subs.push_back(Sub("FNAM", std::string("one\0b", 5))); break;
            case 4: subs.push_back(Sub(std::string(4, '\0'), "z")); break;
            default: subs.push_back(Sub("FNAM", Z("one"))); subs.push_back(Sub("DATA", I32(7))); break;
        }
        if (deleted) subs.push_back(Dele());
        return subs;
    }

    CPluginBuilder Plugin() {
        CPluginBuilder b;
        b.Header();
        const std::size_t count = Below(30);
        for (std::size_t r = 0; r < count; ++r) {
            const bool deleted = Chance(0.15);
            std::vector<CSub> body = Body(deleted);
            const auto with = [&](std::vector<CSub> head) {
                head.insert(head.end(), body.begin(), body.end());
                return head;
            };
            switch (Below(11)) {
                case 0: b.Record("NPC_", with({Name(Id())})); break;
                case 1: b.Record("GMST", with({Name(Id())})); break;
                case 2: b.Record("SNDG", with({Name(Id())})); break;
                case 3: b.Record("CELL", with({Name(Id()), Sub("DATA", I32(0) + I32(1) + I32(2))})); break;
                case 4: b.Record("DIAL", with({Name(Pick<std::string>({"t1", "t2", "T1"}))})); break;
                case 5:
                case 6:
                    // Responses that agree but for their place in the chain.
                    b.Record("INFO", with({Sub("INAM", Z(Pick<std::string>({"100", "101", "102"}))),
                                           Sub("PNAM", Z(Pick<std::string>({"", "", "100"}))),
                                           Sub("NNAM", Z(Pick<std::string>({"", "", "102"})))}));
                    break;
                case 7:
                    b.Record("LAND", with({Sub("INTV", I32(std::int32_t(Below(2))) + I32(std::int32_t(Below(2))))}));
                    break;
                case 8:
                    b.Record("PGRD", with({Sub("DATA", I32(std::int32_t(Below(2))) + I32(0) + I32(0)),
                                           Name(Id())}));
                    break;
                case 9: b.Record("MGEF", with({Sub("INDX", I32(std::int32_t(Below(3))))})); break;
                default:
                    // The script ID is the header up to its first zero byte.
                    b.Record("SCPT", with({Sub("SCHD", Fixed(Id(), 32) + I32(std::int32_t(Below(3))) + std::string(16, '\0'))}));
                    break;
            }
        }
        return b;
    }

    void Make(COrder& order) {
        CExtractOpts opts{std::int32_t(Below(2)), std::int32_t(Below(2)), std::int32_t(Below(2)), std::int32_t(Below(2))};
        const std::vector<std::int64_t> times{kT, kT, kT + 1, kT + 2, kT + 7};
        const std::size_t masters = Below(4);
        const std::size_t plugins = 1 + Below(6);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < masters + plugins; ++i) {
            // Masters now and then share a file name (folders differ in real life).
            std::string name = i < masters ? (Chance(0.2) && i ? "m0.esm" : "m" + std::to_string(i) + ".esm")
                                           : "p" + std::to_string(i) + ".esp";
            const std::string stored = std::to_string(i) + "_" + name;
            CPluginFile& file = order.files.Add(stored, Plugin(), Pick(times), opts);
            (i < masters ? order.masters : order.plugins).push_back(&file);
            names.push_back(stored);
        }
        // A file removed after reading has no time any more.
        for (const auto& name : names)
            if (Chance(0.1)) order.files.Remove(name);
    }

private:
    std::mt19937 m_rng;
};

void ExpectSameResult(const CCheckResult& fast, const CReferenceResult& reference, const std::string& where) {
    EXPECT_EQ(Texts(fast, fast.m_conflicts), reference.m_conflicts) << where;
    EXPECT_EQ(Texts(fast, fast.m_deleted), reference.m_deleted) << where;
    EXPECT_EQ(Texts(fast, fast.m_unclean), reference.m_unclean) << where;
    EXPECT_EQ(Texts(fast, fast.m_globalChanges), reference.m_globalChanges) << where;
}

// Rows in a stable order of their tags, as the panes sort them.
CTextRows ByTag(CTextRows rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    return rows;
}

// Runs both engines with the same arguments; compares rows and progress.
void Compare(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters, std::int32_t mode,
             const CCheckSwitches& conflicts, const CCheckSwitches& unclean, std::uint8_t mask,
             const std::string& where, bool allLookups = true) {
    CScriptedLink fastLink, referenceLink;
    CPluginChecker fast(&fastLink);
    CReferenceChecker reference(&referenceLink);
    for (auto* p : plugins) {
        fast.AddPlugin(*p);
        reference.AddPlugin(*p);
    }
    for (auto* m : masters) {
        fast.AddMaster(*m);
        reference.AddMaster(*m);
    }
    ExpectSameResult(fast.Run(kRunning, mode, conflicts, unclean, mask),
                     reference.Run(kRunning, mode, conflicts, unclean, mask), where);
    EXPECT_EQ(fastLink.Calls(), referenceLink.Calls()) << where;

    // The lookups the other operations build on.
    for (const CPluginFile* file : plugins)
        for (std::string_view tag : CPluginFile::kTags)
            for (const auto& e : *file->GetTable(tag)) {
                ASSERT_EQ(fast.FindOriginalFile(kRunning, e->m_id, tag), reference.FindOriginalFile(kRunning, e->m_id, tag))
                    << where << " " << tag << " " << e->IdText();
                if (!allLookups) continue;
                for (bool inMasters : {false, true})
                    for (const CPluginFile* named : inMasters ? masters : plugins)
                        ASSERT_EQ(fast.FindEntry(named->FileName(), e->m_id, tag,
                                                 inMasters ? CPluginChecker::EList::Masters : CPluginChecker::EList::Plugins),
                                  reference.FindEntry(named->FileName(), e->m_id, tag, inMasters))
                            << where;
            }
}

TEST(CheckDifferential, GeneratedLoadOrdersGiveTheSameRowsAsTheNestedLoops) {
    for (unsigned seed = 1; seed <= 250; ++seed) {
        CGenerator gen(seed);
        COrder order;
        gen.Make(order);
        CCheckSwitches conflicts, unclean;
        for (auto& s : conflicts) s = gen.Chance(0.85) ? 1 : std::int32_t(gen.Below(2) * 2);
        unclean.fill(1);
        unclean[kInfoCheck] = std::int32_t(gen.Below(2));
        const auto mask = std::uint8_t(1 + gen.Below(15));
        const auto mode = std::int32_t(gen.Below(2));
        Compare(order.plugins, order.masters, mode, conflicts, unclean, mask,
                "seed " + std::to_string(seed) + " mask " + std::to_string(mask) + " mode " + std::to_string(mode));

        // The operation's panes are the reference rows under a stable sort by tag.
        CCheckInputs inputs;
        inputs.loadedPlugins.assign(order.plugins.rbegin(), order.plugins.rend());
        inputs.foundMasters.assign(order.masters.rbegin(), order.masters.rend());
        inputs.checkMode = mode;
        inputs.conflictChecks = conflicts;
        inputs.uncleanChecks = unclean;
        inputs.mask = mask;
        const CPaneFindings panes = RunCheckOperation(inputs);
        CReferenceChecker rows;
        for (auto* p : order.plugins) rows.AddPlugin(*p);
        for (auto* m : order.masters) rows.AddMaster(*m);
        const CReferenceResult& expected = rows.Run(kRunning, mode, conflicts, unclean, mask);
        CTextRows warnings = expected.m_deleted;
        warnings.insert(warnings.end(), expected.m_unclean.begin(), expected.m_unclean.end());
        ASSERT_TRUE(panes.m_conflict && panes.m_warning);
        EXPECT_EQ(TextsOf(*panes.m_conflict, panes.m_files), ByTag(expected.m_conflicts)) << "seed " << seed;
        EXPECT_EQ(TextsOf(*panes.m_warning, panes.m_files), ByTag(warnings)) << "seed " << seed;

        // Pair by pair, in both directions.
        CPluginChecker fast;
        CReferenceChecker reference;
        for (auto* m : order.masters) {
            fast.AddMaster(*m);
            reference.AddMaster(*m);
        }
        for (auto* a : order.plugins)
            for (auto* b : order.plugins)
                for (const auto& type : kCheckIndex) {
                    fast.ComparePair(*a, *b, type.m_tag, kRunning);
                    reference.ComparePair(*a, *b, type.m_tag, kRunning);
                }
        EXPECT_EQ(Texts(fast.Result(), fast.Result().m_conflicts), reference.m_result.m_conflicts) << "pairs, seed " << seed;
        if (HasFailure()) return;
    }
}

TEST(CheckDifferential, CorpusGivesTheSameRowsAsTheNestedLoops) {
    const auto paths = fixtures::CorpusFiles();
    if (paths.empty()) GTEST_SKIP() << "corpus absent";
    // Copies with file times of our choosing, several equal.
    fixtures::CTempDir dir;
    std::vector<std::unique_ptr<CPluginFile>> owned;
    std::vector<CPluginFile*> plugins, masters;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string name = std::filesystem::path(paths[i]).filename().string();
        if (!seen.insert(name).second) name = std::to_string(i) + "_" + name;
        std::filesystem::copy_file(paths[i], dir / name);
        const std::int64_t time = kT + std::int64_t(i % 4);
        ASSERT_TRUE(fixtures::StampFile(dir / name, time));
        auto file = ReadPluginAt(dir.Path(), name);
        if (!file || file->EntryCount() == 0) continue;
        std::string ext = std::filesystem::path(name).extension().string();
        for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
        (ext == ".esm" || ext == ".omwgame" ? masters : plugins).push_back(file.get());
        owned.push_back(std::move(file));
    }
    ASSERT_GT(plugins.size(), 20u);
    ASSERT_GT(masters.size(), 3u);
    CCheckSwitches on;
    on.fill(1);
    for (std::int32_t mode : {0, 1})
        for (std::uint8_t mask : {std::uint8_t(15), std::uint8_t(2)})
            Compare(plugins, masters, mode, on, on, mask, "corpus mode " + std::to_string(mode), false);
}

}  // namespace
}  // namespace vantor
