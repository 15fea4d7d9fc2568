#pragma once
// The plugin writer as the user meets it: the backup questions asked
// through the link, and each result told as a notice.
#include <string>
#include <vector>

#include "engine/UserLink.h"
#include "format/PluginFile.h"
#include "format/WriteResult.h"

namespace vantor {

// Asks whether to make a new backup when one exists, and its name.
class CLinkBackupPolicy : public CBackupPolicy {
public:
    explicit CLinkBackupPolicy(CUserLink& link) : m_link(link) {}
    CBackupDecision BackupExists(const std::string& pluginPath, const std::string& backupPath, bool isPlugin) override;
    void Waiting(const std::string& pluginPath, std::chrono::milliseconds wait) override;

private:
    CUserLink& m_link;
};

// Tells what the user is told about a result (nothing for success, for a
// cancelled backup or for nothing to write). False unless it succeeded.
bool TellWriteResult(const CWriteResult& result, EChange change, CUserLink& link);

// The writer's changes with the questions asked and the result told.
bool RewriteEntry(CPluginFile& file, CEntry& entry, const CSubRecords& subs, CUserLink& link);
bool EraseEntry(CPluginFile& file, const CEntry& entry, CUserLink& link);
std::vector<bool> EraseEntries(CPluginFile& file, const std::vector<const CEntry*>& entries, CUserLink& link);
// Changes in one pass (Clean Cells); which were made.
std::vector<bool> ChangeEntries(CPluginFile& file, std::vector<CPluginFile::CEntryChange> changes, CUserLink& link);

}  // namespace vantor
