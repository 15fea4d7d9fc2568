#include "document/WriteMessages.h"

#include <cctype>
#include <chrono>

#include "platform/Files.h"

namespace vantor {

namespace {

constexpr const char* kCaption = "VANTOR";

void Show(CFrameLink& link, const std::string& text, const std::string& caption, EIcon icon) {
    link.Ask(CMessage{text, caption, EButtons::Ok, icon, EAnswer::Ok});
}

// The system's message, or the fixed text when the call failed without one.
std::string ReasonOr(const CWriteResult& result, const char* fallback) {
    return result.m_reason.empty() ? std::string(fallback) : result.m_reason;
}

}  // namespace

CBackupDecision CLinkBackupPolicy::BackupExists(const std::string& pluginPath, const std::string& backupPath,
                                                bool isPlugin) {
    if (isPlugin) {
        // "No" would take the plugin as its own backup: that choice is not offered.
        EAnswer answer = m_link.Ask(CMessage{backupPath + "\nThis is the plugin itself, which cannot be its own "
                                                          "backup.\nChoose another name for the backup?",
                                             "File Exists", EButtons::YesNo, EIcon::Question, EAnswer::Yes});
        if (answer != EAnswer::Yes) return {CBackupDecision::EChoice::Cancel, {}};
    } else {
        EAnswer answer = m_link.Ask(CMessage{backupPath + "\nBackup File Exists, Create a new Backup?", "File Exists",
                                             EButtons::YesNoCancel, EIcon::Question, EAnswer::No});
        if (answer == EAnswer::No) return {CBackupDecision::EChoice::UseExisting, {}};
        if (answer != EAnswer::Yes) return {CBackupDecision::EChoice::Cancel, {}};
    }
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Select a Backup Filename";
    chooser.m_filters = {{"Any File (*.*)", "*.*"}};
    chooser.m_startFolder = platform::FolderOf(pluginPath);
    chooser.m_fileName = DefaultBackupName(platform::FileNameOf(pluginPath));
    chooser.m_defaultExtension = "OLD";
    // A backup never replaces a file, so there is nothing to confirm: a name
    // that is taken is refused with a message.
    chooser.m_confirmOverwrite = false;
    CFileChoice choice = m_link.ChooseFile(chooser);
    if (choice.m_status == CFileChoice::EStatus::Failed) return {CBackupDecision::EChoice::Failed, {}};
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty())
        return {CBackupDecision::EChoice::Cancel, {}};
    return {CBackupDecision::EChoice::MakeNew, choice.m_paths.front()};
}

void CLinkBackupPolicy::Waiting(const std::string& pluginPath, std::chrono::milliseconds wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
    Show(m_link,
         pluginPath + "\nAnother process is changing this file. Waiting up to " + std::to_string(seconds) +
             " seconds for it to finish.",
         "Warning", EIcon::Exclamation);
}

bool ShowWriteResult(const CWriteResult& result, EWriteAction action, CFrameLink& link) {
    const char* failText = action == EWriteAction::Update   ? "Could not update this Entry."
                           : action == EWriteAction::Delete ? "Could not delete this Entry."
                                                            : "Could not clean the Cells of this Plugin.";
    const std::string& path = result.m_path;
    auto refuse = [&](const std::string& why) { Show(link, path + "\n" + why, "Cannot Complete Request", EIcon::Exclamation); };
    switch (result.m_failure) {
        case EWriteFailure::None:
            if (!result.m_ownerNotKept.empty()) {
                std::string files;
                for (const std::string& f : result.m_ownerNotKept) files += f + "\n";
                Show(link,
                     files + "The owner and group of the file changed could not be kept (only the superuser may give "
                             "a file away): it now belongs to the user who ran this change.",
                     "Warning", EIcon::Exclamation);
            }
            return true;
        case EWriteFailure::NothingToWrite:
        case EWriteFailure::NotInFile:
        case EWriteFailure::BackupCancelled:
            break;
        case EWriteFailure::NotExtracted:
            Show(link,
                 "This entry's data was not extracted (see the Extract options), so it cannot be rewritten.\n"
                 "Turn the option on and load the plugin again.",
                 "Cannot Complete Request", EIcon::Stop);
            break;
        case EWriteFailure::TooLarge: refuse("The entry would be too large for a record; the plugin was not changed."); break;
        case EWriteFailure::NotRegular: {
            std::string what = result.m_reason;
            if (!what.empty()) what[0] = char(std::toupper(static_cast<unsigned char>(what[0])));
            refuse(what + ", not a regular file: it is left alone.");
            break;
        }
        case EWriteFailure::ReadOnly: refuse("The file is read-only, so it was not changed."); break;
        case EWriteFailure::Inspect: Show(link, path + "\n" + ReasonOr(result, failText), kCaption, EIcon::Stop); break;
        case EWriteFailure::WorkingCopy:
            Show(link,
                 std::string(failText) + "\nNo working copy could be made in " + path +
                     (result.m_reason.empty() ? "." : ": " + result.m_reason),
                 kCaption, EIcon::Stop);
            break;
        case EWriteFailure::WorkingFile: Show(link, ReasonOr(result, failText), kCaption, EIcon::Stop); break;
        case EWriteFailure::ChangedOnDisk:
            Show(link, path + ": the file has changed since it was read.\nIt was not changed; load it again before changing it.",
                 "Error", EIcon::Stop);
            break;
        case EWriteFailure::Busy:
            refuse("Another process is still changing this file, so it was not changed. Try again once it has finished.");
            break;
        case EWriteFailure::InsideRecord: refuse(result.m_reason + "\nThe plugin was not changed."); break;
        case EWriteFailure::BackupChooser: Show(link, "Error Selecting Backup File", "Error", EIcon::None); break;
        case EWriteFailure::BackupIsPlugin:
            refuse("This is the plugin itself, which cannot be its own backup; the plugin was not changed.");
            break;
        case EWriteFailure::BackupNameTaken:
            refuse("A file of this name exists, and a backup never replaces a file; the plugin was not changed.");
            break;
        case EWriteFailure::BackupShared:
            refuse("This is the backup of " + result.m_reason +
                   ", made in this run; a backup holds one plugin's bytes, so the plugin was not changed.");
            break;
        case EWriteFailure::Backup: Show(link, ReasonOr(result, "Could not create a Backup."), kCaption, EIcon::None); break;
        case EWriteFailure::Rename:
            if (result.m_pluginUnchanged) {
                Show(link, ReasonOr(result, failText) + "\nThe plugin " + path + " was not changed.", kCaption,
                     EIcon::Stop);
                break;
            }
            Show(link, "Esp may be lost, restore from generated Backup.", "Critical Error", EIcon::Stop);
            Show(link, ReasonOr(result, failText), kCaption, EIcon::Stop);
            break;
    }
    return false;
}
bool RewriteEntry(CPluginFile& file, CEntry& entry, const CSubRecords& subs, CFrameLink& link) {
    CLinkBackupPolicy policy(link);
    return ShowWriteResult(file.RewriteEntry(entry, subs, policy), EWriteAction::Update, link);
}

bool EraseEntry(CPluginFile& file, const CEntry& entry, CFrameLink& link) {
    CLinkBackupPolicy policy(link);
    return ShowWriteResult(file.EraseEntry(entry, policy), EWriteAction::Delete, link);
}

std::vector<bool> EraseEntries(CPluginFile& file, const std::vector<const CEntry*>& entries, CFrameLink& link) {
    CLinkBackupPolicy policy(link);
    std::vector<bool> erased;
    ShowWriteResult(file.EraseEntries(entries, policy, erased), EWriteAction::Delete, link);
    return erased;
}

std::vector<bool> ChangeEntries(CPluginFile& file, std::vector<CPluginFile::CEntryChange> changes, CFrameLink& link) {
    CLinkBackupPolicy policy(link);
    std::vector<bool> done;
    ShowWriteResult(file.ChangeEntries(std::move(changes), policy, done), EWriteAction::CleanCells, link);
    return done;
}

}  // namespace vantor
