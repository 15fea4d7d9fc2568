// vantor show, run as the user runs it: the editor's rows or the hex dump of
// one entry of a plugin, found by tag and ID.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "document/Options.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// The output with a newline in front, blanks at line ends dropped and every
// run of two or more blanks (between a table's cells) turned into '|'. Not
// std::regex: GCC's sanitizer builds warn falsely inside it.
std::string Cells(const std::string& out) {
    std::string lines = "\n";
    for (std::size_t i = 0; i < out.size();) {
        if (out[i] != ' ') {
            lines += out[i++];
            continue;
        }
        const std::size_t end = std::min(out.find_first_not_of(' ', i), out.size());
        if (end < out.size() && out[end] != '\n') lines += end - i >= 2 ? "|" : " ";
        i = end;
    }
    return lines;
}

}  // namespace

TEST(ShowCommand, RowsHexDumpAndWhatIsNotThere) {
    CTempDir dir;
    CPluginBuilder plugin;
    plugin.Header({"Morrowind.esm"})
        .Record("NPC_", {Name("B\xE9la"), Sub("FNAM", Z("Bela")), Sub("INTV", I32(-1)),
                         Sub("NPCO", I32(2) + Fixed("gold_001", 32))})
        .Record("DIAL", {Name("Greeting"), Sub("DATA", std::string(1, '\0'))})
        .Record("INFO", Info("1", "", "", "Well met.\nWhat now?"));
    ASSERT_TRUE(plugin.Write(dir / "Café.esp"));
    // Settings that keep no dialogue text: show reads the whole entry anyway.
    COptionSet options;
    options.m_extractOpts.m_dialogText = 0;
    options.m_loadEsms = 0;
    ASSERT_TRUE(options.Save(dir / "vantor.ini"));

    // Whole lines of the output, a table's cells (two or more blanks apart
    // in the text) joined by '|'.
    const struct {
        std::string m_args;
        int m_status;
        std::vector<std::string> m_lines;
    } cases[] = {
        // The ID typed in UTF-8 finds the entry whose ID is Windows-1252; the
        // file name is printed as the file system has it.
        {"NPC_ 'Béla'", 0,
         {"Café.esp - Béla (3)", "ID|Data|Type|Bytes", "FNAM|Bela|Ascii|5", "INTV|-1|Dec|4",
          "NPCO|2 = gold_001|Mixed|36"}},
        // Bytes that are not UTF-8 are taken as given: Windows-1252 already.
        {"NPC_ 'B\xE9la'", 0, {"Café.esp - Béla (3)"}},
        // A line break inside a text stays on its row; the tag is found in any case.
        {"info 1", 0, {"NAME|Well met.\\nWhat now?|Ascii|19"}},
        // FNAM, 5, "Bela\0", then INTV's tag: the ID subrecord is not part of it.
        {"NPC_ 'Béla' --hex", 0,
         {"Café.esp - Béla (69 bytes)", "00000040|00 00 00 00 00|.....",
          "00000000|46 4E 41 4D 05 00 00 00 42 65 6C 61 00 49 4E 54|FNAM....Bela.INT"}},
        {"NPC_ nobody", 1, {"vantor: no NPC_ entry \"nobody\" in Café.esp"}},
        {"TES3 x", 2, {"vantor: TES3 is not a record type that has entries"}},
    };
    auto show = [&](const std::string& args) {
        const std::string where = "show --settings '" + (dir / "vantor.ini") + "' --data-dir '" + dir.Path() + "' ";
        return RunProgram(VANTOR_CLI, where + "'" + (dir / "Café.esp") + "' " + args, "", "");
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_args);
        const CProgramRun run = show(c.m_args);
        EXPECT_EQ(run.m_exit, c.m_status) << run.m_out;
        const std::string lines = Cells(run.m_out);
        for (const std::string& line : c.m_lines)
            EXPECT_NE(lines.find("\n" + line + "\n"), std::string::npos) << line << lines;
    }
    const std::string json = show("NPC_ 'Béla' --format json").m_out;
    EXPECT_NE(json.find(R"({"ID":"NPCO","Data":"2 = gold_001","Type":"Mixed","Bytes":"36"})"), std::string::npos)
        << json;
}
