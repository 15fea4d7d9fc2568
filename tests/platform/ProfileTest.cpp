#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <optional>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fixtures/FaultGuard.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace vantor::platform {
namespace {

using namespace std::string_literals;

using fixtures::ReadText;

CProfile Parsed(std::string_view text) {
    CProfile p;
    p.Parse(text);
    return p;
}

TEST(Profile, ReadsNamesWithoutCaseAndKeepsEveryByte) {
    for (std::string text : {"[A]\r\nk=v\r\n\r\n; note\r\n[B]\r\nx = y \r\n", "[A]\r\nk=v\nno end", "\xEF\xBB\xBF\n"})
        EXPECT_EQ(Parsed(text).Text(), text);

    auto p = Parsed("orphan=before any section\r\n[Options]\r\n; DefaultOps=ff\r\n  DefaultOps =  0707  \r\n"
                    "defaultops=0303\r\nQuoted=\" padded \"\r\nHalf=\"open\r\nSingle='x'\r\n"
                    "Inline=a ; not a comment\r\nNoEquals\r\n[ Other ]\r\nKey=\r\n[options]\r\n"
                    "Later=ignored, the first section wins\r\n");
    const std::pair<const char*, std::optional<std::string>> keys[] = {
        {"defaultOPS", "0707"}, {"Quoted", " padded "}, {"Half", "\"open"}, {"Single", "x"},
        {"Inline", "a ; not a comment"}, {"; DefaultOps", std::nullopt}, {"NoEquals", std::nullopt},
        {"Later", std::nullopt}, {"orphan", std::nullopt},
    };
    for (const auto& [key, value] : keys) EXPECT_EQ(p.Get("OPTIONS", key), value) << key;
    EXPECT_EQ(p.Get("other", "key"), "");
    EXPECT_EQ(p.Get("Other", "missing", "dflt"), "dflt");
    EXPECT_FALSE(p.HasSection("Missing"));
    // A byte-order mark written by an editor does not hide the first header.
    EXPECT_EQ(Parsed("\xEF\xBB\xBF[FindObj]\r\nFind0=x\r\n").Get("findobj", "find0"), "x");

    // Numbered keys stop at the first gap or empty value; of a key given
    // twice the first counts, as for Get; "01" is not 1.
    EXPECT_EQ(Parsed("[General]\r\nGameFile0=wrong section\r\n[Game Files]\r\nGameFile1=Tribunal.esm\r\n"
                     "GameFile02=not two\r\nGameFile=none\r\nGameFile2x=none\r\nGameFile99999999999999999999=x\r\n"
                     "GAMEFILE0=Morrowind.esm\r\n gamefile2 = My Mod.ESP\r\nGameFile1=repeated.esp\r\n"
                     "GameFile4=after a gap.esp\r\n")
                  .GetNumbered("game files", "GameFile"),
              (std::vector<std::string>{"Morrowind.esm", "Tribunal.esm", "My Mod.ESP"}));
    EXPECT_EQ(Parsed("[Game Files]\nGameFile0=a\nGameFile1=\nGameFile2=b\n").GetNumbered("Game Files", "GameFile"),
              std::vector<std::string>{"a"});
}

TEST(Profile, WritesInPlaceAndAppendsWhereWindowsWould) {
    // In place, keeping the key's spelling; after a section's last key, or
    // after the comments of one with none; a last line without an end gets
    // one first; a new section goes last, after a blank line.
    auto p = Parsed("; settings\r\n[options]\r\n  defaultops = 0303 \r\n\r\n; about the next section\r\n[A]\r\n"
                    "; first\r\n\r\n[B]\r\nz=2");
    ASSERT_TRUE(p.Set("Options", "DefaultOps", "0707") && p.Set("Options", "ExtractOpts", "01"));
    ASSERT_TRUE(p.Set("A", "j", "4") && p.Set("b", "y", "3"));
    ASSERT_TRUE(p.Set("DialogRepair", "EspFilename", "") && p.Set("DIALOGREPAIR", "EspPath", "/data/"));
    EXPECT_EQ(p.Text(), "; settings\r\n[options]\r\n  defaultops = 0707\r\nExtractOpts=01\r\n\r\n"
                        "; about the next section\r\n[A]\r\n; first\r\nj=4\r\n\r\n[B]\r\nz=2\r\ny=3\r\n\r\n"
                        "[DialogRepair]\r\nEspFilename=\r\nEspPath=/data/\r\n");
    EXPECT_TRUE(p.Changed());

    // What an ini line cannot hold is refused; what reading would strip is quoted.
    CProfile q;
    for (const auto& [section, key, value] : std::vector<std::array<std::string, 3>>{
             {"Find\nObj", "Find0", "x"}, {"Find]", "Find0", "x"}, {"", "Find0", "x"}, {"FindObj", "", "x"},
             {"FindObj", " Find0", "x"}, {"FindObj", "a=b", "x"}, {"FindObj", ";c", "x"},
             {"FindObj", "Find0", "line\r\n[Options]\r\nDefaultOps=0"}, {"FindObj", "Find0", std::string("a\0b", 3)}})
        EXPECT_FALSE(q.Set(section, key, value)) << section << "/" << key;
    EXPECT_EQ(q.Text(), "");
    for (std::string value : {" lead", "trail\t", "\"quoted\"", "'q'", "\"", "mid dle", "\"half"}) {
        ASSERT_TRUE(q.Set("FindObj", "Find0", value));
        EXPECT_EQ(Parsed(q.Text()).Get("FindObj", "Find0"), value);
    }
}

// Bytes as hex, then the low byte of their sum; either case of hex reads.
TEST(Profile, StructValuesCarryAChecksum) {
    const std::vector<std::uint8_t> bytes{0xFF, 0xFF, 0x03};
    EXPECT_EQ(EncodeStruct(bytes), "FFFF0301");
    EXPECT_EQ(EncodeStruct({}), "00");
    EXPECT_EQ(DecodeStruct("ffff0301", 3), bytes);
    // A wrong checksum, too long, odd, too short, not hex, empty.
    for (const char* bad : {"0708", "070707", "07071", "07", "0G0G", "+707", ""})
        EXPECT_EQ(DecodeStruct(bad, 1), std::nullopt) << bad;
}

TEST(Profile, FilesAreCreatedUpdatedAndNeverReplacedBlindly) {
    fixtures::CTempDir dir;
    auto path = dir / "vantor.ini";
    EXPECT_EQ(ReadProfileString(path, "Options", "DefaultOps", "none"), "none");
    ASSERT_TRUE(WriteProfileString(path, "FindObj", "Find0", "ALMA"));

    // The file's permissions survive a rewrite, and a read-only file is
    // left alone even for a user allowed to override that.
#ifndef _WIN32
    // Any write bit will do for a user the system lets write all the same.
    ASSERT_TRUE(fixtures::SetMode(path, 0466));
    EXPECT_EQ(WriteProfileString(path, "FindObj", "Find0", "SOTHA"), ::geteuid() == 0);
#endif
    ASSERT_TRUE(fixtures::SetMode(path, 0640));
    ASSERT_TRUE(WriteProfileString(path, "FindObj", "Find0", "VIVEC"));
    EXPECT_EQ(FileMode(path), fixtures::KeptMode(0640));
    ASSERT_TRUE(fixtures::SetMode(path, 0444));
    EXPECT_FALSE(WriteProfileString(path, "FindObj", "Find0", "lost"));
    ASSERT_TRUE(fixtures::SetMode(path, 0644));

    // A file that cannot be read is never replaced by a new one, and a failed
    // write leaves the old file whole.
    for (EFileOp failing : {EFileOp::Read, EFileOp::Write}) {
        {
            const fixtures::CFaultGuard fault([&](EFileOp op, const std::string&) { return op == failing; });
            EXPECT_TRUE(failing != EFileOp::Read || CProfile().Load(path) == CProfile::ELoad::Failed);
            EXPECT_FALSE(WriteProfileString(path, "FindObj", "Find1", "x"));
        }
        EXPECT_EQ(ReadText(path), "[FindObj]\r\nFind0=VIVEC\r\n");
    }

    // The game's own file is found whatever the case of its name.
    std::ofstream(dir / "MORROWIND.INI", std::ios::binary) << "[Game Files]\nGameFile0=Morrowind.esm\n";
    const std::vector<std::string> files{"Morrowind.esm"};
    EXPECT_EQ(ReadNumberedKeys(dir / "morrowind.ini", "Game Files", "GameFile"), files);

#ifndef _WIN32  // links need a privilege on Windows
    // A settings file kept elsewhere through a link stays linked.
    std::ofstream(dir / "real.ini", std::ios::binary) << "[A]\r\nk=1\r\n";
    ASSERT_EQ(::symlink((dir / "real.ini").c_str(), (dir / "link.ini").c_str()), 0);
    ASSERT_TRUE(WriteProfileString(dir / "link.ini", "A", "k", "2"));
    struct stat link{};
    ASSERT_EQ(::lstat((dir / "link.ini").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(ReadText(dir / "real.ini"), "[A]\r\nk=2\r\n");
#endif
    EXPECT_FALSE(WriteProfileString(dir / "no/such/vantor.ini", "A", "k", "v"));  // no folder to take it

    // A plugin named as the settings file is no settings file: neither a key
    // nor a whole text reaches it, and its write time stays. Text stays text.
    const std::string plugin = "TES3\x2c\x01\0\0\0\0\0\0\0\0\0\0HEDR"s;
    std::ofstream(dir / "Mod.esp", std::ios::binary) << plugin;
    ASSERT_TRUE(SetFileTimes(dir / "Mod.esp", {1000, 0, 2000, 0}));
    EXPECT_EQ(CProfile().Load(dir / "mod.esp"), CProfile::ELoad::Failed);
    EXPECT_FALSE(WriteProfileString(dir / "Mod.esp", "A", "k", "v"));
    CProfile text;
    text.Parse("[A]\r\nk=v\r\n");
    EXPECT_FALSE(text.Save(dir / "Mod.esp"));
    EXPECT_EQ(LastErrorMessage(), "Not a settings file: it holds bytes that are not text");
    EXPECT_EQ(ReadText(dir / "Mod.esp"), plugin);
    EXPECT_EQ(LastWriteTime(dir / "Mod.esp"), 2000);
    EXPECT_TRUE(IsTextLines("[A]\r\n\tk = v\f\v\n; caf\xE9\n"));
    EXPECT_FALSE(IsTextLines("k=\x1A"));

    // The working file a killed write left beside the settings goes with the
    // next write.
    const std::string leftover = dir / ".vantor-999999996-abcdefghijkl.tmp";
    std::ofstream(leftover) << "[A]\r\nk=half";
    ASSERT_TRUE(WriteProfileString(path, "A", "k", "w"));
    EXPECT_FALSE(FileExists(leftover));
}

}  // namespace
}  // namespace vantor::platform
