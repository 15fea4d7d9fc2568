#pragma once
// The operations that run the check engine and make the result panes' new
// rows: the check (conflicts, deleted and unclean entries) and the listing
// of global changes. Extraction, hiding all panes at the start and handing
// the rows to the panes are the caller's.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checks/PluginChecker.h"
#include "engine/UserLink.h"

namespace vantor {

struct CCheckInputs {
    // Document order: newest extraction batch first, the loaded master last.
    std::vector<CPluginFile*> loadedPlugins;
    // Document order: each master read is inserted at the front.
    std::vector<CPluginFile*> foundMasters;
    bool singleVersus = false;
    CCheckSwitches conflictChecks{};
    CCheckSwitches uncleanChecks{};
    CCheckSet checks = CCheckSet::All();
    std::string globalChangesFile;  // "" = every plugin
    const std::atomic<std::int32_t>* stop = nullptr;
    CUserLink* link = nullptr;
    CFileAges* ages = nullptr;  // the files' last-write times when none
    // The check's conflicts go here as they are found, not into the pane.
    CFindingSink* conflictSink = nullptr;
};

// A master that examined plugins name in their headers and that no loaded
// file is, with the plugins that name it, in the order they were examined.
struct CMissingMaster {
    std::string m_name;
    std::vector<std::string> m_plugins;
    bool operator==(const CMissingMaster&) const = default;
};

// What the masters a check was made against leave out.
struct CMasterCoverage {
    std::vector<CMissingMaster> m_missing;  // in the order first named
    // No master was read at all, though the unclean or the global-change
    // test was asked for and needs one.
    bool m_noneRead = false;
    bool operator==(const CMasterCoverage&) const = default;
};

// The masters the plugins' headers name that are neither among the masters
// read nor among the plugins (names compared without regard to ASCII case,
// as the game's platform does), each once with every plugin naming it;
// m_noneRead when `masters` is empty.
CMasterCoverage MasterCoverage(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters);

// The rows an operation made for the panes it refills, and the files their
// indexes name. m_stopped: a stop request cut the run short; the rows are
// those found before it (each one whole), and a run stopped before it found
// any refills no pane.
struct CPaneFindings {
    bool m_stopped = false;
    std::vector<const CPluginFile*> m_files;
    std::optional<CFindings> m_conflict;
    std::optional<CFindings> m_warning;
    std::optional<CFindings> m_editor;
    // The conflicts the check sent to CCheckInputs::conflictSink instead.
    std::size_t m_conflictsSent = 0;
    // The check and the listing: the masters the examined plugins name that
    // were not there to compare with.
    std::optional<CMasterCoverage> m_masters;
};

// Adds the document's files so that the engine's plugin list starts with
// the loaded master followed by the plugins in extraction order, and its
// master list holds the masters in the order they were read.
void AddDocumentFiles(CPluginChecker& checker, const std::vector<CPluginFile*>& loadedPlugins,
                      const std::vector<CPluginFile*>& foundMasters);

// Orders rows by their tag's text, keeping the order among equal tags: rows
// read and written in sequence, without a second copy of them all.
void SortByTag(CFindings& rows);
// Moves row r to place[r] (a permutation, which it leaves as the identity).
void Permute(CFindings& rows, std::vector<std::uint32_t>& place);

// Worker operations 1 and 2 (after extraction): runs the check and makes the
// conflict pane's and the warning pane's rows (deleted rows, then unclean
// rows), each sorted by tag.
CPaneFindings RunCheckOperation(const CCheckInputs& inputs);

// Worker operations 7 and 8 (after extraction): the global changes of every
// loaded plugin, or of the one named by globalChangesFile, as the editor
// pane's rows.
CPaneFindings RunGlobalChangeListing(const CCheckInputs& inputs);

}  // namespace vantor
