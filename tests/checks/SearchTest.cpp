// The object search: matching rules, rows, progress and the find operation,
// checked against a window-by-window reference of the matching.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "checks/CheckFixture.h"
#include "checks/ReferenceChecker.h"
#include "checks/Search.h"
#include "checks/SearchFixture.h"
#include "fixtures/ScriptedLink.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// Lower-casing written out letter by letter, independent of the table.
unsigned char RefLower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return c;
    }
}

std::string RefLowerText(std::string s) {
    for (char& c : s) c = static_cast<char>(RefLower(static_cast<unsigned char>(c)));
    return s;
}

// The plain way: every window copied out, lowered when case is ignored, and
// compared with the text as zero-terminated strings.
bool RefOccurs(std::string_view bytes, const std::string& findText, bool matchCase) {
    std::string text = findText.c_str();
    if (!matchCase) text = RefLowerText(text);
    const std::size_t n = text.size();
    if (bytes.size() < n) return false;
    for (std::size_t i = 0; i + n <= bytes.size(); ++i) {
        std::string window(bytes.substr(i, n));
        if (!matchCase) window = RefLowerText(window);
        if (std::strcmp(window.c_str(), text.c_str()) == 0) return true;
    }
    return false;
}

bool RefEquals(std::string_view bytes, const std::string& findText, bool matchCase) {
    std::string text = findText.c_str();
    std::string id(bytes);
    if (!matchCase) {
        text = RefLowerText(text);
        id = RefLowerText(id);
    }
    return std::strcmp(id.c_str(), text.c_str()) == 0;
}

// The search procedure as nested loops over the reference matching.
CTextRows RefSearch(CReferenceChecker& reference, const std::vector<CPluginFile*>& files,
                                  const std::string& text, bool matchCase, bool wholeWord, bool lookInData,
                                  bool masters) {
    CTextRows rows;
    for (CPluginFile* file : files) {
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            for (const auto& e : file->Table(t)) {
                const bool name = wholeWord ? RefEquals(e->IdText(), text, matchCase)
                                            : RefOccurs(e->IdText(), text, matchCase);
                const bool data = lookInData && RefOccurs(e->Data(), text, matchCase);
                const bool tagged = lookInData && !name && !data && RefOccurs(tag, text, matchCase);
                if (!name && !data && !tagged) continue;
                CTextRow row{tag, ReferenceDescription(tag), std::string(e->IdText()), "None", "None"};
                if (masters) {
                    if (!file->FileName().empty()) row[4] = file->FileName();
                } else {
                    row[3] = file->FileName();
                    row[4] = reference.FindOriginalFile(kRunning, e->IdText(), tag);
                }
                rows.push_back(row);
            }
        }
    }
    return rows;
}

std::vector<std::string> Names(const CTextRows& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r[2]);
    return names;
}

// Two masters and a plugin with the shapes the rules care about.
struct CSearchSet {
    CLoadOrder m_order;
    CPluginFile* m_old = nullptr;
    CPluginFile* m_new = nullptr;
    CPluginFile* m_plugin = nullptr;

    CSearchSet() {
        CPluginBuilder oldMaster;
        oldMaster.Header()
            .Record("MISC", Named("Gold_001", "gold"))
            .Record("MISC", Named("Old_Only", "relic"))
            .Record("NPC_", Named("fargoth", "Fargoth"));
        m_old = &m_order.Add("Old.esm", oldMaster, 1000);
        CPluginBuilder newMaster;
        newMaster.Header().Record("MISC", Named("Gold_001", "shiny gold"));
        m_new = &m_order.Add("New.esm", newMaster, 2000);

        CPluginBuilder plugin;
        plugin.Header({"Old.esm"})
            .Record("NPC_", Named("fargoth", "Hello World"))
            .Record("NPC_", Named("fargoth_ring_holder", "Nobody"))
            .Record("MISC", Named("Gold_001", "more gold"))
            .Record("MISC", Named("Old_Only", "relic"))
            .Record("MISC", {Name("zero_window"), Sub("FNAM", std::string("xAB\0Cx", 6))})
            .Record("ACTI", Named("\xC9P\xC9" "E_Sword", "blade"))
            .Record("SKIL", {Sub("INDX", I32(5)), Sub("DATA", I32(0))})
            .Record("LAND", Land(1, 2, "vh"));
        m_plugin = &m_order.Add("Mod.esp", plugin, 3000);
    }

    // The engine as the find operation fills it: plugins, then masters in
    // the order they were read.
    void Fill(CPluginChecker& engine) const {
        engine.AddPlugin(*m_plugin);
        engine.AddMaster(*m_old);
        engine.AddMaster(*m_new);
    }

    CTextRows Find(const std::string& text, bool matchCase, bool wholeWord, bool lookInData, bool masters = false) const {
        CPluginChecker engine;
        Fill(engine);
        return TextsOf(Search(engine, nullptr, kRunning, text, matchCase, wholeWord, lookInData, masters), engine.Files());
    }
};

}  // namespace

TEST(TextMatcher, AgreesWithTheWindowByWindowReferenceOnRandomBytes) {
    // Letters in both cases, bytes with and without a capital, and zeros.
    const std::string alphabet("aAbB_\0\xC0\xE0\x8A\x9A\x9F\xFF\xD7\xF7\xDF" "1", 16);
    std::mt19937 random(12345);
    auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        for (std::size_t i = 0, n = pick(40); i < n; ++i) bytes.push_back(alphabet[pick(alphabet.size())]);
        std::string text;
        if (!bytes.empty() && pick(2)) {
            // Mostly texts that are there, in a changed case now and then.
            const std::size_t start = pick(bytes.size());
            text = bytes.substr(start, pick(6));
            for (char& c : text)
                if (pick(2)) c = static_cast<char>(RefLower(static_cast<unsigned char>(c)));
        } else {
            for (std::size_t i = 0, n = pick(5); i < n; ++i) text.push_back(alphabet[pick(alphabet.size())]);
        }
        for (bool matchCase : {false, true}) {
            const CTextMatcher matcher(text, matchCase);
            ASSERT_EQ(matcher.Occurs(bytes), RefOccurs(bytes, text, matchCase))
                << "round " << round << " match case " << matchCase;
            const std::string id(UpToNul(bytes));
            ASSERT_EQ(matcher.Equals(id), RefEquals(id, text, matchCase)) << "round " << round;
        }
    }
}

TEST(Search, AgreesWithTheReference) {
    // Names that begin, contain, end or equal the text; formatted IDs; folded
    // accented letters; data windows over a zero byte; tags; nothing at all.
    const CSearchSet set;
    CReferenceChecker reference;
    reference.AddMaster(*set.m_old);
    reference.AddMaster(*set.m_new);
    const std::vector<CPluginFile*> plugins{set.m_plugin}, masters{set.m_old, set.m_new};
    for (const std::string& text : std::vector<std::string>{"FARGOTH", "holder", "_001", ",2", "x 5", "gold_001", "\xE9p\xE9" "e", "world", "xab",
                                   "abc", "npc", "KIL", "SKILL", "a", "", std::string(200, 'a')}) {
        for (int options = 0; options < 16; ++options) {
            const bool matchCase = options & 1, wholeWord = options & 2, lookInData = options & 4, inMasters = options & 8;
            EXPECT_EQ(set.Find(text, matchCase, wholeWord, lookInData, inMasters),
                      RefSearch(reference, inMasters ? masters : plugins, text, matchCase, wholeWord, lookInData, inMasters))
                << "text " << text << " options " << options;
        }
    }
    // Name, data and tag all match: still one row.
    EXPECT_EQ(Names(set.Find("a", false, false, true)).size(), set.m_plugin->EntryCount());
    EXPECT_EQ(Names(set.Find("FARGOTH", false, true, false)), (std::vector<std::string>{"fargoth"}));
}

TEST(Search, ProgressAndStop) {
    CSearchSet set;
    CScriptedLink link;
    CPluginChecker engine(&link);
    set.Fill(engine);
    engine.AddPlugin(*set.m_old);
    const auto found = Search(engine, &link, kRunning, "gold", 0, 0, 1, 0);
    EXPECT_EQ(link.Calls(), (std::vector<std::string>{"progress 2|Searching... 0% complete",
                                                      "progress 2|Searching... 0% complete",
                                                      "progress 2|Searching... 50% complete",
                                                      "progress 0|Searching... 50% complete"}));
    EXPECT_EQ(found.size(), 2u);

    // Stopped after the first file: its rows stay, nothing more is reported.
    std::atomic<std::int32_t> stop{0};
    CStoppingLink stopping(stop, 2);
    CPluginChecker second(&stopping);
    set.Fill(second);
    second.AddPlugin(*set.m_old);
    EXPECT_EQ(Search(second, &stopping, stop, "gold", 0, 0, 1, 0).size(), 1u);
    EXPECT_EQ(stopping.Calls().size(), 2u);
}

TEST(Search, AgreesWithTheReferenceOnTheCorpus) {
    const CCorpus corpus;
    if (corpus.Empty()) GTEST_SKIP() << "no corpus";
    CPluginChecker engine;
    CReferenceChecker reference;
    for (CPluginFile* f : corpus.m_plugins) engine.AddPlugin(*f);
    for (CPluginFile* f : corpus.m_masters) {
        engine.AddMaster(*f);
        reference.AddMaster(*f);
    }
    std::size_t found = 0;
    for (const std::string text : {"a", "Sword", "NPC", "\xE9", "0,"}) {
        for (int options = 0; options < 16; ++options) {
            const bool matchCase = options & 1, wholeWord = options & 2, lookInData = options & 4, masterMode = options & 8;
            const auto rows =
                TextsOf(Search(engine, nullptr, kRunning, text, matchCase, wholeWord, lookInData, masterMode), engine.Files());
            const auto expected =
                RefSearch(reference, masterMode ? corpus.m_masters : corpus.m_plugins, text, matchCase, wholeWord, lookInData, masterMode);
            ASSERT_EQ(rows, expected) << "text " << text << " options " << options;
            found += rows.size();
        }
    }
    EXPECT_GT(found, 0u);
}

TEST(FindOperation, RowsSortedByTagAndNothingWithoutALoadedPlugin) {
    CSearchSet set;
    CScriptedLink link;
    CFindInputs inputs;
    inputs.foundMasters = {set.m_new, set.m_old};
    inputs.params.m_text = "gold";
    inputs.params.m_searchMasters = 1;
    inputs.link = &link;
    EXPECT_TRUE(RunFindOperation(inputs).m_stopped);
    EXPECT_TRUE(link.Calls().empty());

    // The engine searches Old.esm first, then Mod.esp; the sort by tag
    // keeps that order among equal tags.
    inputs.loadedPlugins = {set.m_plugin, set.m_old};
    inputs.params.m_text = "O";
    inputs.params.m_searchMasters = 0;
    auto found = RunFindOperation(inputs);
    ASSERT_FALSE(found.m_stopped);
    CTextRows table = TextsOf(*found.m_editor, found.m_files);
    ASSERT_EQ(table.size(), 9u);
    std::vector<std::string> tags, files;
    for (const auto& row : table) {
        tags.push_back(row[0]);
        files.push_back(row[3]);
    }
    EXPECT_EQ(tags, (std::vector<std::string>{"ACTI", "MISC", "MISC", "MISC", "MISC", "MISC", "NPC_", "NPC_", "NPC_"}));
    EXPECT_EQ(files, (std::vector<std::string>{"Mod.esp", "Old.esm", "Old.esm", "Mod.esp", "Mod.esp", "Mod.esp",
                                               "Old.esm", "Mod.esp", "Mod.esp"}));
    EXPECT_EQ(table[7][4], "Old.esm");
    EXPECT_TRUE(link.Messages().empty());

    inputs.params.m_text = "NoSuchThing";
    found = RunFindOperation(inputs);
    ASSERT_FALSE(found.m_stopped);
    EXPECT_TRUE(found.m_editor->empty());

    // Stopped during the search: nothing is shown.
    std::atomic<std::int32_t> stop{0};
    CStoppingLink stopping(stop, 1);
    inputs.link = &stopping;
    inputs.stop = &stop;
    EXPECT_TRUE(RunFindOperation(inputs).m_stopped);
}
