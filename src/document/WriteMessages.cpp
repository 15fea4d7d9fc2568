#include "document/WriteMessages.h"

#include <chrono>

#include "platform/Files.h"

namespace vantor {

CBackupDecision CLinkBackupPolicy::BackupExists(const std::string& pluginPath, const std::string& backupPath,
                                                bool isPlugin) {
    if (isPlugin) {
        // "No" would take the plugin as its own backup: that choice is not offered.
        if (!m_link.Agrees(CBackupIsPluginQuestion{pluginPath, backupPath})) return {CBackupDecision::EChoice::Cancel, {}};
    } else {
        const EAnswer answer = m_link.Ask(CReplaceBackupQuestion{pluginPath, backupPath}).m_answer;
        if (answer == EAnswer::No) return {CBackupDecision::EChoice::UseExisting, {}};
        if (answer != EAnswer::Yes) return {CBackupDecision::EChoice::Cancel, {}};
    }
    const CAnswer name =
        m_link.Ask(CBackupNameQuestion{pluginPath, DefaultBackupName(platform::FileNameOf(pluginPath))});
    if (name.m_answer == EAnswer::No) return {CBackupDecision::EChoice::Failed, {}};
    if (name.m_answer != EAnswer::Ok || name.m_path.empty()) return {CBackupDecision::EChoice::Cancel, {}};
    return {CBackupDecision::EChoice::MakeNew, name.m_path};
}

void CLinkBackupPolicy::Waiting(const std::string& pluginPath, std::chrono::milliseconds wait) {
    m_link.Tell(CWaitingForFileNotice{pluginPath, std::chrono::duration_cast<std::chrono::seconds>(wait).count()});
}

bool TellWriteResult(const CWriteResult& result, EChange change, CUserLink& link) {
    switch (result.m_failure) {
        case EWriteFailure::None:
            if (!result.m_ownerNotKept.empty()) link.Tell(COwnerNotKeptNotice{result.m_ownerNotKept});
            return true;
        case EWriteFailure::NothingToWrite:
        case EWriteFailure::NotInFile:
        case EWriteFailure::BackupCancelled:
            return false;
        case EWriteFailure::Rename:
            if (!result.m_pluginUnchanged) link.Tell(CPluginMayBeLostNotice{result.m_path});
            break;
        default:
            break;
    }
    link.Tell(CWriteFailedNotice{result, change});
    return false;
}

bool RewriteEntry(CPluginFile& file, CEntry& entry, const CSubRecords& subs, CUserLink& link) {
    CLinkBackupPolicy policy(link);
    return TellWriteResult(file.RewriteEntry(entry, subs, policy), EChange::Update, link);
}

bool EraseEntry(CPluginFile& file, const CEntry& entry, CUserLink& link) {
    CLinkBackupPolicy policy(link);
    return TellWriteResult(file.EraseEntry(entry, policy), EChange::Delete, link);
}

std::vector<bool> EraseEntries(CPluginFile& file, const std::vector<const CEntry*>& entries, CUserLink& link) {
    CLinkBackupPolicy policy(link);
    std::vector<bool> erased;
    TellWriteResult(file.EraseEntries(entries, policy, erased), EChange::Delete, link);
    return erased;
}

std::vector<bool> ChangeEntries(CPluginFile& file, std::vector<CPluginFile::CEntryChange> changes, CUserLink& link) {
    CLinkBackupPolicy policy(link);
    std::vector<bool> done;
    TellWriteResult(file.ChangeEntries(std::move(changes), policy, done), EChange::CleanCells, link);
    return done;
}

}  // namespace vantor
