// vantor relink: the dialogue repair plugin of the chosen plugins.
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "platform/Files.h"
#include "texts/Texts.h"

namespace vantor::cli {

namespace {

struct CRelinkArgs {
    CCommonOptions m_common;
    CBackupOptions m_backup;
    std::string m_output;
};

// Why no repair plugin was written, from the operation's outcome.
std::string NotWrittenReason(const COutcome& outcome, const CRelinkResult& result) {
    using EOutcome = CDialogMerge::EOutcome;
    // The operation itself failed (out of memory): the document said so.
    if (outcome.m_reason == EReason::OutOfMemory) return "not enough memory to " + texts::Doing(outcome.m_activity);
    if (!result.m_ran || result.m_noPlugins) return "there were no plugins to repair";
    switch (result.m_outcome) {
        case EOutcome::Stopped: return "the run was stopped";
        case EOutcome::Declined: return "a question was answered No";
        case EOutcome::OpenFailed: return "a plugin or master could not be read";
        case EOutcome::Refused: return "the repair plugin cannot be written there";
        case EOutcome::WriteFailed: return "writing it failed";
        default: return "the merge did not run";
    }
}

int RunRelink(const CRelinkArgs& args) {
    if (args.m_common.m_plugins.empty() && !args.m_common.m_active && !OpenMWChosen(args.m_common)) {
        std::cerr << "vantor: name the plugins to repair, or --active\n";
        return kExitUsage;
    }
    if (platform::FileNameOf(args.m_output).empty()) {
        std::cerr << "vantor: --output must name the repair plugin's file, not "
                  << (args.m_output.empty() ? std::string("nothing") : "the folder " + DisplayText(args.m_output)) << "\n";
        return kExitUsage;
    }
    CSession session(args.m_common);
    ApplyBackupOptions(session, args.m_backup);
    // The repair plugin of this run; the settings keep their own.
    CRelinkRequest request;
    request.m_automatic = true;
    request.m_output = args.m_output;
    const COutcome outcome = session.Run(request);
    const CRelinkResult result = outcome.m_relink.value_or(CRelinkResult{});
    const int status = session.ExitStatus(outcome);
    if (!result.m_ran || result.m_outcome != CDialogMerge::EOutcome::Written) {
        std::cerr << "vantor: no repair plugin was written: " << NotWrittenReason(outcome, result) << "\n";
        return kExitFailed;
    }
    if (!args.m_common.m_quiet) std::cout << "repair plugin written: " << DisplayText(args.m_output) << "\n";
    return status;
}

}  // namespace

void AddRelinkCommands(CLI::App& app, CCommandList& commands) {
    auto relink = std::make_shared<CRelinkArgs>();
    auto* r = app.add_subcommand("relink", "Merge the plugins' dialogue chains into a repair plugin");
    AddCommonOptions(*r, relink->m_common);
    r->add_option("--output,-o", relink->m_output,
                  "The repair plugin to write; an existing one is replaced only with --yes or your answer, after its backup")
        ->required();
    AddBackupOptions(*r, relink->m_backup);
    commands.push_back({r, [relink] { return RunRelink(*relink); }});
}

}  // namespace vantor::cli
