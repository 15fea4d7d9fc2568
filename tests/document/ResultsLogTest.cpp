// The results log: exact bytes, replacement of an old log, and the messages
// for each way writing can fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "checks/CheckFixture.h"
#include "document/ResultsLog.h"
#include "fixtures/GameFolder.h"
#include "fixtures/ScriptedLink.h"
#include "platform/Files.h"

namespace vantor {
namespace {

using fixtures::CFaultGuard;
using fixtures::CScriptedLink;
using fixtures::CTempDir;

std::string Slurp(const std::string& path) {
    std::string out;
    return platform::ReadWholeFile(path, out) ? out : "(none)";
}

const std::string kHeaders =
    "ID,Conflict,Name,Overriding Esp File,Esp File,Original File\r\n"
    "ID,Warning,Name,Esp File,Original File\r\n"
    "ID,Entry Type,Name,Esp File,Original File\r\n";

// The three lists; rows about entries of a.esp and b.esp, originals in m.esm.
struct CLists {
    CResultTable conflict = ConflictTableHeader();
    CResultTable warning = WarningTableHeader();
    CResultTable editor = EditorTableHeader();
    fixtures::CLoadOrder m_files;
    std::vector<CFileRef> m_refs;
    std::vector<const CEntry*> m_entries;
    CLists() {
        fixtures::CPluginBuilder a, empty;
        a.Header();
        empty.Header();
        for (const char* id : {"guard, the", "s\xe9", "0,0,0 x"}) a.Record("MISC", fixtures::Named(id, "x"));
        for (const char* name : {"a.esp", "b.esp", "m.esm"}) {
            const CPluginFile& file = m_files.Add(name, m_refs.empty() ? a : empty, 1);
            m_refs.push_back(CFileRef(&file, [](const CPluginFile*) {}));
        }
        for (const auto& e : *m_refs[0]->GetTable("MISC")) m_entries.push_back(e.get());
    }
    bool Write(const std::string& path, CScriptedLink& link) const { return WriteResultsLog(path, conflict, warning, editor, link); }
};

std::uint8_t Table(const char* tag) { return std::uint8_t(CPluginFile::TagIndex(tag)); }

TEST(ResultsLog, WritesEveryListWithCrLfAndReplacesAnOldLog) {
    CTempDir dir;
    const std::string path = dir / "log.txt";
    CScriptedLink link;
    CLists lists;
    ASSERT_TRUE(lists.Write(path, link));
    EXPECT_EQ(Slurp(path), kHeaders);

    ASSERT_EQ(lists.m_entries.size(), 3u);
    lists.conflict.m_files = lists.warning.m_files = lists.m_refs;
    lists.conflict.m_rows = {{lists.m_entries[0], lists.m_entries[0], 1, 0, kNoFile, Table("NPC_"), EFinding::Conflict}};
    lists.warning.m_rows = {{lists.m_entries[1], nullptr, 0, kNoFile, 2, Table("SNDG"), EFinding::Unclean},
                            {lists.m_entries[2], nullptr, 0, kNoFile, kNoFile, Table("CELL"), EFinding::Deleted}};
    std::ofstream(path) << std::string(4096, 'x');
    ASSERT_TRUE(lists.Write(path, link));
    EXPECT_EQ(Slurp(path),
              "ID,Conflict,Name,Overriding Esp File,Esp File,Original File\r\n"
              "NPC_,NPC Entry,guard, the,b.esp,a.esp,None\r\n"
              "ID,Warning,Name,Esp File,Original File\r\n"
              "SNDG,Sound Gen  Identical to Default Entry. (Unclean Entry),s\xe9,a.esp,m.esm\r\n"
              "CELL,Cell Entry Marked as DELETED (Removed from Game),0,0,0 x,a.esp,None\r\n"
              "ID,Entry Type,Name,Esp File,Original File\r\n");
    EXPECT_TRUE(link.Messages().empty());
    // A table handed over without its header still gets the list's header.
    EXPECT_EQ(FormatLogList(CResultTable{}, {"A", "B"}), "A,B\r\n");
}

TEST(ResultsLog, AFailureTellsWhyAndLeavesTheOldLogWhole) {
    CTempDir dir;
    CLists lists;
    ASSERT_EQ(lists.m_entries.size(), 3u);
    lists.conflict.m_files = lists.m_refs;
    lists.conflict.m_rows = {{lists.m_entries[0], lists.m_entries[1], 0, 1, kNoFile, 0, EFinding::Conflict}};
    const std::string path = dir / "log.txt", old = "the old log\r\n";
    const std::pair<platform::EFileOp, std::string> cases[] = {
        {platform::EFileOp::Write, "Unable to save grid list"},
        {platform::EFileOp::Sync, "Unable to save grid list"},
        {platform::EFileOp::Move, "Unable to save grid list"},
        {platform::EFileOp::CreateTemp, "A hardware I/O error was reported while accessing " + path + "."}};
    for (const auto& [op, message] : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
        CFaultGuard guard([op = op](platform::EFileOp o, const std::string&) { return o == op; });
        CScriptedLink link;
        EXPECT_FALSE(lists.Write(path, link));
        EXPECT_EQ(link.Calls(), (std::vector<std::string>{"ask VANTOR|" + message}));
        EXPECT_EQ(Slurp(path), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1) << "a working file was left";
    }
    EXPECT_EQ(FileErrorMessage(ENOSPC, "x.txt"), "Disk full while accessing x.txt.");
    EXPECT_EQ(FileErrorMessage(ENOENT, "/no/x.txt"), "/no/x.txt contains an invalid path.");
}

TEST(ResultsLog, SaveResultsAsksForTheFileFirst) {
    CTempDir dir;
    CLists lists;
    CScriptedLink link;
    auto save = [&](const std::string& folder, const std::vector<std::string>& inUse) {
        return SaveResults(link, folder, inUse, lists.conflict, lists.warning, lists.editor);
    };
    EXPECT_FALSE(save("/data/Data Files/", {}));
    ASSERT_EQ(link.Choosers().size(), 1u);
    EXPECT_EQ(link.Choosers()[0].m_startFolder + link.Choosers()[0].m_fileName, "/data/Data Files/VANTORlog.txt");
    EXPECT_TRUE(link.Choosers()[0].m_confirmOverwrite);
    EXPECT_TRUE(link.Messages().empty());  // cancelled: nothing said

    link.m_choices.push_back({CFileChoice::EStatus::Failed, {}});
    EXPECT_FALSE(save(dir.Path(), {}));
    ASSERT_EQ(link.Messages().size(), 1u);
    EXPECT_EQ(link.Messages()[0].m_text, "Error Selecting Save File");

    const std::string path = dir / "VANTORlog.txt";
    link.m_choices.push_back({CFileChoice::EStatus::Chosen, {path}});
    EXPECT_TRUE(save(dir.Path(), {}));
    EXPECT_EQ(Slurp(path), kHeaders);

    // A plugin the document holds is never the log, whatever the chooser gave.
    const std::string plugin = dir / "Mod.esp";
    std::ofstream(plugin) << "TES3 and more";
    link.m_choices.push_back({CFileChoice::EStatus::Chosen, {plugin}});
    EXPECT_FALSE(save(dir.Path(), {plugin}));
    EXPECT_EQ(link.Messages().back().m_text, plugin + " is a plugin or master in use.\nChoose another file.");
    EXPECT_EQ(Slurp(plugin), "TES3 and more");
}

}  // namespace
}  // namespace vantor
