#pragma once
// The operations that run the check engine on the worker and fill the result
// panes: the check (conflicts, deleted and unclean entries) and the listing
// of global changes. Extraction, hiding all panes at the start and resetting
// the one-shot mask afterwards are the caller's.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checks/PluginChecker.h"
#include "document/FrameLink.h"
#include "document/ResultTable.h"

namespace vantor {

struct CCheckInputs {
    // Document order: newest extraction batch first, the loaded master last.
    std::vector<CPluginFile*> loadedPlugins;
    // Document order: each master read is inserted at the front.
    std::vector<CPluginFile*> foundMasters;
    std::int32_t checkMode = 0;  // 1 = Single Versus
    CCheckSwitches conflictChecks{};
    CCheckSwitches uncleanChecks{};
    std::uint8_t oneShotMask = 0;  // the check command's own mask; 0 = defaultOps
    std::uint8_t defaultOps = 7;
    std::string globalChangesFile;  // "" = every plugin
    const std::atomic<std::int32_t>* stop = nullptr;
    CFrameLink* link = nullptr;
};

// The panes an operation refilled; none when it was stopped.
struct CPaneTables {
    bool m_stopped = false;
    std::optional<CResultTable> m_conflict;
    std::optional<CResultTable> m_warning;
    std::optional<CResultTable> m_editor;
};

// Adds the document's files so that the engine's plugin list starts with
// the loaded master followed by the plugins in extraction order, and its
// master list holds the masters in the order they were read.
void AddDocumentFiles(CPluginChecker& checker, const std::vector<CPluginFile*>& loadedPlugins,
                      const std::vector<CPluginFile*>& foundMasters);

// The one-shot mask when set, otherwise the default checks.
inline std::uint8_t EffectiveMask(std::uint8_t oneShotMask, std::uint8_t defaultOps) {
    return oneShotMask ? oneShotMask : defaultOps;
}

// Worker operations 1 and 2 (after extraction): runs the check and refills
// the conflict pane and the warning pane (deleted rows, then unclean rows),
// each sorted by its tag column and shown when it has rows, else hidden.
CPaneTables RunCheckOperation(const CCheckInputs& inputs);

// Worker operations 7 and 8 (after extraction): lists the global changes of
// every loaded plugin, or of the one named by globalChangesFile, in the
// editor pane.
CPaneTables RunGlobalChangeListing(const CCheckInputs& inputs);

}  // namespace vantor
