// Every operation, made in one place from its request.
#include "document/operations/Operations.h"

#include "checks/CheckOperations.h"
#include "checks/EditorSetUp.h"
#include "checks/Search.h"
#include "document/Extraction.h"
#include "document/OutputPath.h"
#include "document/VANTORDoc.h"
#include "document/operations/MergedPatchOperation.h"
#include "document/operations/RecordConflictList.h"
#include "document/operations/RelinkDialog.h"
#include "platform/Files.h"

namespace vantor {

namespace {

// The engine names files by raw pointer; the tables keep them alive.
std::vector<CFileRef> FileRefs(const std::vector<const CPluginFile*>& files, const CFileList& list) {
    std::vector<CFileRef> refs;
    refs.reserve(files.size());
    for (const CPluginFile* file : files) {
        CFileRef ref;
        for (const CLoadedFile& item : list.Items())
            if (item.m_file.get() == file) ref = item.m_file;
        refs.push_back(std::move(ref));
    }
    return refs;
}

// The lists an operation refilled, each shown when it has rows; their row
// counts go into the outcome.
void Publish(COperationContext& context, const CFileList& list, CPaneFindings& findings, COutcome& outcome) {
    const std::vector<CFileRef> files = FileRefs(findings.m_files, list);
    auto publish = [&](EPane pane, std::optional<CFindings>& rows) {
        if (!rows) return;
        CResultTable table = PaneTableHeader(pane);
        table.m_files = files;
        table.m_rows = std::move(*rows);
        rows.reset();
        context.Publish(pane, std::move(table), EShow::ByRows, &outcome);
    };
    // Both check lists are refilled even when their check did not run.
    publish(EPane::Conflict, findings.m_conflict);
    if (findings.m_conflictsSent) outcome.m_paneRows[0] = outcome.m_paneRows[0].value_or(0) + findings.m_conflictsSent;
    publish(EPane::Warning, findings.m_warning);
    publish(EPane::Editor, findings.m_editor);
}

// Extract Data: the reading is all there is to it.
class CReadOperation : public COperation {
public:
    using COperation::COperation;
    void Run(COperationContext&, COutcome&) override {}
};

class CCheckOperation : public COperation {
public:
    CCheckOperation(CRequest request, CDocState state, bool readFirst, CCheckInputs inputs, bool globalChanges)
        : COperation(std::move(request), std::move(state),
                     globalChanges ? EActivity::ListingGlobalChanges : EActivity::Checking, readFirst),
          m_inputs(std::move(inputs)),
          m_globalChanges(globalChanges) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        m_inputs.loadedPlugins = State().m_files.PluginFiles();
        m_inputs.foundMasters = State().m_files.MasterFiles();
        m_inputs.stop = &context.Stop().Flag();
        m_inputs.link = &context.Link();
        m_inputs.ages = &context.Ages();
        CPaneFindings findings = m_globalChanges ? RunGlobalChangeListing(m_inputs) : RunCheckOperation(m_inputs);
        outcome.m_masterCoverage = std::move(findings.m_masters);
        Publish(context, State().m_files, findings, outcome);
    }

private:
    CCheckInputs m_inputs;
    bool m_globalChanges;
};

class CAutoCleanOperation : public COperation {
public:
    using COperation::COperation;
    void Run(COperationContext& context, COutcome& outcome) override {
        const COptionSet& options = State().m_options;
        RunAutoClean(context, State().m_files, options.m_conflictChecks, options.m_uncleanChecks, outcome);
    }
};

class CCellCleanOperation : public COperation {
public:
    CCellCleanOperation(CRequest request, CDocState state, bool readFirst, bool listOnly)
        : COperation(std::move(request), std::move(state), EActivity::CleaningCells, readFirst), m_listOnly(listOnly) {}
    void Run(COperationContext& context, COutcome& outcome) override {
        RunCellClean(context, State().m_files, m_listOnly, outcome);
    }

private:
    bool m_listOnly;
};

class CFindOperation : public COperation {
public:
    CFindOperation(CRequest request, CDocState state, bool readFirst, CFindParams params)
        : COperation(std::move(request), std::move(state), EActivity::Searching, readFirst), m_params(std::move(params)) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        CFindInputs inputs;
        inputs.loadedPlugins = State().m_files.PluginFiles();
        inputs.foundMasters = State().m_files.MasterFiles();
        inputs.params = m_params;
        inputs.stop = &context.Stop().Flag();
        inputs.link = &context.Link();
        inputs.ages = &context.Ages();
        CPaneFindings findings = RunFindOperation(inputs);
        if (!findings.m_stopped && findings.m_editor && findings.m_editor->empty())
            context.Link().Tell(CNothingFoundNotice{m_params.m_text});
        Publish(context, State().m_files, findings, outcome);
    }

private:
    CFindParams m_params;
};

class CListOperation : public COperation {
public:
    CListOperation(CRequest request, CDocState state, bool readFirst, bool masters, std::string file)
        : COperation(std::move(request), std::move(state), EActivity::Listing, readFirst),
          m_masters(masters),
          m_file(std::move(file)) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        CEditorSetUpInputs inputs;
        inputs.loadedPlugins = State().m_files.PluginFiles();
        inputs.foundMasters = State().m_files.MasterFiles();
        inputs.viewMasters = m_masters;
        inputs.viewFile = m_file;
        inputs.stop = &context.Stop().Flag();
        inputs.link = &context.Link();
        inputs.ages = &context.Ages();
        CPaneFindings findings = RunEditorSetUp(inputs);
        Publish(context, State().m_files, findings, outcome);
    }

private:
    bool m_masters;
    std::string m_file;
};

class CRelinkOperation : public COperation {
public:
    CRelinkOperation(CRequest request, CDocState state, CRelinkInputs inputs, bool remember)
        : COperation(std::move(request), std::move(state), EActivity::MergingDialogue, false),
          m_inputs(std::move(inputs)),
          m_remember(remember) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        m_inputs.m_stop = &context.Stop().Flag();
        m_inputs.m_link = &context.Link();
        m_inputs.m_ages = &context.Ages();
        m_inputs.m_prepareOutput = [this](const std::string& path, bool replaceAgreed, const std::vector<std::string>& reads) {
            std::vector<std::string> inUse = FilesInUse(State().m_files);
            inUse.insert(inUse.end(), reads.begin(), reads.end());
            return PrepareOutput(path, inUse, replaceAgreed ? EReplace::Agreed : EReplace::Ask, EOutput::RepairPlugin,
                                 *m_inputs.m_link);
        };
        const CRelinkResult result = RelinkDialog(m_inputs);
        if (m_remember && result.m_espFilename && result.m_espPath)
            context.RememberRepairPlugin(*result.m_espFilename, *result.m_espPath);
        using E = CDialogMerge::EOutcome;
        switch (result.m_outcome) {
            case E::Written: break;
            case E::Stopped: outcome.m_result = EResult::Stopped; break;
            case E::NotRun:
            case E::Declined:
                outcome.m_result = EResult::Refused;
                outcome.m_reason = result.m_noPlugins ? EReason::NoPluginsToRepair : EReason::Declined;
                break;
            case E::Refused:
                outcome.m_result = EResult::Refused;
                outcome.m_reason = result.m_noPlugins ? EReason::NoPluginsToRepair : EReason::OutputRefused;
                break;
            case E::OpenFailed:
                outcome.m_result = EResult::Failed;
                outcome.m_reason = EReason::OpenFailed;
                break;
            case E::WriteFailed:
                outcome.m_result = EResult::Failed;
                outcome.m_reason = EReason::WriteFailed;
                break;
        }
        outcome.m_relink = result;
    }

private:
    CRelinkInputs m_inputs;
    bool m_remember;
};

CRelinkInputs RelinkInputsOf(const CDocState& state, const CRelinkRequest& request) {
    CRelinkInputs in;
    in.m_automatic = request.m_automatic;
    in.m_espFilename = state.m_options.m_espFilename;
    in.m_espPath = state.m_options.m_espPath;
    if (!request.m_output.empty()) {
        in.m_espFilename = platform::FileNameOf(request.m_output);
        const std::string folder = platform::FolderOf(request.m_output);
        in.m_espPath = folder.empty() ? "./" : folder;
    }
    for (const CLoadedFile* f : state.m_files.Of(EFileRole::Pending)) {
        in.m_pendingNames.push_back(f->m_name);
        in.m_pendingFolders.push_back(f->m_folder);
    }
    for (const CLoadedFile* f : state.m_files.Loaded()) {
        in.m_loadedNames.push_back(f->m_name);
        in.m_loadedFolders.push_back(f->m_folder);
    }
    in.m_singleVersus = state.m_checkMode == ECheckMode::SingleVersus;
    if (const CLoadedFile* f = state.m_files.First(EFileRole::PendingMaster)) {
        in.m_pendingMasterName = f->m_name;
        in.m_pendingMasterFolder = f->m_folder;
    }
    if (const CLoadedFile* f = state.m_files.First(EFileRole::MasterPlugin)) {
        in.m_loadedMasterName = f->m_name;
        in.m_loadedMasterFolder = f->m_folder;
    }
    in.m_dataDir = state.m_dataDir;
    in.m_loadOrder = state.m_loadOrder;
    in.m_filesInUse = FilesInUse(state.m_files);
    // The master search runs on the request's copy of the file list.
    in.m_findMasters = [files = state.m_files, order = state.m_loadOrder](std::vector<std::string>& names,
                                                                         std::vector<std::string>& folders) mutable {
        FindMasters(files, *order);
        for (const CLoadedFile* f : files.Of(EFileRole::FoundMaster)) {
            names.push_back(f->m_name);
            folders.push_back(f->m_folder);
        }
    };
    return in;
}

}  // namespace

void RecordChanges(const CFileList& files, const CChangesByFile& changed, bool failed, COutcome& outcome) {
    for (const CLoadedFile* item : files.Loaded())
        if (auto it = changed.find(item->m_file.get()); it != changed.end())
            outcome.m_changed.push_back({item->m_name, it->second.size(), item->m_file->BackupPath(), it->second});
    if (failed) {
        outcome.m_result = EResult::Failed;
        outcome.m_reason = EReason::WriteFailed;
    }
}

std::unique_ptr<COperation> MakeOperation(const CRequest& request, CDocState state, bool readFirst) {
    return std::visit(
        [&](const auto& r) -> std::unique_ptr<COperation> {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, CReadRequest>) {
                return std::make_unique<CReadOperation>(request, std::move(state), EActivity::Reading, readFirst);
            } else if constexpr (std::is_same_v<T, CCheckRequest> || std::is_same_v<T, CGlobalChangesRequest>) {
                constexpr bool globalChanges = std::is_same_v<T, CGlobalChangesRequest>;
                CCheckInputs inputs;
                inputs.singleVersus = state.m_checkMode == ECheckMode::SingleVersus;
                inputs.conflictChecks = state.m_options.m_conflictChecks;
                inputs.uncleanChecks = state.m_options.m_uncleanChecks;
                if constexpr (globalChanges) {
                    inputs.globalChangesFile = r.m_file;
                } else {
                    inputs.checks = r.m_checks;
                    inputs.conflictSink = r.m_conflictSink;
                }
                return std::make_unique<CCheckOperation>(request, std::move(state), readFirst, std::move(inputs),
                                                         globalChanges);
            } else if constexpr (std::is_same_v<T, CAutoCleanRequest>) {
                return std::make_unique<CAutoCleanOperation>(request, std::move(state), EActivity::Cleaning, readFirst);
            } else if constexpr (std::is_same_v<T, CCleanCellsRequest>) {
                return std::make_unique<CCellCleanOperation>(request, std::move(state), readFirst, r.m_listOnly);
            } else if constexpr (std::is_same_v<T, CFindRequest>) {
                return std::make_unique<CFindOperation>(request, std::move(state), readFirst, r.m_find);
            } else if constexpr (std::is_same_v<T, CListRequest>) {
                return std::make_unique<CListOperation>(request, std::move(state), readFirst, r.m_masters, r.m_file);
            } else if constexpr (std::is_same_v<T, CRecordConflictsRequest>) {
                return MakeRecordConflictsOperation(request, std::move(state), readFirst);
            } else if constexpr (std::is_same_v<T, CMergedPatchRequest>) {
                return MakeMergedPatchOperation(r, std::move(state), readFirst);
            } else if constexpr (std::is_same_v<T, CRelinkRequest>) {
                CRelinkInputs inputs = RelinkInputsOf(state, r);
                return std::make_unique<CRelinkOperation>(request, std::move(state), std::move(inputs), r.m_output.empty());
            } else {
                return MakeEntryOperation(request, std::move(state));
            }
        },
        request);
}

}  // namespace vantor
