// vantor show, run as the user runs it: the editor's rows or the hex dump of
// one entry of a plugin, found by tag and ID, printed whole.
#include <gtest/gtest.h>

#include <string>

#include "document/Options.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

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

    const std::string npc =
        "Café.esp - Béla (3)\n"
        "ID    Data          Type   Bytes\n"
        "FNAM  Bela          Ascii  5\n"
        "INTV  -1            Dec    4\n"
        "NPCO  2 = gold_001  Mixed  36\n";
    const struct {
        std::string m_args;
        int m_status;
        std::string m_out;
    } cases[] = {
        // The ID typed in UTF-8 finds the entry whose ID is Windows-1252; the
        // file name is printed as the file system has it.
        {"NPC_ 'Béla'", 0, npc},
        // Bytes that are not UTF-8 are taken as given: Windows-1252 already.
        {"NPC_ 'B\xE9la'", 0, npc},
        // A line break inside a text stays on its row; the tag is found in any case.
        {"info 1", 0,
         "Café.esp - 1 (2)\n"
         "ID    Data                      Type   Bytes\n"
         "DATA  000000000000000000000000  Hex    12\n"
         "NAME  Well met.\\nWhat now?      Ascii  19\n"},
        // FNAM, 5, "Bela\0", then INTV's tag: the ID subrecord is not part of it.
        {"NPC_ 'Béla' --hex", 0,
         "Café.esp - Béla (69 bytes)\n"
         "00000000  46 4E 41 4D 05 00 00 00 42 65 6C 61 00 49 4E 54  FNAM....Bela.INT\n"
         "00000010  56 04 00 00 00 FF FF FF FF 4E 50 43 4F 24 00 00  V....ÿÿÿÿNPCO$..\n"
         "00000020  00 02 00 00 00 67 6F 6C 64 5F 30 30 31 00 00 00  .....gold_001...\n"
         "00000030  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................\n"
         "00000040  00 00 00 00 00                                   .....\n"},
        {"NPC_ nobody", 1, "vantor: no NPC_ entry \"nobody\" in Café.esp\n"},
        {"TES3 x", 2, "vantor: TES3 is not a record type that has entries\n"},
    };
    auto show = [&](const std::string& args) {
        const std::string where = "show --settings '" + (dir / "vantor.ini") + "' --data-dir '" + dir.Path() + "' ";
        return RunProgram(VANTOR_CLI, where + "'" + (dir / "Café.esp") + "' " + args, "", "");
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_args);
        const CProgramRun run = show(c.m_args);
        EXPECT_EQ(run.m_exit, c.m_status);
        EXPECT_EQ(run.m_out, c.m_out);
    }
    const std::string json = show("NPC_ 'Béla' --format json").m_out;
    EXPECT_NE(json.find(R"({"ID":"NPCO","Data":"2 = gold_001","Type":"Mixed","Bytes":"36"})"), std::string::npos)
        << json;
}
