// The dialogue merge over random topics whose files link their responses the
// way real load orders do: in order, in reverse, past each other, to ids that
// are nowhere, in loops. Whatever the links say, every response whose newest
// word is no deletion is in its topic's chain exactly once, with the text of
// the copy that wins; the masters' responses keep their order; a response
// stands behind its previous with only that one's followers between, those
// whose previous is gone or nowhere after the masters' responses and those
// hanging in a loop last; and each PNAM and NNAM names its neighbour.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <set>

#include "DialogKit.h"
#include "dialogrepair/DialogMerge.h"
#include "fixtures/ScriptedLink.h"
#include "format/Entry.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

struct CInput {
    std::vector<CResp> m_responses;
    std::int64_t m_time;
    bool m_plugin;
};

// One topic: a master chain (its order into `masterOrder`); now and then a
// newer master, or one as old read after it, that inserts a response,
// changes and relinks its neighbours and may delete another; and one to
// three plugins, each as old as or newer than the one before, that add
// responses linked anyhow, carry relinked or changed copies of responses
// they know (a conflict is answered Yes), delete responses, and give
// deleted ones back.
std::vector<CInput> RandomTopic(std::mt19937& rng, std::vector<std::string>& masterOrder) {
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
        if (gone != chain[at] && gone != chain[at + 1] && pick(0, 1)) newer.m_responses.push_back({gone, "", "", "", true});
        inputs.insert(newer.m_time > 1000 && pick(0, 1) ? inputs.begin() : inputs.end(), newer);
        masterOrder.insert(masterOrder.begin() + std::ptrdiff_t(at) + 1, "n");
    }

    std::vector<std::string> known = chain;
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
        for (const std::string& id : known)
            if (!id.empty() && !pick(0, 2) && id.rfind(own, 0) != 0)
                plugin.m_responses.push_back({id, any(), any(), texts[pick(0, 2)]});
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

// What the merge must make of a topic, worked out from its inputs alone: the
// text of each live response, the previous of each live plugin response,
// and how many conflicts are asked about.
struct CModel {
    std::map<std::string, std::string> m_text, m_prev;
    long m_conflicts = 0;
};

CModel Expect(std::vector<CInput> inputs, const std::vector<std::string>& masterOrder) {
    CModel model;
    std::map<std::string, std::int64_t> time;  // of the plugin copy that wins
    std::map<std::string, long> conflicts;
    std::set<std::string> deleted;
    bool anyPlugin = false;
    // Masters first, oldest first, those of one age in reading order; plugins
    // are as old as or newer than those read before them. So the last word
    // on an id is the newest.
    std::stable_sort(inputs.begin(), inputs.end(), [](const CInput& a, const CInput& b) {
        return std::pair(a.m_plugin, a.m_plugin ? 0 : a.m_time) < std::pair(b.m_plugin, b.m_plugin ? 0 : b.m_time);
    });
    for (const CInput& in : inputs)
        for (const CResp& r : in.m_responses) {
            anyPlugin = anyPlugin || in.m_plugin;
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
                if (!added) ++conflicts[r.m_id];
                if (added || in.m_time >= time[r.m_id]) {
                    text->second = r.m_text;
                    model.m_prev[r.m_id] = r.m_prev;
                    time[r.m_id] = in.m_time;
                }
            }
        }
    for (const std::string& id : deleted) {
        model.m_text.erase(id);
        model.m_prev.erase(id);
    }
    for (const auto& [id, n] : conflicts) model.m_conflicts += model.m_text.count(id) ? n : 0;
    // Plugins that hold the topic without a response of their own leave the
    // masters' chain in effect: the merge writes the topic with none.
    if (!anyPlugin) model.m_text.clear();
    return model;
}

}  // namespace

TEST(DialogMergeProperty, EveryLiveResponseIsInItsChainOnceBetweenTheNeighboursItsLinksName) {
    for (unsigned seed = 1; seed <= 3000; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::vector<std::string> masterOrder;
        const std::vector<CInput> inputs = RandomTopic(rng, masterOrder);
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
        const auto calls = link.Calls();
        ASSERT_EQ(std::count(calls.begin(), calls.end(), "ask Conflict Found|Conflicting Dialog Found. Ignore and Continue?"),
                  model.m_conflicts);

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
        ASSERT_EQ(masters, liveMasters);

        // A previous that names a deleted master response stands for the
        // live one before it. `Anchor` walks up the previous of the plugin
        // responses to what their chain hangs from: a master's response, "",
        // an id that is nowhere; or "loop" when they hang in a loop.
        auto previous = [&](const std::string& id) {
            const std::string& prev = model.m_prev.at(id);
            std::size_t i = std::size_t(std::find(masterOrder.begin(), masterOrder.end(), prev) - masterOrder.begin());
            if (i == masterOrder.size()) return prev;
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
                    ASSERT_EQ(anchor(ids[k], prev), prev) << ids[k] << " between " << prev << " and its follower " << id;
            }
        }
        for (const auto& [id, ignored] : model.m_prev)
            EXPECT_TRUE(anchor(id, "") != "loop" || at[id] > lastAnchored) << id << " hangs in a loop";
    }
}
