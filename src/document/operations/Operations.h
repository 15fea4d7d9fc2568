#pragma once
// The operations that need the document's files and lists. The pure parts
// (the check run, the search, the listing, the dialogue merge, the cell
// rules) live in the engine; these take what the request copied and publish
// the results.
#include <unordered_map>
#include <vector>

#include "cells/CellClean.h"
#include "document/Operation.h"

namespace vantor {

// Auto Delete Unclean (after the reading): asks, finds every unclean entry
// of every loaded plugin, deletes them from their files after the backup,
// and empties the warning and conflict lists.
void RunAutoClean(const COperationContext& context, const CFileList& files, const CCheckSwitches& conflictChecks,
                  const CCheckSwitches& uncleanChecks, COutcome& outcome);

// Clean Cells (after the reading): lists what cell cleaning would change in
// every loaded plugin in the warning list, one row per cell, and, unless
// `listOnly`, asks and cleans each plugin in one pass after its backup.
void RunCellClean(const COperationContext& context, const CFileList& files, bool listOnly, COutcome& outcome);

// What a run changed on disk, per plugin, in the order changed.
using CChangesByFile = std::unordered_map<const CPluginFile*, std::vector<CChangedEntry>>;
// Puts `changed` into the outcome in the document's order of its plugins,
// each with its backup; with `failed` the outcome is a failed write.
void RecordChanges(const CFileList& files, const CChangesByFile& changed, bool failed, COutcome& outcome);

// Update Entry, Delete Entry and the cleaning of one cell: single changes
// to a loaded plugin, each written after its backup.
std::unique_ptr<COperation> MakeEntryOperation(const CRequest& request, CDocState state);

// The files that may be a plugin's masters (its MAST list says which): the
// read masters, then the read plugins, each oldest first by the operation's
// ages; the order cell cleaning takes them in.
std::vector<const CPluginFile*> MastersOldestFirst(const CFileList& files, CFileAges& ages);
// A cell row's description: what cleaning removes from the cell.
std::string CellCleanText(const cells::CCellClean& cell);
// The writer's changes for the cells (their new data is moved out).
std::vector<CPluginFile::CEntryChange> CellChanges(std::vector<cells::CCellClean>& cells);

}  // namespace vantor
