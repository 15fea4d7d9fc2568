// File names as the system keeps them: letters beyond ASCII (on Windows
// through the wide-character calls, whatever the ANSI code page) and names
// that differ only in case.
#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
namespace fs = std::filesystem;

TEST(Names, LettersBeyondAsciiAndCase) {
    fixtures::CTempDir dir;
    // UTF-8 inside the program; the check mark is in no ANSI code page.
    const std::string folder = dir / "M\xC3\xB6rrowind \xE2\x9C\x93";
    const std::string name = "Caf\xC3\xA9 \xC3\x86r\xC3\xB8.esp";
    ASSERT_TRUE(fixtures::MakeFolder(folder));
    const std::string path = platform::WithSeparator(folder) + name;

    // Made as a clean makes a plugin: a working file renamed into place.
    platform::CFile work;
    ASSERT_TRUE(work.CreateUnique(platform::WithSeparator(folder), 0644));
    ASSERT_TRUE(work.Write("TES3") && work.Close());
    ASSERT_TRUE(platform::RenameFile(work.Path(), path, false)) << platform::LastErrorMessage();

    // The system holds the very letters: std::filesystem reads UTF-8 itself.
    EXPECT_TRUE(fs::is_regular_file(platform::FsPath(dir.Path()) / fs::path(u8"M\u00f6rrowind \u2713") /
                                    fs::path(u8"Caf\u00e9 \u00c6r\u00f8.esp")));
    EXPECT_EQ(platform::ListFolder(folder), std::vector<std::string>{name});
    ASSERT_TRUE(fixtures::StampFile(path, 1234567890));
    EXPECT_EQ(platform::LastWriteTime(path), 1234567890);
    EXPECT_FALSE(platform::LastWriteTime(path + ".gone"));
    ASSERT_TRUE(platform::CopyFile(path, path + ".OLD", false));
    std::string out;
    EXPECT_TRUE(platform::ReadWholeFile(path + ".OLD", out));
    EXPECT_EQ(out, "TES3");
    EXPECT_TRUE(platform::ReadFileStart(path, 2, out));
    EXPECT_EQ(out, "TE");

    // Another case of the ASCII letters finds the file, spelt as on disk,
    // everywhere; Windows takes it as the same file for every call.
    const std::string upper = platform::WithSeparator(folder) + "CAF\xC3\xA9 \xC3\x86R\xC3\xB8.ESP";
    EXPECT_TRUE(platform::ReadWholeFile(upper, out));
    EXPECT_EQ(platform::ResolvePath(upper), path);
    EXPECT_EQ(platform::ResolvePath(path), path);
    EXPECT_FALSE(platform::ResolvePath(platform::WithSeparator(folder) + "other.esp"));
    EXPECT_EQ(platform::SameFile(upper, path), fixtures::kCaseBlindNames);
    EXPECT_EQ(platform::FileExists(upper), fixtures::kCaseBlindNames);

    EXPECT_TRUE(platform::RemoveFile(path + ".OLD"));
    EXPECT_TRUE(platform::RemoveFile(path));
    EXPECT_TRUE(platform::ListFolder(folder).empty());
    EXPECT_EQ(platform::FolderOf(path) + platform::FileNameOf(path), path);
}

// A FIFO is refused at once, not waited on.
TEST(Files, OnlyRegularFilesAreRead) {
    fixtures::CTempDir dir;
    std::vector<std::pair<std::string, std::string>> special{{dir.Path(), "Not a regular file: a folder"}};
#ifdef _WIN32  // no FIFOs
    special.push_back({"NUL", "Not a regular file: a device"});
#else
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    special.push_back({dir / "fifo", "Not a regular file: a FIFO"});
    special.push_back({"/dev/null", "Not a regular file: a device"});
#endif
    std::string out;
    for (const auto& [path, why] : special) {
        EXPECT_FALSE(platform::ReadFileStart(path, 4, out)) << path;
        EXPECT_EQ(platform::LastErrorMessage(), why);
    }
}
