#pragma once
// What a double click or the Delete key in a result pane does to entries,
// decided without a widget: which entry an editor opens on, and which
// entries are deleted and which rows go with them.
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "document/ResultTable.h"
#include "format/SubRecord.h"

namespace vantor {

class CVANTORDoc;

// Everything the entry editor window is opened with.
struct CEntryOpenRequest {
    EPane m_pane = EPane::Conflict;
    CEntryRef m_entry;  // the very entry of the row; the editor writes and deletes this one
    std::string m_tag;
    std::string m_id;
    std::string m_file;
    bool m_masters = false;   // the entry lives among the found masters
    bool m_viewOnly = false;  // opened from the master column
    std::string m_title;      // file + " - " + ID
    std::string m_data;       // the entry's data
    std::string m_compare;    // the other file's data (or its own)
    CSubRecords m_subRecords;
};

// The master column of a pane: 5 in the conflict list, 4 in the others.
int MasterColumn(EPane pane);

// The entry a double click on (row, column) of a data row opens, or nullopt
// when the cell leads to no entry (the ID, description or name column, a
// file that is not loaded, a missing entry).
std::optional<CEntryOpenRequest> ResolveDoubleClick(CVANTORDoc& doc, EPane pane, const CResultTable& table, int row,
                                                    int column);

// The request that opens the editor on `entry`, showing where it differs from
// `compare` (from itself when that is empty); `masters`: the entry lives
// among the found masters and is only looked at. nullopt when the entry is
// no longer loaded.
std::optional<CEntryOpenRequest> EntryOpenRequest(const CVANTORDoc& doc, EPane pane, const CEntryRef& entry,
                                                  const CEntryRef& compare, bool masters);

using CDeleteEntryFn = std::function<bool(const CEntryRef& entry, bool ask)>;
using CCloseEditorFn = std::function<void(const std::string& title)>;

struct CDeleteOutcome {
    bool m_refused = false;   // the conflict list's selection spans columns
    std::set<int> m_rows;     // data rows to take out of the list
    int m_deleted = 0;
};

// The Delete key over the selected cells (row, column of data rows): rows
// are visited from the last to the first, each deleting the entry its cell
// shows; the question is asked only until one deletion has succeeded; every
// row showing a deleted entry in a plugin column goes with it. A row of
// Clean Cells cleans its cell through `cleanCell` instead, and without one
// does nothing.
CDeleteOutcome DeleteSelectedEntries(EPane pane, const CResultTable& table, const std::set<std::pair<int, int>>& selected,
                                     const CDeleteEntryFn& deleteEntry, const CCloseEditorFn& closeEditor,
                                     const CDeleteEntryFn& cleanCell = {});

}  // namespace vantor
