#pragma once
// After the editor's "Delete Entry": the rows of the three result lists that
// show the deleted entry, found without a widget.
#include <string>
#include <vector>

#include "document/ResultTable.h"

namespace vantor {

// Data rows of a result table that show the entry: column 0 holds its record
// type, column 2 its ID and a file column its file name (column 3 or 4 in
// the conflict list, column 3 in the others). Every such row counts: one
// entry can have a deleted row and an unclean or global-change row at once,
// and none of them may stay behind pointing at a record that is gone.
std::vector<std::size_t> RowsShowingEntry(const CResultTable& table, EPane pane, const std::string& file,
                                          const std::string& tag, const std::string& id);

// Takes those rows out of the table; returns how many went.
std::size_t RemoveEntryRows(CResultTable& table, EPane pane, const std::string& file, const std::string& tag,
                            const std::string& id);

}  // namespace vantor
