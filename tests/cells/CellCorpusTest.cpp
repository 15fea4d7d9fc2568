// Cell cleaning on real plugins: every cleaned plugin reads back, holds no
// duplicate, and kept all else in order.
#include <gtest/gtest.h>

#include <filesystem>

#include "CellKit.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"
#include "platform/Profile.h"

using namespace vantor;
using namespace vantor::cells;
using namespace vantor::cells::testing;
namespace fs = std::filesystem;

TEST(CellCorpus, CleanedPluginsReadBackWithoutDuplicates) {
    const auto files = fixtures::CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus folder absent";
    // Corpus files are named "<path>__<name>" in a folder per source; a
    // plugin's masters are looked for in its folder, on its path first.
    auto split = [](const std::string& path) {
        const std::string file = fs::path(path).filename().string();
        const auto cut = file.rfind("__");
        return cut == std::string::npos ? std::pair{std::string(), file} : std::pair{file.substr(0, cut), file.substr(cut + 2)};
    };
    std::size_t judged = 0, findings = 0;
    for (const auto& path : files) {
        const fixtures::CTempDir dir, scratch;
        fs::copy_file(path, dir / split(path).second);
        const auto plugin = ReadPluginAt(dir.Path(), split(path).second);
        ASSERT_TRUE(plugin) << path;
        std::vector<std::unique_ptr<CPluginFile>> masters;
        for (const auto& wanted : plugin->GetTable("CELL")->empty() ? std::vector<std::string>{} : plugin->HeaderMasters()) {
            std::string best;
            for (const auto& other : files)
                if (fs::path(other).parent_path() == fs::path(path).parent_path() &&
                    platform::EqualsNoCase(split(other).second, wanted) && (best.empty() || split(other).first == split(path).first))
                    best = other;
            if (best.empty()) continue;
            fs::copy_file(best, dir / split(best).second);  // under the name the MAST list gives
            masters.push_back(ReadPluginAt(dir.Path(), split(best).second));
            ASSERT_TRUE(masters.back()) << best;
        }
        if (masters.empty()) continue;
        SCOPED_TRACE(path);
        std::vector<const CPluginFile*> order;
        for (const auto& m : masters) order.push_back(m.get());
        findings += CleanAndCheck(CCellCleaner(order), *plugin, scratch.Path()).m_cells.size();
        ++judged;
    }
    EXPECT_GT(judged, 2u);
    EXPECT_GT(findings, 0u);
}
