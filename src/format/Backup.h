#pragma once
// Backups of plugins before they change. A backup is a complete copy with
// the plugin's times, made before the plugin is replaced.
#include <string>

#include "format/WriteResult.h"
#include "platform/FileOps.h"

namespace vantor {

// The plugin's path with its extension (".esp", ".omwaddon") replaced by
// ".OLD", or ".OLD" added to a name without one. When that is the backup of
// another plugin made in this run (X.esp and X.esm), the backup is named
// after the whole name instead ("X.esm.OLD").
std::string DefaultBackupName(const std::string& pluginPath);

// One plugin's backup, for the life of its file object: later changes keep
// the backup made before the first.
struct CBackupState {
    bool m_made = false;
    std::string m_path;  // empty until made or accepted
};

// Makes sure a backup of the plugin exists. A file at the backup path (in
// any letter case) is put to the policy; a file is never replaced by a
// backup, and neither the plugin itself (or a hard link to it) nor another
// plugin's backup of this run is ever taken as its backup. `times`, when
// given, are the times the copy gets (the plugin's, taken before it was
// read).
CWriteResult MakeBackupCopy(const std::string& pluginPath, CBackupState& state, CBackupPolicy& policy,
                            const platform::CFileTimes* times = nullptr);

// Before a file is replaced as an output (a repair plugin, a log, any file
// the user named): a file there that begins with a TES3 header is a plugin,
// master or repair plugin and gets a backup first, by the same rules as a
// changed plugin. Ok, with `backupPath` empty, when nothing needed one. A
// folder, device, FIFO or socket at the path is refused as NotRegular.
CWriteResult BackUpOutput(const std::string& path, CBackupPolicy& policy, std::string* backupPath = nullptr);

}  // namespace vantor
