// The editor listing: rows, file order after the sort, original files,
// progress and stop, and the find and listing operations run by the
// document's worker.
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

#include "checks/CheckFixture.h"
#include "checks/EditorSetUp.h"
#include "checks/ReferenceChecker.h"
#include "checks/SearchFixture.h"
#include "document/VANTORDoc.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// Masters Old.esm (older) and New.esm, plugins A.esp and B.esp whose tags
// are interleaved in the file, so table order and file order differ.
struct CListingSet {
    CLoadOrder m_order;
    CPluginFile* m_old = nullptr;
    CPluginFile* m_new = nullptr;
    CPluginFile* m_a = nullptr;
    CPluginFile* m_b = nullptr;

    CListingSet() {
        CPluginBuilder oldMaster;
        oldMaster.Header().Record("MISC", Named("Gold_001", "gold")).Record("NPC_", Named("fargoth", "F"));
        m_old = &m_order.Add("Old.esm", oldMaster, 1000);
        CPluginBuilder newMaster;
        newMaster.Header().Record("MISC", Named("Gold_001", "new gold")).Record("ACTI", Named("door", "d"));
        m_new = &m_order.Add("New.esm", newMaster, 2000);

        CPluginBuilder a;
        a.Header()
            .Record("NPC_", Named("fargoth", "changed"))
            .Record("ACTI", Named("a1", "x"))
            .Record("NPC_", Named("n2", "y"))
            .Record("MISC", Named("Gold_001", "z"))
            .Record("ACTI", Named("a2", "w"));
        m_a = &m_order.Add("A.esp", a, 3000);
        CPluginBuilder b;
        b.Header().Record("STAT", Named("rock", "r")).Record("ACTI", Named("door", "d2"));
        m_b = &m_order.Add("B.esp", b, 4000);
    }

    // Document order: B was extracted after A; masters newest read first.
    CEditorSetUpInputs Inputs(std::int32_t viewMasters, std::string viewFile = {}) const {
        CEditorSetUpInputs in;
        in.loadedPlugins = {m_b, m_a};
        in.foundMasters = {m_new, m_old};
        in.viewMasters = viewMasters;
        in.viewFile = std::move(viewFile);
        return in;
    }
};

std::vector<std::string> Column(const CResultTable& table, std::size_t column) {
    std::vector<std::string> out;
    for (const auto& row : table.m_rows) out.push_back(row[column].m_text);
    return out;
}

}  // namespace

TEST(EditorSetUp, PluginListingInFileOrderWithOriginalFiles) {
    CListingSet set;
    auto table = RunEditorSetUp(set.Inputs(0));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->m_header, EditorTableHeader().m_header);
    EXPECT_EQ(Column(*table, 2), (std::vector<std::string>{"fargoth", "a1", "n2", "Gold_001", "a2", "rock", "door"}));
    EXPECT_EQ(Column(*table, 0), (std::vector<std::string>{"NPC_", "ACTI", "NPC_", "MISC", "ACTI", "STAT", "ACTI"}));
    EXPECT_EQ(Column(*table, 3),
              (std::vector<std::string>{"A.esp", "A.esp", "A.esp", "A.esp", "A.esp", "B.esp", "B.esp"}));
    // The newest master holding the ID, or "None" for IDs new in the plugins.
    EXPECT_EQ(Column(*table, 4), (std::vector<std::string>{"Old.esm", "None", "None", "New.esm", "None", "None",
                                                           "New.esm"}));
    EXPECT_EQ(table->m_rows[3][1].m_text, "Misc. Items Entry");
    // The file cell carries the record's offset; no other cell has one.
    for (const auto& row : table->m_rows) {
        const CPluginFile& file = row[3].m_text == "A.esp" ? *set.m_a : *set.m_b;
        const CEntry* entry = nullptr;
        for (const auto& e : *file.GetTable(row[0].m_text))
            if (e->IdText() == row[2].m_text) entry = e.get();
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(row[3].m_item, entry->m_offset);
        EXPECT_EQ(row[0].m_item + row[1].m_item + row[2].m_item + row[4].m_item, 0);
    }
}

TEST(EditorSetUp, MasterListingAndOneFile) {
    CListingSet set;
    auto table = RunEditorSetUp(set.Inputs(1));
    ASSERT_TRUE(table);
    EXPECT_EQ(Column(*table, 2), (std::vector<std::string>{"Gold_001", "door", "Gold_001", "fargoth"}));
    EXPECT_EQ(Column(*table, 3), (std::vector<std::string>(4, "None")));
    EXPECT_EQ(Column(*table, 4), (std::vector<std::string>{"New.esm", "New.esm", "Old.esm", "Old.esm"}));
    EXPECT_LT(table->m_rows[0][4].m_item, table->m_rows[1][4].m_item);

    table = RunEditorSetUp(set.Inputs(0, "B.esp"));
    ASSERT_TRUE(table);
    EXPECT_EQ(Column(*table, 2), (std::vector<std::string>{"rock", "door"}));
    table = RunEditorSetUp(set.Inputs(1, "Old.esm"));
    ASSERT_TRUE(table);
    EXPECT_EQ(Column(*table, 2), (std::vector<std::string>{"Gold_001", "fargoth"}));
    // The names are compared exactly; a plugin is not a master.
    EXPECT_TRUE(RunEditorSetUp(set.Inputs(0, "b.esp"))->m_rows.empty());
    EXPECT_TRUE(RunEditorSetUp(set.Inputs(0, "Old.esm"))->m_rows.empty());
}

TEST(EditorSetUp, SortGroupsByNameThenOffset) {
    CResultTable table = EditorTableHeader();
    auto row = [](const std::string& file, std::int64_t offset) {
        return std::vector<CResultCell>{{"T", 0}, {"", 0}, {"", 0}, {file, offset}, {"x", 0}};
    };
    table.m_rows = {row("b.esp", 5), row("B.esp", 900), row("a.esp", 70), row("B.esp", 16), row("a.esp", 8)};
    SortListing(table, 3);
    std::vector<std::pair<std::string, std::int64_t>> order;
    for (const auto& r : table.m_rows) order.emplace_back(r[3].m_text, r[3].m_item);
    // Byte order: capitals before small letters.
    EXPECT_EQ(order, (std::vector<std::pair<std::string, std::int64_t>>{
                         {"B.esp", 16}, {"B.esp", 900}, {"a.esp", 8}, {"a.esp", 70}, {"b.esp", 5}}));
}

TEST(EditorSetUp, ProgressOncePerPercentage) {
    CListingSet set;
    CScriptedLink link;
    auto in = set.Inputs(0, "A.esp");
    in.link = &link;
    ASSERT_TRUE(RunEditorSetUp(in));
    EXPECT_EQ(link.Calls(), (std::vector<std::string>{
                                "progress 5|Setting up Editor - 0% complete", "progress 5|Setting up Editor - 20% complete",
                                "progress 5|Setting up Editor - 40% complete", "progress 5|Setting up Editor - 60% complete",
                                "progress 5|Setting up Editor - 80% complete",
                                "progress 5|Setting up Editor - 100% complete",
                                "progress 0|Setting up Editor - 100% complete"}));

    // Many entries: one report per percentage, each a step of a 100-step bar.
    CLoadOrder order;
    CPluginBuilder big;
    big.Header();
    for (int i = 0; i < 333; ++i) big.Record("MISC", Named("item_" + std::to_string(i), "x"));
    CPluginFile& file = order.Add("Big.esp", big, 1000);
    CScriptedLink bigLink;
    CEditorSetUpInputs bigIn;
    bigIn.loadedPlugins = {&file};
    bigIn.link = &bigLink;
    auto table = RunEditorSetUp(bigIn);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->m_rows.size(), 333u);
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
    ASSERT_TRUE(RunEditorSetUp(in));
    EXPECT_EQ(emptyLink.Calls(), (std::vector<std::string>{"progress 0|Setting up Editor - 0% complete",
                                                           "progress 0|Setting up Editor - 0% complete"}));
}

TEST(EditorSetUp, Stop) {
    CListingSet set;
    std::atomic<std::int32_t> stop{1};
    auto in = set.Inputs(0);
    in.stop = &stop;
    EXPECT_FALSE(RunEditorSetUp(in));

    // Stopped at the third report, after B.esp's two entries (ACTI before
    // STAT in table order): those rows in file order, and no blank rows
    // for the rest.
    stop = 0;
    CStoppingLink link(stop, 3);
    in.link = &link;
    auto table = RunEditorSetUp(in);
    ASSERT_TRUE(table);
    EXPECT_EQ(Column(*table, 2), (std::vector<std::string>{"rock", "door"}));
    EXPECT_EQ(link.Calls().size(), 3u);
}

TEST(EditorSetUp, CorpusListingsFollowTheFiles) {
    const CCorpus corpus;
    if (corpus.Empty()) GTEST_SKIP() << "no corpus";
    CReferenceChecker reference;
    for (auto it = corpus.m_masters.rbegin(); it != corpus.m_masters.rend(); ++it) reference.AddMaster(**it);
    for (std::int32_t masters : {0, 1}) {
        CEditorSetUpInputs in;
        in.loadedPlugins = corpus.m_plugins;
        in.foundMasters = corpus.m_masters;
        in.viewMasters = masters;
        auto table = RunEditorSetUp(in);
        ASSERT_TRUE(table);
        const std::size_t column = ListingFileColumn(masters);
        // Each file's entries by offset, as the reader met them.
        std::map<std::string, std::map<std::int64_t, std::pair<std::string, const CEntry*>>> expected;
        std::size_t total = 0;
        for (const CPluginFile* file : masters ? corpus.m_masters : corpus.m_plugins)
            for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
                for (const auto& e : file->Table(t)) {
                    expected[file->FileName()][e->m_offset] = {std::string(CPluginFile::kTags[t]), e.get()};
                    ++total;
                }
        ASSERT_EQ(table->m_rows.size(), total);
        auto next = expected.begin();
        auto entry = next->second.begin();
        for (const auto& row : table->m_rows) {
            if (entry == next->second.end()) entry = (++next)->second.begin();
            ASSERT_EQ(row[column].m_text, next->first);
            ASSERT_EQ(row[column].m_item, entry->first);
            ASSERT_EQ(row[0].m_text, entry->second.first);
            ASSERT_EQ(row[2].m_text, entry->second.second->IdText());
            if (!masters) {
                ASSERT_EQ(row[4].m_text, reference.FindOriginalFile(kRunning, row[2].m_text, row[0].m_text));
            }
            ++entry;
        }
    }
}

namespace {

// A game folder whose data folder holds a master and two plugins, and a
// document with the search operations installed.
struct CGame {
    CTempDir m_dir;
    CScriptedLink m_link;
    std::string m_data = m_dir.Path() + "Data Files/";
    std::unique_ptr<CVANTORDoc> m_doc;

    CGame() {
        ::mkdir(m_data.c_str(), 0755);
        CPluginBuilder master;
        master.Header().Record("MISC", Named("Gold_001", "gold")).Record("NPC_", Named("fargoth", "F"));
        EXPECT_TRUE(master.Write(m_data + "Base.esm"));
        CPluginBuilder a;
        a.Header({"Base.esm"}).Record("NPC_", Named("fargoth", "changed")).Record("MISC", Named("ring", "r"));
        EXPECT_TRUE(a.Write(m_data + "A.esp"));
        CPluginBuilder b;
        b.Header().Record("MISC", Named("Gold_001", "more"));
        EXPECT_TRUE(b.Write(m_data + "B.esp"));

        CDocConfig config;
        config.m_settingsPath = m_dir / "vantor.ini";
        config.m_installDir = m_dir.Path();
        m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
    }

    void Choose(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const auto& n : names) paths.push_back(m_data + n);
        m_link.m_choices.push_back({CFileChoice::EStatus::Chosen, paths});
        m_doc->OnChoosePlugins();
    }

    // The link calls of one command, from the worker's start to its end.
    template <class F>
    std::vector<std::string> Run(F&& command) {
        m_link.Clear();
        command(*m_doc);
        m_doc->WaitForWorker();
        std::vector<std::string> calls;
        for (const auto& c : m_link.Calls())
            if (!c.starts_with("progress") && !c.starts_with("close-editors")) calls.push_back(c);
        return calls;
    }
};

}  // namespace

TEST(SearchOperations, FindThroughTheDocument) {
    CGame game;
    // Nothing loaded: the operation leaves the panes alone.
    CFindParams params;
    params.m_text = "gold";
    params.m_searchMasters = 1;
    EXPECT_EQ(game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); }), (std::vector<std::string>{"hide 0"}));

    game.Choose({"A.esp", "B.esp"});
    params.m_searchMasters = 0;
    EXPECT_EQ(game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); }),
              (std::vector<std::string>{"hide 0", "rows 3|1", "show 3"}));
    CResultTable editor = game.m_doc->ResultTableCopy(EPane::Editor);
    ASSERT_EQ(editor.m_rows.size(), 1u);
    EXPECT_EQ(editor.m_rows[0][3].m_text, "B.esp");
    EXPECT_EQ(editor.m_rows[0][4].m_text, "Base.esm");

    params.m_searchMasters = 1;
    game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); });
    editor = game.m_doc->ResultTableCopy(EPane::Editor);
    ASSERT_EQ(editor.m_rows.size(), 1u);
    EXPECT_EQ(editor.m_rows[0][3].m_text, "None");

    params.m_text = "Nowhere";
    EXPECT_EQ(game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); }),
              (std::vector<std::string>{"hide 0", "ask Not Found|Cannot find Nowhere", "rows 3|0", "hide 3"}));
}

TEST(SearchOperations, ListingsThroughTheDocument) {
    CGame game;
    game.Choose({"A.esp", "B.esp"});
    auto calls = game.Run([](CVANTORDoc& d) { d.OnViewAllEspData(); });
    EXPECT_EQ(calls.back(), "show 3");
    CResultTable editor = game.m_doc->ResultTableCopy(EPane::Editor);
    EXPECT_EQ(Column(editor, 3), (std::vector<std::string>{"A.esp", "A.esp", "B.esp"}));
    EXPECT_EQ(Column(editor, 4), (std::vector<std::string>{"Base.esm", "None", "Base.esm"}));

    calls = game.Run([](CVANTORDoc& d) { d.OnViewAllEsmData(); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|2", "show 3"}));
    EXPECT_EQ(Column(game.m_doc->ResultTableCopy(EPane::Editor), 4), (std::vector<std::string>{"Base.esm", "Base.esm"}));

    calls = game.Run([](CVANTORDoc& d) { d.OnViewFileData({false, false, "Typed.esp"}); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|0", "hide 3"}));
    calls = game.Run([](CVANTORDoc& d) { d.OnViewFileData({false, false, "B.esp"}); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|1", "show 3"}));
}
