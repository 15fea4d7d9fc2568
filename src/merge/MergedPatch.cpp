#include "merge/MergedPatch.h"

#include <algorithm>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "checks/RecordCopies.h"
#include "format/FieldLayout.h"
#include "format/LittleEndian.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "platform/Files.h"

namespace vantor::merge {

namespace {

constexpr std::string_view kMergedTypes[] = {"LEVI", "LEVC", "WEAP", "ARMO", "CLOT", "NPC_", "CREA", "SPEL", "ENCH", "ALCH"};

bool IsLeveled(std::string_view tag) { return tag == "LEVI" || tag == "LEVC"; }
bool HasInventory(std::string_view tag) { return tag == "NPC_" || tag == "CREA"; }

// IDs are matched as the game matches them, without regard to letter case.
std::string Folded(std::string_view id) {
    std::string key(UpToNul(id));
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return key;
}

// What a key of a record stands for and how it is written back.
enum class EKind : std::uint8_t {
    Whole,     // one subrecord, taken whole
    Field,     // one field of a data block with a layout
    Repeated,  // every subrecord whose tag repeats in some copy, in order, as one value
    Entry,     // a leveled list's entry: an ID at a level; the value is how often the list holds it
    Item,      // an inventory item; the value is its count
    Spell,     // a spell list's spell; the value is how often the list holds it
};

struct CKey {
    EKind m_kind = EKind::Whole;
    std::string m_tag;
    std::size_t m_field = 0;                   // Field: index in the layout
    const CFieldLayout* m_layout = nullptr;    // Field
    std::uint16_t m_level = 0;                 // Entry
    std::string m_text;                        // the key as compared
};

// One copy's value of a key, and the bytes it is written with: the ID as
// the copy spells it for list entries.
struct CValue {
    std::string m_bytes;
    std::string m_spelling;
};

// One copy of the record taken apart into keyed values; a key the copy does
// not have is absent (a list entry it does not hold: a count of zero).
struct CCopyFields {
    std::vector<std::size_t> m_order;  // key numbers in the copy's order
    std::unordered_map<std::size_t, CValue> m_values;
};

class CGroupMerge {
public:
    explicit CGroupMerge(std::string_view tag) : m_tag(tag) {}

    // Why the record cannot be merged, or "".
    std::string Decompose(const std::vector<const CEntry*>& copies) {
        std::vector<CSubRecords> subs(copies.size());
        for (std::size_t c = 0; c < copies.size(); ++c)
            if (!copies[c]->Data().empty() && !SplitSubRecords(*copies[c], subs[c])) return "a copy could not be read";
        // Tags that repeat in some copy are kept together; tags each copy
        // holds at most once are fields of their own. A data block whose
        // size differs between copies is a different form of the record
        // (an NPC whose stats the game calculates): such a record is left whole.
        std::unordered_map<std::string, std::size_t> sizes;
        for (const CSubRecords& list : subs) {
            std::unordered_map<std::string, int> count;
            for (const CSubRecord& s : list) {
                if (IsListTag(s.m_tag)) continue;
                if (++count[s.m_tag] > 1) m_repeated.insert(s.m_tag);
                if (FindLayoutTag(s.m_tag)) {
                    auto [it, added] = sizes.try_emplace(s.m_tag, s.m_payload.size());
                    if (!added && it->second != s.m_payload.size())
                        return "its copies hold the " + s.m_tag + " data in different forms";
                }
            }
        }
        m_copies.resize(copies.size());
        for (std::size_t c = 0; c < copies.size(); ++c)
            if (!Take(subs[c], m_copies[c])) return "a list entry has no level";
        return {};
    }

    // The merged values; sources for every key a plugin changed. `files`
    // are the copies' files (the base first).
    void Merge(const std::vector<const CPluginFile*>& files, std::vector<CFieldSource>& sources) {
        const CCopyFields& base = m_copies[0];
        m_merged.clear();
        for (std::size_t k = 0; k < m_keys.size(); ++k) {
            const CValue* baseValue = Find(base, k);
            std::vector<std::size_t> changers;
            for (std::size_t c = 1; c < m_copies.size(); ++c)
                if (!Same(k, baseValue, Find(m_copies[c], k))) changers.push_back(c);
            if (changers.empty()) {
                if (baseValue) m_merged.emplace(k, *baseValue);
                continue;
            }
            const std::size_t newest = changers.back();
            const CValue* taken = Find(m_copies[newest], k);
            if (taken) m_merged.emplace(k, *taken);
            CFieldSource source{FieldName(k, taken ? taken : baseValue), files[newest], {}};
            for (std::size_t c : changers)
                if (!Same(k, taken, Find(m_copies[c], k))) {
                    for (std::size_t d : changers) source.m_contested.push_back(files[d]);
                    break;
                }
            sources.push_back(std::move(source));
        }
    }

    // Whether the merge is what the copy holds.
    bool MergedEquals(std::size_t copy) const {
        for (std::size_t k = 0; k < m_keys.size(); ++k) {
            auto it = m_merged.find(k);
            if (!Same(k, it == m_merged.end() ? nullptr : &it->second, Find(m_copies[copy], k))) return false;
        }
        return true;
    }

    // The merged subrecords, in the winner's order with what other copies
    // add placed after what precedes it there; a leveled list's entries
    // last, by level and then as first held, after their count.
    std::string MergedData(std::size_t winner) const {
        std::list<std::size_t> order;
        std::unordered_map<std::size_t, std::list<std::size_t>::iterator> at;
        auto place = [&](const CCopyFields& copy) {
            auto next = order.begin();
            for (std::size_t k : copy.m_order) {
                auto it = at.find(k);
                if (it != at.end()) {
                    next = std::next(it->second);
                } else {
                    at[k] = order.insert(next, k);
                }
            }
        };
        place(m_copies[winner]);
        for (std::size_t c = m_copies.size(); c-- > 0;)
            if (c != winner) place(m_copies[c]);

        std::string out;
        std::unordered_set<std::string> blocksDone;
        std::vector<std::size_t> entries;
        for (std::size_t k : order) {
            const CKey& key = m_keys[k];
            auto it = m_merged.find(k);
            const CValue* value = it == m_merged.end() ? nullptr : &it->second;
            switch (key.m_kind) {
                case EKind::Whole:
                    if (value) records::AppendSub(out, key.m_tag, value->m_bytes);
                    break;
                case EKind::Repeated:
                    if (value) out += value->m_bytes;
                    break;
                case EKind::Field:
                    if (blocksDone.insert(key.m_tag).second) AppendBlock(out, key);
                    break;
                case EKind::Entry:
                    if (value) entries.push_back(k);
                    break;
                case EKind::Item:
                    if (value) {
                        std::string payload;
                        le::PutU32(payload, le::U32(value->m_bytes, 0));
                        payload += value->m_spelling;
                        records::AppendSub(out, "NPCO", payload);
                    }
                    break;
                case EKind::Spell:
                    if (value)
                        for (std::uint32_t n = le::U32(value->m_bytes, 0); n > 0; --n)
                            records::AppendSub(out, "NPCS", value->m_spelling);
                    break;
            }
        }
        if (IsLeveled(m_tag)) {
            // Entries by level, then in the order the base and the plugins
            // first hold them (the keys' order).
            std::sort(entries.begin(), entries.end());
            std::stable_sort(entries.begin(), entries.end(),
                             [&](std::size_t a, std::size_t b) { return m_keys[a].m_level < m_keys[b].m_level; });
            std::string list;
            std::uint32_t count = 0;
            const std::string idTag = m_tag == "LEVI" ? "INAM" : "CNAM";
            for (std::size_t k : entries) {
                const CValue& value = m_merged.at(k);
                std::string level;
                le::PutU16(level, m_keys[k].m_level);
                for (std::uint32_t n = le::U32(value.m_bytes, 0); n > 0; --n, ++count) {
                    records::AppendSub(list, idTag, value.m_spelling);
                    records::AppendSub(list, "INTV", level);
                }
            }
            std::string indx;
            le::PutU32(indx, count);
            records::AppendSub(out, "INDX", indx);
            out += list;
        }
        return out;
    }

private:
    bool IsListTag(std::string_view tag) const {
        if (IsLeveled(m_tag)) return tag == "INAM" || tag == "CNAM" || tag == "INTV" || tag == "INDX";
        return HasInventory(m_tag) && (tag == "NPCO" || tag == "NPCS");
    }

    const CFieldLayout* FindLayoutTag(std::string_view sub) const {
        for (const CFieldLayout& layout : AllFieldLayouts())
            if (layout.m_record == m_tag && layout.m_sub == sub) return &layout;
        return nullptr;
    }

    std::size_t KeyNumber(CKey key) {
        auto [it, added] = m_keyIndex.try_emplace(key.m_text, m_keys.size());
        if (added) m_keys.push_back(std::move(key));
        return it->second;
    }

    static void Add(CCopyFields& copy, std::size_t k, CValue value) {
        auto [it, added] = copy.m_values.try_emplace(k, std::move(value));
        if (added) copy.m_order.push_back(k);
    }

    static std::string Count(std::uint32_t n) {
        std::string bytes;
        le::PutU32(bytes, n);
        return bytes;
    }

    // Adds one to a list key's count in the copy.
    void CountOne(CCopyFields& copy, CKey key, const std::string& spelling) {
        const std::size_t k = KeyNumber(std::move(key));
        auto it = copy.m_values.find(k);
        if (it == copy.m_values.end())
            Add(copy, k, CValue{Count(1), spelling});
        else
            it->second.m_bytes = Count(le::U32(it->second.m_bytes, 0) + 1);
    }

    bool Take(const CSubRecords& subs, CCopyFields& copy) {
        std::optional<std::size_t> repeatedKey;
        for (std::size_t i = 0; i < subs.size(); ++i) {
            const CSubRecord& s = subs[i];
            if (IsLeveled(m_tag) && (s.m_tag == "INAM" || s.m_tag == "CNAM")) {
                if (i + 1 >= subs.size() || subs[i + 1].m_tag != "INTV") return false;
                const std::uint16_t level = le::U16(subs[i + 1].m_payload, 0);
                CountOne(copy, CKey{EKind::Entry, s.m_tag, 0, nullptr, level,
                                    "L" + std::to_string(level) + ":" + Folded(s.m_payload)},
                         s.m_payload);
                ++i;
                continue;
            }
            if (IsListTag(s.m_tag)) {
                if (s.m_tag == "NPCO") {
                    const std::string id = s.m_payload.substr(std::min<std::size_t>(4, s.m_payload.size()));
                    const std::size_t k = KeyNumber(CKey{EKind::Item, "NPCO", 0, nullptr, 0, "O:" + Folded(id)});
                    auto it = copy.m_values.find(k);
                    // The game gives an NPC every stack listed: two of one item add up.
                    const std::int32_t n = le::I32(s.m_payload, 0);
                    if (it == copy.m_values.end())
                        Add(copy, k, CValue{Count(std::uint32_t(n)), id});
                    else
                        it->second.m_bytes = Count(std::uint32_t(le::I32(it->second.m_bytes, 0) + n));
                } else if (s.m_tag == "NPCS") {
                    CountOne(copy, CKey{EKind::Spell, "NPCS", 0, nullptr, 0, "P:" + Folded(s.m_payload)}, s.m_payload);
                }
                // INDX and a stray INTV are written from the entries.
                continue;
            }
            if (m_repeated.count(s.m_tag)) {
                if (!repeatedKey) {
                    repeatedKey = KeyNumber(CKey{EKind::Repeated, s.m_tag, 0, nullptr, 0, "R"});
                    Add(copy, *repeatedKey, CValue{});
                }
                records::AppendSub(copy.m_values[*repeatedKey].m_bytes, s.m_tag, s.m_payload);
                continue;
            }
            if (const CFieldLayout* layout = FindLayoutTag(s.m_tag);
                layout && FindFieldLayout(m_tag, s.m_tag, s.m_payload.size())) {
                const CFieldLayout& form = *FindFieldLayout(m_tag, s.m_tag, s.m_payload.size());
                for (std::size_t f = 0; f < form.m_fields.size(); ++f) {
                    const CField& field = form.m_fields[f];
                    Add(copy, KeyNumber(CKey{EKind::Field, s.m_tag, f, &form, 0, "F:" + s.m_tag + ":" + std::to_string(f)}),
                        CValue{s.m_payload.substr(field.m_offset, field.m_size), {}});
                }
                continue;
            }
            Add(copy, KeyNumber(CKey{EKind::Whole, s.m_tag, 0, nullptr, 0, "S:" + s.m_tag}), CValue{s.m_payload, {}});
        }
        return true;
    }

    static const CValue* Find(const CCopyFields& copy, std::size_t k) {
        auto it = copy.m_values.find(k);
        return it == copy.m_values.end() ? nullptr : &it->second;
    }

    bool Same(std::size_t k, const CValue* a, const CValue* b) const {
        if (!a || !b) return a == b;
        const CKey& key = m_keys[k];
        if (key.m_kind == EKind::Field) {
            CField field = key.m_layout->m_fields[key.m_field];
            field.m_offset = 0;
            return SameField(field, a->m_bytes, b->m_bytes);
        }
        return a->m_bytes == b->m_bytes;
    }

    std::string FieldName(std::size_t k, const CValue* value) const {
        const CKey& key = m_keys[k];
        const std::string id = value ? std::string(UpToNul(value->m_spelling)) : key.m_text.substr(key.m_text.find(':') + 1);
        switch (key.m_kind) {
            case EKind::Whole: return key.m_tag;
            case EKind::Field: return key.m_tag + " " + std::string(key.m_layout->m_fields[key.m_field].m_name);
            case EKind::Repeated: {
                std::string tags;
                for (const std::string& t : std::set<std::string>(m_repeated.begin(), m_repeated.end()))
                    tags += (tags.empty() ? "" : ", ") + t;
                return "repeated " + tags;
            }
            case EKind::Entry: return "entry " + id + " at level " + std::to_string(key.m_level);
            case EKind::Item: return "item " + id;
            case EKind::Spell: return "spell " + id;
        }
        return key.m_text;
    }

    // A data block from its merged fields. A field no merged copy holds
    // (one plugin dropped the block, another changed it) is filled from the
    // newest copy that holds the block.
    void AppendBlock(std::string& out, const CKey& first) const {
        const CFieldLayout& layout = *first.m_layout;
        std::string payload(layout.m_size, '\0');
        bool any = false;
        std::vector<bool> filled(layout.m_fields.size(), false);
        for (std::size_t k = 0; k < m_keys.size(); ++k) {
            const CKey& key = m_keys[k];
            if (key.m_kind != EKind::Field || key.m_tag != first.m_tag) continue;
            auto it = m_merged.find(k);
            if (it == m_merged.end()) continue;
            payload.replace(layout.m_fields[key.m_field].m_offset, layout.m_fields[key.m_field].m_size, it->second.m_bytes);
            filled[key.m_field] = any = true;
        }
        if (!any) return;
        for (std::size_t f = 0; f < filled.size(); ++f) {
            if (filled[f]) continue;
            for (std::size_t c = m_copies.size(); c-- > 0;) {
                const CValue* v = Find(m_copies[c], m_keyIndex.at("F:" + first.m_tag + ":" + std::to_string(f)));
                if (v) {
                    payload.replace(layout.m_fields[f].m_offset, layout.m_fields[f].m_size, v->m_bytes);
                    break;
                }
            }
        }
        records::AppendSub(out, first.m_tag, payload);
    }

    std::string m_tag;
    std::unordered_set<std::string> m_repeated;
    std::vector<CKey> m_keys;
    std::unordered_map<std::string, std::size_t> m_keyIndex;
    std::vector<CCopyFields> m_copies;
    std::unordered_map<std::size_t, CValue> m_merged;
};

}  // namespace

bool IsMergedType(std::string_view tag) {
    return std::find(std::begin(kMergedTypes), std::end(kMergedTypes), tag) != std::end(kMergedTypes);
}

std::size_t CMergedRecord::Contested() const {
    return std::size_t(std::count_if(m_fields.begin(), m_fields.end(), [](const CFieldSource& f) { return !f.m_contested.empty(); }));
}

CMergeResult MergeRecords(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters,
                          CFileAges& ages, const std::atomic<std::int32_t>& stop) {
    CMergeResult result;
    result.m_plugins = InLoadOrder(plugins, ages);
    const std::vector<CRecordGroup> groups = CollectRecordGroups(plugins, masters, ages, 2, stop);
    std::unordered_set<const CPluginFile*> contributed;
    for (const CRecordGroup& group : groups) {
        if (stop.load(std::memory_order_relaxed)) {
            result.m_stopped = true;
            return result;
        }
        const std::string_view tag = CPluginFile::kTags[group.m_table];
        if (!IsMergedType(tag)) continue;
        const CRecordCopy& winner = group.Winner();
        auto skip = [&](const CPluginFile* file, std::string reason) {
            result.m_skipped.push_back({tag, std::string(winner.m_entry->m_id), file, std::move(reason)});
        };
        // A deletion wins: merging into a deleted record would bring it back.
        auto deleting = std::find_if(group.m_copies.begin(), group.m_copies.end(),
                                     [](const CRecordCopy& c) { return c.m_entry->m_deleted != 0; });
        if (deleting != group.m_copies.end()) {
            skip(deleting->m_file, "deleted by " + deleting->m_file->FileName());
            continue;
        }
        std::vector<const CEntry*> copies;
        std::vector<const CPluginFile*> files;
        if (group.m_master && !group.m_master->m_entry->m_deleted) {
            copies.push_back(group.m_master->m_entry);
            files.push_back(group.m_master->m_file);
        }
        for (const CRecordCopy& copy : group.m_copies) {
            copies.push_back(copy.m_entry);
            files.push_back(copy.m_file);
        }
        CGroupMerge merge(tag);
        if (std::string why = merge.Decompose(copies); !why.empty()) {
            skip(winner.m_file, "not merged: " + why);
            continue;
        }
        CMergedRecord record{tag, std::string(winner.m_entry->m_id), {}, files.front(), winner.m_file, {}, winner.m_entry->m_flags};
        merge.Merge(files, record.m_fields);
        if (merge.MergedEquals(copies.size() - 1)) {
            ++result.m_sameAsWinner;
            continue;
        }
        record.m_data = merge.MergedData(copies.size() - 1);
        contributed.insert(record.m_base);
        for (const CFieldSource& f : record.m_fields) contributed.insert(f.m_file);
        result.m_records.push_back(std::move(record));
    }
    // Masters first, oldest first; then the plugins in load order.
    std::vector<const CPluginFile*> order = InLoadOrder(masters, ages);
    order.insert(order.end(), result.m_plugins.begin(), result.m_plugins.end());
    for (const CPluginFile* file : order)
        if (contributed.erase(file)) result.m_contributors.push_back(file);
    return result;
}

CWriteResult CheckSources(const CMergeResult& result) {
    std::unordered_set<const CPluginFile*> checked;
    for (const auto* files : {&result.m_contributors, &result.m_plugins})
        for (const CPluginFile* file : *files)
            if (checked.insert(file).second)
                if (CWriteResult same = file->CheckUnchanged(); !same.Ok()) return same;
    return {};
}

std::string PatchDescription(const CMergeResult& result) {
    const std::size_t n = result.m_plugins.size();
    std::string text = "Merged patch of " + std::to_string(n) + " plugins, to load last:";
    constexpr std::size_t kRoom = 255;  // the header's 256 bytes, the last one a zero
    for (std::size_t i = 0; i < n; ++i) {
        const bool last = i + 1 == n;
        const std::string name = " " + result.m_plugins[i]->FileName() + (last ? "" : ",");
        // Room is kept for saying how many more there are.
        if (text.size() + name.size() + (last ? 0 : 16) > kRoom) {
            text += " and " + std::to_string(n - i) + " more";
            break;
        }
        text += name;
    }
    return text;
}

std::string PatchBytes(const CMergeResult& result) {
    records::CPluginHeader header;
    for (const CPluginFile* file : result.m_contributors) {
        header.m_masters.push_back(file->FileName());
        header.m_masterSizes.push_back(platform::FileSize(file->FullPath()).value_or(0));
    }
    header.m_recordCount = std::uint32_t(result.m_records.size());
    header.m_author = std::string(kPatchAuthor);
    header.m_description = PatchDescription(result);
    records::CRecordWriter writer;
    writer.Header(header);
    std::string bytes = writer.Bytes();
    for (const CMergedRecord& record : result.m_records) {
        std::string data;
        records::AppendSub(data, "NAME", record.m_id);
        data += record.m_data;
        records::AppendRecord(bytes, record.m_tag, data, std::nullopt, record.m_flags);
    }
    return bytes;
}

std::string CountsByType(const CMergeResult& result) {
    std::map<std::string_view, std::size_t> counts;
    for (const CMergedRecord& r : result.m_records) ++counts[r.m_tag];
    std::string text;
    for (const auto& [tag, n] : counts) text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + std::string(tag);
    return text.empty() ? "no records" : text;
}

}  // namespace vantor::merge
