#pragma once
// One result pane's content: a header row and data rows of texts, with an
// item value per cell (the editor listing sorts its file column by it).
#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

struct CResultCell {
    std::string m_text;  // bytes in the game's code page
    std::int64_t m_item = 0;
};

struct CResultTable {
    std::vector<std::string> m_header;
    std::vector<std::vector<CResultCell>> m_rows;

    void Clear() { m_rows.clear(); }
    std::size_t ColumnCount() const { return m_header.size(); }
    // Appends a row of plain texts (item values 0).
    void AddRow(const std::vector<std::string>& texts);
    // Stable sort by one column's text, byte order; descending reverses it.
    void SortByColumn(std::size_t column, bool descending = false);
};

// The header rows of the three result panes.
CResultTable ConflictTableHeader();
CResultTable WarningTableHeader();
CResultTable EditorTableHeader();

enum class EPane { All = 0, Conflict = 1, Warning = 2, Editor = 3 };

}  // namespace vantor
