// The generated data is what the checks, benchmarks and demos run on: these
// tests make sure it really holds the findings it claims to, reads cleanly,
// and comes out the same every time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "MkData.h"
#include "format/LittleEndian.h"
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

// Masters and their sizes from the header's MAST/DATA pairs.
std::vector<std::pair<std::string, std::uint64_t>> HeaderMasters(const std::string& bytes) {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    CSubRecords subs;
    if (bytes.size() < 16 || bytes.compare(0, 4, "TES3") != 0) return out;
    SplitSubRecords(std::string_view(bytes).substr(16, le::U24(bytes, 4)), subs);
    for (std::size_t i = 0; i + 1 < subs.size(); ++i)
        if (subs[i].m_tag == "MAST" && subs[i + 1].m_tag == "DATA" && subs[i + 1].m_payload.size() == 8)
            out.emplace_back(std::string(UpToNul(subs[i].m_payload)), le::Get(subs[i + 1].m_payload, 0, 8));
    return out;
}

// Responses by ID (topic, previous, next) as the game sees them after
// loading `files` in order: a later file's record replaces an earlier one's,
// a deletion removes it.
using CResponses = std::map<std::string, std::array<std::string, 3>>;
CResponses Responses(const std::vector<const CLoaded*>& files) {
    CResponses out;
    for (const CLoaded* f : files)
        for (const auto& e : (*f)["INFO"]) {
            if (e->m_deleted) out.erase(std::string(e->IdText()));
            else out[std::string(e->IdText())] = {*e->m_topic, std::string(UpToNul(e->m_prevInfo)),
                                                  std::string(UpToNul(e->m_nextInfo))};
        }
    return out;
}

// Topics whose responses do not form one chain from "" to "" with every
// PNAM naming the response before it.
std::set<std::string> BrokenChains(const CResponses& responses) {
    std::map<std::string, std::vector<std::string>> byTopic;
    for (const auto& [id, r] : responses) byTopic[r[0]].push_back(id);
    std::set<std::string> broken;
    for (const auto& [topic, ids] : byTopic) {
        std::string at, prev;
        for (const auto& id : ids)
            if (responses.at(id)[1].empty()) at = id;
        std::size_t walked = 0;
        while (!at.empty() && walked <= ids.size()) {
            auto it = responses.find(at);
            if (it == responses.end() || it->second[0] != topic || it->second[1] != prev) break;
            ++walked;
            prev = at;
            at = it->second[2];
        }
        if (!at.empty() || walked != ids.size()) broken.insert(topic);
    }
    return broken;
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

    // Every common type is there, some with IDs the reader forms.
    for (const char* tag : {"NPC_", "STAT", "MISC", "WEAP", "GMST", "GLOB", "SCPT", "LAND", "SKIL", "DIAL", "INFO"})
        EXPECT_FALSE(master[tag].empty()) << tag;
    for (auto [tag, id] : {std::pair{"CELL", "0,-2,5 "}, {"PGRD", "0,0,512 Sample Hall"}, {"MGEF", "Index -116"},
                           {"SCPT", "SampleDoorScript"}})
        EXPECT_NE(Find(master, tag, id), nullptr) << tag << " " << id;

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
    const CEntry* banner = Find(armory, "STAT", "sample_banner_01");
    ASSERT_TRUE(cellar && banner);
    EXPECT_TRUE(cellar->m_deleted && banner->m_deleted);

    // The master's chains are whole, each plugin keeps them whole on its own,
    // and the two plugins that insert into "latest rumors" break it together:
    // the case the dialogue repair exists for.
    EXPECT_TRUE(BrokenChains(Responses({&master})).empty());
    EXPECT_TRUE(BrokenChains(Responses({&master, &quests})).empty());
    EXPECT_TRUE(BrokenChains(Responses({&master, &tweaks})).empty());
    EXPECT_EQ(BrokenChains(Responses({&master, &quests, &tweaks})), std::set<std::string>{"latest rumors"});
}

// A small set: the same bytes for the same options, other bytes for another
// seed, temporary copies that leave nothing behind, the master near its
// size, and plugins that override the masters in the shares asked for, some
// of them the same records.
TEST(BenchSet, IsDeterministicScaledAndOverridesInTheGivenShares) {
    mkdata::CBenchOptions opts;
    opts.m_masterMegabytes = 3;
    opts.m_plugins = 6;
    opts.m_seed = 7;
    opts.m_minRecords = 400;
    opts.m_maxRecords = 1200;
    opts.m_extraMasters = {{"Extra.esm", 0.5}};
    // Sets in temporary folders of their own, each removed whole when done.
    const mkdata::CTemporarySet set(opts);
    const auto& first = set.Written();
    ASSERT_TRUE(first.m_ok) << first.m_error;
    ASSERT_EQ(first.m_files.size(), 8u);
    auto reseeded = opts;
    reseeded.m_seed = 8;
    std::string folder;
    {
        const mkdata::CTemporarySet same(opts), other(reseeded);
        ASSERT_TRUE(same.Written().m_ok && other.Written().m_ok);
        ASSERT_EQ(same.Written().m_files.size(), 8u);
        ASSERT_EQ(other.Written().m_files.size(), 8u);
        EXPECT_NE(same.Folder(), set.Folder());
        folder = same.Folder();
        std::int64_t previous = 0;
        for (std::size_t i = 0; i < first.m_files.size(); ++i) {
            const std::string& path = first.m_files[i];
            EXPECT_EQ(Bytes(path), Bytes(same.Written().m_files[i])) << path;
            EXPECT_NE(Bytes(path), Bytes(other.Written().m_files[i])) << path;
            EXPECT_GT(platform::LastWriteTime(path).value_or(0), previous) << path;
            previous = platform::LastWriteTime(path).value_or(0);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder));

    const CLoaded master = Load(first.m_files[0]);
    const CLoaded extra = Load(first.m_files[1]);
    EXPECT_NEAR(double(master.m_bytes.size()) / 1e6, 3, 0.6);
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) EXPECT_FALSE(master.m_file->Table(t).empty());
    // Cell IDs are unique, or a "conflict" would be two different cells.
    std::set<std::string_view> cells;
    for (const auto& e : master["CELL"]) EXPECT_TRUE(cells.insert(e->IdText()).second) << e->IdText();
    EXPECT_TRUE(BrokenChains(Responses({&master})).empty());
    EXPECT_EQ(HeaderMasters(extra.m_bytes),
              (std::vector<std::pair<std::string, std::uint64_t>>{{"Bench.esm", master.m_bytes.size()}}));

    // Responses saved again for a relinked neighbour keep their data: shares
    // are measured on the other types.
    std::size_t records = 0, overrides = 0, unchanged = 0, deleted = 0, conflicts = 0;
    std::map<std::pair<std::string, std::string>, int> seen;
    for (std::size_t p = 2; p < first.m_files.size(); ++p) {
        const CLoaded plugin = Load(first.m_files[p]);
        EXPECT_EQ(HeaderMasters(plugin.m_bytes).size(), 2u);
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            if (tag == "DIAL" || tag == "INFO") continue;
            for (const auto& e : plugin.m_file->Table(t)) {
                ++records;
                conflicts += seen[{tag, std::string(e->IdText())}]++ == 1;
                const CEntry* original = Find(master, tag.c_str(), e->IdText());
                if (!original) original = Find(extra, tag.c_str(), e->IdText());
                if (!original) continue;
                ++overrides;
                deleted += e->m_deleted;
                unchanged += !e->m_deleted && SameBytes(e->Data(), original->Data());
            }
        }
    }
    EXPECT_NEAR(double(overrides) / double(records), opts.m_fromMasters, 0.15);
    EXPECT_NEAR(double(unchanged) / double(overrides), opts.m_unchanged, 0.08);
    EXPECT_NEAR(double(deleted) / double(overrides), opts.m_deleted, 0.03);
    EXPECT_GT(conflicts, 50u);  // popular records are changed by several plugins
}
