#include "texts/Texts.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "format/Backup.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace vantor::texts {

namespace {

constexpr const char* kVantor = "VANTOR";
constexpr const char* kRefused = "Cannot Complete Request";

template <class... F>
struct COverloads : F... {
    using F::operator()...;
};

CMessage Box(std::string text, std::string caption, EIcon icon = EIcon::None) {
    return {std::move(text), std::move(caption), EButtons::Ok, icon, EAnswer::Ok};
}
CMessage YesNo(std::string text, std::string caption, EAnswer byDefault = EAnswer::Yes, EIcon icon = EIcon::Question) {
    return {std::move(text), std::move(caption), EButtons::YesNo, icon, byDefault};
}

std::string WithRow(const char* format, int row) {
    char text[128];
    std::snprintf(text, sizeof text, format, row);
    return text;
}

const char* const kAutoClean =
    "This Operation will Delete all Unclean Entries.\n"
    "WARNING: There are a few rare cases where the Unclean entries are actually necessary.\n"
    "Morrowind will report this when it is loading the file as Reference Missing errors.\n"
    "This usually occurs when the objects are used with a Trap.\n"
    "Restore from Affected Esp from Backup if this occurs.\n";

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text;
}

using platform::CountOf;

// How a question names the entry it is about: "GMST fSampleJumpBase in Sample Tweaks.esp".
std::string EntryText(const CEntryName& entry) { return entry.m_tag + " " + entry.m_id + " in " + entry.m_file; }

// A write result in words; "" for a result the user is not told about.
CMessage WriteFailure(const CWriteResult& result, EChange change) {
    const char* failText = change == EChange::Update   ? "Could not update this Entry."
                           : change == EChange::Delete ? "Could not delete this Entry."
                                                       : "Could not clean the Cells of this Plugin.";
    const std::string& path = result.m_path;
    auto reasonOr = [&](const char* fallback) { return result.m_reason.empty() ? std::string(fallback) : result.m_reason; };
    auto refuse = [&](const std::string& why) { return Box(path + "\n" + why, kRefused, EIcon::Exclamation); };
    switch (result.m_failure) {
        case EWriteFailure::NotExtracted:
            return Box(
                "This entry's data was not extracted (see the Extract options), so it cannot be rewritten.\n"
                "Turn the option on and load the plugin again.",
                kRefused, EIcon::Stop);
        case EWriteFailure::TooLarge: return refuse("The entry would be too large for a record; the plugin was not changed.");
        case EWriteFailure::NotRegular: {
            std::string what = result.m_reason;
            if (!what.empty()) what[0] = char(std::toupper(static_cast<unsigned char>(what[0])));
            return refuse(what + ", not a regular file: it is left alone.");
        }
        case EWriteFailure::ReadOnly: return refuse("The file is read-only, so it was not changed.");
        case EWriteFailure::Inspect: return Box(path + "\n" + reasonOr(failText), kVantor, EIcon::Stop);
        case EWriteFailure::WorkingCopy:
            return Box(std::string(failText) + "\nNo working copy could be made in " + path +
                           (result.m_reason.empty() ? "." : ": " + result.m_reason),
                       kVantor, EIcon::Stop);
        case EWriteFailure::WorkingFile: return Box(reasonOr(failText), kVantor, EIcon::Stop);
        case EWriteFailure::ChangedOnDisk:
            return Box(path + ": the file has changed since it was read.\nIt was not changed; load it again before changing it.",
                       "Error", EIcon::Stop);
        case EWriteFailure::Busy:
            return refuse("Another process is still changing this file, so it was not changed. Try again once it has finished.");
        case EWriteFailure::InsideRecord: return refuse(result.m_reason + "\nThe plugin was not changed.");
        case EWriteFailure::BackupChooser: return Box("Error Selecting Backup File", "Error");
        case EWriteFailure::BackupIsPlugin:
            return refuse("This is the plugin itself, which cannot be its own backup; the plugin was not changed.");
        case EWriteFailure::BackupNameTaken:
            return refuse("A file of this name exists, and a backup never replaces a file; the plugin was not changed.");
        case EWriteFailure::BackupShared:
            return refuse("This is the backup of " + result.m_reason +
                          ", made in this run; a backup holds one plugin's bytes, so the plugin was not changed.");
        case EWriteFailure::Backup: return Box(reasonOr("Could not create a Backup."), kVantor);
        case EWriteFailure::Rename:
            if (result.m_pluginUnchanged)
                return Box(reasonOr(failText) + "\nThe plugin " + path + " was not changed.", kVantor, EIcon::Stop);
            return Box(reasonOr(failText), kVantor, EIcon::Stop);
        case EWriteFailure::None:
        case EWriteFailure::NothingToWrite:
        case EWriteFailure::NotInFile:
        case EWriteFailure::BackupCancelled:
            break;
    }
    return Box(failText, kVantor, EIcon::Stop);
}

std::string InvalidRowText(const CInvalidRowNotice& n) {
    using E = CInvalidRowNotice::EWhy;
    switch (n.m_why) {
        case E::LengthField: return "Length in Bytes Field Invalid";
        case E::TypeField: return "Invalid Type Field.";
        case E::HexDigits: return "Hex Data field not Valid Hexadecimal";
        case E::DecimalDigits: return "Decimal Data field not Numeric";
        case E::IntegerTooLarge: return "Integer Value Larger than\n" + std::to_string(n.m_limit);
        case E::IntegerTooSmall: return "Integer Value Smaller than\n-2147483648";
        case E::AsciiText: return WithRow("Ascii Type Data not Valid Ascii at Row %d.", n.m_row);
        case E::FixedText: return WithRow("Fixed Size Ascii Type Data not Valid Ascii at Row %d.", n.m_row);
        case E::FixedTooLong: return WithRow("Fixed Size Ascii Type Data is Greater than its Max Size at Row %d.", n.m_row);
        case E::FixedSizeChanged: return WithRow("Fixed Size Data has Changed Size at Row %d.", n.m_row);
        case E::FixedNotAscii: return WithRow("Fixed Size Ascii Data not Valid Ascii at Row %d.", n.m_row);
        case E::MixedMarker: return WithRow("Mixed Mode Marker '=' not Found at Row %d.", n.m_row);
        case E::MixedDecimal: return WithRow("Decimal Data not Numeric at Row %d.", n.m_row);
        case E::MixedName: return WithRow("Fixed Size Ascii Data is not Valid Ascii at Row %d.", n.m_row);
        case E::MixedTooLarge: return "Decimal Value Larger than\n4294967295";
        case E::MixedTooLong: return WithRow("Fixed Size Data is Greater than its Max Size at Row %d.", n.m_row);
        case E::TagLength: return "ID Length Invalid.";
    }
    return {};
}

bool SizeRefusal(CInvalidRowNotice::EWhy why) {
    using E = CInvalidRowNotice::EWhy;
    return why == E::FixedTooLong || why == E::FixedSizeChanged || why == E::MixedTooLong;
}

}  // namespace

std::string Doing(EActivity activity) {
    switch (activity) {
        case EActivity::Reading: return "read the plugins and masters";
        case EActivity::Checking: return "check the plugins";
        case EActivity::Cleaning: return "clean the plugins";
        case EActivity::Searching: return "search the loaded files";
        case EActivity::ListingGlobalChanges: return "list the global changes";
        case EActivity::Listing: return "list the entries";
        case EActivity::MergingDialogue: return "merge the dialogue";
        case EActivity::CleaningCells: return "clean the cells";
        case EActivity::MergingRecords: return "make the merged patch";
        case EActivity::ComparingRecords: return "compare the records";
        case EActivity::Changing: break;
    }
    return "go on";
}

std::string CellNotes(const CCellNotes& r) {
    std::string notes;
    if (!r.m_missingMasters.empty()) notes += "Masters not loaded, whose references are kept: " + Joined(r.m_missingMasters) + "\n";
    if (const std::size_t forData = r.m_unjudged - r.m_unjudgedForMissing)
        notes += CountOf(forData, "Cell", "Cells") +
                 " could not be judged (data not extracted, see the Extract options, or damaged) and " +
                 std::string(platform::Plural(forData, "is", "are")) + " left alone.\n";
    if (r.m_unjudgedForMissing)
        notes += CountOf(r.m_unjudgedForMissing, "Cell", "Cells") +
                 " could not be judged, because a master named after the one compared with is not loaded (" +
                 Joined(r.m_unjudgedMasters) + "), and " + std::string(platform::Plural(r.m_unjudgedForMissing, "is", "are")) +
                 " left alone.\n";
    return notes;
}

CMessage Render(const CQuestion& question) {
    return std::visit(
        COverloads{
            [](const CReplaceBackupQuestion& q) {
                return CMessage{q.m_backup + "\nBackup File Exists, Create a new Backup?", "File Exists",
                                EButtons::YesNoCancel, EIcon::Question, EAnswer::No};
            },
            [](const CBackupIsPluginQuestion& q) {
                return YesNo(q.m_backup + "\nThis is the plugin itself, which cannot be its own backup.\nChoose another "
                                          "name for the backup?",
                             "File Exists");
            },
            [](const CBackupNameQuestion&) { return Box("Select a Backup Filename", kVantor); },
            [](const CReplaceOutputQuestion& q) {
                return YesNo(q.m_path + " already exists.\nDo you want to replace it?",
                             q.m_output == EOutput::ResultsLog     ? "Save Log As"
                             : q.m_output == EOutput::MergedPatch ? "Make Merged Patch"
                                                                  : "New Dialog Merge Plugin",
                             EAnswer::No,
                             EIcon::Exclamation);
            },
            [](const CAutoCleanQuestion& q) {
                // It names the plugins it may change.
                return YesNo(kAutoClean + (q.m_plugins.empty() ? "" : "\nPlugins: " + Joined(q.m_plugins)),
                             "Auto Clean Plugins");
            },
            [](const CCleanCellsQuestion& q) {
                return YesNo("This Operation will Clean " + CountOf(q.m_cells, "Cell", "Cells") + " in " +
                                 CountOf(q.m_plugins, "Plugin", "Plugins") +
                                 (q.m_names.empty() ? "" : " (" + Joined(q.m_names) + ")") + ":\n" + "It removes " +
                                 CountOf(q.m_duplicates, "Duplicate Reference", "Duplicate References") + ", " +
                                 CountOf(q.m_settings, "Redundant Setting", "Redundant Settings") +
                                 " (Ambient Light, Water Height)" + " and " + CountOf(q.m_junk, "Junk Cell", "Junk Cells") +
                                 ".\n" + "Moved, Deleted and New References and every other Setting are never touched.\n" +
                                 CellNotes(q.m_notes) + "Backup(s) Saved with Extension \".OLD\"\n",
                             "Clean Cells");
            },
            [](const CUpdateEntryQuestion& q) {
                return YesNo("Update Entry?\n" + EntryText(q.m_entry) + "\nBackup Saved with Extension .OLD", "Update Entry");
            },
            [](const CDeleteEntriesQuestion& q) {
                return YesNo("Delete Entry(s)?\n\n" + EntryText(q.m_entry) + "\n\nBackup(s) Saved with Extension \".OLD\"",
                             "Delete Entry(s)");
            },
            [](const CCleanCellQuestion& q) {
                return YesNo("Clean Cell(s)?\n\n" + EntryText(q.m_cell) + "\n\nBackup(s) Saved with Extension \".OLD\"",
                             "Clean Cells");
            },
            [](const CDialogueWithoutMastersQuestion&) {
                return YesNo("Master Files Not Found.\nDialog Repair will be incomplete.\nIgnore and Continue?", "Caution");
            },
            [](const CConflictingDialogueQuestion& q) {
                auto plugin = [&](std::size_t i) {
                    return i < q.m_plugins.size() && !q.m_plugins[i].empty() ? q.m_plugins[i] : std::string("a plugin");
                };
                return YesNo("Conflicting Dialog Found. Ignore and Continue?\n\nTopic: " + q.m_topic + "\nResponse " +
                                 q.m_response + (q.m_text.empty() ? "" : ": \"" + q.m_text + "\"") + "\nIn " + plugin(0) +
                                 " and " + plugin(1) + ". Yes keeps the copy of " + plugin(1) + ".",
                             "Conflict Found");
            },
            [](const CRowLengthChangedQuestion& q) {
                return YesNo(WithRow("Hex-Type Data's Length at Row %d has Changed.\n Continue?", q.m_row), "Length Changed");
            },
            [](const CRowLengthOddQuestion& q) {
                return YesNo(WithRow("Hex-Type Data's Length at Row %d not Even.\n Fill and Continue?", q.m_row),
                             "Length not Even");
            },
        },
        question);
}

bool IsChooser(const CQuestion& question) { return std::holds_alternative<CBackupNameQuestion>(question); }

CFileChooser Chooser(const CQuestion& question) {
    CFileChooser chooser;
    const auto* backup = std::get_if<CBackupNameQuestion>(&question);
    if (!backup) return chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Select a Backup Filename";
    chooser.m_filters = {{"Any File (*.*)", "*.*"}};
    chooser.m_startFolder = platform::FolderOf(backup->m_plugin);
    chooser.m_fileName = backup->m_proposed;
    chooser.m_defaultExtension = "OLD";
    // A backup never replaces a file, so there is nothing to confirm: a name
    // that is taken is refused with a message.
    chooser.m_confirmOverwrite = false;
    return chooser;
}

CAnswer AnswerOf(const CFileChoice& choice) {
    if (choice.m_status == CFileChoice::EStatus::Failed) return {EAnswer::No, {}};
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return {EAnswer::Cancel, {}};
    return {EAnswer::Ok, choice.m_paths.front()};
}

CMessage Render(const CNotice& notice) {
    return std::visit(
        COverloads{
            [](const COutOfMemoryNotice& n) {
                return Box("Not enough memory to " + Doing(n.m_activity) + ".", "Critical Error", EIcon::Stop);
            },
            [](const CNothingChosenNotice& n) {
                const char* verb = n.m_activity == EActivity::Checking          ? "Check"
                                   : n.m_activity == EActivity::MergingRecords ? "Merge"
                                                                               : "Clean";
                return Box(std::string("No Plugins Chosen to ") + verb + ": Choose Plugins or Choose Active Plugins First.",
                           "Cannot Continue", EIcon::Information);
            },
            [](const CNoMasterPluginNotice&) {
                return Box("Select a Master Plugin for Single Versus Mode", "Cannot Continue", EIcon::Information);
            },
            [](const CNoActivePluginsNotice& n) {
                using E = CNoActivePluginsNotice::EWhy;
                std::string text = "No Active Plugins: ";
                switch (n.m_why) {
                    case E::OpenMWNamesNone: text += "the OpenMW configuration names no plugin that a data folder holds."; break;
                    case E::NoGameFolder:
                        text += "the game's folder was not found, so there is no Morrowind.ini to read them from.";
                        break;
                    case E::IniMissing: text += n.m_ini + " was not found."; break;
                    case E::IniNamesNone: text += n.m_ini + " names none."; break;
                }
                return Box(text, "Not Found", EIcon::Information);
            },
            [](const CMasterIsPluginNotice&) {
                return Box("Please Remove Chosen File from Plugin List Before Selecting it as a Master.", kRefused);
            },
            [](const CFileNotLoadedNotice&) { return Box("Filename not Found.", kVantor, EIcon::Exclamation); },
            [](const CEntryMissingNotice& n) {
                return Box(n.m_change == EChange::Update ? "Entry Deleted or Missing." : "Entry Already Deleted or Missing.",
                           kVantor, EIcon::Exclamation);
            },
            [](const CNothingToCleanNotice&) { return Box("Nothing to Clean in this Cell.", kVantor, EIcon::Exclamation); },
            [](const CNotAFileNotice& n) {
                return Box(n.m_path + "\nNot a regular file but " + platform::KindWords(n.m_kind) +
                               ": it is neither read nor written.",
                           kVantor, EIcon::Exclamation);
            },
            [](const CReadFailedNotice& n) {
                if (n.m_diagnostic.m_kind == CReadDiagnostic::EKind::Exception)
                    return Box(n.m_diagnostic.m_message, kVantor, EIcon::Stop);
                return Box(n.m_diagnostic.m_message, "Error", EIcon::Exclamation);
            },
            [](const CReadDamageNotice& n) {
                std::string damage;
                for (const CReadDiagnostic& d : n.m_diagnostics) damage += (damage.empty() ? "" : "\n") + d.m_message;
                return Box(damage, "Warning", EIcon::Exclamation);
            },
            [](const CFileErrorNotice&) { return Box("File Error", "Error"); },
            [](const COutputRefusedNotice& n) {
                const std::string why = n.m_inUse ? " is a plugin or master in use." : " is " + std::string(platform::KindWords(n.m_kind)) + ".";
                return Box(n.m_path + why + "\nChoose another file.", kRefused, EIcon::Exclamation);
            },
            [](const CFileProblemNotice& n) { return Box(FileErrorMessage(n.m_error, n.m_path), kVantor, EIcon::Exclamation); },
            [](const CLogNotWrittenNotice&) { return Box("Unable to save grid list", kVantor, EIcon::Exclamation); },
            [](const CWriteFailedNotice& n) { return WriteFailure(n.m_result, n.m_change); },
            [](const CPluginMayBeLostNotice&) {
                return Box("Esp may be lost, restore from generated Backup.", "Critical Error", EIcon::Stop);
            },
            [](const COwnerNotKeptNotice& n) {
                std::string files;
                for (const std::string& f : n.m_files) files += f + "\n";
                return Box(files + "The owner and group of the file changed could not be kept (only the superuser may give "
                                   "a file away): it now belongs to the user who ran this change.",
                           "Warning", EIcon::Exclamation);
            },
            [](const CWaitingForFileNotice& n) {
                return Box(n.m_path + "\nAnother process is changing this file. Waiting up to " + std::to_string(n.m_seconds) +
                               " seconds for it to finish.",
                           "Warning", EIcon::Exclamation);
            },
            [](const CNoCellsToCleanNotice& n) {
                return Box("No Cells to Clean.\n" + CellNotes(n.m_notes), "Not Found", EIcon::Information);
            },
            [](const CCellsNotCleanedNotice& n) { return Box(n.m_file + " - Error Cleaning Cells.", kVantor); },
            [](const CEntryNotDeletedNotice& n) {
                return Box(n.m_file + " - " + n.m_id + (n.m_missing ? " Already Deleted or Missing." : " Error Deleting Entry."),
                           kVantor);
            },
            [](const CNothingFoundNotice& n) { return Box("Cannot find " + n.m_text, "Not Found"); },
            [](const CNoPluginsToRepairNotice&) {
                return Box("There are no Plugins to Repair.\nAdd the plugins whose dialogue is to be merged.", kRefused,
                           EIcon::Exclamation);
            },
            [](const CNoRepairPluginNamedNotice&) { return Box("No Repair Plugin Named", kRefused, EIcon::Exclamation); },
            [](const CRepairPluginIsReadNotice& n) {
                return Box("The Repair Plugin " + n.m_name +
                               " is also a file to be read.\nChoose another name for the Repair Plugin.",
                           kRefused, EIcon::Exclamation);
            },
            [](const CCannotCreateNotice& n) {
                return Box("Could not Create " + platform::FileNameOf(n.m_path) + (n.m_reason.empty() ? "" : "\n" + n.m_reason),
                           "Error", EIcon::Exclamation);
            },
            [](const CNothingToMergeNotice&) {
                return Box("Nothing to Merge.\nNo leveled list or object record is changed by two plugins in ways the "
                           "newest of them does not hold already.\nNo Merged Patch was written.",
                           "Not Found", EIcon::Information);
            },
            [](const CPatchSourceChangedNotice& n) {
                return Box(n.m_path + (n.m_changed ? ": the file has changed since it was read." : ": the file could not be read again.") +
                               "\nNo Merged Patch was written; load the plugins again before making one.",
                           "Error", EIcon::Stop);
            },
            [](const CPatchNotWrittenNotice& n) { return Box("Could not write " + n.m_path, kVantor, EIcon::Exclamation); },
            [](const CPatchTimeNotSetNotice& n) {
                return Box("The Merged Patch " + n.m_path + " was written, but its file time could not be set: it may not load last.",
                           "Warning", EIcon::Exclamation);
            },
            [](const CNotAPluginNotice& n) {
                return Box(n.m_name + ": not a TES3 plugin or master: " + n.m_why, "Error", EIcon::Exclamation);
            },
            [](const CDialogueDamageNotice& n) {
                const std::string offset = std::to_string(n.m_offset);
                return Box(n.m_file + ": " +
                               (n.m_cutTag.empty() ? "bytes that are no record were passed over at offset " + offset
                                                   : "the file ends inside its " + n.m_cutTag + " record at offset " + offset) +
                               "; the dialogue after it may be incomplete",
                           "Warning", EIcon::Exclamation);
            },
            [](const CCannotOpenNotice& n) { return Box("Could not Open " + n.m_name, "Error", EIcon::Exclamation); },
            [](const CDialogueOutOfOrderNotice&) { return Box("Dialog May Be Out of Order", "Warning", EIcon::Exclamation); },
            [](const CRepairNotWrittenNotice& n) {
                return Box(n.m_reason.empty() ? "Could not update this Entry." : n.m_reason, kVantor);
            },
            [](const CInvalidRowNotice& n) {
                return Box(InvalidRowText(n), SizeRefusal(n.m_why) ? "Invalid Size" : "Invalid Data", EIcon::Exclamation);
            },
        },
        notice);
}

ESeverity SeverityOf(const CNotice& notice) {
    if (std::holds_alternative<CReadDamageNotice>(notice) || std::holds_alternative<COwnerNotKeptNotice>(notice) ||
        std::holds_alternative<CWaitingForFileNotice>(notice) || std::holds_alternative<CDialogueOutOfOrderNotice>(notice) ||
        std::holds_alternative<CDialogueDamageNotice>(notice) ||
        std::holds_alternative<CPatchTimeNotSetNotice>(notice))
        return ESeverity::Warning;
    if (std::holds_alternative<CNoActivePluginsNotice>(notice) || std::holds_alternative<CNoCellsToCleanNotice>(notice) ||
        std::holds_alternative<CNothingFoundNotice>(notice) || std::holds_alternative<CNothingToMergeNotice>(notice))
        return ESeverity::Note;
    return ESeverity::Error;
}

CFileFilter PluginFilter(bool openmw) {
    if (openmw) return {"Plugin Files (*.esp *.omwaddon)", "*.esp;*.omwaddon"};
    return {"Plugin Files (*.esp)", "*.esp"};
}

CFileFilter MasterFilter(bool openmw) {
    if (openmw) return {"Master Files (*.esm *.omwgame)", "*.esm;*.omwgame"};
    return {"Master Files (*.esm)", "*.esm"};
}

CFileChooser PluginsChooser(bool openmw, const std::string& dataDir) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenMany;
    chooser.m_title = "Select Files";
    chooser.m_filters = {PluginFilter(openmw), MasterFilter(openmw), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = true;
    return chooser;
}

CFileChooser MasterPluginChooser(bool openmw, const std::string& dataDir) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenOne;
    chooser.m_title = "Select Master Plugin to Check Against";
    chooser.m_filters = {PluginFilter(openmw), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = true;
    return chooser;
}

CFileChooser SaveLogChooser(const std::string& folder, const std::string& fileName) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Save Log As";
    // A name ending in .csv saves the lists quoted, as the command line's csv.
    chooser.m_filters = {{"Results Log (*.txt)", "*.txt"},
                         {"Comma-Separated Values (*.csv)", "*.csv"},
                         {"Any File (*.*)", "*.*"}};
    chooser.m_startFolder = folder;
    chooser.m_fileName = fileName;
    chooser.m_defaultExtension = "txt";
    chooser.m_confirmOverwrite = true;
    return chooser;
}

CFileChooser MergedPatchChooser(bool openmw, const std::string& dataDir) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Make Merged Patch";
    chooser.m_filters = {PluginFilter(openmw), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = dataDir;
    chooser.m_fileName = "Merged Patch.esp";
    chooser.m_defaultExtension = "esp";
    chooser.m_confirmOverwrite = true;
    return chooser;
}

std::string FileErrorMessage(int error, const std::string& path) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return "Access to " + path + " was denied.";
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return path + " contains an invalid path.";
        case EMFILE:
        case ENFILE:
            return "Could not open " + path + " because there are too many open files.";
        case ENOSPC:
#ifdef EDQUOT  // not on Windows
        case EDQUOT:
#endif
            return "Disk full while accessing " + path + ".";
        case EIO:
            return "A hardware I/O error was reported while accessing " + path + ".";
        default:
            return "An unknown error occurred while accessing " + path + ".";
    }
}

}  // namespace vantor::texts
