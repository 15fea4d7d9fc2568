#pragma once
// What a change to a file on disk did, and how its backup is decided. The
// format layer reports; the front ends turn reports into words and answer the
// backup question.
#include <chrono>
#include <string>
#include <vector>

namespace vantor {

enum class EWriteFailure {
    None,
    NothingToWrite,   // the new data equals the old, or no entry of this file was asked for
    NotInFile,        // the entry is not (or no longer) in this file's tables
    NotExtracted,     // the entry's data was dropped by the reader, so it is not the record's
    TooLarge,         // the record would outgrow its size field
    NotRegular,       // a folder, device, FIFO or socket where a file was expected
    ReadOnly,         // the plugin has no write permission
    Inspect,          // the plugin could not be looked at or read
    WorkingCopy,      // the working copy beside the plugin could not be made
    WorkingFile,      // reading or writing the working copy failed
    ChangedOnDisk,    // the plugin is no longer the file, or holds no longer the bytes, that were read
    Busy,             // another process kept the plugin locked for longer than the policy waits
    InsideRecord,     // an entry is no whole record of the file as walked from its start
    BackupCancelled,  // the backup policy said cancel
    BackupChooser,    // the backup policy could not give a name
    BackupIsPlugin,   // the backup would be the plugin itself
    BackupNameTaken,  // the backup name is taken: a backup never replaces a file
    BackupShared,     // the file is another plugin's backup, made or kept in this run
    Backup,           // copying the plugin to its backup failed
    Rename,           // the working copy could not replace the plugin
};

struct CWriteResult {
    EWriteFailure m_failure = EWriteFailure::None;
    std::string m_path;    // the file or folder the failure concerns
    std::string m_reason;  // the system's message ("Permission denied"); "" when there is none
    // The plugin still holds exactly its bytes from before the call.
    bool m_pluginUnchanged = true;
    // Success: files written (the plugin, its backup) that could not be given
    // the owner and group of the file they stand for.
    std::vector<std::string> m_ownerNotKept;

    bool Ok() const { return m_failure == EWriteFailure::None; }
    static CWriteResult Failure(EWriteFailure failure, std::string path = {}, std::string reason = {}) {
        return CWriteResult{failure, std::move(path), std::move(reason), true, {}};
    }
};

// The answer to "a file is at the backup path".
struct CBackupDecision {
    enum class EChoice { UseExisting, MakeNew, Cancel, Failed };
    EChoice m_choice = EChoice::Cancel;
    std::string m_path;  // MakeNew: where the new backup goes
};

class CBackupPolicy {
public:
    virtual ~CBackupPolicy() = default;
    // A file is at `backupPath` already. `isPlugin`: that file is the plugin
    // itself (or a link to it), which can never serve as its backup.
    virtual CBackupDecision BackupExists(const std::string& pluginPath, const std::string& backupPath,
                                         bool isPlugin) = 0;
    // How long a change waits for another process that is changing the same
    // file; told once, before the wait, that it waits.
    virtual std::chrono::milliseconds LockWait() const { return std::chrono::seconds(30); }
    virtual void Waiting(const std::string& /*pluginPath*/, std::chrono::milliseconds /*wait*/) {}
};

// A policy that always gives the same answer (tests, batch tools).
class CFixedBackupPolicy : public CBackupPolicy {
public:
    explicit CFixedBackupPolicy(CBackupDecision decision = {}) : m_decision(std::move(decision)) {}
    CBackupDecision BackupExists(const std::string&, const std::string&, bool) override { return m_decision; }

private:
    CBackupDecision m_decision;
};

}  // namespace vantor
