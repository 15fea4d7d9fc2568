// The settings file: what a first start writes, how damaged values are
// repaired in place, and what a save keeps.
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

const std::string kUncleanDefault = Repeat("01000000", 16) + "00000000" + Repeat("01000000", 21) + "25";

TEST(Options, FirstStartWritesEveryDefaultAndSaveWritesTheCurrentValues) {
    CTempDir dir;
    const std::string path = dir / "vantor.ini";
    COptionSet options;
    options.m_defaultOps = 1;  // overwritten by the defaults
    options.Load(path);
    EXPECT_EQ(Slurp(path), "[Options]\r\nConflictChecks=" + Repeat("01000000", 38) + "26\r\nUncleanChecks=" +
                               kUncleanDefault +
                               "\r\nDefaultOps=0707\r\nLoadEsms=0100000001\r\n"
                               "ExtractOpts=0100000001000000000000000000000002\r\n"
                               "\r\n[DialogRepair]\r\nEspFilename=\r\nEspPath=\r\nEnable=0000000000\r\n"
                               "\r\n[FindObj]\r\nFind0=\r\nFind1=\r\nFind2=\r\nFind3=\r\nFind4=\r\n");
    EXPECT_EQ(options, COptionSet());
    // Saving unchanged options at exit leaves the file as it is.
    Spit(path, "; kept\r\n" + Slurp(path));
    const std::string unchanged = Slurp(path);
    EXPECT_TRUE(options.Save(path));
    EXPECT_EQ(Slurp(path), unchanged);

    options.m_conflictChecks[0] = 0;
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
    for (const char* part : {"; kept\r\n[Options]\r\nConflictChecks=00000000", "\r\nDefaultOps=8585\r\n",
                             "\r\nExtractOpts=0100000001000000010000000100000004\r\n", "\r\nEnable=FFFFFFFFFC\r\n",
                             "\r\nFind0=\" padded \"\r\nFind1=Caius Cosades\r\nFind2=\r\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
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

TEST(Options, BadOrMissingValuesAreRepairedInPlace) {
    CTempDir dir;
    auto path = dir / "vantor.ini";
    std::string conflicts = Repeat("01000000", 3) + "00000000" + Repeat("01000000", 34) + "25";
    const std::string kept = "; my notes\n[options]\nconflictchecks = " + conflicts + "\n";
    Spit(path, kept +
                   "UncleanChecks=" + Repeat("01000000", 37) + "25\n"  // one entry short
                   "DefaultOps=0708\n"                                // checksum
                   "LoadEsms=0000000000\n"
                   "ExtractOpts=01000000010000000100000001000000zz\n"  // not hex
                   "\n[DialogRepair]\nEspFilename=Repair.esp\nEnable=0100000001\n"
                   "\n[FindObj]\nFind0=Vivec\nFind2=  ALMA  \n");
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
    EXPECT_TRUE(options.DialogRepairEnabled());
    EXPECT_EQ(options.m_findHistory, (std::array<std::string, 5>{"Vivec", "", "ALMA", "", ""}));
    EXPECT_EQ(Slurp(path), kept +
                               "UncleanChecks=" + kUncleanDefault + "\n"
                               "DefaultOps=0707\n"
                               "LoadEsms=0000000000\n"
                               "ExtractOpts=0100000001000000000000000000000002\n"
                               "\n[DialogRepair]\nEspFilename=Repair.esp\nEnable=0100000001\nEspPath=\n"
                               "\n[FindObj]\nFind0=Vivec\nFind2=  ALMA  \nFind1=\nFind3=\nFind4=\n");

    // Dialogue repair is on only for a non-zero value with its checksum.
    const std::pair<const char*, bool> enable[] = {
        {"Enable=0100000001", true},  {"enable=FFFFFFFFFC", true}, {"Enable=0000000000", false},
        {"Enable=0100000002", false}, {"Enable=1", false},          {"", false},
    };
    for (const auto& [line, enabled] : enable) {
        Spit(path, std::string("[DialogRepair]\r\n") + line + "\r\n");
        COptionSet fresh;
        fresh.Load(path);
        EXPECT_EQ(fresh.DialogRepairEnabled(), enabled) << line;
    }

    // A file that cannot be read keeps the user's settings: neither the load
    // nor the save at exit replaces it with defaults.
    const std::string mine = "[Options]\r\nDefaultOps=0101\r\n";
    Spit(path, mine);
    {
        fixtures::CFaultGuard guard(
            [&](platform::EFileOp op, const std::string& p) { return op == platform::EFileOp::Read && p == path; });
        options.Load(path);
        EXPECT_EQ(options.m_defaultOps, 7);
        EXPECT_FALSE(options.Save(path));
    }
    EXPECT_EQ(Slurp(path), mine);

    // No file can be created: the run goes on with the defaults in memory.
    fixtures::CFaultGuard guard([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Write; });
    const std::string none = dir / "none.ini";
    options.Load(none);
    EXPECT_EQ(options, COptionSet());
    EXPECT_FALSE(platform::FileExists(none));
    EXPECT_FALSE(options.Save(none));
}

TEST(Options, FindHistoryMovesTheTextToTheFront) {
    using H = std::array<std::string, 5>;
    const auto remember = [](const H& before, const std::string& text) {
        COptionSet options;
        options.m_findHistory = before;
        options.RememberFind(text);
        return options.m_findHistory;
    };
    EXPECT_EQ(remember({"A", "B", "C", "D", "E"}, "A"), (H{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(remember({"A", "B", "C", "D", "E"}, "D"), (H{"D", "A", "B", "C", "E"}));
    EXPECT_EQ(remember({"A", "B", "C", "D", "E"}, "F"), (H{"F", "A", "B", "C", "D"}));
    EXPECT_EQ(remember({"alma", "B", "", "", ""}, "ALMA"), (H{"ALMA", "alma", "B", "", ""}));  // exact comparison
    EXPECT_EQ(remember({"A", "", "B", "", ""}, ""), (H{"", "A", "B", "", ""}));  // first empty entry moves up
}

}  // namespace
}  // namespace vantor
