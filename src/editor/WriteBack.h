#pragma once
// "Write to ESP" without a window: the grid's rows turned back into a
// subrecord tag list and payload list, or refused at the first row that does
// not fit its type, with the message the user is shown.
#include <optional>
#include <string>
#include <vector>

#include "engine/UserLink.h"
#include "editor/EntryRows.h"
#include "format/SubRecord.h"

namespace vantor {

struct CWriteBack {
    bool m_ok = false;
    // The new subrecords, for the document's Update Entry; complete only
    // when m_ok is set.
    CSubRecords m_subRecords;
    // The grid row (1 for the first subrecord) that stopped the writing, so
    // the window can put the focus there; 0 when every row passed.
    int m_row = 0;
};

// Checks the rows in order. A refusal is told through `link` (an invalid
// row) and stops; so does a "No" to the questions asked about a hexadecimal
// row whose length changed or is odd.
CWriteBack WriteBackRows(const std::vector<CEntryRow>& rows, CUserLink& link);

// The payload of one row (grid row number `row`), or nullopt when it was
// refused or the user stopped it. The row's ID cell is not checked here.
std::optional<std::string> RowPayload(const CEntryRow& row, int rowNumber, CUserLink& link);

}  // namespace vantor
