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
    if (backup.Exists()) {
        const bool isPlugin = backup.m_id == plugin.m_id;
        CBackupDecision decision = policy.BackupExists(pluginPath, backupPath, isPlugin);
        switch (decision.m_choice) {
            case CBackupDecision::EChoice::UseExisting:
                // Taking the plugin as its own backup would leave no copy of
                // its old bytes anywhere.
                if (isPlugin) return CWriteResult::Failure(EWriteFailure::BackupIsPlugin, backupPath);
                if (backup.m_kind != platform::EFileKind::Regular)
                    return CWriteResult::Failure(EWriteFailure::NotRegular, backupPath, platform::KindWords(backup.m_kind));
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
    }
    if (backup.Exists()) {
        if (backup.m_id == plugin.m_id) return CWriteResult::Failure(EWriteFailure::BackupIsPlugin, backupPath);
        return CWriteResult::Failure(EWriteFailure::BackupNameTaken, backupPath);
    }

    // Created under a name that is free; a file that appears there meanwhile
    // is not replaced either.
    if (!platform::CopyFile(pluginPath, backupPath, false, times)) return failed(EWriteFailure::Backup, backupPath);
    platform::SyncFolder(platform::FolderOf(backupPath));
    state.m_path = backupPath;
    state.m_made = true;
    return {};
}

CWriteResult BackUpOutput(const std::string& path, CBackupPolicy& policy, std::string* backupPath) {
    if (backupPath) backupPath->clear();
    platform::ClearLastError();
    const platform::CPathProbe probe = platform::ProbePath(path);
    if (!probe.m_known) return CWriteResult::Failure(EWriteFailure::Inspect, path, platform::LastErrorMessage());
    if (!probe.Exists()) return {};
    if (probe.m_kind != platform::EFileKind::Regular)
        return CWriteResult::Failure(EWriteFailure::NotRegular, path, platform::KindWords(probe.m_kind));
    std::string start;
    if (!platform::ReadFileStart(path, 4, start))
        return CWriteResult::Failure(EWriteFailure::Inspect, path, platform::LastErrorMessage());
    if (start != "TES3") return {};
    CBackupState state;
    CWriteResult result = MakeBackupCopy(path, state, policy);
    if (result.Ok() && backupPath) *backupPath = state.m_path;
    return result;
}

}  // namespace vantor
