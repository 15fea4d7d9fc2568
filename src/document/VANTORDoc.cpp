#include "document/VANTORDoc.h"

#include <algorithm>
#include <new>
#include <unordered_set>
#include <variant>

#include "document/Extraction.h"
#include "document/GameChoice.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

namespace {

// Drops everything: the document's link until a front end gives its own.
class CNullLink : public CFrameLink {
public:
    void Progress(const std::string&, int) override {}
    void Tell(const CNotice&) override {}
    CAnswer Ask(const CQuestion&) override { return {}; }
    void Publish(EPane, CTablePtr, EShow) override {}
};

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// Why the load order names no active plugin.
CNoActivePluginsNotice NoActivePlugins(const loadorder::CLoadOrder& order) {
    using E = CNoActivePluginsNotice::EWhy;
    const loadorder::CWhere where = order.Where();
    const auto* game = std::get_if<loadorder::CMorrowindWhere>(&where);
    if (!game) return {E::OpenMWNamesNone, {}};
    if (game->m_installDir.empty()) return {E::NoGameFolder, {}};
    const auto ini = platform::ResolvePath(game->m_iniPath);
    return {ini && platform::FileExists(*ini) ? E::IniNamesNone : E::IniMissing, game->m_iniPath};
}

}  // namespace

const std::vector<std::string>& PluginsOf(const CRequest& request) {
    static const std::vector<std::string> kNone;
    return std::visit(
        [](const auto& r) -> const std::vector<std::string>& {
            if constexpr (std::is_base_of_v<CWithPlugins, std::decay_t<decltype(r)>>)
                return r.m_plugins;
            else
                return kNone;
        },
        request);
}

COutcome Refusal(const CRequest& request, EReason reason) {
    COutcome outcome;
    outcome.m_request = request;
    outcome.m_result = EResult::Refused;
    outcome.m_reason = reason;
    return outcome;
}

// ------------------------------------------------------------- context --

COperationContext::COperationContext(CVANTORDoc& doc, CFrameLink& link, CStopToken stop, std::uint64_t generation,
                                     std::shared_ptr<const loadorder::CLoadOrder> loadOrder)
    : m_doc(doc), m_link(link), m_stop(std::move(stop)), m_generation(generation) {
    if (loadOrder)
        m_ages = std::make_unique<CLoadOrderAges>(*loadOrder);
    else
        m_ages = std::make_unique<CLastWriteAges>();
}

void COperationContext::Progress(const std::string& text, int total) const {
    if (!Stopped()) m_link.Progress(text, total);
}

void COperationContext::Publish(EPane pane, CResultTable table, EShow show, COutcome* outcome) const {
    if (outcome && pane != EPane::All) outcome->m_paneRows[std::size_t(pane) - 1] = table.m_rows.size();
    m_doc.Publish(pane, std::move(table), m_generation, show);
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
    m_files = {};
    m_tables = {};
    m_options.Save(m_config.m_settingsPath);
}

CDocState CVANTORDoc::State() const {
    std::lock_guard lock(m_stateMutex);
    return {m_checkMode, m_options, m_files, m_mastersLoaded, m_dataDir, m_loadOrder};
}

ECheckMode CVANTORDoc::CheckMode() const {
    std::lock_guard lock(m_stateMutex);
    return m_checkMode;
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
    m_mastersLoaded = false;
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
    return m_mastersLoaded;
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

bool CVANTORDoc::MastersToRead() const {
    std::lock_guard lock(m_stateMutex);
    return m_options.m_loadEsms && !m_mastersLoaded;
}

// -------------------------------------------------------------- requests --

COutcome CVANTORDoc::Run(const CRequest& request, const CStopToken& stop) {
    CPrepared prepared = Prepare(request);
    if (!prepared) return prepared.m_refusal;
    return Execute(std::move(prepared.m_operation), stop);
}

std::optional<bool> CVANTORDoc::CheckReadsFirst() const {
    // Loaded plugins are checked against the masters: with those to be read
    // (after Clear Esm Data, say) they are read first.
    const bool loaded = MastersToRead();
    std::lock_guard lock(m_stateMutex);
    const bool pending = m_files.Has(EFileRole::Pending);
    if (m_checkMode == ECheckMode::SingleVersus) {
        if (pending) return true;
        if (m_files.Has(EFileRole::MasterPlugin)) return loaded;
        if (m_files.Has(EFileRole::PendingMaster)) return true;
        return std::nullopt;
    }
    if (pending) return true;
    if (!m_files.Loaded().empty()) return loaded;
    return std::nullopt;
}

std::optional<EReason> CVANTORDoc::Refuse(const CRequest& request, bool& readFirst) {
    const bool noMasterPlugin = CheckMode() == ECheckMode::SingleVersus && !Files().Has(EFileRole::PendingMaster) &&
                                !Files().Has(EFileRole::MasterPlugin);
    // A check or a clean needs a plugin chosen or read.
    auto needsPlugins = [&](EActivity activity) -> std::optional<EReason> {
        const std::optional<bool> read = CheckReadsFirst();
        if (!read) {
            m_link->Tell(CNothingChosenNotice{activity});
            return EReason::NothingChosen;
        }
        readFirst = *read;
        return std::nullopt;
    };
    const bool readAll = HasPending() || MastersToRead();
    return std::visit(
        [&](const auto& r) -> std::optional<EReason> {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, CReadRequest>) {
                if (!HasPending() && MastersLoaded()) return EReason::NothingToDo;
                readFirst = true;
            } else if constexpr (std::is_same_v<T, CCheckRequest> || std::is_same_v<T, CRecordConflictsRequest>) {
                if (noMasterPlugin) {
                    m_link->Tell(CNoMasterPluginNotice{});
                    return EReason::NoMasterPlugin;
                }
                return needsPlugins(EActivity::Checking);
            } else if constexpr (std::is_same_v<T, CMergedPatchRequest>) {
                return needsPlugins(EActivity::MergingRecords);
            } else if constexpr (std::is_same_v<T, CAutoCleanRequest> || std::is_same_v<T, CCleanCellsRequest>) {
                if (noMasterPlugin) return EReason::NothingToDo;
                return needsPlugins(std::is_same_v<T, CAutoCleanRequest> ? EActivity::Cleaning : EActivity::CleaningCells);
            } else if constexpr (std::is_same_v<T, CListRequest>) {
                // The masters' listing reads the masters alone.
                readFirst = r.m_masters && r.m_file.empty() ? MastersToRead() : readAll;
            } else if constexpr (std::is_same_v<T, CGlobalChangesRequest> || std::is_same_v<T, CFindRequest>) {
                readFirst = readAll;
            }
            return std::nullopt;
        },
        request);
}

CVANTORDoc::CPrepared CVANTORDoc::Prepare(const CRequest& request) {
    CPrepared prepared;
    prepared.m_refusal = Refusal(request, EReason::Busy);
    if (IsBusy()) return prepared;
    if (!PluginsOf(request).empty()) ChoosePlugins(PluginsOf(request));
    bool readFirst = false;
    if (const std::optional<EReason> reason = Refuse(request, readFirst)) {
        prepared.m_refusal = Refusal(request, *reason);
        return prepared;
    }
    // Claimed here, on the thread that changes the files, so that no
    // command changes them between now and the operation's end.
    std::unique_ptr<COperation> operation = MakeOperation(request, State(), readFirst);
    if (Claim(*operation)) prepared.m_operation = std::move(operation);
    return prepared;
}

bool CVANTORDoc::Claim(COperation& operation) {
    if (operation.m_claim.use_count() > 0) return true;  // holds no pointer, only its deleter
    std::int32_t idle = 0;
    if (!m_busy.compare_exchange_strong(idle, 1)) return false;
    operation.m_claim = std::shared_ptr<void>(nullptr, [this](void*) { m_busy = 0; });
    return true;
}

COutcome CVANTORDoc::Execute(std::unique_ptr<COperation> operation, const CStopToken& stop) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_stateMutex);
        generation = m_generation;
    }
    COperationContext context(*this, *m_link, stop, generation, operation->State().m_loadOrder);
    COutcome outcome;
    outcome.m_request = operation->Request();
    bool reading = operation->ReadsFirst();
    try {
        if (reading) {
            CDocState& state = operation->State();
            outcome.m_extraction = ExtractFiles(state, context, outcome.m_unread);
            // Nothing else changes the list while an operation runs: every
            // command that would waits for it or does nothing; after a New
            // Check what this one read is not the document's.
            std::lock_guard lock(m_stateMutex);
            if (generation == m_generation) {
                m_files = state.m_files;
                m_mastersLoaded = state.m_mastersLoaded;
            }
            reading = false;
        }
        // A stop during the reading ends the operation with it.
        if (!stop.Stopped()) operation->Run(context, outcome);
    } catch (const std::bad_alloc&) {
        // What the operation had made is gone with it; the document keeps
        // its files and lists as they were, and the user is told.
        const EActivity activity = reading ? EActivity::Reading : operation->Activity();
        operation.reset();
        COutcome failed;
        failed.m_request = std::move(outcome.m_request);
        failed.m_extraction = outcome.m_extraction;
        failed.m_unread = std::move(outcome.m_unread);
        failed.m_result = EResult::Failed;
        failed.m_reason = EReason::OutOfMemory;
        failed.m_activity = activity;
        outcome = std::move(failed);
        m_link->Progress({}, 0);
        m_link->Tell(COutOfMemoryNotice{activity});
    }
    if (stop.Stopped() && outcome.m_result != EResult::Failed) outcome.m_result = EResult::Stopped;
    // The operation's references to files go before the document is idle.
    operation.reset();
    return outcome;
}

// ------------------------------------------------------ files and roles --

bool CVANTORDoc::ChoosePlugins(const std::vector<std::string>& paths) {
    if (IsBusy()) return false;
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
    return true;
}

bool CVANTORDoc::ChooseActivePlugins() {
    if (IsBusy()) return false;
    const std::shared_ptr<const loadorder::CLoadOrder> order = LoadOrder();
    const std::vector<loadorder::CGameFile> active = order->ActivePlugins();
    if (active.empty()) {
        m_link->Tell(NoActivePlugins(*order));
        return false;
    }
    std::lock_guard lock(m_stateMutex);
    // Each from the folder it was found in: OpenMW's lie in many. The chosen
    // names are looked up in a set: a load order may name hundreds of
    // thousands.
    std::unordered_set<std::string> chosen = m_files.ChosenNames();
    for (const loadorder::CGameFile& plugin : active) {
        if (!chosen.insert(plugin.m_name).second) continue;
        m_files.Append({plugin.m_name, plugin.m_folder, EFileRole::Pending, nullptr});
    }
    return true;
}

bool CVANTORDoc::ChooseMasterPlugin(const std::string& path) {
    if (IsBusy() || CheckMode() != ECheckMode::SingleVersus) return false;
    const std::string name = platform::FileNameOf(path);
    if (Contains(PendingNames(), name) || Contains(LoadedNames(), name)) {
        m_link->Tell(CMasterIsPluginNotice{name});
        return false;
    }
    std::lock_guard lock(m_stateMutex);
    m_files.RemoveRole(EFileRole::MasterPlugin);
    m_files.RemoveRole(EFileRole::PendingMaster);
    m_files.Append({name, platform::WithSeparator(platform::FolderOf(path)), EFileRole::PendingMaster, nullptr});
    return true;
}

CVANTORDoc::ERemoved CVANTORDoc::RemoveFile(const std::string& name) {
    // Files a running operation reads are never freed under it.
    if (IsBusy()) return ERemoved::Nothing;
    std::lock_guard lock(m_stateMutex);
    if (m_files.Remove(EFileRole::PendingMaster, name) || m_files.Remove(EFileRole::MasterPlugin, name))
        return ERemoved::MasterPlugin;
    if (m_files.Remove(EFileRole::Pending, name) || m_files.Remove(EFileRole::Plugin, name)) return ERemoved::Plugin;
    return ERemoved::Nothing;
}

bool CVANTORDoc::SetCheckMode(ECheckMode mode) {
    if (IsBusy()) return false;
    std::lock_guard lock(m_stateMutex);
    m_checkMode = mode;
    return true;
}

void CVANTORDoc::NewCheck() {
    {
        std::scoped_lock lock(m_stateMutex, m_tablesMutex);
        ++m_generation;
        for (EFileRole role : {EFileRole::Pending, EFileRole::PendingMaster, EFileRole::Plugin, EFileRole::MasterPlugin})
            m_files.RemoveRole(role);
        UseNextLoadOrder();
    }
    ForgetResults();
}

void CVANTORDoc::ClearMasters() {
    {
        std::scoped_lock lock(m_stateMutex, m_tablesMutex);
        ++m_generation;
        m_files.RemoveRole(EFileRole::FoundMaster);
        m_mastersLoaded = false;
    }
    ForgetResults();
}

bool CVANTORDoc::FindMasters() {
    std::lock_guard lock(m_stateMutex);
    return vantor::FindMasters(m_files, *m_loadOrder);
}

CViewFileSeed CVANTORDoc::ViewFileSeed() {
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

CEntryRef CVANTORDoc::FindEntryRef(const std::string& fileName, const std::string& tag, const std::string& id) const {
    CEntryRef ref;
    ref.m_file = FindLoadedFile(fileName, false);
    const int table = CPluginFile::TagIndex(tag);
    ref.m_table = std::uint8_t(table < 0 ? CPluginFile::kTableCount : table);
    if (ref.m_file) ref.m_entry = FindEntry(fileName, id, tag, false);
    return ref;
}

// ---------------------------------------------------------------- tables --

void CVANTORDoc::Publish(EPane pane, CResultTable table, std::uint64_t generation, EShow show) {
    if (pane == EPane::All) return;
    auto shared = std::make_shared<CResultTable>(std::move(table));
    // Handed on under the lock, so that a New Check's empty lists never come
    // before an older operation's rows.
    std::lock_guard lock(m_tablesMutex);
    if (generation != m_generation) return;
    m_tables[std::size_t(pane) - 1] = shared;
    m_link->Publish(pane, std::move(shared), show);
}

std::shared_ptr<const CResultTable> CVANTORDoc::ResultTable(EPane pane) const {
    static const auto kNoTable = std::make_shared<const CResultTable>();
    if (pane == EPane::All) return kNoTable;
    std::lock_guard lock(m_tablesMutex);
    return m_tables[std::size_t(pane) - 1];
}

void CVANTORDoc::ForgetResults() {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_stateMutex);
        generation = m_generation;
    }
    for (EPane pane : {EPane::Conflict, EPane::Warning, EPane::Editor})
        Publish(pane, PaneTableHeader(pane), generation, EShow::Keep);
}

}  // namespace vantor
