#pragma once
// Options shared by every command that works on a load order, and the
// document they set up.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/ConsoleLink.h"
#include "document/VANTORDoc.h"

namespace vantor::cli {

// Exit statuses, the same for every command: everything asked was done;
// anything failed, was refused or was left undone; the command line itself
// was wrong. Warnings alone never change the status.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CCommonOptions {
    std::string m_dataDir;
    std::string m_installDir;
    std::string m_openmwConfig;  // an openmw.cfg or its folder: OpenMW's load order
    bool m_openmw = false;       // OpenMW's load order from its own places
    // In OpenMW mode a command given no plugin works on the load order's.
    bool m_loadOrderWhenNone = true;
    std::string m_settings = "vantor.ini";
    std::string m_singleVersus;
    bool m_active = false;
    std::optional<bool> m_masters;  // LoadEsms for this run only
    bool m_yes = false;
    bool m_quiet = false;
    std::string m_format = "text";
    std::vector<std::string> m_plugins;
};

// Adds the common options (and the positional plugin list) to a command.
void AddCommonOptions(CLI::App& command, CCommonOptions& options, bool pluginsRequired = false);
// Adds only the options that say where the game is and how it orders files.
void AddLoadOrderOptions(CLI::App& command, CCommonOptions& options);

// A session's settings could not be written (it said so on stderr): the
// run ends with kExitFailed whatever its command did.
bool SettingsUnsaved();

// A command that cannot go on; main tells the message and ends with kExitFailed.
class CCommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool OpenMWChosen(const CCommonOptions& options);
// The load order the options name, as it was found.
std::shared_ptr<const loadorder::CLoadOrder> ChosenLoadOrder(const CCommonOptions& options);
// What is said of a configuration file that cannot be read.
std::string UnreadableConfigText(const loadorder::CConfigFile& file);
// Names on stderr each error of an OpenMW configuration (a content file
// named twice, ...); true when there was one.
bool ReportConfigErrors(const loadorder::CLoadOrder& order);
// The load order the options name, whole: a configuration that cannot be
// read throws CCommandError; with `reportMissing` its errors and each
// content file that no data folder holds are named on stderr.
std::shared_ptr<const loadorder::CLoadOrder> LoadOrderOf(const CCommonOptions& options, bool reportMissing);

// A document with its console link, set up from the options: settings
// read, the mode and the master plugin chosen, and the active plugins with
// --active.
class CSession {
public:
    explicit CSession(const CCommonOptions& options);
    ~CSession();
    CVANTORDoc& Doc() { return *m_doc; }
    CConsoleLink& Link() { return m_link; }
    // Runs a request here to its end, the plugins named on the command line
    // chosen first.
    COutcome Run(CRequest request);
    // kExitDone when the outcome did everything asked and the session was
    // set up as asked; otherwise kExitFailed. A file it could not read,
    // whose reason was not told, is named on stderr, once.
    int ExitStatus(const COutcome& outcome);
    // The plugins named on the command line, bare names found through the
    // load order in OpenMW mode.
    const std::vector<std::string>& Plugins() const { return m_options.m_plugins; }

private:
    CCommonOptions m_options;
    CConsoleLink m_link;
    std::unique_ptr<CVANTORDoc> m_doc;
    bool m_savedLoadEsms = true;
    bool m_setUp = true;  // the master plugin was taken
    bool m_unreadReported = false;
};

// What a run could not compare with: said on stderr, so that no list reads
// as all clear when the masters it needed were not there.
void TellMasterCoverage(const COutcome& outcome);

// What to do when a ".OLD" backup exists already, for the commands that
// change or replace plugins.
struct CBackupOptions {
    std::string m_backupName;
    bool m_acceptBackup = false;
};
void AddBackupOptions(CLI::App& command, CBackupOptions& options);
// Answers the backup questions of this run as the options say.
void ApplyBackupOptions(CSession& session, const CBackupOptions& options);

// One subcommand and what runs it when it was given.
struct CCommand {
    CLI::App* m_app;
    std::function<int()> m_run;
};
using CCommandList = std::vector<CCommand>;
using CAddCommands = void (*)(CLI::App& app, CCommandList& commands);

// The areas' command registrations, listed in Commands.cpp.
extern const std::vector<CAddCommands> kCommandAreas;

// The record tag an argument names ("npc_" is "NPC_"), or "" when no table
// of entries has it.
std::string RecordTag(const std::string& argument);

// Any table of texts: a header and a cell for each row and column.
struct CTableView {
    const std::vector<std::string>& m_header;
    std::size_t m_rows = 0;
    std::function<std::string_view(std::size_t row, std::size_t column)> m_cell;
    // Optional: whole rows' cells at once, `count` rows from `first`, row
    // after row, where that is cheaper.
    std::function<void(std::size_t first, std::size_t count, std::string_view* cells)> m_rowCells = {};
    // The cells are views of bytes that stay put while the table is
    // written, so two cells at one place hold the same bytes.
    bool m_cellsStay = false;
};
// Writes a table as text (aligned columns), csv (RFC 4180: a cell holding a
// comma, a quote or a line break is quoted, its quotes doubled), log (the
// results log's lines, cells joined as they are) or json. csv and log keep
// the cells' bytes and end lines with CR LF. In text and json, file columns
// are printed as the file system has the names, the other cells as the
// plugin's text; `name` is display text.
void PrintTable(std::ostream& out, const CTableView& table, const std::string& format, const std::string& name);
void PrintTable(std::ostream& out, const CResultTable& table, const std::string& format, const std::string& name);

// A check's conflicts written out as csv lines as they are found, the very
// lines PrintTable writes for the conflict pane, instead of kept: a load
// order of hundreds of plugins has millions.
class CCsvConflicts : public CFindingSink {
public:
    explicit CCsvConflicts(std::ostream& out);
    void Take(const std::vector<const CPluginFile*>& files, CFindings& rows) override;
    // The list was begun: its header line and any rows are written.
    bool Begun() const { return m_begun; }

private:
    std::ostream& m_out;
    CResultTable m_table;  // the header and the files, no rows
    bool m_begun = false;
    // Of a run of conflicts, the tag and description, and the three file
    // names, repeat from row to row: each is made into csv once, when it
    // changes.
    std::string m_lead, m_files;
};

// One csv field: `cell` as it is, or quoted with its quotes doubled.
void WriteCsvField(std::ostream& out, std::string_view cell);

}  // namespace vantor::cli
