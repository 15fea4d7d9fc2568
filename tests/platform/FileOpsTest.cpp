#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fixtures/FaultGuard.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "platform/Digest.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::platform;
using vantor::fixtures::CTempDir;
using vantor::fixtures::ReadText;

namespace {

void Put(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(fixtures::CPluginBuilder().Raw(bytes).Write(path));
}

std::int64_t WrittenAt(const std::string& path) { return GetFileTimes(path).value_or(CFileTimes{}).m_writeSec; }

}  // namespace

// Everything happens in a folder whose name has letters beyond ASCII: on
// Windows the wide-character calls carry them, whatever the ANSI code page.
TEST(FileOps, WorkingFilesRenamesCopiesAndWhatIsRead) {
    CTempDir tmp;
    // UTF-8 inside the program; the check mark is in no ANSI code page.
    const std::string folder = tmp / "M\xC3\xB6rrowind \xE2\x9C\x93", dir = WithSeparator(folder);
    ASSERT_TRUE(fixtures::MakeFolder(folder));
#ifndef _WIN32
    const mode_t oldMask = ::umask(077);
#endif
    CFile a, b;
    ASSERT_TRUE(a.CreateUnique(dir, 0664));
    ASSERT_TRUE(b.CreateUnique(dir, 0664));
#ifndef _WIN32
    ::umask(oldMask);
#endif
    EXPECT_NE(a.Path(), b.Path());
    // Hidden, short whatever it stands in for, and naming its process.
    const std::string prefix = ".vantor-" + std::to_string(fixtures::ProcessId()) + "-";
    for (const CFile* f : {&a, &b}) {
        const std::string name = FileNameOf(f->Path());
        EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
        EXPECT_EQ(name.size(), prefix.size() + 12 + 4) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
        EXPECT_EQ(FileMode(f->Path()), fixtures::KeptMode(0664));  // the umask does not narrow it
    }
    EXPECT_TRUE(a.Close());
    a.Discard();
    EXPECT_FALSE(FileExists(a.Path()));

    // A read past the end is short, not an error (reads and writes as such
    // are the reader's and the writer's to prove); times keep fractions.
    std::string out;
    ASSERT_TRUE(b.Write("Jello") && b.Seek(3));
    SetLastError(EBADF);
    EXPECT_FALSE(b.Read(out, 10));
    EXPECT_EQ(out, "lo");
    EXPECT_EQ(LastErrorMessage(), "");
    ASSERT_TRUE(b.SetTimes({1000, 0, 2000, 200}));
    EXPECT_TRUE(b.Close());
    auto t = GetFileTimes(b.Path());  // before reading touches the access time
    ASSERT_TRUE(t);
    EXPECT_EQ(t->m_accessSec, 1000);
    EXPECT_EQ(t->m_writeSec, 2000);
    EXPECT_EQ(t->m_writeNsec, 200);  // Windows keeps steps of 100 ns

    // Renamed into place as a clean makes a plugin; the system holds the very
    // letters (std::filesystem reads UTF-8 itself).
    const std::string name = "Caf\xC3\xA9 \xC3\x86r\xC3\xB8.esp", plugin = dir + name;
    ASSERT_TRUE(RenameFile(b.Path(), plugin, false)) << LastErrorMessage();
    EXPECT_TRUE(std::filesystem::is_regular_file(FsPath(tmp.Path()) / std::filesystem::path(u8"M\u00f6rrowind \u2713") /
                                                std::filesystem::path(u8"Caf\u00e9 \u00c6r\u00f8.esp")));
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{name});
    EXPECT_EQ(ReadText(plugin), "Jello");
    EXPECT_TRUE(ReadFileStart(plugin, 2, out));
    EXPECT_EQ(out, "Je");
    // Another case of the ASCII letters finds the file, spelt as on disk,
    // everywhere; Windows takes it as the same file for every call.
    const std::string upper = dir + "CAF\xC3\xA9 \xC3\x86R\xC3\xB8.ESP";
    EXPECT_TRUE(ReadWholeFile(upper, out));
    EXPECT_EQ(ResolvePath(upper), plugin);
    EXPECT_EQ(ResolvePath(plugin), plugin);
    EXPECT_FALSE(ResolvePath(dir + "other.esp"));
    EXPECT_EQ(SameFile(upper, plugin), fixtures::kCaseBlindNames);
    EXPECT_EQ(FileExists(upper), fixtures::kCaseBlindNames);

    // Discard removes only what the object created.
    CFile opened;
    ASSERT_TRUE(opened.Open(plugin));
    opened.Discard();
    EXPECT_EQ(ReadText(plugin), "Jello");
#ifndef _WIN32  // links need a privilege on Windows
    // Opening for writing never goes through a link; a dangling link exists.
    ASSERT_EQ(::symlink(plugin.c_str(), (dir + "link.esp").c_str()), 0);
    ASSERT_EQ(::symlink((dir + "gone").c_str(), (dir + "dangling").c_str()), 0);
    EXPECT_FALSE(CFile().Open(dir + "link.esp"));
    EXPECT_EQ(ResolveLinks(dir + "link.esp"), ResolveLinks(plugin));
    EXPECT_TRUE(PathExists(dir + "dangling").value_or(false));
#endif

    // Renaming never replaces unless asked.
    Put(dir + "a", "A");
    Put(dir + "b", "B");
    EXPECT_FALSE(RenameFile(dir + "a", dir + "b", false));
    EXPECT_EQ(LastError(), EEXIST);
    EXPECT_EQ(ReadText(dir + "a") + ReadText(dir + "b"), "AB");
    EXPECT_TRUE(RenameFile(dir + "a", dir + "b", true));
    EXPECT_FALSE(FileExists(dir + "a"));
    EXPECT_TRUE(RenameFile(dir + "b", dir + "c", false));

    // A copy takes contents, mode and times; it never replaces unless asked.
    Put(dir + "src", std::string(3 << 20, 's'));
    ASSERT_TRUE(fixtures::SetMode(dir + "src", 0640));
    ASSERT_TRUE(SetFileTimes(dir + "src", {1111, 0, 2222, 0}));
    ASSERT_TRUE(CopyFile(dir + "src", dir + "dst", false));
    EXPECT_EQ(WrittenAt(dir + "dst"), 2222);
    EXPECT_EQ(GetFileTimes(dir + "dst").value_or(CFileTimes{}).m_accessSec, 1111);
    EXPECT_EQ(FileMode(dir + "dst"), fixtures::KeptMode(0640));
    EXPECT_EQ(ReadText(dir + "dst"), ReadText(dir + "src"));
    EXPECT_FALSE(CopyFile(dir + "c", dir + "dst", false));
    EXPECT_EQ(ReadText(dir + "dst").size(), std::size_t(3 << 20));
    CFileTimes given{5, 0, 6, 0};
    ASSERT_TRUE(CopyFile(dir + "c", dir + "dst", true, &given));
    EXPECT_EQ(ReadText(dir + "dst"), "A");
    EXPECT_EQ(WrittenAt(dir + "dst"), 6);
    ASSERT_TRUE(fixtures::StampFile(plugin, 1234567890));
    ASSERT_TRUE(CopyFile(plugin, plugin + ".OLD", false));
    EXPECT_EQ(LastWriteTime(plugin + ".OLD"), 1234567890);
    EXPECT_FALSE(LastWriteTime(plugin + ".gone"));
    for (const std::string& file : ListFolder(folder)) EXPECT_NE(file.rfind(".vantor-", 0), 0u) << file;

    EXPECT_TRUE(SameFile(dir + "dst", dir + "dst"));
    EXPECT_FALSE(SameFile(dir + "dst", dir + "c"));
    EXPECT_TRUE(RemoveFile(dir + "dst"));
    EXPECT_FALSE(RemoveFile(dir + "dst"));
    EXPECT_TRUE(RemoveFile(plugin));
    EXPECT_FALSE(FileExists(plugin));
    EXPECT_TRUE(SyncFolder(dir));

    // Only regular files are read: a FIFO is refused at once, not waited on.
    std::vector<std::pair<std::string, std::string>> special{{folder, "Not a regular file: a folder"}};
#ifdef _WIN32  // no FIFOs
    special.push_back({"NUL", "Not a regular file: a device"});
#else
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0644), 0);
    special.push_back({dir + "fifo", "Not a regular file: a FIFO"});
    special.push_back({"/dev/null", "Not a regular file: a device"});
#endif
    for (const auto& [path, why] : special) {
        EXPECT_FALSE(ReadFileStart(path, 4, out)) << path;
        EXPECT_EQ(LastErrorMessage(), why);
    }
}

#ifndef _WIN32  // Windows reads; only a mapping can lose its pages
#ifdef __linux__
// The flags the system keeps for the mapping that starts at `at` ("" when
// none does): "hg" says it may be held in large pages.
std::string MappingFlags(const void* at) {
    std::ifstream maps("/proc/self/smaps");
    char start[32];
    std::snprintf(start, sizeof start, "%lx-", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(at)));
    bool found = false;
    for (std::string line; std::getline(maps, line);) {
        if (line.starts_with(start)) found = true;
        if (found && line.starts_with("VmFlags:")) return line;
    }
    return "";
}
#endif

// Bytes held from a file stay the bytes read when a save renames another
// file over it; when another program truncates it, the bytes past its new
// end read as zeros and say the file was cut, and the process lives on.
// A file of 2 MB or more is mapped in large pages where the system can.
// The file walked whole, in pieces of 4 KB; null when it cannot be or changed.
std::shared_ptr<const CFileBytes> Walked(CReadFile& file, const std::string& path) {
    CFileWalk walk(file);
    if (!file.Open(path) || !walk.Start(false)) return nullptr;
    for (std::size_t at = 0; at < walk.Size(); at += 4096) walk.At(at, 4096);
    return walk.Finish() ? walk.Bytes() : nullptr;
}

TEST(FileOps, HeldBytesSurviveReplacedAndTruncatedFiles) {
    for (const std::size_t size : {std::size_t(3) << 16, (std::size_t(5) << 20) + 4321}) {
        SCOPED_TRACE(size);
        CTempDir tmp;
        std::string content(size, '\0');
        for (std::size_t i = 0; i < content.size(); ++i) content[i] = char('a' + i % 23);
        const std::string path = tmp / "Big.esm", other = tmp / "Other.esm";
        Put(path, content);
        Put(other, content);
        CReadFile file, second;
        std::shared_ptr<const CFileBytes> bytes = Walked(file, path), replaced = Walked(second, other);
        ASSERT_TRUE(bytes && replaced);
        ASSERT_TRUE(file.ReadState());
        EXPECT_EQ(file.ReadState()->m_digest, CDigest::Of(content));
        CDigest split;  // however the bytes come, and no other bytes give it
        split.Add(std::string_view(content).substr(0, 45));
        split.Add(std::string_view(content).substr(45));
        EXPECT_EQ(split.Value(), CDigest::Of(content));
        EXPECT_NE(CDigest::Of(content.substr(1)), CDigest::Of(content));
        EXPECT_EQ(bytes->View(), content);
#ifdef __linux__
        // Only a mapping that starts at a large page's boundary can be held in large pages.
        const bool large = size >= (std::size_t(2) << 20);
        EXPECT_EQ(MappingFlags(bytes->View().data()).find(" hg") != std::string::npos, large);
        if (large) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes->View().data()) % (std::size_t(2) << 20), 0u);
        }
#endif

        Put(tmp / "new", "TES3");
        ASSERT_TRUE(RenameFile(tmp / "new", other, true));
        ASSERT_EQ(::truncate(path.c_str(), 5000), 0);
        EXPECT_EQ(replaced->View(), content);
        EXPECT_FALSE(replaced->Cut());
        const std::string_view cut = bytes->View();
        ASSERT_EQ(cut.size(), content.size());
        EXPECT_EQ(cut.substr(0, 5000), std::string_view(content).substr(0, 5000));
        EXPECT_EQ(cut.find_first_not_of('\0', 5000), std::string_view::npos);
        EXPECT_TRUE(bytes->Cut());
        // Read again, the file is what it holds now.
        ASSERT_TRUE(bytes = Walked(file, path));
        EXPECT_EQ(bytes->View(), std::string_view(content).substr(0, 5000));
        EXPECT_FALSE(bytes->Cut());
    }
}
#endif

// A walk gives each piece asked for, in whatever order, and keeps the
// same bytes in the file's shared ones; its digest is the whole file's,
// however much of it was met. A file that could not be read or changed
// while it was walked gives no read state, and is then walked held.
TEST(FileOps, AWalkMeetsAnyPieceAndDigestsTheWholeFile) {
    CTempDir tmp;
    std::string content((std::size_t(5) << 20) + 4321, '\0');
    std::mt19937 rng(3);
    for (char& c : content) c = char(rng());
    const std::string path = tmp / "Walked.esm";
    Put(path, content);
    const std::size_t n = content.size();
    const std::pair<std::size_t, std::size_t> pieces[] = {
        {0, 16}, {16, 3000}, {5000, 100}, {(std::size_t(2) << 20) + 4000, 200}, {std::size_t(1) << 20, std::size_t(3) << 20},
        {4000, 10}, {n - 50, 200}, {n + 5, 10}};
    for (const bool all : {true, false}) {
        SCOPED_TRACE(all ? "pieces everywhere" : "the header alone");
        CReadFile file;
        CFileWalk walk(file);
        ASSERT_TRUE(file.Open(path) && walk.Start(false));
        ASSERT_EQ(walk.Size(), n);
        for (const auto& [at, size] : pieces) {
            if (!all && at > 0) break;
            const std::string_view piece = walk.At(at, size);
            const std::string_view want = at < n ? std::string_view(content).substr(at, size) : std::string_view();
            ASSERT_EQ(piece, want) << at;
            const std::string_view kept = walk.Kept(piece);
            EXPECT_EQ(kept, want) << at;
            if (at < n) {
                EXPECT_EQ(kept.data(), walk.Bytes()->View().data() + at) << at;
            }
        }
        ASSERT_TRUE(walk.Finish());
        ASSERT_TRUE(file.ReadState());
        EXPECT_EQ(file.ReadState()->m_digest, CDigest::Of(content));
        EXPECT_EQ(file.ReadState()->m_identity, IdentityOf(path));
    }
#ifndef _WIN32  // read whole there, where the file cannot change under it
    {
        SCOPED_TRACE("reads that fail");
        CReadFile file;
        CFileWalk walk(file);
        ASSERT_TRUE(file.Open(path) && walk.Start(false));
        EXPECT_EQ(walk.At(100, 50), std::string_view(content).substr(100, 50));
        EXPECT_EQ(walk.At(std::size_t(1) << 20, std::size_t(3) << 20),
                  std::string_view(content).substr(std::size_t(1) << 20, std::size_t(3) << 20));
        // The second read for the piece after fails, the first having
        // filled the block with other bytes: those are no piece's.
        int reads = 0;
        fixtures::CFaultGuard guard(
            [&](EFileOp op, const std::string&) { return op == EFileOp::ShortRead && ++reads >= 2; });
        EXPECT_EQ(walk.At(std::size_t(5) << 20, 100), std::string_view(content).substr(std::size_t(5) << 20, 100));
        EXPECT_EQ(walk.At(150, 10), std::string_view(content).substr(150, 10));
        EXPECT_FALSE(walk.Finish());
        EXPECT_FALSE(file.ReadState());
    }
    {
        SCOPED_TRACE("changed while walked");
        CReadFile file;
        CFileWalk walk(file);
        ASSERT_TRUE(file.Open(path) && walk.Start(false));
        EXPECT_EQ(walk.At(0, 100), std::string_view(content).substr(0, 100));
        {
            std::fstream inPlace(path, std::ios::in | std::ios::out | std::ios::binary);
            inPlace.seekp(std::streamoff(n - 10));
            inPlace.write("XXXXXXXXXX", 10);
        }
        content.replace(n - 10, 10, "XXXXXXXXXX");
        EXPECT_FALSE(walk.Finish());
        EXPECT_FALSE(file.ReadState());
        CFileWalk again(file);
        ASSERT_TRUE(again.Start(true));
        EXPECT_EQ(again.At(0, n), content);
        EXPECT_TRUE(again.Finish());
        ASSERT_TRUE(file.ReadState());
        EXPECT_EQ(file.ReadState()->m_digest, CDigest::Of(content));
    }
#endif
}

TEST(FileOps, EveryCallPassesTheSeam) {
    CTempDir dir;
    Put(dir / "a", "data");
    CFile open;
    ASSERT_TRUE(open.Open(dir / "a"));
    std::string out;
    const std::vector<std::pair<EFileOp, std::function<bool()>>> calls = {
        {EFileOp::Stat, [&] { return GetFileTimes(dir / "a").has_value(); }},
        {EFileOp::Stat, [&] { return FileMode(dir / "a").has_value(); }},
        {EFileOp::Stat, [&] { return PathExists(dir / "a").has_value(); }},
        {EFileOp::SetTime, [&] { return SetFileTimes(dir / "a", {1, 0, 1, 0}); }},
        {EFileOp::Remove, [&] { return RemoveFile(dir / "a"); }},
        {EFileOp::Sync, [&] { return SyncFolder(dir.Path()); }},
        {EFileOp::Move, [&] { return RenameFile(dir / "a", dir / "b", true); }},
        {EFileOp::CreateTemp, [&] { return CopyFile(dir / "a", dir / "b", true); }},
        {EFileOp::Open, [&] { return CFile().Open(dir / "a"); }},
        {EFileOp::Seek, [&] { return open.Seek(0); }},
        {EFileOp::Read, [&] { return open.Seek(0) && open.Read(out, 4); }},
        {EFileOp::Write, [&] { return open.Seek(0) && open.Write("DATA"); }},
        {EFileOp::Truncate, [&] { return open.SetEnd(); }},
        {EFileOp::Sync, [&] { return open.Sync(); }},
        {EFileOp::SetTime, [&] { return open.SetTimes({1, 0, 1, 0}); }},
        {EFileOp::Copy, [&] { return open.CopyFrom(dir / "a"); }},
        {EFileOp::Close, [&] { return open.Close(); }},  // last: the handle is gone all the same
    };
    for (const auto& [op, call] : calls) {
        const EFileOp failing = op;
        const fixtures::CFaultGuard fault([failing](EFileOp o, const std::string&) { return o == failing; });
        ClearLastError();
        EXPECT_FALSE(call()) << int(op);
        EXPECT_EQ(LastErrorMessage(), std::strerror(EIO)) << int(op);
    }
    EXPECT_FALSE(open.IsOpen());
    EXPECT_EQ(ReadText(dir / "a"), "data");
    EXPECT_EQ(ListFolder(dir.Path()).size(), 1u);
}

TEST(FileOps, LeftoversOfKilledRunsAreRemoved) {
    CTempDir dir;
    // A process that has ended: its id names the leftovers of a killed run.
#ifdef _WIN32
    const long long child = 999999996;  // ids are multiples of 4, far below this
    const long long parent = fixtures::ProcessId();
#else
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const long long parent = ::getppid();
#endif
    const std::string dead = ".vantor-" + std::to_string(child) + "-";
    const std::string alive = ".vantor-" + std::to_string(parent) + "-";
    const std::string held = dead + "mnopqrstuvwx.tmp";  // held below: the id was reused
    const std::pair<std::string, bool> cases[] = {
        {dead + "abcdefghijkl.tmp", true},
        {dead + "abcdefghijk.tmp", false},  // not a name this tool makes
        {dead + "abcdefghijkl.esp", false},
        {".Mod.esp.abcdefghijkl.tmp", false},
        // Its id belongs to a live process now: the lock alone tells.
        {alive + "abcdefghijkl.tmp", true},
        {held, false},
    };
    for (const auto& [name, removed] : cases) Put(dir / name, "work");
    ASSERT_TRUE(fixtures::MakeFolder(dir / (dead + "0123456789ab.tmp")));
    CFile own;  // this process's own, open, is no leftover
    ASSERT_TRUE(own.CreateUnique(WithSeparator(dir.Path()), 0644));
    {
        // Held as a live owner holds its working file: locked, or on Windows
        // open without sharing its deletion (as the C library opens files).
#ifdef _WIN32
        std::ifstream holder(FsPath(dir / held));
        ASSERT_TRUE(holder.is_open());
#else
        int holder = ::open((dir / held).c_str(), O_RDONLY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
#endif
        EXPECT_EQ(RemoveStaleWorkFiles(dir.Path()), 2);
        for (const auto& [name, removed] : cases) EXPECT_EQ(FileExists(dir / name), !removed) << name;
        EXPECT_TRUE(FileExists(own.Path()));
        EXPECT_TRUE(PathExists(dir / (dead + "0123456789ab.tmp")).value_or(false));  // a folder is never removed
#ifndef _WIN32
        ::close(holder);
#endif
    }
    EXPECT_EQ(RemoveStaleWorkFiles(dir.Path()), 1);
    EXPECT_FALSE(FileExists(dir / held));
}
