#pragma once
// The editor set-up: lists every entry of the loaded plugins, of the found
// masters, or of one of them, in the editor pane ("View All Esp Data",
// "View All Esm Data", "View File Data" in its "View All Data" mode).
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checks/FileAges.h"
#include "format/PluginFile.h"
#include "document/ResultTable.h"

namespace vantor {

class CFrameLink;

struct CEditorSetUpInputs {
    // Document order: newest extraction batch first, the loaded master last.
    std::vector<CPluginFile*> loadedPlugins;
    // Document order: each master read is inserted at the front.
    std::vector<CPluginFile*> foundMasters;
    std::int32_t viewMasters = 0;  // 1: list the masters
    std::string viewFile;          // "" = every listed file
    const std::atomic<std::int32_t>* stop = nullptr;
    CFrameLink* link = nullptr;
    CFileAges* ages = nullptr;  // the files' last-write times when none
};

// The file column of the listing: 3 ("Esp File") for plugins, 4 ("Original
// File") for masters. Its cells carry the entry's offset in its file as their
// item value.
inline std::size_t ListingFileColumn(std::int32_t viewMasters) { return viewMasters ? 4 : 3; }

// Sorts a listing by its file column's text (bytes, case significant) and,
// within one file, by offset, so each file's entries come in file order.
void SortListing(CResultTable& table, std::size_t fileColumn);

// Worker operation 9 (and 10 after extraction): the editor pane's new table,
// sorted, or nullopt when the stop flag was already set. Progress "Setting
// up Editor - N% complete" is reported each time the percentage changes,
// from 0 % to 100 %, with a step total of one per report.
std::optional<CResultTable> RunEditorSetUp(const CEditorSetUpInputs& inputs);

}  // namespace vantor
