// vantor show, run as the user runs it: the editor's rows or the hex dump of
// one entry of a plugin, found by tag and ID.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "document/Options.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

struct CRun {
    int m_status = -1;
    std::string m_output;  // stdout and stderr together
};

class ShowCommand : public testing::Test {
protected:
    void SetUp() override {
        CPluginBuilder plugin;
        plugin.Header({"Morrowind.esm"})
            .Record("NPC_", {Name("B\xE9la"), Sub("FNAM", Z("Bela")), Sub("INTV", I32(-1)),
                             Sub("NPCO", I32(2) + Fixed("gold_001", 32))})
            .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
            .Record("INFO", Info("1", "", "", "Well met.\nWhat now?"));
        ASSERT_TRUE(plugin.Write(m_dir / "Test.esp"));
        // Settings that keep no dialogue text: show reads the whole entry anyway.
        COptionSet options;
        options.m_extractOpts.m_dialogText = 0;
        options.m_loadEsms = 0;
        ASSERT_TRUE(options.Save(m_dir / "vantor.ini"));
    }

    CRun Show(const std::string& arguments) {
        const CProgramRun run = RunProgram(VANTOR_CLI, "show --settings '" + (m_dir / "vantor.ini") + "' --data-dir '" +
                                               m_dir.Path() + "' '" + (m_dir / "Test.esp") + "' " + arguments,
                                           "", "");
        return {run.m_exit, run.m_out};
    }

    static std::vector<std::string> Lines(const std::string& output) {
        std::vector<std::string> lines;
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static bool HasLine(const std::string& output, const std::string& line) {
        auto lines = Lines(output);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // A table row: its cells, which the text output separates by two or
    // more blanks.
    static bool HasRow(const std::string& output, const std::vector<std::string>& cells) {
        for (const auto& line : Lines(output)) {
            std::vector<std::string> found;
            for (std::size_t at = 0; at < line.size();) {
                auto gap = line.find("  ", at);
                found.push_back(line.substr(at, gap == std::string::npos ? std::string::npos : gap - at));
                if (gap == std::string::npos) break;
                at = line.find_first_not_of(' ', gap);
            }
            if (found == cells) return true;
        }
        return false;
    }

    CTempDir m_dir;
};

}  // namespace

TEST_F(ShowCommand, RowsAsTheEditorShowsThem) {
    // The ID typed in UTF-8 finds the entry whose ID is Windows-1252.
    CRun run = Show("NPC_ 'Béla'");
    EXPECT_EQ(run.m_status, 0) << run.m_output;
    EXPECT_TRUE(HasLine(run.m_output, "Test.esp - Béla (3)")) << run.m_output;
    EXPECT_TRUE(HasRow(run.m_output, {"ID", "Data", "Type", "Bytes"})) << run.m_output;
    EXPECT_TRUE(HasRow(run.m_output, {"FNAM", "Bela", "Ascii", "5"})) << run.m_output;
    EXPECT_TRUE(HasRow(run.m_output, {"INTV", "-1", "Dec", "4"})) << run.m_output;
    EXPECT_TRUE(HasRow(run.m_output, {"NPCO", "2 = gold_001", "Mixed", "36"})) << run.m_output;

    // A line break inside a text stays on its row; the tag is found in any case.
    CRun info = Show("info 1");
    EXPECT_EQ(info.m_status, 0) << info.m_output;
    EXPECT_TRUE(HasRow(info.m_output, {"NAME", "Well met.\\nWhat now?", "Ascii", "19"})) << info.m_output;

    CRun json = Show("NPC_ 'Béla' --format json");
    EXPECT_NE(json.m_output.find(R"({"ID":"NPCO","Data":"2 = gold_001","Type":"Mixed","Bytes":"36"})"),
              std::string::npos)
        << json.m_output;
}

TEST_F(ShowCommand, HexDumpOfTheEntryData) {
    CRun run = Show("NPC_ 'Béla' --hex");
    EXPECT_EQ(run.m_status, 0) << run.m_output;
    // FNAM, 5, "Bela\0", then INTV's tag: the ID subrecord is not part of it.
    EXPECT_TRUE(HasLine(run.m_output, "Test.esp - Béla (69 bytes)")) << run.m_output;
    EXPECT_TRUE(HasLine(run.m_output, "00000000  46 4E 41 4D 05 00 00 00 42 65 6C 61 00 49 4E 54  FNAM....Bela.INT"))
        << run.m_output;
    EXPECT_TRUE(HasLine(run.m_output, "00000040  00 00 00 00 00" + std::string(35, ' ') + ".....")) << run.m_output;
}

TEST_F(ShowCommand, MissingEntriesAndTypesFail) {
    CRun missing = Show("NPC_ nobody");
    EXPECT_EQ(missing.m_status, 1);
    EXPECT_TRUE(HasLine(missing.m_output, "vantor: no NPC_ entry \"nobody\" in Test.esp")) << missing.m_output;

    CRun badTag = Show("TES3 x");
    EXPECT_EQ(badTag.m_status, 2);
    EXPECT_TRUE(HasLine(badTag.m_output, "vantor: TES3 is not a record type that has entries")) << badTag.m_output;
}
