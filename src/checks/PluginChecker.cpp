#include "checks/PluginChecker.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "checks/IdIndex.h"
#include "core/SubRecord.h"
#include "document/FrameLink.h"

namespace vantor {

using checks_detail::CFirstIndex;
using checks_detail::CMasterIndex;
using checks_detail::CPluginBuckets;
using checks_detail::kNone;

namespace {

struct CDescription {
    std::string_view m_tag;
    std::string_view m_text;
};

// The SNDG text really ends in a blank: rows show two blanks after it.
constexpr CDescription kDescriptions[] = {
    {"ACTI", "Activator Entry"},       {"ALCH", "Alchemy Item Entry"},
    {"APPA", "Apparatus Entry"},       {"ARMO", "Armor Entry"},
    {"BODY", "Body Entry"},            {"BOOK", "Book Entry"},
    {"BSGN", "BirthSign Entry"},       {"CELL", "Cell Entry"},
    {"CLAS", "Class Settings"},        {"CLOT", "Cloth Settings"},
    {"CONT", "Container Entry"},       {"CREA", "Creature Entry"},
    {"DIAL", "Dialog Topic"},          {"DOOR", "Door Entry"},
    {"ENCH", "Enchantment Settings"},  {"FACT", "Faction Settings"},
    {"GLOB", "Global Settings"},       {"GMST", "Gameplay Settings"},
    {"INGR", "Ingredient Entry"},      {"INFO", "Dialog Text"},
    {"LAND", "Landscape Entry"},       {"LEVC", "Creature Leveled List"},
    {"LEVI", "Item Leveled List"},     {"LIGH", "Light Settings"},
    {"LOCK", "Lockpick Tool"},         {"LTEX", "Texture Entry"},
    {"MGEF", "Magic Effects Entry"},   {"MISC", "Misc. Items Entry"},
    {"NPC_", "NPC Entry"},             {"PGRD", "Path Grid"},
    {"PROB", "Probe Tool"},            {"RACE", "Race Settings"},
    {"REGN", "Region Settings Entry"}, {"REPA", "Repair Item Entry"},
    {"SCPT", "Script"},                {"SKIL", "Skill Entry"},
    {"SNDG", "Sound Gen "},            {"SOUN", "Sound Entry"},
    {"SPEL", "Spell Entry"},           {"STAT", "Static Entry"},
    {"WEAP", "Weapon Entry"},          {"DELE", "Marked as DELETED (Removed from Game)"},
    {"UNCL", "Identical to Default Entry. (Unclean Entry)"},
    {"GCHG", "Modified from Esm"},     {"POTE", "(Potential Conflict)"},
};
static_assert(std::size(kDescriptions) == 45);

const std::string kNoneText = "None";

const std::size_t kCell = std::size_t(CPluginFile::TagIndex("CELL"));
const std::size_t kDial = std::size_t(CPluginFile::TagIndex("DIAL"));
const std::size_t kInfo = std::size_t(CPluginFile::TagIndex("INFO"));
const std::size_t kLand = std::size_t(CPluginFile::TagIndex("LAND"));
const std::size_t kLtex = std::size_t(CPluginFile::TagIndex("LTEX"));

// Row texts per table, made once rather than once per row.
struct CRowTexts {
    std::array<std::string, CPluginFile::kTableCount> m_tag, m_conflict, m_deleted, m_unclean, m_modified;
    CRowTexts() {
        const std::string dele = CPluginChecker::GetDescription("DELE");
        const std::string uncl = CPluginChecker::GetDescription("UNCL");
        const std::string gchg = CPluginChecker::GetDescription("GCHG");
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            const std::string description = CPluginChecker::GetDescription(tag);
            m_tag[t] = tag;
            m_conflict[t] = t == kLand ? description + " " + CPluginChecker::GetDescription("POTE") : description;
            m_deleted[t] = description + " " + dele;
            m_unclean[t] = description + " " + uncl;
            m_modified[t] = description + " " + gchg;
        }
    }
};

const CRowTexts& RowTexts() {
    static const CRowTexts texts;
    return texts;
}

std::string Percent(const std::string& prefix, std::size_t done, std::size_t total) {
    return prefix + std::to_string(done * 100 / total) + "% complete";
}

// The data test of the warning phase reads the data as a zero-terminated
// text, so data that starts with a zero byte counts as empty.
bool HasData(const CEntry& e) {
    std::string_view data = e.Data();
    return !data.empty() && data.front() != '\0';
}

}  // namespace

const std::vector<CResultRow>* CCheckResult::Warnings(std::string_view key) const {
    if (key == "DELE") return &m_deleted;
    if (key == "UNCL") return &m_unclean;
    if (key == "GCHG") return &m_globalChanges;
    return nullptr;
}

CPluginChecker::CPluginChecker(CFrameLink* link) : m_link(link) {}

CPluginChecker::~CPluginChecker() = default;

void CPluginChecker::AddPlugin(CPluginFile& plugin) { m_plugins.push_back(&plugin); }
void CPluginChecker::AddMaster(CPluginFile& master) { m_masters.push_back(&master); }

std::string CPluginChecker::GetDescription(std::string_view tag) {
    for (const CDescription& d : kDescriptions)
        if (d.m_tag == tag) return std::string(d.m_text);
    return {};
}

std::int64_t CPluginChecker::FileAge(const CPluginFile& file) {
    auto it = m_ages.find(&file);
    if (it != m_ages.end()) return it->second;
    // The name may differ in case from the file on disk (Morrowind.ini is
    // not case-sensitive); the reader found it the same way.
    const std::string path = file.FullPath();
    auto resolved = platform::ResolvePath(path);
    auto time = platform::LastWriteTime(resolved ? *resolved : path);
    const std::int64_t age = time ? *time : std::numeric_limits<std::int64_t>::min();
    m_ages.emplace(&file, age);
    return age;
}

void CPluginChecker::Report(const std::atomic<std::int32_t>& stop, const std::string& text, int total) {
    if (m_link && !stop.load(std::memory_order_relaxed)) m_link->Progress(text, total);
}

const CMasterIndex& CPluginChecker::MasterIndex(std::size_t tableIndex) {
    auto& slot = m_masterIndexes[tableIndex];
    if (!slot) slot = std::make_unique<CMasterIndex>();
    if (!slot->IsFor(m_masters, tableIndex)) slot->Build(m_masters, tableIndex);
    return *slot;
}

const CFirstIndex& CPluginChecker::FirstIndex(const CPluginFile& file, std::size_t tableIndex) {
    auto& slot = m_firstIndexes[&file][tableIndex];
    if (!slot) slot = std::make_unique<CFirstIndex>();
    if (!slot->IsFor(file.Table(tableIndex))) slot->Build(file.Table(tableIndex));
    return *slot;
}

long CPluginChecker::OriginalMaster(std::string_view id, std::size_t tableIndex) {
    if (m_masters.empty()) return -1;
    const CMasterIndex& index = MasterIndex(tableIndex);
    long best = -1;
    std::int64_t bestAge = 0;
    for (std::uint32_t h = index.Head(id); h != kNone; h = index.Hit(h).m_next) {
        const std::uint32_t m = index.Hit(h).m_master;
        const std::int64_t age = FileAge(*m_masters[m]);
        if (best < 0 || age > bestAge) {
            best = long(m);
            bestAge = age;
        }
    }
    return best;
}

std::string CPluginChecker::OriginalName(std::string_view id, std::size_t tableIndex) {
    const long best = OriginalMaster(id, tableIndex);
    if (best < 0 || m_masters[std::size_t(best)]->FileName().empty()) return kNoneText;
    return m_masters[std::size_t(best)]->FileName();
}

std::string CPluginChecker::FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id,
                                             std::string_view tag) {
    const int t = CPluginFile::TagIndex(tag);
    if (t < 0 || stop.load(std::memory_order_relaxed)) return kNoneText;
    return OriginalName(UpToNul(id), std::size_t(t));
}

const CEntry* CPluginChecker::FindEntry(std::string_view fileName, std::string_view id, std::string_view tag,
                                        EList list) {
    const int t = CPluginFile::TagIndex(tag);
    if (t < 0) return nullptr;
    const std::string_view key = UpToNul(id);
    for (const CPluginFile* file : list == EList::Masters ? m_masters : m_plugins) {
        if (file->FileName() != fileName) continue;
        const CEntryTable& table = file->Table(std::size_t(t));
        const std::uint32_t pos = FirstIndex(*file, std::size_t(t)).First(key);
        if (pos != kNone) return table[pos].get();
    }
    return nullptr;
}

const CCheckResult& CPluginChecker::Run(const std::atomic<std::int32_t>& stop, std::int32_t checkMode,
                                        const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks,
                                        std::uint8_t mask) {
    m_result = CCheckResult{};
    const bool singleVersus = checkMode == 1;
    if (mask & kConflicts) ConflictPhase(stop, singleVersus, conflictChecks);
    if (mask & ~kConflicts) WarningPhase(stop, singleVersus, uncleanChecks, mask);
    return m_result;
}

void CPluginChecker::ConflictPhase(const std::atomic<std::int32_t>& stop, bool singleVersus,
                                   const CCheckSwitches& conflictChecks) {
    const std::size_t n = m_plugins.size();
    const std::string prefix = "Checking Conflicts ";
    std::string text = prefix + "0% complete";
    Report(stop, text, int(n));

    // The nested loops of the plain algorithm visit every entry of A against
    // every entry of B; grouping the entries by ID first visits only the
    // pairs with equal IDs, in the same order.
    struct CTagBuckets {
        std::size_t m_table;
        CPluginBuckets m_buckets;
    };
    std::vector<CTagBuckets> tags;
    if (n > 1) {
        for (std::size_t k = 0; k < kCheckCount; ++k) {
            if (conflictChecks[k] != 1) continue;
            tags.push_back({std::size_t(CPluginFile::TagIndex(kCheckIndex[k].m_tag)), {}});
            tags.back().m_buckets.Build(m_plugins, tags.back().m_table);
        }
    }

    struct CCandidate {
        std::uint32_t m_inner;
        std::uint32_t m_tag;  // index into `tags`
        std::uint32_t m_posA;
        std::uint32_t m_posB;
    };
    std::vector<CCandidate> candidates;
    for (std::size_t i = 0; i < n; ++i) {
        if (stop.load(std::memory_order_relaxed)) break;
        candidates.clear();
        for (std::size_t k = 0; k < tags.size(); ++k) {
            const CPluginBuckets& buckets = tags[k].m_buckets;
            const std::size_t count = m_plugins[i]->Table(tags[k].m_table).size();
            for (std::size_t pos = 0; pos < count; ++pos) {
                // The group is in plugin order, so what follows the entry
                // belongs to this plugin (duplicates) or to later ones.
                const std::uint32_t end = buckets.GroupEnd(i, pos);
                for (std::uint32_t s = buckets.SlotOf(i, pos) + 1; s < end; ++s) {
                    const auto& slot = buckets.Slot(s);
                    if (slot.m_plugin == i) continue;
                    candidates.push_back({slot.m_plugin, std::uint32_t(k), std::uint32_t(pos), slot.m_pos});
                }
            }
        }
        // Made in (tag, A, inner plugin, B) order; the rows go by inner plugin first.
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const CCandidate& a, const CCandidate& b) { return a.m_inner < b.m_inner; });
        for (const CCandidate& c : candidates) {
            if (stop.load(std::memory_order_relaxed)) break;
            const std::size_t t = tags[c.m_tag].m_table;
            const CPluginFile& a = *m_plugins[i];
            const CPluginFile& b = *m_plugins[c.m_inner];
            JudgePair(a, b, t, *a.Table(t)[c.m_posA], *b.Table(t)[c.m_posB]);
        }
        text = Percent(prefix, i, n);
        Report(stop, text, int(n));
        if (singleVersus) break;
    }
    Report(stop, text, 0);
}

void CPluginChecker::ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                                 const std::atomic<std::int32_t>& stop) {
    const int t = CPluginFile::TagIndex(tag);
    if (t < 0) return;
    const CEntryTable& tableA = a.Table(std::size_t(t));
    const CEntryTable& tableB = b.Table(std::size_t(t));
    const CFirstIndex& index = FirstIndex(b, std::size_t(t));
    for (const auto& x : tableA) {
        if (stop.load(std::memory_order_relaxed)) return;
        for (std::uint32_t pos = index.First(x->IdText()); pos != kNone; pos = index.Next(pos))
            JudgePair(a, b, std::size_t(t), *x, *tableB[pos]);
    }
}

void CPluginChecker::JudgePair(const CPluginFile& a, const CPluginFile& b, std::size_t t, const CEntry& x,
                               const CEntry& y) {
    // Landscape entries of the same ID are always reported, as potential conflicts.
    if (t != kLand && SameBytes(x.Data(), y.Data())) return;
    const std::string_view id = x.IdText();
    std::string original;
    if (t == kInfo) {
        // A response is a conflict when both plugins change the master's
        // text; a response new in the plugins only when its topics agree.
        original = OriginalName(id, t);
        const CEntry* m = nullptr;
        if (!m_masters.empty()) {
            const CMasterIndex& index = MasterIndex(t);
            for (std::uint32_t h = index.Head(id); h != kNone && !m; h = index.Hit(h).m_next)
                if (m_masters[index.Hit(h).m_master]->FileName() == original)
                    m = m_masters[index.Hit(h).m_master]->Table(t)[index.Hit(h).m_pos].get();
        }
        if (m) {
            if (SameBytes(x.Data(), m->Data()) || SameBytes(y.Data(), m->Data())) return;
        } else {
            const bool topicsAgree =
                !x.m_topic || !y.m_topic || UpToNul(*x.m_topic) == UpToNul(*y.m_topic);
            if (!topicsAgree) return;
        }
    } else {
        original = OriginalName(id, t);
    }
    const bool aNewer = FileAge(a) > FileAge(b);
    const CRowTexts& texts = RowTexts();
    m_result.m_conflicts.push_back({texts.m_tag[t], texts.m_conflict[t], std::string(id),
                                    aNewer ? a.FileName() : b.FileName(), aNewer ? b.FileName() : a.FileName(),
                                    std::move(original)});
}

void CPluginChecker::WarningPhase(const std::atomic<std::int32_t>& stop, bool singleVersus,
                                  const CCheckSwitches& uncleanChecks, std::uint8_t mask) {
    const std::size_t n = m_plugins.size();
    const std::size_t examined = singleVersus ? std::min<std::size_t>(1, n) : n;
    const std::string prefix = (mask & kGlobalChanges) ? "Checking Global Changes " : "Checking Warnings ";
    std::string text = prefix + "0% complete";
    Report(stop, text, int(examined));
    for (std::size_t i = 0; i < examined; ++i) {
        if (stop.load(std::memory_order_relaxed)) break;
        CheckWarnings(stop, *m_plugins[i], uncleanChecks, mask);
        text = Percent(prefix, i, examined);
        Report(stop, text, int(examined));
    }
    Report(stop, text, 0);
}

void CPluginChecker::CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                                   const CCheckSwitches& uncleanChecks, std::uint8_t mask) {
    const CRowTexts& texts = RowTexts();
    std::vector<std::int64_t> ages;
    for (const CPluginFile* master : m_masters) ages.push_back(FileAge(*master));

    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const CEntryTable& table = plugin.Table(t);
        if (table.empty()) continue;
        // Cells, topics, landscape and textures are never compared with the
        // masters; responses only when "Report Dialog Text" is on.
        const bool compared = !m_masters.empty() && t != kCell && t != kDial && t != kLand && t != kLtex &&
                              !(t == kInfo && uncleanChecks[kInfoCheck] == 0);
        const CMasterIndex* index = compared ? &MasterIndex(t) : nullptr;
        for (const auto& entry : table) {
            if (stop.load(std::memory_order_relaxed)) return;
            const CEntry& e = *entry;
            const bool hasData = HasData(e);
            long reference = -1;
            const std::string* lastHolder = &kNoneText;
            const std::string* lastFinding = &kNoneText;
            const std::string* uncleanFile = nullptr;
            const std::string* modifiedFile = nullptr;
            for (std::uint32_t h = index ? index->Head(e.IdText()) : kNone; h != kNone; h = index->Hit(h).m_next) {
                const auto& hit = index->Hit(h);
                // A later master counts only when it is newer than the master
                // of the last finding.
                if (reference >= 0 && !(ages[hit.m_master] > ages[std::size_t(reference)])) continue;
                const std::string& name = m_masters[hit.m_master]->FileName();
                lastHolder = &name;
                if (!hasData) continue;
                const bool same = SameBytes(e.Data(), m_masters[hit.m_master]->Table(t)[hit.m_pos]->Data());
                if (same && (mask & kUnclean)) {
                    reference = long(hit.m_master);
                    uncleanFile = lastFinding = &name;
                } else if (!same && (mask & kGlobalChanges)) {
                    reference = long(hit.m_master);
                    modifiedFile = lastFinding = &name;
                }
            }
            if (!uncleanFile && !modifiedFile && !((mask & kDeleted) && e.m_deleted)) continue;
            const std::string id(e.IdText());
            if (uncleanFile)
                m_result.m_unclean.push_back({texts.m_tag[t], texts.m_unclean[t], id, plugin.FileName(), *uncleanFile});
            if (modifiedFile)
                m_result.m_globalChanges.push_back(
                    {texts.m_tag[t], texts.m_modified[t], id, plugin.FileName(), *modifiedFile});
            if ((mask & kDeleted) && e.m_deleted)
                m_result.m_deleted.push_back({texts.m_tag[t], texts.m_deleted[t], id, plugin.FileName(),
                                              *lastFinding != kNoneText ? *lastFinding : *lastHolder});
        }
    }
}

}  // namespace vantor
