// The rules of the check engine, each asserting the exact rows it gives. The
// differential test holds the engine to the reference on generated load
// orders; these pin the reference's rules to the texts the user sees.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/PluginChecker.h"
#include "checks/SearchFixture.h"

namespace vantor {
namespace {

using namespace fixtures;
using Rows = std::vector<std::vector<std::string>>;
using EList = CPluginChecker::EList;

constexpr std::int64_t kT = 1'600'000'000;

CCheckSwitches AllOn() {
    CCheckSwitches s;
    s.fill(1);
    return s;
}

CPluginBuilder Plugin() {
    CPluginBuilder b;
    b.Header();
    return b;
}

// Topics, each followed by its responses as (ID, text).
using CTopics = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;
CPluginBuilder Dialogue(const CTopics& topics) {
    CPluginBuilder b = Plugin();
    for (const auto& [topic, infos] : topics) {
        b.Record("DIAL", {Name(topic), Sub("DATA", std::string(1, '\0'))});
        for (const auto& [id, text] : infos) b.Record("INFO", Info(id, "", "", text));
    }
    return b;
}

CCheckResult Check(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters, std::uint8_t mask,
                   const CCheckSwitches& unclean = AllOn()) {
    CPluginChecker checker;
    for (auto* p : plugins) checker.AddPlugin(*p);
    for (auto* m : masters) checker.AddMaster(*m);
    return checker.Run(kRunning, 0, AllOn(), unclean, mask);
}

TEST(PluginChecker, ConflictsNameTheNewerFileAndSkipIdenticalCopiesExceptLandscape) {
    CLoadOrder files;
    auto& master = files.Add("m.esm", Plugin().Record("NPC_", Named("guard", "m")), kT);
    auto& a = files.Add("a.esp",
                        Plugin()
                            .Record("NPC_", Named("guard", "x"))
                            .Record("NPC_", Named("Guard", "y"))
                            .Record("GMST", Named("same", "s"))
                            .Record("LAND", Land(1, 2, "L")),
                        kT + 10);
    auto& b = files.Add(
        "b.esp", Plugin().Record("NPC_", Named("guard", "z")).Record("GMST", Named("same", "s")).Record("LAND", Land(1, 2, "L")),
        kT);
    const CCheckResult result = Check({&a, &b}, {&master}, 1);
    // IDs differing in case are different entries; rows go in check-index order.
    EXPECT_EQ(Texts(result, result.m_conflicts),
              (Rows{{"LAND", "Landscape Entry (Potential Conflict)", "1,2", "a.esp", "b.esp", "None"},
                    {"NPC_", "NPC Entry", "guard", "a.esp", "b.esp", "m.esm"}}));
    EXPECT_TRUE(result.m_deleted.empty() && result.m_unclean.empty() && result.m_globalChanges.empty());

    // Written within the same second: the later plugin of the pair overrides.
    files.SetTime("a.esp", kT);
    const CCheckResult same = Check({&a, &b}, {}, 1);
    const Rows rows = Texts(same, same.m_conflicts);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"NPC_", "NPC Entry", "guard", "b.esp", "a.esp", "None"}));
}

TEST(PluginChecker, DialogueTextConflictsDependOnTheMastersVersion) {
    CLoadOrder files;
    auto& master = files.Add("m.esm", Dialogue({{"greet", {{"100", "hello"}, {"200", "bye"}}}}), kT);
    // p1 keeps the master's 200; p2 changes the master's 100 under another
    // topic, and 400, new in the plugins, is under another topic too.
    auto& one = files.Add("p1.esp", Dialogue({{"greet", {{"100", "hi one"}, {"200", "bye"}, {"300", "a"}, {"400", "a"}}}}),
                          kT + 1);
    auto& two = files.Add(
        "p2.esp", Dialogue({{"greet", {{"200", "ciao"}, {"300", "b"}}}, {"other", {{"100", "hi two"}, {"400", "b"}}}}), kT + 2);
    const CCheckResult with = Check({&one, &two}, {&master}, 1);
    EXPECT_EQ(Texts(with, with.m_conflicts), (Rows{{"INFO", "Dialog Text", "100", "p2.esp", "p1.esp", "m.esm"},
                                                   {"INFO", "Dialog Text", "300", "p2.esp", "p1.esp", "None"}}));
    // Without the master, 100 is new in the plugins and its topics differ.
    const CCheckResult alone = Check({&one, &two}, {}, 1);
    EXPECT_EQ(Texts(alone, alone.m_conflicts), (Rows{{"INFO", "Dialog Text", "200", "p2.esp", "p1.esp", "None"},
                                                     {"INFO", "Dialog Text", "300", "p2.esp", "p1.esp", "None"}}));
}

TEST(PluginChecker, WarningsFollowTheReferenceMasterRules) {
    CLoadOrder files;
    const CSub zero = Sub(std::string(4, '\0'), "z");
    auto& older = files.Add("A.esm",
                            Plugin()
                                .Record("NPC_", Named("same", "s"))
                                .Record("NPC_", Named("mixed", "old"))
                                .Record("NPC_", Named("gone", "g"))
                                .Record("SNDG", Named("snd", "s"))
                                .Record("CELL", Cell("Vivec", 1, 0, 0))
                                .Record("NPC_", {Name("zero"), zero}),
                            kT);
    auto& newer = files.Add(
        "B.esm",
        Plugin().Record("NPC_", Named("same", "s")).Record("NPC_", Named("mixed", "new")).Record("NPC_", Named("gone", "g")),
        kT + 100);
    auto& plugin = files.Add("p.esp",
                             Plugin()
                                 .Record("NPC_", Named("same", "s"))
                                 .Record("NPC_", Named("mixed", "old"))
                                 .Record("NPC_", Named("gone", "g", true))
                                 .Record("NPC_", Named("fresh", "f", true))
                                 .Record("SNDG", Named("snd", "s"))
                                 .Record("CELL", Cell("Vivec", 1, 0, 0))
                                 .Record("CELL", Cell("Vivec", 1, 0, 0, true))
                                 .Record("NPC_", {Name("zero"), zero}),
                             kT + 200);
    const auto run = [&](std::uint8_t mask) { return Check({&plugin}, {&older, &newer}, mask); };
    const CCheckResult all = run(14);
    // Tables go in tag order: CELL, NPC_, SNDG. An entry is judged against
    // the newest master's copy alone: "mixed" equals the older A's copy, so
    // it undoes B's change; it is a change of B's, not unclean as well. Data
    // starting with a zero byte is no copy.
    EXPECT_EQ(Texts(all, all.m_unclean),
              (Rows{{"NPC_", "NPC Entry Identical to Default Entry. (Unclean Entry)", "same", "p.esp", "B.esm"},
                    {"SNDG", "Sound Gen  Identical to Default Entry. (Unclean Entry)", "snd", "p.esp", "A.esm"}}));
    EXPECT_EQ(Texts(all, all.m_globalChanges), (Rows{{"NPC_", "NPC Entry Modified from Esm", "mixed", "p.esp", "B.esm"},
                                                     {"NPC_", "NPC Entry Modified from Esm", "gone", "p.esp", "B.esm"}}));
    EXPECT_EQ(Texts(all, all.m_deleted),
              (Rows{{"CELL", "Cell Entry Marked as DELETED (Removed from Game)", "1,0,0 Vivec", "p.esp", "None"},
                    {"NPC_", "NPC Entry Marked as DELETED (Removed from Game)", "gone", "p.esp", "B.esm"},
                    {"NPC_", "NPC Entry Marked as DELETED (Removed from Game)", "fresh", "p.esp", "None"}}));
    const CCheckResult unclean = run(4);
    EXPECT_EQ(unclean.m_unclean.size(), 2u);
    EXPECT_TRUE(unclean.m_deleted.empty() && unclean.m_globalChanges.empty());

    // With deleted alone the reference never moves: the last holder counts,
    // even when it is the older master. With global changes on, the finding
    // in A makes the older B no longer count.
    files.SetTime("B.esm", kT - 100);
    for (const auto& [mask, master] : {std::pair<std::uint8_t, std::string>{2, "B.esm"}, {10, "A.esm"}}) {
        const CCheckResult result = run(mask);
        const Rows deleted = Texts(result, result.m_deleted);
        ASSERT_EQ(deleted.size(), 3u) << int(mask);
        EXPECT_EQ(deleted[1][2], "gone");
        EXPECT_EQ(deleted[1][4], master) << int(mask);
    }

    // A deleted row names the master of the last finding, else the last holder.
    CLoadOrder twins;
    auto& a = twins.Add("A.esm", Plugin().Record("NPC_", Named("twin", "t", true)), kT);
    auto& b = twins.Add("B.esm", Plugin().Record("NPC_", Named("twin", "u")), kT + 100);
    auto& p = twins.Add("p.esp", Plugin().Record("NPC_", Named("twin", "t", true)), kT + 200);
    // 6: identical to A's copy; B holds it but is no finding. 14: B's copy differs.
    for (const auto& [mask, master] : {std::pair<std::uint8_t, std::string>{2, "B.esm"}, {6, "A.esm"}, {14, "B.esm"}}) {
        const CCheckResult result = Check({&p}, {&a, &b}, mask);
        ASSERT_EQ(result.m_deleted.size(), 1u) << int(mask);
        EXPECT_EQ(Texts(result, result.m_deleted)[0][4], master) << int(mask);
    }
}

TEST(PluginChecker, DialogueTextWarningsFollowReportDialogText) {
    CLoadOrder files;
    CPluginBuilder m = Dialogue({{"greet", {{"1", "hello"}, {"2", "bye"}, {"3", "same"}, {"4", "same"}}}});
    auto& master = files.Add("m.esm", m, kT);
    CPluginBuilder p = Dialogue({{"greet", {{"1", "hello"}}}});
    p.Record("INFO", {Sub("INAM", Z("2")), Sub("PNAM", Z("")), Sub("NNAM", Z("")), Dele()});
    // The master's text in another place of the chain: a change, not a copy.
    p.Record("INFO", Info("3", "1", "", "same"));
    p.Record("INFO", Info("4", "", "1", "same"));
    auto& plugin = files.Add("p.esp", p, kT + 1);
    for (bool report : {false, true}) {
        CCheckSwitches unclean = AllOn();
        unclean[kInfoCheck] = report ? 1 : 0;
        const CCheckResult result = Check({&plugin}, {&master}, 14, unclean);
        EXPECT_EQ(Texts(result, result.m_deleted),
                  (Rows{{"INFO", "Dialog Text Marked as DELETED (Removed from Game)", "2", "p.esp", report ? "m.esm" : "None"}}));
        const Rows copies{{"INFO", "Dialog Text Identical to Default Entry. (Unclean Entry)", "1", "p.esp", "m.esm"}};
        EXPECT_EQ(Texts(result, result.m_unclean), report ? copies : Rows{});
        const Rows changed{{"INFO", "Dialog Text Modified from Esm", "2", "p.esp", "m.esm"},
                           {"INFO", "Dialog Text Modified from Esm", "3", "p.esp", "m.esm"},
                           {"INFO", "Dialog Text Modified from Esm", "4", "p.esp", "m.esm"}};
        EXPECT_EQ(Texts(result, result.m_globalChanges), report ? changed : Rows{});
    }
}

// The differential test covers removed files and equal times; not a name
// given in other letter case than on disk, nor entries erased after reading.
TEST(PluginChecker, LookupsFindFilesByAnyCaseAndFollowErasures) {
    CLoadOrder files;
    files.Add("lower.esm", Plugin().Record("NPC_", Named("x", "1")), kT + 50);
    auto& upper = files.Add("upper.esm", Plugin().Record("NPC_", Named("x", "2")), kT);
    const auto renamed = ReadPluginAt(files.Folder(), "LOWER.ESM");
    ASSERT_TRUE(renamed);
    CPluginChecker caseless;
    caseless.AddMaster(upper);
    caseless.AddMaster(*renamed);
    EXPECT_EQ(caseless.FindOriginalFile(kRunning, "x", "NPC_"), "LOWER.ESM");

    auto& plugin = files.Add("p.esp",
                             Plugin()
                                 .Record("NPC_", Named("x", "1"))
                                 .Record("NPC_", Named("x", "2"))
                                 .Record("NPC_", {Sub("NAME", std::string("y\0tail", 6))}),
                             kT);
    CPluginChecker checker;
    checker.AddPlugin(plugin);
    const CEntryTable& npcs = *plugin.GetTable("NPC_");
    EXPECT_EQ(checker.FindEntry("p.esp", std::string("y\0other", 7), "NPC_", EList::Plugins), npcs[2].get());
    // After the first copy is erased the second is found, not the stale one.
    const CEntry* second = npcs[1].get();
    ASSERT_TRUE(plugin.DetachEntry(npcs[0].get(), "NPC_"));
    EXPECT_EQ(checker.FindEntry("p.esp", "x", "NPC_", EList::Plugins), second);
    ASSERT_TRUE(plugin.DetachEntry(second, "NPC_"));
    EXPECT_EQ(checker.FindEntry("p.esp", "x", "NPC_", EList::Plugins), nullptr);
}

TEST(PluginChecker, ComparePairAndDuplicateIdsGiveOneRowPerMatchingPair) {
    CLoadOrder files;
    auto& a = files.Add("a.esp", Plugin().Record("NPC_", Named("d", "1")).Record("NPC_", Named("d", "2")), kT);
    auto& b = files.Add("b.esp",
                        Plugin()
                            .Record("NPC_", Named("d", "1"))
                            .Record("NPC_", Named("d", "3"))
                            .Record("NPC_", {Sub("NAME", std::string("d\0x", 3)), Sub("FNAM", std::string("1\0a", 3))}),
                        kT + 1);
    CPluginChecker checker;
    checker.ComparePair(a, b, "NPC_", kRunning);
    // (1,1) is identical; the third entry of b has ID "d" and differs after a zero byte.
    Rows rows;
    for (const auto& r : Texts(checker.Result(), checker.Result().m_conflicts)) rows.push_back({r[2], r[3], r[4]});
    EXPECT_EQ(rows, Rows(5, {"d", "b.esp", "a.esp"}));
    checker.ComparePair(a, b, "CELL", kRunning);
    checker.ComparePair(a, b, "????", kRunning);
    EXPECT_EQ(checker.Result().m_conflicts.size(), 5u);
}

TEST(PluginChecker, TheStopFlagEndsBothPhases) {
    CLoadOrder files;
    std::atomic<std::int32_t> stop{0};
    CStoppingLink stopping(stop, 2);
    CPluginChecker stopped(&stopping);
    for (int i = 0; i < 3; ++i)
        stopped.AddPlugin(files.Add("p" + std::to_string(i) + ".esp", Plugin().Record("NPC_", Named("n", std::to_string(i), true)),
                                    kT + i));
    // Stopped after the first pair: no more progress, no more pairs, and the
    // warning phase ends at its first test.
    const auto& result = stopped.Run(stop, 0, AllOn(), AllOn(), 7);
    EXPECT_EQ(stopping.Calls().size(), 2u);
    EXPECT_EQ(result.m_conflicts.size(), 2u);
    EXPECT_TRUE(result.m_deleted.empty());
    EXPECT_EQ(stopped.FindOriginalFile(stop, "n", "NPC_"), "None");
}

}  // namespace
}  // namespace vantor
