#pragma once
// The one interface through which the document and every operation reach
// the main window: progress, panes, result rows, message boxes, questions,
// file choosers and the entry editors. The Qt frame, the console and the
// tests each implement it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/ResultTable.h"
#include "engine/UserLink.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

struct COperationOutcome;

struct CFileFilter {
    std::string m_label;    // "Any File (*.*)"
    std::string m_pattern;  // "*.*" or "*.esp;*.esm"
};

struct CFileChooser {
    enum class EMode { OpenOne, OpenMany, Save };
    EMode m_mode = EMode::OpenOne;
    std::string m_title;
    std::vector<CFileFilter> m_filters;
    std::string m_startFolder;
    std::string m_fileName;  // proposed name
    std::string m_defaultExtension;
    bool m_confirmOverwrite = false;
    bool m_mustExist = false;
};

struct CFileChoice {
    enum class EStatus { Chosen, Cancelled, Failed };
    EStatus m_status = EStatus::Cancelled;
    std::vector<std::string> m_paths;  // full paths
};

// What the "Dialog Repair Tool" window starts with.
struct CRepairDialogSeed {
    std::string m_repairName;
    std::string m_repairFolder;
    std::string m_dataDir;  // start folder of its file choosers
    // Where "Add All Active Plugins" takes them from; none adds nothing.
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    // The plugins and masters the document has chosen or read, as paths:
    // "Delete Existing" never deletes one of them.
    std::vector<std::string> m_filesInUse;
};

// The window's result after "Repair Dialog": the repair plugin and the
// plugins to repair in the order they were added (the order they are read).
struct CRepairDialogResult {
    std::string m_repairName;
    std::string m_repairFolder;
    std::vector<std::string> m_pluginNames;
    std::vector<std::string> m_pluginFolders;
    // The repair plugin was named in a save chooser that asked before
    // replacing it, so it is not asked again.
    bool m_replaceAgreed = false;
};

class CFrameLink : public CUserLink {
public:
    virtual void HidePane(EPane pane) = 0;
    virtual void ShowPane(EPane pane) = 0;
    // Replaces the rows of one result pane with a finished table. The table
    // is shared with the document: the pane sorts it and takes rows out of
    // it on the user-interface thread, so what is saved is what is shown.
    virtual void SetPaneRows(EPane pane, CTablePtr table) = 0;
    virtual CFileChoice ChooseFile(const CFileChooser& chooser) = 0;
    // Closes every entry editor, or only the one with this title.
    virtual void CloseEntryEditors(const std::string& title = {}) = 0;

    // An operation starts: called by the command that starts it, before the
    // worker runs.
    virtual void OperationStarted() {}
    // The operation has ended and the document is idle again: called by the
    // worker as its last step. It must not wait for the user-interface
    // thread, which may itself be waiting for the worker.
    virtual void OperationEnded(const COperationOutcome&) {}
    // The file tree or other document views must be redrawn.
    virtual void UpdateViews() {}
    // Called while the user-interface thread waits for the worker to end,
    // so that requests the worker is blocked on are still served.
    virtual void ServeWhileWaiting() {}
    // Shows the "Dialog Repair Tool" window modally; nullopt when it was
    // closed without "Repair Dialog".
    virtual std::optional<CRepairDialogResult> RunDialogRepairTool(const CRepairDialogSeed&) { return std::nullopt; }
};

}  // namespace vantor
