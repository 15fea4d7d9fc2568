// The dialogue merge over random topics whose files link their responses the
// way real load orders do: in order, in reverse, past each other, to ids that
// are nowhere. Whatever the links say, every response that no input deletes
// is in its topic's chain exactly once, and each PNAM and NNAM names the
// neighbour it is written beside.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// One topic: a master chain, now and then a newer master that inserts a
// response and relinks its neighbours, and one to three plugins that add
// responses linked anyhow, carry relinked or changed copies of responses
// they know (a conflict is answered Yes), and delete master responses for
// good. `expected` gets the ids that must be in the merged chain.
std::vector<CInput> RandomTopic(std::mt19937& rng, std::set<std::string>& expected) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::string> chain;
    for (int k = pick(1, 6); k > 0; --k) chain.push_back("m" + std::to_string(k));
    std::vector<CInput> inputs{{{}, 1000, false}};
    for (std::size_t i = 0; i < chain.size(); ++i)
        inputs[0].m_responses.push_back(
            {chain[i], i ? chain[i - 1] : "", i + 1 < chain.size() ? chain[i + 1] : "", "M"});
    expected.insert(chain.begin(), chain.end());
    if (chain.size() >= 2 && pick(0, 1)) {
        const std::size_t at = std::size_t(pick(0, int(chain.size()) - 2));
        inputs.push_back({{{chain[at], at ? chain[at - 1] : "", "n", "M"},
                           {"n", chain[at], chain[at + 1], "N"},
                           {chain[at + 1], "n", at + 2 < chain.size() ? chain[at + 2] : "", "M"}},
                          2000,
                          false});
        expected.insert("n");
    }

    std::vector<std::string> known = chain;
    known.push_back("");
    std::set<std::string> deleted;
    bool anyResponse = false;
    for (int p = 0, plugins = pick(1, 3); p < plugins; ++p) {
        auto any = [&] { return known[std::size_t(pick(0, int(known.size()) - 1))]; };
        CInput plugin{{}, 3000 + p, true};
        for (int k = pick(0, 4); k > 0; --k) {
            const std::string id = "p" + std::to_string(p) + "." + std::to_string(k);
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
            expected.insert(id);
            known.push_back(id);
        }
        for (const std::string& id : known)
            if (!id.empty() && !deleted.count(id) && !pick(0, 2) && id.rfind("p" + std::to_string(p) + ".", 0) != 0)
                plugin.m_responses.push_back({id, any(), any(), pick(0, 1) ? "changed" : "M"});
        const std::string& doomed = chain[std::size_t(pick(0, int(chain.size()) - 1))];
        if (!pick(0, 3) && !deleted.count(doomed)) {
            std::erase_if(plugin.m_responses, [&](const CResp& r) { return r.m_id == doomed; });
            plugin.m_responses.push_back({doomed, "", "", "", true});
            deleted.insert(doomed);
            expected.erase(doomed);
        }
        std::shuffle(plugin.m_responses.begin(), plugin.m_responses.end(), rng);
        anyResponse = anyResponse || !plugin.m_responses.empty();
        inputs.push_back(std::move(plugin));
    }
    // Plugins that hold the topic without a response of their own leave the
    // masters' chain in effect: the merge writes the topic with none.
    if (!anyResponse) expected.clear();
    return inputs;
}

}  // namespace

TEST(DialogMergeProperty, EveryLiveResponseIsInItsChainOnceBetweenTheNeighboursItsLinksName) {
    for (unsigned seed = 1; seed <= 3000; ++seed) {
        std::mt19937 rng(seed);
        std::set<std::string> expected;
        const std::vector<CInput> inputs = RandomTopic(rng, expected);
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
        ASSERT_EQ(merge.Merge(stop), 1) << "seed " << seed;
        ASSERT_EQ(merge.Topics().size(), 1u);

        const auto& chain = merge.Topics()[0].m_chain;
        std::multiset<std::string> ids;
        for (std::size_t k = 0; k < chain.size(); ++k) {
            ids.insert(std::string(UpToNul(chain[k].m_inam)));
            ASSERT_EQ(chain[k].m_pnam, k ? chain[k - 1].m_inam : Id("")) << "seed " << seed << " #" << k;
            ASSERT_EQ(chain[k].m_nnam, k + 1 < chain.size() ? chain[k + 1].m_inam : Id("")) << "seed " << seed << " #" << k;
        }
        ASSERT_EQ(ids, std::multiset<std::string>(expected.begin(), expected.end())) << "seed " << seed;
    }
}
