#include "document/VANTORDoc.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <unordered_set>
#include <variant>

#include "document/Extraction.h"
#include "document/GameChoice.h"
#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

namespace {

// Answers every question with its default and shows nothing: used until a
// front end attaches its own link.
class CNullLink : public CFrameLink {
public:
    void Progress(const std::string&, int) override {}
    void HidePane(EPane) override {}
    void ShowPane(EPane) override {}
    void SetPaneRows(EPane, CTablePtr) override {}
    EAnswer Ask(const CMessage& m) override { return m.m_default; }
    CFileChoice ChooseFile(const CFileChooser&) override { return {}; }
    void CloseEntryEditors(const std::string&) override {}
};

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// What an operation was doing, for the message when memory runs out.
const char* Doing(EOperation code, bool extracting) {
    if (extracting) return "read the plugins and masters";
    switch (code) {
        case EOperation::Extract: return "read the plugins and masters";
        case EOperation::Check:
        case EOperation::ExtractCheck: return "check the plugins";
        case EOperation::Clean:
        case EOperation::ExtractClean: return "clean the plugins";
        case EOperation::Find:
        case EOperation::ExtractFind: return "search the loaded files";
        case EOperation::GlobalChanges:
        case EOperation::ExtractGlobalChanges: return "list the global changes";
        case EOperation::EditorSetUp:
        case EOperation::ExtractEditorSetUp: return "list the entries";
        case EOperation::Relink: return "merge the dialogue";
        case EOperation::CleanCells:
        case EOperation::ExtractCleanCells: return "clean the cells";
        case EOperation::MergedPatch:
        case EOperation::ExtractMergedPatch: return "make the merged patch";
        case EOperation::RecordConflicts:
        case EOperation::ExtractRecordConflicts: return "compare the records";
    }
    return "go on";
}

// Why the load order names no active plugin.
std::string NoActivePluginsText(const loadorder::CLoadOrder& order) {
    const loadorder::CWhere where = order.Where();
    const auto* game = std::get_if<loadorder::CMorrowindWhere>(&where);
    if (!game) return "No Active Plugins: the OpenMW configuration names no plugin that a data folder holds.";
    if (game->m_installDir.empty())
        return "No Active Plugins: the game's folder was not found, so there is no Morrowind.ini to read them from.";
    const auto ini = platform::ResolvePath(game->m_iniPath);
    return "No Active Plugins: " + game->m_iniPath +
           (ini && platform::FileExists(*ini) ? " names none." : " was not found.");
}

}  // namespace

// ------------------------------------------------------------- context --

COperationContext::COperationContext(CVANTORDoc& doc, std::shared_ptr<const loadorder::CLoadOrder> loadOrder)
    : m_doc(doc), m_loadOrder(std::move(loadOrder)) {
    if (m_loadOrder)
        m_ages = std::make_unique<CLoadOrderAges>(*m_loadOrder);
    else
        m_ages = std::make_unique<CLastWriteAges>();
}
CFrameLink& COperationContext::Link() const { return *m_doc.m_link; }
const std::atomic<std::int32_t>& COperationContext::Stop() const { return m_doc.m_stop; }
bool COperationContext::Stopped() const { return m_doc.Stopped(); }

void COperationContext::Progress(const std::string& text, int total) const {
    if (!Stopped()) m_doc.m_link->Progress(text, total);
}

void COperationContext::Publish(EPane pane, CResultTable table, bool showByRows, COperationOutcome* outcome) const {
    const bool any = !table.m_rows.empty();
    if (outcome && pane != EPane::All) outcome->m_paneRows[std::size_t(pane) - 1] = table.m_rows.size();
    m_doc.SetResultTable(pane, std::move(table));
    if (!showByRows) return;
    if (any)
        m_doc.m_link->ShowPane(pane);
    else
        m_doc.m_link->HidePane(pane);
}

void COperationContext::RememberRepairPlugin(const std::string& name, const std::string& folder) const {
    m_doc.RememberRepairPlugin(name, folder);
}

// ------------------------------------------------------------ document --

CVANTORDoc::CVANTORDoc(CDocConfig config, CFrameLink* link) : m_config(std::move(config)), m_link(link) {
    for (EPane pane : {EPane::Conflict, EPane::Warning, EPane::Editor})
        m_tables[std::size_t(pane) - 1] = std::make_shared<CResultTable>(PaneTableHeader(pane));
    m_nullLink = std::make_unique<CNullLink>();
    if (!m_link) m_link = m_nullLink.get();
    m_loadOrder = m_config.m_loadOrder;
    if (!m_loadOrder) m_loadOrder = loadorder::MorrowindLoadOrder({m_config.m_installDir, m_config.m_dataDir, {}});
    m_dataDir = m_loadOrder->DataDir();
    m_options.Load(m_config.m_settingsPath);
    TellIfNotAFile(*m_link, m_config.m_settingsPath);
}

CVANTORDoc::~CVANTORDoc() {
    StopOperation();
    if (m_worker.joinable()) m_worker.join();
    m_files = {};
    m_tables = {};
    m_options.Save(m_config.m_settingsPath);
}

CDocState CVANTORDoc::State() const {
    std::lock_guard lock(m_stateMutex);
    return {m_checkMode, m_options, m_files, m_mastersLoaded, m_dataDir, m_loadOrder};
}

std::shared_ptr<const loadorder::CLoadOrder> CVANTORDoc::LoadOrder() const {
    std::lock_guard lock(m_stateMutex);
    return m_loadOrder;
}

void CVANTORDoc::SetLoadOrder(std::shared_ptr<const loadorder::CLoadOrder> loadOrder) {
    if (!loadOrder) return;
    std::lock_guard lock(m_stateMutex);
    m_nextLoadOrder = std::move(loadOrder);
    // A running operation may still be reading files the old one found.
    if (m_files.Items().empty() && !IsBusy()) UseNextLoadOrder();
}

void CVANTORDoc::UseNextLoadOrder() {
    if (!m_nextLoadOrder) return;
    m_loadOrder = std::move(m_nextLoadOrder);
    m_nextLoadOrder = nullptr;
    m_dataDir = m_loadOrder->DataDir();
    // Masters found through the old load order are not this one's.
    m_files.RemoveRole(EFileRole::FoundMaster);
    m_mastersLoaded = 0;
}

COptionSet CVANTORDoc::Options() const {
    std::lock_guard lock(m_stateMutex);
    return m_options;
}

void CVANTORDoc::SetOptions(const COptionSet& options) {
    std::lock_guard lock(m_stateMutex);
    m_options = options;
}

void CVANTORDoc::RememberRepairPlugin(const std::string& name, const std::string& folder) {
    std::lock_guard lock(m_stateMutex);
    m_options.m_espFilename = name;
    m_options.m_espPath = folder;
}

bool CVANTORDoc::MastersLoaded() const {
    std::lock_guard lock(m_stateMutex);
    return m_mastersLoaded != 0;
}

CFileList CVANTORDoc::Files() const {
    std::lock_guard lock(m_stateMutex);
    return m_files;
}

std::vector<std::string> CVANTORDoc::LoadedNames() const {
    std::vector<std::string> names;
    std::lock_guard lock(m_stateMutex);
    for (const CLoadedFile* f : m_files.Loaded()) names.push_back(f->m_name);
    return names;
}

bool CVANTORDoc::HasPending() const {
    std::lock_guard lock(m_stateMutex);
    return m_files.Has(EFileRole::Pending) || m_files.Has(EFileRole::PendingMaster);
}

// ---------------------------------------------------------------- worker --

bool CVANTORDoc::StartOperation(std::int32_t code, const CCommandParams& params) {
    if (IsBusy()) return false;
    return StartOperation(MakeOperation(code, State(), params));
}

bool CVANTORDoc::StartOperation(std::unique_ptr<COperation> operation) {
    // The busy flag is set here, before the thread exists, so a second
    // command can never start a second worker.
    std::int32_t idle = 0;
    if (!operation || !m_busy.compare_exchange_strong(idle, 1)) return false;
    if (m_worker.joinable()) m_worker.join();
    // A stop asked of an earlier operation is not this one's.
    m_stop = 0;
    {
        std::lock_guard lock(m_workerMutex);
        m_workerRunning = true;
    }
    m_link->OperationStarted();
    m_worker = std::thread([this, op = std::move(operation)]() mutable { RunOperation(std::move(op)); });
    return true;
}

void CVANTORDoc::RunOperation(std::unique_ptr<COperation> operation) {
    m_busy = 1;
    m_link->HidePane(EPane::All);
    COperationContext context(*this, operation->State().m_loadOrder);
    const EOperation code = operation->Code();
    bool extracting = ExtractsFirst(code);
    COperationOutcome outcome;
    std::optional<CExtractionCount> extraction;
    try {
        if (extracting) {
            CDocState& state = operation->State();
            extraction = ExtractFiles(state, context);
            // Nothing else changes the list while the worker runs: every
            // command that would waits for it or does nothing.
            std::lock_guard lock(m_stateMutex);
            m_files = state.m_files;
            m_mastersLoaded = state.m_mastersLoaded;
            extracting = false;
        }
        // A stop during the extraction ends the operation with it.
        if (!Stopped()) operation->Run(context);
        outcome = operation->Outcome();
    } catch (const std::bad_alloc&) {
        // What the operation had made is gone with it; the document keeps
        // its files and panes as they were, and the user is told.
        operation.reset();
        m_link->Progress({}, 0);
        const std::string doing = Doing(code, extracting);
        m_link->Ask({"Not enough memory to " + doing + ".", "Critical Error", EButtons::Ok, EIcon::Stop, EAnswer::Ok});
        outcome.m_failure = "not enough memory to " + doing;
    }
    outcome.m_code = code;
    outcome.m_extraction = extraction;
    outcome.m_stopped = Stopped();
    // The operation's references to files go before the document is idle.
    operation.reset();
    {
        std::lock_guard lock(m_workerMutex);
        m_lastOutcome = outcome;
        m_workerRunning = false;
        m_busy = 0;
    }
    m_workerDone.notify_all();
    m_link->OperationEnded(outcome);
}

COperationOutcome CVANTORDoc::LastOutcome() const {
    std::lock_guard lock(m_workerMutex);
    return m_lastOutcome;
}

void CVANTORDoc::WaitForWorker() {
    // No bound on the wait: the worker polls the stop flag after every
    // record, and freeing files it still reads would be far worse. The
    // frame keeps serving the worker's blocking requests meanwhile.
    std::unique_lock lock(m_workerMutex);
    while (m_workerRunning) {
        lock.unlock();
        m_link->ServeWhileWaiting();
        lock.lock();
        m_workerDone.wait_for(lock, std::chrono::milliseconds(10), [this] { return !m_workerRunning; });
    }
    lock.unlock();
    if (!m_worker.joinable()) return;
    m_worker.join();
    // What the worker posted last (that it has ended) is handled before the
    // caller goes on to change what the frame shows.
    m_link->ServeWhileWaiting();
}

void CVANTORDoc::StopOperation() {
    const bool running = IsBusy();
    m_stop = 1;
    WaitForWorker();
    // A stopped operation reports no more progress: its display goes with it.
    if (running) m_link->Progress({}, 0);
}

void CVANTORDoc::RequestStop() {
    if (IsBusy()) m_stop = 1;
}

void CVANTORDoc::CloseEntryEditors() { m_link->CloseEntryEditors({}); }

std::optional<EOperation> CVANTORDoc::CheckCode(EOperation withExtraction, EOperation without) const {
    // Loaded plugins are checked against the masters: with those to be read
    // (after Clear Esm Data, say) the extraction reads them first.
    const EOperation loaded = MastersToRead() ? withExtraction : without;
    std::lock_guard lock(m_stateMutex);
    const bool pending = m_files.Has(EFileRole::Pending);
    if (m_checkMode == ECheckMode::SingleVersus) {
        if (pending) return withExtraction;
        if (m_files.Has(EFileRole::MasterPlugin)) return loaded;
        if (m_files.Has(EFileRole::PendingMaster)) return withExtraction;
        return std::nullopt;
    }
    if (pending) return withExtraction;
    if (!m_files.Loaded().empty()) return loaded;
    return std::nullopt;
}

bool CVANTORDoc::MastersToRead() const {
    std::lock_guard lock(m_stateMutex);
    return m_options.m_loadEsms && !m_mastersLoaded;
}

void CVANTORDoc::TellNothingChosen(const std::string& verb) {
    m_link->Ask({"No Plugins Chosen to " + verb + ": Choose Plugins or Choose Active Plugins First.", "Cannot Continue",
                 EButtons::Ok, EIcon::Information, EAnswer::Ok});
}

void CVANTORDoc::BeginCheck(std::uint8_t mask) {
    CCommandParams params;
    params.m_checkMask = mask;
    StartComparison(EOperation::ExtractCheck, EOperation::Check, params);
}

void CVANTORDoc::StartComparison(EOperation withExtraction, EOperation without, const CCommandParams& params) {
    if (IsBusy()) return;
    if (m_checkMode == ECheckMode::SingleVersus && !Files().Has(EFileRole::PendingMaster) &&
        !Files().Has(EFileRole::MasterPlugin)) {
        m_link->Ask({"Select a Master Plugin for Single Versus Mode", "Cannot Continue", EButtons::Ok, EIcon::Information,
                     EAnswer::Ok});
        return;
    }
    auto code = CheckCode(withExtraction, without);
    if (!code) {
        TellNothingChosen("Check");
        return;
    }
    CloseEntryEditors();
    StartOperation(*code, params);
}

// -------------------------------------------------------------- commands --

void CVANTORDoc::OnExtractData() {
    if (IsBusy()) return;
    if (!HasPending() && MastersLoaded()) return;
    CloseEntryEditors();
    StartOperation(EOperation::Extract);
}

void CVANTORDoc::OnAutoDeleteUnclean() {
    if (IsBusy()) return;
    if (m_checkMode == ECheckMode::SingleVersus && !Files().Has(EFileRole::PendingMaster) &&
        !Files().Has(EFileRole::MasterPlugin))
        return;
    CloseEntryEditors();
    if (auto code = CheckCode(EOperation::ExtractClean, EOperation::Clean))
        StartOperation(*code);
    else
        TellNothingChosen("Clean");
}

void CVANTORDoc::OnCheckRecordConflicts() {
    StartComparison(EOperation::ExtractRecordConflicts, EOperation::RecordConflicts);
}

void CVANTORDoc::OnCleanCells(bool listOnly) {
    // Started as the automatic clean is.
    if (IsBusy()) return;
    if (m_checkMode == ECheckMode::SingleVersus && !Files().Has(EFileRole::PendingMaster) &&
        !Files().Has(EFileRole::MasterPlugin))
        return;
    CloseEntryEditors();
    CCommandParams params;
    params.m_listOnly = listOnly;
    if (auto code = CheckCode(EOperation::ExtractCleanCells, EOperation::CleanCells))
        StartOperation(*code, params);
    else
        TellNothingChosen("Clean");
}

void CVANTORDoc::OnMakeMergedPatch(const CMergedPatchRequest& request) {
    if (IsBusy()) return;
    CloseEntryEditors();
    if (auto code = CheckCode(EOperation::ExtractMergedPatch, EOperation::MergedPatch))
        StartOperation(MakeMergedPatchOperation(*code, State(), request));
    else
        TellNothingChosen("Merge");
}

void CVANTORDoc::OnRelinkDialog() {
    CCommandParams params;
    params.m_relinkMode = 0;
    StartOperation(EOperation::Relink, params);
}

void CVANTORDoc::OnAutoRelinkDialog() {
    CCommandParams params;
    params.m_relinkMode = 1;
    StartOperation(EOperation::Relink, params);
}

void CVANTORDoc::OnViewAllEspData() {
    if (IsBusy()) return;
    CloseEntryEditors();
    StartOperation(HasPending() || MastersToRead() ? EOperation::ExtractEditorSetUp : EOperation::EditorSetUp);
}

void CVANTORDoc::OnViewAllEsmData() {
    if (IsBusy()) return;
    CloseEntryEditors();
    CCommandParams params;
    params.m_viewMasters = 1;
    StartOperation((MastersLoaded() || !Options().m_loadEsms) ? EOperation::EditorSetUp : EOperation::ExtractEditorSetUp,
                   params);
}

void CVANTORDoc::OnViewAllGlobalChanges() {
    if (IsBusy()) return;
    CloseEntryEditors();
    StartOperation(HasPending() || MastersToRead() ? EOperation::ExtractGlobalChanges : EOperation::GlobalChanges);
}

std::optional<CViewFileSeed> CVANTORDoc::ViewFileDataSeed() {
    if (IsBusy()) return std::nullopt;
    CViewFileSeed seed;
    std::lock_guard lock(m_stateMutex);
    seed.m_plugins = m_files.Names(EFileRole::Pending);
    for (const CLoadedFile* f : m_files.Loaded()) seed.m_plugins.push_back(f->m_name);
    if (m_checkMode == ECheckMode::SingleVersus) {
        if (const CLoadedFile* master = m_files.First(EFileRole::PendingMaster))
            seed.m_plugins.push_back(master->m_name);
        else if (const CLoadedFile* loaded = m_files.First(EFileRole::MasterPlugin))
            seed.m_plugins.push_back(loaded->m_name);
    }
    vantor::FindMasters(m_files, *m_loadOrder);
    seed.m_masters = m_files.Names(EFileRole::FoundMaster);
    return seed;
}

void CVANTORDoc::OnViewFileData(const CViewFileChoice& choice) {
    if (IsBusy()) return;
    CloseEntryEditors();
    CCommandParams params;
    params.m_viewMasters = choice.m_esmFile ? 1 : 0;
    if (choice.m_globalChanges) {
        params.m_globalChangesFile = choice.m_fileName;
        StartOperation(HasPending() || MastersToRead() ? EOperation::ExtractGlobalChanges : EOperation::GlobalChanges,
                       params);
    } else {
        params.m_viewFile = choice.m_fileName;
        const bool extract = HasPending() || (!MastersLoaded() && Options().m_loadEsms);
        StartOperation(extract ? EOperation::ExtractEditorSetUp : EOperation::EditorSetUp, params);
    }
}

void CVANTORDoc::OnFindObject(const CFindParams& findParams) {
    if (IsBusy()) return;
    CloseEntryEditors();
    CCommandParams params;
    params.m_find = findParams;
    StartOperation(HasPending() || MastersToRead() ? EOperation::ExtractFind : EOperation::Find, params);
}

bool CVANTORDoc::FindMasters() {
    std::lock_guard lock(m_stateMutex);
    return vantor::FindMasters(m_files, *m_loadOrder);
}

void CVANTORDoc::RefillPluginRoot() {
    {
        std::lock_guard lock(m_stateMutex);
        m_tree.m_pluginItems.clear();
        // The master plugin is shown under its own root.
        for (EFileRole role : {EFileRole::Pending, EFileRole::Plugin})
            for (const CLoadedFile* f : m_files.Of(role)) {
                m_tree.m_pluginItems.push_back(f->m_name);
                m_tree.m_folders[f->m_name] = f->m_folder;
            }
    }
    m_link->UpdateViews();
}

void CVANTORDoc::AddChosenPlugins(const std::vector<std::string>& paths) {
    std::lock_guard lock(m_stateMutex);
    std::vector<platform::CFileId> chosen = m_files.ChosenFileIds();
    for (const auto& path : paths) {
        const std::string name = platform::FileNameOf(path);
        // A found master chosen as a plugin is no longer a master.
        m_files.Remove(EFileRole::FoundMaster, name);
        if (m_files.IsChosen(name)) continue;
        // One file chosen twice, once through a link, is read and changed once.
        if (const platform::CPathProbe probe = platform::ProbePath(path); probe.Exists()) {
            if (std::find(chosen.begin(), chosen.end(), probe.m_id) != chosen.end()) continue;
            chosen.push_back(probe.m_id);
        }
        m_files.Append({name, platform::WithSeparator(platform::FolderOf(path)), EFileRole::Pending, nullptr});
    }
}

void CVANTORDoc::OnChoosePlugins() {
    if (IsBusy()) return;
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenMany;
    chooser.m_title = "Select Files";
    const bool openmw = IsOpenMW(*LoadOrder());
    chooser.m_filters = {PluginFilter(openmw), MasterFilter(openmw), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = m_dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = true;
    CFileChoice choice = m_link->ChooseFile(chooser);
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    AddChosenPlugins(choice.m_paths);
    RefillPluginRoot();
}

void CVANTORDoc::OnChooseActivePlugins() {
    if (IsBusy()) return;
    const std::shared_ptr<const loadorder::CLoadOrder> order = LoadOrder();
    const std::vector<loadorder::CGameFile> active = order->ActivePlugins();
    if (active.empty()) {
        m_link->Tell(NoActivePluginsText(*order), "Not Found", EIcon::Information);
        return;
    }
    {
        std::lock_guard lock(m_stateMutex);
        // Each from the folder it was found in: OpenMW's lie in many. The
        // chosen names are looked up in a set: a load order may name
        // hundreds of thousands.
        std::unordered_set<std::string> chosen = m_files.ChosenNames();
        for (const loadorder::CGameFile& plugin : active) {
            if (!chosen.insert(plugin.m_name).second) continue;
            m_files.Append({plugin.m_name, plugin.m_folder, EFileRole::Pending, nullptr});
        }
    }
    RefillPluginRoot();
}

void CVANTORDoc::DropLoadedMaster() {
    std::lock_guard lock(m_stateMutex);
    m_files.RemoveRole(EFileRole::MasterPlugin);
}

void CVANTORDoc::OnChooseMasterPlugin() {
    if (IsBusy() || m_checkMode != ECheckMode::SingleVersus) return;
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenOne;
    chooser.m_title = "Select Master Plugin to Check Against";
    chooser.m_filters = {PluginFilter(IsOpenMW(*LoadOrder())), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = m_dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = true;
    CFileChoice choice = m_link->ChooseFile(chooser);
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    m_tree.m_hasMasterRoot = true;
    m_tree.m_masterItems.clear();
    const std::string name = platform::FileNameOf(choice.m_paths.front());
    if (Contains(PendingNames(), name) || Contains(LoadedNames(), name)) {
        m_link->Ask({"Please Remove Chosen File from Plugin List Before Selecting it as a Master.",
                     "Cannot Complete Request", EButtons::Ok, EIcon::None, EAnswer::Ok});
        m_link->UpdateViews();
        return;
    }
    DropLoadedMaster();
    {
        std::lock_guard lock(m_stateMutex);
        m_files.RemoveRole(EFileRole::PendingMaster);
        m_files.Append({name, platform::WithSeparator(platform::FolderOf(choice.m_paths.front())),
                        EFileRole::PendingMaster, nullptr});
    }
    m_tree.m_masterItems = {name};
    m_tree.m_folders[name] = platform::WithSeparator(platform::FolderOf(choice.m_paths.front()));
    m_link->UpdateViews();
}

void CVANTORDoc::OnNewCheck() {
    StopOperation();
    m_link->Progress({}, 0);
    m_stop = 0;
    m_link->HidePane(EPane::All);
    {
        std::lock_guard lock(m_stateMutex);
        for (EFileRole role : {EFileRole::Pending, EFileRole::PendingMaster, EFileRole::Plugin, EFileRole::MasterPlugin})
            m_files.RemoveRole(role);
        UseNextLoadOrder();
    }
    ClearResultTables();
    m_tree.m_pluginItems.clear();
    m_tree.m_masterItems.clear();
    m_tree.m_folders.clear();
    m_link->UpdateViews();
}

void CVANTORDoc::OnSingleVersus() {
    if (IsBusy()) return;
    m_checkMode = ECheckMode::SingleVersus;
    if (!m_tree.m_hasMasterRoot) {
        m_tree.m_hasMasterRoot = true;
        m_tree.m_masterItems.clear();
    }
    m_link->UpdateViews();
}

void CVANTORDoc::OnFullCheck() {
    if (IsBusy()) return;
    m_checkMode = ECheckMode::Full;
    m_tree.m_hasMasterRoot = false;
    m_tree.m_masterItems.clear();
    m_link->UpdateViews();
}

void CVANTORDoc::OnTreeAdd(const std::optional<CFileTree::CSelection>& selection) {
    if (selection && selection->m_root == CFileTree::ERoot::Master)
        OnChooseMasterPlugin();
    else
        OnChoosePlugins();
}

void CVANTORDoc::OnTreeRemove(const std::optional<CFileTree::CSelection>& selection) {
    if (!selection || selection->m_isRoot) return;
    // Files a running operation reads are never freed under it.
    if (IsBusy()) return;
    const std::string& text = selection->m_text;
    auto eraseItem = [&](std::vector<std::string>& items) {
        auto it = std::find(items.begin(), items.end(), text);
        if (it != items.end()) items.erase(it);
    };
    bool removed = false;
    {
        std::lock_guard lock(m_stateMutex);
        if (m_files.Remove(EFileRole::PendingMaster, text) || m_files.Remove(EFileRole::MasterPlugin, text)) {
            eraseItem(m_tree.m_masterItems);
            removed = true;
        } else if (m_files.Remove(EFileRole::Pending, text) || m_files.Remove(EFileRole::Plugin, text)) {
            eraseItem(m_tree.m_pluginItems);
            removed = true;
        }
    }
    if (removed) m_link->UpdateViews();
}

void CVANTORDoc::OnClearEsmData() {
    // Masters a running operation reads are not freed under it: stop it.
    if (IsBusy()) {
        StopOperation();
        m_stop = 0;
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_files.RemoveRole(EFileRole::FoundMaster);
        m_mastersLoaded = 0;
    }
    m_link->HidePane(EPane::All);
    ClearResultTables();
}

void CVANTORDoc::OnSaveResults() {
    if (IsBusy()) return;
    SaveResults(*m_link, m_dataDir, FilesInUse(Files()), *ResultTable(EPane::Conflict), *ResultTable(EPane::Warning),
                *ResultTable(EPane::Editor));
}

// --------------------------------------------------------------- lookups --

bool CVANTORDoc::IsLoaded(const CFileRef& file, bool masters) const {
    if (!file) return false;
    std::lock_guard lock(m_stateMutex);
    for (const CLoadedFile& item : m_files.Items()) {
        const bool wanted = masters ? item.m_role == EFileRole::FoundMaster
                                    : (item.m_role == EFileRole::Plugin || item.m_role == EFileRole::MasterPlugin);
        if (wanted && item.m_file == file) return true;
    }
    return false;
}

std::shared_ptr<CPluginFile> CVANTORDoc::FindLoadedFile(const std::string& fileName, bool masters) const {
    std::lock_guard lock(m_stateMutex);
    for (const CLoadedFile& item : m_files.Items()) {
        const bool wanted = masters ? item.m_role == EFileRole::FoundMaster
                                    : (item.m_role == EFileRole::Plugin || item.m_role == EFileRole::MasterPlugin);
        if (wanted && item.m_file && item.m_file->FileName() == fileName) return item.m_file;
    }
    return nullptr;
}

CEntry* CVANTORDoc::FindEntry(const std::string& fileName, const std::string& id, const std::string& tag,
                              bool masters) const {
    const std::shared_ptr<CPluginFile> file = FindLoadedFile(fileName, masters);
    if (!file) return nullptr;
    const CEntryTable* table = file->GetTable(tag);
    if (!table) return nullptr;
    const std::string_view wanted = UpToNul(id);
    for (const auto& e : *table)
        if (e->IdText() == wanted) return e.get();
    return nullptr;
}

// ---------------------------------------------------------------- tables --

void CVANTORDoc::SetResultTable(EPane pane, CResultTable table) {
    if (pane == EPane::All) return;
    auto shared = std::make_shared<CResultTable>(std::move(table));
    {
        std::lock_guard lock(m_tablesMutex);
        m_tables[std::size_t(pane) - 1] = shared;
    }
    m_link->SetPaneRows(pane, std::move(shared));
}

std::shared_ptr<const CResultTable> CVANTORDoc::ResultTable(EPane pane) const {
    static const auto kNoTable = std::make_shared<const CResultTable>();
    if (pane == EPane::All) return kNoTable;
    std::lock_guard lock(m_tablesMutex);
    return m_tables[std::size_t(pane) - 1];
}

void CVANTORDoc::ClearResultTables() {
    for (EPane pane : {EPane::Conflict, EPane::Warning, EPane::Editor}) SetResultTable(pane, PaneTableHeader(pane));
}

}  // namespace vantor
