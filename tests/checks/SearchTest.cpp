// The object search and the editor listings: matching against the reference,
// rows, file order, original files, progress and stop. What the window shows
// of them through the document, its operations transcript holds.
#include <gtest/gtest.h>

#include <random>

#include "checks/CheckFixture.h"
#include "checks/EditorSetUp.h"
#include "checks/ReferenceChecker.h"
#include "checks/Search.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

using Strings = std::vector<std::string>;

// Two masters and two plugins with the shapes the rules care about; tags
// interleave in the plugins, so table order and file order differ.
struct CSet {
    CLoadOrder m_order;
    CPluginFile* m_old = nullptr;
    CPluginFile* m_new = nullptr;
    CPluginFile* m_mod = nullptr;
    CPluginFile* m_b = nullptr;

    CSet() {
        CPluginBuilder oldMaster, newMaster, mod, b;
        oldMaster.Header()
            .Record("MISC", Named("Gold_001", "gold"))
            .Record("MISC", Named("Old_Only", "relic"))
            .Record("NPC_", Named("fargoth", "Fargoth"));
        m_old = &m_order.Add("Old.esm", oldMaster, 1000);
        newMaster.Header().Record("MISC", Named("Gold_001", "shiny gold")).Record("ACTI", Named("door", "d"));
        m_new = &m_order.Add("New.esm", newMaster, 2000);
        mod.Header({"Old.esm"})
            .Record("NPC_", Named("fargoth", "Hello World"))
            .Record("NPC_", Named("fargoth_ring_holder", "Nobody"))
            .Record("MISC", Named("Gold_001", "more gold"))
            .Record("MISC", Named("Old_Only", "relic"))
            .Record("MISC", {Name("zero_window"), Sub("FNAM", std::string("xAB\0Cx", 6))})
            .Record("ACTI", Named("\xC9P\xC9" "E_Sword", "blade"))
            .Record("SKIL", {Sub("INDX", I32(5)), Sub("DATA", I32(0))})
            .Record("LAND", Land(1, 2, "vh"));
        m_mod = &m_order.Add("Mod.esp", mod, 3000);
        b.Header().Record("STAT", Named("rock", "r")).Record("ACTI", Named("door", "d2"));
        m_b = &m_order.Add("B.esp", b, 4000);
    }

    // The document's order: B was read after Mod; the newest master first.
    CEditorSetUpInputs Listing(std::int32_t viewMasters, std::string viewFile = {}) const {
        CEditorSetUpInputs in;
        in.loadedPlugins = {m_b, m_mod};
        in.foundMasters = {m_new, m_old};
        in.viewMasters = viewMasters;
        in.viewFile = std::move(viewFile);
        return in;
    }
};

Strings Column(const CTextRows& rows, std::size_t column) {
    Strings out;
    for (const auto& row : rows) out.push_back(row[column]);
    return out;
}

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
                if (pick(2)) c = static_cast<char>(ReferenceLower(static_cast<unsigned char>(c)));
        } else {
            for (std::size_t i = 0, n = pick(5); i < n; ++i) text.push_back(alphabet[pick(alphabet.size())]);
        }
        for (bool matchCase : {false, true}) {
            const CTextMatcher matcher(text, matchCase);
            ASSERT_EQ(matcher.Occurs(bytes), ReferenceOccurs(bytes, text, matchCase))
                << "round " << round << " match case " << matchCase;
            const std::string id(UpToNul(bytes));
            ASSERT_EQ(matcher.Equals(id), ReferenceEquals(id, text, matchCase)) << "round " << round;
        }
    }
}

TEST(Search, AgreesWithTheReferenceAndReportsItsProgress) {
    // Names that begin, contain, end or equal the text; formatted IDs; folded
    // accented letters; data windows over a zero byte; tags; nothing at all.
    const CSet set;
    CReferenceChecker reference;
    reference.AddMaster(*set.m_old);
    reference.AddMaster(*set.m_new);
    const std::vector<CPluginFile*> plugins{set.m_mod, set.m_b}, masters{set.m_old, set.m_new};
    CPluginChecker engine;
    for (auto* p : plugins) engine.AddPlugin(*p);
    for (auto* m : masters) engine.AddMaster(*m);
    for (const std::string& text : Strings{"FARGOTH", "holder", "_001", ",2", "x 5", "gold_001", "\xE9p\xE9" "e", "world",
                                           "xab", "abc", "npc", "KIL", "SKILL", "a", "", std::string(200, 'a')}) {
        for (int options = 0; options < 16; ++options) {
            const bool matchCase = options & 1, wholeWord = options & 2, lookInData = options & 4, inMasters = options & 8;
            EXPECT_EQ(TextsOf(Search(engine, nullptr, kRunning, text, matchCase, wholeWord, lookInData, inMasters),
                              engine.Files()),
                      ReferenceSearch(reference, inMasters ? masters : plugins, text, matchCase, wholeWord, lookInData,
                                      inMasters))
                << "text " << text << " options " << options;
        }
    }

    // One report per file; a stop after the first keeps its rows and ends
    // the reports.
    for (int stopAt : {0, 2}) {
        std::atomic<std::int32_t> stop{0};
        CStoppingLink link(stop, stopAt);
        CPluginChecker twoFiles(&link);
        twoFiles.AddPlugin(*set.m_mod);
        twoFiles.AddPlugin(*set.m_old);
        EXPECT_EQ(Search(twoFiles, &link, stop, "gold", 0, 0, 1, 0).size(), stopAt ? 1u : 2u);
        const Strings all{"progress 2|Searching... 0% complete", "progress 2|Searching... 0% complete",
                          "progress 2|Searching... 50% complete", "progress 0|Searching... 50% complete"};
        EXPECT_EQ(link.Calls(), stopAt ? Strings(all.begin(), all.begin() + 2) : all);
    }
}

TEST(FindOperation, RowsSortedByTagAndNothingWithoutALoadedPlugin) {
    CSet set;
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
    inputs.loadedPlugins = {set.m_mod, set.m_old};
    inputs.params.m_text = "O";
    inputs.params.m_searchMasters = 0;
    const CPaneFindings found = RunFindOperation(inputs);
    ASSERT_FALSE(found.m_stopped);
    const CTextRows table = TextsOf(*found.m_editor, found.m_files);
    EXPECT_EQ(Column(table, 0), (Strings{"ACTI", "MISC", "MISC", "MISC", "MISC", "MISC", "NPC_", "NPC_", "NPC_"}));
    EXPECT_EQ(Column(table, 3), (Strings{"Mod.esp", "Old.esm", "Old.esm", "Mod.esp", "Mod.esp", "Mod.esp", "Old.esm",
                                         "Mod.esp", "Mod.esp"}));
    EXPECT_EQ(Column(table, 4)[7], "Old.esm");
    EXPECT_TRUE(link.Messages().empty());

    // Stopped during the search: nothing is shown.
    std::atomic<std::int32_t> stop{0};
    CStoppingLink stopping(stop, 1);
    inputs.link = &stopping;
    inputs.stop = &stop;
    EXPECT_TRUE(RunFindOperation(inputs).m_stopped);
}

TEST(EditorSetUp, ListingsInFileOrderWithOriginalFiles) {
    CSet set;
    // Rows as tag, ID, plugin and original file, by file name and then in
    // file order. A plugin's original is the newest master holding the ID;
    // file names compare exactly, and a plugin is not a master.
    const struct {
        std::int32_t m_masters;
        std::string m_file;
        Strings m_rows;
    } cases[] = {
        {0, "",
         {"STAT rock B.esp None", "ACTI door B.esp New.esm", "NPC_ fargoth Mod.esp Old.esm",
          "NPC_ fargoth_ring_holder Mod.esp None", "MISC Gold_001 Mod.esp New.esm", "MISC Old_Only Mod.esp Old.esm",
          "MISC zero_window Mod.esp None", "ACTI \xC9P\xC9" "E_Sword Mod.esp None", "SKIL Index 5 Mod.esp None",
          "LAND 1,2 Mod.esp None"}},
        {1, "",
         {"MISC Gold_001 None New.esm", "ACTI door None New.esm", "MISC Gold_001 None Old.esm",
          "MISC Old_Only None Old.esm", "NPC_ fargoth None Old.esm"}},
        {0, "B.esp", {"STAT rock B.esp None", "ACTI door B.esp New.esm"}},
        {1, "New.esm", {"MISC Gold_001 None New.esm", "ACTI door None New.esm"}},
        {0, "b.esp", {}},
        {0, "Old.esm", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_masters) + " " + c.m_file);
        const CPaneFindings found = RunEditorSetUp(set.Listing(c.m_masters, c.m_file));
        ASSERT_TRUE(found.m_editor);
        Strings rows;
        for (const auto& row : TextsOf(*found.m_editor, found.m_files)) {
            rows.push_back(row[0] + " " + row[2] + " " + row[3] + " " + row[4]);
            EXPECT_EQ(row[1], ReferenceDescription(row[0]));
        }
        EXPECT_EQ(rows, c.m_rows);
    }

    // A stop before the listing shows nothing. Stopped at the third report,
    // after B.esp's two entries (ACTI before STAT in table order): those
    // rows in file order, and no blank rows for the rest.
    std::atomic<std::int32_t> stop{1};
    auto in = set.Listing(0);
    in.stop = &stop;
    EXPECT_TRUE(RunEditorSetUp(in).m_stopped);
    stop = 0;
    CStoppingLink link(stop, 3);
    in.link = &link;
    const CPaneFindings found = RunEditorSetUp(in);
    EXPECT_TRUE(found.m_stopped);
    ASSERT_TRUE(found.m_editor);
    EXPECT_EQ(Column(TextsOf(*found.m_editor, found.m_files), 2), (Strings{"rock", "door"}));
    EXPECT_EQ(link.Calls().size(), 3u);
}

TEST(EditorSetUp, ProgressOncePerPercentage) {
    // Many entries: one report per percentage, each a step of a 100-step bar.
    CLoadOrder order;
    CPluginBuilder big;
    big.Header();
    for (int i = 0; i < 333; ++i) big.Record("MISC", Named("item_" + std::to_string(i), "x"));
    CScriptedLink bigLink;
    CEditorSetUpInputs in;
    in.loadedPlugins = {&order.Add("Big.esp", big, 1000)};
    in.link = &bigLink;
    const CPaneFindings found = RunEditorSetUp(in);
    ASSERT_TRUE(found.m_editor);
    EXPECT_EQ(found.m_editor->size(), 333u);
    const auto calls = bigLink.Calls();
    ASSERT_EQ(calls.size(), 102u);
    EXPECT_EQ(calls.front(), "progress 100|Setting up Editor - 0% complete");
    EXPECT_EQ(calls[50], "progress 100|Setting up Editor - 50% complete");
    EXPECT_EQ(calls[100], "progress 100|Setting up Editor - 100% complete");
    EXPECT_EQ(calls.back(), "progress 0|Setting up Editor - 100% complete");

    // Nothing to list: the bar is closed as soon as it would open.
    CScriptedLink emptyLink;
    in.viewFile = "Missing.esp";
    in.link = &emptyLink;
    ASSERT_FALSE(RunEditorSetUp(in).m_stopped);
    EXPECT_EQ(emptyLink.Calls(), (Strings{"progress 0|Setting up Editor - 0% complete",
                                          "progress 0|Setting up Editor - 0% complete"}));
}
