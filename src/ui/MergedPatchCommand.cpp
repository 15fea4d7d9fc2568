#include "MergedPatchCommand.h"

#include "document/GameChoice.h"
#include "document/VANTORDoc.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

void MakeMergedPatch(CVANTORDoc& doc, CFrameLink& link) {
    if (doc.IsBusy()) return;
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Make Merged Patch";
    chooser.m_filters = {PluginFilter(doc.LoadOrder() && IsOpenMW(*doc.LoadOrder())), {"All Files (*.*)", "*.*"}};
    chooser.m_startFolder = doc.DataDir();
    chooser.m_fileName = "Merged Patch.esp";
    chooser.m_defaultExtension = "esp";
    chooser.m_confirmOverwrite = true;
    const CFileChoice choice = link.ChooseFile(chooser);
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    // The chooser asked about replacing an existing patch.
    doc.OnMakeMergedPatch(CMergedPatchRequest{choice.m_paths.front(), false, true});
}

}  // namespace vantor
