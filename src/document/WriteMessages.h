#pragma once
// The plugin writer as the user meets it: the backup question and chooser
// asked through the frame link, and each result told in the tool's words.
#include <string>
#include <vector>

#include "document/FrameLink.h"
#include "format/PluginFile.h"
#include "format/WriteResult.h"

namespace vantor {

// Asks "Backup File Exists, Create a new Backup?" and, on Yes, the backup
// file chooser.
class CLinkBackupPolicy : public CBackupPolicy {
public:
    explicit CLinkBackupPolicy(CFrameLink& link) : m_link(link) {}
    CBackupDecision BackupExists(const std::string& pluginPath, const std::string& backupPath, bool isPlugin) override;
    void Waiting(const std::string& pluginPath, std::chrono::milliseconds wait) override;

private:
    CFrameLink& m_link;
};

enum class EWriteAction { Update, Delete, CleanCells };

// Shows what the user is told about a result (nothing for success, for a
// cancelled backup or for nothing to write). False unless it succeeded.
bool ShowWriteResult(const CWriteResult& result, EWriteAction action, CFrameLink& link);

// The writer's changes with the question asked and the result shown.
bool RewriteEntry(CPluginFile& file, CEntry& entry, const CSubRecords& subs, CFrameLink& link);
bool EraseEntry(CPluginFile& file, const CEntry& entry, CFrameLink& link);
std::vector<bool> EraseEntries(CPluginFile& file, const std::vector<const CEntry*>& entries, CFrameLink& link);
// Changes in one pass (Clean Cells); which were made.
std::vector<bool> ChangeEntries(CPluginFile& file, std::vector<CPluginFile::CEntryChange> changes, CFrameLink& link);

}  // namespace vantor
