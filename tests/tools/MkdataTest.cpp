// The generated data is what the checks, benchmarks and demos run on: these
// tests make sure it reads cleanly, comes out the same every time, and that
// the committed sample set is what the generator makes (the window's golden
// transcript, run on a generated set, holds its findings).
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <set>

#include "MkData.h"
#include "format/PluginFile.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;

namespace {

std::string Bytes(const std::string& path) {
    std::string out;
    EXPECT_TRUE(platform::ReadWholeFile(path, out)) << path;
    return out;
}

// A plugin read whole, and its bytes. A plugin that does not read is a failure.
struct CLoaded {
    explicit CLoaded(const std::string& path)
        : m_bytes(Bytes(path)), m_file(fixtures::ReadPluginAt(platform::FolderOf(path), platform::FileNameOf(path))) {
        if (!m_file) {
            ADD_FAILURE() << path << " does not read";
            m_file = std::make_unique<CPluginFile>();
        }
        EXPECT_EQ(m_file->Diagnostic().m_message, "") << path;
    }
    const CEntryTable& operator[](const char* tag) const { return *m_file->GetTable(tag); }
    const CEntry* Find(const std::string& tag, std::string_view id) const {
        for (const auto& e : *m_file->GetTable(tag))
            if (e->IdText() == id) return e.get();
        return nullptr;
    }
    std::string m_bytes;
    std::unique_ptr<CPluginFile> m_file;
};

}  // namespace

TEST(SampleSet, CommittedCopyIsCurrentAndOrderedByTime) {
    fixtures::CTempDir dir;
    const auto written = mkdata::WriteSampleSet(dir.Path());
    ASSERT_TRUE(written.m_ok) << written.m_error;
    ASSERT_EQ(written.m_files.size(), 5u);
    const std::string examples = std::string(VANTOR_SOURCE_DIR) + "/examples/";
    const auto times = mkdata::SampleTimes();
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::string name = platform::FileNameOf(written.m_files[i]);
        EXPECT_EQ(name, mkdata::SampleFileNames()[i]);
        EXPECT_EQ(Bytes(written.m_files[i]), Bytes(examples + "Data Files/" + name))
            << name << " differs: regenerate examples/ with vantor-mkdata sample examples";
        EXPECT_EQ(platform::LastWriteTime(written.m_files[i]), times[i]) << name;
        EXPECT_TRUE(i == 0 || times[i - 1] < times[i]) << name;
    }
    // OpenMW's second data folder and its configuration.
    for (const char* name : {"Morrowind.ini", "Mods/Sample Patch/Sample Patch.omwaddon", "openmw.cfg"})
        EXPECT_EQ(Bytes(dir / name), Bytes(examples + name)) << name;
    EXPECT_EQ(platform::FileNameOf(written.m_files.back()), "Sample Patch.omwaddon");
    EXPECT_GT(platform::LastWriteTime(written.m_files.back()), times.back());
}

// A small set: the same bytes for the same options, temporary copies that
// leave nothing behind, the master near its size, and plugins that override
// the masters in the shares asked for, some of them the same records.
TEST(BenchSet, IsDeterministicScaledAndOverridesInTheGivenShares) {
    const mkdata::CBenchOptions opts{.m_plugins = 6, .m_masterMegabytes = 3, .m_extraMasters = {{"Extra.esm", 0.5}},
                                     .m_seed = 7, .m_minRecords = 400, .m_maxRecords = 1200};
    // Sets in temporary folders of their own, each removed whole when done.
    const mkdata::CTemporarySet set(opts);
    ASSERT_TRUE(set.Written().m_ok) << set.Written().m_error;
    const auto& files = set.Written().m_files;
    ASSERT_EQ(files.size(), 8u);
    std::string folder;
    {
        const mkdata::CTemporarySet same(opts);
        ASSERT_EQ(same.Written().m_files.size(), 8u);
        EXPECT_NE(same.Folder(), set.Folder());
        folder = same.Folder();
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(Bytes(files[i]), Bytes(same.Written().m_files[i])) << files[i];
            const std::int64_t previous = i ? platform::LastWriteTime(files[i - 1]).value_or(0) : 0;
            EXPECT_LT(previous, platform::LastWriteTime(files[i]).value_or(0)) << files[i];
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder));

    const CLoaded master(files[0]), extra(files[1]);
    EXPECT_NEAR(double(master.m_bytes.size()) / 1e6, 3, 0.6);
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) EXPECT_FALSE(master.m_file->Table(t).empty());
    // Cell IDs are unique, or a "conflict" would be two different cells.
    std::set<std::string_view> cells;
    for (const auto& e : master["CELL"]) EXPECT_TRUE(cells.insert(e->IdText()).second) << e->IdText();
    // Each topic's responses form one chain from "" to "", every PNAM naming
    // the one before.
    std::map<std::string, std::array<std::string, 3>> infos;  // by ID: topic, previous, next
    for (const auto& e : master["INFO"])
        infos[std::string(e->IdText())] = {std::string(*e->Topic()), std::string(UpToNul(e->PrevInfo())),
                                           std::string(UpToNul(e->NextInfo()))};
    std::map<std::string, std::pair<std::size_t, std::string>> topics;  // response count, first response
    for (const auto& [id, r] : infos) {
        ++topics[r[0]].first;
        if (r[1].empty()) topics[r[0]].second = id;
    }
    for (const auto& [topic, chain] : topics) {
        std::string at = chain.second, prev;
        std::size_t walked = 0;
        for (; !at.empty() && walked <= chain.first; ++walked) {
            auto it = infos.find(at);
            if (it == infos.end() || it->second[0] != topic || it->second[1] != prev) break;
            prev = std::exchange(at, it->second[2]);
        }
        EXPECT_TRUE(at.empty() && walked == chain.first) << topic;
    }
    EXPECT_EQ(extra.m_file->HeaderMasters(), std::vector<std::string>{"Bench.esm"});

    // What the plugins do to the masters' records, dialogue aside: responses
    // saved again for a relinked neighbour keep their data.
    std::size_t records = 0, overrides = 0, unchanged = 0, deleted = 0, conflicts = 0;
    std::map<std::pair<std::string, std::string>, int> seen;
    for (std::size_t p = 2; p < files.size(); ++p) {
        const CLoaded plugin(files[p]);
        EXPECT_EQ(plugin.m_file->HeaderMasters().size(), 2u);
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            if (tag == "DIAL" || tag == "INFO") continue;
            for (const auto& e : plugin.m_file->Table(t)) {
                ++records;
                conflicts += seen[{tag, std::string(e->IdText())}]++ == 1;
                const CEntry* original = master.Find(tag, e->IdText());
                if (!original) original = extra.Find(tag, e->IdText());
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
