#pragma once
// Every question the library puts to its user: a kind and what the user
// needs to answer it. The front end renders it (the window and the command
// line with the same texts, through src/texts) and answers it; an answer may
// also be given by kind, as the command line's --backup-name does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vantor {

enum class EAnswer : std::uint8_t { Ok, Cancel, Yes, No };

struct CAnswer {
    EAnswer m_answer = EAnswer::Cancel;
    // The chosen path, for a question answered with a file (BackupName).
    std::string m_path;
};

enum class EQuestion : std::uint8_t {
    ReplaceBackup,
    BackupIsPlugin,
    BackupName,
    ReplaceOutput,
    AutoClean,
    CleanCells,
    UpdateEntry,
    DeleteEntries,
    CleanCell,
    DialogueWithoutMasters,
    ConflictingDialogue,
    RowLengthChanged,
    RowLengthOdd,
};

// A backup by the plugin's own backup name exists. Yes: make a new backup,
// whose name is asked next (BackupName); No: keep the one there as the
// backup; Cancel: change nothing.
struct CReplaceBackupQuestion {
    static constexpr EQuestion kKind = EQuestion::ReplaceBackup;
    std::string m_plugin;
    std::string m_backup;
};

// The backup's name would be the plugin itself. Yes: choose another name
// (BackupName); otherwise nothing is changed.
struct CBackupIsPluginQuestion {
    static constexpr EQuestion kKind = EQuestion::BackupIsPlugin;
    std::string m_plugin;
    std::string m_backup;
};

// The name of a new backup. Ok with the path; Cancel; No when the chooser
// itself failed.
struct CBackupNameQuestion {
    static constexpr EQuestion kKind = EQuestion::BackupName;
    std::string m_plugin;
    std::string m_proposed;  // a file name beside the plugin
};

enum class EOutput : std::uint8_t { ResultsLog, RepairPlugin, MergedPatch };

// An output file exists. Yes: replace it (a plugin after its backup).
struct CReplaceOutputQuestion {
    static constexpr EQuestion kKind = EQuestion::ReplaceOutput;
    std::string m_path;
    EOutput m_output = EOutput::ResultsLog;
};

// The automatic clean is about to delete every unclean entry of the loaded
// plugins. Yes: go on.
struct CAutoCleanQuestion {
    static constexpr EQuestion kKind = EQuestion::AutoClean;
    std::vector<std::string> m_plugins;
};

// What cell cleaning leaves alone, and why.
struct CCellNotes {
    // Masters the plugins name that are not loaded: their references stay.
    std::vector<std::string> m_missingMasters;
    // Cells that could not be judged (data not extracted, or damaged, or a
    // master not loaded may hold them)...
    std::size_t m_unjudged = 0;
    // ...of those, the cells a master not loaded may hold, and those masters.
    std::size_t m_unjudgedForMissing = 0;
    std::vector<std::string> m_unjudgedMasters;
};

// Clean Cells is about to clean these cells. Yes: go on.
struct CCleanCellsQuestion {
    static constexpr EQuestion kKind = EQuestion::CleanCells;
    std::size_t m_cells = 0;
    std::size_t m_plugins = 0;
    std::size_t m_duplicates = 0, m_settings = 0, m_junk = 0;
    CCellNotes m_notes;
    std::vector<std::string> m_names;  // the plugins it changes
};

// One entry of a plugin, as the single-entry questions name it.
struct CEntryName {
    std::string m_file;
    std::string m_tag;
    std::string m_id;
};

struct CUpdateEntryQuestion {
    static constexpr EQuestion kKind = EQuestion::UpdateEntry;
    CEntryName m_entry;
};
// The first of the entries a Delete key deletes.
struct CDeleteEntriesQuestion {
    static constexpr EQuestion kKind = EQuestion::DeleteEntries;
    CEntryName m_entry;
};
struct CCleanCellQuestion {
    static constexpr EQuestion kKind = EQuestion::CleanCell;
    CEntryName m_cell;
};

// The dialogue merge found no master: its repair would be incomplete. Yes:
// go on.
struct CDialogueWithoutMastersQuestion {
    static constexpr EQuestion kKind = EQuestion::DialogueWithoutMasters;
};

// Two plugins hold different copies of one response. Yes: keep the newer
// file's copy and go on; No: end the merge.
struct CConflictingDialogueQuestion {
    static constexpr EQuestion kKind = EQuestion::ConflictingDialogue;
    std::string m_topic;
    std::string m_response;  // its ID
    std::vector<std::string> m_plugins;  // the files of the two copies, the one going on keeps last
    std::string m_text;  // the start of the kept copy's text, as its plugin holds it
};

// Write to ESP: a hexadecimal row's data has another length than its byte
// count, or an odd number of digits. Yes: go on (an odd one filled with 0).
struct CRowLengthChangedQuestion {
    static constexpr EQuestion kKind = EQuestion::RowLengthChanged;
    int m_row = 0;  // 1 for the first subrecord
};
struct CRowLengthOddQuestion {
    static constexpr EQuestion kKind = EQuestion::RowLengthOdd;
    int m_row = 0;
};

using CQuestion =
    std::variant<CReplaceBackupQuestion, CBackupIsPluginQuestion, CBackupNameQuestion, CReplaceOutputQuestion,
                 CAutoCleanQuestion, CCleanCellsQuestion, CUpdateEntryQuestion, CDeleteEntriesQuestion,
                 CCleanCellQuestion, CDialogueWithoutMastersQuestion, CConflictingDialogueQuestion,
                 CRowLengthChangedQuestion, CRowLengthOddQuestion>;

inline EQuestion KindOf(const CQuestion& question) {
    return std::visit([](const auto& q) { return std::decay_t<decltype(q)>::kKind; }, question);
}

}  // namespace vantor
