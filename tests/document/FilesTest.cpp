// The settings file, the results log, the rule for every output path, and
// the messages about writing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "document/Options.h"
#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "document/WriteMessages.h"
#include "document/Worker.h"
#include "fixtures/GameFolder.h"
#include "fixtures/System.h"
#include "fixtures/TableMaker.h"
#include "platform/Files.h"

namespace vantor {
namespace {

using fixtures::CFaultGuard;
using fixtures::CScriptedLink;
using fixtures::CTempDir;
using fixtures::ReadText;

void Spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::string kUncleanDefault = Repeat("01000000", 16) + "00000000" + Repeat("01000000", 21) + "25";

TEST(Options, FirstStartWritesDefaultsSaveWritesValuesAndBadValuesAreRepairedInPlace) {
    CTempDir dir;
    const std::string path = dir / "vantor.ini";
    COptionSet options;
    options.m_defaultOps = 1;  // overwritten by the defaults
    options.Load(path);
    EXPECT_EQ(ReadText(path), "[Options]\r\nConflictChecks=" + Repeat("01000000", 38) + "26\r\nUncleanChecks=" +
                               kUncleanDefault +
                               "\r\nDefaultOps=0707\r\nLoadEsms=0100000001\r\n"
                               "ExtractOpts=0100000001000000000000000000000002\r\n"
                               "\r\n[DialogRepair]\r\nEspFilename=\r\nEspPath=\r\nEnable=0000000000\r\n"
                               "\r\n[FindObj]\r\nFind0=\r\nFind1=\r\nFind2=\r\nFind3=\r\nFind4=\r\n");
    EXPECT_EQ(options, COptionSet());
    EXPECT_FALSE(options.DialogRepairEnabled());
    // Saving unchanged options at exit leaves the file as it is.
    Spit(path, "; kept\r\n" + ReadText(path));
    const std::string unchanged = ReadText(path);
    EXPECT_TRUE(options.Save(path));
    EXPECT_EQ(ReadText(path), unchanged);

    options.m_conflictChecks[0] = 0;
    options.m_uncleanChecks[37] = 5;  // kept as read, though nothing uses it
    options.m_defaultOps = 0x85;
    options.m_loadEsms = 0;
    options.m_extractOpts = CExtractOpts::All();
    options.m_espFilename = "Dialog Repair.esp";
    options.m_espPath = "/home/n'wah/Data Files/";
    options.m_enable = -1;
    // A text searched again moves to the front; the oldest falls off.
    for (const char* text : {"1", "2", "3", "4", "5", "3", "Caius Cosades", " padded "}) options.RememberFind(text);
    ASSERT_TRUE(options.Save(path));
    std::string text = ReadText(path);
    for (const char* part : {"; kept\r\n[Options]\r\nConflictChecks=00000000", "\r\nDefaultOps=8585\r\n",
                             "\r\nExtractOpts=0100000001000000010000000100000004\r\n", "\r\nEnable=FFFFFFFFFC\r\n",
                             "\r\nFind0=\" padded \"\r\nFind1=Caius Cosades\r\nFind2=3\r\nFind3=5\r\nFind4=4\r\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    COptionSet back;
    back.Load(path);
    EXPECT_EQ(back, options);
    EXPECT_TRUE(back.DialogRepairEnabled());  // any non-zero value
    EXPECT_EQ(ReadText(path), text);  // a valid file is not rewritten by loading it

    // A find text no ini line can hold is not saved; everything else is.
    options.m_findHistory[4] = "two\nlines";
    options.m_loadEsms = 1;
    EXPECT_FALSE(options.Save(path));
    back.Load(path);
    EXPECT_EQ(back.m_loadEsms, 1);
    EXPECT_EQ(back.m_findHistory[4], "4");

    // Bad or missing values are repaired in place; the user's lines stay.
    const std::string conflicts = Repeat("01000000", 3) + "00000000" + Repeat("01000000", 34) + "25";
    const std::string kept = "; my notes\n[options]\nconflictchecks = " + conflicts + "\n";
    Spit(path, kept +
                   "UncleanChecks=" + Repeat("01000000", 37) + "25\n"  // one entry short
                   "DefaultOps=0708\n"                                // checksum
                   "LoadEsms=0000000000\n"
                   "ExtractOpts=01000000010000000100000001000000zz\n"  // not hex
                   "\n[DialogRepair]\nEspFilename=Repair.esp\nEnable=0100000001\n"
                   "\n[FindObj]\nFind0=Vivec\nFind2=  ALMA  \n");
    options = COptionSet();
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
    EXPECT_EQ(ReadText(path), kept +
                               "UncleanChecks=" + kUncleanDefault + "\n"
                               "DefaultOps=0707\n"
                               "LoadEsms=0000000000\n"
                               "ExtractOpts=0100000001000000000000000000000002\n"
                               "\n[DialogRepair]\nEspFilename=Repair.esp\nEnable=0100000001\nEspPath=\n"
                               "\n[FindObj]\nFind0=Vivec\nFind2=  ALMA  \nFind1=\nFind3=\nFind4=\n");

    // A file that cannot be read is replaced neither by the load nor the save.
    const std::string mine = "[Options]\r\nDefaultOps=0101\r\n";
    Spit(path, mine);
    {
        CFaultGuard guard(
            [&](platform::EFileOp op, const std::string& p) { return op == platform::EFileOp::Read && p == path; });
        options.Load(path);
        EXPECT_EQ(options.m_defaultOps, 7);
        EXPECT_FALSE(options.Save(path));
    }
    EXPECT_EQ(ReadText(path), mine);
}

TEST(OutputPath, FilesInUseAndWhatIsNoFileAreRefusedByName) {
    CTempDir dir;
    const std::string plugin = dir / "Mod.esp";
    Spit(plugin, "TES3 plugin");
    std::filesystem::create_hard_link(plugin, dir / "Linked.esp");
    std::filesystem::create_directory(dir / "folder");

    // The command line's test holds the plugin's own path, a FIFO, a device.
    std::vector<std::pair<std::string, std::string>> cases{
        {dir / "mod.ESP", " is a plugin or master in use."},  // the same file to the game
        {dir / "Linked.esp", " is a plugin or master in use."},
        {dir / "folder", " is a folder."},
    };
#ifdef _WIN32  // no FIFOs, no sockets in the file system
    cases.push_back({"NUL", " is a device."});
    cases.push_back({dir / "nul", " is a device."});  // in every folder, in any case
#else
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    cases.push_back({socketPath, " is a socket."});
#endif
    for (const auto& [path, why] : cases) {
        CScriptedLink link;
        link.m_answers = {EAnswer::Yes, EAnswer::Yes};
        EXPECT_EQ(PrepareOutput(path, {plugin}, EReplace::Ask, EOutput::ResultsLog, link), std::nullopt) << path;
        const std::string told = "ask Cannot Complete Request|" + path + why + "\nChoose another file.";
        EXPECT_EQ(link.Calls(), std::vector<std::string>{told});
    }
    EXPECT_EQ(ReadText(plugin), "TES3 plugin");
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
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, EOutput::ResultsLog, link), log);
    Spit(log, "old log");
    link.m_answers = {EAnswer::No};
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, EOutput::ResultsLog, link), std::nullopt);
    link.m_answers = {EAnswer::Yes};
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Ask, EOutput::ResultsLog, link), log);
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Agreed, EOutput::ResultsLog, link), log);
    EXPECT_EQ(link.Calls(), (std::vector<std::string>{question, question}));
    EXPECT_EQ(ReadText(log), "old log");

    // A file made read-only is left alone, also for the superuser.
    fixtures::SetMode(log, 0444);
    CScriptedLink readOnly;
    EXPECT_EQ(PrepareOutput(log, {}, EReplace::Agreed, EOutput::ResultsLog, readOnly), std::nullopt);
    EXPECT_EQ(readOnly.Calls(), std::vector<std::string>{"ask VANTOR|Access to " + log + " was denied."});

    // A plugin is backed up before it is replaced; a taken backup name is asked about, never overwritten.
    const std::string plugin = dir / "Other.esp";
    Spit(plugin, "TES3 old plugin");
    CScriptedLink backedUp;
    EXPECT_EQ(PrepareOutput(plugin, {}, EReplace::Agreed, EOutput::RepairPlugin, backedUp), plugin);
    EXPECT_EQ(ReadText(dir / "Other.OLD"), "TES3 old plugin");
    Spit(plugin, "TES3 newer plugin");
    CScriptedLink taken;
    taken.m_answers = {EAnswer::Cancel};
    EXPECT_EQ(PrepareOutput(plugin, {}, EReplace::Agreed, EOutput::RepairPlugin, taken), std::nullopt);
    ASSERT_EQ(taken.Messages().size(), 1u);
    EXPECT_EQ(taken.Messages()[0].m_caption, "File Exists");
    EXPECT_EQ(ReadText(dir / "Other.OLD"), "TES3 old plugin");
    EXPECT_EQ(ReadText(plugin), "TES3 newer plugin");
}

// A source rewritten in place (same file, new bytes) after the merge read
// it: the patch made of it is refused by the source's name, as the writer
// refuses to change such a file.
TEST(OutputPath, AMergedPatchIsNotWrittenFromASourceThatChangedSinceItWasRead) {
    using namespace fixtures;
    CGameFolder game;
    auto list = [](const std::string& item) {
        return std::vector{Name("list"), Sub("DATA", I32(0)), Sub("NNAM", std::string(1, '\0')), Sub("INDX", I32(2)),
                           Sub("INAM", Z("a")), Sub("INTV", std::string(2, '\1')), Sub("INAM", Z(item)),
                           Sub("INTV", std::string(2, '\1'))};
    };
    for (const char* item : {"b", "c", "d"}) {
        CPluginBuilder b;
        b.Header();
        b.Record("LEVI", list(item));
        game.Write(std::string(1, char(std::toupper(item[0]))) + ".esp", b, 1'000'000 + item[0]);
    }
    CVANTORDoc& doc = game.Doc(false);
    game.Choose({"B.esp", "C.esp", "D.esp"});
    game.m_link.HoldAt("progress 0|Merging Records");
    CMergedPatchRequest request;
    request.m_output = game.m_data + "Patch.esp";
    CWorker worker;
    CVANTORDoc::CPrepared prepared = doc.Prepare(request);
    ASSERT_TRUE(prepared);
    auto operation = std::make_shared<std::unique_ptr<COperation>>(std::move(prepared.m_operation));
    ASSERT_TRUE(worker.Start([&, operation](const CStopToken& stop) { return doc.Execute(std::move(*operation), stop); }));
    ASSERT_TRUE(game.m_link.WaitUntilHeld());
    {
        std::fstream c(game.m_data + "C.esp", std::ios::in | std::ios::out | std::ios::binary);
        const std::string bytes = game.Read("C.esp");
        c.seekp(std::streamoff(bytes.rfind("c\0")));
        c.put('x');
    }
    game.m_link.Release();
    ASSERT_TRUE(worker.Wait(fixtures::kWaitLimit));
    EXPECT_FALSE(std::filesystem::exists(game.m_data + "Patch.esp"));
    const auto messages = game.m_link.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().m_text, game.m_data + "C.esp: the file has changed since it was read.\n"
                                                    "No Merged Patch was written; load the plugins again before making one.");
}

// Save Results: a cancelled chooser says nothing, a failed one says so, a
// plugin in use is never the log. A failed write leaves the old log whole, a
// longer old log is replaced whole. (The golden logs hold what a log holds.)
TEST(ResultsLog, AFailureTellsWhyAndLeavesTheOldLogWhole) {
    CTempDir dir;
    // Rows are the golden logs' business; the header lines are enough to write.
    const CResultTable conflict = ConflictTableHeader(), warning = WarningTableHeader(), editor = EditorTableHeader();
    const std::string plugin = dir / "Mod.esp";
    Spit(plugin, "TES3 and more");
    CScriptedLink chooser;
    EXPECT_FALSE(SaveResults(plugin, {plugin}, conflict, warning, editor, chooser));
    const texts::CFileChooser saveAs = texts::SaveLogChooser("/data/Data Files/", "VANTORlog.txt");
    EXPECT_EQ(saveAs.m_startFolder + saveAs.m_fileName, "/data/Data Files/VANTORlog.txt");
    EXPECT_TRUE(saveAs.m_confirmOverwrite);
    const auto told = chooser.Messages();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].m_text, plugin + " is a plugin or master in use.\nChoose another file.");
    EXPECT_EQ(ReadText(plugin), "TES3 and more");

    const std::string path = dir / "log.txt", old = "the old log\r\n";
    const std::pair<platform::EFileOp, std::string> cases[] = {
        {platform::EFileOp::Write, "Unable to save grid list"},
        {platform::EFileOp::Sync, "Unable to save grid list"},
        {platform::EFileOp::Move, "Unable to save grid list"},
        {platform::EFileOp::CreateTemp, "A hardware I/O error was reported while accessing " + path + "."}};
    for (const auto& [op, message] : cases) {
        Spit(path, old);
        CFaultGuard guard([op = op](platform::EFileOp o, const std::string&) { return o == op; });
        CScriptedLink link;
        EXPECT_FALSE(WriteResultsLog(path, conflict, warning, editor, link));
        EXPECT_EQ(link.Calls(), (std::vector<std::string>{"ask VANTOR|" + message}));
        EXPECT_EQ(ReadText(path), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "a working file was left";
    }
    Spit(path, std::string(4096, 'x'));
    CScriptedLink link;
    ASSERT_TRUE(WriteResultsLog(path, conflict, warning, editor, link));
    EXPECT_EQ(ReadText(path).rfind("ID,Conflict,Name,Overriding Esp File,Esp File,Original File\r\n", 0), 0u);
    EXPECT_EQ(ReadText(path).find(std::string(8, 'x')), std::string::npos);
    EXPECT_EQ(texts::FileErrorMessage(ENOSPC, "x.txt"), "Disk full while accessing x.txt.");
    EXPECT_EQ(texts::FileErrorMessage(ENOENT, "/no/x.txt"), "/no/x.txt contains an invalid path.");
}

TEST(WriteMessages, EveryFailureIsToldOrWasTheUsersOwnChoice) {
    using F = EWriteFailure;
    using A = EChange;
    const struct {
        CWriteResult m_result;
        EChange m_action;
        std::vector<std::string> m_texts;  // the boxes shown, in order
        const char* m_caption;             // of the first box
    } cases[] = {
        {{}, A::Delete, {}, ""},
        {CWriteResult::Failure(F::NothingToWrite), A::Update, {}, ""},
        {CWriteResult::Failure(F::BackupCancelled, "/d/Mod.OLD"), A::Delete, {}, ""},
        // The system's reason when there is one, else what was not done.
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp", "Input/output error"), A::Update, {"Input/output error"},
         "VANTOR"},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp"), A::Update, {"Could not update this Entry."}, "VANTOR"},
        {CWriteResult::Failure(F::WorkingCopy, "/d/", "Permission denied"), A::Delete,
         {"Could not delete this Entry.\nNo working copy could be made in /d/: Permission denied"}, "VANTOR"},
        // A rename that lost the plugin points at the backup; else it says the plugin is unchanged.
        {CWriteResult{F::Rename, "/d/Mod.esp", "Input/output error", false, {}}, A::Delete,
         {"Esp may be lost, restore from generated Backup.", "Input/output error"}, "Critical Error"},
        // The file is named, and the change it was refused.
        {CWriteResult::Failure(F::ChangedOnDisk, "/d/Mod.esp"), A::Delete,
         {"/d/Mod.esp: the file has changed since it was read.\nIt was not changed; load it again before changing it."},
         "Error"},
        // Done, but not all of it as it was: said.
        {CWriteResult{F::None, "", "", true, {"/d/Mod.esp", "/d/Mod.OLD"}}, A::Delete,
         {"/d/Mod.esp\n/d/Mod.OLD\nThe owner and group of the file changed could not be kept (only the superuser may "
          "give a file away): it now belongs to the user who ran this change."},
         "Warning"},
        {CWriteResult::Failure(F::Rename, "/d/Mod.esp", "Input/output error"), A::Delete,
         {"Input/output error\nThe plugin /d/Mod.esp was not changed."}, "VANTOR"},
        {CWriteResult::Failure(F::BackupIsPlugin, "/d/Mod.OLD"), A::Delete,
         {"/d/Mod.OLD\nThis is the plugin itself, which cannot be its own backup; the plugin was not changed."},
         "Cannot Complete Request"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.m_result.m_failure));
        CScriptedLink link;
        EXPECT_EQ(TellWriteResult(c.m_result, c.m_action, link), c.m_result.Ok());
        const auto messages = link.Messages();
        ASSERT_EQ(messages.size(), c.m_texts.size());
        for (std::size_t i = 0; i < messages.size(); ++i) EXPECT_EQ(messages[i].m_text, c.m_texts[i]);
        EXPECT_EQ(messages.empty() ? std::string() : messages[0].m_caption, c.m_caption);
    }
    // The rest are told too, never passed over.
    for (int f = int(F::NotExtracted); f <= int(F::Rename); ++f) {
        if (F(f) == F::BackupCancelled) continue;
        CScriptedLink link;
        EXPECT_FALSE(TellWriteResult(CWriteResult::Failure(F(f), "/d/Mod.esp"), A::Delete, link));
        EXPECT_EQ(link.Messages().size(), 1u) << f;
    }
}

TEST(WriteMessages, ExistingBackupQuestionAndChooser) {
    using EChoice = CBackupDecision::EChoice;
    const texts::CFileChoice mine{texts::CFileChoice::EStatus::Chosen, {"/d/Mine.bak"}};
    const struct {
        bool m_isPlugin;  // the backup would be the plugin itself
        EAnswer m_answer;
        std::optional<texts::CFileChoice> m_choice;
        EChoice m_decision;
    } cases[] = {
        {false, EAnswer::No, std::nullopt, EChoice::UseExisting},
        {false, EAnswer::Cancel, std::nullopt, EChoice::Cancel},
        {false, EAnswer::Yes, mine, EChoice::MakeNew},
        {false, EAnswer::Yes, texts::CFileChoice{texts::CFileChoice::EStatus::Cancelled, {}}, EChoice::Cancel},
        {false, EAnswer::Yes, texts::CFileChoice{texts::CFileChoice::EStatus::Failed, {}}, EChoice::Failed},
        // Keeping it is not offered: No cancels.
        {true, EAnswer::No, std::nullopt, EChoice::Cancel},
        {true, EAnswer::Yes, mine, EChoice::MakeNew},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.m_decision));
        CScriptedLink link;
        link.m_answers = {c.m_answer};
        if (c.m_choice) link.m_choices = {*c.m_choice};
        const CBackupDecision d = CLinkBackupPolicy(link).BackupExists("/d/Mod.esp", "/d/Mod.OLD", c.m_isPlugin);
        EXPECT_EQ(d.m_choice, c.m_decision);
        EXPECT_EQ(d.m_path, c.m_decision == EChoice::MakeNew ? "/d/Mine.bak" : "");
        ASSERT_EQ(link.Messages().size(), 1u);
        const texts::CMessage asked = link.Messages()[0];
        EXPECT_EQ(asked.m_buttons, c.m_isPlugin ? texts::EButtons::YesNo : texts::EButtons::YesNoCancel);
        if (!c.m_isPlugin) {
            EXPECT_EQ(asked.m_text, "/d/Mod.OLD\nBackup File Exists, Create a new Backup?");
            EXPECT_EQ(asked.m_default, EAnswer::No);
        }
        ASSERT_EQ(link.Choosers().size(), c.m_choice ? 1u : 0u);
        if (!c.m_choice) continue;
        const texts::CFileChooser chooser = link.Choosers()[0];
        EXPECT_EQ(chooser.m_startFolder + chooser.m_fileName, "/d/Mod.OLD");
        EXPECT_FALSE(chooser.m_confirmOverwrite);  // a name that is taken is refused, never replaced
    }
}

// A list is written out in runs of rows: every run, wherever it starts and
// however far it reaches past the end, shows the cells each row shows alone,
// with more files named than a run keeps names of at once.
TEST(ResultTable, RowsInRunsShowTheCellsOfEachRow) {
    std::vector<fixtures::CRowSpec> specs;
    const EFinding kinds[] = {EFinding::Conflict, EFinding::Conflict, EFinding::Unclean, EFinding::Deleted,
                              EFinding::FoundInMaster};
    for (std::size_t n = 0; n < 300; ++n) {
        const std::string tags[] = {"ACTI", "NPC_", "STAT"};
        specs.push_back({tags[n % 3], "id" + std::to_string(n % 50), "P" + std::to_string(n * 7 % 130) + ".esp",
                         "P" + std::to_string((n * 7 + 1 + n % 128) % 130) + ".esp",
                         n % 4 ? "M" + std::to_string(n % 3) + ".esm" : "", kinds[n % 5]});
    }
    fixtures::CTableMaker maker;
    const CResultTable table = maker.Make(EPane::Conflict, specs);
    ASSERT_EQ(table.RowCount(), 300u);
    ASSERT_GT(table.m_files.size(), 100u);
    const std::size_t columns = table.ColumnCount();
    for (const std::size_t first : {0, 1, 63, 64, 250, 299, 300, 420})
        for (const std::size_t count : {1, 7, 64, 100}) {
            std::vector<std::string_view> cells(count * columns, "unset");
            table.RowCells(first, count, cells.data());
            for (std::size_t k = 0; k < count; ++k)
                for (std::size_t c = 0; c < columns; ++c)
                    ASSERT_EQ(cells[k * columns + c], table.Cell(first + k, c))
                        << "run " << first << "+" << count << ", row " << first + k << ", column " << c;
        }
}

}  // namespace
}  // namespace vantor
