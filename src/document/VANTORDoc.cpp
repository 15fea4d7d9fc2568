#include "document/VANTORDoc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>

#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/InstallDir.h"
#include "platform/Profile.h"

namespace vantor {

namespace {

// Answers every question with its default and shows nothing: used until a
// front end attaches its own link.
class CNullLink : public CFrameLink {
public:
    void Progress(const std::string&, int) override {}
    void HidePane(EPane) override {}
    void ShowPane(EPane) override {}
    void SetPaneRows(EPane, const CResultTable&) override {}
    EAnswer Ask(const CMessage& m) override { return m.m_default; }
    CFileChoice ChooseFile(const CFileChooser&) override { return {}; }
    void CloseEntryEditors(const std::string&) override {}
};

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == Lower(suffix);
}

std::string Percent(const char* prefix, int step, int total) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s%d%% complete", prefix, total ? step * 100 / total : 0);
    return buf;
}

// The data folder's "*.esm" files in one fixed order on every platform:
// names compared without regard to case, as the game's platform lists them.
std::vector<std::string> ListMasters(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && EndsWithNoCase(name, ".esm") && platform::FileExists(folder + name)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        auto la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

// A folder, FIFO, device or socket by the name of a file to read is refused
// by name; a file that is missing is no news.
void TellIfNotAFile(CFrameLink& link, const std::string& path) {
    const platform::CPathProbe probe = platform::ProbePath(platform::ResolvePath(path).value_or(path));
    if (probe.m_known && probe.Exists() && probe.m_kind != platform::EFileKind::Regular)
        link.Tell(path + "\nNot a regular file but " + platform::KindWords(probe.m_kind) + ": it is neither read nor written.",
                  "VANTOR", EIcon::Exclamation);
}

}  // namespace

CVANTORDoc::CVANTORDoc(CDocConfig config, CFrameLink* link) : m_config(std::move(config)), m_link(link) {
    m_tables = {ConflictTableHeader(), WarningTableHeader(), EditorTableHeader()};
    m_nullLink = std::make_unique<CNullLink>();
    if (!m_link) m_link = m_nullLink.get();
    const platform::CInstallDirs dirs =
        m_config.m_installDir ? platform::DirsFromInstallPath(*m_config.m_installDir) : platform::FindInstallDirs();
    m_installDir = dirs.m_installDir;
    m_dataDir = m_config.m_dataDir ? platform::WithSeparator(*m_config.m_dataDir) : dirs.m_dataDir;
    m_options.Load(m_config.m_settingsPath);
    TellIfNotAFile(*m_link, m_config.m_settingsPath);
}

CVANTORDoc::~CVANTORDoc() {
    StopOperation();
    if (m_worker.joinable()) m_worker.join();
    m_loadedFiles.clear();
    m_masterFiles.clear();
    m_options.Save(m_config.m_settingsPath);
}

void CVANTORDoc::SetOperationHandler(std::int32_t code, COperationHandler handler) {
    if (code >= 0 && code < std::int32_t(m_handlers.size())) m_handlers[std::size_t(code)] = std::move(handler);
}

// ---------------------------------------------------------------- worker --

bool CVANTORDoc::StartOperation(std::int32_t code) {
    // The busy flag is set here, before the thread exists, so a second
    // command can never start a second worker.
    std::int32_t idle = 0;
    if (!m_busy.compare_exchange_strong(idle, 1)) return false;
    if (m_worker.joinable()) m_worker.join();
    m_operation = code;
    {
        std::lock_guard lock(m_workerMutex);
        m_workerRunning = true;
    }
    m_worker = std::thread([this] { RunOperation(this); });
    return true;
}

int CVANTORDoc::RunOperation(CVANTORDoc* doc) {
    doc->m_busy = 1;
    doc->m_link->HidePane(EPane::All);
    const std::int32_t code = doc->m_operation;
    if (code < 0 || code > kRelink) {
        doc->m_link->Ask({"Operation Does Not Exist", "Warning", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
    } else {
        const bool extractFirst = code == kExtract || (code % 2 == 0 && code <= kExtractEditorSetUp);
        if (extractFirst) doc->ExtractData();
        // Each odd/even pair shares one handler, registered under the odd code.
        std::int32_t handlerCode = (code == kExtract || code == kRelink) ? code : (code % 2 == 0 ? code - 1 : code);
        if (code != kExtract && doc->m_handlers[std::size_t(handlerCode)]) doc->m_handlers[std::size_t(handlerCode)](*doc);
        // A check command's mask applies to its own check only, also after a stop.
        if (handlerCode == kCheck) doc->m_checkMask = 0;
    }
    {
        std::lock_guard lock(doc->m_workerMutex);
        doc->m_workerRunning = false;
        doc->m_busy = 0;
    }
    doc->m_workerDone.notify_all();
    return 0;
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
    if (m_worker.joinable()) m_worker.join();
}

void CVANTORDoc::StopOperation() {
    m_stop = 1;
    WaitForWorker();
}

void CVANTORDoc::Progress(const std::string& text, int total) {
    if (!Stopped()) m_link->Progress(text, total);
}

void CVANTORDoc::CloseEntryEditors() { m_link->CloseEntryEditors({}); }

std::optional<std::int32_t> CVANTORDoc::CheckCode(std::int32_t withExtraction, std::int32_t without) const {
    if (m_checkMode == ECheckMode::SingleVersus) {
        if (!m_pendingNames.empty()) return withExtraction;
        if (!m_loadedMasterName.empty()) return without;
        if (!m_pendingMasterName.empty()) return withExtraction;
        return std::nullopt;
    }
    if (!m_pendingNames.empty()) return withExtraction;
    if (!m_loadedNames.empty()) return without;
    return std::nullopt;
}

void CVANTORDoc::BeginCheck() {
    if (IsBusy()) {
        m_checkMask = 0;
        return;
    }
    if (m_checkMode == ECheckMode::SingleVersus && m_pendingMasterName.empty() && m_loadedMasterName.empty()) {
        m_checkMask = 0;
        m_link->Ask({"Select a Master Plugin for Single Versus Mode", "Cannot Continue", EButtons::Ok, EIcon::Information,
                     EAnswer::Ok});
        return;
    }
    auto code = CheckCode(kExtractCheck, kCheck);
    if (!code) {
        m_checkMask = 0;
        return;
    }
    CloseEntryEditors();
    if (!StartOperation(*code)) m_checkMask = 0;
}

// -------------------------------------------------------------- commands --

void CVANTORDoc::OnExtractData() {
    if (IsBusy()) return;
    if (m_pendingNames.empty() && m_pendingMasterName.empty() && m_mastersLoaded) return;
    CloseEntryEditors();
    StartOperation(kExtract);
}

void CVANTORDoc::OnAutoDeleteUnclean() {
    if (IsBusy()) return;
    if (m_checkMode == ECheckMode::SingleVersus && m_pendingMasterName.empty() && m_loadedMasterName.empty()) return;
    CloseEntryEditors();
    if (auto code = CheckCode(kExtractClean, kClean)) StartOperation(*code);
}

void CVANTORDoc::OnRelinkDialog() {
    m_relinkMode = 0;
    if (!IsBusy()) StartOperation(kRelink);
}

void CVANTORDoc::OnAutoRelinkDialog() {
    m_relinkMode = 1;
    if (!IsBusy()) StartOperation(kRelink);
}

void CVANTORDoc::OnViewAllEspData() {
    if (IsBusy()) return;
    CloseEntryEditors();
    m_viewMasters = 0;
    m_viewFile.clear();
    StartOperation(HasPending() ? kExtractEditorSetUp : kEditorSetUp);
}

void CVANTORDoc::OnViewAllEsmData() {
    if (IsBusy()) return;
    CloseEntryEditors();
    m_viewMasters = 1;
    m_viewFile.clear();
    StartOperation((m_mastersLoaded || !m_options.m_loadEsms) ? kEditorSetUp : kExtractEditorSetUp);
}

void CVANTORDoc::OnViewAllGlobalChanges() {
    if (IsBusy()) return;
    CloseEntryEditors();
    m_globalChangesFile.clear();
    StartOperation(HasPending() ? kExtractGlobalChanges : kGlobalChanges);
}

std::optional<CViewFileSeed> CVANTORDoc::ViewFileDataSeed() {
    if (IsBusy()) return std::nullopt;
    CViewFileSeed seed;
    seed.m_plugins = m_pendingNames;
    seed.m_plugins.insert(seed.m_plugins.end(), m_loadedNames.begin(), m_loadedNames.end());
    if (m_checkMode == ECheckMode::SingleVersus) {
        if (!m_pendingMasterName.empty())
            seed.m_plugins.push_back(m_pendingMasterName);
        else if (!m_loadedMasterName.empty())
            seed.m_plugins.push_back(m_loadedMasterName);
    }
    FindMasters();
    seed.m_masters = m_foundMasterNames;
    return seed;
}

void CVANTORDoc::OnViewFileData(const CViewFileChoice& choice) {
    if (IsBusy()) return;
    CloseEntryEditors();
    m_viewMasters = choice.m_esmFile ? 1 : 0;
    if (choice.m_globalChanges) {
        m_globalChangesFile = choice.m_fileName;
        StartOperation(HasPending() ? kExtractGlobalChanges : kGlobalChanges);
    } else {
        m_viewFile = choice.m_fileName;
        StartOperation((!HasPending() && (m_mastersLoaded || !m_options.m_loadEsms)) ? kEditorSetUp : kExtractEditorSetUp);
    }
}

void CVANTORDoc::OnFindObject(const CFindParams& params) {
    if (IsBusy()) return;
    m_find = params;
    CloseEntryEditors();
    StartOperation(HasPending() ? kExtractFind : kFind);
}

bool CVANTORDoc::IsChosen(const std::string& name) const {
    return Contains(m_pendingNames, name) || Contains(m_loadedNames, name) || name == m_pendingMasterName ||
           name == m_loadedMasterName;
}

void CVANTORDoc::RefillPluginRoot() {
    m_tree.m_pluginItems = m_pendingNames;
    for (std::size_t i = 0; i < m_loadedNames.size(); ++i) {
        // The loaded master is shown under its own root.
        if (!m_loadedMasterName.empty() && i + 1 == m_loadedNames.size() && m_loadedNames[i] == m_loadedMasterName) break;
        m_tree.m_pluginItems.push_back(m_loadedNames[i]);
    }
    m_link->UpdateViews();
}

void CVANTORDoc::AddChosenPlugins(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        const std::string name = platform::FileNameOf(path);
        const std::string folder = platform::WithSeparator(platform::FolderOf(path));
        auto found = std::find(m_foundMasterNames.begin(), m_foundMasterNames.end(), name);
        if (found != m_foundMasterNames.end()) {
            auto index = found - m_foundMasterNames.begin();
            m_foundMasterNames.erase(found);
            m_foundMasterFolders.erase(m_foundMasterFolders.begin() + index);
            if (m_mastersLoaded) {
                auto file = std::find_if(m_masterFiles.begin(), m_masterFiles.end(),
                                         [&](const auto& f) { return f->FileName() == name; });
                if (file != m_masterFiles.end()) m_masterFiles.erase(file);
            }
        }
        if (IsChosen(name)) continue;
        m_pendingNames.push_back(name);
        m_pendingFolders.push_back(folder);
    }
}

void CVANTORDoc::OnChoosePlugins() {
    if (IsBusy()) return;
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenMany;
    chooser.m_title = "Select Files";
    chooser.m_filters = {{"Plugin Files (*.esp)", "*.esp"}, {"Master Files (*.esm)", "*.esm"}, {"All Files (*.*)", "*.*"}};
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
    // With no install folder this is the root's "/Morrowind.ini", as the
    // game's own platform would look on the current drive.
    const std::string ini = m_installDir + "/Morrowind.ini";
    for (const auto& value : platform::ReadNumberedKeys(ini, "Game Files", "GameFile")) {
        if (value.size() < 3 || Lower(value.substr(value.size() - 3)) != "esp") continue;
        if (IsChosen(value)) continue;
        m_pendingNames.push_back(value);
        m_pendingFolders.push_back(m_dataDir);
    }
    RefillPluginRoot();
}

void CVANTORDoc::DropLoadedMaster() {
    if (m_loadedMasterName.empty()) return;
    if (!m_loadedNames.empty() && m_loadedNames.back() == m_loadedMasterName) {
        m_loadedNames.pop_back();
        m_loadedFolders.pop_back();
        m_loadedFiles.pop_back();
    }
    m_loadedMasterName.clear();
    m_loadedMasterFolder.clear();
}

void CVANTORDoc::OnChooseMasterPlugin() {
    if (IsBusy() || m_checkMode != ECheckMode::SingleVersus) return;
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::OpenOne;
    chooser.m_title = "Select Master Plugin to Check Against";
    chooser.m_filters = {{"Plugin Files (*.esp)", "*.esp"}, {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = m_dataDir;
    chooser.m_defaultExtension = "esp";
    chooser.m_mustExist = true;
    CFileChoice choice = m_link->ChooseFile(chooser);
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    m_tree.m_hasMasterRoot = true;
    m_tree.m_masterItems.clear();
    const std::string name = platform::FileNameOf(choice.m_paths.front());
    if (Contains(m_pendingNames, name) || Contains(m_loadedNames, name)) {
        m_link->Ask({"Please Remove Chosen File from Plugin List Before Selecting it as a Master.",
                     "Cannot Complete Request", EButtons::Ok, EIcon::None, EAnswer::Ok});
        m_link->UpdateViews();
        return;
    }
    DropLoadedMaster();
    m_pendingMasterName = name;
    m_pendingMasterFolder = platform::WithSeparator(platform::FolderOf(choice.m_paths.front()));
    m_tree.m_masterItems = {name};
    m_link->UpdateViews();
}

void CVANTORDoc::OnNewCheck() {
    StopOperation();
    m_link->Progress({}, 0);
    m_stop = 0;
    m_link->HidePane(EPane::All);
    m_pendingNames.clear();
    m_pendingFolders.clear();
    m_loadedNames.clear();
    m_loadedFolders.clear();
    m_loadedFiles.clear();
    m_pendingMasterName.clear();
    m_pendingMasterFolder.clear();
    m_loadedMasterName.clear();
    m_loadedMasterFolder.clear();
    ClearResultTables();
    m_tree.m_pluginItems.clear();
    m_tree.m_masterItems.clear();
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
    if (!m_pendingMasterName.empty() && text == m_pendingMasterName) {
        m_pendingMasterName.clear();
        m_pendingMasterFolder.clear();
        eraseItem(m_tree.m_masterItems);
    } else if (!m_loadedMasterName.empty() && text == m_loadedMasterName) {
        DropLoadedMaster();
        eraseItem(m_tree.m_masterItems);
    } else if (auto it = std::find(m_pendingNames.begin(), m_pendingNames.end(), text); it != m_pendingNames.end()) {
        auto index = it - m_pendingNames.begin();
        m_pendingNames.erase(it);
        m_pendingFolders.erase(m_pendingFolders.begin() + index);
        eraseItem(m_tree.m_pluginItems);
    } else if (auto lt = std::find(m_loadedNames.begin(), m_loadedNames.end(), text); lt != m_loadedNames.end()) {
        auto index = lt - m_loadedNames.begin();
        m_loadedNames.erase(lt);
        m_loadedFolders.erase(m_loadedFolders.begin() + index);
        m_loadedFiles.erase(m_loadedFiles.begin() + index);
        eraseItem(m_tree.m_pluginItems);
    } else {
        return;
    }
    m_link->UpdateViews();
}

void CVANTORDoc::OnClearEsmData() {
    // Masters a running operation reads are not freed under it: stop it.
    if (IsBusy()) {
        StopOperation();
        m_stop = 0;
    }
    m_masterFiles.clear();
    m_foundMasterNames.clear();
    m_foundMasterFolders.clear();
    m_mastersLoaded = 0;
    m_link->HidePane(EPane::All);
    ClearResultTables();
}

void CVANTORDoc::OnSaveResults() {
    if (IsBusy()) return;
    SaveResults(*m_link, m_dataDir, FilesInUse(*this), ResultTableCopy(EPane::Conflict),
                ResultTableCopy(EPane::Warning), ResultTableCopy(EPane::Editor));
}

// ------------------------------------------------------------ extraction --

bool CVANTORDoc::FindMasters() {
    if (!m_foundMasterNames.empty()) return true;
    m_foundMasterFolders.clear();
    auto names = ListMasters(m_dataDir);
    if (names.empty()) return false;
    for (const auto& name : names) {
        // A file the user chose (as plugin or as master plugin) is read as
        // such, never a second time as a found master.
        if (IsChosen(name)) continue;
        m_foundMasterNames.insert(m_foundMasterNames.begin(), name);
        m_foundMasterFolders.insert(m_foundMasterFolders.begin(), m_dataDir);
    }
    return !m_foundMasterNames.empty();
}

void CVANTORDoc::ExtractData() {
    const CExtractOpts opts = m_options.m_extractOpts;
    std::string text;
    auto readOne = [&](const std::string& name, const std::string& folder) -> std::unique_ptr<CPluginFile> {
        auto file = std::make_unique<CPluginFile>();
        if (!file->Open(name, folder)) {
            TellIfNotAFile(*m_link, folder + name);
            return nullptr;
        }
        if (!file->ReadRecords(m_stop, opts)) {
            if (file->Diagnostic().m_kind == CReadDiagnostic::EKind::Exception)
                m_link->Ask({file->Diagnostic().m_message, "VANTOR", EButtons::Ok, EIcon::Stop, EAnswer::Ok});
            return nullptr;
        }
        file->Close();
        return file;
    };
    try {
        if (m_options.m_loadEsms && !m_mastersLoaded && FindMasters()) {
            const int total = int(m_foundMasterNames.size());
            int step = 0;
            text = Percent("Extracting Master Esm Data ", 0, total);
            Progress(text, total);
            for (std::size_t i = 0; i < m_foundMasterNames.size() && i < m_foundMasterFolders.size(); ++i) {
                if (auto file = readOne(m_foundMasterNames[i], m_foundMasterFolders[i]))
                    m_masterFiles.insert(m_masterFiles.begin(), std::move(file));
                text = Percent("Extracting Master Esm Data ", ++step, total);
                Progress(text, total);
                if (Stopped()) break;
            }
            m_mastersLoaded = 1;
            Progress(text, 0);
        }

        int total = int(m_pendingNames.size());
        int step = 0;
        if (m_checkMode == ECheckMode::SingleVersus && !m_pendingMasterName.empty() && m_loadedMasterName.empty()) {
            ++total;
            text = Percent("Extracting Plugin Data ", 0, total);
            Progress(text, total);
            if (auto file = readOne(m_pendingMasterName, m_pendingMasterFolder)) {
                m_loadedNames.push_back(m_pendingMasterName);
                m_loadedFolders.push_back(m_pendingMasterFolder);
                m_loadedFiles.push_back(std::move(file));
                m_loadedMasterName = m_pendingMasterName;
                m_loadedMasterFolder = m_pendingMasterFolder;
            }
            step = 1;
            text = Percent("Extracting Plugin Data ", step, total);
            Progress(text, total);
            m_pendingMasterName.clear();
            m_pendingMasterFolder.clear();
        } else {
            text = Percent("Extracting Plugin Data ", 0, total);
            Progress(text, total);
        }

        if (!m_pendingNames.empty()) {
            for (std::size_t i = 0; i < m_pendingNames.size() && i < m_pendingFolders.size(); ++i) {
                if (auto file = readOne(m_pendingNames[i], m_pendingFolders[i])) {
                    m_loadedNames.insert(m_loadedNames.begin(), m_pendingNames[i]);
                    m_loadedFolders.insert(m_loadedFolders.begin(), m_pendingFolders[i]);
                    m_loadedFiles.insert(m_loadedFiles.begin(), std::move(file));
                }
                text = Percent("Extracting Plugin Data ", ++step, total);
                Progress(text, total);
                if (Stopped()) break;
            }
            m_pendingNames.clear();
            m_pendingFolders.clear();
            Progress(text, 0);
        }
    } catch (const std::exception&) {
        m_link->Ask({"File Error", "Error", EButtons::Ok, EIcon::None, EAnswer::Ok});
        // Unlike the original, the progress display does not outlive the failure.
        m_link->Progress(text, 0);
    }
}

// --------------------------------------------------------------- lookups --

CPluginFile* CVANTORDoc::FindLoadedFile(const std::string& fileName, bool masters) {
    const auto& files = masters ? m_masterFiles : m_loadedFiles;
    for (const auto& f : files)
        if (f->FileName() == fileName) return f.get();
    return nullptr;
}

CEntry* CVANTORDoc::FindEntry(const std::string& fileName, const std::string& id, const std::string& tag, bool masters) {
    const auto& files = masters ? m_masterFiles : m_loadedFiles;
    const std::string_view wanted = UpToNul(id);
    for (const auto& f : files) {
        if (f->FileName() != fileName) continue;
        const CEntryTable* table = f->GetTable(tag);
        if (!table) return nullptr;
        for (const auto& e : *table)
            if (e->IdText() == wanted) return e.get();
    }
    return nullptr;
}

std::vector<CPluginFile*> CVANTORDoc::EnginePlugins() const {
    std::vector<CPluginFile*> out;
    for (auto it = m_loadedFiles.rbegin(); it != m_loadedFiles.rend(); ++it) out.push_back(it->get());
    return out;
}

std::vector<CPluginFile*> CVANTORDoc::EngineMasters() const {
    std::vector<CPluginFile*> out;
    for (auto it = m_masterFiles.rbegin(); it != m_masterFiles.rend(); ++it) out.push_back(it->get());
    return out;
}

// ---------------------------------------------------------------- tables --

void CVANTORDoc::SetResultTable(EPane pane, CResultTable table) {
    if (pane == EPane::All) return;
    {
        std::lock_guard lock(m_tablesMutex);
        m_tables[std::size_t(pane) - 1] = table;
    }
    m_link->SetPaneRows(pane, table);
}

void CVANTORDoc::StoreResultTable(EPane pane, CResultTable table) {
    if (pane == EPane::All) return;
    std::lock_guard lock(m_tablesMutex);
    m_tables[std::size_t(pane) - 1] = std::move(table);
}

void CVANTORDoc::SortResultTable(EPane pane, std::size_t column, bool descending) {
    if (pane == EPane::All) return;
    std::lock_guard lock(m_tablesMutex);
    m_tables[std::size_t(pane) - 1].SortByColumn(column, descending);
}

CResultTable CVANTORDoc::ResultTableCopy(EPane pane) const {
    if (pane == EPane::All) return {};
    std::lock_guard lock(m_tablesMutex);
    return m_tables[std::size_t(pane) - 1];
}

void CVANTORDoc::ClearResultTables() {
    for (EPane pane : {EPane::Conflict, EPane::Warning, EPane::Editor}) {
        CResultTable table = ResultTableCopy(pane);
        table.Clear();
        SetResultTable(pane, table);
    }
}

}  // namespace vantor
