#pragma once
// The operations that run the check engine and make the result panes' new
// tables: the check (conflicts, deleted and unclean entries) and the listing
// of global changes. Extraction, hiding all panes at the start and handing
// the tables to the panes are the caller's.
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
    std::uint8_t mask = kCheckAll;  // the check command's own mask, or DefaultOps
    std::string globalChangesFile;  // "" = every plugin
    const std::atomic<std::int32_t>* stop = nullptr;
    CFrameLink* link = nullptr;
    CFileAges* ages = nullptr;  // the files' last-write times when none
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

// Worker operations 1 and 2 (after extraction): runs the check and makes the
// conflict pane's and the warning pane's tables (deleted rows, then unclean
// rows), each sorted by its tag column.
CPaneTables RunCheckOperation(const CCheckInputs& inputs);

// Worker operations 7 and 8 (after extraction): lists the global changes of
// every loaded plugin, or of the one named by globalChangesFile, as the
// editor pane's table.
CPaneTables RunGlobalChangeListing(const CCheckInputs& inputs);

}  // namespace vantor
