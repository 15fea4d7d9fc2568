// The rules of the check engine, each asserting the exact rows it gives.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/PluginChecker.h"
#include "fixtures/ScriptedLink.h"

namespace vantor {
namespace {

using fixtures::CLoadOrder;
using fixtures::CPluginBuilder;
using fixtures::CScriptedLink;
using fixtures::Dele;
using fixtures::I32;
using fixtures::kRunning;
using fixtures::Land;
using fixtures::Name;
using fixtures::Named;
using fixtures::Sub;
using fixtures::Z;
using Rows = std::vector<std::vector<std::string>>;

constexpr std::int64_t kT = 1'600'000'000;

CCheckSwitches AllOn() {
    CCheckSwitches s;
    s.fill(1);
    return s;
}

CCheckSwitches DialogTextOff() {
    CCheckSwitches s = AllOn();
    s[kInfoCheck] = 0;
    return s;
}

using fixtures::Texts;

CPluginBuilder Plugin() {
    CPluginBuilder b;
    b.Header();
    return b;
}

CPluginBuilder& Info(CPluginBuilder& b, const std::string& id, const std::string& text) {
    return b.Record("INFO", fixtures::Info(id, "", "", text));
}

CPluginBuilder& Dial(CPluginBuilder& b, const std::string& topic) {
    return b.Record("DIAL", {Name(topic), Sub("DATA", std::string(1, '\0'))});
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
    auto& b = files.Add("b.esp",
                        Plugin()
                            .Record("NPC_", Named("guard", "z"))
                            .Record("GMST", Named("same", "s"))
                            .Record("LAND", Land(1, 2, "L")),
                        kT);
    CPluginChecker checker;
    checker.AddPlugin(a);
    checker.AddPlugin(b);
    checker.AddMaster(master);
    const auto& result = checker.Run(kRunning, 0, AllOn(), AllOn(), 1);
    // IDs differing in case are different entries; rows go in check-index order.
    EXPECT_EQ(Texts(result, result.m_conflicts),
              (Rows{{"LAND", "Landscape Entry (Potential Conflict)", "1,2", "a.esp", "b.esp", "None"},
                    {"NPC_", "NPC Entry", "guard", "a.esp", "b.esp", "m.esm"}}));
    EXPECT_TRUE(result.m_deleted.empty() && result.m_unclean.empty() && result.m_globalChanges.empty());

    // Written within the same second: the later plugin of the pair overrides.
    files.SetTime("a.esp", kT);
    CPluginChecker same;
    same.AddPlugin(a);
    same.AddPlugin(b);
    same.Run(kRunning, 0, AllOn(), AllOn(), 1);
    const Rows rows = Texts(same.Result(), same.Result().m_conflicts);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"NPC_", "NPC Entry", "guard", "b.esp", "a.esp", "None"}));
}

TEST(PluginChecker, DialogueTextConflictsDependOnTheMastersVersion) {
    CLoadOrder files;
    CPluginBuilder m = Plugin();
    Dial(m, "greet");
    Info(m, "100", "hello");
    Info(m, "200", "bye");
    auto& master = files.Add("m.esm", m, kT);

    CPluginBuilder p1 = Plugin();
    Dial(p1, "greet");
    Info(p1, "100", "hi one");
    Info(p1, "200", "bye");  // the master's text kept
    Info(p1, "300", "a");
    Info(p1, "400", "a");
    CPluginBuilder p2 = Plugin();
    Dial(p2, "greet");
    Info(p2, "200", "ciao");
    Info(p2, "300", "b");
    Dial(p2, "other");
    Info(p2, "100", "hi two");  // another topic, but both change the master's text
    Info(p2, "400", "b");      // new in the plugins and under another topic
    auto& one = files.Add("p1.esp", p1, kT + 1);
    auto& two = files.Add("p2.esp", p2, kT + 2);

    CPluginChecker checker;
    checker.AddPlugin(one);
    checker.AddPlugin(two);
    checker.AddMaster(master);
    checker.Run(kRunning, 0, AllOn(), AllOn(), 1);
    EXPECT_EQ(Texts(checker.Result(), checker.Result().m_conflicts), (Rows{{"INFO", "Dialog Text", "100", "p2.esp", "p1.esp", "m.esm"},
                                                         {"INFO", "Dialog Text", "300", "p2.esp", "p1.esp", "None"}}));

    // Without the master, 100 is new in the plugins and its topics differ.
    CPluginChecker alone;
    alone.AddPlugin(one);
    alone.AddPlugin(two);
    alone.Run(kRunning, 0, AllOn(), AllOn(), 1);
    EXPECT_EQ(Texts(alone.Result(), alone.Result().m_conflicts), (Rows{{"INFO", "Dialog Text", "200", "p2.esp", "p1.esp", "None"},
                                                       {"INFO", "Dialog Text", "300", "p2.esp", "p1.esp", "None"}}));
}

TEST(PluginChecker, WarningsFollowTheReferenceMasterRules) {
    CLoadOrder files;
    auto& older = files.Add("A.esm",
                            Plugin()
                                .Record("NPC_", Named("same", "s"))
                                .Record("NPC_", Named("mixed", "old"))
                                .Record("NPC_", Named("gone", "g"))
                                .Record("SNDG", Named("snd", "s"))
                                .Record("CELL", fixtures::Cell("Vivec", 1, 0, 0))
                                .Record("NPC_", {Name("zero"), Sub(std::string(4, '\0'), "z")}),
                            kT);
    auto& newer = files.Add("B.esm",
                            Plugin()
                                .Record("NPC_", Named("same", "s"))
                                .Record("NPC_", Named("mixed", "new"))
                                .Record("NPC_", Named("gone", "g")),
                            kT + 100);
    CPluginBuilder p = Plugin();
    p.Record("NPC_", Named("same", "s"))
        .Record("NPC_", Named("mixed", "old"))
        .Record("NPC_", Named("gone", "g", true))
        .Record("NPC_", Named("fresh", "f", true))
        .Record("SNDG", Named("snd", "s"))
        .Record("CELL", fixtures::Cell("Vivec", 1, 0, 0))
        .Record("CELL", fixtures::Cell("Vivec", 1, 0, 0, true))
        .Record("NPC_", {Name("zero"), Sub(std::string(4, '\0'), "z")});
    auto& plugin = files.Add("p.esp", p, kT + 200);

    const auto run = [&](std::uint8_t mask) {
        CPluginChecker checker;
        checker.AddPlugin(plugin);
        checker.AddMaster(older);
        checker.AddMaster(newer);
        return checker.Run(kRunning, 0, AllOn(), AllOn(), mask);
    };
    const CCheckResult all = run(14);
    // Tables go in tag order: CELL, NPC_, SNDG. An entry is judged against
    // the newest master's copy alone: "mixed" equals the older A's copy, so
    // it undoes B's change; it is a change of B's, not unclean as well.
    EXPECT_EQ(Texts(all, all.m_unclean),
              (Rows{{"NPC_", "NPC Entry Identical to Default Entry. (Unclean Entry)", "same", "p.esp", "B.esm"},
                    {"SNDG", "Sound Gen  Identical to Default Entry. (Unclean Entry)", "snd", "p.esp", "A.esm"}}));
    EXPECT_EQ(Texts(all, all.m_globalChanges), (Rows{{"NPC_", "NPC Entry Modified from Esm", "mixed", "p.esp", "B.esm"},
                                                {"NPC_", "NPC Entry Modified from Esm", "gone", "p.esp", "B.esm"}}));
    EXPECT_EQ(Texts(all, all.m_deleted),
              (Rows{{"CELL", "Cell Entry Marked as DELETED (Removed from Game)", "1,0,0 Vivec", "p.esp", "None"},
                    {"NPC_", "NPC Entry Marked as DELETED (Removed from Game)", "gone", "p.esp", "B.esm"},
                    {"NPC_", "NPC Entry Marked as DELETED (Removed from Game)", "fresh", "p.esp", "None"}}));

    // Unclean alone gives no other rows.
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
}

TEST(PluginChecker, DeletedRowsNameTheMasterOfTheLastFinding) {
    CLoadOrder files;
    auto& older = files.Add("A.esm", Plugin().Record("NPC_", Named("twin", "t", true)), kT);
    auto& newer = files.Add("B.esm", Plugin().Record("NPC_", Named("twin", "u")), kT + 100);
    auto& plugin = files.Add("p.esp", Plugin().Record("NPC_", Named("twin", "t", true)), kT + 200);
    const auto original = [&](std::uint8_t mask) {
        CPluginChecker checker;
        checker.AddPlugin(plugin);
        checker.AddMaster(older);
        checker.AddMaster(newer);
        const Rows deleted = Texts(checker.Run(kRunning, 0, AllOn(), AllOn(), mask), checker.Result().m_deleted);
        return deleted.size() == 1 ? deleted[0][4] : "?";
    };
    EXPECT_EQ(original(2), "B.esm");   // no finding: the last holder
    EXPECT_EQ(original(6), "A.esm");   // identical to A's copy; B holds it but is no finding
    EXPECT_EQ(original(14), "B.esm");  // B's copy differs: a later finding
}

TEST(PluginChecker, DialogueTextWarningsFollowReportDialogText) {
    CLoadOrder files;
    CPluginBuilder m = Plugin();
    Dial(m, "greet");
    Info(m, "1", "hello");
    Info(m, "2", "bye");
    Info(m, "3", "same");
    Info(m, "4", "same");
    auto& master = files.Add("m.esm", m, kT);
    CPluginBuilder p = Plugin();
    Dial(p, "greet");
    Info(p, "1", "hello");
    p.Record("INFO", {Sub("INAM", Z("2")), Sub("PNAM", Z("")), Sub("NNAM", Z("")), Dele()});
    // The master's text in another place of the chain: a change, not a copy.
    p.Record("INFO", fixtures::Info("3", "1", "", "same"));
    p.Record("INFO", fixtures::Info("4", "", "1", "same"));
    auto& plugin = files.Add("p.esp", p, kT + 1);
    for (bool report : {false, true}) {
        CPluginChecker checker;
        checker.AddPlugin(plugin);
        checker.AddMaster(master);
        const auto& result = checker.Run(kRunning, 0, AllOn(), report ? AllOn() : DialogTextOff(), 14);
        EXPECT_EQ(Texts(result, result.m_deleted),
                  (Rows{{"INFO", "Dialog Text Marked as DELETED (Removed from Game)", "2", "p.esp",
                         report ? "m.esm" : "None"}}));
        const Rows unclean{{"INFO", "Dialog Text Identical to Default Entry. (Unclean Entry)", "1", "p.esp", "m.esm"}};
        EXPECT_EQ(Texts(result, result.m_unclean), report ? unclean : Rows{});
        const Rows changed{{"INFO", "Dialog Text Modified from Esm", "2", "p.esp", "m.esm"},
                           {"INFO", "Dialog Text Modified from Esm", "3", "p.esp", "m.esm"},
                           {"INFO", "Dialog Text Modified from Esm", "4", "p.esp", "m.esm"}};
        EXPECT_EQ(Texts(result, result.m_globalChanges), report ? changed : Rows{});
    }
}

TEST(PluginChecker, DataTheReaderDroppedIsNeverUncleanButStillDeleted) {
    CLoadOrder files;
    CExtractOpts opts = CExtractOpts::All();
    opts.m_pathGridData = 0;
    const auto grid = [](bool deleted) {
        std::vector<fixtures::CSub> subs{Sub("DATA", I32(0) + I32(0) + I32(0)), Name("Ald"), Sub("PGRP", "pts")};
        if (deleted) subs.push_back(Dele());
        return subs;
    };
    auto& master = files.Add("m.esm", Plugin().Record("PGRD", grid(false)).Record("PGRD", grid(true)), kT, opts);
    auto& plugin = files.Add("p.esp", Plugin().Record("PGRD", grid(false)).Record("PGRD", grid(true)), kT, opts);
    CPluginChecker checker;
    checker.AddPlugin(plugin);
    checker.AddMaster(master);
    const auto& result = checker.Run(kRunning, 0, AllOn(), AllOn(), 14);
    EXPECT_TRUE(result.m_unclean.empty());
    EXPECT_TRUE(result.m_globalChanges.empty());
    EXPECT_EQ(Texts(result, result.m_deleted),
              (Rows{{"PGRD", "Path Grid Marked as DELETED (Removed from Game)", "0,0,0 Ald", "p.esp", "m.esm"}}));
}

TEST(PluginChecker, OriginalFileIsTheNewestHolderAndUnreadableTimesAreOldest) {
    CLoadOrder files;
    auto& first = files.Add("first.esm", Plugin().Record("NPC_", Named("a", "1")).Record("NPC_", Named("b", "1")), kT);
    auto& second =
        files.Add("second.esm", Plugin().Record("NPC_", Named("a", "2")).Record("NPC_", Named("c", "2")), kT);
    auto& third = files.Add("third.esm", Plugin().Record("NPC_", Named("b", "3")), kT - 5);
    CPluginChecker checker;
    checker.AddMaster(first);
    checker.AddMaster(second);
    checker.AddMaster(third);
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "a", "NPC_"), "first.esm");  // same second: the earlier
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "b", "NPC_"), "first.esm");
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "c", "NPC_"), "second.esm");
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "A", "NPC_"), "None");
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "a", "GMST"), "None");
    EXPECT_EQ(checker.FindOriginalFile(kRunning, "a", "XXXX"), "None");

    // A master whose file has gone is older than every readable one, but
    // still the original where it alone holds the ID.
    files.Remove("first.esm");
    CPluginChecker gone;
    gone.AddMaster(first);
    gone.AddMaster(second);
    gone.AddMaster(third);
    EXPECT_EQ(gone.FindOriginalFile(kRunning, "a", "NPC_"), "second.esm");
    EXPECT_EQ(gone.FindOriginalFile(kRunning, "b", "NPC_"), "third.esm");
    files.Remove("third.esm");
    CPluginChecker both;
    both.AddMaster(first);
    both.AddMaster(third);
    EXPECT_EQ(both.FindOriginalFile(kRunning, "b", "NPC_"), "first.esm");

    // A name given in other letter case than on disk still finds the file's time.
    CLoadOrder cased;
    auto& lower = cased.Add("lower.esm", Plugin().Record("NPC_", Named("x", "1")), kT + 50);
    auto& upper = cased.Add("upper.esm", Plugin().Record("NPC_", Named("x", "2")), kT);
    CPluginFile renamed;
    ASSERT_TRUE(renamed.Open("LOWER.ESM", cased.Folder()));
    ASSERT_TRUE(renamed.ReadRecords(kRunning, CExtractOpts::All()));
    CPluginChecker caseless;
    caseless.AddMaster(upper);
    caseless.AddMaster(renamed);
    EXPECT_EQ(caseless.FindOriginalFile(kRunning, "x", "NPC_"), "LOWER.ESM");
    (void)lower;
}

TEST(PluginChecker, FindEntryTakesTheFirstEntryOfTheNamedFileAndFollowsErasures) {
    CLoadOrder files;
    auto& master = files.Add("m.esm", Plugin().Record("NPC_", Named("x", "m")), kT);
    auto& plugin = files.Add("p.esp",
                             Plugin()
                                 .Record("NPC_", Named("x", "1"))
                                 .Record("NPC_", Named("x", "2"))
                                 .Record("NPC_", {Sub("NAME", std::string("y\0tail", 6))}),
                             kT);
    CPluginChecker checker;
    checker.AddPlugin(plugin);
    checker.AddMaster(master);
    using EList = CPluginChecker::EList;
    const CEntryTable& npcs = *plugin.GetTable("NPC_");
    EXPECT_EQ(checker.FindEntry("p.esp", std::string("y\0other", 7), "NPC_", EList::Plugins), npcs[2].get());
    EXPECT_EQ(checker.FindEntry("p.esp", "x", "TES3", EList::Plugins), nullptr);

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

class CStoppingLink : public CScriptedLink {
public:
    CStoppingLink(std::atomic<std::int32_t>& stop, std::size_t after) : m_stop(stop), m_after(after) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (++m_seen == m_after) m_stop = 1;
    }

private:
    std::atomic<std::int32_t>& m_stop;
    std::size_t m_after;
    std::size_t m_seen = 0;
};

TEST(PluginChecker, TheStopFlagEndsBothPhases) {
    CLoadOrder files;
    std::vector<CPluginFile*> plugins;
    for (int i = 0; i < 3; ++i)
        plugins.push_back(&files.Add("p" + std::to_string(i) + ".esp",
                                     Plugin().Record("NPC_", Named("n", std::to_string(i), true)), kT + i));
    // Stopped after the first pair: no more progress, no more pairs, and the
    // warning phase ends at its first test.
    std::atomic<std::int32_t> stop{0};
    CStoppingLink stopping(stop, 2);
    CPluginChecker stopped(&stopping);
    for (auto* p : plugins) stopped.AddPlugin(*p);
    const auto& result = stopped.Run(stop, 0, AllOn(), AllOn(), 7);
    EXPECT_EQ(stopping.Calls().size(), 2u);
    EXPECT_EQ(result.m_conflicts.size(), 2u);
    EXPECT_TRUE(result.m_deleted.empty());
    EXPECT_EQ(stopped.FindOriginalFile(stop, "n", "NPC_"), "None");
}

}  // namespace
}  // namespace vantor
