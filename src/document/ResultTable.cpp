#include "document/ResultTable.h"

#include <algorithm>
#include <array>

#include "checks/CheckOperations.h"
#include "checks/PluginChecker.h"
#include "platform/Cache.h"

namespace vantor {

namespace {

constexpr std::string_view kNone = "None";

// The description texts of every table and kind of finding, made once.
struct CTexts {
    std::array<std::string, CPluginFile::kTableCount> m_plain, m_conflict, m_deleted, m_unclean, m_modified;
    CTexts() {
        const std::string dele = CPluginChecker::GetDescription("DELE");
        const std::string uncl = CPluginChecker::GetDescription("UNCL");
        const std::string gchg = CPluginChecker::GetDescription("GCHG");
        const std::string pote = CPluginChecker::GetDescription("POTE");
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            const std::string description = CPluginChecker::GetDescription(tag);
            m_plain[t] = description;
            // Landscape entries of one ID are always reported, as potential conflicts.
            m_conflict[t] = kRecordTypes[t].IsLandscape() ? description + " " + pote : description;
            m_deleted[t] = description + " " + dele;
            m_unclean[t] = description + " " + uncl;
            m_modified[t] = description + " " + gchg;
        }
    }
    std::string_view Of(const CFinding& f) const {
        switch (f.m_kind) {
            case EFinding::Conflict: return m_conflict[f.m_table];
            case EFinding::Deleted: return m_deleted[f.m_table];
            case EFinding::Unclean: return m_unclean[f.m_table];
            case EFinding::GlobalChange: return m_modified[f.m_table];
            default: return m_plain[f.m_table];
        }
    }
};

const CTexts& Texts() {
    static const CTexts texts;
    return texts;
}

bool InMaster(const CFinding& f) { return f.m_kind == EFinding::FoundInMaster || f.m_kind == EFinding::ListedMaster; }

// The first entry of the ID in one table of a file, as a lookup by name
// would find it.
const CEntry* FirstEntry(const CPluginFile& file, std::size_t table, std::string_view id) {
    for (const auto& e : file.Table(table))
        if (e->IdText() == id) return e.get();
    return nullptr;
}

}  // namespace

const CPluginFile* CResultTable::File(CFileIndex index) const {
    return index < m_files.size() ? m_files[index].get() : nullptr;
}

std::string_view CResultTable::Cell(std::size_t row, std::size_t column) const {
    if (row >= m_rows.size() || column >= m_header.size()) return {};
    return CellOf(m_rows[row], column);
}

void CResultTable::RowCells(std::size_t first, std::size_t count, std::string_view* cells) const {
    // The entries of the rows ahead are asked for meanwhile (CEntriesAhead).
    // The list's blocks lie anywhere too, so the rows further ahead are
    // asked for as well.
    const std::size_t columns = m_header.size();
    const std::size_t size = m_rows.size();
    const std::size_t have = first < size ? std::min(count, size - first) : 0;
    std::fill(cells + have * columns, cells + count * columns, std::string_view());
    if (have == 0) return;
    constexpr std::size_t kRowsAhead = 64;
    const auto at = [&](std::size_t row) { return m_rows.cbegin() + std::ptrdiff_t(std::min(row, size)); };
    auto row = at(first), rowAhead = at(first + kRowsAhead);
    const auto end = m_rows.cend();
    CEntriesAhead ahead(row, end);
    // The rows name the same few files again and again: a name is looked up
    // in its file once for a run of rows, not once a cell.
    struct CName {
        CFileIndex m_index = kNoFile;
        std::string_view m_name;
    };
    std::array<CName, 64> names{};
    const auto nameOf = [&](CFileIndex index) {
        CName& name = names[index % names.size()];
        if (name.m_index != index) name = {index, NameOf(index)};
        return name.m_name;
    };
    for (std::size_t k = 0; k < have; ++k, ++row) {
        if (rowAhead != end) platform::Prefetch(&*rowAhead++);
        ahead.Next();
        for (std::size_t c = 0; c < columns; ++c) cells[k * columns + c] = CellOf(*row, c, nameOf);
    }
}

std::string_view CResultTable::NameOf(CFileIndex index) const {
    const CPluginFile* file = File(index);
    return file ? std::string_view(file->FileName()) : std::string_view();
}

std::string_view CResultTable::CellOf(const CFinding& f, std::size_t column) const {
    return CellOf(f, column, [this](CFileIndex index) { return NameOf(index); });
}

template <class FNameOf>
std::string_view CResultTable::CellOf(const CFinding& f, std::size_t column, FNameOf&& nameOf) const {
    // A master's name, or "None" for no master (or a nameless one).
    auto masterOf = [&](CFileIndex index) {
        const std::string_view name = nameOf(index);
        return name.empty() ? kNone : name;
    };
    switch (column) {
        case 0: return CPluginFile::kTags[f.m_table];
        case 1:
            if (f.m_kind == EFinding::CellClean)
                if (auto it = m_descriptions.find(f.m_entry); it != m_descriptions.end()) return it->second;
            return Texts().Of(f);
        case 2: return f.m_entry ? f.m_entry->IdText() : std::string_view();
        case 3: return InMaster(f) ? kNone : nameOf(f.m_file);
        case 4:
            if (f.m_kind == EFinding::Conflict) return nameOf(f.m_otherFile);
            if (f.m_kind == EFinding::ListedMaster) return nameOf(f.m_file);
            return masterOf(f.m_kind == EFinding::FoundInMaster ? f.m_file : f.m_original);
        case 5: return f.m_kind == EFinding::Conflict ? masterOf(f.m_original) : std::string_view();
        default: return {};
    }
}

std::vector<std::string> CResultTable::RowTexts(std::size_t row) const {
    std::vector<std::string> texts;
    for (std::size_t c = 0; c < ColumnCount(); ++c) texts.emplace_back(Cell(row, c));
    return texts;
}

CEntryRef CResultTable::EntryAt(std::size_t row, std::size_t column) const {
    if (row >= m_rows.size()) return {};
    const CFinding& f = m_rows[row];
    auto at = [&](CFileIndex index, const CEntry* entry) -> CEntryRef {
        if (index >= m_files.size() || !entry) return {};
        return {m_files[index], entry, f.m_table};
    };
    auto original = [&]() -> CEntryRef {
        const CPluginFile* master = File(f.m_original);
        return master && f.m_entry ? at(f.m_original, FirstEntry(*master, f.m_table, f.m_entry->IdText())) : CEntryRef{};
    };
    const bool conflict = f.m_kind == EFinding::Conflict;
    if (column == 3) return InMaster(f) ? CEntryRef{} : at(f.m_file, f.m_entry);
    if (column == 4) return conflict ? at(f.m_otherFile, f.m_other) : InMaster(f) ? at(f.m_file, f.m_entry) : original();
    if (column == 5 && conflict) return original();
    return {};
}

std::set<std::size_t> CResultTable::RowsShowing(const CEntry* entry) const {
    std::set<std::size_t> rows;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const CFinding& f = m_rows[r];
        if (InMaster(f)) continue;
        if (f.m_entry == entry || (f.m_kind == EFinding::Conflict && f.m_other == entry)) rows.insert(r);
    }
    return rows;
}

void CResultTable::RemoveRows(const std::set<std::size_t>& rows) {
    if (rows.empty()) return;
    std::size_t kept = 0;
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        if (!rows.count(r)) m_rows[kept++] = m_rows[r];
    m_rows.resize(kept);
}

void CResultTable::SortByColumn(std::size_t column, bool descending) { Reorder(SortedOrder(column, descending)); }

std::vector<std::uint32_t> CResultTable::SortedOrder(std::size_t column, bool descending,
                                                     const std::atomic<bool>* cancel) const {
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    // Each row's text is found once and sorted beside its row number, not
    // the rows themselves: a comparison then reads neither rows nor entries.
    struct CKeyed {
        std::string_view m_key;
        std::uint32_t m_row;
    };
    std::vector<CKeyed> keyed(m_rows.size());
    for (std::size_t r = 0; r < keyed.size(); ++r) keyed[r] = {CellOf(m_rows[r], column), std::uint32_t(r)};
    if (cancelled()) return {};
    // Once cancelled every pair compares equal, so the sort runs out at once.
    std::stable_sort(keyed.begin(), keyed.end(), [&](const CKeyed& a, const CKeyed& b) {
        if (cancelled()) return false;
        return descending ? b.m_key < a.m_key : a.m_key < b.m_key;
    });
    if (cancelled()) return {};
    std::vector<std::uint32_t> order(keyed.size());
    for (std::size_t k = 0; k < keyed.size(); ++k) order[k] = keyed[k].m_row;
    return order;
}

void CResultTable::Reorder(std::vector<std::uint32_t> order) {
    if (order.size() != m_rows.size()) return;
    std::vector<std::uint32_t> place(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) place[order[k]] = std::uint32_t(k);
    order = {};
    Permute(m_rows, place);
}

CResultTable PaneTableHeader(EPane pane) {
    switch (pane) {
        case EPane::Conflict: return {{"ID", "Conflict", "Name", "Overriding Esp File", "Esp File", "Original File"}, {}, {}, {}};
        case EPane::Warning: return {{"ID", "Warning", "Name", "Esp File", "Original File"}, {}, {}, {}};
        case EPane::Editor: return {{"ID", "Entry Type", "Name", "Esp File", "Original File"}, {}, {}, {}};
        case EPane::All: break;
    }
    return {};
}

CResultTable ConflictTableHeader() { return PaneTableHeader(EPane::Conflict); }
CResultTable WarningTableHeader() { return PaneTableHeader(EPane::Warning); }
CResultTable EditorTableHeader() { return PaneTableHeader(EPane::Editor); }

}  // namespace vantor
