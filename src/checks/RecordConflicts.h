#pragma once
// Conflicts by record: one finding per record that two or more plugins hold,
// with every copy in load order, the winner and the master copy it is
// measured against, instead of one row per pair of plugins. What each copy
// changes is worked out per record on demand (CompareRecord), so a load
// order of a thousand plugins costs memory by its records, never by its
// pairs.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/CheckIndex.h"
#include "checks/RecordCopies.h"
#include "format/FieldLayout.h"
#include "format/SubRecord.h"

namespace vantor {

class CUserLink;

enum class ERecordAgreement : std::uint8_t {
    Conflict,  // the plugins' copies differ: the winner's is what the game loads
    Agreeing,  // every plugin holds the very same record: an agreeing override
    NotRead,   // a copy's data was not read (its extraction option is off): not compared
};

struct CRecordConflict {
    CRecordGroup m_group;
    ERecordAgreement m_agreement = ERecordAgreement::Conflict;
};

// The records of the types switched on in `types` (the conflict switches;
// cells, topics and landscape textures never) that at least two of the
// plugins hold, in the order of CollectRecordGroups. With `versus` only the
// records that plugin holds (Single Versus). Progress goes to `link`; a stop
// request ends it early with what was found so far.
std::vector<CRecordConflict> FindRecordConflicts(const std::vector<CPluginFile*>& plugins,
                                                 const std::vector<CPluginFile*>& masters, CFileAges& ages,
                                                 const CCheckSwitches& types, const std::atomic<std::int32_t>& stop,
                                                 CUserLink* link = nullptr, const CPluginFile* versus = nullptr);

// How many plugins' copies a finding holds in total, for sizing.
std::size_t CopyCount(const std::vector<CRecordConflict>& conflicts);

// One record's copies side by side: its columns are the master's copy (when
// there is one) and then every plugin's in load order; its lines are the
// subrecords, matched by tag and by occurrence among those of the tag (the
// second NPCO with the second NPCO), as a modder reads a record, the data
// blocks with named fields one line per field. A response's place in its
// chain (PNAM, NNAM) is a line too.
class CRecordComparison {
public:
    static constexpr std::uint8_t kFromMaster = 1;  // the cell differs from the master's copy
    static constexpr std::uint8_t kFromWinner = 2;  // the cell differs from the winner's copy

    struct CLine {
        std::string m_tag;
        std::uint32_t m_occurrence = 0;  // 0 for the first subrecord of its tag
        std::string_view m_field;        // a data block's field; empty: the whole subrecord
    };

    explicit CRecordComparison(const CRecordConflict& conflict);

    std::size_t ColumnCount() const { return m_files.size(); }
    const CPluginFile& File(std::size_t column) const { return *m_files[column]; }
    const CEntry& Entry(std::size_t column) const { return *m_entries[column]; }
    bool HasMaster() const { return m_hasMaster; }
    std::size_t WinnerColumn() const { return m_files.size() - 1; }
    // The copy's data was not read: it has no values and is not compared.
    bool NotRead(std::size_t column) const { return m_entries[column]->m_dataDropped; }

    std::size_t LineCount() const { return m_lines.size(); }
    const CLine& Line(std::size_t line) const { return m_lines[line]; }
    // "NAME", "NPCO[2]" for a second one, "WPDT.Weight".
    std::string LineName(std::size_t line) const;
    bool Has(std::size_t line, std::size_t column) const { return Cell(line, column).m_sub >= 0; }
    // The value as the entry editor shows it (the plugin's bytes), or a
    // field's number; "" where the copy has no such subrecord.
    std::string Text(std::size_t line, std::size_t column) const;
    // kFromMaster and kFromWinner bits.
    std::uint8_t Differs(std::size_t line, std::size_t column) const { return Cell(line, column).m_differs; }

    // The lines where the column's copy differs from the master's copy, or
    // from the winner's (none for the master's and the winner's own).
    std::vector<std::size_t> Changed(std::size_t column, std::uint8_t from) const;
    // The lines where the plugins' copies do not all agree.
    std::vector<std::size_t> Contested() const;
    // Line names joined, fields grouped under their subrecord:
    // "FNAM, WPDT (Weight, Value)".
    std::string Names(const std::vector<std::size_t>& lines) const;

private:
    struct CCell {
        std::int32_t m_sub = -1;  // index among the column's subrecords; -1: absent
        const CField* m_field = nullptr;
        std::uint8_t m_differs = 0;
    };
    const CCell& Cell(std::size_t line, std::size_t column) const { return m_cells[line * m_files.size() + column]; }
    bool Same(std::size_t line, std::size_t a, std::size_t b) const;

    std::string_view m_recordTag;
    bool m_hasMaster = false;
    std::vector<const CPluginFile*> m_files;
    std::vector<const CEntry*> m_entries;
    std::vector<CSubRecords> m_subs;  // per column
    std::vector<CLine> m_lines;
    std::vector<CCell> m_cells;  // line-major
    std::vector<bool> m_repeated;  // per line: its tag occurs more than once in some copy
};

}  // namespace vantor
