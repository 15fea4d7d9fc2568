// The warning rules pinned to the rows the user sees, on a load order where
// each rule decides. The differential test holds the engine to the reference
// on generated load orders; this holds both to the rules of reverts, copies
// and changes, which are easy to state wrongly on both sides.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/PluginChecker.h"

namespace vantor {
namespace {

using namespace fixtures;
using Lines = std::vector<std::string>;

constexpr std::int64_t kT = 1'600'000'000;

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

// Each pane's rows of a run, one line per row with the columns joined by '|'.
struct CRun {
    Lines m_deleted, m_unclean, m_changes;
};
CRun Check(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters, std::uint8_t mask,
           bool reportDialogText = true) {
    CCheckSwitches on;
    on.fill(1);
    CCheckSwitches unclean = on;
    unclean[kInfoCheck] = reportDialogText ? 1 : 0;
    CPluginChecker checker;
    for (auto* p : plugins) checker.AddPlugin(*p);
    for (auto* m : masters) checker.AddMaster(*m);
    const CCheckResult& result = checker.Run(kRunning, 0, on, unclean, mask);
    const auto lines = [&](const CFindings& rows) {
        Lines out;
        for (const auto& row : Texts(result, rows)) {
            std::string line;
            for (const auto& text : row) line += (line.empty() ? "" : "|") + text;
            out.push_back(line);
        }
        return out;
    };
    return {lines(result.m_deleted), lines(result.m_unclean), lines(result.m_globalChanges)};
}

TEST(PluginChecker, WarningsFollowTheReferenceMasterRules) {
    CLoadOrder files;
    const CSub zero = Sub(std::string(4, '\0'), "z");
    auto& older = files.Add("A.esm",
                            Dialogue({{"greet", {{"1", "hello"}, {"2", "bye"}, {"3", "same"}}}})
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
    CPluginBuilder p = Dialogue({{"greet", {{"1", "hello"}}}});
    p.Record("INFO", {Sub("INAM", Z("2")), Sub("PNAM", Z("")), Sub("NNAM", Z("")), Dele()});
    // The master's text in another place of the chain: a change, not a copy.
    p.Record("INFO", Info("3", "1", "", "same"));
    p.Record("NPC_", Named("same", "s"))
        .Record("NPC_", Named("mixed", "old"))
        .Record("NPC_", Named("gone", "g", true))
        .Record("NPC_", Named("fresh", "f", true))
        .Record("SNDG", Named("snd", "s"))
        .Record("CELL", Cell("Vivec", 1, 0, 0))
        .Record("CELL", Cell("Vivec", 1, 0, 0, true))
        .Record("NPC_", {Name("zero"), zero});
    auto& plugin = files.Add("p.esp", p, kT + 200);
    // An entry is judged against the newest master's copy alone: "mixed"
    // equals the older A's copy, so it undoes B's change; it is a change of
    // B's, not unclean as well. Data starting with a zero byte is no copy.
    // Cells are never compared; responses only when Report Dialog Text is on.
    const CRun all = Check({&plugin}, {&older, &newer}, 14);
    EXPECT_EQ(all.m_unclean,
              (Lines{"INFO|Dialog Text Identical to Default Entry. (Unclean Entry)|1|p.esp|A.esm",
                     "NPC_|NPC Entry Identical to Default Entry. (Unclean Entry)|same|p.esp|B.esm",
                     "SNDG|Sound Gen  Identical to Default Entry. (Unclean Entry)|snd|p.esp|A.esm"}));
    EXPECT_EQ(all.m_changes, (Lines{"INFO|Dialog Text Modified from Esm|2|p.esp|A.esm",
                                    "INFO|Dialog Text Modified from Esm|3|p.esp|A.esm",
                                    "NPC_|NPC Entry Modified from Esm|mixed|p.esp|B.esm",
                                    "NPC_|NPC Entry Modified from Esm|gone|p.esp|B.esm"}));
    EXPECT_EQ(all.m_deleted, (Lines{"CELL|Cell Entry Marked as DELETED (Removed from Game)|1,0,0 Vivec|p.esp|None",
                                    "INFO|Dialog Text Marked as DELETED (Removed from Game)|2|p.esp|A.esm",
                                    "NPC_|NPC Entry Marked as DELETED (Removed from Game)|gone|p.esp|B.esm",
                                    "NPC_|NPC Entry Marked as DELETED (Removed from Game)|fresh|p.esp|None"}));
    const CRun quiet = Check({&plugin}, {&older, &newer}, 14, false);
    EXPECT_EQ(quiet.m_unclean.size(), 2u);
    EXPECT_EQ(quiet.m_changes.size(), 2u);
    ASSERT_EQ(quiet.m_deleted.size(), 4u);
    EXPECT_EQ(quiet.m_deleted[1], "INFO|Dialog Text Marked as DELETED (Removed from Game)|2|p.esp|None");
    const CRun unclean = Check({&plugin}, {&older, &newer}, 4);
    EXPECT_EQ(unclean.m_unclean.size(), 3u);
    EXPECT_TRUE(unclean.m_deleted.empty() && unclean.m_changes.empty());

    // A deleted row names the master of the last finding as the masters are
    // met, a later one counting only when newer, else the last holder. With
    // B older: deleted alone never moves the reference, so B, the last holder,
    // counts; with changes on, the finding in A makes the older B not count.
    files.SetTime("B.esm", kT - 100);
    for (const auto& [mask, master] : {std::pair<std::uint8_t, std::string>{2, "B.esm"}, {10, "A.esm"}}) {
        const Lines deleted = Check({&plugin}, {&older, &newer}, mask).m_deleted;
        ASSERT_EQ(deleted.size(), 4u) << int(mask);
        EXPECT_EQ(deleted[2], "NPC_|NPC Entry Marked as DELETED (Removed from Game)|gone|p.esp|" + master) << int(mask);
    }
}

}  // namespace
}  // namespace vantor
