#include "checks/InstallOperations.h"

#include "checks/AutoClean.h"
#include "checks/CheckOperations.h"
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

void InstallOperations(CVANTORDoc& doc) {
    doc.SetOperationHandler(CVANTORDoc::kCheck, [](CVANTORDoc& d) { Keep(d, RunCheckOperation(CheckInputsOf(d))); });
    doc.SetOperationHandler(CVANTORDoc::kClean, [](CVANTORDoc& d) { RunAutoClean(d); });
    doc.SetOperationHandler(CVANTORDoc::kGlobalChanges,
                            [](CVANTORDoc& d) { Keep(d, RunGlobalChangeListing(CheckInputsOf(d))); });
}

}  // namespace vantor
