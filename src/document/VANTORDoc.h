#pragma once
// The one document: the chosen and read files and their roles, the check
// mode, the options, and the result lists the operations made. A front end
// changes the files through the methods below and runs everything else as
// a request (Requests.h) through Run, or Prepare and Execute on a worker.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "document/FileList.h"
#include "document/FrameLink.h"
#include "document/Operation.h"
#include "document/Options.h"
#include "document/Outcome.h"
#include "document/Requests.h"
#include "document/ResultTable.h"
#include "engine/StopToken.h"
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

// What the View File dialog offers: the chosen and read plugins (and the
// master plugin in Single Versus), and the masters the search found.
struct CViewFileSeed {
    std::vector<std::string> m_plugins;
    std::vector<std::string> m_masters;
};

class CVANTORDoc {
public:
    // Notices of the document go to `link` (none: they are dropped).
    explicit CVANTORDoc(CDocConfig config = {}, CFrameLink* link = nullptr);
    ~CVANTORDoc();
    CVANTORDoc(const CVANTORDoc&) = delete;
    CVANTORDoc& operator=(const CVANTORDoc&) = delete;

    CFrameLink& Link() { return *m_link; }

    // --- requests ---------------------------------------------------------
    // Runs a request on this thread to its end: a refusal is told and
    // returned at once; otherwise the files are read first where the request
    // needs them, and the operation runs.
    COutcome Run(const CRequest& request, const CStopToken& stop = {});
    // The same in two steps, for a worker thread. Prepare runs on the thread
    // that changes the files: it chooses the request's plugins, decides
    // whether the request may run (telling why not) and makes its operation
    // with a copy of the state; the document is busy from then until the
    // operation is gone. Execute runs it, on any thread.
    struct CPrepared {
        std::unique_ptr<COperation> m_operation;  // none: refused
        COutcome m_refusal;
        explicit operator bool() const { return m_operation != nullptr; }
    };
    CPrepared Prepare(const CRequest& request);
    COutcome Execute(std::unique_ptr<COperation> operation, const CStopToken& stop);
    // Makes the document busy until the operation is gone, as Prepare does
    // for the operations it makes; false while another holds it.
    bool Claim(COperation& operation);
    bool IsBusy() const { return m_busy.load() != 0; }
    // The checks the default check makes: DefaultOps of the options.
    CCheckSet DefaultChecks() const { return Options().DefaultChecks(); }

    // --- files and their roles --------------------------------------------
    // Each of these does nothing (and returns false) while an operation runs.
    // Chooses plugins by path: a name chosen already, or a file chosen
    // already through another name, is passed over; a found master chosen
    // as a plugin is no longer a master.
    bool ChoosePlugins(const std::vector<std::string>& paths);
    // The load order's active plugins; tells why when it names none.
    bool ChooseActivePlugins();
    // The master plugin of Single Versus; refused (and told) when it is a
    // chosen plugin.
    bool ChooseMasterPlugin(const std::string& path);
    // Takes a chosen or read file out by name: the master plugin of that
    // name, else the plugin.
    enum class ERemoved { Nothing, MasterPlugin, Plugin };
    ERemoved RemoveFile(const std::string& name);
    bool SetCheckMode(ECheckMode mode);
    // Forgets the chosen and read plugins and the lists, and takes a waiting
    // load order into use. Whoever runs operations stops them first: an
    // operation still running then changes neither the files nor the lists.
    void NewCheck();
    // Forgets the masters read (Clear Esm Data) and the lists, as NewCheck.
    void ClearMasters();

    ECheckMode CheckMode() const;
    // The file list (a copy: the worker may be updating it).
    CFileList Files() const;
    // Names of the chosen and read files, in the document's orders.
    std::vector<std::string> PendingNames() const { return Files().Names(EFileRole::Pending); }
    std::vector<std::string> LoadedNames() const;
    std::vector<std::string> FoundMasterNames() const { return Files().Names(EFileRole::FoundMaster); }
    bool MastersLoaded() const;
    // The master search of the data folder, as View File Data runs it.
    bool FindMasters();
    // What the View File dialog offers (it runs the master search).
    CViewFileSeed ViewFileSeed();

    // --- options and the game ----------------------------------------------
    COptionSet Options() const;
    void SetOptions(const COptionSet& options);
    const std::string& DataDir() const { return m_dataDir; }
    // Where the game's files are and in which order they load.
    std::shared_ptr<const loadorder::CLoadOrder> LoadOrder() const;
    // Another load order: in effect at once while no file is chosen or
    // read, otherwise from the next New Check, which then also forgets the
    // masters found through the old one.
    void SetLoadOrder(std::shared_ptr<const loadorder::CLoadOrder> loadOrder);

    // --- lookups -----------------------------------------------------------
    // The read plugin (or master) of that name.
    std::shared_ptr<CPluginFile> FindLoadedFile(const std::string& fileName, bool masters) const;
    // The first entry of that ID in the read plugin (or master) of that name.
    CEntry* FindEntry(const std::string& fileName, const std::string& id, const std::string& tag, bool masters) const;
    // The same as a reference for a request; the file alone when it holds
    // no such entry, nothing when it is not read.
    CEntryRef FindEntryRef(const std::string& fileName, const std::string& tag, const std::string& id) const;
    // Whether the file is read and loaded (among the masters, or the plugins).
    bool IsLoaded(const CFileRef& file, bool masters) const;

    // --- the operations' results -------------------------------------------
    // The table a list shows (shared with the list, which sorts it and takes
    // rows out of it on the user-interface thread).
    std::shared_ptr<const CResultTable> ResultTable(EPane pane) const;

private:
    friend class COperationContext;
    CDocState State() const;
    // Why the request may not run now, told; nullopt when it may. `readFirst`
    // says whether its files are read first.
    std::optional<EReason> Refuse(const CRequest& request, bool& readFirst);
    bool HasPending() const;
    // LoadEsms is on and the masters are not read (yet, or since Clear Esm Data).
    bool MastersToRead() const;
    std::optional<bool> CheckReadsFirst() const;
    void RememberRepairPlugin(const std::string& name, const std::string& folder);
    void Publish(EPane pane, CResultTable table, std::uint64_t generation, EShow show);
    // Takes the waiting load order into use; the caller holds m_stateMutex.
    void UseNextLoadOrder();
    void ForgetResults();

    CDocConfig m_config;
    CFrameLink* m_link;
    std::unique_ptr<CFrameLink> m_nullLink;
    std::string m_dataDir;  // the load order's, for the file choosers

    // What the worker may write while the front end reads it: the options
    // (the repair plugin's name) and the file list (extraction).
    mutable std::mutex m_stateMutex;
    ECheckMode m_checkMode = ECheckMode::Full;
    COptionSet m_options;
    CFileList m_files;
    bool m_mastersLoaded = false;
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    std::shared_ptr<const loadorder::CLoadOrder> m_nextLoadOrder;  // waiting for New Check
    // Counts New Check and Clear Esm Data: what an operation made before
    // the last of them is not the document's any more. Changed under both
    // mutexes.
    std::uint64_t m_generation = 0;

    std::atomic<std::int32_t> m_busy{0};

    mutable std::mutex m_tablesMutex;
    std::array<CTablePtr, 3> m_tables;
};

}  // namespace vantor
