// vantor check and vantor global-changes.
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "document/OutputPath.h"
#include "document/ResultsLog.h"

namespace vantor::cli {

namespace {

struct CCheckArgs {
    CCommonOptions m_common;
    bool m_conflicts = false, m_deleted = false, m_unclean = false, m_all = false;
    std::string m_log;
    std::string m_file;
};

// Prints the three lists in the chosen format; log is the results log, csv
// the same lists one after the other, each with its header line.
void PrintResults(CVANTORDoc& doc, const std::string& format) {
    const CResultTable& conflict = *doc.ResultTable(EPane::Conflict);
    const CResultTable& warning = *doc.ResultTable(EPane::Warning);
    const CResultTable& editor = *doc.ResultTable(EPane::Editor);
    if (format == "log") {
        auto write = [](std::string_view bytes) { return bool(std::cout.write(bytes.data(), std::streamsize(bytes.size()))); };
        WriteLogList(conflict, {}, write) && WriteLogList(warning, {}, write) && WriteLogList(editor, {}, write);
        return;
    }
    if (format == "csv") {
        for (const CResultTable* table : {&conflict, &warning, &editor}) PrintTable(std::cout, *table, format, {});
        return;
    }
    if (format == "json") {
        std::cout << "[";
        PrintTable(std::cout, conflict, format, "conflicts");
        std::cout << ",";
        PrintTable(std::cout, warning, format, "warnings");
        std::cout << ",";
        PrintTable(std::cout, editor, format, "editor");
        std::cout << "]\n";
        return;
    }
    PrintTable(std::cout, conflict, format, "Conflicts");
    std::cout << "\n";
    PrintTable(std::cout, warning, format, "Warnings");
    if (editor.RowCount() > 0) {
        std::cout << "\n";
        PrintTable(std::cout, editor, format, "Editor");
    }
}

// What the check could not compare with: said on stderr, so that no list
// reads as all clear when the masters it needed were not there.
void TellMasterCoverage(const COperationOutcome& outcome) {
    if (!outcome.m_masterCoverage) return;
    const CMasterCoverage& coverage = *outcome.m_masterCoverage;
    if (coverage.m_noneRead)
        std::cerr << "vantor: warning: no master was read, so unclean entries and global changes could not be checked\n";
    for (const CMissingMaster& master : coverage.m_missing) {
        // A header's master name is the plugin's own text.
        std::cerr << "vantor: warning: the master " << Cp1252ToUtf8(master.m_name) << " of ";
        for (std::size_t i = 0; i < master.m_plugins.size(); ++i)
            std::cerr << (i ? ", " : "") << DisplayText(master.m_plugins[i]);
        std::cerr << " is not loaded: nothing was compared with its records\n";
    }
}

int Finish(CSession& session, const CCheckArgs& args) {
    CVANTORDoc& doc = session.Doc();
    TellMasterCoverage(doc.LastOutcome());
    bool logged = true;
    if (!args.m_log.empty()) {
        std::vector<std::string> inUse = FilesInUse(doc.Files());
        inUse.insert(inUse.end(), args.m_common.m_plugins.begin(), args.m_common.m_plugins.end());
        const auto path = PrepareOutput(args.m_log, inUse, EReplace::Ask, "Save Log As", session.Link());
        logged = path && WriteResultsLog(*path, *doc.ResultTable(EPane::Conflict), *doc.ResultTable(EPane::Warning),
                                         *doc.ResultTable(EPane::Editor), session.Link());
        if (!logged) std::cerr << "vantor: the results log was not written\n";
    }
    PrintResults(doc, args.m_common.m_format);
    const int status = session.ExitStatus();
    return logged ? status : kExitFailed;
}

int RunCheck(const CCheckArgs& args) {
    CSession session(args.m_common);
    session.Run([&](CVANTORDoc& d) {
        if (args.m_all || (args.m_conflicts + args.m_deleted + args.m_unclean) > 1) {
            // Several flags: their union, as a one-shot mask.
            d.BeginCheck(std::uint8_t((args.m_all ? kCheckAll : 0) | (args.m_conflicts ? kCheckConflicts : 0) |
                                      (args.m_deleted ? kCheckDeleted : 0) | (args.m_unclean ? kCheckUnclean : 0)));
        } else if (args.m_conflicts) {
            d.OnCheckConflicts();
        } else if (args.m_deleted) {
            d.OnCheckDeleted();
        } else if (args.m_unclean) {
            d.OnCheckUnclean();
        } else {
            d.OnDefaultCheck();
        }
    });
    return Finish(session, args);
}

int RunGlobalChanges(const CCheckArgs& args) {
    CSession session(args.m_common);
    session.Run([&](CVANTORDoc& d) {
        if (args.m_file.empty()) {
            d.OnViewAllGlobalChanges();
        } else {
            CViewFileChoice choice;
            choice.m_globalChanges = true;
            choice.m_fileName = args.m_file;
            d.OnViewFileData(choice);
        }
    });
    return Finish(session, args);
}

}  // namespace

void AddCheckCommands(CLI::App& app, CCommandList& commands) {
    auto check = std::make_shared<CCheckArgs>();
    auto* c = app.add_subcommand("check", "Check the plugins for conflicts, deleted and unclean entries");
    AddCommonOptions(*c, check->m_common);
    c->add_flag("--conflicts", check->m_conflicts, "Check Conflicts");
    c->add_flag("--deleted", check->m_deleted, "Check Deleted");
    c->add_flag("--unclean", check->m_unclean, "Check Unclean");
    c->add_flag("--all", check->m_all, "Check All (without a flag: the default checks of the settings)");
    c->add_option("--log", check->m_log, "Also write the results log to this file");
    commands.push_back({c, [check] { return RunCheck(*check); }});

    auto global = std::make_shared<CCheckArgs>();
    auto* g = app.add_subcommand("global-changes", "List the entries of plugins that change a master's records");
    AddCommonOptions(*g, global->m_common);
    g->add_option("--file", global->m_file, "Only this plugin");
    g->add_option("--log", global->m_log, "Also write the results log to this file");
    commands.push_back({g, [global] { return RunGlobalChanges(*global); }});
}

}  // namespace vantor::cli
