#include "dialogrepair/DialogMerge.h"

#include <algorithm>
#include <cstdio>

#include "format/Entry.h"
#include "format/LittleEndian.h"
#include "format/PluginFile.h"
#include "format/RecordCursor.h"
#include "format/RecordTypes.h"
#include "format/RecordWriter.h"
#include "format/SubRecord.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace vantor {

namespace {

// The first words of a response's text (its NAME subrecord), enough to know
// it by in a question.
std::string TextStart(std::string_view subRecords) {
    constexpr std::size_t kShown = 60;
    for (std::size_t pos = 0; pos + 8 <= subRecords.size();) {
        const std::string_view tag = subRecords.substr(pos, 4);
        const std::size_t size = le::U32(subRecords, pos + 4);
        if (size > subRecords.size() - pos - 8) break;
        if (tag == "NAME") {
            const std::string_view text = UpToNul(subRecords.substr(pos + 8, size));
            return text.size() > kShown ? std::string(text.substr(0, kShown)) + "..." : std::string(text);
        }
        pos += 8 + size;
    }
    return {};
}

constexpr std::size_t kRecordHeader = 16;
constexpr std::uint64_t kDefaultMasterSize = 79837557;
constexpr std::string_view kHeaderMaster = "Morrowind.esm";
constexpr std::size_t kWriteChunk = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void Trim(std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    s = s.substr(b, e - b);
}

std::string Key(std::string_view id) { return std::string(UpToNul(id)); }

const std::string kEmptyId(1, '\0');

// Appends x to the chain, linking it to the chain's last element.
void Append(std::vector<CInfoRecord>& chain, CInfoRecord&& x) {
    if (chain.empty()) {
        x.m_pnam = kEmptyId;
    } else {
        x.m_pnam = chain.back().m_inam;
        chain.back().m_nnam = x.m_inam;
    }
    chain.push_back(std::move(x));
}

// Keeps the elements whose flag is 0, in order.
void Compact(std::vector<CInfoRecord>& list, const std::vector<char>& dropped) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (dropped[i]) continue;
        if (out != i) list[out] = std::move(list[i]);
        ++out;
    }
    list.resize(out);
}

// The copy from the newer file wins; of equally old ones the later one read.
bool Newer(const CInfoRecord& later, const CInfoRecord& earlier) { return later.m_fileAge >= earlier.m_fileAge; }

// Takes the flagged master infos out of the topic and links their neighbours
// (master and plugin infos alike) past them, so a deleted response leaves no
// break in the chain behind.
void SpliceOut(std::vector<CInfoRecord>& master, std::vector<CInfoRecord>& plugin, const std::vector<char>& gone) {
    for (std::size_t r = 0; r < master.size(); ++r) {
        if (!gone[r]) continue;
        const std::string id = std::string(UpToNul(master[r].m_inam));
        const std::string prev = master[r].m_pnam;
        const std::string next = master[r].m_nnam;
        for (CInfoRecord& e : master) {
            if (UpToNul(e.m_nnam) == id) e.m_nnam = next;
            if (UpToNul(e.m_pnam) == id) e.m_pnam = prev;
        }
        for (CInfoRecord& e : plugin)
            if (UpToNul(e.m_pnam) == id) e.m_pnam = prev;
    }
}

CCannotCreateNotice CannotCreate(const std::string& path) { return {path, platform::LastErrorMessage()}; }

}  // namespace

CDialogMerge::CInfoPool::CInfoPool(std::vector<CInfoRecord>& infos) : m_infos(infos), m_placed(infos.size(), 0) {
    for (std::size_t i = 0; i < infos.size(); ++i) m_byPrevious[Key(infos[i].m_pnam)].push_back(i);
}

CDialogMerge::CDialogMerge(CUserLink& link, CFileAges* ages) : m_link(link), m_ages(ages ? ages : &m_ownAges) {}

void CDialogMerge::AddPlugin(const std::string& name, const std::string& folder) {
    m_pluginNames.push_back(name);
    m_pluginFolders.push_back(folder);
}

void CDialogMerge::AddMaster(const std::string& name, const std::string& folder) {
    m_masterNames.push_back(name);
    m_masterFolders.push_back(folder);
}

void CDialogMerge::SetOutputPath(const std::string& path) { m_outputPath = path; }

std::uint64_t CDialogMerge::HeaderMasterSize() const { return m_morrowindSize.value_or(kDefaultMasterSize); }

void CDialogMerge::Progress(const std::atomic<std::int32_t>& stop, const std::string& prefix, std::size_t done,
                            std::size_t total) {
    if (stop.load()) return;
    m_link.Progress(platform::PercentText(prefix, done, total), int(total));
}

std::int32_t CDialogMerge::Run(const std::atomic<std::int32_t>& stop) {
    m_outcome = EOutcome::NotRun;
    if (RefuseOutput()) {
        m_outcome = EOutcome::Refused;
        return 0;
    }

    if (!ReadFiles(stop, true)) return 0;
    if (stop.load()) {
        m_outcome = EOutcome::Stopped;
        return 1;
    }
    if (!ReadFiles(stop, false)) return 0;
    if (stop.load()) {
        m_outcome = EOutcome::Stopped;
        return 1;
    }

    if (!Merge(stop)) {
        m_outcome = EOutcome::Declined;
        return 0;
    }
    // A stopped merge leaves chains half built: writing them would replace
    // a good repair plugin with a broken one.
    if (stop.load()) {
        m_outcome = EOutcome::Stopped;
        return 1;
    }
    return WriteRepairPlugin(stop, m_outputPath);
}

bool CDialogMerge::RefuseOutput() {
    if (platform::FileNameOf(m_outputPath).empty()) {
        m_link.Tell(CNoRepairPluginNamedNotice{});
        return true;
    }
    const std::string target = platform::ResolvePath(m_outputPath).value_or(m_outputPath);
    auto isTarget = [&](const std::vector<std::string>& names, const std::vector<std::string>& folders) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            auto input = platform::ResolvePath(folders[i] + names[i]);
            if (input && platform::SameFile(*input, target)) {
                m_link.Tell(CRepairPluginIsReadNotice{names[i]});
                return true;
            }
        }
        return false;
    };
    if (isTarget(m_pluginNames, m_pluginFolders) || isTarget(m_masterNames, m_masterFolders)) return true;

    // Find out now, not after minutes of reading, that the folder takes no
    // new file.
    platform::CFile probe;
    std::string folder = platform::FolderOf(target);
    if (!probe.CreateUnique(folder.empty() ? "./" : folder, 0644)) {
        m_link.Tell(CannotCreate(target));
        return true;
    }
    std::string probePath = probe.Path();
    probe.Close();
    platform::RemoveFile(probePath);
    return false;
}

bool CDialogMerge::ReadFiles(const std::atomic<std::int32_t>& stop, bool plugins) {
    const auto& names = plugins ? m_pluginNames : m_masterNames;
    const auto& folders = plugins ? m_pluginFolders : m_masterFolders;
    const std::string prefix = plugins ? "Extracting Esp Dialog " : "Extracting Esm Dialog ";
    const std::size_t n = names.size();

    if (!plugins && n == 0) {
        if (!m_link.Agrees(CDialogueWithoutMastersQuestion{})) {
            m_outcome = EOutcome::Declined;
            return false;
        }
    }
    Progress(stop, prefix, 0, n);

    std::string bytes;
    std::size_t i = 0;
    for (; i < n && !stop.load(); ++i) {
        platform::CReadFile file;
        // A file that cannot be read whole is reported like one that cannot
        // be opened: a repair plugin missing its dialogue would pass for
        // complete.
        // So is one whose time cannot be read: it may be gone already.
        bool ok = file.Open(folders[i] + names[i]) && platform::LastWriteTime(file.Path());
        const CFileAge age = ok ? m_ages->AgeOf(file.Path()) : CFileAge{};
        ok = ok && file.ReadAll(bytes);
        file.Close();
        if (!ok) {
            m_link.Tell(CCannotOpenNotice{names[i]});
            m_outcome = EOutcome::OpenFailed;
            return false;
        }
        // Anything but a plugin or master is refused, as the checks refuse
        // it: its bytes would be searched for dialogue that is not there.
        if (std::string why = WhyNotAPlugin(bytes); !why.empty()) {
            m_link.Tell(CNotAPluginNotice{names[i], std::move(why)});
            m_outcome = EOutcome::OpenFailed;
            return false;
        }
        if (!plugins && !m_morrowindSize && platform::EqualsNoCase(names[i], kHeaderMaster)) m_morrowindSize = bytes.size();
        m_readingFile = std::uint32_t(i);
        m_damage.reset();
        ReadDialogFile(stop, bytes, age, plugins);
        if (m_damage) {
            m_damage->m_file = names[i];
            m_link.Tell(*m_damage);
        }
        Progress(stop, prefix, i, n);
    }
    if (i == n && !stop.load()) {
        m_link.Progress(platform::PercentText(prefix, n ? n - 1 : 0, n), 0);
    }
    return true;
}

std::int32_t CDialogMerge::ReadDialogFile(const std::atomic<std::int32_t>& stop, std::string_view bytes,
                                          CFileAge fileAge, bool isPlugin) {
    const std::size_t n = bytes.size();
    // The topic the INFO records that follow belong to; none before the first
    // kept DIAL and after a deleted one, whose responses are skipped.
    std::vector<CInfoRecord>* current = nullptr;
    std::size_t pos = 0;
    std::string name;
    std::string_view inam, pnam, nnam;
    while (n - pos >= 4 && !stop.load(std::memory_order_relaxed)) {
        const std::string_view tag = bytes.substr(pos, 4);
        const CRecordType* type = FindRecordType(tag);
        const bool dial = type && type->IsTopic();
        const bool info = type && type->IsResponse();
        if (!IsRecordTag(tag)) {
            if (!m_damage) m_damage = CDialogueDamageNotice{{}, {}, pos};
            pos = NextRecordTag(bytes, pos + 1);
            continue;
        }
        // The file ends inside the record: it is dropped.
        const auto cut = [&] {
            if (!m_damage) m_damage = CDialogueDamageNotice{{}, std::string(tag), pos};
            return 0;
        };
        if (n - pos < kRecordHeader) return cut();
        // Only the low three bytes: no record of the game reaches 16 MiB.
        const std::size_t size = le::U24(bytes, pos + 4);
        const std::size_t dataStart = pos + kRecordHeader;
        if (size > n - dataStart) return cut();
        pos = dataStart + size;
        if (!dial && !info) continue;

        CSubRecordCursor ids(bytes.substr(dataStart, size), CSubRecordCursor::ELength::Whole);
        if (dial) {
            current = nullptr;
            std::string_view payload;
            if (!ids.ByName("NAME", payload)) continue;
            name.assign(payload);
            Trim(name);
            std::string_view rest = bytes.substr(dataStart + ids.Position(), size - ids.Position());
            if (ids.SkippedDele() || (!rest.empty() && IsDeletedData(rest))) continue;
            std::string key = Key(name);
            if (isPlugin) {
                auto [it, added] = m_topicIndex.try_emplace(key, m_topics.size());
                if (added) m_topics.push_back(CTopic{key, {}, {}, {}});
                CTopic& topic = m_topics[it->second];
                topic.m_dials.push_back(CDialRecord{name, std::string(rest)});
                current = &topic.m_infos;
            } else if (m_topicIndex.count(key)) {
                // Master topics that no plugin touches are never merged.
                current = &m_masterTopics[key].m_infos;
            }
            continue;
        }

        if (!ids.ByName("INAM", inam) || !ids.ByName("PNAM", pnam) || !ids.ByName("NNAM", nnam) || !current) continue;
        std::string_view rest = bytes.substr(dataStart + ids.Position(), size - ids.Position());
        CInfoRecord record;
        record.m_deleted = ids.SkippedDele() || (!rest.empty() && IsDeletedData(rest));
        record.m_inam = inam;
        record.m_fileAge = fileAge;
        record.m_file = m_readingFile;
        if (!record.m_deleted) {
            record.m_pnam = pnam;
            record.m_nnam = nnam;
            record.m_rest.assign(rest);
        }
        current->push_back(std::move(record));
    }
    return 1;
}

std::int32_t CDialogMerge::Merge(const std::atomic<std::int32_t>& stop) {
    for (CTopic& topic : m_topics) {
        if (stop.load()) break;
        if (!MergeTopic(topic, stop)) return 0;
    }
    return 1;
}

bool CDialogMerge::MergeTopic(CTopic& topic, const std::atomic<std::int32_t>& stop) {
    std::vector<CInfoRecord>& plugin = topic.m_infos;
    if (plugin.empty()) return true;
    auto masterIt = m_masterTopics.find(topic.m_key);
    std::vector<CInfoRecord>* master = masterIt == m_masterTopics.end() ? nullptr : &masterIt->second.m_infos;

    // Master duplicates: the later-written master's copy stays. A deletion
    // that wins takes the response out, after the plugins had their say.
    std::unordered_set<std::string> gone;
    if (master) {
        std::unordered_map<std::string, std::size_t> best, bestLive;
        for (std::size_t i = 0; i < master->size(); ++i) {
            const CInfoRecord& m = (*master)[i];
            auto [it, added] = best.try_emplace(Key(m.m_inam), i);
            if (!added && Newer(m, (*master)[it->second])) it->second = i;
            if (m.m_deleted) continue;
            auto [live, first] = bestLive.try_emplace(Key(m.m_inam), i);
            if (!first && Newer(m, (*master)[live->second])) live->second = i;
        }
        std::vector<char> dropped(master->size(), 1);
        for (const auto& [key, i] : bestLive) {
            dropped[i] = 0;
            if ((*master)[best[key]].m_deleted) gone.insert(key);
        }
        Compact(*master, dropped);
    }

    // Deletions in plugins. Left out, the repair plugin (read last) would
    // bring back the responses a plugin deleted, so the newest word on each
    // id decides: a deletion removes the plugin and master copies it beats.
    {
        std::unordered_map<std::string, std::size_t> newest;
        bool anyDeleted = false;
        for (std::size_t i = 0; i < plugin.size(); ++i) {
            anyDeleted = anyDeleted || plugin[i].m_deleted;
            auto [it, added] = newest.try_emplace(Key(plugin[i].m_inam), i);
            if (!added && Newer(plugin[i], plugin[it->second])) it->second = i;
        }
        if (anyDeleted) {
            std::vector<char> dropped(plugin.size(), 0);
            for (std::size_t i = 0; i < plugin.size(); ++i) {
                std::string key = Key(plugin[i].m_inam);
                if (plugin[newest[key]].m_deleted) {
                    dropped[i] = 1;
                    gone.insert(key);
                } else if (plugin[i].m_deleted) {
                    dropped[i] = 1;
                }
            }
            Compact(plugin, dropped);
        }
    }

    // Plugin changes to master infos: the master's place and links stay, the
    // plugin's data replaces the master's.
    if (master) {
        std::unordered_map<std::string, std::size_t> byId;
        for (std::size_t i = 0; i < master->size(); ++i) byId.try_emplace(Key((*master)[i].m_inam), i);
        std::vector<char> dropped(plugin.size(), 0);
        for (std::size_t i = 0; i < plugin.size(); ++i) {
            std::string key = Key(plugin[i].m_inam);
            auto it = byId.find(key);
            if (it == byId.end()) continue;
            CInfoRecord& m = (*master)[it->second];
            if (!SameBytes(m.m_rest, plugin[i].m_rest)) m.m_rest = plugin[i].m_rest;
            gone.erase(key);  // a plugin loads after the master that deleted it
            dropped[i] = 1;
        }
        Compact(plugin, dropped);
        if (!gone.empty()) {
            std::vector<char> out(master->size(), 0);
            for (std::size_t i = 0; i < master->size(); ++i) out[i] = gone.count(Key((*master)[i].m_inam)) ? 1 : 0;
            SpliceOut(*master, plugin, out);
            Compact(*master, out);
        }
    }

    // Plugin duplicates: identical copies collapse silently; different ones
    // need the user's word, and then the later-written one stays.
    {
        std::unordered_map<std::string, std::size_t> survivor;
        std::vector<char> dropped(plugin.size(), 0);
        for (std::size_t j = 0; j < plugin.size(); ++j) {
            auto [it, added] = survivor.try_emplace(Key(plugin[j].m_inam), j);
            if (added) continue;
            const std::size_t i = it->second;
            if (SameBytes(plugin[i].m_rest, plugin[j].m_rest)) {
                dropped[j] = 1;
                continue;
            }
            // The newer file's copy is the one going on keeps.
            const bool later = Newer(plugin[j], plugin[i]);
            const CInfoRecord& kept = plugin[later ? j : i];
            const CInfoRecord& other = plugin[later ? i : j];
            const std::string name =
                topic.m_dials.empty() ? topic.m_key : std::string(UpToNul(topic.m_dials.front().m_name));
            CConflictingDialogueQuestion question{name, Key(kept.m_inam), {}, TextStart(kept.m_rest)};
            for (const CInfoRecord* copy : {&other, &kept})
                question.m_plugins.push_back(copy->m_file < m_pluginNames.size() ? m_pluginNames[copy->m_file] : "");
            if (!m_link.Agrees(question)) return false;
            if (later) {
                dropped[i] = 1;
                it->second = j;
            } else {
                dropped[j] = 1;
            }
        }
        Compact(plugin, dropped);
    }

    std::vector<CInfoRecord>& chain = topic.m_chain;
    CInfoPool pool(plugin);
    // Plugin infos that start a chain come first.
    LinkChain(std::string_view(), pool, chain, stop);

    if (master && !master->empty()) {
        std::vector<CInfoRecord>& m = *master;
        std::vector<char> used(m.size(), 0);
        std::unordered_map<std::string, std::size_t> byId;
        std::unordered_map<std::string, std::vector<std::size_t>> byPrevious;
        for (std::size_t i = 0; i < m.size(); ++i) {
            byId.try_emplace(Key(m[i].m_inam), i);
            byPrevious[Key(m[i].m_pnam)].push_back(i);
        }
        std::size_t remaining = m.size();
        std::size_t first = 0;
        std::string current;
        auto take = [&](std::size_t i) {
            used[i] = 1;
            --remaining;
            std::string id = Key(m[i].m_inam);
            Append(chain, std::move(m[i]));
            return id;
        };
        while (!stop.load()) {
            // Every master info that names the current id as its previous,
            // each with the plugin infos that hang below it.
            if (auto it = byPrevious.find(current); it != byPrevious.end()) {
                for (std::size_t i : it->second) {
                    if (used[i]) continue;
                    std::string next = Key(m[i].m_nnam);
                    std::string id = take(i);
                    if (m_queued.insert(next).second) m_successors.push_back(next);
                    LinkChain(id, pool, chain, stop);
                }
            }
            if (remaining == 0) break;

            // The next one named as a successor; repeated ids were never
            // queued twice, which is what removing repeats amounts to.
            std::optional<std::size_t> found;
            while (!m_successors.empty() && !found) {
                std::string id = std::move(m_successors.front());
                m_successors.pop_front();
                m_queued.erase(id);
                auto it = byId.find(id);
                if (it != byId.end() && !used[it->second]) found = it->second;
            }
            if (!found) {
                m_link.Tell(CDialogueOutOfOrderNotice{topic.m_key});
                while (used[first]) ++first;
                found = first;
            }
            current = take(*found);
            // Plugin infos inserted after this one belong right behind it,
            // not at the end of the chain.
            LinkChain(current, pool, chain, stop);
        }
        m.clear();
    }

    // Plugin infos whose previous is nowhere in the topic, each followed by
    // its own followers. Only those start: one whose previous is itself left
    // over follows it, even when it stands before it in the file. What is
    // left then hangs in a loop and goes in pool order.
    std::unordered_set<std::string> leftIds;
    for (std::size_t i = 0; i < pool.Size(); ++i)
        if (!pool.m_placed[i]) leftIds.insert(Key(plugin[i].m_inam));
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < pool.Size() && !stop.load(); ++i) {
            if (pool.m_placed[i] || (pass == 0 && leftIds.count(Key(plugin[i].m_pnam)))) continue;
            pool.m_placed[i] = 1;
            std::string id = Key(plugin[i].m_inam);
            Append(chain, std::move(plugin[i]));
            LinkChain(id, pool, chain, stop);
        }
    }
    plugin.clear();

    if (!chain.empty()) {
        chain.front().m_pnam = kEmptyId;
        chain.back().m_nnam = kEmptyId;
    }
    return true;
}

void CDialogMerge::LinkChain(std::string_view id, CInfoPool& pool, std::vector<CInfoRecord>& chain,
                             const std::atomic<std::int32_t>& stop) {
    // Depth first without recursion: each frame walks the elements that name
    // one id as their previous, in pool order, however many deeper frames
    // placed meanwhile.
    struct CFrame {
        const std::vector<std::size_t>* m_list;
        std::size_t m_next;
    };
    std::vector<CFrame> stack;
    auto push = [&](const std::string& key) {
        auto it = pool.m_byPrevious.find(key);
        if (it != pool.m_byPrevious.end()) stack.push_back(CFrame{&it->second, 0});
    };
    push(Key(id));
    while (!stack.empty() && !stop.load(std::memory_order_relaxed)) {
        CFrame& frame = stack.back();
        while (frame.m_next < frame.m_list->size() && pool.m_placed[(*frame.m_list)[frame.m_next]]) ++frame.m_next;
        if (frame.m_next == frame.m_list->size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t i = (*frame.m_list)[frame.m_next++];
        pool.m_placed[i] = 1;
        std::string key = Key(pool.m_infos[i].m_inam);
        Append(chain, std::move(pool.m_infos[i]));
        push(key);
    }
}

std::size_t CDialogMerge::RecordCount() const {
    std::size_t count = m_topics.size();
    for (const CTopic& topic : m_topics) count += topic.m_chain.size();
    return count;
}

void CDialogMerge::AppendTopic(std::string& out, const CTopic& topic, const std::atomic<std::int32_t>& stop) const {
    // The topic's data comes from the first plugin that holds it.
    const CDialRecord& dial = topic.m_dials.front();
    std::string data;
    records::AppendSub(data, "NAME", dial.m_name);
    data += dial.m_rest;
    records::AppendRecord(out, "DIAL", data);
    for (const CInfoRecord& info : topic.m_chain) {
        if (stop.load(std::memory_order_relaxed)) return;
        data.clear();
        records::AppendSub(data, "INAM", info.m_inam);
        records::AppendSub(data, "PNAM", info.m_pnam);
        records::AppendSub(data, "NNAM", info.m_nnam);
        data += info.m_rest;
        records::AppendRecord(out, "INFO", data);
    }
}

namespace {

std::string RepairHeader(std::size_t recordCount, std::uint64_t masterSize) {
    std::string out;
    records::AppendRecord(out, "TES3",
                          records::SubBytes(records::HeaderSubRecords({.m_masters = {std::string(kHeaderMaster)},
                                                                       .m_masterSizes = {masterSize},
                                                                       .m_recordCount = std::uint32_t(recordCount),
                                                                       .m_author = "VANTOR Dialog Merge File",
                                                                       .m_version = 1.2f})));
    return out;
}

}  // namespace

std::string CDialogMerge::RepairPluginBytes(const std::atomic<std::int32_t>& stop) {
    std::string out = RepairHeader(RecordCount(), HeaderMasterSize());
    for (const CTopic& topic : m_topics) {
        if (stop.load()) return {};
        AppendTopic(out, topic, stop);
    }
    if (stop.load()) return {};
    return out;
}

std::int32_t CDialogMerge::WriteRepairPlugin(const std::atomic<std::int32_t>& stop, const std::string& path) {
    const std::string target = platform::ResolvePath(path).value_or(path);
    const std::string folder = platform::FolderOf(target);
    const std::string writeFolder = folder.empty() ? "./" : folder;

    // The plugin is built in a new file beside the target and renamed over
    // it only when complete, so a failed or stopped write leaves an existing
    // repair plugin as it was.
    platform::CFile file;
    if (!file.CreateUnique(writeFolder, platform::FileMode(target).value_or(0644))) {
        m_link.Tell(CannotCreate(target));
        m_outcome = EOutcome::WriteFailed;
        return 0;
    }
    auto fail = [&]() {
        std::string text = platform::LastErrorMessage();
        file.Discard();
        m_link.Tell(CRepairNotWrittenNotice{text});
        m_outcome = EOutcome::WriteFailed;
        return 0;
    };

    if (!file.Write(RepairHeader(RecordCount(), HeaderMasterSize()))) return fail();
    const std::string prefix = "Creating Repair Plugin ";
    const std::size_t n = m_topics.size();
    Progress(stop, prefix, 0, n);
    std::string buffer;
    std::size_t t = 0;
    for (; t < n && !stop.load(); ++t) {
        AppendTopic(buffer, m_topics[t], stop);
        if (buffer.size() >= kWriteChunk) {
            if (!file.Write(buffer)) return fail();
            buffer.clear();
        }
        Progress(stop, prefix, t, n);
    }
    if (stop.load()) {
        file.Discard();
        m_outcome = EOutcome::Stopped;
        return 1;
    }
    if (!buffer.empty() && !file.Write(buffer)) return fail();
    m_link.Progress(platform::PercentText(prefix, n ? n - 1 : 0, n), 0);

    if (!file.Sync()) return fail();
    const std::string written = file.Path();
    if (!file.Close()) return fail();
    if (!platform::RenameFile(written, target, true)) {
        std::string text = platform::LastErrorMessage();
        platform::RemoveFile(written);
        m_link.Tell(CRepairNotWrittenNotice{text});
        m_outcome = EOutcome::WriteFailed;
        return 0;
    }
    platform::SyncFolder(writeFolder);
    m_outcome = EOutcome::Written;
    return 1;
}

}  // namespace vantor
