// The results log: exact bytes, replacement of an old log, and the messages
// for each way writing can fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "checks/CheckFixture.h"
#include "document/ResultsLog.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/GameFolder.h"
#include "platform/Files.h"

namespace vantor {
namespace {

using fixtures::CScriptedLink;
using fixtures::CTempDir;
using fixtures::CFaultGuard;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kHeaders =
    "ID,Conflict,Name,Overriding Esp File,Esp File,Original File\r\n"
    "ID,Warning,Name,Esp File,Original File\r\n"
    "ID,Entry Type,Name,Esp File,Original File\r\n";

struct CLists {
    CResultTable conflict = ConflictTableHeader();
    CResultTable warning = WarningTableHeader();
    CResultTable editor = EditorTableHeader();
};

// Rows about entries of a.esp and b.esp, originals in m.esm.
struct CRows {
    fixtures::CLoadOrder m_files;
    std::vector<CFileRef> m_refs;
    const CEntry* m_entries[3] = {};
    CRows() {
        fixtures::CPluginBuilder a;
        a.Header();
        for (const char* id : {"guard, the", "s\xe9", "0,0,0 x"}) a.Record("MISC", fixtures::Named(id, "x"));
        const CPluginFile& plugin = m_files.Add("a.esp", a, 1);
        fixtures::CPluginBuilder empty;
        empty.Header();
        for (const char* name : {"b.esp", "m.esm"}) m_refs.push_back(Borrowed(m_files.Add(name, empty, 1)));
        m_refs.insert(m_refs.begin(), Borrowed(plugin));
        for (std::size_t k = 0; k < 3; ++k) m_entries[k] = plugin.GetTable("MISC")->at(k).get();
    }
    static CFileRef Borrowed(const CPluginFile& file) { return CFileRef(&file, [](const CPluginFile*) {}); }
    static std::uint8_t Table(const char* tag) { return std::uint8_t(CPluginFile::TagIndex(tag)); }
};

TEST(ResultsLog, WritesEveryListWithCrLfAndReplacesAnOldLog) {
    CTempDir dir;
    const std::string path = dir / "log.txt";
    CScriptedLink link;
    CLists lists;
    ASSERT_TRUE(WriteResultsLog(path, lists.conflict, lists.warning, lists.editor, link));
    EXPECT_EQ(Slurp(path), kHeaders);

    CRows rows;
    lists.conflict.m_files = lists.warning.m_files = rows.m_refs;
    lists.conflict.m_rows = {{rows.m_entries[0], rows.m_entries[0], 1, 0, kNoFile, CRows::Table("NPC_"), EFinding::Conflict}};
    lists.warning.m_rows = {
        {rows.m_entries[1], nullptr, 0, kNoFile, 2, CRows::Table("SNDG"), EFinding::Unclean},
        {rows.m_entries[2], nullptr, 0, kNoFile, kNoFile, CRows::Table("CELL"), EFinding::Deleted}};
    std::ofstream(path) << std::string(4096, 'x');
    ASSERT_TRUE(WriteResultsLog(path, lists.conflict, lists.warning, lists.editor, link));
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
    CRows rows;
    lists.conflict.m_files = rows.m_refs;
    lists.conflict.m_rows = {{rows.m_entries[0], rows.m_entries[1], 0, 1, kNoFile, 0, EFinding::Conflict}};
    const std::string path = dir / "log.txt";
    const std::string old = "the old log\r\n";
    struct CCase {
        platform::EFileOp m_op;
        std::string m_message;
    };
    for (const CCase& c : {CCase{platform::EFileOp::Write, "Unable to save grid list"},
                           CCase{platform::EFileOp::Sync, "Unable to save grid list"},
                           CCase{platform::EFileOp::Move, "Unable to save grid list"},
                           CCase{platform::EFileOp::CreateTemp,
                                 "A hardware I/O error was reported while accessing " + path + "."}}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
        CFaultGuard guard([&](platform::EFileOp op, const std::string&) { return op == c.m_op; });
        CScriptedLink link;
        EXPECT_FALSE(WriteResultsLog(path, lists.conflict, lists.warning, lists.editor, link));
        EXPECT_EQ(link.Calls(), (std::vector<std::string>{"ask VANTOR|" + c.m_message}));
        EXPECT_EQ(Slurp(path), old);
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
        EXPECT_EQ(files, 1u) << "a working file was left";
    }
    EXPECT_EQ(FileErrorMessage(ENOSPC, "x.txt"), "Disk full while accessing x.txt.");
    EXPECT_EQ(FileErrorMessage(ENOENT, "/no/x.txt"), "/no/x.txt contains an invalid path.");
}

TEST(ResultsLog, SaveResultsAsksForTheFileFirst) {
    CTempDir dir;
    CLists lists;
    CScriptedLink link;
    EXPECT_FALSE(SaveResults(link, "/data/Data Files/", {}, lists.conflict, lists.warning, lists.editor));
    ASSERT_EQ(link.Choosers().size(), 1u);
    const CFileChooser chooser = link.Choosers()[0];
    EXPECT_EQ(chooser.m_mode, CFileChooser::EMode::Save);
    EXPECT_EQ(chooser.m_title, "Save Log As");
    ASSERT_EQ(chooser.m_filters.size(), 1u);
    EXPECT_EQ(chooser.m_filters[0].m_label, "Any File (*.*)");
    EXPECT_EQ(chooser.m_filters[0].m_pattern, "*.*");
    EXPECT_EQ(chooser.m_startFolder, "/data/Data Files/");
    EXPECT_EQ(chooser.m_fileName, "VANTORlog.txt");
    EXPECT_EQ(chooser.m_defaultExtension, "txt");
    EXPECT_TRUE(chooser.m_confirmOverwrite);
    EXPECT_TRUE(link.Messages().empty());  // cancelled: nothing said

    link.m_choices.push_back({CFileChoice::EStatus::Failed, {}});
    EXPECT_FALSE(SaveResults(link, dir.Path(), {}, lists.conflict, lists.warning, lists.editor));
    ASSERT_EQ(link.Messages().size(), 1u);
    EXPECT_EQ(link.Messages()[0].m_text, "Error Selecting Save File");
    EXPECT_EQ(link.Messages()[0].m_caption, "Error");

    const std::string path = dir / "VANTORlog.txt";
    link.m_choices.push_back({CFileChoice::EStatus::Chosen, {path}});
    EXPECT_TRUE(SaveResults(link, dir.Path(), {}, lists.conflict, lists.warning, lists.editor));
    EXPECT_EQ(Slurp(path), kHeaders);

    // A plugin the document holds is never the log, whatever the chooser gave.
    const std::string plugin = dir / "Mod.esp";
    std::ofstream(plugin) << "TES3 and more";
    link.m_choices.push_back({CFileChoice::EStatus::Chosen, {plugin}});
    EXPECT_FALSE(SaveResults(link, dir.Path(), {plugin}, lists.conflict, lists.warning, lists.editor));
    EXPECT_EQ(link.Messages().back().m_text, plugin + " is a plugin or master in use.\nChoose another file.");
    EXPECT_EQ(Slurp(plugin), "TES3 and more");
}

}  // namespace
}  // namespace vantor
