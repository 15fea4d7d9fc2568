#include "checks/InstallOperations.h"

#include "checks/AutoClean.h"
#include "checks/CheckOperations.h"
#include "checks/Search.h"
#include "dialogrepair/RelinkDialog.h"
#include "document/OutputPath.h"
#include "document/VANTORDoc.h"

namespace vantor {

CCheckInputs CheckInputsOf(CVANTORDoc& doc) {
    CCheckInputs in;
    for (const auto& f : doc.m_loadedFiles) in.loadedPlugins.push_back(f.get());
    for (const auto& f : doc.m_masterFiles) in.foundMasters.push_back(f.get());
    in.checkMode = static_cast<std::int32_t>(doc.m_checkMode);
    in.conflictChecks = doc.m_options.m_conflictChecks;
    in.uncleanChecks = doc.m_options.m_uncleanChecks;
    in.oneShotMask = doc.m_checkMask;
    in.defaultOps = doc.m_options.m_defaultOps;
    in.globalChangesFile = doc.m_globalChangesFile;
    in.stop = &doc.m_stop;
    in.link = &doc.Link();
    return in;
}

namespace {

void Keep(CVANTORDoc& doc, const CPaneTables& tables) {
    if (tables.m_stopped) return;
    if (tables.m_conflict) doc.StoreResultTable(EPane::Conflict, *tables.m_conflict);
    if (tables.m_warning) doc.StoreResultTable(EPane::Warning, *tables.m_warning);
    if (tables.m_editor) doc.StoreResultTable(EPane::Editor, *tables.m_editor);
}

}  // namespace

CRelinkResult RunRelinkOperation(CVANTORDoc& d) {
    CRelinkInputs in;
    in.m_autoRelink = d.m_relinkMode;
    in.m_espFilename = d.m_options.m_espFilename;
    in.m_espPath = d.m_options.m_espPath;
    in.m_pendingNames = d.m_pendingNames;
    in.m_pendingFolders = d.m_pendingFolders;
    in.m_loadedNames = d.m_loadedNames;
    in.m_loadedFolders = d.m_loadedFolders;
    in.m_checkMode = static_cast<std::int32_t>(d.m_checkMode);
    in.m_pendingMasterName = d.m_pendingMasterName;
    in.m_pendingMasterFolder = d.m_pendingMasterFolder;
    in.m_loadedMasterName = d.m_loadedMasterName;
    in.m_loadedMasterFolder = d.m_loadedMasterFolder;
    in.m_dataDir = d.m_dataDir;
    in.m_installDir = d.m_installDir;
    in.m_findMasters = [&d](std::vector<std::string>& names, std::vector<std::string>& folders) {
        d.FindMasters();
        names = d.m_foundMasterNames;
        folders = d.m_foundMasterFolders;
    };
    in.m_prepareOutput = [&d](const std::string& path, bool replaceAgreed, const std::vector<std::string>& reads) {
        std::vector<std::string> inUse = FilesInUse(d);
        inUse.insert(inUse.end(), reads.begin(), reads.end());
        return PrepareOutput(path, inUse, replaceAgreed ? EReplace::Agreed : EReplace::Ask, "New Dialog Merge Plugin",
                             d.Link());
    };
    in.m_stop = &d.m_stop;
    in.m_link = &d.Link();
    CRelinkResult result = RelinkDialog(in);
    if (result.m_espFilename) d.m_options.m_espFilename = *result.m_espFilename;
    if (result.m_espPath) d.m_options.m_espPath = *result.m_espPath;
    return result;
}

void InstallOperations(CVANTORDoc& doc) {
    doc.SetOperationHandler(CVANTORDoc::kCheck, [](CVANTORDoc& d) { Keep(d, RunCheckOperation(CheckInputsOf(d))); });
    doc.SetOperationHandler(CVANTORDoc::kClean, [](CVANTORDoc& d) { RunAutoClean(d); });
    doc.SetOperationHandler(CVANTORDoc::kRelink, [](CVANTORDoc& d) { RunRelinkOperation(d); });
    doc.SetOperationHandler(CVANTORDoc::kGlobalChanges,
                            [](CVANTORDoc& d) { Keep(d, RunGlobalChangeListing(CheckInputsOf(d))); });
    InstallSearchOperations(doc);
}

}  // namespace vantor
