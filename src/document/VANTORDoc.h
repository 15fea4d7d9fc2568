#pragma once
// The one document: check mode, option set, chosen and loaded files, the
// result tables and the state of the one operation that may run. Every menu
// and toolbar command is a method here; the Qt frame and the CLI call them.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "document/FileList.h"
#include "document/FileTree.h"
#include "document/FrameLink.h"
#include "document/Operation.h"
#include "document/Options.h"
#include "document/ResultTable.h"
#include "format/SubRecord.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

// Where the document finds its settings and the game.
struct CDocConfig {
    std::string m_settingsPath = "vantor.ini";
    // The load order; none: the game's own, found through the two folders
    // below.
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    std::optional<std::string> m_installDir;  // overrides the lookup
    std::optional<std::string> m_dataDir;     // overrides install + "Data Files"
};

// What the View File dialog offers and what it answers.
struct CViewFileSeed {
    std::vector<std::string> m_plugins;
    std::vector<std::string> m_masters;
};
struct CViewFileChoice {
    bool m_esmFile = false;         // "Esm File" selected
    bool m_globalChanges = false;   // "View Global Changes" mode
    std::string m_fileName;
};

class CVANTORDoc {
public:
    explicit CVANTORDoc(CDocConfig config = {}, CFrameLink* link = nullptr);
    ~CVANTORDoc();
    CVANTORDoc(const CVANTORDoc&) = delete;
    CVANTORDoc& operator=(const CVANTORDoc&) = delete;

    void SetLink(CFrameLink* link) { m_link = link; }
    CFrameLink& Link() { return *m_link; }

    // --- commands -------------------------------------------------------
    void OnExtractData();
    void OnCheckConflicts() { BeginCheck(kCheckConflicts); }
    void OnCheckDeleted() { BeginCheck(kCheckDeleted); }
    void OnCheckUnclean() { BeginCheck(kCheckUnclean); }
    void OnCheckAll() { BeginCheck(kCheckAll); }
    void OnDefaultCheck() { BeginCheck(0); }
    // The shared start of the check commands, with the command's own mask
    // (0: the default checks of the option set).
    void BeginCheck(std::uint8_t mask);
    void OnAutoDeleteUnclean();
    // Check Record Conflicts: each record two or more plugins hold, once.
    void OnCheckRecordConflicts();
    // Clean Cells: lists what cell cleaning changes in the loaded plugins,
    // then asks and cleans; with `listOnly` it only lists.
    void OnCleanCells(bool listOnly = false);
    // Make Merged Patch, after reading what is chosen.
    void OnMakeMergedPatch(const CMergedPatchRequest& request);
    void OnRelinkDialog();
    void OnAutoRelinkDialog();
    void OnViewAllEspData();
    void OnViewAllEsmData();
    void OnViewAllGlobalChanges();
    // View File Data: the seed fills the dialog (it runs the master search);
    // the choice, when the dialog was confirmed, starts the operation.
    std::optional<CViewFileSeed> ViewFileDataSeed();
    void OnViewFileData(const CViewFileChoice& choice);
    void OnFindObject(const CFindParams& params);
    void OnChoosePlugins();
    void OnChooseActivePlugins();
    void OnChooseMasterPlugin();
    void OnNewCheck();
    void OnSingleVersus();
    void OnFullCheck();
    void OnTreeAdd(const std::optional<CFileTree::CSelection>& selection);
    void OnTreeRemove(const std::optional<CFileTree::CSelection>& selection);
    void OnClearEsmData();
    void OnSaveResults();

    // --- the worker -----------------------------------------------------
    // Starts the worker on the operation of a code, made from the document's
    // state now; false when one is already running.
    bool StartOperation(std::int32_t code, const CCommandParams& params = {});
    bool StartOperation(EOperation code, const CCommandParams& params = {}) {
        return StartOperation(std::int32_t(code), params);
    }
    // Starts the worker on an operation already made.
    bool StartOperation(std::unique_ptr<COperation> operation);
    // Sets the stop flag and waits until the worker has ended. The flag is
    // left set; the caller clears it when it goes on.
    void StopOperation();
    // The Stop command: asks the running operation to stop and returns at
    // once; the frame hears when it has ended. The chosen and read files and
    // the rows found so far stay. The next operation starts unstopped.
    void RequestStop();
    void ClearStop() { m_stop = 0; }
    // Blocks until the running worker (if any) has ended.
    void WaitForWorker();
    bool IsBusy() const { return m_busy.load() != 0; }
    bool Stopped() const { return m_stop.load(std::memory_order_relaxed) != 0; }
    const std::atomic<std::int32_t>& StopFlag() const { return m_stop; }
    // What the last operation to end reported.
    COperationOutcome LastOutcome() const;

    // --- state ------------------------------------------------------------
    // A copy of what a command would hand its operation now.
    CDocState State() const;
    ECheckMode CheckMode() const { return m_checkMode; }
    COptionSet Options() const;
    void SetOptions(const COptionSet& options);
    const std::string& DataDir() const { return m_dataDir; }
    // Where the game's files are and in which order they load.
    std::shared_ptr<const loadorder::CLoadOrder> LoadOrder() const;
    // Another load order: in effect at once while no file is chosen or
    // read, otherwise from the next New Check, which then also forgets the
    // masters found through the old one.
    void SetLoadOrder(std::shared_ptr<const loadorder::CLoadOrder> loadOrder);
    const CFileTree& Tree() const { return m_tree; }
    bool MastersLoaded() const;
    // The file list (a copy: the worker may be updating it).
    CFileList Files() const;
    // Names of the chosen and read files, in the document's orders.
    std::vector<std::string> PendingNames() const { return Files().Names(EFileRole::Pending); }
    std::vector<std::string> LoadedNames() const;
    std::vector<std::string> FoundMasterNames() const { return Files().Names(EFileRole::FoundMaster); }
    // The master search of the data folder, as View File Data runs it.
    bool FindMasters();

    // --- lookups (entry services) ----------------------------------------
    // The read plugin (or master) of that name.
    std::shared_ptr<CPluginFile> FindLoadedFile(const std::string& fileName, bool masters) const;
    CEntry* FindEntry(const std::string& fileName, const std::string& id, const std::string& tag, bool masters) const;

    // Rewrites exactly this entry of a loaded plugin with new subrecords (the
    // data after its ID) after asking; true when the entry now holds them.
    bool UpdateEntry(const CEntryRef& entry, const CSubRecords& subs);
    // Erases exactly this entry of a loaded plugin from its file and its
    // table; true when it was deleted.
    bool DeleteEntry(const CEntryRef& entry, bool askFirst);
    // The same for the first entry of that ID in the loaded plugin of that name.
    bool DeleteEntry(const std::string& fileName, const std::string& tag, const std::string& id, bool askFirst);
    // Cleans the cell of a loaded plugin as Clean Cells would, judged anew,
    // after asking; true when it was cleaned.
    bool CleanCell(const CEntryRef& cell, bool askFirst);
    // Whether the file is read and loaded (among the masters, or the plugins).
    bool IsLoaded(const CFileRef& file, bool masters) const;

    // Replaces one result table and tells the frame.
    void SetResultTable(EPane pane, CResultTable table);
    // The table a pane shows (shared with the pane, which sorts it and takes
    // rows out of it on the user-interface thread).
    std::shared_ptr<const CResultTable> ResultTable(EPane pane) const;
    void ClearResultTables();

private:
    friend class COperationContext;
    void RunOperation(std::unique_ptr<COperation> operation);
    void CloseEntryEditors();
    bool HasPending() const;
    // LoadEsms is on and the masters are not read (yet, or since Clear Esm Data).
    bool MastersToRead() const;
    void RefillPluginRoot();
    void DropLoadedMaster();
    std::optional<EOperation> CheckCode(EOperation withExtraction, EOperation without) const;
    // Starts a check or Check Record Conflicts, or says why not.
    void StartComparison(EOperation withExtraction, EOperation without, const CCommandParams& params = {});
    // Says why a command that needs plugins did nothing.
    void TellNothingChosen(const std::string& verb);
    void AddChosenPlugins(const std::vector<std::string>& paths);
    void RememberRepairPlugin(const std::string& name, const std::string& folder);
    // Takes the waiting load order into use; the caller holds m_stateMutex.
    void UseNextLoadOrder();

    CDocConfig m_config;
    CFrameLink* m_link;
    std::unique_ptr<CFrameLink> m_nullLink;

    ECheckMode m_checkMode = ECheckMode::Full;
    std::string m_dataDir;  // the load order's, for the file choosers
    CFileTree m_tree;

    // What the worker may write while the user-interface thread reads it:
    // the options (the repair plugin's name) and the file list (extraction).
    mutable std::mutex m_stateMutex;
    COptionSet m_options;
    CFileList m_files;
    std::int32_t m_mastersLoaded = 0;
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    std::shared_ptr<const loadorder::CLoadOrder> m_nextLoadOrder;  // waiting for New Check

    std::atomic<std::int32_t> m_stop{0};
    std::atomic<std::int32_t> m_busy{0};
    std::thread m_worker;
    mutable std::mutex m_workerMutex;
    std::condition_variable m_workerDone;
    bool m_workerRunning = false;
    COperationOutcome m_lastOutcome;  // guarded by m_workerMutex

    mutable std::mutex m_tablesMutex;
    std::array<CTablePtr, 3> m_tables;
};

}  // namespace vantor
