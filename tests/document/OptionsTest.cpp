#include <gtest/gtest.h>

#include <fstream>

#include "document/Options.h"
#include "fixtures/GameFolder.h"
#include "platform/Files.h"

namespace vantor {
namespace {

using fixtures::CTempDir;

std::string Slurp(const std::string& path) {
    std::string text;
    return platform::ReadWholeFile(path, text) ? text : "<unreadable>";
}

void Spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::string kAllOnes = Repeat("01000000", 38) + "26";
const std::string kUncleanDefault = Repeat("01000000", 16) + "00000000" + Repeat("01000000", 21) + "25";

// The file a first start writes, byte for byte.
const std::string kFirstStart =
    "[Options]\r\n"
    "ConflictChecks=" + kAllOnes + "\r\n"
    "UncleanChecks=" + kUncleanDefault + "\r\n"
    "DefaultOps=0707\r\n"
    "LoadEsms=0100000001\r\n"
    "ExtractOpts=0100000001000000000000000000000002\r\n"
    "\r\n"
    "[DialogRepair]\r\n"
    "EspFilename=\r\n"
    "EspPath=\r\n"
    "Enable=0000000000\r\n"
    "\r\n"
    "[FindObj]\r\n"
    "Find0=\r\n"
    "Find1=\r\n"
    "Find2=\r\n"
    "Find3=\r\n"
    "Find4=\r\n";

TEST(Options, FirstStartWritesEveryDefault) {
    CTempDir dir;
    COptionSet options;
    options.m_defaultOps = 1;  // overwritten by the defaults
    options.Load(dir / "vantor.ini");
    EXPECT_EQ(Slurp(dir / "vantor.ini"), kFirstStart);
    EXPECT_EQ(options, COptionSet());
    EXPECT_EQ(options.m_uncleanChecks[kInfoCheck], 0);
    EXPECT_EQ(options.m_uncleanChecks[15], 1);
    EXPECT_FALSE(options.DialogRepairEnabled());

    // Saving unchanged options at exit leaves the file as it is.
    EXPECT_TRUE(options.Save(dir / "vantor.ini"));
    EXPECT_EQ(Slurp(dir / "vantor.ini"), kFirstStart);
}

TEST(Options, BadOrMissingValuesAreRepairedInPlace) {
    CTempDir dir;
    auto path = dir / "vantor.ini";
    std::string conflicts = Repeat("01000000", 3) + "00000000" + Repeat("01000000", 34) + "25";
    Spit(path,
         "; my notes\n"
         "[options]\n"
         "conflictchecks = " + conflicts + "\n"
         "UncleanChecks=" + Repeat("01000000", 37) + "25\n"  // one entry short
         "DefaultOps=0708\n"                                // checksum
         "LoadEsms=0000000000\n"
         "ExtractOpts=01000000010000000100000001000000zz\n"  // not hex
         "\n"
         "[DialogRepair]\n"
         "EspFilename=Repair.esp\n"
         "Enable=0100000001\n"
         "\n"
         "[FindObj]\n"
         "Find0=Vivec\n"
         "Find2=  ALMA  \n");
    COptionSet options;
    options.Load(path);

    CCheckSwitches expectConflicts;
    expectConflicts.fill(1);
    expectConflicts[3] = 0;
    EXPECT_EQ(options.m_conflictChecks, expectConflicts);
    EXPECT_EQ(options.m_uncleanChecks, COptionSet().m_uncleanChecks);
    EXPECT_EQ(options.m_defaultOps, 7);
    EXPECT_EQ(options.m_loadEsms, 0);
    EXPECT_EQ(options.m_extractOpts.m_landData, 0);
    EXPECT_EQ(options.m_espFilename, "Repair.esp");
    EXPECT_EQ(options.m_espPath, "");
    EXPECT_TRUE(options.DialogRepairEnabled());
    EXPECT_EQ(options.m_findHistory, (std::array<std::string, 5>{"Vivec", "", "ALMA", "", ""}));

    EXPECT_EQ(Slurp(path),
              "; my notes\n"
              "[options]\n"
              "conflictchecks = " + conflicts + "\n"
              "UncleanChecks=" + kUncleanDefault + "\n"
              "DefaultOps=0707\n"
              "LoadEsms=0000000000\n"
              "ExtractOpts=0100000001000000000000000000000002\n"
              "\n"
              "[DialogRepair]\n"
              "EspFilename=Repair.esp\n"
              "Enable=0100000001\n"
              "EspPath=\n"
              "\n"
              "[FindObj]\n"
              "Find0=Vivec\n"
              "Find2=  ALMA  \n"
              "Find1=\n"
              "Find3=\n"
              "Find4=\n");
}

TEST(Options, EnableTurnsOnOnlyForANonZeroValue) {
    CTempDir dir;
    struct Case {
        const char* line;
        bool enabled;
    } cases[] = {
        {"Enable=0100000001", true},  {"enable=FFFFFFFFFC", true}, {"Enable=0000000000", false},
        {"Enable=0100000002", false}, {"Enable=1", false},          {"", false},
    };
    for (const auto& c : cases) {
        Spit(dir / "vantor.ini", std::string("[DialogRepair]\r\n") + c.line + "\r\n");
        COptionSet options;
        options.Load(dir / "vantor.ini");
        EXPECT_EQ(options.DialogRepairEnabled(), c.enabled) << c.line;
    }
}

TEST(Options, SaveWritesTheCurrentValuesAndReadsBack) {
    CTempDir dir;
    auto path = dir / "vantor.ini";
    COptionSet options;
    options.Load(path);
    std::string withNote = "; kept\r\n" + Slurp(path);
    Spit(path, withNote);

    options.m_conflictChecks[0] = 0;
    options.m_uncleanChecks[kInfoCheck] = 1;
    options.m_uncleanChecks[37] = 5;  // kept as read, though nothing uses it
    options.m_defaultOps = 0x85;
    options.m_loadEsms = 0;
    options.m_extractOpts = CExtractOpts::All();
    options.m_espFilename = "Dialog Repair.esp";
    options.m_espPath = "/home/n'wah/Data Files/";
    options.m_enable = -1;
    options.RememberFind("Caius Cosades");
    options.RememberFind(" padded ");
    ASSERT_TRUE(options.Save(path));

    std::string text = Slurp(path);
    EXPECT_TRUE(text.starts_with("; kept\r\n[Options]\r\nConflictChecks=00000000")) << text;
    EXPECT_NE(text.find("\r\nDefaultOps=8585\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nExtractOpts=0100000001000000010000000100000004\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nEnable=FFFFFFFFFC\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nFind0=\" padded \"\r\nFind1=Caius Cosades\r\nFind2=\r\n"), std::string::npos) << text;

    COptionSet back;
    back.Load(path);
    EXPECT_EQ(back, options);
    EXPECT_EQ(Slurp(path), text);  // a valid file is not rewritten by loading it

    // A find text no ini line can hold is not saved; everything else is.
    options.m_findHistory[4] = "two\nlines";
    options.m_loadEsms = 1;
    EXPECT_FALSE(options.Save(path));
    back.Load(path);
    EXPECT_EQ(back.m_loadEsms, 1);
    EXPECT_EQ(back.m_findHistory[4], "");
}

TEST(Options, UnwritableOrUnreadableFilesAreLeftAlone) {
    CTempDir dir;
    auto path = dir / "vantor.ini";

    // No file can be created: the run goes on with the defaults in memory.
    COptionSet options;
    {
        fixtures::CFaultGuard guard([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Write; });
        options.Load(path);
        EXPECT_EQ(options, COptionSet());
        EXPECT_FALSE(platform::FileExists(path));
        EXPECT_FALSE(options.Save(path));
    }

    // A file that cannot be read keeps the user's settings: neither the load
    // nor the save at exit replaces it with defaults.
    std::string mine = "[Options]\r\nDefaultOps=0101\r\n";
    Spit(path, mine);
    {
        fixtures::CFaultGuard guard(
            [&](platform::EFileOp op, const std::string& p) { return op == platform::EFileOp::Read && p == path; });
        options.Load(path);
        EXPECT_EQ(options.m_defaultOps, 7);
        EXPECT_FALSE(options.Save(path));
    }
    EXPECT_EQ(Slurp(path), mine);
}

TEST(Options, FindHistoryMovesTheTextToTheFront) {
    struct Case {
        std::array<std::string, 5> before;
        std::string text;
        std::array<std::string, 5> after;
    } cases[] = {
        {{"", "", "", "", ""}, "A", {"A", "", "", "", ""}},
        {{"B", "A", "", "", ""}, "A", {"A", "B", "", "", ""}},
        {{"A", "B", "C", "D", "E"}, "A", {"A", "B", "C", "D", "E"}},
        {{"A", "B", "C", "D", "E"}, "D", {"D", "A", "B", "C", "E"}},
        {{"A", "B", "C", "D", "E"}, "E", {"E", "A", "B", "C", "D"}},
        {{"A", "B", "C", "D", "E"}, "F", {"F", "A", "B", "C", "D"}},
        {{"alma", "B", "", "", ""}, "ALMA", {"ALMA", "alma", "B", "", ""}},  // exact comparison
        {{"A", "", "B", "", ""}, "", {"", "A", "B", "", ""}},                // first empty entry moves up
    };
    for (const auto& c : cases) {
        COptionSet options;
        options.m_findHistory = c.before;
        options.RememberFind(c.text);
        EXPECT_EQ(options.m_findHistory, c.after) << "text " << c.text;
    }
}

}  // namespace
}  // namespace vantor
