// Cell cleaning on real plugins and on the generated load order: every
// cleaned plugin reads back, holds no duplicate, and kept all else in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "CellKit.h"
#include "MkData.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

using namespace vantor;
using namespace vantor::cells;
using namespace vantor::cells::testing;

namespace {

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Corpus files are named "<source folder>__<path>__<name>"; a plugin's
// masters are looked for among the files of its own source repository.
struct CCorpusName {
    std::string m_repo, m_prefix, m_name;
};
CCorpusName Split(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string file = p.filename().string();
    const auto cut = file.rfind("__");
    return {p.parent_path().string(), cut == std::string::npos ? "" : file.substr(0, cut),
            cut == std::string::npos ? file : file.substr(cut + 2)};
}

}  // namespace

TEST(CellCorpus, CleanedPluginsReadBackWithoutDuplicates) {
    const auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    std::size_t judged = 0, findings = 0;
    for (const auto& path : files) {
        const CCorpusName me = Split(path);
        auto original = Load(platform::FolderOf(path), platform::FileNameOf(path));
        ASSERT_TRUE(original) << path;
        if (original->GetTable("CELL")->empty()) continue;
        // The masters that are here, the one of the plugin's own folder first.
        std::vector<std::string> found;
        for (const auto& wanted : original->HeaderMasters()) {
            std::string best;
            for (const auto& other : files) {
                const CCorpusName o = Split(other);
                if (o.m_repo == me.m_repo && Lower(o.m_name) == Lower(wanted) && (best.empty() || o.m_prefix == me.m_prefix))
                    best = other;
            }
            if (!best.empty()) found.push_back(best);
        }
        if (found.empty()) continue;

        // Under their own names, as the plugin's MAST list names them.
        fixtures::CTempDir dir, scratch;
        for (const auto& p : found) std::filesystem::copy_file(p, dir / Split(p).m_name);
        std::filesystem::copy_file(path, dir / me.m_name);
        auto plugin = Load(dir.Path(), me.m_name);
        ASSERT_TRUE(plugin) << path;
        std::vector<std::unique_ptr<CPluginFile>> loaded;
        std::vector<const CPluginFile*> order;
        for (const auto& p : found) {
            loaded.push_back(Load(dir.Path(), Split(p).m_name));
            ASSERT_TRUE(loaded.back()) << p;
            order.push_back(loaded.back().get());
        }
        SCOPED_TRACE(path);
        const CPluginCells result = CleanAndCheck(CCellCleaner(order), *plugin, scratch.Path());
        ++judged;
        findings += result.m_cells.size();
    }
    EXPECT_GT(judged, 2u);
    EXPECT_GT(findings, 0u);
}

// The generated load order holds every kind of finding, and cleaning it
// leaves nothing to find.
TEST(CellCorpus, GeneratedLoadOrderExercisesEveryRule) {
    mkdata::CBenchOptions opts;
    opts.m_masterMegabytes = 4;
    opts.m_extraMasters = {{"Extra.esm", 2}};
    opts.m_plugins = 8;
    opts.m_seed = 11;
    const mkdata::CTemporarySet set(opts);
    ASSERT_TRUE(set.Written().m_ok) << set.Written().m_error;
    const std::string data = set.Folder() + "/Data Files/";
    auto master = Load(data, "Bench.esm"), extra = Load(data, "Extra.esm");
    ASSERT_TRUE(master && extra);
    const CCellCleaner cleaner({master.get(), extra.get()});

    fixtures::CTempDir scratch;
    std::size_t duplicates = 0, ambient = 0, water = 0, junk = 0, againstExtra = 0;
    for (const auto& path : set.Written().m_files) {
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".esp") != 0) continue;
        auto plugin = Load(platform::FolderOf(path), platform::FileNameOf(path));
        ASSERT_TRUE(plugin) << path;
        SCOPED_TRACE(path);
        const CPluginCells result = CleanAndCheck(cleaner, *plugin, scratch.Path());
        EXPECT_EQ(result.m_unjudged, 0u);
        duplicates += result.Duplicates();
        for (const auto& c : result.m_cells) {
            ambient += c.m_redundantAmbient;
            water += c.m_redundantWater;
            junk += c.m_junk;
            againstExtra += c.m_master == "Extra.esm";
        }
    }
    EXPECT_GT(duplicates, 500u);
    EXPECT_GT(ambient, 5u);
    EXPECT_GT(water, 5u);
    EXPECT_GT(junk, 2u);
    EXPECT_GT(againstExtra, 0u);
}
