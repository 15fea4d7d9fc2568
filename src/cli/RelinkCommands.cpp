// vantor relink: the dialogue repair plugin of the chosen plugins.
#include <iostream>

#include "checks/InstallOperations.h"
#include "cli/Common.h"
#include "platform/Files.h"

namespace vantor::cli {

namespace {

struct CRelinkArgs {
    CCommonOptions m_common;
    std::string m_output;
};

int RunRelink(const CRelinkArgs& args) {
    CSession session(args.m_common);
    InstallOperations(session.Doc());
    CVANTORDoc& doc = session.Doc();
    // The repair plugin of this run; the settings keep their own.
    const std::string savedName = doc.m_options.m_espFilename, savedPath = doc.m_options.m_espPath;
    doc.m_options.m_espFilename = platform::FileNameOf(args.m_output);
    std::string folder = platform::FolderOf(args.m_output);
    doc.m_options.m_espPath = folder.empty() ? "./" : folder;
    session.Run([](CVANTORDoc& d) { d.OnAutoRelinkDialog(); });
    doc.m_options.m_espFilename = savedName;
    doc.m_options.m_espPath = savedPath;
    int status = session.ExitStatus();
    if (!platform::FileExists(args.m_output)) {
        std::cerr << "vantor: no repair plugin was written\n";
        status = 1;
    } else if (!args.m_common.m_quiet) {
        std::cout << "repair plugin written: " << args.m_output << "\n";
    }
    return status;
}

}  // namespace

void AddRelinkCommands(CLI::App& app, CCommandList& commands) {
    auto relink = std::make_shared<CRelinkArgs>();
    auto* r = app.add_subcommand("relink", "Merge the plugins' dialogue chains into a repair plugin");
    AddCommonOptions(*r, relink->m_common);
    r->add_option("--output,-o", relink->m_output, "The repair plugin to write")->required();
    commands.push_back({r, [relink] { return RunRelink(*relink); }});
}

}  // namespace vantor::cli
