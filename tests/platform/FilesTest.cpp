#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <utime.h>

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

    struct utimbuf times{1000000000, 1234567890};
    ASSERT_EQ(::utime((dir / "Mixed Case.ESP").c_str(), &times), 0);
    EXPECT_EQ(platform::LastWriteTime(dir / "Mixed Case.ESP"), 1234567890);
    EXPECT_FALSE(platform::LastWriteTime(dir / "nope"));

    std::string out;
    EXPECT_TRUE(platform::ReadWholeFile(dir / "MIXED CASE.esp", out));
    EXPECT_EQ(out, "12345");

    platform::SetFaultHook([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Open; });
    EXPECT_FALSE(platform::ReadWholeFile(dir / "Mixed Case.ESP", out));
    EXPECT_FALSE(platform::LastErrorMessage().empty());
    platform::SetFaultHook(nullptr);

    platform::CReadFile folder;
    EXPECT_FALSE(folder.Open(dir.Path()));  // a folder is not a plugin

    EXPECT_EQ(platform::FolderOf("/a/b/c.esp"), "/a/b/");
    EXPECT_EQ(platform::FileNameOf("/a/b/c.esp"), "c.esp");
    EXPECT_EQ(platform::WithSeparator("/a"), "/a/");
    EXPECT_EQ(platform::WithSeparator("/a/"), "/a/");
}
