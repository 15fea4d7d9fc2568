// The editor listing: rows, file order after the sort, original files,
// progress and stop, and the find and listing operations run by the
// document's worker.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/EditorSetUp.h"
#include "checks/SearchFixture.h"
#include "fixtures/GameFolder.h"

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

std::vector<std::string> Column(const CTextRows& rows, std::size_t column) {
    std::vector<std::string> out;
    for (const auto& row : rows) out.push_back(row[column]);
    return out;
}

std::vector<std::string> Column(const CResultTable& table, std::size_t column) { return Column(TextsOf(table), column); }

// A listing's rows as texts; nullopt when it was stopped before it began.
std::optional<CTextRows> Listing(const CEditorSetUpInputs& inputs) {
    const CPaneFindings found = RunEditorSetUp(inputs);
    if (!found.m_editor) return std::nullopt;
    return TextsOf(*found.m_editor, found.m_files);
}

}  // namespace

TEST(EditorSetUp, ListingsInFileOrderWithOriginalFiles) {
    CListingSet set;
    // Rows as tag, ID, plugin and original file. A plugin's original is the
    // newest master holding the ID; file names compare exactly, and a plugin
    // is not a master.
    const struct {
        std::int32_t m_masters;
        std::string m_file;
        std::vector<std::string> m_rows;
    } cases[] = {
        {0, "",
         {"NPC_ fargoth A.esp Old.esm", "ACTI a1 A.esp None", "NPC_ n2 A.esp None", "MISC Gold_001 A.esp New.esm",
          "ACTI a2 A.esp None", "STAT rock B.esp None", "ACTI door B.esp New.esm"}},
        {1, "", {"MISC Gold_001 None New.esm", "ACTI door None New.esm", "MISC Gold_001 None Old.esm", "NPC_ fargoth None Old.esm"}},
        {0, "B.esp", {"STAT rock B.esp None", "ACTI door B.esp New.esm"}},
        {1, "Old.esm", {"MISC Gold_001 None Old.esm", "NPC_ fargoth None Old.esm"}},
        {0, "b.esp", {}},
        {0, "Old.esm", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_masters) + " " + c.m_file);
        const auto table = Listing(set.Inputs(c.m_masters, c.m_file));
        ASSERT_TRUE(table);
        std::vector<std::string> rows;
        for (const auto& row : *table) rows.push_back(row[0] + " " + row[2] + " " + row[3] + " " + row[4]);
        EXPECT_EQ(rows, c.m_rows);
    }
    const auto table = Listing(set.Inputs(0));
    ASSERT_TRUE(table && table->size() == 7u);
    EXPECT_EQ((*table)[3][1], "Misc. Items Entry");  // the type's text
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
    const auto table = Listing(in);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->size(), 333u);
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
    EXPECT_EQ(emptyLink.Calls(), (std::vector<std::string>{"progress 0|Setting up Editor - 0% complete",
                                                           "progress 0|Setting up Editor - 0% complete"}));
}

TEST(EditorSetUp, Stop) {
    CListingSet set;
    std::atomic<std::int32_t> stop{1};
    auto in = set.Inputs(0);
    in.stop = &stop;
    EXPECT_TRUE(RunEditorSetUp(in).m_stopped);

    // Stopped at the third report, after B.esp's two entries (ACTI before
    // STAT in table order): those rows in file order, and no blank rows
    // for the rest.
    stop = 0;
    CStoppingLink link(stop, 3);
    in.link = &link;
    const CPaneFindings found = RunEditorSetUp(in);
    EXPECT_TRUE(found.m_stopped);
    ASSERT_TRUE(found.m_editor);
    EXPECT_EQ(Column(TextsOf(*found.m_editor, found.m_files), 2), (std::vector<std::string>{"rock", "door"}));
    EXPECT_EQ(link.Calls().size(), 3u);
}

namespace {

// A game folder whose data folder holds a master and two plugins.
struct CGame : CGameFolder {
    CGame() {
        CPluginBuilder master, a, b;
        master.Header().Record("MISC", Named("Gold_001", "gold")).Record("NPC_", Named("fargoth", "F"));
        a.Header({"Base.esm"}).Record("NPC_", Named("fargoth", "changed")).Record("MISC", Named("ring", "r"));
        b.Header().Record("MISC", Named("Gold_001", "more"));
        Write("Base.esm", master);
        Write("A.esp", a);
        Write("B.esp", b);
        Doc();
    }
};

}  // namespace

TEST(SearchOperations, FindAndListingsThroughTheDocument) {
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
    CTextRows editor = TextsOf(*game.m_doc->ResultTable(EPane::Editor));
    ASSERT_EQ(editor.size(), 1u);
    EXPECT_EQ(editor[0][3], "B.esp");
    EXPECT_EQ(editor[0][4], "Base.esm");

    params.m_searchMasters = 1;
    game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); });
    editor = TextsOf(*game.m_doc->ResultTable(EPane::Editor));
    ASSERT_EQ(editor.size(), 1u);
    EXPECT_EQ(editor[0][3], "None");

    params.m_text = "Nowhere";
    EXPECT_EQ(game.Run([&](CVANTORDoc& d) { d.OnFindObject(params); }),
              (std::vector<std::string>{"hide 0", "ask Not Found|Cannot find Nowhere", "rows 3|0", "hide 3"}));

    // The listings.
    auto calls = game.Run([](CVANTORDoc& d) { d.OnViewAllEspData(); });
    EXPECT_EQ(calls.back(), "show 3");
    EXPECT_EQ(Column(*game.m_doc->ResultTable(EPane::Editor), 3), (std::vector<std::string>{"A.esp", "A.esp", "B.esp"}));
    EXPECT_EQ(Column(*game.m_doc->ResultTable(EPane::Editor), 4), (std::vector<std::string>{"Base.esm", "None", "Base.esm"}));
    calls = game.Run([](CVANTORDoc& d) { d.OnViewAllEsmData(); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|2", "show 3"}));
    EXPECT_EQ(Column(*game.m_doc->ResultTable(EPane::Editor), 4), (std::vector<std::string>{"Base.esm", "Base.esm"}));

    calls = game.Run([](CVANTORDoc& d) { d.OnViewFileData({false, false, "Typed.esp"}); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|0", "hide 3"}));
    calls = game.Run([](CVANTORDoc& d) { d.OnViewFileData({false, false, "B.esp"}); });
    EXPECT_EQ(calls, (std::vector<std::string>{"hide 0", "rows 3|1", "show 3"}));
}
