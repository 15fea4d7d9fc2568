#include "EntryActions.h"

#include <algorithm>

#include "format/SubRecord.h"
#include "document/VANTORDoc.h"

namespace vantor {

namespace {

const std::string& Cell(const CResultTable& table, int row, int column) {
    static const std::string kEmpty;
    if (row < 0 || std::size_t(row) >= table.m_rows.size() || column < 0) return kEmpty;
    const auto& cells = table.m_rows[std::size_t(row)];
    return std::size_t(column) < cells.size() ? cells[std::size_t(column)].m_text : kEmpty;
}

int OtherFileColumn(EPane pane, int column) {
    if (pane == EPane::Conflict) {
        if (column == 3) return 4;
        if (column == 4) return 3;
        if (column == 5) return 5;
        return 3;
    }
    return column == 3 ? 4 : 3;
}

}  // namespace

int MasterColumn(EPane pane) { return pane == EPane::Conflict ? 5 : 4; }

std::optional<CEntryOpenRequest> ResolveDoubleClick(CVANTORDoc& doc, EPane pane, const CResultTable& table, int row,
                                                    int column) {
    if (pane == EPane::All || row < 0 || std::size_t(row) >= table.m_rows.size()) return std::nullopt;
    const std::string& file = Cell(table, row, column);
    const std::string& tag = Cell(table, row, 0);
    const std::string& id = Cell(table, row, 2);
    const std::string& other = Cell(table, row, OtherFileColumn(pane, column));
    const bool masters = column == MasterColumn(pane);

    const CEntry* entry = doc.FindEntry(file, id, tag, masters);
    if (!entry) return std::nullopt;
    const CEntry* compare = doc.FindEntry(other, id, tag, masters);
    // The warning and editor lists open an entry whose master is "None"
    // against its own bytes; the conflict list always has two files.
    if (!compare && pane == EPane::Conflict) return std::nullopt;
    if (!compare) compare = entry;

    if (!doc.FindLoadedFile(file, masters)) return std::nullopt;
    CEntryOpenRequest request;
    request.m_pane = pane;
    request.m_tag = tag;
    request.m_id = id;
    request.m_file = file;
    request.m_masters = masters;
    request.m_viewOnly = masters;
    request.m_title = file + " - " + id;
    request.m_data = std::string(entry->Data());
    request.m_compare = std::string(compare->Data());
    SplitSubRecords(request.m_data, request.m_tags, request.m_payloads);
    return request;
}

CDeleteOutcome DeleteSelectedEntries(EPane pane, const CResultTable& table, const std::set<std::pair<int, int>>& selected,
                                     const CDeleteEntryFn& deleteEntry, const CCloseEditorFn& closeEditor) {
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

    struct CTriple {
        std::string m_file, m_tag, m_id;
    };
    std::vector<CTriple> deleted;
    for (int r = bottom; r >= top; --r) {
        if (!selected.count({r, column})) continue;
        CTriple t{Cell(table, r, column), Cell(table, r, 0), Cell(table, r, 2)};
        closeEditor(t.m_file + " - " + t.m_id);
        if (deleteEntry(t.m_file, t.m_tag, t.m_id, deleted.empty())) deleted.push_back(std::move(t));
    }
    outcome.m_deleted = int(deleted.size());

    for (std::size_t r = 0; r < table.m_rows.size(); ++r) {
        const int row = int(r);
        for (const auto& t : deleted) {
            if (Cell(table, row, 0) != t.m_tag || Cell(table, row, 2) != t.m_id) continue;
            const bool inFile = Cell(table, row, 3) == t.m_file || (pane == EPane::Conflict && Cell(table, row, 4) == t.m_file);
            if (inFile) {
                outcome.m_rows.insert(row);
                break;
            }
        }
    }
    return outcome;
}

}  // namespace vantor
