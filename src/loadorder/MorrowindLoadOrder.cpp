// The game's own load order: Morrowind.ini names the active plugins, the
// "Data Files" folder holds everything, and the last-written file wins.
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <unordered_set>

#include "loadorder/Folder.h"
#include "loadorder/LoadOrder.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace vantor::loadorder {

namespace {

class CMorrowindLoadOrder final : public CLoadOrder {
public:
    explicit CMorrowindLoadOrder(const CMorrowindSetup& setup) {
        platform::CInstallDirs dirs;
        if (setup.m_installDir) dirs = platform::DirsFromInstallPath(*setup.m_installDir);
        else if (setup.m_env) dirs = platform::FindInstallDirs(setup.m_env);
        else dirs = platform::FindInstallDirs();
        m_where.m_installDir = dirs.m_installDir;
        m_where.m_installSource = dirs.m_source;
        m_where.m_winePrefix = dirs.m_winePrefix;
        m_where.m_dataDirGiven = setup.m_dataDir.has_value();
        m_where.m_dataDir = setup.m_dataDir ? platform::WithSeparator(*setup.m_dataDir) : dirs.m_dataDir;
        // With no install folder this is the root's "/Morrowind.ini", as the
        // game's own platform would look on the current drive.
        m_where.m_iniPath = dirs.m_installDir + "/Morrowind.ini";
    }

    std::vector<CGameFile> Masters() const override {
        std::vector<std::string> names;
        for (auto& name : RegularFilesIn(m_where.m_dataDir))
            if (name.size() > 4 && EndsWithNoCase(name, ".esm")) names.push_back(std::move(name));
        // One fixed order on every platform, whatever order the folder lists.
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            auto la = LowerAscii(a), lb = LowerAscii(b);
            return la != lb ? la < lb : a < b;
        });
        std::vector<CGameFile> masters;
        for (auto& name : names) masters.push_back({std::move(name), m_where.m_dataDir});
        return masters;
    }

    std::vector<CGameFile> ActivePlugins() const override {
        // A FIFO or device under the name would block the read or never end:
        // it counts as no load order, as a missing file does.
        auto ini = platform::ResolvePath(m_where.m_iniPath);
        if (!ini || !platform::FileExists(*ini)) return {};
        std::vector<CGameFile> plugins;
        std::unordered_set<std::string> named;
        for (auto& value : platform::ReadNumberedKeys(*ini, "Game Files", "GameFile")) {
            // The game takes a value by its last three letters only.
            if (value.size() < 3 || LowerAscii(value.substr(value.size() - 3)) != "esp") continue;
            if (named.insert(value).second) plugins.push_back({std::move(value), m_where.m_dataDir});
        }
        return plugins;
    }

    std::optional<CGameFile> Find(std::string_view name) const override {
        auto path = platform::ResolvePath(m_where.m_dataDir + std::string(name));
        if (!path || !platform::FileExists(*path)) return std::nullopt;
        return CGameFile{platform::FileNameOf(*path), m_where.m_dataDir};
    }

    CFileAge Age(const std::string& path) const override {
        // The name may differ in case from the file on disk (Morrowind.ini
        // is not case-sensitive); the reader finds it the same way.
        auto resolved = platform::ResolvePath(path);
        auto time = platform::LastWriteTime(resolved ? *resolved : path);
        return {0, time ? *time : std::numeric_limits<std::int64_t>::min()};
    }

    std::string DataDir() const override { return m_where.m_dataDir; }
    CWhere Where() const override { return m_where; }

private:
    CMorrowindWhere m_where;
};

}  // namespace

std::unique_ptr<CLoadOrder> MorrowindLoadOrder(const CMorrowindSetup& setup) {
    return std::make_unique<CMorrowindLoadOrder>(setup);
}

}  // namespace vantor::loadorder
