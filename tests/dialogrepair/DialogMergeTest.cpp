// The dialogue merge: records read as the game reads them, runs that end
// early, random topics against a model of the merge, and real plugins.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "DialogKit.h"
#include "fixtures/GameFolder.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;
using EOutcome = CDialogMerge::EOutcome;

namespace {

const std::string kMasterQuestion =
    "ask Caution|Master Files Not Found.\nDialog Repair will be incomplete.\nIgnore and Continue?";

// Sets its stop flag when a progress text starts with `m_prefix`.
struct CStoppingLink : CScriptedLink {
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (text.starts_with(m_prefix)) m_stop = 1;
    }
    std::string m_prefix = "\x01";  // no progress text starts so
    std::atomic<std::int32_t> m_stop{0};
};

// Merges plugins and masters of the data folder into `output` there; the
// run says 1 exactly when it wrote or was stopped.
EOutcome Merge(const CGameFolder& game, CFrameLink& link, const std::vector<std::string>& plugins,
               const std::vector<std::string>& masters, const std::string& output = "Repair.esp",
               const std::atomic<std::int32_t>& stop = std::atomic<std::int32_t>{0}) {
    CDialogMerge merge(link);
    for (const auto& p : plugins) merge.AddPlugin(p, game.m_data);
    for (const auto& m : masters) merge.AddMaster(m, game.m_data);
    merge.SetOutputPath(game.m_data + output);
    const std::int32_t result = merge.Run(stop);
    EXPECT_EQ(result, merge.Outcome() == EOutcome::Written || merge.Outcome() == EOutcome::Stopped ? 1 : 0);
    return merge.Outcome();
}

// No working file is left in the folder.
bool NoLeftovers(const std::string& folder) {
    return std::ranges::none_of(std::filesystem::directory_iterator(folder),
                                [](const auto& e) { return e.path().extension() == ".tmp"; });
}

struct CInput {
    std::vector<CResp> m_responses;
    std::int64_t m_time;
    bool m_plugin;
};

// One topic: a master chain (its order into `masterOrder`), now and then a
// newer master that inserts, relinks and deletes, and now and then
// expansions that disagree with both (`mastersAgree` false); then one to
// three plugins, each as old as or newer than the last, that add responses
// linked anyhow, copy (relinked past a neighbour, swapped with it, anyhow),
// change, delete and give back responses they know.
std::vector<CInput> RandomTopic(std::mt19937& rng, std::vector<std::string>& masterOrder, bool& mastersAgree) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::string> chain;
    for (int k = pick(1, 6); k > 0; --k) chain.push_back("m" + std::to_string(k));
    std::vector<CInput> inputs{{{}, 1000, false}};
    for (std::size_t i = 0; i < chain.size(); ++i)
        inputs[0].m_responses.push_back(
            {chain[i], i ? chain[i - 1] : "", i + 1 < chain.size() ? chain[i + 1] : "", "M"});
    masterOrder = chain;
    if (chain.size() >= 2 && pick(0, 1)) {
        const std::size_t at = std::size_t(pick(0, int(chain.size()) - 2));
        CInput newer{{{chain[at], at ? chain[at - 1] : "", "n", "M2"},
                      {"n", chain[at], chain[at + 1], "N"},
                      {chain[at + 1], "n", at + 2 < chain.size() ? chain[at + 2] : "", "M2"}},
                     pick(0, 1) ? 1000 : 2000,
                     false};
        const std::string& gone = chain[std::size_t(pick(0, int(chain.size()) - 1))];
        if (gone != chain[at] && gone != chain[at + 1] && pick(0, 1))
            newer.m_responses.push_back({gone, "", "", "", true});
        inputs.insert(newer.m_time > 1000 && pick(0, 1) ? inputs.begin() : inputs.end(), newer);
        masterOrder.insert(masterOrder.begin() + std::ptrdiff_t(at) + 1, "n");
    }
    // Expansions, as Tribunal and Bloodmoon hold the game's topics: each
    // older or newer than any master before it, with its own version of the
    // chain (one response of its own inserted, one linked past though it
    // still stands, two swapped), written in part, now and then deleting one.
    mastersAgree = true;
    for (int e = std::max(0, pick(-1, 2)); e > 0; --e) {
        const std::string own = "x" + std::to_string(e);
        std::vector<std::string> seen = masterOrder;
        seen.insert(seen.begin() + pick(0, int(seen.size())), own);
        if (const auto past = seen.begin() + pick(0, int(seen.size()) - 1); *past != own && pick(0, 1)) seen.erase(past);
        if (seen.size() > 1 && pick(0, 1)) {
            const auto i = std::size_t(pick(0, int(seen.size()) - 2));
            std::swap(seen[i], seen[i + 1]);
        }
        CInput version{{}, 500 * pick(1, 5), false};
        for (std::size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == own || pick(0, 2))
                version.m_responses.push_back(
                    {seen[i], i ? seen[i - 1] : "", i + 1 < seen.size() ? seen[i + 1] : "", "E" + std::to_string(e)});
        const std::string doomed = masterOrder[std::size_t(pick(0, int(masterOrder.size()) - 1))];
        if (!pick(0, 3)) {
            std::erase_if(version.m_responses, [&](const CResp& r) { return r.m_id == doomed; });
            version.m_responses.push_back({doomed, "", "", "", true});
        }
        inputs.insert(inputs.begin() + pick(0, int(inputs.size())), version);
        masterOrder.push_back(own);
        mastersAgree = false;
    }

    std::vector<std::string> known = masterOrder;
    known.push_back("");
    std::int64_t time = 3000;
    for (int p = 0, plugins = pick(1, 3); p < plugins; ++p) {
        auto any = [&] { return known[std::size_t(pick(0, int(known.size()) - 1))]; };
        const std::string own = "p" + std::to_string(p) + ".";
        CInput plugin{{}, time += pick(0, 1), true};
        for (int k = pick(0, 4); k > 0; --k) {
            const std::string id = own + std::to_string(k);
            std::string prev = any(), next = any();
            const std::size_t at = std::size_t(pick(0, int(chain.size()) - 1));
            if (at + 1 < chain.size() && pick(0, 1)) {
                // Between two master neighbours, named in order or in reverse.
                prev = chain[at + (pick(0, 1) ? 1 : 0)];
                next = chain[at + 1] == prev ? chain[at] : chain[at + 1];
            } else if (!pick(0, 3)) {
                prev = "nowhere";
            }
            plugin.m_responses.push_back({id, prev, next, "P"});
            known.push_back(id);
        }
        const std::string texts[] = {"M", "P", "c" + std::to_string(p)};
        for (const std::string& id : known) {
            if (id.empty() || pick(0, 2) || id.rfind(own, 0) == 0) continue;
            std::string prev = any(), next = any();
            const auto at = std::size_t(std::find(masterOrder.begin(), masterOrder.end(), id) - masterOrder.begin());
            if (at < masterOrder.size() && pick(0, 1)) {
                // A master response linked past its next one, or swapped with it.
                prev = at ? masterOrder[at - 1] : "";
                next = at + 2 < masterOrder.size() ? masterOrder[at + 2] : "";
                if (at + 1 < masterOrder.size() && pick(0, 1)) prev = masterOrder[at + 1];
            }
            plugin.m_responses.push_back({id, prev, next, texts[pick(0, 2)]});
        }
        const std::string doomed = any();
        if (!doomed.empty() && !pick(0, 2)) {
            std::erase_if(plugin.m_responses, [&](const CResp& r) { return r.m_id == doomed; });
            plugin.m_responses.push_back({doomed, "", "", "", true});
        }
        std::shuffle(plugin.m_responses.begin(), plugin.m_responses.end(), rng);
        inputs.push_back(std::move(plugin));
    }
    return inputs;
}

// What the merge must make of a topic, from its inputs alone: each live
// response's text, each live plugin response's previous, the conflicts asked.
struct CModel {
    std::map<std::string, std::string> m_text, m_prev;
    long m_conflicts = 0;
};

// Masters oldest first, then plugins in the order read: the last word on an
// id is the newest.
std::vector<const CInput*> ByAge(const std::vector<CInput>& inputs) {
    std::vector<const CInput*> sorted;
    for (const CInput& in : inputs) sorted.push_back(&in);
    std::stable_sort(sorted.begin(), sorted.end(), [](const CInput* a, const CInput* b) {
        return std::pair(a->m_plugin, a->m_plugin ? 0 : a->m_time) < std::pair(b->m_plugin, b->m_plugin ? 0 : b->m_time);
    });
    return sorted;
}

CModel Expect(const std::vector<CInput>& inputs, const std::vector<std::string>& masterOrder) {
    CModel model;
    std::map<std::string, long> conflicts;
    std::set<std::string> deleted;
    bool anyPlugin = false;
    for (const CInput* in : ByAge(inputs))
        for (const CResp& r : in->m_responses) {
            anyPlugin = anyPlugin || in->m_plugin;
            if (r.m_deleted) {
                deleted.insert(r.m_id);
                continue;
            }
            deleted.erase(r.m_id);
            auto [text, added] = model.m_text.try_emplace(r.m_id, r.m_text);
            if (std::count(masterOrder.begin(), masterOrder.end(), r.m_id)) {
                // The master's place and links stay; the last copy read gives the data.
                text->second = r.m_text;
            } else if (added || text->second != r.m_text) {
                // A copy that differs from the one kept is asked about, and being newer it stays.
                conflicts[r.m_id] += added ? 0 : 1;
                text->second = r.m_text;
                model.m_prev[r.m_id] = r.m_prev;
            }
        }
    for (const std::string& id : deleted) {
        model.m_text.erase(id);
        model.m_prev.erase(id);
    }
    for (const auto& [id, n] : conflicts) model.m_conflicts += model.m_text.count(id) ? n : 0;
    // Without a plugin response the masters' chain stands: the topic is written empty.
    if (!anyPlugin) model.m_text.clear();
    return model;
}

}  // namespace

// What lies between and inside the records is read as the game reads it;
// the repair plugin's header and the question about the missing master.
TEST(DialogMergeTest, RecordsAreReadAsTheGameWritesThem) {
    CGameFolder game;
    CPluginBuilder p;
    p.Header({"Morrowind.esm"});
    const std::size_t garbageAt = p.Size();
    p.Raw("\x01\x02garbageIN"s);
    p.Record("INFO", InfoSubs(Id("early"), Id(""), Id(""), "E"));  // before any topic: it belongs nowhere
    p.Record("DIAL", DialSubs("T"));
    p.Raw("\0\0\x7f"s);
    p.Record("INFO", InfoSubs(Id("a"), Id(""), Id("b"), "A"));
    // Records of other kinds are passed over whole, even a start script holding a response.
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
    std::string topics;
    for (const auto& t : back.m_topics) topics += t.m_name + t.m_rest + "|";
    const std::string none = SubBytes(Sub("DATA", "\0"s)), two = SubBytes(Sub("DATA", "\x02"s));
    EXPECT_EQ(topics, Id("T") + none + "|" + Id("lonely topic") + two + "|" + Id("t") + none + "|");
    EXPECT_EQ(back.Chains(), (std::map<std::string, std::string>{
                                 {"T", "a=A b=B"}, {"lonely topic", ""}, {"t", "1234567890=first ABC=second"}}));
    ASSERT_EQ(back.m_topics.size(), 3u);
    const auto& raw = back.m_topics[2].m_infos;
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].m_inam + "|" + raw[0].m_pnam + "|" + raw[0].m_nnam, "1234567890\0|\0|ABC"s);
    EXPECT_EQ(raw[1].m_inam + "|" + raw[1].m_pnam + "|" + raw[1].m_nnam, "ABC|1234567890\0|\0"s);

    // The header: 362 bytes naming Morrowind.esm, the true record count.
    std::string hedr =
        std::string("\x9A\x99\x99\x3F", 4) + I32(0) + Fixed("VANTOR Dialog Merge File", 32) + Fixed("", 256) + I32(7);
    std::string want = "TES3"s + I32(346) + I32(0) + I32(0) + SubBytes(Sub("HEDR", hedr)) +
                       SubBytes(Sub("MAST", Id("Morrowind.esm"))) + SubBytes(Sub("DATA", I32(79837557) + I32(0)));
    EXPECT_EQ(back.m_header, want);
    // The damage, once for the file, at the first place met; then the missing
    // master's question, whose words are held by the runs that end early.
    ASSERT_EQ(game.m_link.Messages().size(), 2u);
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "Warning");
    EXPECT_EQ(game.m_link.Messages()[0].m_text,
              "P.esp: bytes that are no record were passed over at offset " + std::to_string(garbageAt) +
                  "; the dialogue after it may be incomplete");
    EXPECT_EQ(game.m_link.Messages()[1].m_buttons, texts::EButtons::YesNo);
    EXPECT_EQ(game.m_link.Messages()[1].m_icon, texts::EIcon::Question);
    EXPECT_TRUE(NoLeftovers(game.m_data));
}

// A plugin's deletion of a master response counts wherever its DELE stands
// before the ids or as the last subrecord, as the plugin reader takes it;
// one in the middle of the data after them is no deletion. A topic with
// DELE before its name is gone, responses and all.
TEST(DialogMergeTest, ADeletionCountsBeforeTheIdsOrLast) {
    CPluginBuilder master;
    AddTopic(master.Header(), "T", {{"m1", "", "m2", "M"}, {"m2", "m1", "m3", "M"}, {"m3", "m2", "", "M"}});
    const CSub inam = Sub("INAM", Id("m2")), pnam = Sub("PNAM", Id("m1")), nnam = Sub("NNAM", Id("m3"));
    const CSub text = Sub("NAME", "P");
    const std::pair<std::vector<CSub>, std::string> cases[] = {
        {{Dele(), inam, pnam, nnam, text}, "m1=M m3=M"},
        {{inam, Dele(), pnam, nnam, text}, "m1=M m3=M"},
        {{inam, pnam, Dele(), nnam, text}, "m1=M m3=M"},
        {{inam, pnam, nnam, text, Dele()}, "m1=M m3=M"},
        {{inam, pnam, nnam, Dele(), text}, "m1=M m2=P m3=M"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& [subs, chain] = cases[k];
        SCOPED_TRACE("case " + std::to_string(k));
        CPluginBuilder plugin;
        plugin.Header().Record("DIAL", DialSubs("T")).Record("INFO", subs);
        plugin.Record("DIAL", {Dele(), Name("U"), Sub("DATA", "\0"s)}).Record("INFO", InfoSubs(Id("u"), Id(""), Id(""), "U"));
        CScriptedLink link;
        CDialogMerge merge(link);
        const std::atomic<std::int32_t> stop{0};
        merge.ReadDialogFile(stop, plugin.Bytes(), {0, 2}, true);
        merge.ReadDialogFile(stop, master.Bytes(), {0, 1}, false);
        ASSERT_EQ(merge.Merge(stop), 1);
        ASSERT_EQ(merge.Topics().size(), 1u);
        std::string got;
        for (const CInfoRecord& i : merge.Topics()[0].m_chain)
            got += (got.empty() ? "" : " ") + std::string(UpToNul(i.m_inam)) + "=" + TextOf(i.m_rest);
        EXPECT_EQ(got, chain);
    }
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
    ASSERT_TRUE(CPluginBuilder().Raw("MZ\x90\x00 not a plugin at all").Write(game.m_data + "Broken.esp"));
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
    const std::string conflict = "ask Conflict Found|Conflicting Dialog Found. Ignore and Continue?";
    // The system's own words for a folder that is not there.
    platform::CFile probe;
    EXPECT_FALSE(probe.CreateUnique(game.m_data + "no such folder/", 0644));
    const std::string noFolder = platform::LastErrorMessage();
    const CCase cases[] = {
        {out, {EAnswer::No}, {}, "", "", EOutcome::Declined, kMasterQuestion},
        {out, {EAnswer::Yes, EAnswer::No}, {}, "", "", EOutcome::Declined, conflict, {"P.esp", "Q.esp"}},
        {out, {}, EOp::Write, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::ShortWrite, "", "", EOutcome::WriteFailed, "ask VANTOR|Could not update this Entry."},
        {out, {}, EOp::Sync, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::Move, "", "", EOutcome::WriteFailed, io},
        {out, {}, EOp::Open, "P.esp", "", EOutcome::OpenFailed, "ask Error|Could not Open P.esp"},
        // Its time cannot be read: it may be gone already.
        {out, {}, EOp::Stat, "P.esp", "", EOutcome::OpenFailed, "ask Error|Could not Open P.esp"},
        // A file that is no plugin is refused by name, not searched for dialogue.
        {out, {}, {}, "", "", EOutcome::OpenFailed,
         "ask Error|Broken.esp: not a TES3 plugin or master: it does not begin with a TES3 header record",
         {"P.esp", "Broken.esp"}},
        {"P.esp", {}, {}, "", "", EOutcome::Refused, taken},
        {"p.ESP", {}, {}, "", "", EOutcome::Refused, taken},
        {"", {}, {}, "", "", EOutcome::Refused, "ask Cannot Complete Request|No Repair Plugin Named"},
        {"no such folder/Repair.esp", {}, {}, "", "", EOutcome::Refused,
         "ask Error|Could not Create Repair.esp\n" + noFolder},
        {out, {}, {}, "", "Extracting Esp Dialog", EOutcome::Stopped, "progress 1|Extracting Esp Dialog 0% complete"},
        {out, {}, {}, "", "Extracting Esm Dialog", EOutcome::Stopped, "progress 0|Extracting Esm Dialog 0% complete"},
        {out, {}, {}, "", "Creating Repair Plugin 0", EOutcome::Stopped,
         "progress 2|Creating Repair Plugin 0% complete"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_lastCall);
        ASSERT_TRUE(CPluginBuilder().Raw(old).Write(game.m_data + "Repair.esp"));
        CStoppingLink link;
        if (!c.m_stopAt.empty()) link.m_prefix = c.m_stopAt;
        link.m_answers = c.m_answers;
        {
            const CFaultGuard guard([&c](EOp op, const std::string& path) {
                return c.m_fail && op == *c.m_fail && path.find(c.m_failOn) != std::string::npos;
            });
            EXPECT_EQ(Merge(game, link, c.m_plugins, {}, c.m_output, link.m_stop), c.m_outcome);
        }
        const auto calls = link.Calls();
        ASSERT_FALSE(calls.empty());
        // once stopped, nothing more is shown; a conflict names its topic,
        // response and the two plugins after the question
        EXPECT_EQ(calls.back().substr(0, c.m_lastCall.size()), c.m_lastCall);
        if (c.m_lastCall == conflict) {
            for (const char* named : {"\n\nTopic: ", "\nResponse ", "In P.esp and Q.esp", "keeps the copy of Q.esp"})
                EXPECT_NE(calls.back().find(named), std::string::npos) << named;
        }
        EXPECT_TRUE(c.m_outcome != EOutcome::Refused || calls.size() == 1u);  // refused before reading
        EXPECT_EQ(game.Read("Repair.esp"), old);
        EXPECT_EQ(game.Read("P.esp"), input);
        EXPECT_TRUE(NoLeftovers(game.m_data));
    }

    // A plugin cut inside a response is merged as far as it goes, and says so.
    ASSERT_TRUE(CPluginBuilder().Raw(input.substr(0, input.size() - 3)).Write(game.m_data + "Cut.esp"));
    CStoppingLink link;
    link.m_answers = {EAnswer::Yes};
    EXPECT_EQ(Merge(game, link, {"Cut.esp"}, {}), EOutcome::Written);
    const auto calls = link.Calls();
    EXPECT_EQ(std::ranges::count_if(calls, [](const std::string& c) {
                  return c.starts_with("ask Warning|Cut.esp: the file ends inside its INFO record at offset ") &&
                         c.ends_with("; the dialogue after it may be incomplete");
              }),
              1);
}

// Random topics linked as real load orders link them (in order, in reverse,
// to nowhere, in loops): every live response is in the chain once with the
// winning text; masters' responses keep their order; a response stands behind
// its previous with only that one's followers between; orphans follow the
// masters' responses, loops come last; each PNAM and NNAM names its neighbour.
TEST(DialogMergeProperty, EveryLiveResponseIsInItsChainOnceBetweenTheNeighboursItsLinksName) {
    for (unsigned seed = 1; seed <= 3000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::vector<std::string> masterOrder;
        bool mastersAgree = true;
        const std::vector<CInput> inputs = RandomTopic(rng, masterOrder, mastersAgree);
        CScriptedLink link;
        CDialogMerge merge(link);
        std::atomic<std::int32_t> stop{0};
        // Plugins are read before masters, as Run does.
        for (bool plugins : {true, false})
            for (const CInput& in : inputs) {
                if (in.m_plugin != plugins) continue;
                CPluginBuilder b;
                b.Header();
                AddTopic(b, "T", in.m_responses);
                merge.ReadDialogFile(stop, b.Bytes(), {0, in.m_time}, in.m_plugin);
            }
        ASSERT_EQ(merge.Merge(stop), 1);
        ASSERT_EQ(merge.Topics().size(), 1u);
        const CModel model = Expect(inputs, masterOrder);
        auto dump = [&] {
            std::string d;
            for (const CInput& in : inputs) {
                d += (in.m_plugin ? "plugin " : "master ") + std::to_string(in.m_time) + ":";
                for (const CResp& r : in.m_responses)
                    d += " " + r.m_id + (r.m_deleted ? "(DEL)" : "(" + r.m_prev + "<>" + r.m_next + " " + r.m_text + ")");
                d += "\n";
            }
            std::string c;
            for (const auto& i : merge.Topics()[0].m_chain) c += " " + std::string(UpToNul(i.m_inam)) + "=" + TextOf(i.m_rest);
            return d + "chain:" + c;
        };
        SCOPED_TRACE(dump());
        ASSERT_EQ(std::ranges::count_if(link.Calls(),
                                        [](const std::string& call) {
                                            return call.starts_with("ask Conflict Found|Conflicting Dialog Found.");
                                        }),
                  model.m_conflicts);
        // Each question names the response, its two files, and shows the
        // start of the kept copy's text.
        for (const CQuestion& asked : link.Questions()) {
            const auto* q = std::get_if<CConflictingDialogueQuestion>(&asked);
            ASSERT_TRUE(q && q->m_plugins.size() == 2);
            EXPECT_TRUE(std::ranges::any_of(inputs, [&](const CInput& in) {
                return std::ranges::any_of(in.m_responses, [&](const CResp& r) {
                    const std::string start = r.m_text.size() > 60 ? r.m_text.substr(0, 60) + "..." : r.m_text;
                    return r.m_id == q->m_response && start == q->m_text;
                });
            })) << q->m_response << ": " << q->m_text;
        }

        const auto& chain = merge.Topics()[0].m_chain;
        std::vector<std::string> ids, masters;
        std::map<std::string, std::string> texts;
        std::map<std::string, std::size_t> at;
        for (std::size_t k = 0; k < chain.size(); ++k) {
            ids.emplace_back(UpToNul(chain[k].m_inam));
            ASSERT_TRUE(texts.emplace(ids[k], TextOf(chain[k].m_rest)).second) << ids[k] << " twice";
            at[ids[k]] = k;
            if (!model.m_prev.count(ids[k])) masters.push_back(ids[k]);
        }
        ASSERT_TRUE(ChainConsistent(chain));
        ASSERT_EQ(texts, model.m_text);
        std::vector<std::string> liveMasters = masterOrder;
        std::erase_if(liveMasters, [&](const std::string& id) { return !texts.count(id); });
        // Masters that disagree have no one order to keep.
        if (mastersAgree) {
            ASSERT_EQ(masters, liveMasters);
        }

        // A deleted master response as previous stands for the live one before
        // it: by the masters' order where they agree, else by the previous the
        // newest live master copy names. `anchor` walks up to what a chain
        // hangs from, or "loop".
        std::map<std::string, std::string> masterPrev;
        for (const CInput* in : ByAge(inputs))
            for (const CResp& r : in->m_responses)
                if (!in->m_plugin && !r.m_deleted) masterPrev[r.m_id] = r.m_prev;
        auto previous = [&](const std::string& id) {
            std::string prev = model.m_prev.at(id);
            std::size_t i = std::size_t(std::find(masterOrder.begin(), masterOrder.end(), prev) - masterOrder.begin());
            if (i == masterOrder.size() || at.count(prev)) return prev;
            if (!mastersAgree) {
                for (std::size_t steps = 0; !prev.empty() && !at.count(prev) && masterPrev.count(prev); ++steps)
                    prev = steps > masterPrev.size() ? "" : masterPrev[prev];
                return prev;
            }
            while (!at.count(masterOrder[i]))
                if (i-- == 0) return std::string();
            return masterOrder[i];
        };
        auto anchor = [&](std::string id, const std::string& stopAt) {
            for (std::size_t steps = 0; model.m_prev.count(id) && id != stopAt; id = previous(id))
                if (++steps > model.m_prev.size()) return std::string("loop");
            return id;
        };
        const std::size_t firstMaster = masters.empty() ? chain.size() : at[masters.front()];
        const std::size_t lastMaster = masters.empty() ? 0 : at[masters.back()];
        std::size_t lastAnchored = lastMaster;
        for (const auto& [id, ignored] : model.m_prev) {
            const std::string prev = previous(id);
            if (anchor(id, "") == "loop") continue;
            lastAnchored = std::max(lastAnchored, at[id]);
            if (prev.empty()) {
                EXPECT_LT(at[id], firstMaster) << id << " starts a chain";
            } else if (!at.count(prev)) {
                EXPECT_TRUE(masters.empty() || at[id] > lastMaster) << id << "'s previous is nowhere";
            } else {
                ASSERT_LT(at[prev], at[id]) << id;
                for (std::size_t k = at[prev] + 1; k < at[id]; ++k)
                    ASSERT_EQ(anchor(ids[k], prev), prev)
                        << ids[k] << " between " << prev << " and its follower " << id;
            }
        }
        for (const auto& [id, ignored] : model.m_prev)
            EXPECT_TRUE(anchor(id, "") != "loop" || at[id] > lastAnchored) << id << " hangs in a loop";
    }
}

// Real plugins sharing topics merge into a repair plugin that reads back
// strictly, each chain consistent and holding every response once.
TEST(DialogCorpus, SharedTopicsMergeIntoConsistentChains) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> sets{  // plugins, masters
        {{"Data Files__fm_dialogue.esp", "Data Files__Clean_fm_dialogue.esp", "Data Files__fm_dialogue_final.ESP"},
         {"00 Core__OAAB_Data.esm"}},
        {{"The Blight.ESP", "The Blight_ServiceRefusal.ESP", "Flin__flin.ESP"}, {}},
        {{"Data Files__Chargen Scenarios - quests.ESP", "tests__assets__esp__test.esp"}, {"00 Core__OAAB_Data.esm"}},
    };
    for (const auto& [plugins, masters] : sets) {
        SCOPED_TRACE(plugins[0]);
        CTempDir out;
        CScriptedLink link;  // every question answered Yes
        CDialogMerge merge(link);
        for (bool plugin : {true, false})
            for (const auto& name : plugin ? plugins : masters) {
                const auto path = std::ranges::find_if(files, [&](const std::string& f) { return f.ends_with(name); });
                ASSERT_NE(path, files.end()) << name;
                if (plugin) merge.AddPlugin(platform::FileNameOf(*path), platform::FolderOf(*path));
                else merge.AddMaster(platform::FileNameOf(*path), platform::FolderOf(*path));
            }
        merge.SetOutputPath(out / "Repair.esp");
        ASSERT_EQ(merge.Run(std::atomic<std::int32_t>{0}), 1);
        const CRepairBack back = ReadRepair(out / "Repair.esp");
        ASSERT_TRUE(back.m_ok);
        EXPECT_GT(back.m_records, back.m_topics.size());
        back.Chains();  // fails on a chain with a wrong link or a response written twice
    }
}


