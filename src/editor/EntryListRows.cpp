#include "editor/EntryListRows.h"

namespace vantor {

std::vector<std::size_t> RowsShowingEntry(const CResultTable& table, EPane pane, const std::string& file,
                                          const std::string& tag, const std::string& id) {
    auto cell = [](const std::vector<CResultCell>& row, std::size_t column) -> const std::string* {
        return column < row.size() ? &row[column].m_text : nullptr;
    };
    auto is = [&](const std::vector<CResultCell>& row, std::size_t column, const std::string& text) {
        const std::string* value = cell(row, column);
        return value && *value == text;
    };
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < table.m_rows.size(); ++r) {
        const auto& row = table.m_rows[r];
        if (!is(row, 0, tag) || !is(row, 2, id)) continue;
        if (is(row, 3, file) || (pane == EPane::Conflict && is(row, 4, file))) rows.push_back(r);
    }
    return rows;
}

std::size_t RemoveEntryRows(CResultTable& table, EPane pane, const std::string& file, const std::string& tag,
                            const std::string& id) {
    auto rows = RowsShowingEntry(table, pane, file, tag, id);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) table.m_rows.erase(table.m_rows.begin() + std::ptrdiff_t(*it));
    return rows.size();
}

}  // namespace vantor
