#pragma once

namespace vantor {

class CVANTORDoc;

// Worker operations 3 and 4 (after extraction): asks, finds every unclean
// entry of every loaded plugin, deletes them from their files after the
// backup, and empties the warning and conflict panes.
void RunAutoClean(CVANTORDoc& doc);

}  // namespace vantor
