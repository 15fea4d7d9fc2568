#include <gtest/gtest.h>

#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace vantor::platform {
namespace {

using fixtures::CTempDir;

std::string Slurp(const std::string& path) {
    std::string text;
    return platform::ReadWholeFile(path, text) ? text : "<unreadable>";
}

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

CProfile Parsed(std::string_view text) {
    CProfile p;
    p.Parse(text);
    return p;
}

TEST(Profile, ParseKeepsEveryByte) {
    for (std::string text : {
             std::string("[A]\r\nk=v\r\n\r\n; note\r\n[B]\r\nx = y \r\n"),
             std::string("[A]\nk=v\n"),
             std::string("[A]\r\nk=v\nno end"),
             std::string("\xEF\xBB\xBF[A]\r\n"),
             std::string(""),
             std::string("\n\n\r\n"),
         })
        EXPECT_EQ(Parsed(text).Text(), text);
}

TEST(Profile, ReadsNamesWithoutCaseAndValuesTrimmed) {
    auto p = Parsed(
        "orphan=before any section\r\n"
        "[Options]\r\n"
        "; DefaultOps=ff\r\n"
        "  DefaultOps =  0707  \r\n"
        "defaultops=0303\r\n"
        "Quoted=\" padded \"\r\n"
        "Half=\"open\r\n"
        "Single='x'\r\n"
        "Inline=a ; not a comment\r\n"
        "NoEquals\r\n"
        "[ Other ]\r\n"
        "Key=\r\n"
        "[options]\r\n"
        "Later=ignored, the first section wins\r\n");
    EXPECT_EQ(p.Get("OPTIONS", "defaultOPS"), "0707");
    EXPECT_EQ(p.Get("Options", "Quoted"), " padded ");
    EXPECT_EQ(p.Get("Options", "Half"), "\"open");
    EXPECT_EQ(p.Get("Options", "Single"), "x");
    EXPECT_EQ(p.Get("Options", "Inline"), "a ; not a comment");
    EXPECT_EQ(p.Get("Options", "; DefaultOps"), std::nullopt);
    EXPECT_EQ(p.Get("Options", "NoEquals"), std::nullopt);
    EXPECT_EQ(p.Get("Options", "Later"), std::nullopt);
    EXPECT_EQ(p.Get("Options", "orphan"), std::nullopt);
    EXPECT_EQ(p.Get("other", "key"), "");
    EXPECT_EQ(p.Get("Other", "missing", "dflt"), "dflt");
    EXPECT_FALSE(p.HasSection("Missing"));

    // A byte-order mark written by an editor does not hide the first header.
    EXPECT_EQ(Parsed("\xEF\xBB\xBF[FindObj]\r\nFind0=x\r\n").Get("findobj", "find0"), "x");
}

TEST(Profile, WritesInPlaceAndAppendsWhereWindowsWould) {
    auto p = Parsed(
        "; settings\r\n"
        "[options]\r\n"
        "  defaultops = 0303 \r\n"
        "LoadEsms=0000000000\r\n"
        "\r\n"
        "; about the next section\r\n"
        "[FindObj]\r\n"
        "Find0=a\r\n");
    ASSERT_TRUE(p.Set("Options", "DefaultOps", "0707"));
    ASSERT_TRUE(p.Set("Options", "ExtractOpts", "0100000001000000000000000000000002"));
    ASSERT_TRUE(p.Set("DialogRepair", "EspFilename", ""));
    ASSERT_TRUE(p.Set("DIALOGREPAIR", "EspPath", "/data/"));
    EXPECT_EQ(p.Text(),
              "; settings\r\n"
              "[options]\r\n"
              "  defaultops = 0707\r\n"
              "LoadEsms=0000000000\r\n"
              "ExtractOpts=0100000001000000000000000000000002\r\n"
              "\r\n"
              "; about the next section\r\n"
              "[FindObj]\r\n"
              "Find0=a\r\n"
              "\r\n"
              "[DialogRepair]\r\n"
              "EspFilename=\r\n"
              "EspPath=/data/\r\n");
    EXPECT_TRUE(p.Changed());

    // Writing the value a key already holds changes nothing, spacing included.
    auto same = Parsed("[A]\nK = \"v\" \n");
    ASSERT_TRUE(same.Set("a", "k", "v"));
    EXPECT_FALSE(same.Changed());
    EXPECT_EQ(same.Text(), "[A]\nK = \"v\" \n");

    // LF files get LF lines; a last line without an end gets one first.
    auto lf = Parsed("[A]\nk=1\n[B]\nz=2");
    ASSERT_TRUE(lf.Set("B", "y", "3"));
    ASSERT_TRUE(lf.Set("A", "j", "4"));
    ASSERT_TRUE(lf.Set("C", "x", "5"));
    EXPECT_EQ(lf.Text(), "[A]\nk=1\nj=4\n[B]\nz=2\ny=3\n\n[C]\nx=5\n");

    // A section with no keys yet takes the key after its comments.
    auto bare = Parsed("[A]\r\n; first\r\n\r\n[B]\r\n");
    ASSERT_TRUE(bare.Set("A", "k", "v"));
    EXPECT_EQ(bare.Text(), "[A]\r\n; first\r\nk=v\r\n\r\n[B]\r\n");
}

TEST(Profile, RefusesWhatAnIniLineCannotHoldAndQuotesWhatReadingWouldStrip) {
    CProfile p;
    EXPECT_FALSE(p.Set("Find\nObj", "Find0", "x"));
    EXPECT_FALSE(p.Set("Find]", "Find0", "x"));
    EXPECT_FALSE(p.Set("", "Find0", "x"));
    EXPECT_FALSE(p.Set("FindObj", "", "x"));
    EXPECT_FALSE(p.Set("FindObj", " Find0", "x"));
    EXPECT_FALSE(p.Set("FindObj", "a=b", "x"));
    EXPECT_FALSE(p.Set("FindObj", ";c", "x"));
    EXPECT_FALSE(p.Set("FindObj", "Find0", "line\r\n[Options]\r\nDefaultOps=0000"));
    EXPECT_FALSE(p.Set("FindObj", "Find0", std::string("a\0b", 3)));
    EXPECT_EQ(p.Text(), "");

    for (std::string value : {" lead", "trail\t", "\"quoted\"", "'q'", "\"", "mid dle", "\"half"}) {
        ASSERT_TRUE(p.Set("FindObj", "Find0", value));
        auto back = Parsed(p.Text());
        EXPECT_EQ(back.Get("FindObj", "Find0"), value);
    }
}

TEST(Profile, StructValuesCarryAChecksum) {
    const std::uint8_t one[] = {7};
    const std::uint8_t loadEsms[] = {1, 0, 0, 0};
    const std::uint8_t extract[] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t wraps[] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(EncodeStruct(one), "0707");
    EXPECT_EQ(EncodeStruct(loadEsms), "0100000001");
    EXPECT_EQ(EncodeStruct(extract), "0100000001000000000000000000000002");
    EXPECT_EQ(EncodeStruct(wraps), "FFFF0301");
    EXPECT_EQ(EncodeStruct({}), "00");

    EXPECT_EQ(DecodeStruct("0707", 1), std::vector<std::uint8_t>{7});
    EXPECT_EQ(DecodeStruct("ffff0301", 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 3}));
    EXPECT_EQ(DecodeStruct("0708", 1), std::nullopt);         // checksum
    EXPECT_EQ(DecodeStruct("070707", 1), std::nullopt);       // too long
    EXPECT_EQ(DecodeStruct("07071", 1), std::nullopt);        // odd length
    EXPECT_EQ(DecodeStruct("07", 1), std::nullopt);           // too short
    EXPECT_EQ(DecodeStruct("0G0G", 1), std::nullopt);         // not hex
    EXPECT_EQ(DecodeStruct("+707", 1), std::nullopt);
    EXPECT_EQ(DecodeStruct("", 0), std::nullopt);

    auto p = Parsed("[Options]\r\nLoadEsms=0100000001\r\nBad=0100000002\r\n");
    EXPECT_EQ(p.GetStruct("options", "loadesms", 4), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(p.GetStruct("Options", "LoadEsms", 3), std::nullopt);
    EXPECT_EQ(p.GetStruct("Options", "Bad", 4), std::nullopt);
    EXPECT_EQ(p.GetStruct("Options", "Missing", 4), std::nullopt);
    ASSERT_TRUE(p.SetStruct("Options", "Bad", loadEsms));
    EXPECT_EQ(p.Text(), "[Options]\r\nLoadEsms=0100000001\r\nBad=0100000001\r\n");
}

TEST(Profile, NumberedKeysStopAtTheFirstGapOrEmptyValue) {
    auto p = Parsed(
        "[General]\r\nGameFile0=wrong section\r\n"
        "[Game Files]\r\n"
        "GameFile1=Tribunal.esm\r\n"
        "GAMEFILE0=Morrowind.esm\r\n"
        "gamefile2=My Mod.ESP\r\n"
        "GameFile4=after a gap.esp\r\n");
    EXPECT_EQ(p.GetNumbered("game files", "GameFile"),
              (std::vector<std::string>{"Morrowind.esm", "Tribunal.esm", "My Mod.ESP"}));
    EXPECT_TRUE(Parsed("[Game Files]\r\nGameFile1=a.esp\r\n").GetNumbered("Game Files", "GameFile").empty());
    EXPECT_EQ(Parsed("[Game Files]\nGameFile0=a.esp\nGameFile1=\nGameFile2=b.esp\n").GetNumbered("Game Files", "GameFile"),
              std::vector<std::string>{"a.esp"});
    EXPECT_TRUE(Parsed("").GetNumbered("Game Files", "GameFile").empty());
}

TEST(Profile, FilesAreCreatedUpdatedAndNeverReplacedBlindly) {
    CTempDir dir;
    auto path = dir / "vantor.ini";
    EXPECT_EQ(ReadProfileString(path, "Options", "DefaultOps", "none"), "none");
    const std::uint8_t ops[] = {7};
    ASSERT_TRUE(WriteProfileStruct(path, "Options", "DefaultOps", ops));
    ASSERT_TRUE(WriteProfileString(path, "FindObj", "Find0", "ALMA"));
    EXPECT_EQ(Slurp(path), "[Options]\r\nDefaultOps=0707\r\n\r\n[FindObj]\r\nFind0=ALMA\r\n");
    EXPECT_EQ(ReadProfileStruct(path, "options", "DEFAULTOPS", 1), std::vector<std::uint8_t>{7});

    // The file's permissions survive a rewrite, and a read-only file is
    // left alone even for a user allowed to override that.
    ASSERT_TRUE(fixtures::SetMode(path, 0640));
    ASSERT_TRUE(WriteProfileString(path, "FindObj", "Find0", "VIVEC"));
    EXPECT_EQ(FileMode(path), fixtures::KeptMode(0640));
    ASSERT_TRUE(fixtures::SetMode(path, 0444));
    EXPECT_FALSE(WriteProfileString(path, "FindObj", "Find0", "lost"));
    EXPECT_EQ(ReadProfileString(path, "FindObj", "Find0"), "VIVEC");
    ASSERT_TRUE(fixtures::SetMode(path, 0644));

    // A file that exists but cannot be read is never replaced by a new one.
    SetFaultHook([&](EFileOp op, const std::string& p) { return op == EFileOp::Read && p == path; });
    CProfile unreadable;
    EXPECT_EQ(unreadable.Load(path), CProfile::ELoad::Failed);
    EXPECT_FALSE(WriteProfileString(path, "FindObj", "Find1", "x"));
    SetFaultHook(nullptr);
    EXPECT_EQ(ReadProfileString(path, "FindObj", "Find0"), "VIVEC");

    // A failed write leaves the old file whole.
    SetFaultHook([&](EFileOp op, const std::string&) { return op == EFileOp::Write; });
    EXPECT_FALSE(WriteProfileString(path, "FindObj", "Find0", "x"));
    SetFaultHook(nullptr);
    EXPECT_EQ(Slurp(path), "[Options]\r\nDefaultOps=0707\r\n\r\n[FindObj]\r\nFind0=VIVEC\r\n");

    // The game's own file is found whatever the case of its name, and a write
    // goes to that file rather than creating a second one.
    Spit(dir / "MORROWIND.INI", "[Game Files]\nGameFile0=Morrowind.esm\nGameFile1=a.esp\n");
    EXPECT_EQ(ReadNumberedKeys(dir / "Morrowind.ini", "Game Files", "GameFile"),
              (std::vector<std::string>{"Morrowind.esm", "a.esp"}));
    ASSERT_TRUE(WriteProfileString(dir / "Morrowind.ini", "Game Files", "GameFile2", "b.esp"));
    EXPECT_EQ(ListFolder(dir.Path()).size(), 2u);
    EXPECT_EQ(Slurp(dir / "MORROWIND.INI"), "[Game Files]\nGameFile0=Morrowind.esm\nGameFile1=a.esp\nGameFile2=b.esp\n");

#ifndef _WIN32  // links need a privilege on Windows
    // A settings file kept elsewhere through a link stays linked.
    Spit(dir / "real.ini", "[A]\r\nk=1\r\n");
    ASSERT_EQ(::symlink((dir / "real.ini").c_str(), (dir / "link.ini").c_str()), 0);
    ASSERT_TRUE(WriteProfileString(dir / "link.ini", "A", "k", "2"));
    struct stat link{};
    ASSERT_EQ(::lstat((dir / "link.ini").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(Slurp(dir / "real.ini"), "[A]\r\nk=2\r\n");
#endif

    // A folder that does not exist cannot take the file.
    EXPECT_FALSE(WriteProfileString(dir / "no/such/vantor.ini", "A", "k", "v"));
}

}  // namespace
}  // namespace vantor::platform
