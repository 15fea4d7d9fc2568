#include "document/ResultTable.h"

#include <algorithm>

namespace vantor {

void CResultTable::AddRow(const std::vector<std::string>& texts) {
    std::vector<CResultCell> row;
    row.reserve(texts.size());
    for (const auto& t : texts) row.push_back({t, 0});
    m_rows.push_back(std::move(row));
}

void CResultTable::SortByColumn(std::size_t column, bool descending) {
    auto text = [column](const std::vector<CResultCell>& row) -> const std::string& {
        static const std::string kEmpty;
        return column < row.size() ? row[column].m_text : kEmpty;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const auto& a, const auto& b) {
        return descending ? text(b) < text(a) : text(a) < text(b);
    });
}

CResultTable ConflictTableHeader() {
    return {{"ID", "Conflict", "Name", "Overriding Esp File", "Esp File", "Original File"}, {}};
}
CResultTable WarningTableHeader() { return {{"ID", "Warning", "Name", "Esp File", "Original File"}, {}}; }
CResultTable EditorTableHeader() { return {{"ID", "Entry Type", "Name", "Esp File", "Original File"}, {}}; }

}  // namespace vantor
