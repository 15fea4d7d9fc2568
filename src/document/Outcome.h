#pragma once
// What a run came to: done, stopped, refused or failed, why, per file where
// it applies, and the counts. The window's status bar, the command line's
// summary and its exit status are made from this alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/CheckOperations.h"
#include "document/Requests.h"
#include "document/operations/RelinkDialog.h"
#include "engine/Notices.h"

namespace vantor {

namespace merge {
struct CMergeResult;
}
struct CRecordConflictList;

enum class EResult : std::uint8_t {
    Done,     // everything asked was done (a file that could not be read is in m_unread)
    Stopped,  // a stop request ended it early; what it found or changed before stays
    Refused,  // nothing was done: the request could not run, or the user said no
    Failed,   // it could not be done, or only in part
};

enum class EReason : std::uint8_t {
    None,
    Busy,             // another operation runs
    NothingToDo,      // nothing to read, or a clean in Single Versus without a master: nothing is said
    NothingChosen,    // no plugin is chosen or read
    NoMasterPlugin,   // Single Versus without a master plugin
    Declined,         // a question was answered No or cancelled
    NotLoaded,        // the entry to change, or its file, is not loaded
    NothingToClean,   // the cell needs no cleaning
    NoPluginsToRepair,
    OutputRefused,    // the repair plugin may not be written there
    OpenFailed,       // a file the dialogue merge reads could not be read
    WriteFailed,      // a change or an output could not be written
    OutOfMemory,
};

// What the reading of the chosen files (and the masters) came to.
struct CExtractionCount {
    std::size_t m_plugins = 0;     // plugins (and the master plugin) read
    std::size_t m_masters = 0;     // found masters read
    std::size_t m_unreadable = 0;  // files that could not be opened or read
    std::size_t m_left = 0;        // chosen plugins a stop kept from being read
};

// A file a run could not read.
struct CUnreadFile {
    enum class EWhy : std::uint8_t { NotOpened, NotAFile, NotAPlugin, ReadFailed };
    std::string m_name;
    std::string m_folder;  // ends with a separator
    EWhy m_why = EWhy::NotOpened;
    bool m_told = false;  // a notice said why
};

// What a run did to an entry or cell: deleted it, cleaned it, removed it
// whole (a junk cell), or wrote the entry editor's data into it.
enum class EEntryChange : std::uint8_t { Deleted, Cleaned, Removed, Updated };
struct CChangedEntry : CEntryName {
    EEntryChange m_how = EEntryChange::Deleted;
};

// A plugin a run changed on disk: how many of its entries (or cells), which
// (their tags and IDs, in the order changed), and its backup.
struct CFileChange {
    std::string m_file;
    std::size_t m_entries = 0;
    std::string m_backup;
    std::vector<CChangedEntry> m_changed;
};

// What Make Merged Patch merged and wrote.
struct CMergedPatchResult {
    // What was merged; null when the merge did not run. It names the files
    // by pointer: valid while the document holds them (until New Check).
    std::shared_ptr<const merge::CMergeResult> m_merged;
    bool m_written = false;
    std::string m_output;  // the path written
    // The masters the plugins name that were not read: their records were
    // merged against the plugins' own copies.
    std::vector<std::string> m_missingMasters;
};

// What the automatic clean did.
struct CAutoCleanResult {
    bool m_confirmed = false;  // the user agreed to delete
    std::size_t m_unclean = 0;  // unclean entries found
    std::size_t m_deleted = 0;
    std::size_t m_plugins = 0;  // plugins that had entries deleted
    std::size_t m_failed = 0;  // not deleted: an error, or the entry or its plugin was not found
};

// What Clean Cells found and did.
struct CCellCleanResult {
    bool m_confirmed = false;  // the user agreed to clean
    std::size_t m_cells = 0;  // cells found to clean, in every plugin
    std::size_t m_duplicates = 0, m_settings = 0, m_junk = 0;
    CCellNotes m_notes;        // what it leaves alone, and why
    std::size_t m_cleaned = 0;  // cells cleaned
    std::size_t m_failed = 0;   // cells of plugins whose writing failed or was refused
};

struct COutcome {
    CRequest m_request;
    EResult m_result = EResult::Done;
    EReason m_reason = EReason::None;
    // What it was doing when it failed as a whole (memory ran out).
    EActivity m_activity = EActivity::Reading;
    std::optional<CExtractionCount> m_extraction;
    std::vector<CUnreadFile> m_unread;
    // Rows the run gave each pane (conflict, warning, editor); none for a
    // pane it left as it was.
    std::array<std::optional<std::size_t>, 3> m_paneRows{};
    // A run that compares with masters: the masters its plugins name that
    // were not loaded, and whether any master was.
    std::optional<CMasterCoverage> m_masterCoverage;
    std::optional<CAutoCleanResult> m_clean;
    std::optional<CCellCleanResult> m_cellClean;
    std::optional<CRelinkResult> m_relink;
    std::optional<CMergedPatchResult> m_mergedPatch;
    // Check Record Conflicts: what it found, for the "Record Conflicts" list.
    std::shared_ptr<const CRecordConflictList> m_recordConflicts;
    // The plugins it changed on disk, in the document's order.
    std::vector<CFileChange> m_changed;

    bool Stopped() const { return m_result == EResult::Stopped; }
    // Every file could be read (or there was none to read).
    bool AllRead() const { return m_unread.empty() && (!m_extraction || m_extraction->m_unreadable == 0); }
    // Everything asked was done.
    bool Ok() const { return m_result == EResult::Done && AllRead(); }
};

// A refusal before anything ran.
COutcome Refusal(const CRequest& request, EReason reason);

}  // namespace vantor
