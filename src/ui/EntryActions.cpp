#include "EntryActions.h"

#include <algorithm>

#include "format/SubRecord.h"
#include "document/VANTORDoc.h"

namespace vantor {

namespace {

// The file column whose entry is compared with a double-clicked one: a
// conflict's other plugin; the entry itself everywhere else.
int CompareColumn(EPane pane, int column) {
    if (pane != EPane::Conflict) return column;
    return column == 3 ? 4 : column == 4 ? 3 : column;
}

// Whether the entry is still loaded and in its table.
bool StillThere(const CVANTORDoc& doc, const CEntryRef& ref, bool masters) {
    if (!ref || !doc.IsLoaded(ref.m_file, masters) || ref.m_table >= CPluginFile::kTableCount) return false;
    const auto& table = ref.m_file->Table(ref.m_table);
    return std::any_of(table.begin(), table.end(), [&](const auto& e) { return e.get() == ref.m_entry; });
}

}  // namespace

int MasterColumn(EPane pane) { return pane == EPane::Conflict ? 5 : 4; }

std::optional<CEntryOpenRequest> ResolveDoubleClick(CVANTORDoc& doc, EPane pane, const CResultTable& table, int row,
                                                    int column) {
    if (pane == EPane::All || row < 0 || column < 0 || std::size_t(row) >= table.RowCount()) return std::nullopt;
    const bool masters = column == MasterColumn(pane);
    const CEntryRef entry = table.EntryAt(std::size_t(row), std::size_t(column));
    const CEntryRef compare = table.EntryAt(std::size_t(row), std::size_t(CompareColumn(pane, column)));
    // The conflict list always has two files.
    if (pane == EPane::Conflict && !StillThere(doc, compare, masters)) return std::nullopt;
    return EntryOpenRequest(doc, pane, entry, compare, masters);
}

std::optional<CEntryOpenRequest> EntryOpenRequest(const CVANTORDoc& doc, EPane pane, const CEntryRef& entry,
                                                  const CEntryRef& compare, bool masters) {
    if (!StillThere(doc, entry, masters)) return std::nullopt;
    CEntryOpenRequest request;
    request.m_pane = pane;
    request.m_entry = entry;
    request.m_tag = std::string(CPluginFile::kTags[entry.m_table]);
    request.m_id = std::string(entry.m_entry->IdText());
    request.m_file = entry.m_file->FileName();
    request.m_masters = masters;
    request.m_viewOnly = masters;
    request.m_title = request.m_file + " - " + request.m_id;
    request.m_data = std::string(entry.m_entry->Data());
    request.m_compare = std::string((compare ? compare : entry).m_entry->Data());
    SplitSubRecords(request.m_data, request.m_subRecords);
    return request;
}

CDeleteOutcome DeleteSelectedEntries(EPane pane, const CResultTable& table, const std::set<std::pair<int, int>>& selected,
                                     const CDeleteEntryFn& deleteEntry, const CCloseEditorFn& closeEditor,
                                     const CDeleteEntryFn& cleanCell) {
    CDeleteOutcome outcome;
    if (selected.empty() || pane == EPane::All) return outcome;
    int column = 3;
    if (pane == EPane::Conflict) {
        std::set<int> columns;
        for (const auto& cell : selected) columns.insert(cell.second);
        if (columns.size() > 1) {
            outcome.m_refused = true;
            return outcome;
        }
        column = *columns.begin();
    }
    int top = selected.begin()->first, bottom = top;
    for (const auto& cell : selected) {
        top = std::min(top, cell.first);
        bottom = std::max(bottom, cell.first);
    }

    std::vector<const CEntry*> deleted;
    for (int r = bottom; r >= top; --r) {
        if (r < 0 || !selected.count({r, column})) continue;
        // Such a row stands for cleaning its cell, never for deleting it.
        const bool cellRow = std::size_t(r) < table.RowCount() && table.m_rows[std::size_t(r)].m_kind == EFinding::CellClean;
        if (cellRow && !cleanCell) continue;
        // A cell that shows no plugin's entry is still offered to the
        // document, which says "Filename not Found.".
        const CEntryRef entry = table.EntryAt(std::size_t(r), std::size_t(column));
        if (entry) closeEditor(entry.m_file->FileName() + " - " + std::string(entry.m_entry->IdText()));
        if ((cellRow ? cleanCell : deleteEntry)(entry, deleted.empty())) deleted.push_back(entry.m_entry);
    }
    outcome.m_deleted = int(deleted.size());
    for (const CEntry* entry : deleted)
        for (std::size_t r : table.RowsShowing(entry)) outcome.m_rows.insert(int(r));
    return outcome;
}

}  // namespace vantor
