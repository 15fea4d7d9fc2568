#pragma once
// The dialogue relink operation: collects the plugins to repair (from the
// document's files, or from the "Dialog Repair Tool" window), adds the
// masters and runs the merge engine.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogrepair/DialogMerge.h"
#include "document/FrameLink.h"
#include "loadorder/LoadOrder.h"

namespace vantor {

// What the operation reads from the document. Folders end with a separator.
struct CRelinkInputs {
    bool m_automatic = false;  // "Auto ReLink Dialog"
    std::string m_espFilename;      // the repair plugin
    std::string m_espPath;
    std::vector<std::string> m_pendingNames, m_pendingFolders;  // in document order
    std::vector<std::string> m_loadedNames, m_loadedFolders;
    bool m_singleVersus = false;
    std::string m_pendingMasterName, m_pendingMasterFolder;
    std::string m_loadedMasterName, m_loadedMasterFolder;
    std::string m_dataDir;
    // Where the "Dialog Repair Tool" takes the active plugins from.
    std::shared_ptr<const loadorder::CLoadOrder> m_loadOrder;
    // The document's chosen and read plugins and masters, as paths.
    std::vector<std::string> m_filesInUse;
    // The document's master search: fills the names and folders of the
    // masters found in the data folder (searching only when it has none yet).
    // Called once the plugins are known, so a cancelled dialog searches nothing.
    std::function<void(std::vector<std::string>& names, std::vector<std::string>& folders)> m_findMasters;
    // Checks the repair plugin's path as an output once the files to read are
    // known, before any is read: the path to write, or nullopt when nothing
    // may be written there. `replaceAgreed`: the window's chooser asked
    // already. Without it, the path is taken as it is.
    std::function<std::optional<std::string>(const std::string& path, bool replaceAgreed,
                                             const std::vector<std::string>& reads)>
        m_prepareOutput;
    const std::atomic<std::int32_t>* m_stop = nullptr;
    CFrameLink* m_link = nullptr;
    CFileAges* m_ages = nullptr;  // the files' last-write times when none
};

struct CRelinkResult {
    bool m_ran = false;  // false: the dialog was closed without "Repair Dialog"
    // Set after "Repair Dialog": the document's new EspFilename and EspPath.
    std::optional<std::string> m_espFilename;
    std::optional<std::string> m_espPath;
    std::int32_t m_runResult = 0;
    CDialogMerge::EOutcome m_outcome = CDialogMerge::EOutcome::NotRun;
    // What the repair plugin holds once written: its path, its topics and
    // their responses.
    std::string m_output;
    std::size_t m_topics = 0;
    std::size_t m_responses = 0;
    // Refused: the window was confirmed without a plugin to repair.
    bool m_noPlugins = false;
};

CRelinkResult RelinkDialog(const CRelinkInputs& in);

}  // namespace vantor
