#pragma once
// The operations the worker runs. A command builds one on the user-interface
// thread, with everything it needs copied into it (its inputs), and hands it
// to the worker; the worker never reads a document field that a command
// writes. Every operation of the menus is made by MakeOperation, so a front
// end cannot forget one.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/CheckOperations.h"
#include "checks/FileAges.h"
#include "checks/Search.h"
#include "document/operations/MergedPatchOperation.h"
#include "document/operations/RelinkDialog.h"
#include "document/FileList.h"
#include "document/FrameLink.h"
#include "document/Options.h"
#include "document/ResultTable.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

class CVANTORDoc;
struct CRecordConflictList;

// The worker's operation codes; the even codes 2 to 10 read the chosen files
// first.
enum class EOperation : std::int32_t {
    Extract = 0,
    Check = 1,
    ExtractCheck = 2,
    Clean = 3,
    ExtractClean = 4,
    Find = 5,
    ExtractFind = 6,
    GlobalChanges = 7,
    ExtractGlobalChanges = 8,
    EditorSetUp = 9,
    ExtractEditorSetUp = 10,
    Relink = 11,
    CleanCells = 12,
    ExtractCleanCells = 13,
    MergedPatch = 14,
    ExtractMergedPatch = 15,
    RecordConflicts = 16,
    ExtractRecordConflicts = 17,
};

bool ExtractsFirst(EOperation code);

enum class ECheckMode : std::int32_t { Full = 0, SingleVersus = 1 };

// What a command chose besides the document's state.
struct CCommandParams {
    std::uint8_t m_checkMask = 0;  // a check command's own mask; 0 = DefaultOps
    CFindParams m_find;
    std::string m_globalChangesFile;  // "" = every plugin
    std::string m_viewFile;           // "" = every listed file
    std::int32_t m_viewMasters = 0;   // 1: the listing is of masters
    std::int32_t m_relinkMode = 0;    // 1: "Auto ReLink Dialog"
    bool m_listOnly = false;          // Clean Cells: list the findings, change nothing
};

// The document's state a command copies for its operation.
struct CDocState {
    ECheckMode m_checkMode = ECheckMode::Full;
    COptionSet m_options;
    CFileList m_files;
    std::int32_t m_mastersLoaded = 0;
    std::string m_dataDir;
    // Where the game's files are and which is newer; never null in a
    // document's state.
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
};

// One entry or cell a run took out of a plugin on disk or cleaned, and the
// plugin's backup: the record of what was changed.
struct CChangeMade {
    std::string m_file;    // the plugin's file name
    std::string m_backup;  // its backup's path
    std::string m_tag;
    std::string m_id;
    std::string m_change;  // "Deleted", "Cleaned" or "Removed" (a junk cell)
};

// What the automatic clean did.
struct CAutoCleanResult {
    bool m_confirmed = false;  // the user agreed to delete
    bool m_stopped = false;
    std::size_t m_unclean = 0;  // unclean entries found
    std::size_t m_deleted = 0;
    std::size_t m_plugins = 0;  // plugins that had entries deleted
    std::size_t m_failed = 0;  // not deleted: an error, or the entry or its plugin was not found
    std::vector<CChangeMade> m_changes = {};  // each entry deleted
};

// What Clean Cells found and did.
struct CCellCleanResult {
    bool m_confirmed = false;  // the user agreed to clean
    bool m_stopped = false;
    std::size_t m_cells = 0;  // cells found to clean, in every plugin
    std::size_t m_duplicates = 0, m_settings = 0, m_junk = 0;
    // Cells that could not be judged (data not extracted, or damaged, or a
    // master not loaded may hold them): left alone.
    std::size_t m_unjudged = 0;
    // Of those, the cells a master not loaded may hold, and those masters.
    std::size_t m_unjudgedForMissing = 0;
    std::vector<std::string> m_unjudgedMasters;
    // Masters the plugins name that are not loaded: their references stay.
    std::vector<std::string> m_missingMasters;
    std::size_t m_cleaned = 0;  // cells cleaned
    std::size_t m_failed = 0;   // cells of plugins whose writing failed or was refused
    std::vector<CChangeMade> m_changes = {};  // each cell cleaned or removed
};

// What the reading of the chosen files (and the masters) came to.
struct CExtractionCount {
    std::size_t m_plugins = 0;     // plugins (and the master plugin) read
    std::size_t m_masters = 0;     // found masters read
    std::size_t m_unreadable = 0;  // files that could not be opened or read
    std::size_t m_left = 0;        // chosen plugins a stop kept from being read
};

// What an operation reports besides its panes, for the front ends to tell
// the user (the window's status bar, the command line's exit status).
struct COperationOutcome {
    EOperation m_code = EOperation::Extract;
    bool m_stopped = false;  // a stop request ended it early
    std::string m_failure;   // what ended it when it failed as a whole ("not enough memory to ...")
    std::optional<CExtractionCount> m_extraction;
    // The checks that ran (the check command's mask, or DefaultOps).
    std::uint8_t m_checks = 0;
    // Rows the operation gave each pane (conflict, warning, editor); none
    // for a pane it left as it was.
    std::array<std::optional<std::size_t>, 3> m_paneRows{};
    std::optional<CAutoCleanResult> m_clean;
    std::optional<CRelinkResult> m_relink;
    std::optional<CCellCleanResult> m_cellClean;
    std::optional<CMergedPatchOutcome> m_mergedPatch;
    // A check or global-change listing: the masters its plugins name that
    // were not loaded, and whether any master was.
    std::optional<CMasterCoverage> m_masterCoverage;
    // Check Record Conflicts: what it found, for the "Record Conflicts" list.
    std::shared_ptr<const CRecordConflictList> m_recordConflicts;
};

// What the worker offers an operation: the frame, the stop request, and the
// document's result panes.
class COperationContext {
public:
    // Ages come from the load order, or from the files' last-write times
    // when there is none.
    COperationContext(CVANTORDoc& doc, std::shared_ptr<const loadorder::CLoadOrder> loadOrder);
    CFrameLink& Link() const;
    const std::atomic<std::int32_t>& Stop() const;
    bool Stopped() const;
    // A progress report, silent once a stop was requested.
    void Progress(const std::string& text, int total) const;
    // Keeps a pane's new table and hands it to the frame; with `showByRows`
    // the pane is then shown when the table has rows and hidden otherwise.
    // The pane's row count goes into `outcome` when one is given.
    void Publish(EPane pane, CResultTable table, bool showByRows, COperationOutcome* outcome = nullptr) const;
    // The repair plugin the "Dialog Repair Tool" window named, remembered in
    // the option set.
    void RememberRepairPlugin(const std::string& name, const std::string& folder) const;
    // Which file is newer, asked once per file for the whole operation.
    CFileAges& Ages() const { return *m_ages; }

private:
    CVANTORDoc& m_doc;
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    std::unique_ptr<CFileAges> m_ages;
};

class COperation {
public:
    COperation(EOperation code, CDocState state) : m_code(code), m_state(std::move(state)) {}
    virtual ~COperation() = default;
    COperation(const COperation&) = delete;
    COperation& operator=(const COperation&) = delete;

    EOperation Code() const { return m_code; }
    // The state the command saw; the worker's extraction brings its file list
    // up to date before Run.
    CDocState& State() { return m_state; }
    virtual void Run(COperationContext& context) = 0;
    const COperationOutcome& Outcome() const { return m_outcome; }

protected:
    COperationOutcome m_outcome;

private:
    EOperation m_code;
    CDocState m_state;
};

// The operation of a code, with the command's parameters; an unknown code
// gives one that tells the user "Operation Does Not Exist".
std::unique_ptr<COperation> MakeOperation(std::int32_t code, CDocState state, const CCommandParams& params);

}  // namespace vantor
