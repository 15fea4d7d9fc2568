#include "checks/RecordConflicts.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "editor/EntryRows.h"
#include "engine/UserLink.h"
#include "platform/Text.h"

namespace vantor {

namespace {

const std::size_t kInfoTable = std::size_t(CPluginFile::TagIndex("INFO"));

ERecordAgreement AgreementOf(const CRecordGroup& group) {
    const CEntry& winner = *group.Winner().m_entry;
    bool agree = true;
    for (const CRecordCopy& copy : group.m_copies) {
        if (copy.m_entry->m_dataDropped) return ERecordAgreement::NotRead;
        agree = agree && copy.m_entry->SameRecordAs(winner);
    }
    return agree ? ERecordAgreement::Agreeing : ERecordAgreement::Conflict;
}

}  // namespace

std::vector<CRecordConflict> FindRecordConflicts(const std::vector<CPluginFile*>& plugins,
                                                 const std::vector<CPluginFile*>& masters, CFileAges& ages,
                                                 const CCheckSwitches& types, const std::atomic<std::int32_t>& stop,
                                                 CUserLink* link, const CPluginFile* versus) {
    const auto stopped = [&] { return stop.load(std::memory_order_relaxed) != 0; };
    const std::string prefix = "Checking Record Conflicts ";
    std::string text = prefix + "0% complete";
    const auto report = [&](int total) {
        if (link && !stopped()) link->Progress(text, total);
    };
    report(100);

    std::vector<CRecordGroup> groups = CollectRecordGroups(plugins, masters, ages, 2, stop);
    std::vector<CRecordConflict> conflicts;
    std::size_t done = 0;
    int lastPercent = 0;
    for (CRecordGroup& group : groups) {
        if (stopped()) break;
        const int percent = int(++done * 100 / groups.size());
        if (percent != lastPercent) {
            lastPercent = percent;
            text = platform::PercentText(prefix, done, groups.size());
            report(100);
        }
        // The pair list's types: those switched on, and never cells, topics
        // or landscape textures (which have no check index).
        const int check = CheckIndexOf(CPluginFile::kTags[group.m_table]);
        if (check < 0 || types[std::size_t(check)] != 1) continue;
        if (versus && std::none_of(group.m_copies.begin(), group.m_copies.end(),
                                   [&](const CRecordCopy& c) { return c.m_file == versus; }))
            continue;
        const ERecordAgreement agreement = AgreementOf(group);
        conflicts.push_back({std::move(group), agreement});
    }
    report(0);
    return conflicts;
}

std::size_t CopyCount(const std::vector<CRecordConflict>& conflicts) {
    std::size_t n = 0;
    for (const CRecordConflict& c : conflicts) n += c.m_group.m_copies.size();
    return n;
}

CRecordComparison::CRecordComparison(const CRecordConflict& conflict)
    : m_recordTag(CPluginFile::kTags[conflict.m_group.m_table]) {
    const CRecordGroup& group = conflict.m_group;
    m_hasMaster = group.m_master.has_value();
    if (m_hasMaster) {
        m_files.push_back(group.m_master->m_file);
        m_entries.push_back(group.m_master->m_entry);
    }
    for (const CRecordCopy& copy : group.m_copies) {
        m_files.push_back(copy.m_file);
        m_entries.push_back(copy.m_entry);
    }
    const std::size_t columns = m_files.size();
    m_subs.resize(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const CEntry& entry = *m_entries[c];
        if (entry.m_dataDropped) continue;
        // A response's place in its chain is part of it, though the reader
        // keeps it apart from the data.
        if (group.m_table == kInfoTable)
            m_subs[c] = {{"PNAM", std::string(entry.PrevInfo().View())}, {"NNAM", std::string(entry.NextInfo().View())}};
        SplitSubRecords(entry.Data(), m_subs[c]);
    }

    // Lines in the order the columns first hold them, the master's first.
    std::map<std::tuple<std::string, std::uint32_t, std::string_view>, std::size_t> lineOf;
    // Per column: each line it holds, with its subrecord and field.
    std::vector<std::vector<std::tuple<std::size_t, std::int32_t, const CField*>>> byColumn(columns);
    std::map<std::string, bool> repeatedTag;
    for (std::size_t c = 0; c < columns; ++c) {
        std::map<std::string, std::uint32_t> seen;
        for (std::size_t s = 0; s < m_subs[c].size(); ++s) {
            const CSubRecord& sub = m_subs[c][s];
            const std::uint32_t occurrence = seen[sub.m_tag]++;
            if (occurrence > 0) repeatedTag[sub.m_tag] = true;
            const auto place = [&](std::string_view field, const CField* f) {
                auto [it, added] = lineOf.try_emplace({sub.m_tag, occurrence, field}, m_lines.size());
                if (added) m_lines.push_back({sub.m_tag, occurrence, field});
                byColumn[c].emplace_back(it->second, std::int32_t(s), f);
            };
            if (const CFieldLayout* layout = FindFieldLayout(m_recordTag, sub.m_tag, sub.m_payload.size()))
                for (const CField& field : layout->m_fields) place(field.m_name, &field);
            else
                place({}, nullptr);
        }
    }
    m_cells.assign(m_lines.size() * columns, CCell{});
    for (std::size_t c = 0; c < columns; ++c)
        for (const auto& [line, sub, field] : byColumn[c]) m_cells[line * columns + c] = CCell{sub, field, 0};
    for (const CLine& line : m_lines) m_repeated.push_back(repeatedTag.count(line.m_tag) > 0);

    const std::size_t winner = WinnerColumn();
    for (std::size_t l = 0; l < m_lines.size(); ++l)
        for (std::size_t c = 0; c < columns; ++c) {
            if (NotRead(c)) continue;
            std::uint8_t differs = 0;
            if (m_hasMaster && c != 0 && !NotRead(0) && !Same(l, c, 0)) differs |= kFromMaster;
            if (c != winner && !NotRead(winner) && !Same(l, c, winner)) differs |= kFromWinner;
            m_cells[l * columns + c].m_differs = differs;
        }
}

bool CRecordComparison::Same(std::size_t line, std::size_t a, std::size_t b) const {
    const CCell& x = Cell(line, a);
    const CCell& y = Cell(line, b);
    if (x.m_sub < 0 || y.m_sub < 0) return x.m_sub == y.m_sub;
    const std::string& p = m_subs[a][std::size_t(x.m_sub)].m_payload;
    const std::string& q = m_subs[b][std::size_t(y.m_sub)].m_payload;
    if (!x.m_field) return p == q;
    // The long and the short form of an NPC's data share some field names
    // at other places: those compare by value.
    if (x.m_field->m_offset == y.m_field->m_offset && x.m_field->m_type == y.m_field->m_type)
        return SameField(*x.m_field, p, q);
    return FieldText(*x.m_field, p) == FieldText(*y.m_field, q);
}

std::string CRecordComparison::LineName(std::size_t line) const {
    const CLine& l = m_lines[line];
    std::string name = l.m_tag;
    if (m_repeated[line]) name += "[" + std::to_string(l.m_occurrence + 1) + "]";
    if (!l.m_field.empty()) name += "." + std::string(l.m_field);
    return name;
}

std::string CRecordComparison::Text(std::size_t line, std::size_t column) const {
    const CCell& cell = Cell(line, column);
    if (cell.m_sub < 0) return {};
    const CSubRecord& sub = m_subs[column][std::size_t(cell.m_sub)];
    if (cell.m_field) return FieldText(*cell.m_field, sub.m_payload);
    return MakeRow(m_recordTag, sub.m_tag, sub.m_payload).m_data;
}

std::vector<std::size_t> CRecordComparison::Changed(std::size_t column, std::uint8_t from) const {
    std::vector<std::size_t> lines;
    for (std::size_t l = 0; l < m_lines.size(); ++l)
        if (Cell(l, column).m_differs & from) lines.push_back(l);
    return lines;
}

std::vector<std::size_t> CRecordComparison::Contested() const {
    std::vector<std::size_t> lines;
    const std::size_t first = m_hasMaster ? 1 : 0;
    for (std::size_t l = 0; l < m_lines.size(); ++l)
        for (std::size_t c = first; c < ColumnCount(); ++c)
            if (Cell(l, c).m_differs & kFromWinner) {
                lines.push_back(l);
                break;
            }
    return lines;
}

std::string CRecordComparison::Names(const std::vector<std::size_t>& lines) const {
    std::string text;
    std::string open;  // the subrecord whose fields are being listed
    for (std::size_t l : lines) {
        const CLine& line = m_lines[l];
        std::string sub = line.m_tag;
        if (m_repeated[l]) sub += "[" + std::to_string(line.m_occurrence + 1) + "]";
        if (!line.m_field.empty() && sub == open) {
            text += ", " + std::string(line.m_field);
            continue;
        }
        if (!open.empty()) text += ")";
        open.clear();
        if (!text.empty()) text += ", ";
        text += sub;
        if (!line.m_field.empty()) {
            text += " (" + std::string(line.m_field);
            open = sub;
        }
    }
    if (!open.empty()) text += ")";
    return text;
}

}  // namespace vantor
