#pragma once
#include <cstddef>

namespace vantor {

class CVANTORDoc;

// What the automatic clean did, for callers that report it (the command
// line's exit status).
struct CAutoCleanResult {
    bool m_confirmed = false;  // the user agreed to delete
    bool m_stopped = false;
    std::size_t m_unclean = 0;  // unclean entries found
    std::size_t m_deleted = 0;
    std::size_t m_failed = 0;  // not deleted: an error, or the entry or its plugin was not found
};

// Worker operations 3 and 4 (after extraction): asks, finds every unclean
// entry of every loaded plugin, deletes them from their files after the
// backup, and empties the warning and conflict panes.
CAutoCleanResult RunAutoClean(CVANTORDoc& doc);

}  // namespace vantor
