// OpenMW's load order: the content list of the openmw.cfg chain is the order,
// and each file is taken from the data folder of highest priority that holds
// it. File times mean nothing here.
#include <algorithm>
#include <limits>
#include <unordered_map>

#include "loadorder/Folder.h"
#include "loadorder/LoadOrder.h"
#include "loadorder/OpenMWConfig.h"
#include "platform/Files.h"

namespace vantor::loadorder {

namespace {

class COpenMWLoadOrder final : public CLoadOrder {
public:
    explicit COpenMWLoadOrder(const COpenMWSetup& setup) {
        std::string first = setup.m_config;
        if (first.empty()) {
            const std::string global = setup.m_paths.m_globalConfig + "openmw.cfg";
            first = !setup.m_paths.m_globalConfig.empty() && platform::FileExists(global)
                        ? global
                        : setup.m_paths.m_userConfig + "openmw.cfg";
        }
        CConfigChain chain = ReadConfigChain(first, setup.m_paths);
        m_where.m_chain = std::move(chain.m_files);
        m_where.m_errors = std::move(chain.m_errors);

        // Highest priority first: data-local, then the data folders from the
        // last named to the first. OpenMW's engine adds no local folder of
        // its own when no file names one.
        if (chain.m_dataLocal) m_where.m_dataFolders.push_back(std::move(*chain.m_dataLocal));
        m_where.m_dataFolders.insert(m_where.m_dataFolders.end(), chain.m_data.rbegin(), chain.m_data.rend());

        // Each folder is listed once, and each name kept with the folder of
        // highest priority that holds it; a name is then found without
        // touching the disk, however many folders there are.
        for (std::size_t i = 0; i < m_where.m_dataFolders.size(); ++i) {
            if (!m_where.m_dataFolders[i].m_exists) continue;
            std::unordered_map<std::string, std::vector<std::string>> here;
            for (auto& name : RegularFilesIn(m_where.m_dataFolders[i].m_path))
                here[LowerAscii(name)].push_back(std::move(name));
            for (auto& [key, names] : here) {
                // So that a choice among names differing only in case never
                // depends on the order the system lists them.
                std::sort(names.begin(), names.end());
                m_index.try_emplace(key, CFound{i, std::move(names)});
            }
        }

        for (const auto& name : chain.m_content) {
            // Other content (OpenMW's scripts) is no TES3 file.
            if (!IsContentFile(name)) continue;
            const std::string key = LowerAscii(name);
            m_rank.emplace(key, std::int64_t(m_rank.size()));
            auto found = Find(name);
            if (!found) m_where.m_missing.push_back(name);
            m_where.m_content.push_back(found ? *found : CGameFile{name, ""});
        }
    }

    std::vector<CGameFile> Masters() const override { return Content(true); }
    std::vector<CGameFile> ActivePlugins() const override { return Content(false); }

    std::optional<CGameFile> Find(std::string_view name) const override {
        auto it = m_index.find(LowerAscii(name));
        if (it == m_index.end()) return std::nullopt;
        // A folder may hold several spellings (Linux): the one asked for
        // first.
        const auto& names = it->second.m_names;
        auto exact = std::find(names.begin(), names.end(), name);
        const std::string& folder = m_where.m_dataFolders[it->second.m_folder].m_path;
        return CGameFile{exact != names.end() ? *exact : names.front(), folder};
    }

    CFileAge Age(const std::string& path) const override {
        auto it = m_rank.find(LowerAscii(platform::FileNameOf(path)));
        if (it != m_rank.end()) return {0, it->second};
        auto resolved = platform::ResolvePath(path);
        auto time = platform::LastWriteTime(resolved ? *resolved : path);
        return {1, time ? *time : std::numeric_limits<std::int64_t>::min()};
    }

    std::string DataDir() const override {
        // The folder of the first file of the load order, in practice the
        // game's "Data Files".
        for (const auto& file : m_where.m_content)
            if (!file.m_folder.empty()) return file.m_folder;
        for (const auto& folder : m_where.m_dataFolders)
            if (folder.m_exists) return folder.m_path;
        return {};
    }

    CWhere Where() const override { return m_where; }

private:
    std::vector<CGameFile> Content(bool masters) const {
        std::vector<CGameFile> files;
        for (const auto& file : m_where.m_content)
            if (!file.m_folder.empty() && IsMasterFile(file.m_name) == masters) files.push_back(file);
        return files;
    }

    COpenMWWhere m_where;
    struct CFound {
        std::size_t m_folder;             // in m_where.m_dataFolders
        std::vector<std::string> m_names;  // the spellings there
    };
    // Lower-case name -> the folder of highest priority holding it.
    std::unordered_map<std::string, CFound> m_index;
    // Lower-case content name -> place in the load order.
    std::unordered_map<std::string, std::int64_t> m_rank;
};

}  // namespace

std::unique_ptr<CLoadOrder> OpenMWLoadOrder(const COpenMWSetup& setup) {
    return std::make_unique<COpenMWLoadOrder>(setup);
}

}  // namespace vantor::loadorder
