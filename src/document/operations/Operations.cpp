// Every worker operation, made in one place from a code and the command's
// inputs.
#include "document/operations/Operations.h"

#include "checks/CheckOperations.h"
#include "checks/EditorSetUp.h"
#include "checks/Search.h"
#include "document/operations/RecordConflictList.h"
#include "document/operations/RelinkDialog.h"
#include "document/Extraction.h"
#include "document/OutputPath.h"
#include "document/VANTORDoc.h"

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

// The panes an operation refilled, each shown when it has rows; their row
// counts go into the outcome.
void Publish(COperationContext& context, const CFileList& list, CPaneFindings& findings, COperationOutcome& outcome) {
    const std::vector<CFileRef> files = FileRefs(findings.m_files, list);
    auto publish = [&](EPane pane, std::optional<CFindings>& rows) {
        if (!rows) return;
        CResultTable table = PaneTableHeader(pane);
        table.m_files = files;
        table.m_rows = std::move(*rows);
        rows.reset();
        context.Publish(pane, std::move(table), true, &outcome);
    };
    // Both check panes are refilled even when their check did not run.
    publish(EPane::Conflict, findings.m_conflict);
    publish(EPane::Warning, findings.m_warning);
    publish(EPane::Editor, findings.m_editor);
}

// Extract Data: the worker's extraction is all there is to it.
class CExtractOperation : public COperation {
public:
    using COperation::COperation;
    void Run(COperationContext&) override {}
};

class CUnknownOperation : public COperation {
public:
    using COperation::COperation;
    void Run(COperationContext& context) override {
        context.Link().Ask({"Operation Does Not Exist", "Warning", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
    }
};

class CCheckOperation : public COperation {
public:
    CCheckOperation(EOperation code, CDocState state, CCheckInputs inputs, bool globalChanges)
        : COperation(code, std::move(state)), m_inputs(std::move(inputs)), m_globalChanges(globalChanges) {
        m_outcome.m_checks = m_inputs.mask;
    }

    void Run(COperationContext& context) override {
        m_inputs.loadedPlugins = State().m_files.PluginFiles();
        m_inputs.foundMasters = State().m_files.MasterFiles();
        m_inputs.stop = &context.Stop();
        m_inputs.link = &context.Link();
        m_inputs.ages = &context.Ages();
        CPaneFindings findings = m_globalChanges ? RunGlobalChangeListing(m_inputs) : RunCheckOperation(m_inputs);
        m_outcome.m_masterCoverage = std::move(findings.m_masters);
        Publish(context, State().m_files, findings, m_outcome);
    }

private:
    CCheckInputs m_inputs;
    bool m_globalChanges;
};

class CCleanOperation : public COperation {
public:
    using COperation::COperation;
    void Run(COperationContext& context) override {
        const COptionSet& options = State().m_options;
        m_outcome.m_clean = RunAutoClean(context, State().m_files, options.m_conflictChecks, options.m_uncleanChecks);
    }
};

class CCellCleanOperation : public COperation {
public:
    CCellCleanOperation(EOperation code, CDocState state, bool listOnly)
        : COperation(code, std::move(state)), m_listOnly(listOnly) {}
    void Run(COperationContext& context) override { m_outcome.m_cellClean = RunCellClean(context, State().m_files, m_listOnly); }

private:
    bool m_listOnly;
};

class CFindOperation : public COperation {
public:
    CFindOperation(EOperation code, CDocState state, CFindParams params)
        : COperation(code, std::move(state)), m_params(std::move(params)) {}

    void Run(COperationContext& context) override {
        CFindInputs inputs;
        inputs.loadedPlugins = State().m_files.PluginFiles();
        inputs.foundMasters = State().m_files.MasterFiles();
        inputs.params = m_params;
        inputs.stop = &context.Stop();
        inputs.link = &context.Link();
        inputs.ages = &context.Ages();
        CPaneFindings findings = RunFindOperation(inputs);
        if (!findings.m_stopped && findings.m_editor && findings.m_editor->empty())
            context.Link().Tell("Cannot find " + m_params.m_text, "Not Found");
        Publish(context, State().m_files, findings, m_outcome);
    }

private:
    CFindParams m_params;
};

class CListingOperation : public COperation {
public:
    CListingOperation(EOperation code, CDocState state, std::int32_t viewMasters, std::string viewFile)
        : COperation(code, std::move(state)), m_viewMasters(viewMasters), m_viewFile(std::move(viewFile)) {}

    void Run(COperationContext& context) override {
        CEditorSetUpInputs inputs;
        inputs.loadedPlugins = State().m_files.PluginFiles();
        inputs.foundMasters = State().m_files.MasterFiles();
        inputs.viewMasters = m_viewMasters;
        inputs.viewFile = m_viewFile;
        inputs.stop = &context.Stop();
        inputs.link = &context.Link();
        inputs.ages = &context.Ages();
        CPaneFindings findings = RunEditorSetUp(inputs);
        Publish(context, State().m_files, findings, m_outcome);
    }

private:
    std::int32_t m_viewMasters;
    std::string m_viewFile;
};

class CRelinkOperation : public COperation {
public:
    CRelinkOperation(EOperation code, CDocState state, CRelinkInputs inputs)
        : COperation(code, std::move(state)), m_inputs(std::move(inputs)) {}

    void Run(COperationContext& context) override {
        m_inputs.m_stop = &context.Stop();
        m_inputs.m_link = &context.Link();
        m_inputs.m_ages = &context.Ages();
        m_inputs.m_prepareOutput = [this, &context](const std::string& path, bool replaceAgreed,
                                                   const std::vector<std::string>& reads) {
            std::vector<std::string> inUse = FilesInUse(State().m_files);
            inUse.insert(inUse.end(), reads.begin(), reads.end());
            return PrepareOutput(path, inUse, replaceAgreed ? EReplace::Agreed : EReplace::Ask,
                                 "New Dialog Merge Plugin", context.Link());
        };
        const CRelinkResult result = RelinkDialog(m_inputs);
        if (result.m_espFilename && result.m_espPath)
            context.RememberRepairPlugin(*result.m_espFilename, *result.m_espPath);
        m_outcome.m_relink = result;
    }

private:
    CRelinkInputs m_inputs;
};

CRelinkInputs RelinkInputsOf(const CDocState& state, std::int32_t relinkMode) {
    CRelinkInputs in;
    in.m_autoRelink = relinkMode;
    in.m_espFilename = state.m_options.m_espFilename;
    in.m_espPath = state.m_options.m_espPath;
    for (const CLoadedFile* f : state.m_files.Of(EFileRole::Pending)) {
        in.m_pendingNames.push_back(f->m_name);
        in.m_pendingFolders.push_back(f->m_folder);
    }
    for (const CLoadedFile* f : state.m_files.Loaded()) {
        in.m_loadedNames.push_back(f->m_name);
        in.m_loadedFolders.push_back(f->m_folder);
    }
    in.m_checkMode = static_cast<std::int32_t>(state.m_checkMode);
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
    // The master search runs on the command's copy of the file list.
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

bool ExtractsFirst(EOperation code) {
    switch (code) {
        case EOperation::Extract:
        case EOperation::ExtractCheck:
        case EOperation::ExtractClean:
        case EOperation::ExtractFind:
        case EOperation::ExtractGlobalChanges:
        case EOperation::ExtractEditorSetUp:
        case EOperation::ExtractCleanCells:
        case EOperation::ExtractMergedPatch:
        case EOperation::ExtractRecordConflicts:
            return true;
        case EOperation::Check:
        case EOperation::Clean:
        case EOperation::Find:
        case EOperation::GlobalChanges:
        case EOperation::EditorSetUp:
        case EOperation::Relink:
        case EOperation::CleanCells:
        case EOperation::MergedPatch:
        case EOperation::RecordConflicts:
            return false;
    }
    return false;
}

std::unique_ptr<COperation> MakeOperation(std::int32_t number, CDocState state, const CCommandParams& params) {
    const auto code = static_cast<EOperation>(number);
    const COptionSet& options = state.m_options;
    switch (code) {
        case EOperation::Extract:
            return std::make_unique<CExtractOperation>(code, std::move(state));
        case EOperation::Check:
        case EOperation::ExtractCheck:
        case EOperation::GlobalChanges:
        case EOperation::ExtractGlobalChanges: {
            const bool globalChanges = code == EOperation::GlobalChanges || code == EOperation::ExtractGlobalChanges;
            CCheckInputs inputs;
            inputs.checkMode = static_cast<std::int32_t>(state.m_checkMode);
            inputs.conflictChecks = options.m_conflictChecks;
            inputs.uncleanChecks = options.m_uncleanChecks;
            inputs.mask = params.m_checkMask ? params.m_checkMask : options.m_defaultOps;
            inputs.globalChangesFile = params.m_globalChangesFile;
            return std::make_unique<CCheckOperation>(code, std::move(state), std::move(inputs), globalChanges);
        }
        case EOperation::Clean:
        case EOperation::ExtractClean:
            return std::make_unique<CCleanOperation>(code, std::move(state));
        case EOperation::CleanCells:
        case EOperation::ExtractCleanCells:
            return std::make_unique<CCellCleanOperation>(code, std::move(state), params.m_listOnly);
        case EOperation::Find:
        case EOperation::ExtractFind:
            return std::make_unique<CFindOperation>(code, std::move(state), params.m_find);
        case EOperation::EditorSetUp:
        case EOperation::ExtractEditorSetUp:
            return std::make_unique<CListingOperation>(code, std::move(state), params.m_viewMasters, params.m_viewFile);
        case EOperation::RecordConflicts:
        case EOperation::ExtractRecordConflicts:
            return MakeRecordConflictsOperation(code, std::move(state));
        case EOperation::Relink: {
            CRelinkInputs inputs = RelinkInputsOf(state, params.m_relinkMode);
            return std::make_unique<CRelinkOperation>(code, std::move(state), std::move(inputs));
        }
        case EOperation::MergedPatch:
        case EOperation::ExtractMergedPatch:
            // Made by its command with the patch's path; by number, a dry run.
            return MakeMergedPatchOperation(code, std::move(state), CMergedPatchRequest{{}, true, false});
    }
    return std::make_unique<CUnknownOperation>(code, std::move(state));
}

}  // namespace vantor
