#pragma once
// The one interface through which the document and every operation reach
// the front end: besides the user link's progress, notices and questions,
// the result lists an operation publishes, the "Dialog Repair Tool" window,
// and the end of a run on the worker. The Qt frame, the console and the
// tests each implement it; none of it blocks but the questions.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/ResultTable.h"
#include "engine/UserLink.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

struct COutcome;

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

// How a published list is shown: as it was, or shown when it has rows and
// hidden when it has none.
enum class EShow { Keep, ByRows };

class CFrameLink : public CUserLink {
public:
    // A result list's new rows, posted. The table is shared with the
    // document: the front end sorts it and takes rows out of it on its own
    // thread, so what is saved is what is shown.
    virtual void Publish(EPane pane, CTablePtr table, EShow show) = 0;
    // The worker's run has ended and the document is idle again: posted by
    // the worker as its last step.
    virtual void Ended(const COutcome&) {}
    // The "Dialog Repair Tool" window, a question answered with the files to
    // repair; nullopt when it was closed without "Repair Dialog".
    virtual std::optional<CRepairDialogResult> ChooseRepair(const CRepairDialogSeed&) { return std::nullopt; }
};

}  // namespace vantor
