#include "format/Backup.h"

#include "platform/Files.h"

namespace vantor {

std::string DefaultBackupName(const std::string& pluginPath) {
    return pluginPath.size() >= 3 ? pluginPath.substr(0, pluginPath.size() - 3) + "OLD" : pluginPath + ".OLD";
}

CWriteResult MakeBackupCopy(const std::string& pluginPath, CBackupState& state, CBackupPolicy& policy,
                            const platform::CFileTimes* times) {
    if (state.m_made) return {};
    if (state.m_path.empty()) state.m_path = DefaultBackupName(pluginPath);
    auto failed = [](EWriteFailure failure, const std::string& path) {
        return CWriteResult::Failure(failure, path, platform::LastErrorMessage());
    };

    platform::ClearLastError();
    const platform::CPathProbe plugin = platform::ProbePath(pluginPath);
    if (!plugin.m_known || !plugin.Exists()) return failed(EWriteFailure::Backup, pluginPath);
    std::string backupPath = state.m_path;
    platform::CPathProbe backup = platform::ProbePath(backupPath);
    if (!backup.m_known) return failed(EWriteFailure::Backup, backupPath);
    bool replace = false;
    if (backup.Exists()) {
        const bool isPlugin = backup.m_id == plugin.m_id;
        CBackupDecision decision = policy.BackupExists(pluginPath, backupPath, isPlugin);
        switch (decision.m_choice) {
            case CBackupDecision::EChoice::UseExisting:
                state.m_made = true;
                return {};
            case CBackupDecision::EChoice::Cancel: return CWriteResult::Failure(EWriteFailure::BackupCancelled, backupPath);
            case CBackupDecision::EChoice::Failed: return CWriteResult::Failure(EWriteFailure::BackupChooser, backupPath);
            case CBackupDecision::EChoice::MakeNew: break;
        }
        if (decision.m_path.empty()) return CWriteResult::Failure(EWriteFailure::BackupCancelled, backupPath);
        backupPath = decision.m_path;
        backup = platform::ProbePath(backupPath);
        if (!backup.m_known) return failed(EWriteFailure::Backup, backupPath);
        // The chooser asked before replacing a file that is there.
        replace = true;
    }
    // A backup over the plugin itself would be replaced by the change.
    if (backup.Exists() && backup.m_id == plugin.m_id)
        return CWriteResult::Failure(EWriteFailure::BackupIsPlugin, backupPath);

    if (!platform::CopyFile(pluginPath, backupPath, replace, times)) return failed(EWriteFailure::Backup, backupPath);
    platform::SyncFolder(platform::FolderOf(backupPath));
    state.m_path = backupPath;
    state.m_made = true;
    return {};
}

}  // namespace vantor
