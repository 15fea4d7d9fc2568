#pragma once
// Everything the library tells its user without asking: a kind and what the
// user needs to know. The front end renders it (src/texts); whether a run
// failed is said by its outcome, never by the notices it told.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "engine/Questions.h"
#include "format/PluginFile.h"
#include "format/WriteResult.h"
#include "platform/Files.h"

namespace vantor {

// What a run was doing, for the words of a notice.
enum class EActivity : std::uint8_t {
    Reading,
    Checking,
    Cleaning,
    Searching,
    ListingGlobalChanges,
    Listing,
    MergingDialogue,
    CleaningCells,
    MergingRecords,    // the merged patch
    ComparingRecords,  // the record conflicts
    Changing,  // a single entry
};

// What a change to a plugin was for.
enum class EChange : std::uint8_t { Update, Delete, CleanCells };

// Memory ran out; what was made is gone, files and lists stay as they were.
struct COutOfMemoryNotice {
    EActivity m_activity = EActivity::Reading;
};

// A check or clean was asked for with no plugin chosen or read.
struct CNothingChosenNotice {
    EActivity m_activity = EActivity::Checking;
};

// Single Versus without a master plugin.
struct CNoMasterPluginNotice {};

// Choose Active Plugins found none.
struct CNoActivePluginsNotice {
    enum class EWhy : std::uint8_t { OpenMWNamesNone, NoGameFolder, IniMissing, IniNamesNone };
    EWhy m_why = EWhy::IniNamesNone;
    std::string m_ini;  // Morrowind.ini's path
};

// The master plugin chosen is a chosen plugin already.
struct CMasterIsPluginNotice {
    std::string m_file;
};

// The file of an entry to change is not loaded.
struct CFileNotLoadedNotice {};

// The entry to change is no longer in its plugin.
struct CEntryMissingNotice {
    EChange m_change = EChange::Delete;
};

// Clean Cells of one cell found nothing to clean.
struct CNothingToCleanNotice {
    CEntryName m_cell;
};

// A file to read or write is a folder, device, FIFO or socket.
struct CNotAFileNotice {
    std::string m_path;
    platform::EFileKind m_kind = platform::EFileKind::Other;
};

// A file could not be read, or is no plugin or master: left out.
struct CReadFailedNotice {
    std::string m_path;
    CReadDiagnostic m_diagnostic;
};

// What the reader passed over in a file that it read.
struct CReadDamageNotice {
    std::string m_path;
    std::vector<CReadDiagnostic> m_diagnostics;
};

// The reading of the files ended on an error.
struct CFileErrorNotice {};

// A path an output was to be written to is refused.
struct COutputRefusedNotice {
    std::string m_path;
    bool m_inUse = false;  // a plugin or master in use; otherwise not a regular file
    platform::EFileKind m_kind = platform::EFileKind::Other;
};

// A file could not be created or looked at: an errno value and its path.
struct CFileProblemNotice {
    int m_error = 0;
    std::string m_path;
};

// The results log could not be written whole.
struct CLogNotWrittenNotice {};

// A change to a plugin (or an output's backup) failed or was refused; the
// plugin is as it was unless the result says otherwise.
struct CWriteFailedNotice {
    CWriteResult m_result;
    EChange m_change = EChange::Update;
};

// A working copy was renamed halfway: the plugin may be lost.
struct CPluginMayBeLostNotice {
    std::string m_path;
};

// A change succeeded, but these files could not be given their owner back.
struct COwnerNotKeptNotice {
    std::vector<std::string> m_files;
};

// Another process is changing the file; the change waits for it.
struct CWaitingForFileNotice {
    std::string m_path;
    long long m_seconds = 0;
};

// Clean Cells found nothing to clean.
struct CNoCellsToCleanNotice {
    CCellNotes m_notes;
};

// The cells of a plugin could not be cleaned.
struct CCellsNotCleanedNotice {
    std::string m_file;
};

// An unclean entry was not deleted.
struct CEntryNotDeletedNotice {
    std::string m_file;
    std::string m_id;
    bool m_missing = false;  // already deleted, or not in its plugin; otherwise the change failed
};

// Find Object found nothing.
struct CNothingFoundNotice {
    std::string m_text;
};

// The "Dialog Repair Tool" was confirmed without a plugin to repair.
struct CNoPluginsToRepairNotice {};
// The dialogue merge was given no repair plugin name.
struct CNoRepairPluginNamedNotice {};
// The repair plugin is one of the files the merge reads.
struct CRepairPluginIsReadNotice {
    std::string m_name;
};
// The repair plugin (or its working file) could not be created.
struct CCannotCreateNotice {
    std::string m_path;
    std::string m_reason;  // the system's message, "" when there is none
};
// Make Merged Patch found nothing two plugins change that the newest does
// not hold already: no patch is written.
struct CNothingToMergeNotice {};
// The merged patch could not be written whole.
struct CPatchNotWrittenNotice {
    std::string m_path;
};
// A source of the merged patch changed on disk since it was read (or could
// not be read again): no patch is written.
struct CPatchSourceChangedNotice {
    std::string m_path;
    bool m_changed = true;  // false: it could not be read again
};
// The merged patch was written, but its file time, which makes it load
// last, could not be set.
struct CPatchTimeNotSetNotice {
    std::string m_path;
};

// A file given to the dialogue merge is no plugin or master.
struct CNotAPluginNotice {
    std::string m_name;
    std::string m_why;  // WhyNotAPlugin's words
};
// The dialogue merge passed over damage in a file: bytes that are no
// record, or (m_cutTag) a record the end of the file cuts short.
struct CDialogueDamageNotice {
    std::string m_file;
    std::string m_cutTag;  // "" for bytes passed over
    std::size_t m_offset = 0;
};
// A file of the dialogue merge could not be read.
struct CCannotOpenNotice {
    std::string m_name;
};
// A topic's response chain could not be followed whole.
struct CDialogueOutOfOrderNotice {
    std::string m_topic;
};
// Writing the repair plugin failed.
struct CRepairNotWrittenNotice {
    std::string m_reason;  // the system's message, "" when there is none
};

// Write to ESP refused a row of the entry editor.
struct CInvalidRowNotice {
    enum class EWhy : std::uint8_t {
        LengthField,        // the Bytes cell is no length
        TypeField,          // the Type cell names no type
        HexDigits,          // hexadecimal data with other characters
        DecimalDigits,      // decimal data that is no number
        IntegerTooLarge,    // m_limit: the largest value
        IntegerTooSmall,
        AsciiText,          // ASCII data outside the code page
        FixedText,          // fixed-size ASCII data outside it
        FixedTooLong,       // fixed-size ASCII longer than its size
        FixedSizeChanged,   // fixed-size data of another size
        FixedNotAscii,      // the fixed part of a fixed row
        MixedMarker,        // no '=' in a mixed row
        MixedDecimal,       // the number of a mixed row
        MixedName,          // the name of a mixed row
        MixedTooLarge,      // the number of a mixed row beyond 32 bits
        MixedTooLong,       // a mixed row longer than its size
        TagLength,          // the ID cell is no four-character tag
    };
    EWhy m_why = EWhy::LengthField;
    int m_row = 0;  // 1 for the first subrecord
    unsigned long long m_limit = 0;
};

using CNotice =
    std::variant<COutOfMemoryNotice, CNothingChosenNotice, CNoMasterPluginNotice, CNoActivePluginsNotice,
                 CMasterIsPluginNotice, CFileNotLoadedNotice, CEntryMissingNotice, CNothingToCleanNotice,
                 CNotAFileNotice, CReadFailedNotice, CReadDamageNotice, CFileErrorNotice, COutputRefusedNotice,
                 CFileProblemNotice, CLogNotWrittenNotice, CWriteFailedNotice, CPluginMayBeLostNotice,
                 COwnerNotKeptNotice, CWaitingForFileNotice, CNoCellsToCleanNotice, CCellsNotCleanedNotice,
                 CEntryNotDeletedNotice, CNothingFoundNotice, CNoPluginsToRepairNotice, CNoRepairPluginNamedNotice,
                 CRepairPluginIsReadNotice, CCannotCreateNotice, CNotAPluginNotice, CDialogueDamageNotice, CNothingToMergeNotice, CPatchNotWrittenNotice, CPatchSourceChangedNotice, CPatchTimeNotSetNotice, CCannotOpenNotice, CDialogueOutOfOrderNotice,
                 CRepairNotWrittenNotice, CInvalidRowNotice>;

}  // namespace vantor
