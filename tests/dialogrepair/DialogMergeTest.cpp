#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <optional>

#include "DialogKit.h"
#include "format/Entry.h"
#include "dialogrepair/DialogMerge.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;

namespace {

const std::string kMasterQuestion = "ask Caution|Master Files Not Found.\nDialog Repair will be incomplete.\nIgnore and Continue?";
const std::string kConflict = "ask Conflict Found|Conflicting Dialog Found. Ignore and Continue?";

// Sets the stop flag when a progress text starts with the given prefix.
class CStoppingLink : public CScriptedLink {
public:
    CStoppingLink(std::atomic<std::int32_t>& stop, std::string prefix) : m_stop(stop), m_prefix(std::move(prefix)) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (text.rfind(m_prefix, 0) == 0) m_stop = 1;
    }

private:
    std::atomic<std::int32_t>& m_stop;
    std::string m_prefix;
};

class DialogMergeTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetFaultHook(nullptr); }

    // Writes a file into the folder with the given last-write time.
    std::string Put(const std::string& name, const CPluginBuilder& b, std::int64_t time = 1'600'000'000) {
        std::string path = m_dir / name;
        EXPECT_TRUE(b.Write(path));
        SetFileTime(path, time);
        return path;
    }

    std::int32_t Run(CFrameLink& link, const std::vector<std::string>& plugins, const std::vector<std::string>& masters,
                     const std::string& output = "Repair.esp", CDialogMerge::EOutcome* outcome = nullptr) {
        CDialogMerge merge(link);
        for (const auto& p : plugins) merge.AddPlugin(p, m_dir.Path());
        for (const auto& m : masters) merge.AddMaster(m, m_dir.Path());
        merge.SetOutputPath(m_dir.Path() + output);
        std::int32_t r = merge.Run(m_stop);
        if (outcome) *outcome = merge.Outcome();
        return r;
    }

    // Names in the folder other than the ones the test wrote.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.Path()))
            if (e.path().extension() == ".tmp") names.push_back(e.path().filename().string());
        return names;
    }

    std::string Bytes(const std::string& name) const {
        std::string out;
        platform::ReadWholeFile(m_dir / name, out);
        return out;
    }

    CTempDir m_dir;
    CScriptedLink m_link;
    std::atomic<std::int32_t> m_stop{0};
};

std::vector<std::string> Texts(const CBackTopic& t) {
    std::vector<std::string> texts;
    for (const auto& i : t.m_infos) texts.push_back(i.Text());
    return texts;
}

}  // namespace

TEST_F(DialogMergeTest, PluginOnlyTopicsFollowPnamWithOrphansLastAndExactHeaderAndProgress) {
    CPluginBuilder b;
    b.Header({"Morrowind.esm"});
    // Out of file order on purpose; x names a previous that is nowhere, and
    // y, which follows x, stands before it; l1 and l2 only name each other.
    AddTopic(b, "Greeting 1",
             {{"b", "a", "c", "B"}, {"y", "x", "", "Y"}, {"l1", "l2", "", "L1"}, {"a", "", "b", "A"},
              {"x", "missing", "y", "X"}, {"c", "b", "", "C"}, {"l2", "l1", "", "L2"}});
    b.Record("DIAL", DialSubs("lonely topic", 2));
    Put("One.esp", b);

    ASSERT_EQ(Run(m_link, {"One.esp"}, {}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 2u);
    const CBackTopic& g = back.m_topics[0];
    EXPECT_EQ(g.m_name, Id("Greeting 1"));
    EXPECT_EQ(g.m_rest, SubBytes(Sub("DATA", "\0"s)));
    ASSERT_EQ(ChainIds(g), (std::vector<std::string>{"a", "b", "c", "x", "y", "l1", "l2"}));
    EXPECT_EQ(Texts(g), (std::vector<std::string>{"A", "B", "C", "X", "Y", "L1", "L2"}));
    EXPECT_TRUE(ChainConsistent(g));
    // A topic without responses of its own still gets its DIAL, data intact.
    EXPECT_EQ(back.m_topics[1].m_name, Id("lonely topic"));
    EXPECT_EQ(back.m_topics[1].m_rest, SubBytes(Sub("DATA", "\x02"s)));
    EXPECT_TRUE(back.m_topics[1].m_infos.empty());

    // The header: 362 bytes naming Morrowind.esm, the true record count.
    EXPECT_EQ(back.m_recordCount, 9u);
    EXPECT_EQ(back.m_records, 9u);
    EXPECT_EQ(back.m_masterSize, 79837557u);
    std::string hedr = std::string("\x9A\x99\x99\x3F", 4) + I32(0) + Fixed("VANTOR Dialog Merge File", 32) + Fixed("", 256) + I32(9);
    std::string want = "TES3"s + I32(346) + I32(0) + I32(0) + SubBytes(Sub("HEDR", hedr)) +
                       SubBytes(Sub("MAST", Id("Morrowind.esm"))) + SubBytes(Sub("DATA", I32(79837557) + I32(0)));
    EXPECT_EQ(back.m_header, want);

    ASSERT_EQ(m_link.Messages().size(), 1u);
    EXPECT_EQ(m_link.Messages()[0].m_text, kMasterQuestion.substr(kMasterQuestion.find('|') + 1));
    EXPECT_EQ(m_link.Messages()[0].m_buttons, EButtons::YesNo);
    EXPECT_EQ(m_link.Messages()[0].m_icon, EIcon::Question);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(DialogMergeTest, MasterInfosKeepTheirPlaceTakePluginDataAndPluginInsertsLandBehindTheirPrevious) {
    CPluginBuilder m;
    m.Header();
    AddTopic(m, "T", {{"m1", "", "m2", "one"}, {"m2", "m1", "m3", "two"}, {"m3", "m2", "m4", "three"}, {"m4", "m3", "", "four"}});
    AddTopic(m, "untouched", {{"u1", "", "", "U"}});
    std::string masterPath = Put("Morrowind.esm", m);

    CPluginBuilder p;
    p.Header({"Morrowind.esm"});
    AddTopic(p, "T",
             {{"m2", "m1", "m3", "two"},         // a repeat: nothing changes
              {"m3", "p1", "m4", "three, new"},  // a change: data taken, place and links kept
              {"p1", "m2", "m3", "P1"},          // inserted after m2
              {"p2", "m1", "m2", "P2"},          // inserted after m1
              {"p0", "", "m1", "P0"}});          // a new first response
    Put("Plugin.esp", p);

    ASSERT_EQ(Run(m_link, {"Plugin.esp"}, {"Morrowind.esm"}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 1u);  // master topics no plugin touches stay out
    const CBackTopic& t = back.m_topics[0];
    ASSERT_EQ(ChainIds(t), (std::vector<std::string>{"p0", "m1", "p2", "m2", "p1", "m3", "m4"}));
    EXPECT_EQ(Texts(t), (std::vector<std::string>{"P0", "one", "P2", "two", "P1", "three, new", "four"}));
    EXPECT_TRUE(ChainConsistent(t));
    EXPECT_EQ(back.m_recordCount, 8u);
    EXPECT_EQ(back.m_masterSize, *platform::FileSize(masterPath));
    for (const auto& c : m_link.Calls()) EXPECT_NE(c.rfind("ask", 0), 0u) << c;
}

TEST_F(DialogMergeTest, MasterDuplicatesKeepTheLaterWrittenAndMasterDeletionsRemove) {
    CPluginBuilder a, b, c, d, e;
    a.Header();
    AddTopic(a, "T", {{"x", "", "y", "x from A"}, {"y", "x", "w", "y"}, {"w", "y", "", "w"}});
    b.Header();
    AddTopic(b, "T", {{"x", "", "y", "x from B"}});
    c.Header();
    AddTopic(c, "T2", {{"z", "", "", "z from C"}});
    d.Header();
    AddTopic(d, "T2", {{"z", "", "", "z from D"}});
    e.Header();
    AddTopic(e, "T", {{"w", "y", "", "", true}});
    Put("A.esm", a, 2000);
    Put("B.esm", b, 1000);
    Put("C.esm", c, 1500);
    Put("D.esm", d, 1500);
    Put("E.esm", e, 3000);

    CPluginBuilder p;
    p.Header();
    AddTopic(p, "T", {{"n", "y", "", "N"}});
    AddTopic(p, "T2", {{"n2", "z", "", "N2"}});
    Put("P.esp", p);

    // B is read before A, yet A is newer.
    ASSERT_EQ(Run(m_link, {"P.esp"}, {"B.esm", "A.esm", "C.esm", "D.esm", "E.esm"}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    const CBackTopic* t = back.Find("T");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(ChainIds(*t), (std::vector<std::string>{"x", "y", "n"}));
    EXPECT_EQ(Texts(*t)[0], "x from A");
    EXPECT_TRUE(ChainConsistent(*t));
    const CBackTopic* t2 = back.Find("T2");
    ASSERT_NE(t2, nullptr);
    ASSERT_EQ(ChainIds(*t2), (std::vector<std::string>{"z", "n2"}));
    EXPECT_EQ(Texts(*t2)[0], "z from D");  // equal times: the one read later
    for (const auto& call : m_link.Calls()) EXPECT_NE(call.rfind("ask", 0), 0u) << call;
}

TEST_F(DialogMergeTest, PluginDuplicatesSameCollapseDifferentAsk) {
    auto build = [](const std::string& text) {
        CPluginBuilder b;
        b.Header();
        AddTopic(b, "T", {{"s", "", "d", "same"}, {"d", "s", "", text}});
        return b;
    };
    Put("Old.esp", build("old text"), 1000);
    Put("New.esp", build("new text"), 2000);

    // The newer is read first: the file time decides, not the order.
    ASSERT_EQ(Run(m_link, {"New.esp", "Old.esp"}, {}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 1u);
    ASSERT_EQ(ChainIds(back.m_topics[0]), (std::vector<std::string>{"s", "d"}));
    EXPECT_EQ(Texts(back.m_topics[0])[1], "new text");
    EXPECT_TRUE(ChainConsistent(back.m_topics[0]));
    auto calls = m_link.Calls();
    ASSERT_EQ(std::count(calls.begin(), calls.end(), kConflict), 1);  // once, for d only
    EXPECT_EQ(m_link.Messages().back().m_buttons, EButtons::YesNo);

    // No: nothing is written, the earlier repair plugin stays as it was.
    const std::string before = Bytes("Repair.esp");
    CScriptedLink declining;
    declining.m_answers = {EAnswer::Yes, EAnswer::No};
    CDialogMerge::EOutcome outcome{};
    EXPECT_EQ(Run(declining, {"New.esp", "Old.esp"}, {}, "Repair.esp", &outcome), 0);
    EXPECT_EQ(outcome, CDialogMerge::EOutcome::Declined);
    EXPECT_EQ(Bytes("Repair.esp"), before);
    ASSERT_FALSE(declining.Calls().empty());
    EXPECT_EQ(declining.Calls().back(), kConflict);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(DialogMergeTest, DeletedTopicsAndResponsesAreNotMergedNorWritten) {
    CPluginBuilder m;
    m.Header();
    AddTopic(m, "T", {{"m1", "", "m2", "one"}, {"m2", "m1", "m3", "two"}, {"m3", "m2", "", "three"}});
    Put("Morrowind.esm", m);

    CPluginBuilder p;
    p.Header();
    // A response before any topic: it belongs nowhere.
    p.Record("INFO", InfoSubs(Id("early"), Id(""), Id(""), "E"));
    AddTopic(p, "Kept", {{"k1", "", "", "K1"}, {"k2", "k1", "", "K2", true}});
    // A deleted topic: its responses must not join "Kept".
    p.Record("DIAL", DialSubs("Gone", 0, true));
    p.Record("INFO", InfoSubs(Id("stray"), Id(""), Id(""), "S"));
    // The plugin deletes a master response.
    AddTopic(p, "T", {{"m2", "m1", "m3", "", true}, {"n", "m3", "", "N"}});
    Put("P.esp", p);

    ASSERT_EQ(Run(m_link, {"P.esp"}, {"Morrowind.esm"}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 2u);
    EXPECT_EQ(back.Find("Gone"), nullptr);
    ASSERT_NE(back.Find("Kept"), nullptr);
    ASSERT_EQ(ChainIds(*back.Find("Kept")), (std::vector<std::string>{"k1"}));
    ASSERT_NE(back.Find("T"), nullptr);
    ASSERT_EQ(ChainIds(*back.Find("T")), (std::vector<std::string>{"m1", "m3", "n"}));
    EXPECT_TRUE(ChainConsistent(*back.Find("T")));
    EXPECT_TRUE(ChainConsistent(*back.Find("Kept")));

    // A newer plugin that gives the response back wins over the deletion.
    CPluginBuilder later;
    later.Header();
    AddTopic(later, "T", {{"m2", "m1", "m3", "two again"}});
    Put("Later.esp", later, 1'700'000'000);
    ASSERT_EQ(Run(m_link, {"P.esp", "Later.esp"}, {"Morrowind.esm"}), 1);
    back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_NE(back.Find("T"), nullptr);
    ASSERT_EQ(ChainIds(*back.Find("T")), (std::vector<std::string>{"m1", "m2", "m3", "n"}));
    EXPECT_EQ(Texts(*back.Find("T"))[1], "two again");
}

TEST_F(DialogMergeTest, GarbageIsSlidOverAndACutRecordEndsTheFile) {
    CPluginBuilder p;
    p.Header();
    p.Raw("\x01\x02garbageIN"s);
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
    std::size_t cut = p.Size();
    p.Record("INFO", InfoSubs(Id("c"), Id("b"), Id(""), "C"));
    p.Truncate(cut + 30);
    Put("P.esp", p);

    ASSERT_EQ(Run(m_link, {"P.esp"}, {}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 1u);
    ASSERT_EQ(ChainIds(back.m_topics[0]), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Texts(back.m_topics[0]), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(ChainConsistent(back.m_topics[0]));
}

TEST_F(DialogMergeTest, IdsKeepTheirBytesAndTopicNamesTheirCase) {
    CPluginBuilder p;
    p.Header();
    p.Record("DIAL", DialSubs("Greeting"));
    p.Record("INFO", InfoSubs("1234567890\0"s, "\0"s, "ABC"s, "first"));
    p.Record("INFO", InfoSubs("ABC"s, "1234567890\0"s, "\0"s, "second"));
    p.Record("DIAL", DialSubs("greeting"));
    p.Record("INFO", InfoSubs(Id("low"), Id(""), Id(""), "lower case"));
    Put("P.esp", p);

    ASSERT_EQ(Run(m_link, {"P.esp"}, {}), 1);
    CRepairBack back = ReadRepair(m_dir / "Repair.esp");
    ASSERT_TRUE(back.m_ok);
    ASSERT_EQ(back.m_topics.size(), 2u);
    EXPECT_EQ(back.m_topics[0].m_name, Id("Greeting"));
    EXPECT_EQ(back.m_topics[1].m_name, Id("greeting"));
    const auto& chain = back.m_topics[0].m_infos;
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].m_inam, "1234567890\0"s);  // 11 bytes, written as 11
    EXPECT_EQ(chain[0].m_pnam, "\0"s);
    EXPECT_EQ(chain[0].m_nnam, "ABC"s);
    EXPECT_EQ(chain[1].m_inam, "ABC"s);
    EXPECT_EQ(chain[1].m_pnam, "1234567890\0"s);
    EXPECT_EQ(chain[1].m_nnam, "\0"s);
    ASSERT_EQ(ChainIds(back.m_topics[1]), (std::vector<std::string>{"low"}));
}

// One master and one plugin holding topic "T": the merged chain's order, and
// the warning a broken master chain gives.
TEST_F(DialogMergeTest, MergedChainsFollowTheLinks) {
    struct CCase {
        const char* m_what;
        std::vector<CResp> m_master, m_plugin;
        std::vector<std::string> m_chain;
        long m_warnings;
    };
    const CCase cases[] = {
        // Placing x's follower y takes out an element that stood before x:
        // the walk must not lose z, which belongs before the master's responses.
        {"every sibling is placed before moving on", {{"m1", "", "", "M1"}},
         {{"y", "x", "", "Y"}, {"x", "", "y", "X"}, {"z", "", "", "Z"}}, {"x", "y", "z", "m1"}, 0},
        {"a broken master chain takes the first remaining",
         {{"m1", "", "m9", "one"}, {"m2", "m7", "m3", "two"}, {"m3", "m2", "", "three"}}, {{"p", "m3", "", "P"}},
         {"m1", "m2", "m3", "p"}, 1},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_what);
        CPluginBuilder m, p;
        m.Header();
        AddTopic(m, "T", c.m_master);
        p.Header();
        AddTopic(p, "T", c.m_plugin);
        Put("M.esm", m);
        Put("P.esp", p);
        CScriptedLink link;
        ASSERT_EQ(Run(link, {"P.esp"}, {"M.esm"}), 1);
        CRepairBack back = ReadRepair(m_dir / "Repair.esp");
        ASSERT_TRUE(back.m_ok);
        ASSERT_EQ(back.m_topics.size(), 1u);
        EXPECT_EQ(ChainIds(back.m_topics[0]), c.m_chain);
        EXPECT_TRUE(ChainConsistent(back.m_topics[0]));
        const auto calls = link.Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "ask Warning|Dialog May Be Out of Order"s), c.m_warnings);
    }
}

// A deeper tree in scrambled pool order; a response whose previous is
// nowhere is left for later.
TEST_F(DialogMergeTest, LinkChainWalksATreeDepthFirst) {
    CDialogMerge merge(m_link);
    std::vector<CInfoRecord> infos;
    for (auto [id, prev] : std::vector<std::pair<std::string, std::string>>{
             {"c", "b"}, {"b", "a"}, {"a", ""}, {"d", "a"}, {"e", ""}, {"f", "c"}, {"o", "nowhere"}})
        infos.push_back(CInfoRecord{Id(id), Id(prev), Id(""), "", 0, false});
    CDialogMerge::CInfoPool pool(infos);
    std::vector<CInfoRecord> chain;
    merge.LinkChain("\0"s, pool, chain, m_stop);
    std::vector<std::string> ids;
    for (const auto& r : chain) ids.emplace_back(UpToNul(r.m_inam));
    ASSERT_EQ(ids, (std::vector<std::string>{"a", "b", "c", "f", "d", "e"}));
    EXPECT_FALSE(pool.Placed(6));
    EXPECT_EQ(chain[1].m_pnam, Id("a"));
    EXPECT_EQ(chain[0].m_nnam, Id("b"));
}

// Every run that ends early leaves the repair plugin that was there as it
// was, no working file behind, the inputs untouched, and says why once.
TEST_F(DialogMergeTest, RunsThatEndEarlyLeaveTheOldRepairPlugin) {
    CPluginBuilder p;
    p.Header();
    AddTopic(p, "T", {{"a", "", "", "A"}});
    AddTopic(p, "U", {{"b", "", "", "B"}});
    Put("P.esp", p);
    const std::string input = Bytes("P.esp");
    const std::string old = "an earlier repair plugin";
    using EOp = platform::EFileOp;
    using EOutcome = CDialogMerge::EOutcome;
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
    };
    const std::string io = "ask VANTOR|Input/output error", out = "Repair.esp";
    // The system's own words for a folder that is not there.
    platform::CFile probe;
    EXPECT_FALSE(probe.CreateUnique(m_dir / "no such folder/", 0644));
    const std::string noFolder = platform::LastErrorMessage();
    const CCase cases[] = {
        {out, {EAnswer::No}, {}, "", "", EOutcome::Declined, kMasterQuestion},
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
        ASSERT_TRUE(CPluginBuilder().Raw(old).Write(m_dir / "Repair.esp"));
        m_stop = 0;
        CStoppingLink link(m_stop, c.m_stopAt.empty() ? "\x01" : c.m_stopAt);
        link.m_answers = c.m_answers;
        if (c.m_fail)
            platform::SetFaultHook([&c](EOp op, const std::string& path) {
                return op == *c.m_fail && path.find(c.m_failOn) != std::string::npos;
            });
        CDialogMerge::EOutcome outcome{};
        EXPECT_EQ(Run(link, {"P.esp"}, {}, c.m_output, &outcome), c.m_outcome == EOutcome::Stopped ? 1 : 0);
        platform::SetFaultHook(nullptr);
        EXPECT_EQ(outcome, c.m_outcome);
        const auto calls = link.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), c.m_lastCall);  // once stopped, nothing more is shown
        if (c.m_outcome == EOutcome::Refused) {
            EXPECT_EQ(calls.size(), 1u);  // refused before reading
        }
        EXPECT_EQ(Bytes("Repair.esp"), old);
        EXPECT_EQ(Bytes("P.esp"), input);
        EXPECT_TRUE(Leftovers().empty());
    }
}
