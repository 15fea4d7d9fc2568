// The search's text matching against the reference, and the editor listings: rows, file order,
// original files, progress and stop. The differential test holds the search and find operation
// to the reference; the window's operations transcript, what they show through the document.
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

TEST(EditorSetUp, ListingsInFileOrderWithOriginalFilesAndProgress) {
    // Masters Old.esm (older) and New.esm, plugins A.esp and B.esp whose tags
    // are interleaved in the file, so table order and file order differ.
    CLoadOrder order;
    CPluginBuilder oldMaster, newMaster, a, b;
    oldMaster.Header().Record("MISC", Named("Gold_001", "gold")).Record("NPC_", Named("fargoth", "F"));
    newMaster.Header().Record("MISC", Named("Gold_001", "new gold")).Record("ACTI", Named("door", "d"));
    a.Header()
        .Record("NPC_", Named("fargoth", "changed"))
        .Record("ACTI", Named("a1", "x"))
        .Record("NPC_", Named("n2", "y"))
        .Record("MISC", Named("Gold_001", "z"))
        .Record("ACTI", Named("a2", "w"));
    b.Header().Record("STAT", Named("rock", "r")).Record("ACTI", Named("door", "d2"));
    // Document order: B was extracted after A; masters newest read first.
    const std::vector<CPluginFile*> plugins{&order.Add("B.esp", b, 4000), &order.Add("A.esp", a, 3000)};
    const std::vector<CPluginFile*> masters{&order.Add("New.esm", newMaster, 2000),
                                            &order.Add("Old.esm", oldMaster, 1000)};
    const auto listing = [&](std::int32_t viewMasters, std::string viewFile) {
        return CEditorSetUpInputs{plugins, masters, viewMasters, std::move(viewFile)};
    };
    // Rows as tag, ID, plugin and original file, by file name and then in
    // file order. A plugin's original is the newest master holding the ID;
    // file names compare exactly, and a plugin is not a master.
    const struct {
        std::int32_t m_masters;
        std::string m_file;
        Strings m_rows;
    } cases[] = {
        {0, "",
         {"NPC_ fargoth A.esp Old.esm", "ACTI a1 A.esp None", "NPC_ n2 A.esp None", "MISC Gold_001 A.esp New.esm",
          "ACTI a2 A.esp None", "STAT rock B.esp None", "ACTI door B.esp New.esm"}},
        {1, "",
         {"MISC Gold_001 None New.esm", "ACTI door None New.esm", "MISC Gold_001 None Old.esm",
          "NPC_ fargoth None Old.esm"}},
        {0, "B.esp", {"STAT rock B.esp None", "ACTI door B.esp New.esm"}},
        {1, "Old.esm", {"MISC Gold_001 None Old.esm", "NPC_ fargoth None Old.esm"}},
        {0, "b.esp", {}},
        {0, "Old.esm", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_masters) + " " + c.m_file);
        const CPaneFindings found = RunEditorSetUp(listing(c.m_masters, c.m_file));
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
    CStoppingLink before(-1), link(3);
    auto in = listing(0, "");
    in.stop = &before.m_flag;
    EXPECT_TRUE(RunEditorSetUp(in).m_stopped);
    in.stop = &link.m_flag;
    in.link = &link;
    const CPaneFindings found = RunEditorSetUp(in);
    EXPECT_TRUE(found.m_stopped);
    ASSERT_TRUE(found.m_editor);
    const CTextRows rows = TextsOf(*found.m_editor, found.m_files);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0][2] == "rock" && rows[1][2] == "door");
    EXPECT_EQ(link.Calls().size(), 3u);

    // Many entries: one report per percentage, each a step of a 100-step bar.
    CPluginBuilder big;
    big.Header();
    for (int i = 0; i < 333; ++i) big.Record("MISC", Named("item_" + std::to_string(i), "x"));
    CScriptedLink bigLink;
    CEditorSetUpInputs many{{&order.Add("Big.esp", big, 5000)}, {}, 0, {}};
    many.link = &bigLink;
    const CPaneFindings listed = RunEditorSetUp(many);
    ASSERT_TRUE(listed.m_editor);
    EXPECT_EQ(listed.m_editor->size(), 333u);
    Strings expected;
    for (int percent = 0; percent <= 100; ++percent)
        expected.push_back("progress 100|Setting up Editor - " + std::to_string(percent) + "% complete");
    expected.push_back("progress 0|Setting up Editor - 100% complete");
    EXPECT_EQ(bigLink.Calls(), expected);

    // Nothing to list: the bar is closed as soon as it would open.
    CScriptedLink emptyLink;
    many.viewFile = "Missing.esp";
    many.link = &emptyLink;
    ASSERT_FALSE(RunEditorSetUp(many).m_stopped);
    EXPECT_EQ(emptyLink.Calls(), (Strings{"progress 0|Setting up Editor - 0% complete",
                                          "progress 0|Setting up Editor - 0% complete"}));
}
