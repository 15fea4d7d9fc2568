// vantor check and vantor global-changes.
#include <iostream>
#include <optional>

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
void PrintResults(CVANTORDoc& doc, const std::string& format, const CCsvConflicts* streamed) {
    const CResultTable& conflict = *doc.ResultTable(EPane::Conflict);
    const CResultTable& warning = *doc.ResultTable(EPane::Warning);
    const CResultTable& editor = *doc.ResultTable(EPane::Editor);
    if (format == "log") {
        auto write = [](std::string_view bytes) { return bool(std::cout.write(bytes.data(), std::streamsize(bytes.size()))); };
        WriteLogList(conflict, {}, write) && WriteLogList(warning, {}, write) && WriteLogList(editor, {}, write);
        return;
    }
    if (format == "csv") {
        for (const CResultTable* table : {&conflict, &warning, &editor})
            if (table != &conflict || !streamed || !streamed->Begun()) PrintTable(std::cout, *table, format, {});
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

int Finish(CSession& session, const CCheckArgs& args, const COutcome& outcome, const CCsvConflicts* streamed = nullptr) {
    CVANTORDoc& doc = session.Doc();
    TellMasterCoverage(outcome);
    bool logged = true;
    if (!args.m_log.empty()) {
        std::vector<std::string> inUse = FilesInUse(doc.Files());
        inUse.insert(inUse.end(), args.m_common.m_plugins.begin(), args.m_common.m_plugins.end());
        const auto path = PrepareOutput(args.m_log, inUse, EReplace::Ask, EOutput::ResultsLog, session.Link());
        logged = path && WriteResultsLog(*path, *doc.ResultTable(EPane::Conflict), *doc.ResultTable(EPane::Warning),
                                         *doc.ResultTable(EPane::Editor), session.Link());
        if (!logged) std::cerr << "vantor: the results log was not written\n";
    }
    PrintResults(doc, args.m_common.m_format, streamed);
    const int status = session.ExitStatus(outcome);
    return logged ? status : kExitFailed;
}

int RunCheck(const CCheckArgs& args) {
    CSession session(args.m_common);
    CCheckRequest request;
    // The flags given, together; none: the default checks of the settings.
    const CCheckSet given = (args.m_all ? CCheckSet::All() : CCheckSet{}) |
                            CCheckSet{args.m_conflicts, args.m_deleted, args.m_unclean, false};
    request.m_checks = given.Any() ? given : session.Doc().DefaultChecks();
    // csv is written line by line, so the conflicts go out as they are
    // found; the results log is made from the lists, so it needs them kept.
    std::optional<CCsvConflicts> streamed;
    if (args.m_common.m_format == "csv" && args.m_log.empty()) {
        streamed.emplace(std::cout);
        request.m_conflictSink = &*streamed;
    }
    const COutcome outcome = session.Run(request);
    return Finish(session, args, outcome, streamed ? &*streamed : nullptr);
}

int RunGlobalChanges(const CCheckArgs& args) {
    CSession session(args.m_common);
    CGlobalChangesRequest request;
    request.m_file = args.m_file;
    return Finish(session, args, session.Run(request));
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
