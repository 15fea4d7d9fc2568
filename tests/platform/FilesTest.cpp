#include <gtest/gtest.h>

#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;

TEST(Files, CaseFallbackSizeTimeAndFaults) {
    fixtures::CTempDir dir;
    std::ofstream(dir / "Mixed Case.ESP") << "12345";
    EXPECT_EQ(platform::ResolvePath(dir / "mixed case.esp"), dir / "Mixed Case.ESP");
    EXPECT_EQ(platform::ResolvePath(dir / "Mixed Case.ESP"), dir / "Mixed Case.ESP");
    EXPECT_FALSE(platform::ResolvePath(dir / "other.esp"));
    EXPECT_EQ(platform::FileSize(dir / "Mixed Case.ESP"), 5u);

    ASSERT_TRUE(fixtures::StampFile(dir / "Mixed Case.ESP", 1234567890));
    EXPECT_EQ(platform::LastWriteTime(dir / "Mixed Case.ESP"), 1234567890);
    EXPECT_FALSE(platform::LastWriteTime(dir / "nope"));

    std::string out;
    EXPECT_TRUE(platform::ReadWholeFile(dir / "MIXED CASE.esp", out));
    EXPECT_EQ(out, "12345");

    platform::SetFaultHook([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Open; });
    EXPECT_FALSE(platform::ReadWholeFile(dir / "Mixed Case.ESP", out));
    EXPECT_FALSE(platform::LastErrorMessage().empty());
    platform::SetFaultHook(nullptr);

    // Only regular files are read; a FIFO is refused at once, not waited on.
    std::vector<std::pair<std::string, std::string>> special{{dir.Path(), "Not a regular file: a folder"}};
#ifdef _WIN32  // no FIFOs
    special.push_back({"NUL", "Not a regular file: a device"});
#else
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    special.push_back({dir / "fifo", "Not a regular file: a FIFO"});
    special.push_back({"/dev/null", "Not a regular file: a device"});
#endif
    for (const auto& [path, why] : special) {
        platform::CReadFile file;
        EXPECT_FALSE(file.Open(path)) << path;
        EXPECT_EQ(platform::LastErrorMessage(), why);
        EXPECT_FALSE(platform::ReadFileStart(path, 4, out));
    }
    EXPECT_TRUE(platform::ReadFileStart(dir / "Mixed Case.ESP", 4, out));
    EXPECT_EQ(out, "1234");

    EXPECT_EQ(platform::FolderOf("/a/b/c.esp"), "/a/b/");
    EXPECT_EQ(platform::FileNameOf("/a/b/c.esp"), "c.esp");
    EXPECT_EQ(platform::WithSeparator("/a"), "/a/");
    EXPECT_EQ(platform::WithSeparator("/a/"), "/a/");
}
