// The rule for every output the tool writes, on the document's side: which
// paths are refused and with what words, when the user is asked, and the
// backup an existing plugin gets before it is replaced.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "document/OutputPath.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/System.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

namespace vantor {
namespace {

using fixtures::CScriptedLink;
using fixtures::CTempDir;

std::string Slurp(const std::string& path) {
    std::string out;
    platform::ReadWholeFile(path, out);
    return out;
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(OutputPath, FilesInUseAndWhatIsNoFileAreRefusedByName) {
    CTempDir dir;
    const std::string plugin = dir / "Mod.esp";
    Put(plugin, "TES3 plugin");
    std::filesystem::create_hard_link(plugin, dir / "Linked.esp");
    std::filesystem::create_directory(dir / "folder");

    struct CCase {
        std::string m_path;
        std::string m_why;
    };
    std::vector<CCase> cases{
        {plugin, " is a plugin or master in use."},
        {dir / "mod.ESP", " is a plugin or master in use."},  // the same file to the game
        {dir / "Linked.esp", " is a plugin or master in use."},
        {dir / "folder", " is a folder."},
    };
#ifdef _WIN32  // no FIFOs, no sockets in the file system
    cases.push_back({"NUL", " is a device."});
    cases.push_back({dir / "nul", " is a device."});  // in every folder, in any case
#else
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    cases.push_back({dir / "fifo", " is a FIFO."});
    cases.push_back({socketPath, " is a socket."});
    cases.push_back({"/dev/null", " is a device."});
#endif
    for (const CCase& c : cases) {
        CScriptedLink link;
        link.m_answers = {EAnswer::Yes, EAnswer::Yes};
        EXPECT_EQ(PrepareOutput(c.m_path, {plugin}, EReplace::Ask, "Save Log As", link), std::nullopt) << c.m_path;
        EXPECT_EQ(link.Calls(),
                  std::vector<std::string>{"ask Cannot Complete Request|" + c.m_path + c.m_why + "\nChoose another file."});
    }
    EXPECT_EQ(Slurp(plugin), "TES3 plugin");
#ifndef _WIN32
    ::close(sock);
#endif
}

TEST(OutputPath, AnExistingFileIsReplacedOnlyWhenAgreedAndAPluginIsBackedUpFirst) {
    CTempDir dir;
    const std::string log = dir / "log.txt";
    const std::string question = "ask Save Log As|" + log + " already exists.\nDo you want to replace it?";

    // A new file needs no word; an existing one a Yes, or a chooser that asked.
    CScriptedLink link;
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, "Save Log As", link), log);
    Put(log, "old log");
    link.m_answers = {EAnswer::No};
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, "Save Log As", link), std::nullopt);
    link.m_answers = {EAnswer::Yes};
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, "Save Log As", link), log);
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Agreed, "Save Log As", link), log);
    EXPECT_EQ(link.Calls(), (std::vector<std::string>{question, question}));
    EXPECT_EQ(Slurp(log), "old log");

    // A file made read-only is left alone, also for the superuser.
    fixtures::SetMode(log, 0444);
    CScriptedLink readOnly;
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Agreed, "Save Log As", readOnly), std::nullopt);
    EXPECT_EQ(readOnly.Calls(), std::vector<std::string>{"ask VANTOR|Access to " + log + " was denied."});

    // A plugin gets its backup before it may be replaced; a backup name that
    // is taken is put to the user and never overwritten.
    const std::string plugin = dir / "Other.esp";
    Put(plugin, "TES3 old plugin");
    CScriptedLink backedUp;
    EXPECT_EQ(PrepareOutput(plugin, {}, EReplace::Agreed, "New Dialog Merge Plugin", backedUp), plugin);
    EXPECT_EQ(Slurp(dir / "Other.OLD"), "TES3 old plugin");
    Put(plugin, "TES3 newer plugin");
    CScriptedLink taken;
    taken.m_answers = {EAnswer::Cancel};
    EXPECT_EQ(PrepareOutput(plugin, {}, EReplace::Agreed, "New Dialog Merge Plugin", taken), std::nullopt);
    ASSERT_EQ(taken.Messages().size(), 1u);
    EXPECT_EQ(taken.Messages()[0].m_caption, "File Exists");
    EXPECT_EQ(Slurp(dir / "Other.OLD"), "TES3 old plugin");
    EXPECT_EQ(Slurp(plugin), "TES3 newer plugin");

    // What is written replaces the target whole.
    ASSERT_TRUE(WriteOutputFile(plugin, "new bytes").Ok());
    EXPECT_EQ(Slurp(plugin), "new bytes");
}

}  // namespace
}  // namespace vantor
