// The generated data is what the checks, benchmarks and demos run on: these
// tests make sure it really holds the findings it claims to, reads cleanly,
// and comes out the same every time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <filesystem>
#include <map>
#include <set>

#include "MkData.h"
#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

struct CLoaded {
    std::string m_bytes;
    std::unique_ptr<CPluginFile> m_file;
    const CEntryTable& operator[](const char* tag) const { return *m_file->GetTable(tag); }
};

CLoaded Load(const std::string& path) {
    CLoaded l;
    EXPECT_TRUE(platform::ReadWholeFile(path, l.m_bytes)) << path;
    l.m_file = std::make_unique<CPluginFile>();
    std::atomic<std::int32_t> stop{0};
    EXPECT_TRUE(l.m_file->Open(platform::FileNameOf(path), platform::FolderOf(path))) << path;
    EXPECT_TRUE(l.m_file->ReadRecords(stop, CExtractOpts::All())) << path;
    l.m_file->Close();
    EXPECT_EQ(l.m_file->Diagnostic().m_message, "") << path;
    return l;
}

// The subrecords of an entry's whole record, ID subrecords included.
std::map<std::string, std::string> RecordFields(const CLoaded& file, const CEntry& e) {
    CSubRecords subs;
    SplitSubRecords(std::string_view(file.m_bytes).substr(std::size_t(e.m_offset) + 16, std::size_t(e.m_size) - 16),
                    subs);
    std::map<std::string, std::string> fields;
    for (const CSubRecord& s : subs) fields.emplace(s.m_tag, std::string(UpToNul(s.m_payload)));
    return fields;
}

// Masters and their sizes from the header's MAST/DATA pairs.
std::vector<std::pair<std::string, std::uint64_t>> HeaderMasters(const std::string& bytes) {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    CSubRecords subs;
    if (bytes.size() < 16 || bytes.compare(0, 4, "TES3") != 0) return out;
    const std::size_t size = std::uint8_t(bytes[4]) | std::uint8_t(bytes[5]) << 8 | std::uint8_t(bytes[6]) << 16;
    SplitSubRecords(std::string_view(bytes).substr(16, size), subs);
    for (std::size_t i = 0; i + 1 < subs.size(); ++i) {
        if (subs[i].m_tag != "MAST" || subs[i + 1].m_tag != "DATA" || subs[i + 1].m_payload.size() != 8) continue;
        std::uint64_t value = 0;
        for (int k = 7; k >= 0; --k) value = value << 8 | std::uint8_t(subs[i + 1].m_payload[std::size_t(k)]);
        out.emplace_back(std::string(UpToNul(subs[i].m_payload)), value);
    }
    return out;
}

struct CResponse {
    std::string m_topic, m_prev, m_next;
};

// Responses by ID as the game sees them after loading `files` in order:
// a later file's record replaces an earlier one's, a deletion removes it.
std::map<std::string, CResponse> Responses(const std::vector<const CLoaded*>& files,
                                           const std::function<bool(const CEntry&)>& keep = nullptr) {
    std::map<std::string, CResponse> out;
    for (const CLoaded* f : files)
        for (const auto& e : (*f)["INFO"]) {
            if (keep && !keep(*e)) continue;
            // A deleted response leaves the chain; its neighbours were relinked.
            if (e->m_deleted) {
                out.erase(std::string(e->IdText()));
                continue;
            }
            auto fields = RecordFields(*f, *e);
            out[std::string(e->IdText())] = {*e->m_topic, fields["PNAM"], fields["NNAM"]};
        }
    return out;
}

// Topics whose responses do not form one chain from "" to "" with every
// PNAM naming the response before it.
std::set<std::string> BrokenChains(const std::map<std::string, CResponse>& responses) {
    std::map<std::string, std::vector<std::string>> byTopic;
    for (const auto& [id, r] : responses) byTopic[r.m_topic].push_back(id);
    std::set<std::string> broken;
    for (const auto& [topic, ids] : byTopic) {
        std::string at, prev;
        for (const auto& id : ids)
            if (responses.at(id).m_prev.empty()) at = id;
        std::size_t walked = 0;
        while (!at.empty() && walked <= ids.size()) {
            auto it = responses.find(at);
            if (it == responses.end() || it->second.m_topic != topic || it->second.m_prev != prev) break;
            ++walked;
            prev = at;
            at = it->second.m_next;
        }
        if (!at.empty() || walked != ids.size()) broken.insert(topic);
    }
    return broken;
}

// The number of the benchmark plugin whose own record this is, 0 for the
// masters': plugin IDs carry "p<n>_", response IDs the writer's file index.
int PluginNumber(const std::string& tag, const std::string& id, int masters) {
    if (tag == "INFO") return std::max(0, std::stoi(id.substr(0, 4)) - 1 - masters);
    for (std::size_t i = 0; i + 2 < id.size(); ++i) {
        if ((id[i] != 'p' && id[i] != 'P') || !std::isdigit(static_cast<unsigned char>(id[i + 1]))) continue;
        std::size_t end = i + 1;
        while (end < id.size() && std::isdigit(static_cast<unsigned char>(id[end]))) ++end;
        if (end < id.size() && id[end] == '_') return std::stoi(id.substr(i + 1, end - i - 1));
    }
    return 0;
}

const CEntry* Find(const CLoaded& f, const char* tag, std::string_view id) {
    for (const auto& e : f[tag])
        if (e->IdText() == id) return e.get();
    return nullptr;
}

std::string Bytes(const std::string& path) {
    std::string out;
    EXPECT_TRUE(platform::ReadWholeFile(path, out)) << path;
    return out;
}

}  // namespace

TEST(SampleSet, CommittedCopyIsCurrentAndOrderedByTime) {
    CTempDir dir;
    const auto written = mkdata::WriteSampleSet(dir.Path());
    ASSERT_TRUE(written.m_ok) << written.m_error;
    ASSERT_EQ(written.m_files.size(), 5u);
    const auto times = mkdata::SampleTimes();
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::string name = platform::FileNameOf(written.m_files[i]);
        EXPECT_EQ(name, mkdata::SampleFileNames()[i]);
        EXPECT_EQ(Bytes(written.m_files[i]), Bytes(std::string(VANTOR_SOURCE_DIR) + "/examples/Data Files/" + name))
            << name << " differs: regenerate examples/ with vantor-mkdata sample examples";
        EXPECT_EQ(platform::LastWriteTime(written.m_files[i]), times[i]) << name;
        if (i > 0) {
            EXPECT_LT(times[i - 1], times[i]);
        }
    }
    EXPECT_EQ(Bytes(dir / "Morrowind.ini"), Bytes(std::string(VANTOR_SOURCE_DIR) + "/examples/Morrowind.ini"));
    EXPECT_NE(Bytes(dir / "Morrowind.ini").find("GameFile3=Sample Tweaks.esp\r\n"), std::string::npos);
    // OpenMW's second data folder and its configuration.
    for (const char* name : {"Mods/Sample Patch/Sample Patch.omwaddon", "openmw.cfg"})
        EXPECT_EQ(Bytes(dir / name), Bytes(std::string(VANTOR_SOURCE_DIR) + "/examples/" + name)) << name;
    EXPECT_EQ(platform::FileNameOf(written.m_files.back()), "Sample Patch.omwaddon");
    EXPECT_GT(platform::LastWriteTime(written.m_files.back()), times.back());

    // A second run writes the same bytes.
    CTempDir again;
    ASSERT_TRUE(mkdata::WriteSampleSet(again.Path()).m_ok);
    for (const auto& name : mkdata::SampleFileNames())
        EXPECT_EQ(Bytes(dir / ("Data Files/" + name)), Bytes(again / ("Data Files/" + name))) << name;
}

TEST(SampleSet, HoldsEveryKindOfFinding) {
    const std::string data = std::string(VANTOR_SOURCE_DIR) + "/examples/Data Files/";
    const CLoaded master = Load(data + "Sample.esm");
    const CLoaded armory = Load(data + "Sample Armory.esp");
    const CLoaded quests = Load(data + "Sample Quests.esp");
    const CLoaded tweaks = Load(data + "Sample Tweaks.esp");

    EXPECT_TRUE(HeaderMasters(master.m_bytes).empty());
    const auto masterSize = std::uint64_t(master.m_bytes.size());
    for (const CLoaded* plugin : {&armory, &quests, &tweaks})
        EXPECT_EQ(HeaderMasters(plugin->m_bytes).at(0), std::make_pair(std::string("Sample.esm"), masterSize));
    EXPECT_EQ(HeaderMasters(tweaks.m_bytes).at(1),
              std::make_pair(std::string("Sample Armory.esp"), std::uint64_t(armory.m_bytes.size())));

    // Every common type is there, with the IDs the reader forms for them.
    for (const char* tag : {"NPC_", "STAT", "MISC", "WEAP", "GMST", "GLOB", "SCPT", "CELL", "LAND", "PGRD", "MGEF",
                            "SKIL", "DIAL", "INFO"})
        EXPECT_FALSE(master[tag].empty()) << tag;
    EXPECT_NE(Find(master, "CELL", "1,0,0 Sample Hall"), nullptr);
    EXPECT_NE(Find(master, "CELL", "0,-2,5 "), nullptr);
    EXPECT_NE(Find(master, "LAND", "-2,5"), nullptr);
    EXPECT_NE(Find(master, "PGRD", "0,0,512 Sample Hall"), nullptr);
    EXPECT_NE(Find(master, "MGEF", "Index -116"), nullptr);
    EXPECT_NE(Find(master, "SCPT", "SampleDoorScript"), nullptr);

    // Findings against the master: identical copies, changes and deletions.
    int unclean = 0, changed = 0, deleted = 0, conflicts = 0;
    std::map<std::pair<std::string, std::string>, int> plugins;
    for (const CLoaded* plugin : {&armory, &quests, &tweaks}) {
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const char* tag = CPluginFile::kTags[t].data();
            for (const auto& e : plugin->m_file->Table(t)) {
                if (++plugins[{tag, std::string(e->IdText())}] == 2 && std::string_view(tag) != "DIAL") ++conflicts;
                deleted += e->m_deleted;
                const CEntry* original = Find(master, tag, e->IdText());
                if (!original || e->m_deleted || std::string_view(tag) == "DIAL") continue;
                (SameBytes(original->Data(), e->Data()) ? unclean : changed)++;
            }
        }
    }
    EXPECT_GE(unclean, 4);
    EXPECT_GE(changed, 8);
    EXPECT_GE(conflicts, 3);
    EXPECT_EQ(deleted, 4);
    const CEntry* cellar = Find(tweaks, "CELL", "1,0,0 Sample Cellar");
    ASSERT_NE(cellar, nullptr);
    EXPECT_EQ(cellar->m_deleted, 1);
    EXPECT_EQ(Find(armory, "STAT", "sample_banner_01")->m_deleted, 1);
    EXPECT_FALSE(SameBytes(Find(armory, "NPC_", "sample_trader")->Data(), Find(tweaks, "NPC_", "sample_trader")->Data()));

    // The master's chains are whole, each plugin keeps them whole on its own,
    // and the two plugins that insert into "latest rumors" break it together:
    // the case the dialogue repair exists for.
    EXPECT_TRUE(BrokenChains(Responses({&master})).empty());
    EXPECT_TRUE(BrokenChains(Responses({&master, &quests})).empty());
    EXPECT_TRUE(BrokenChains(Responses({&master, &tweaks})).empty());
    EXPECT_EQ(BrokenChains(Responses({&master, &quests, &tweaks})), std::set<std::string>{"latest rumors"});
    EXPECT_EQ(Find(quests, "DIAL", "sample shrine") != nullptr, true);
}

namespace {

mkdata::CBenchOptions SmallBench() {
    mkdata::CBenchOptions o;
    o.m_masterMegabytes = 3;
    o.m_plugins = 6;
    o.m_seed = 7;
    o.m_minRecords = 400;
    o.m_maxRecords = 1200;
    return o;
}

}  // namespace

TEST(BenchSet, IsDeterministicAndScaled) {
    CTempDir a, b, c;
    const auto opts = SmallBench();
    const auto first = mkdata::WriteBenchSet(a.Path(), opts);
    ASSERT_TRUE(first.m_ok) << first.m_error;
    ASSERT_EQ(first.m_files.size(), 7u);
    ASSERT_TRUE(mkdata::WriteBenchSet(b.Path(), opts).m_ok);
    auto reseeded = opts;
    reseeded.m_seed = 8;
    ASSERT_TRUE(mkdata::WriteBenchSet(c.Path(), reseeded).m_ok);
    for (const auto& path : first.m_files) {
        const std::string name = platform::FileNameOf(path);
        EXPECT_EQ(Bytes(path), Bytes(b / ("Data Files/" + name))) << name;
        EXPECT_NE(Bytes(path), Bytes(c / ("Data Files/" + name))) << name;
    }
    std::int64_t previous = 0;
    for (const auto& path : first.m_files) {
        const auto time = platform::LastWriteTime(path).value_or(0);
        EXPECT_GT(time, previous) << path;
        previous = time;
    }

    const CLoaded master = Load(first.m_files[0]);
    const double size = double(master.m_bytes.size()) / 1e6;
    EXPECT_GT(size, 3 * 0.8);
    EXPECT_LT(size, 3 * 1.2);
    EXPECT_EQ(master["INFO"].size(), 900u);  // 24,000 scaled to 3 of 80 MB
    EXPECT_EQ(master["DIAL"].size(), 86u);
    EXPECT_EQ(master["MGEF"].size(), 5u);
    EXPECT_EQ(master["LAND"].size(), 53u);
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) EXPECT_FALSE(master.m_file->Table(t).empty());
    for (const auto& e : master["LAND"]) EXPECT_GT(e->m_size, 15000);
    // Cell IDs are unique, or a "conflict" would be two different cells.
    std::set<std::string_view> cells;
    for (const auto& e : master["CELL"]) EXPECT_TRUE(cells.insert(e->IdText()).second) << e->IdText();
    EXPECT_TRUE(BrokenChains(Responses({&master})).empty());
}

TEST(BenchSet, PluginsOverrideInTheGivenShares) {
    CTempDir dir;
    auto opts = SmallBench();
    opts.m_extraMasters = {{"Extra.esm", 0.5}};
    const auto written = mkdata::WriteBenchSet(dir.Path(), opts);
    ASSERT_TRUE(written.m_ok) << written.m_error;
    ASSERT_EQ(written.m_files.size(), 8u);
    const CLoaded master = Load(written.m_files[0]);
    const CLoaded extra = Load(written.m_files[1]);
    EXPECT_EQ(HeaderMasters(extra.m_bytes),
              (std::vector<std::pair<std::string, std::uint64_t>>{{"Bench.esm", master.m_bytes.size()}}));

    // Plugins copy a record as its owner wrote it, even where the extra
    // master changed it since: the first master's copy is the one to compare.
    std::map<std::pair<std::string, std::string>, const CEntry*> mastered;
    for (const CLoaded* m : {&master, &extra})
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (const auto& e : m->m_file->Table(t))
                mastered.emplace(std::make_pair(std::string(CPluginFile::kTags[t]), std::string(e->IdText())), e.get());

    std::size_t records = 0, overrides = 0, judged = 0, unchanged = 0, deleted = 0, conflicts = 0, ofPlugins = 0;
    std::map<std::pair<std::string, std::string>, int> seen;
    for (std::size_t p = 2; p < written.m_files.size(); ++p) {
        const CLoaded plugin = Load(written.m_files[p]);
        EXPECT_EQ(HeaderMasters(plugin.m_bytes),
                  (std::vector<std::pair<std::string, std::uint64_t>>{{"Bench.esm", master.m_bytes.size()},
                                                                      {"Extra.esm", extra.m_bytes.size()}}));
        std::size_t own = 0;
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            for (const auto& e : plugin.m_file->Table(t)) {
                const std::string id(e->IdText());
                if (tag == "DIAL") continue;  // saved with every response they hold
                ++own;
                if (seen[{tag, id}]++ == 1) ++conflicts;
                const int number = PluginNumber(tag, id, 2);
                if (number != 0 && number != int(p) - 1) ++ofPlugins;
                auto m = mastered.find({tag, id});
                if (m == mastered.end()) continue;
                ++overrides;
                // Responses saved again for a relinked neighbour keep their
                // data, so they would count as copies: shares are measured on
                // the other types.
                if (tag == "INFO") continue;
                ++judged;
                deleted += e->m_deleted;
                unchanged += !e->m_deleted && SameBytes(e->Data(), m->second->Data());
            }
        }
        // Relinked neighbours of inserted responses come on top of the budget.
        EXPECT_GE(own, std::size_t(opts.m_minRecords) * 9 / 10) << written.m_files[p];
        EXPECT_LE(own, std::size_t(opts.m_maxRecords) * 11 / 10) << written.m_files[p];
        records += own;

        // Against the masters alone, a plugin's own insertions keep every
        // chain whole (responses of other plugins are left out).
        const std::string ownCode = std::to_string(10000 + p + 1).substr(1);
        auto mine = [&](const CEntry& e) {
            const std::string_view code = e.IdText().substr(0, 4);
            return code == "0001" || code == "0002" || code == ownCode;
        };
        EXPECT_TRUE(BrokenChains(Responses({&master, &extra, &plugin}, mine)).empty()) << written.m_files[p];
    }
    const double overrideShare = double(overrides) / double(records);
    EXPECT_NEAR(overrideShare, opts.m_fromMasters, 0.1);
    EXPECT_NEAR(double(unchanged) / double(judged), opts.m_unchanged, 0.05);
    EXPECT_NEAR(double(deleted) / double(judged), opts.m_deleted, 0.03);
    EXPECT_GT(conflicts, 50u);   // popular records are changed by several plugins
    EXPECT_GT(ofPlugins, 100u);  // and plugins change each other's own records
}

TEST(BenchSet, TemporarySetLeavesNothingBehind) {
    mkdata::CBenchOptions opts;
    opts.m_masterMegabytes = 0.05;
    opts.m_plugins = 1;
    std::string folder;
    {
        const mkdata::CTemporarySet set(opts);
        ASSERT_TRUE(set.Written().m_ok) << set.Written().m_error;
        folder = set.Folder();
        ASSERT_EQ(set.Written().m_files.size(), 2u);
        for (const auto& f : set.Written().m_files) EXPECT_EQ(f.rfind(folder, 0), 0u) << f;
        EXPECT_TRUE(std::filesystem::exists(set.Written().m_files[1]));
        const mkdata::CTemporarySet other(opts);
        EXPECT_NE(other.Folder(), folder);
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}
