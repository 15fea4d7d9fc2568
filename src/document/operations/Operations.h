#pragma once
// The worker operations that need the document's files and panes. The pure
// parts (the check run, the search, the listing, the dialogue merge) live in
// the engine; these take what the command copied and publish the results.
#include "cells/CellClean.h"
#include "document/Operation.h"

namespace vantor {

// Worker operations 3 and 4 (after extraction): asks, finds every unclean
// entry of every loaded plugin, deletes them from their files after the
// backup, and empties the warning and conflict panes.
CAutoCleanResult RunAutoClean(const COperationContext& context, const CFileList& files,
                              const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks);

// Clean Cells (worker operations 12 and 13): lists what cell cleaning would
// change in every loaded plugin in the warning pane, one row per cell, and,
// unless `listOnly`, asks and cleans each plugin in one pass after its backup.
CCellCleanResult RunCellClean(const COperationContext& context, const CFileList& files, bool listOnly);

// The files that may be a plugin's masters (its MAST list says which): the
// read masters, then the read plugins, each oldest first by the operation's
// ages; the order cell cleaning takes them in.
std::vector<const CPluginFile*> MastersOldestFirst(const CFileList& files, CFileAges& ages);
// A cell row's description: what cleaning removes from the cell.
std::string CellCleanText(const cells::CCellClean& cell);
// The writer's changes for the cells (their new data is moved out).
std::vector<CPluginFile::CEntryChange> CellChanges(std::vector<cells::CCellClean>& cells);

}  // namespace vantor
