// The find and editor set-up operations as the document's worker runs them.
#include "checks/EditorSetUp.h"
#include "checks/Search.h"

namespace vantor {

namespace {

std::vector<CPluginFile*> Pointers(const std::vector<std::unique_ptr<CPluginFile>>& files) {
    std::vector<CPluginFile*> out;
    out.reserve(files.size());
    for (const auto& f : files) out.push_back(f.get());
    return out;
}

// The editor pane gets its new rows and is shown only when it has any.
void PublishEditor(CVANTORDoc& doc, CResultTable table) {
    const bool any = !table.m_rows.empty();
    doc.SetResultTable(EPane::Editor, std::move(table));
    if (any)
        doc.Link().ShowPane(EPane::Editor);
    else
        doc.Link().HidePane(EPane::Editor);
}

void RunFind(CVANTORDoc& doc) {
    CFindInputs inputs;
    // The document's name list decides whether anything was loaded.
    if (!doc.m_loadedNames.empty()) inputs.loadedPlugins = Pointers(doc.m_loadedFiles);
    inputs.foundMasters = Pointers(doc.m_masterFiles);
    inputs.params = doc.m_find;
    inputs.stop = &doc.m_stop;
    inputs.link = &doc.Link();
    if (auto table = RunFindOperation(inputs)) PublishEditor(doc, std::move(*table));
}

void RunListing(CVANTORDoc& doc) {
    CEditorSetUpInputs inputs;
    inputs.loadedPlugins = Pointers(doc.m_loadedFiles);
    inputs.foundMasters = Pointers(doc.m_masterFiles);
    inputs.viewMasters = doc.m_viewMasters;
    inputs.viewFile = doc.m_viewFile;
    inputs.stop = &doc.m_stop;
    inputs.link = &doc.Link();
    if (auto table = RunEditorSetUp(inputs)) PublishEditor(doc, std::move(*table));
}

}  // namespace

void InstallSearchOperations(CVANTORDoc& doc) {
    doc.SetOperationHandler(CVANTORDoc::kFind, RunFind);
    doc.SetOperationHandler(CVANTORDoc::kEditorSetUp, RunListing);
}

}  // namespace vantor
