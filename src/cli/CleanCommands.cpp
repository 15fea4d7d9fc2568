// vantor clean and vantor delete: the two commands that change plugins.
#include <iostream>

#include "checks/InstallOperations.h"
#include "cli/Common.h"
#include "cli/Json.h"

namespace vantor::cli {

namespace {

struct CChangeArgs {
    CCommonOptions m_common;
    std::string m_backupName;
    bool m_acceptBackup = false;
    std::string m_plugin, m_tag, m_id;
};

void AddBackupOptions(CLI::App& command, CChangeArgs& args) {
    command.add_option("--backup-name", args.m_backupName,
                       "When a .OLD backup exists already, make the new backup under this name");
    command.add_flag("--accept-existing-backup", args.m_acceptBackup,
                     "When a .OLD backup exists already, keep it as the backup");
}

void ApplyBackupOptions(CSession& session, const CChangeArgs& args) {
    if (!args.m_backupName.empty()) {
        session.Link().m_answers.push_back({"File Exists", EAnswer::Yes});
        session.Link().m_choices.push_back(args.m_backupName);
    } else if (args.m_acceptBackup) {
        session.Link().m_answers.push_back({"File Exists", EAnswer::No});
    }
}

int RunClean(const CChangeArgs& args) {
    CSession session(args.m_common);
    InstallOperations(session.Doc());
    ApplyBackupOptions(session, args);
    session.Run([](CVANTORDoc& d) { d.OnAutoDeleteUnclean(); });
    int status = session.ExitStatus();
    for (const auto& path : session.MissingPlugins()) {
        std::cerr << "vantor: could not read " << path << "\n";
        status = 1;
    }
    CVANTORDoc& doc = session.Doc();
    for (const auto& file : doc.m_loadedFiles)
        if (!file->m_removed.empty())
            std::cout << Cp1252ToUtf8(file->FileName()) << ": " << file->m_removed.size() << " unclean entries deleted"
                      << (file->BackupPath().empty() ? "" : ", backup " + Cp1252ToUtf8(file->BackupPath())) << "\n";
    return status;
}

int RunDelete(CChangeArgs args) {
    args.m_common.m_plugins = {args.m_plugin};
    CSession session(args.m_common);
    ApplyBackupOptions(session, args);
    session.Run([](CVANTORDoc& d) { d.OnExtractData(); });
    if (session.Doc().m_loadedFiles.empty()) {
        std::cerr << "vantor: could not read " << args.m_common.m_plugins.front() << "\n";
        return 1;
    }
    const std::string name = session.Doc().m_loadedFiles.front()->FileName();
    const bool deleted = session.Doc().DeleteEntry(name, args.m_tag, args.m_id, true);
    if (deleted) std::cout << "deleted " << args.m_tag << " " << Cp1252ToUtf8(args.m_id) << " from " << name << "\n";
    return deleted ? session.ExitStatus() : 1;
}

}  // namespace

void AddCleanCommands(CLI::App& app, CCommandList& commands) {
    auto clean = std::make_shared<CChangeArgs>();
    auto* c = app.add_subcommand("clean", "Delete every unclean entry from the plugins (a .OLD backup is made first)");
    AddCommonOptions(*c, clean->m_common);
    AddBackupOptions(*c, *clean);
    commands.push_back({c, [clean] { return RunClean(*clean); }});

    auto del = std::make_shared<CChangeArgs>();
    auto* d = app.add_subcommand("delete", "Delete one entry from a plugin (a .OLD backup is made first)");
    AddCommonOptions(*d, del->m_common, false);
    d->remove_option(d->get_option("plugins"));
    d->add_option("plugin", del->m_plugin, "The plugin")->required();
    d->add_option("tag", del->m_tag, "Record tag, e.g. NPC_")->required();
    d->add_option("id", del->m_id, "Entry ID")->required();
    AddBackupOptions(*d, *del);
    commands.push_back({d, [del] { return RunDelete(*del); }});
}

}  // namespace vantor::cli
