#pragma once
// The worker operations that need the document's files and panes. The pure
// parts (the check run, the search, the listing, the dialogue merge) live in
// the engine; these take what the command copied and publish the results.
#include "document/Operation.h"

namespace vantor {

// Worker operations 3 and 4 (after extraction): asks, finds every unclean
// entry of every loaded plugin, deletes them from their files after the
// backup, and empties the warning and conflict panes.
CAutoCleanResult RunAutoClean(const COperationContext& context, const CFileList& files,
                              const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks);

}  // namespace vantor
