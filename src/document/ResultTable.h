#pragma once
// One result pane's content: its header and its rows, each row a finding
// that points at its entry. The texts a pane shows are made here, when they
// are shown or written, by the Qt model, the command line and the results
// log alike; a row itself costs a few dozen bytes.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "checks/Finding.h"
#include "format/PluginFile.h"
#include "platform/Cache.h"

namespace vantor {

enum class EPane { All = 0, Conflict = 1, Warning = 2, Editor = 3 };

// A file the rows name, kept alive as long as they are.
using CFileRef = std::shared_ptr<const CPluginFile>;

// One entry of one file, as a row or an editor window holds it.
struct CEntryRef {
    CFileRef m_file;
    const CEntry* m_entry = nullptr;
    std::uint8_t m_table = 0;
    explicit operator bool() const { return m_file && m_entry; }
};

class CResultTable {
public:
    std::vector<std::string> m_header;
    std::vector<CFileRef> m_files;  // what the rows' file indexes name
    CFindings m_rows;
    // The descriptions of rows that carry their own (a cleaned cell's
    // counts), by the row's entry.
    std::unordered_map<const CEntry*, std::string> m_descriptions;

    std::size_t ColumnCount() const { return m_header.size(); }
    std::size_t RowCount() const { return m_rows.size(); }
    void Clear() { m_rows.clear(); }

    // A cell's text as the pane shows it: the plugin's bytes (Windows-1252),
    // "" outside the table.
    std::string_view Cell(std::size_t row, std::size_t column) const;
    // Every cell of `count` rows from `first` at once, row after row into
    // `cells` (ColumnCount() a row), for writing a list out: the rows are
    // walked, not each looked up, and the entries of the rows just ahead
    // are fetched into the cache meanwhile. Rows outside the table are "".
    void RowCells(std::size_t first, std::size_t count, std::string_view* cells) const;
    std::vector<std::string> RowTexts(std::size_t row) const;
    // The cell a row would show in this table, whether or not it is one of
    // its rows: a row on its way out that names this table's files.
    std::string_view CellOf(const CFinding& f, std::size_t column) const;
    // The entry a file column of a row shows: a conflict's overriding and
    // overridden plugins and its original master; a row's plugin and its
    // original master. None for the other columns, "None" cells and files
    // that are gone.
    CEntryRef EntryAt(std::size_t row, std::size_t column) const;
    // Rows that show the entry in a plugin column: a conflict's two, the
    // others' "Esp File".
    std::set<std::size_t> RowsShowing(const CEntry* entry) const;
    void RemoveRows(const std::set<std::size_t>& rows);

    // Stable sort by one column's text, byte order; descending reverses it.
    void SortByColumn(std::size_t column, bool descending = false);
    // The same in two steps, so the slow one can run beside the window: the
    // order such a sort gives (row order[k] comes k-th), which only reads
    // the table, and empty once `cancel` is set...
    std::vector<std::uint32_t> SortedOrder(std::size_t column, bool descending,
                                           const std::atomic<bool>* cancel = nullptr) const;
    // ...and the rows put into an order of that kind.
    void Reorder(std::vector<std::uint32_t> order);

private:
    const CPluginFile* File(CFileIndex index) const;
    std::string_view NameOf(CFileIndex index) const;  // "" for no file
    template <class FNameOf>
    std::string_view CellOf(const CFinding& f, std::size_t column, FNameOf&& nameOf) const;
};

// Walks a list of findings a few rows ahead of the row being written,
// asking for each entry and then, once it is there, its ID: a list of
// millions points at entries anywhere in memory, and an ID lies behind its
// entry. Next() once a row.
class CEntriesAhead {
public:
    CEntriesAhead(CFindings::const_iterator row, CFindings::const_iterator end)
        : m_entry(Ahead(row, end, kAhead)), m_id(Ahead(row, end, kAhead / 2)), m_end(end) {}
    void Next() {
        if (m_entry != m_end) platform::Prefetch((m_entry++)->m_entry);
        if (m_id != m_end)
            if (const CEntry* ahead = (m_id++)->m_entry) platform::Prefetch(ahead->IdText().data());
    }

private:
    static constexpr std::ptrdiff_t kAhead = 16;
    static CFindings::const_iterator Ahead(CFindings::const_iterator row, CFindings::const_iterator end,
                                           std::ptrdiff_t n) {
        return row + std::min(n, end - row);
    }
    CFindings::const_iterator m_entry, m_id, m_end;
};

using CTablePtr = std::shared_ptr<CResultTable>;

// The tables of the three result panes, with their headers and no rows.
CResultTable ConflictTableHeader();
CResultTable WarningTableHeader();
CResultTable EditorTableHeader();
CResultTable PaneTableHeader(EPane pane);

}  // namespace vantor
