#include "document/FileList.h"

#include <algorithm>
#include <iterator>

#include "platform/FileOps.h"

namespace vantor {

namespace {
bool IsRead(EFileRole role) { return role == EFileRole::Plugin || role == EFileRole::MasterPlugin; }
}  // namespace

std::vector<std::string> CFileList::Names(EFileRole role) const {
    std::vector<std::string> names;
    for (const auto& item : m_items)
        if (item.m_role == role) names.push_back(item.m_name);
    return names;
}

std::vector<const CLoadedFile*> CFileList::Of(EFileRole role) const {
    std::vector<const CLoadedFile*> out;
    for (const auto& item : m_items)
        if (item.m_role == role) out.push_back(&item);
    return out;
}

const CLoadedFile* CFileList::First(EFileRole role) const {
    for (const auto& item : m_items)
        if (item.m_role == role) return &item;
    return nullptr;
}

std::vector<const CLoadedFile*> CFileList::Loaded() const {
    std::vector<const CLoadedFile*> out;
    for (const auto& item : m_items)
        if (item.m_role == EFileRole::Plugin) out.push_back(&item);
    if (const CLoadedFile* master = First(EFileRole::MasterPlugin)) out.push_back(master);
    return out;
}

bool CFileList::IsChosen(const std::string& name) const {
    return std::any_of(m_items.begin(), m_items.end(),
                       [&](const CLoadedFile& f) { return f.m_role != EFileRole::FoundMaster && f.m_name == name; });
}

std::unordered_set<std::string> CFileList::ChosenNames() const {
    std::unordered_set<std::string> names;
    for (const CLoadedFile& f : m_items)
        if (f.m_role != EFileRole::FoundMaster) names.insert(f.m_name);
    return names;
}

std::vector<platform::CFileId> CFileList::ChosenFileIds() const {
    std::vector<platform::CFileId> ids;
    for (const CLoadedFile& f : m_items)
        if (f.m_role != EFileRole::FoundMaster)
            if (const platform::CPathProbe probe = platform::ProbePath(f.m_folder + f.m_name); probe.Exists())
                ids.push_back(probe.m_id);
    return ids;
}

std::vector<CPluginFile*> CFileList::PluginFiles() const {
    std::vector<CPluginFile*> out;
    for (const CLoadedFile* item : Loaded()) out.push_back(item->m_file.get());
    return out;
}

std::vector<CPluginFile*> CFileList::MasterFiles() const {
    std::vector<CPluginFile*> out;
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if (it->m_role == EFileRole::FoundMaster && it->m_file) out.push_back(it->m_file.get());
    return out;
}

void CFileList::SettlePending(std::size_t count, std::vector<CLoadedFile> read) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].m_role == EFileRole::Pending && count > 0) {
            --count;
            continue;
        }
        if (kept != i) m_items[kept] = std::move(m_items[i]);
        ++kept;
    }
    m_items.resize(kept);
    auto first = std::find_if(m_items.begin(), m_items.end(), [](const CLoadedFile& f) { return IsRead(f.m_role); });
    m_items.insert(first, std::make_move_iterator(read.rbegin()), std::make_move_iterator(read.rend()));
}

bool CFileList::Remove(EFileRole role, const std::string& name) {
    auto it = std::find_if(m_items.begin(), m_items.end(), [&](const CLoadedFile& f) {
        return f.m_role == role && (name.empty() || f.m_name == name);
    });
    if (it == m_items.end()) return false;
    m_items.erase(it);
    return true;
}

void CFileList::RemoveRole(EFileRole role) {
    std::erase_if(m_items, [role](const CLoadedFile& f) { return f.m_role == role; });
}

CLoadedFile* CFileList::Find(EFileRole role, const std::string& name) {
    for (auto& item : m_items)
        if (item.m_role == role && item.m_name == name) return &item;
    return nullptr;
}

}  // namespace vantor
