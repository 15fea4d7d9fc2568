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

        // Highest priority first: data-local (or OpenMW's default for it),
        // then the data folders from the last named to the first.
        if (!chain.m_dataLocal && !setup.m_paths.m_userData.empty()) {
            const std::string folder = setup.m_paths.m_userData + "data/";
            if (IsFolder(folder)) chain.m_dataLocal = CDataFolder{folder, "", true, true};
        }
        if (chain.m_dataLocal) m_where.m_dataFolders.push_back(std::move(*chain.m_dataLocal));
        m_where.m_dataFolders.insert(m_where.m_dataFolders.end(), chain.m_data.rbegin(), chain.m_data.rend());

        // Each folder is listed once; a name is then found without touching
        // the disk.
        m_index.resize(m_where.m_dataFolders.size());
        for (std::size_t i = 0; i < m_where.m_dataFolders.size(); ++i) {
            if (!m_where.m_dataFolders[i].m_exists) continue;
            for (auto& name : RegularFilesIn(m_where.m_dataFolders[i].m_path))
                m_index[i][LowerAscii(name)].push_back(std::move(name));
            // So that a choice among names differing only in case never
            // depends on the order the system lists them.
            for (auto& [key, names] : m_index[i]) std::sort(names.begin(), names.end());
        }

        for (const auto& name : chain.m_content) {
            // Other content (OpenMW's scripts) is no TES3 file.
            if (!IsContentFile(name)) continue;
            const std::string key = LowerAscii(name);
            if (m_rank.count(key)) continue;
            m_rank.emplace(key, std::int64_t(m_rank.size()));
            auto found = Find(name);
            if (!found) m_where.m_missing.push_back(name);
            m_where.m_content.push_back(found ? *found : CGameFile{name, ""});
        }
    }

    std::vector<CGameFile> Masters() const override { return Content(true); }
    std::vector<CGameFile> ActivePlugins() const override { return Content(false); }

    std::optional<CGameFile> Find(std::string_view name) const override {
        const std::string key = LowerAscii(name);
        for (std::size_t i = 0; i < m_index.size(); ++i) {
            auto it = m_index[i].find(key);
            if (it == m_index[i].end()) continue;
            // A folder may hold several spellings (Linux): the one asked for
            // first.
            const auto& names = it->second;
            auto exact = std::find(names.begin(), names.end(), name);
            return CGameFile{exact != names.end() ? *exact : names.front(), m_where.m_dataFolders[i].m_path};
        }
        return std::nullopt;
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
    // Per data folder (in m_where's order): lower-case name -> names on disk.
    std::vector<std::unordered_map<std::string, std::vector<std::string>>> m_index;
    // Lower-case content name -> place in the load order.
    std::unordered_map<std::string, std::int64_t> m_rank;
};

}  // namespace

std::unique_ptr<CLoadOrder> OpenMWLoadOrder(const COpenMWSetup& setup) {
    return std::make_unique<COpenMWLoadOrder>(setup);
}

}  // namespace vantor::loadorder
