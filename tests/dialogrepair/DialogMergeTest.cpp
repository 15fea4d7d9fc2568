#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <optional>

#include "DialogKit.h"
#include "fixtures/GameFolder.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;
using EOutcome = CDialogMerge::EOutcome;

namespace {

const std::string kMasterQuestion = "ask Caution|Master Files Not Found.\nDialog Repair will be incomplete.\nIgnore and Continue?";

// Sets the stop flag when a progress text starts with the given prefix.
class CStoppingLink : public CScriptedLink {
public:
    CStoppingLink(std::atomic<std::int32_t>& stop, std::string prefix) : m_stop(stop), m_prefix(std::move(prefix)) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (text.starts_with(m_prefix)) m_stop = 1;
    }

private:
    std::atomic<std::int32_t>& m_stop;
    std::string m_prefix;
};

// Merges plugins and masters of the data folder into `output` there; the
// run says 1 exactly when it wrote.
EOutcome Merge(const CGameFolder& game, CFrameLink& link, const std::vector<std::string>& plugins,
               const std::vector<std::string>& masters, const std::string& output = "Repair.esp") {
    CDialogMerge merge(link);
    for (const auto& p : plugins) merge.AddPlugin(p, game.m_data);
    for (const auto& m : masters) merge.AddMaster(m, game.m_data);
    merge.SetOutputPath(game.m_data + output);
    std::atomic<std::int32_t> stop{0};
    const std::int32_t result = merge.Run(stop);
    EXPECT_EQ(result, merge.Outcome() == EOutcome::Written ? 1 : 0);
    return merge.Outcome();
}

// No working file is left in the folder.
bool NoLeftovers(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".tmp") return false;
    return true;
}

}  // namespace

// A master chain whose links break off: the first response not yet placed
// goes next, with a warning. The random topics of DialogMergeProperty hold
// the rules of whole chains.
TEST(DialogMergeTest, ABrokenMasterChainTakesTheFirstRemainingAndWarns) {
    CGameFolder game;
    CPluginBuilder p, m;
    AddTopic(p.Header(), "T", {{"p", "m3", "", "P"}});
    AddTopic(m.Header(), "T", {{"m1", "", "m9", "one"}, {"m2", "m7", "m3", "two"}, {"m3", "m2", "", "three"}});
    game.Write("P.esp", p);
    game.Write("M.esm", m);
    ASSERT_EQ(Merge(game, game.m_link, {"P.esp"}, {"M.esm"}), EOutcome::Written);
    EXPECT_EQ(ReadRepair(game.m_data + "Repair.esp").Chains()["T"], "m1=one m2=two m3=three p=P");
    ASSERT_EQ(game.m_link.Messages().size(), 1u);  // no question about masters either
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Dialog May Be Out of Order");
}

// What lies between and inside the records is read as the game reads it;
// the repair plugin's header and the question about the missing master.
TEST(DialogMergeTest, RecordsAreReadAsTheGameWritesThem) {
    CGameFolder game;
    CPluginBuilder p;
    p.Header({"Morrowind.esm"});
    p.Raw("\x01\x02garbageIN"s);
    p.Record("INFO", InfoSubs(Id("early"), Id(""), Id(""), "E"));  // before any topic: it belongs nowhere
    p.Record("DIAL", DialSubs("T"));
    p.Raw("\0\0\x7f"s);
    p.Record("INFO", InfoSubs(Id("a"), Id(""), Id("b"), "A"));
    // Records of other kinds are passed over whole, whatever they hold: a
    // start script record holding a response too.
    p.RecordData("SSCR", CPluginBuilder().Record("INFO", InfoSubs(Id("ghost"), Id("a"), Id(""), "G")).Bytes());
    p.Record("NPC_", {Name("guard"), Sub("FNAM", "INFODIAL text")});
    p.RecordData("ZZZZ", "junk");
    // "DELE" inside a payload passed over before the ids is text, not a deletion.
    std::vector<CSub> b = InfoSubs(Id("b"), Id("a"), Id(""), "B");
    b.insert(b.begin(), Sub("XXXX", "the DELE word"));
    p.Record("INFO", b);
    // A deleted topic: its responses must not join "T".
    p.Record("DIAL", DialSubs("Gone", 0, true));
    p.Record("INFO", InfoSubs(Id("stray"), Id(""), Id(""), "S"));
    // A topic without responses of its own still gets its DIAL, data intact.
    p.Record("DIAL", DialSubs("lonely topic", 2));
    // Ids keep their bytes, terminated or not; topic names keep their case.
    p.Record("DIAL", DialSubs("t"));
    p.Record("INFO", InfoSubs("1234567890\0"s, "\0"s, "ABC"s, "first"));
    p.Record("INFO", InfoSubs("ABC"s, "1234567890\0"s, "\0"s, "second"));
    std::size_t cut = p.Size();
    p.Record("INFO", InfoSubs(Id("c"), Id("ABC"), Id(""), "C"));
    p.Truncate(cut + 30);  // a cut record ends the file
    game.Write("P.esp", p);

    ASSERT_EQ(Merge(game, game.m_link, {"P.esp"}, {}), EOutcome::Written);
    CRepairBack back = ReadRepair(game.m_data + "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 3u);
    EXPECT_EQ(back.m_topics[0].m_name, Id("T"));
    EXPECT_EQ(back.m_topics[0].m_rest, SubBytes(Sub("DATA", "\0"s)));
    EXPECT_EQ(back.Chains()["T"], "a=A b=B");
    EXPECT_EQ(back.m_topics[1].m_name, Id("lonely topic"));
    EXPECT_EQ(back.m_topics[1].m_rest, SubBytes(Sub("DATA", "\x02"s)));
    EXPECT_TRUE(back.m_topics[1].m_infos.empty());
    EXPECT_EQ(back.m_topics[2].m_name, Id("t"));
    const auto& raw = back.m_topics[2].m_infos;
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].m_inam + "|" + raw[0].m_pnam + "|" + raw[0].m_nnam, "1234567890\0|\0|ABC"s);
    EXPECT_EQ(raw[1].m_inam + "|" + raw[1].m_pnam + "|" + raw[1].m_nnam, "ABC|1234567890\0|\0"s);

    // The header: 362 bytes naming Morrowind.esm, the true record count.
    EXPECT_EQ(back.m_records, 7u);
    std::string hedr = std::string("\x9A\x99\x99\x3F", 4) + I32(0) + Fixed("VANTOR Dialog Merge File", 32) + Fixed("", 256) + I32(7);
    std::string want = "TES3"s + I32(346) + I32(0) + I32(0) + SubBytes(Sub("HEDR", hedr)) +
                       SubBytes(Sub("MAST", Id("Morrowind.esm"))) + SubBytes(Sub("DATA", I32(79837557) + I32(0)));
    EXPECT_EQ(back.m_header, want);
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, kMasterQuestion.substr(kMasterQuestion.find('|') + 1));
    EXPECT_EQ(game.m_link.Messages()[0].m_buttons, EButtons::YesNo);
    EXPECT_EQ(game.m_link.Messages()[0].m_icon, EIcon::Question);
    EXPECT_TRUE(NoLeftovers(game.m_data));
}

// Every run that ends early leaves the repair plugin that was there as it
// was, no working file behind, the inputs untouched, and says why once.
TEST(DialogMergeTest, RunsThatEndEarlyLeaveTheOldRepairPlugin) {
    CGameFolder game;
    CPluginBuilder p, q;
    AddTopic(AddTopic(p.Header(), "T", {{"a", "", "", "A"}}), "U", {{"b", "", "", "B"}});
    AddTopic(q.Header(), "T", {{"a", "", "", "other A"}});
    game.Write("P.esp", p);
    game.Write("Q.esp", q);
    const std::string input = game.Read("P.esp"), old = "an earlier repair plugin";
    using EOp = platform::EFileOp;
    const std::string taken = "ask Cannot Complete Request|The Repair Plugin P.esp is also a file to be read.\n"
                              "Choose another name for the Repair Plugin.";
    struct CCase {
        std::string m_output;
        std::deque<EAnswer> m_answers;
        std::optional<EOp> m_fail;  // a file call that fails, on a path holding `m_failOn`
        std::string m_failOn;
        std::string m_stopAt;  // a progress text on which the user stops
        EOutcome m_outcome;
        std::string m_lastCall;  // for a stop: the progress that stopped
        std::vector<std::string> m_plugins = {"P.esp"};
    };
    const std::string io = "ask VANTOR|Input/output error", out = "Repair.esp";
    // The system's own words for a folder that is not there.
    platform::CFile probe;
    EXPECT_FALSE(probe.CreateUnique(game.m_data + "no such folder/", 0644));
    const std::string noFolder = platform::LastErrorMessage();
    const CCase cases[] = {
        {out, {EAnswer::No}, {}, "", "", EOutcome::Declined, kMasterQuestion},
        {out, {EAnswer::Yes, EAnswer::No}, {}, "", "", EOutcome::Declined,
         "ask Conflict Found|Conflicting Dialog Found. Ignore and Continue?", {"P.esp", "Q.esp"}},
        {out, {}, EOp::Write, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::ShortWrite, "", "", EOutcome::WriteFailed, "ask VANTOR|Could not update this Entry."},
        {out, {}, EOp::Sync, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::Move, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::Open, "P.esp", "", EOutcome::OpenFailed, "ask Error|Could not Open P.esp"},
        // Its time cannot be read: it may be gone already.
        {out, {}, EOp::Stat, "P.esp", "", EOutcome::OpenFailed, "ask Error|Could not Open P.esp"},
        {"P.esp", {}, {}, "", "", EOutcome::Refused, taken},
        {"p.ESP", {}, {}, "", "", EOutcome::Refused, taken},
        {"", {}, {}, "", "", EOutcome::Refused, "ask Cannot Complete Request|No Repair Plugin Named"},
        {"no such folder/Repair.esp", {}, {}, "", "", EOutcome::Refused,
         "ask Error|Could not Create Repair.esp\n" + noFolder},
        {out, {}, {}, "", "Extracting Esp Dialog", EOutcome::Stopped, "progress 1|Extracting Esp Dialog 0% complete"},
        {out, {}, {}, "", "Extracting Esm Dialog", EOutcome::Stopped, "progress 0|Extracting Esm Dialog 0% complete"},
        {out, {}, {}, "", "Creating Repair Plugin 0", EOutcome::Stopped, "progress 2|Creating Repair Plugin 0% complete"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_lastCall);
        ASSERT_TRUE(CPluginBuilder().Raw(old).Write(game.m_data + "Repair.esp"));
        std::atomic<std::int32_t> stop{0};
        CStoppingLink link(stop, c.m_stopAt.empty() ? "\x01" : c.m_stopAt);
        link.m_answers = c.m_answers;
        {
            const CFaultGuard guard([&c](EOp op, const std::string& path) {
                return c.m_fail && op == *c.m_fail && path.find(c.m_failOn) != std::string::npos;
            });
            CDialogMerge merge(link);
            for (const auto& name : c.m_plugins) merge.AddPlugin(name, game.m_data);
            merge.SetOutputPath(game.m_data + c.m_output);
            EXPECT_EQ(merge.Run(stop), c.m_outcome == EOutcome::Stopped ? 1 : 0);
            EXPECT_EQ(merge.Outcome(), c.m_outcome);
        }
        const auto calls = link.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), c.m_lastCall);  // once stopped, nothing more is shown
        if (c.m_outcome == EOutcome::Refused) {
            EXPECT_EQ(calls.size(), 1u);  // refused before reading
        }
        EXPECT_EQ(game.Read("Repair.esp"), old);
        EXPECT_EQ(game.Read("P.esp"), input);
        EXPECT_TRUE(NoLeftovers(game.m_data));
    }
}
