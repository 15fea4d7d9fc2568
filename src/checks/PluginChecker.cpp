#include "checks/PluginChecker.h"

#include <algorithm>
#include <utility>

#include "checks/IdIndex.h"
#include "format/SubRecord.h"
#include "engine/UserLink.h"
#include "platform/Text.h"

namespace vantor {

using checks_detail::CFirstIndex;
using checks_detail::CMasterIndex;
using checks_detail::CPluginBuckets;
using checks_detail::kNone;

namespace {

// The descriptions of the kinds of finding; a record type's own is in the
// record type table.
struct CDescription {
    std::string_view m_key;
    std::string_view m_text;
};
constexpr CDescription kFindingDescriptions[] = {
    {"DELE", "Marked as DELETED (Removed from Game)"},
    {"UNCL", "Identical to Default Entry. (Unclean Entry)"},
    {"GCHG", "Modified from Esm"},
    {"POTE", "(Potential Conflict)"},
};

const std::string kNoneText = "None";

const std::size_t kInfo = TableOf(ERecordId::Response);

// The data test of the warning phase reads the data as a zero-terminated
// text, so data that starts with a zero byte counts as empty.
bool HasData(const CEntry& e) {
    std::string_view data = e.Data();
    return !data.empty() && data.front() != '\0';
}

// Whether two entries of one ID in two plugins conflict. The master's
// version of a response and the comparisons with it are asked for only
// when the rule needs them.
template <typename FVersion, typename FSameAsVersion>
bool ConflictRule(std::size_t t, const CEntry& x, const CEntry& y, bool sameData, FVersion&& version,
                  FSameAsVersion&& sameAsVersion) {
    // Landscape entries of the same ID are always reported, as potential conflicts.
    if (kRecordTypes[t].IsLandscape()) return true;
    if (sameData) return false;
    if (t != kInfo) return true;
    // A response is a conflict when both plugins change the master's text;
    // one new in the plugins only when its topics agree.
    if (const CEntry* m = version()) return !sameAsVersion(true, *m) && !sameAsVersion(false, *m);
    return !x.Topic() || !y.Topic() || UpToNul(*x.Topic()) == UpToNul(*y.Topic());
}

}  // namespace

CPluginChecker::CPluginChecker(CUserLink* link, CFileAges* ages) : m_link(link), m_fileAges(ages ? ages : &m_ownAges) {}

CPluginChecker::~CPluginChecker() = default;

bool CPluginChecker::AddPlugin(CPluginFile& plugin) {
    if (m_files.size() >= kMaxFiles) return false;
    m_pluginFile.push_back(CFileIndex(m_files.size()));
    m_files.push_back(&plugin);
    m_plugins.push_back(&plugin);
    return true;
}

bool CPluginChecker::AddMaster(CPluginFile& master) {
    if (m_files.size() >= kMaxFiles) return false;
    m_masterFile.push_back(CFileIndex(m_files.size()));
    m_files.push_back(&master);
    m_masters.push_back(&master);
    return true;
}

CFileIndex CPluginChecker::FileIndexOf(const CPluginFile& file) {
    for (std::size_t k = 0; k < m_files.size(); ++k)
        if (m_files[k] == &file) return CFileIndex(k);
    // A file the engine was not given (ComparePair's own arguments) joins
    // the file list, so that its rows can name it.
    if (m_files.size() >= kMaxFiles) return kNoFile;
    m_files.push_back(&file);
    return CFileIndex(m_files.size() - 1);
}

std::string CPluginChecker::GetDescription(std::string_view tag) {
    if (const CRecordType* type = FindRecordType(tag)) return std::string(type->m_description);
    for (const CDescription& d : kFindingDescriptions)
        if (d.m_key == tag) return std::string(d.m_text);
    return {};
}

CFileAge CPluginChecker::FileAge(const CPluginFile& file) {
    auto it = m_ages.find(&file);
    if (it != m_ages.end()) return it->second;
    return m_ages.emplace(&file, m_fileAges->AgeOf(file.FullPath())).first->second;
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

const std::vector<CFileAge>& CPluginChecker::MasterAges() {
    while (m_masterAges.size() < m_masters.size()) m_masterAges.push_back(FileAge(*m_masters[m_masterAges.size()]));
    return m_masterAges;
}

long CPluginChecker::OriginalMaster(std::string_view id, std::size_t tableIndex) {
    if (m_masters.empty()) return -1;
    const CMasterIndex& index = MasterIndex(tableIndex);
    const std::vector<CFileAge>& ages = MasterAges();
    long best = -1;
    for (std::uint32_t h = index.Head(id); h != kNone; h = index.Hit(h).m_next) {
        const std::uint32_t m = index.Hit(h).m_master;
        if (best < 0 || ages[m] > ages[std::size_t(best)]) best = long(m);
    }
    return best;
}

const std::string& CPluginChecker::MasterName(long master) const {
    if (master < 0 || m_masters[std::size_t(master)]->FileName().empty()) return kNoneText;
    return m_masters[std::size_t(master)]->FileName();
}

CFileIndex CPluginChecker::OriginalFile(std::string_view id, std::size_t tableIndex) {
    return MasterFileOf(OriginalMaster(UpToNul(id), tableIndex));
}

std::string CPluginChecker::FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id,
                                             std::string_view tag) {
    const int t = CPluginFile::TagIndex(tag);
    if (t < 0 || stop.load(std::memory_order_relaxed)) return kNoneText;
    return MasterName(OriginalMaster(UpToNul(id), std::size_t(t)));
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

const CCheckResult& CPluginChecker::Run(const std::atomic<std::int32_t>& stop, bool singleVersus,
                                        const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks,
                                        CCheckSet checks) {
    m_result = CCheckResult{};
    m_sent = 0;
    m_result.m_files = m_files;
    if (checks.m_conflicts) ConflictPhase(stop, singleVersus, conflictChecks);
    if (checks.Warnings()) WarningPhase(stop, singleVersus, uncleanChecks, checks);
    return m_result;
}

void CPluginChecker::ConflictPhase(const std::atomic<std::int32_t>& stop, bool singleVersus,
                                   const CCheckSwitches& conflictChecks) {
    const std::size_t n = m_plugins.size();
    const std::string prefix = "Checking Conflicts ";
    std::string text = prefix + "0% complete";
    Report(stop, text, int(n));
    const auto stopped = [&] { return stop.load(std::memory_order_relaxed) != 0; };

    // The nested loops of the plain algorithm visit every entry of A against
    // every entry of B; grouping the entries by ID first visits only the
    // pairs with equal IDs, in the same order.
    struct CTagBuckets {
        std::size_t m_table = 0;
        CPluginBuckets m_buckets;
        // Per ID: its original master (kUnknown until needed) and, for
        // responses, the master's version; per data class: same as that
        // version, so that copies of equal bytes are compared with it once.
        std::vector<long> m_original;
        std::vector<const CEntry*> m_version;
        std::vector<std::int8_t> m_sameAsVersion;
    };
    constexpr long kUnknown = -2;
    std::vector<std::size_t> tables;  // of the tags checked, in check order
    std::vector<CFileAge> ages;
    if (n > 1) {
        for (std::size_t k = 0; k < kCheckCount; ++k)
            if (conflictChecks[k] == 1) tables.push_back(std::size_t(CPluginFile::TagIndex(kCheckIndex[k].m_tag)));
        for (const CPluginFile* plugin : m_plugins) ages.push_back(FileAge(*plugin));
    }
    const auto build = [&](CTagBuckets& tag, std::size_t table) {
        tag.m_table = table;
        tag.m_buckets.Build(m_plugins, table);
        tag.m_original.assign(tag.m_buckets.GroupCount(), kUnknown);
        tag.m_version.assign(table == kInfo ? tag.m_buckets.GroupCount() : 0, nullptr);
        tag.m_sameAsVersion.assign(table == kInfo ? tag.m_buckets.ClassCount() : 0, -1);
    };

    // A candidate carries what its row needs, so the rows, made in another
    // order than the candidates, read no plugin's tables again.
    struct CCandidate {
        const CEntry* m_x;
        const CEntry* m_y;
        std::uint32_t m_inner;
        std::uint32_t m_tag;  // index into `tags`
        std::uint32_t m_classA;  // the copies' data classes
        std::uint32_t m_classB;
        std::uint32_t m_group;
    };
    std::vector<CTagBuckets> tags;
    std::vector<CCandidate> candidates, ordered;
    std::vector<std::uint32_t> starts;
    // Plugin i's candidates of every tag in `tags`, into `ordered`.
    const auto collect = [&](std::size_t i) {
        candidates.clear();
        for (std::size_t k = 0; k < tags.size(); ++k) {
            const CPluginBuckets& buckets = tags[k].m_buckets;
            const CEntryTable& table = m_plugins[i]->Table(tags[k].m_table);
            for (std::size_t pos = 0; pos < table.size(); ++pos) {
                // The group is in plugin order, so what follows the entry
                // belongs to this plugin (duplicates) or to later ones.
                const std::uint32_t slotA = buckets.SlotOf(i, pos);
                const std::uint32_t group = buckets.GroupOf(i, pos);
                const std::uint32_t end = buckets.GroupEnd(group);
                for (std::uint32_t s = slotA + 1; s < end; ++s) {
                    const std::uint32_t inner = buckets.PluginAt(s);
                    if (inner != i)
                        candidates.push_back({table[pos].get(), buckets.EntryAt(s), inner, std::uint32_t(k),
                                              buckets.ClassOf(slotA), buckets.ClassOf(s), group});
                }
            }
        }
        // Made in (tag, A, inner plugin, B) order; the rows go by inner
        // plugin first. Dealt out by inner plugin, keeping the made order
        // within each: one pass, where a stable sort moved every candidate
        // log n times.
        starts.assign(n + 1, 0);
        for (const CCandidate& c : candidates) ++starts[c.m_inner + 1];
        for (std::size_t p = 1; p <= n; ++p) starts[p] += starts[p - 1];
        ordered.resize(candidates.size());
        for (const CCandidate& c : candidates) ordered[starts[c.m_inner]++] = c;
    };
    const auto send = [&] {
        if (m_result.m_conflicts.empty()) return;
        m_sent += m_result.m_conflicts.size();
        m_sink->Take(m_files, m_result.m_conflicts);
        m_result.m_conflicts.clear();
    };
    // The rows of plugin i's candidates.
    const auto rows = [&](std::size_t i) {
        for (const CCandidate& c : ordered) {
            if (stopped()) break;
            CTagBuckets& tag = tags[c.m_tag];
            const std::size_t t = tag.m_table;
            const CEntry& x = *c.m_x;
            const CEntry& y = *c.m_y;
            const std::uint32_t group = c.m_group;
            long& original = tag.m_original[group];
            const auto version = [&]() -> const CEntry* {
                if (original == kUnknown) {
                    original = OriginalMaster(x.IdText(), t);
                    tag.m_version[group] = MasterVersion(x.IdText(), t, original);
                }
                return tag.m_version[group];
            };
            const auto sameAsVersion = [&](bool first, const CEntry& m) {
                std::int8_t& same = tag.m_sameAsVersion[first ? c.m_classA : c.m_classB];
                if (same < 0) same = (first ? x : y).SameData(m) ? 1 : 0;
                return same == 1;
            };
            if (!ConflictRule(t, x, y, c.m_classA == c.m_classB, version, sameAsVersion)) continue;
            if (original == kUnknown) original = OriginalMaster(x.IdText(), t);
            const bool aNewer = ages[i] > ages[c.m_inner];
            const CFileIndex fileA = m_pluginFile[i], fileB = m_pluginFile[c.m_inner];
            m_result.m_conflicts.push_back(Conflict(t, aNewer ? x : y, aNewer ? y : x, aNewer ? fileA : fileB,
                                                    aNewer ? fileB : fileA, original));
            if (m_sink && m_result.m_conflicts.size() >= m_sink->Run()) send();
        }
    };

    if (!m_sink) {
        // Plugin by plugin, every tag's index at hand.
        tags.resize(tables.size());
        for (std::size_t k = 0; k < tables.size(); ++k) build(tags[k], tables[k]);
        for (std::size_t i = 0; i < n && !stopped(); ++i) {
            collect(i);
            rows(i);
            text = platform::PercentText(prefix, i, n);
            Report(stop, text, int(n));
            if (singleVersus) break;
        }
    } else {
        // Tag by tag, so that the rows leave in the order they are listed
        // in, and one tag's index at a time is built.
        std::sort(tables.begin(), tables.end());
        tags.resize(tables.empty() ? 0 : 1);
        for (std::size_t k = 0; k < tables.size() && !stopped(); ++k) {
            build(tags[0], tables[k]);
            for (std::size_t i = 0; i < n && !stopped(); ++i) {
                collect(i);
                rows(i);
                if (singleVersus) break;
            }
            text = platform::PercentText(prefix, k, tables.size());
            Report(stop, text, int(n));
        }
        send();
    }

    Report(stop, text, 0);
}

void CPluginChecker::ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                                 const std::atomic<std::int32_t>& stop) {
    const int index = CPluginFile::TagIndex(tag);
    if (index < 0) return;
    const auto t = std::size_t(index);
    const CEntryTable& tableB = b.Table(t);
    const CFirstIndex& idsOfB = FirstIndex(b, t);
    const CFileIndex fileA = FileIndexOf(a), fileB = FileIndexOf(b);
    m_result.m_files = m_files;
    const bool aNewer = FileAge(a) > FileAge(b);
    for (const auto& x : a.Table(t)) {
        if (stop.load(std::memory_order_relaxed)) return;
        for (std::uint32_t pos = idsOfB.First(x->IdText()); pos != kNone; pos = idsOfB.Next(pos)) {
            const CEntry& y = *tableB[pos];
            const long original = OriginalMaster(x->IdText(), t);
            const auto version = [&] { return MasterVersion(x->IdText(), t, original); };
            const auto sameAsVersion = [&](bool first, const CEntry& m) {
                return (first ? *x : y).SameData(m);
            };
            if (ConflictRule(t, *x, y, x->SameData(y), version, sameAsVersion))
                m_result.m_conflicts.push_back(
                    Conflict(t, aNewer ? *x : y, aNewer ? y : *x, aNewer ? fileA : fileB, aNewer ? fileB : fileA, original));
        }
    }
}

const CEntry* CPluginChecker::MasterVersion(std::string_view id, std::size_t t, long original) {
    if (m_masters.empty()) return nullptr;
    // Looked up by the original file's name, as the pane would: of masters
    // sharing that name, the first that holds the ID.
    const std::string& name = MasterName(original);
    const CMasterIndex& index = MasterIndex(t);
    for (std::uint32_t h = index.Head(id); h != kNone; h = index.Hit(h).m_next)
        if (m_masters[index.Hit(h).m_master]->FileName() == name)
            return m_masters[index.Hit(h).m_master]->Table(t)[index.Hit(h).m_pos].get();
    return nullptr;
}

CFinding CPluginChecker::Conflict(std::size_t t, const CEntry& overriding, const CEntry& overridden,
                                  CFileIndex overridingFile, CFileIndex overriddenFile, long original) const {
    return {&overriding, &overridden, overridingFile, overriddenFile, MasterFileOf(original), std::uint8_t(t),
            EFinding::Conflict};
}

void CPluginChecker::WarningPhase(const std::atomic<std::int32_t>& stop, bool singleVersus,
                                  const CCheckSwitches& uncleanChecks, CCheckSet checks) {
    const std::size_t n = m_plugins.size();
    const std::size_t examined = singleVersus ? std::min<std::size_t>(1, n) : n;
    const std::string prefix = checks.m_globalChanges ? "Checking Global Changes " : "Checking Warnings ";
    std::string text = prefix + "0% complete";
    Report(stop, text, int(examined));
    for (std::size_t i = 0; i < examined; ++i) {
        if (stop.load(std::memory_order_relaxed)) break;
        CheckWarnings(stop, *m_plugins[i], uncleanChecks, checks);
        text = platform::PercentText(prefix, i, examined);
        Report(stop, text, int(examined));
    }
    Report(stop, text, 0);
}

void CPluginChecker::CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                                   const CCheckSwitches& uncleanChecks, CCheckSet checks) {
    const std::vector<CFileAge>& ages = MasterAges();
    const CFileIndex file = FileIndexOf(plugin);
    m_result.m_files = m_files;

    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        const CEntryTable& table = plugin.Table(t);
        if (table.empty()) continue;
        // Responses are compared only when "Report Dialog Text" is on.
        const bool compared = !m_masters.empty() && kRecordTypes[t].m_comparedWithMasters &&
                              !(t == kInfo && uncleanChecks[kInfoCheck] == 0);
        const CMasterIndex* index = compared ? &MasterIndex(t) : nullptr;
        for (const auto& entry : table) {
            if (stop.load(std::memory_order_relaxed)) return;
            const CEntry& e = *entry;
            const bool hasData = HasData(e);
            const bool deleted = checks.m_deleted && e.m_deleted;
            // Every finding names the copy the entry would otherwise leave in
            // effect: the newest master's (of equally old ones the earliest
            // in the list). Unclean or changed is judged against it: an entry
            // equal to an older master's copy undoes the newer master's
            // change; it is not unclean, and it is one finding, never two.
            long newest = -1;
            std::uint32_t newestPos = 0;
            for (std::uint32_t h = index ? index->Head(e.IdText()) : kNone; h != kNone; h = index->Hit(h).m_next) {
                const auto& hit = index->Hit(h);
                if (newest < 0 || ages[hit.m_master] > ages[std::size_t(newest)]) {
                    newest = long(hit.m_master);
                    newestPos = hit.m_pos;
                }
            }
            long uncleanMaster = -1;
            long modifiedMaster = -1;
            if (newest >= 0 && hasData) {
                const bool same = e.SameRecordAs(*m_masters[std::size_t(newest)]->Table(t)[newestPos]);
                if (same && checks.m_unclean) uncleanMaster = newest;
                if (!same && checks.m_globalChanges) modifiedMaster = newest;
            }
            const auto table = std::uint8_t(t);
            if (uncleanMaster >= 0)
                m_result.m_unclean.push_back({&e, nullptr, file, kNoFile, MasterFileOf(uncleanMaster), table, EFinding::Unclean});
            if (modifiedMaster >= 0)
                m_result.m_globalChanges.push_back(
                    {&e, nullptr, file, kNoFile, MasterFileOf(modifiedMaster), table, EFinding::GlobalChange});
            if (deleted)
                m_result.m_deleted.push_back({&e, nullptr, file, kNoFile, MasterFileOf(newest), table, EFinding::Deleted});
        }
    }
}

}  // namespace vantor
