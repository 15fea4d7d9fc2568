// vantor clean, clean-cells and delete: the commands that change plugins.
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "platform/Text.h"

namespace vantor::cli {

namespace {

using platform::CountOf;

// Plugins are changed only when they are named, or with --active: a command
// line naming none is wrong, never a run that changes nothing.
bool NoPluginNamed(const CCommonOptions& options) {
    if (!options.m_plugins.empty() || options.m_active) return false;
    std::cerr << "vantor: name the plugins to clean, or --active\n";
    return true;
}

struct CChangeArgs {
    CCommonOptions m_common;
    CBackupOptions m_backup;
    std::string m_plugin, m_tag, m_id;
};

int RunClean(CChangeArgs args) {
    if (NoPluginNamed(args.m_common)) return kExitUsage;
    // Deleting is never done to plugins nobody named.
    args.m_common.m_loadOrderWhenNone = false;
    CSession session(args.m_common);
    ApplyBackupOptions(session, args.m_backup);
    const COutcome outcome = session.Run(CAutoCleanRequest{});
    const CAutoCleanResult result = outcome.m_clean.value_or(CAutoCleanResult{});
    for (const CFileChange& file : outcome.m_changed)
        std::cout << DisplayText(file.m_file) << ": " << CountOf(file.m_entries, "unclean entry", "unclean entries")
                  << " deleted" << (file.m_backup.empty() ? "" : ", backup " + DisplayText(file.m_backup)) << "\n";
    // Nothing can be unclean against a master that is not there.
    if (result.m_confirmed) TellMasterCoverage(outcome);
    const int status = session.ExitStatus(outcome);
    if (!result.m_confirmed)
        std::cerr << "vantor: nothing was deleted: the clean was not confirmed\n";
    else if (result.m_failed || outcome.Stopped())
        std::cerr << "vantor: " << result.m_deleted << " of "
                  << CountOf(result.m_unclean, "unclean entry", "unclean entries") << " deleted\n";
    return status;
}

int RunDelete(CChangeArgs args) {
    const std::string tag = RecordTag(args.m_tag);
    if (tag.empty()) {
        std::cerr << "vantor: " << args.m_tag << " is not a record type that has entries\n";
        return kExitUsage;
    }
    args.m_common.m_plugins = {args.m_plugin};
    CSession session(args.m_common);
    ApplyBackupOptions(session, args.m_backup);
    const COutcome read = session.Run(CReadRequest{});
    const std::vector<std::string> loaded = session.Doc().LoadedNames();
    if (loaded.empty()) {
        session.ExitStatus(read);
        return kExitFailed;
    }
    const std::string name = loaded.front();
    // IDs are the game's text; the terminal gives UTF-8.
    CDeleteEntryRequest request;
    request.m_entry = session.Doc().FindEntryRef(name, tag, Utf8ToCp1252(args.m_id));
    const COutcome deleted = session.Run(request);
    if (deleted.Ok()) std::cout << "deleted " << tag << " " << args.m_id << " from " << DisplayText(name) << "\n";
    return session.ExitStatus(read) == kExitDone ? session.ExitStatus(deleted) : kExitFailed;
}

struct CCellArgs {
    CCommonOptions m_common;
    CBackupOptions m_backup;
    bool m_dryRun = false;
};

int RunCleanCells(CCellArgs args) {
    if (NoPluginNamed(args.m_common)) return kExitUsage;
    // Cleaning is never done to plugins nobody named.
    args.m_common.m_loadOrderWhenNone = false;
    const std::string format = args.m_common.m_format;
    CSession session(args.m_common);
    ApplyBackupOptions(session, args.m_backup);
    // The findings are printed as they are listed, before the question.
    bool printed = false;
    session.Link().m_onRows = [&](EPane pane, const CResultTable& table) {
        if (pane != EPane::Warning || printed) return;
        printed = true;
        PrintTable(std::cout, table, format, "Cells");
        std::cout.flush();
    };
    CCleanCellsRequest request;
    request.m_listOnly = args.m_dryRun;
    const COutcome outcome = session.Run(request);
    session.Link().m_onRows = nullptr;
    const int status = session.ExitStatus(outcome);
    const std::optional<CCellCleanResult> result = outcome.m_cellClean;
    if (!result) {
        std::cerr << "vantor: nothing was cleaned: no plugin was read\n";
        return kExitFailed;
    }
    // Machine-readable output stays alone on stdout.
    std::ostream& report = format == "text" ? std::cout : std::cerr;
    if (outcome.Stopped()) {
        std::cerr << "vantor: stopped: " << result->m_cleaned << " of " << CountOf(result->m_cells, "cell", "cells")
                  << " cleaned\n";
        return kExitFailed;
    }
    if (args.m_dryRun) {
        report << CountOf(result->m_cells, "cell", "cells") << " to clean: "
               << CountOf(result->m_duplicates, "duplicate reference", "duplicate references") << ", "
               << CountOf(result->m_settings, "redundant setting", "redundant settings") << ", "
               << CountOf(result->m_junk, "junk cell", "junk cells") << " (nothing was changed)\n";
        // Composed first: stderr writes each piece at once, and a plugin may
        // name tens of thousands of masters.
        std::string warnings;
        const CCellNotes& notes = result->m_notes;
        for (const auto& name : notes.m_missingMasters)
            warnings += "vantor: warning: " + DisplayText(name) + " is not loaded: its references are kept\n";
        if (const std::size_t forData = notes.m_unjudged - notes.m_unjudgedForMissing)
            warnings += "vantor: warning: " + CountOf(forData, "cell", "cells") +
                        " could not be judged (data not extracted, or damaged) and " +
                        std::string(platform::Plural(forData, "is", "are")) + " left alone\n";
        if (const std::size_t n = notes.m_unjudgedForMissing) {
            warnings += "vantor: warning: " + CountOf(n, "cell", "cells") +
                        " could not be judged: a master named after the one compared with is not loaded:";
            for (std::size_t i = 0; i < notes.m_unjudgedMasters.size(); ++i)
                warnings += (i ? ", " : " ") + DisplayText(notes.m_unjudgedMasters[i]);
            warnings += "\n";
        }
        std::cerr << warnings;
        return status;
    }
    if (result->m_cells == 0) return status;
    for (const CFileChange& file : outcome.m_changed)
        report << DisplayText(file.m_file) << ": " << CountOf(file.m_entries, "cell", "cells") << " cleaned, backup "
               << DisplayText(file.m_backup) << "\n";
    if (!result->m_confirmed) {
        std::cerr << "vantor: nothing was cleaned: the cleaning was not confirmed\n";
        return kExitFailed;
    }
    if (result->m_failed) {
        std::cerr << "vantor: " << result->m_cleaned << " of " << CountOf(result->m_cells, "cell", "cells") << " cleaned\n";
        return kExitFailed;
    }
    report << CountOf(result->m_cleaned, "cell", "cells") << " cleaned\n";
    return status;
}

}  // namespace

void AddCleanCommands(CLI::App& app, CCommandList& commands) {
    auto clean = std::make_shared<CChangeArgs>();
    auto* c = app.add_subcommand("clean", "Delete every unclean entry from the plugins (a .OLD backup is made first)");
    AddCommonOptions(*c, clean->m_common);
    AddBackupOptions(*c, clean->m_backup);
    commands.push_back({c, [clean] { return RunClean(*clean); }});

    auto cells = std::make_shared<CCellArgs>();
    auto* cc = app.add_subcommand("clean-cells",
                                  "Remove duplicate references, redundant cell settings and junk cells from the plugins' "
                                  "cells (a .OLD backup is made first)");
    AddCommonOptions(*cc, cells->m_common);
    AddBackupOptions(*cc, cells->m_backup);
    cc->add_flag("--dry-run", cells->m_dryRun, "Only list what would be cleaned");
    commands.push_back({cc, [cells] { return RunCleanCells(*cells); }});

    auto del = std::make_shared<CChangeArgs>();
    auto* d = app.add_subcommand("delete", "Delete one entry from a plugin (a .OLD backup is made first)");
    AddCommonOptions(*d, del->m_common, false);
    d->remove_option(d->get_option("plugins"));
    d->add_option("plugin", del->m_plugin, "The plugin")->required();
    d->add_option("tag", del->m_tag, "Record tag, e.g. NPC_")->required();
    d->add_option("id", del->m_id, "Entry ID")->required();
    AddBackupOptions(*d, del->m_backup);
    commands.push_back({d, [del] { return RunDelete(*del); }});
}

}  // namespace vantor::cli
