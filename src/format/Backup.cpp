#include "format/Backup.h"

#include <map>
#include <mutex>

#include "platform/Files.h"

namespace vantor {

namespace {

// The backups this process made or kept, by the file they are (their path
// as the file system has it, and which file that was): the plugin each is
// for. A backup is never one plugin's and then another's.
struct CRunBackup {
    platform::CFileId m_id;
    std::string m_plugin;
};
std::mutex gRunBackupsMutex;
std::map<std::string, CRunBackup> gRunBackups;

// One spelling per file: through links, in the letter case on disk.
std::string Canonical(const std::string& path) {
    return platform::ResolveLinks(platform::ResolvePath(path).value_or(path));
}

// The plugin another backup of this run at `backupPath` (probed as `backup`)
// is for, or "" when it is none.
std::string RunBackupOwner(const std::string& backupPath, const platform::CPathProbe& backup) {
    std::lock_guard lock(gRunBackupsMutex);
    auto it = gRunBackups.find(Canonical(backupPath));
    // A file made since under that name, or a reused file id, is another file.
    if (it == gRunBackups.end() || !backup.Exists() || it->second.m_id != backup.m_id) return {};
    return it->second.m_plugin;
}

void NoteRunBackup(const std::string& backupPath, const platform::CFileId& id, const std::string& plugin) {
    std::lock_guard lock(gRunBackupsMutex);
    gRunBackups[Canonical(backupPath)] = {id, plugin};
}

bool IsOtherPluginsBackup(const std::string& backupPath, const platform::CPathProbe& backup, const std::string& plugin) {
    const std::string owner = RunBackupOwner(backupPath, backup);
    return !owner.empty() && owner != plugin;
}

}  // namespace

std::string DefaultBackupName(const std::string& pluginPath) {
    const std::string name = platform::FileNameOf(pluginPath);
    const auto dot = name.rfind('.');
    const std::size_t stem = pluginPath.size() - name.size() + (dot == std::string::npos || dot == 0 ? name.size() : dot);
    return pluginPath.substr(0, stem) + ".OLD";
}

CWriteResult MakeBackupCopy(const std::string& pluginPath, CBackupState& state, CBackupPolicy& policy,
                            const platform::CFileTimes* times) {
    if (state.m_made) return {};
    auto failed = [](EWriteFailure failure, const std::string& path) {
        return CWriteResult::Failure(failure, path, platform::LastErrorMessage());
    };
    const std::string self = Canonical(pluginPath);
    // A name another file has in another letter case is taken: the game
    // and Windows see one file there.
    auto onDisk = [](const std::string& path) { return platform::ResolvePath(path).value_or(path); };

    platform::ClearLastError();
    const platform::CPathProbe plugin = platform::ProbePath(pluginPath);
    if (!plugin.m_known || !plugin.Exists()) return failed(EWriteFailure::Backup, pluginPath);
    std::string backupPath = onDisk(DefaultBackupName(pluginPath));
    platform::CPathProbe backup = platform::ProbePath(backupPath);
    if (!backup.m_known) return failed(EWriteFailure::Backup, backupPath);
    // X.esp and X.esm both name X.OLD: the second takes its whole name.
    if (IsOtherPluginsBackup(backupPath, backup, self)) {
        backupPath = onDisk(pluginPath + ".OLD");
        backup = platform::ProbePath(backupPath);
        if (!backup.m_known) return failed(EWriteFailure::Backup, backupPath);
    }
    if (backup.Exists()) {
        const bool isPlugin = backup.m_id == plugin.m_id;
        CBackupDecision decision = policy.BackupExists(pluginPath, backupPath, isPlugin);
        switch (decision.m_choice) {
            case CBackupDecision::EChoice::UseExisting:
                // Taking the plugin as its own backup would leave no copy of
                // its old bytes anywhere, as would taking another's.
                if (isPlugin) return CWriteResult::Failure(EWriteFailure::BackupIsPlugin, backupPath);
                if (backup.m_kind != platform::EFileKind::Regular)
                    return CWriteResult::Failure(EWriteFailure::NotRegular, backupPath, platform::KindWords(backup.m_kind));
                if (IsOtherPluginsBackup(backupPath, backup, self))
                    return CWriteResult::Failure(EWriteFailure::BackupShared, backupPath, RunBackupOwner(backupPath, backup));
                NoteRunBackup(backupPath, backup.m_id, self);
                state.m_path = backupPath;
                state.m_made = true;
                return {};
            case CBackupDecision::EChoice::Cancel: return CWriteResult::Failure(EWriteFailure::BackupCancelled, backupPath);
            case CBackupDecision::EChoice::Failed: return CWriteResult::Failure(EWriteFailure::BackupChooser, backupPath);
            case CBackupDecision::EChoice::MakeNew: break;
        }
        if (decision.m_path.empty()) return CWriteResult::Failure(EWriteFailure::BackupCancelled, backupPath);
        backupPath = onDisk(decision.m_path);
        backup = platform::ProbePath(backupPath);
        if (!backup.m_known) return failed(EWriteFailure::Backup, backupPath);
    }
    if (backup.Exists()) {
        if (backup.m_id == plugin.m_id) return CWriteResult::Failure(EWriteFailure::BackupIsPlugin, backupPath);
        return CWriteResult::Failure(EWriteFailure::BackupNameTaken, backupPath);
    }

    // Created under a name that is free; a file that appears there meanwhile
    // is not replaced either.
    platform::CCopied copied;
    if (!platform::CopyFile(pluginPath, backupPath, false, times, &copied))
        return failed(EWriteFailure::Backup, backupPath);
    platform::SyncFolder(platform::FolderOf(backupPath));
    NoteRunBackup(backupPath, copied.m_id, self);
    state.m_path = backupPath;
    state.m_made = true;
    CWriteResult made;
    if (!copied.m_ownerKept) made.m_ownerNotKept.push_back(backupPath);
    return made;
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
