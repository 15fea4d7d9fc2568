#pragma once
// The one document: check mode, option set, chosen and loaded files, the
// result tables and the state of the one operation that may run. Every menu
// and toolbar command is a method here; the Qt frame and the CLI call them.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "format/PluginFile.h"
#include "document/FileTree.h"
#include "document/FrameLink.h"
#include "document/Options.h"
#include "document/ResultTable.h"

namespace vantor {

enum class ECheckMode : std::int32_t { Full = 0, SingleVersus = 1 };

// Where the document finds its settings and the game.
struct CDocConfig {
    std::string m_settingsPath = "vantor.ini";
    std::optional<std::string> m_installDir;  // overrides the lookup
    std::optional<std::string> m_dataDir;     // overrides install + "Data Files"
};

struct CFindParams {
    std::int32_t m_matchCase = 0;
    std::int32_t m_wholeWord = 0;
    std::int32_t m_lookInData = 0;
    std::int32_t m_searchMasters = 0;
    std::string m_text;
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
    // Operation codes of the worker.
    enum EOperation : std::int32_t {
        kExtract = 0, kCheck = 1, kExtractCheck = 2, kClean = 3, kExtractClean = 4, kFind = 5, kExtractFind = 6,
        kGlobalChanges = 7, kExtractGlobalChanges = 8, kEditorSetUp = 9, kExtractEditorSetUp = 10, kRelink = 11
    };
    // A hook that runs one operation code after its extraction step; the
    // check, clean, find, listing and relink operations register here.
    using COperationHandler = std::function<void(CVANTORDoc&)>;

    explicit CVANTORDoc(CDocConfig config = {}, CFrameLink* link = nullptr);
    ~CVANTORDoc();
    CVANTORDoc(const CVANTORDoc&) = delete;
    CVANTORDoc& operator=(const CVANTORDoc&) = delete;

    void SetLink(CFrameLink* link) { m_link = link; }
    CFrameLink& Link() { return *m_link; }
    void SetOperationHandler(std::int32_t code, COperationHandler handler);

    // --- commands -------------------------------------------------------
    void OnExtractData();
    void OnCheckConflicts() { m_checkMask = 1; BeginCheck(); }
    void OnCheckDeleted() { m_checkMask = 2; BeginCheck(); }
    void OnCheckUnclean() { m_checkMask = 4; BeginCheck(); }
    void OnCheckAll() { m_checkMask = 7; BeginCheck(); }
    void OnDefaultCheck() { m_checkMask = 0; BeginCheck(); }
    void OnAutoDeleteUnclean();
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
    void BeginCheck();
    // Starts the worker for one code; false when one is already running.
    bool StartOperation(std::int32_t code);
    static int RunOperation(CVANTORDoc* doc);
    // Sets the stop flag and waits until the worker has ended. The flag is
    // left set; the caller clears it when it goes on.
    void StopOperation();
    // Blocks until the running worker (if any) has ended.
    void WaitForWorker();
    bool IsBusy() const { return m_busy.load() != 0; }

    // --- extraction -----------------------------------------------------
    bool FindMasters();
    void ExtractData();

    // --- lookups (entry services) ----------------------------------------
    CPluginFile* FindLoadedFile(const std::string& fileName, bool masters);
    CEntry* FindEntry(const std::string& fileName, const std::string& id, const std::string& tag, bool masters);

    // Rewrites an entry of a loaded plugin with new subrecords (the data
    // after its ID) after asking; true when the entry now holds them.
    bool UpdateEntry(const std::vector<std::string>& tags, const std::vector<std::string>& payloads,
                     const std::string& tag, const std::string& id, const std::string& fileName);
    // Erases an entry of a loaded plugin from its file and its table; true
    // when it was deleted.
    bool DeleteEntry(const std::string& fileName, const std::string& tag, const std::string& id, bool askFirst);

    // Replaces one result table and tells the frame.
    void SetResultTable(EPane pane, CResultTable table);
    // Replaces one result table the frame already shows (the operation
    // handed it over through the link itself).
    void StoreResultTable(EPane pane, CResultTable table);
    // Sorts a table as its view does, so a saved log shows what the user sees.
    void SortResultTable(EPane pane, std::size_t column, bool descending);
    CResultTable ResultTableCopy(EPane pane) const;
    void ClearResultTables();

    // Progress helper for operations: text and total, silent once stopped.
    void Progress(const std::string& text, int total);
    bool Stopped() const { return m_stop.load(std::memory_order_relaxed) != 0; }

    // --- state (public like the original document's fields) ------------
    ECheckMode m_checkMode = ECheckMode::Full;
    COptionSet m_options;
    std::string m_dataDir;
    std::string m_installDir;
    CFileTree m_tree;

    std::vector<std::string> m_pendingNames, m_pendingFolders;
    std::string m_pendingMasterName, m_pendingMasterFolder;
    std::string m_loadedMasterName, m_loadedMasterFolder;
    std::vector<std::string> m_loadedNames, m_loadedFolders;
    std::vector<std::unique_ptr<CPluginFile>> m_loadedFiles;
    std::vector<std::string> m_foundMasterNames, m_foundMasterFolders;
    std::int32_t m_mastersLoaded = 0;
    std::vector<std::unique_ptr<CPluginFile>> m_masterFiles;

    std::int32_t m_operation = 0;
    std::atomic<std::int32_t> m_stop{0};
    std::atomic<std::int32_t> m_busy{0};
    std::uint8_t m_checkMask = 0;

    std::string m_globalChangesFile;
    std::string m_viewFile;
    std::int32_t m_viewMasters = 0;
    CFindParams m_find;
    std::int32_t m_relinkMode = 0;

    // Loaded plugins and found masters in the order the check engine wants
    // them (last element of the document's list first).
    std::vector<CPluginFile*> EnginePlugins() const;
    std::vector<CPluginFile*> EngineMasters() const;

private:
    void CloseEntryEditors();
    bool HasPending() const { return !m_pendingNames.empty() || !m_pendingMasterName.empty(); }
    bool IsChosen(const std::string& name) const;
    void RefillPluginRoot();
    void DropLoadedMaster();
    void ChooseCodeAndStart(std::int32_t withExtraction, std::int32_t without);
    std::optional<std::int32_t> CheckCode(std::int32_t withExtraction, std::int32_t without) const;
    void AddChosenPlugins(const std::vector<std::string>& paths);

    CDocConfig m_config;
    CFrameLink* m_link;
    std::unique_ptr<CFrameLink> m_nullLink;
    std::array<COperationHandler, 12> m_handlers;

    std::thread m_worker;
    std::mutex m_workerMutex;
    std::condition_variable m_workerDone;
    bool m_workerRunning = false;

    mutable std::mutex m_tablesMutex;
    std::array<CResultTable, 3> m_tables;
};

}  // namespace vantor
