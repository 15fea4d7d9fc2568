#pragma once
// What a front end asks the document to do: one request per operation,
// carrying exactly its inputs. CVANTORDoc::Run takes any of them; whether
// the chosen files are read first is decided there, from the document's
// state. Adding an operation is a request here, its run function in
// operations/, and a binding in each front end.
#include <string>
#include <variant>
#include <vector>

#include "checks/CheckIndex.h"
#include "checks/Search.h"
#include "document/ResultTable.h"
#include "format/SubRecord.h"

namespace vantor {

// Plugins to choose before the run, as paths, as Choose Plugins chooses
// them; the run works on these and on every file chosen or read before.
struct CWithPlugins {
    std::vector<std::string> m_plugins;
};

// Extract Data: reads the chosen files (and the masters).
struct CReadRequest : CWithPlugins {};

// Check Conflicts, Deleted, Unclean, All, or the default checks (resolved
// from the options when the request is made: CVANTORDoc::DefaultChecks).
struct CCheckRequest : CWithPlugins {
    CCheckSet m_checks = CCheckSet::All();
    // Where the conflicts go as they are found (the command line writing
    // them out); none: into the conflict pane. It outlives the run.
    CFindingSink* m_conflictSink = nullptr;
};

// View All Global Changes, or those of one plugin.
struct CGlobalChangesRequest : CWithPlugins {
    std::string m_file;  // "" = every plugin
};

// Find Object.
struct CFindRequest : CWithPlugins {
    CFindParams m_find;
};

// View All Esp Data, View All Esm Data, View File Data.
struct CListRequest : CWithPlugins {
    bool m_masters = false;  // the masters, not the plugins
    std::string m_file;      // "" = every listed file
};

// Auto Delete Unclean.
struct CAutoCleanRequest : CWithPlugins {};

// Clean Cells; with m_listOnly it only lists what it would clean.
struct CCleanCellsRequest : CWithPlugins {
    bool m_listOnly = false;
};

// ReLink Dialog (the "Dialog Repair Tool" window names the files) or Auto
// ReLink Dialog (the chosen and read plugins).
struct CRelinkRequest : CWithPlugins {
    bool m_automatic = false;
    // The repair plugin of this run (a path); "" for the options' own, which
    // the window's choice then replaces.
    std::string m_output;
};

// Check Record Conflicts: each record two or more plugins hold, once, with
// what each copy changes.
struct CRecordConflictsRequest : CWithPlugins {};

// Make Merged Patch: the leveled lists and object records the plugins
// change, merged into a patch plugin.
struct CMergedPatchRequest : CWithPlugins {
    std::string m_output;          // the patch's path
    bool m_dryRun = false;         // merge and report; write nothing
    bool m_replaceAgreed = false;  // the window's file chooser asked about replacing it
};

// Write to ESP of the entry editor: the entry's new subrecords (after its ID).
struct CUpdateEntryRequest {
    CEntryRef m_entry;
    CSubRecords m_subRecords;
};

// Delete one entry from its plugin; the question is asked unless told not to.
struct CDeleteEntryRequest {
    CEntryRef m_entry;
    bool m_askFirst = true;
};

// Clean one cell of a Clean Cells row, judged anew.
struct CCleanCellRequest {
    CEntryRef m_cell;
    bool m_askFirst = true;
};

using CRequest = std::variant<CReadRequest, CCheckRequest, CGlobalChangesRequest, CFindRequest, CListRequest,
                              CAutoCleanRequest, CCleanCellsRequest, CRelinkRequest, CUpdateEntryRequest,
                              CDeleteEntryRequest, CCleanCellRequest, CRecordConflictsRequest, CMergedPatchRequest>;

// The plugins a request chooses first (none for the single-entry requests).
const std::vector<std::string>& PluginsOf(const CRequest& request);

}  // namespace vantor
