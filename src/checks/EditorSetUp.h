#pragma once
// The editor set-up: lists every entry of the loaded plugins, of the found
// masters, or of one of them, in the editor pane ("View All Esp Data",
// "View All Esm Data", "View File Data" in its "View All Data" mode).
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checks/CheckOperations.h"
#include "format/PluginFile.h"

namespace vantor {

class CUserLink;

struct CEditorSetUpInputs {
    // Document order: newest extraction batch first, the loaded master last.
    std::vector<CPluginFile*> loadedPlugins;
    // Document order: each master read is inserted at the front.
    std::vector<CPluginFile*> foundMasters;
    bool viewMasters = false;  // list the masters
    std::string viewFile;          // "" = every listed file
    const std::atomic<std::int32_t>* stop = nullptr;
    CUserLink* link = nullptr;
    CFileAges* ages = nullptr;  // the files' last-write times when none
};

// Sorts a listing by its file's name (bytes, case significant) and, within
// one file, by the entry's offset, so each file's entries come in file order.
void SortListing(CFindings& rows, const std::vector<const CPluginFile*>& files);

// Worker operation 9 (and 10 after extraction): the editor pane's new rows,
// sorted; after a stop, stopped with the rows listed before it, and none
// when the stop flag was already set. Progress "Setting
// up Editor - N% complete" is reported each time the percentage changes,
// from 0 % to 100 %, with a step total of one per report.
CPaneFindings RunEditorSetUp(const CEditorSetUpInputs& inputs);

}  // namespace vantor
