#include "format/PluginFile.h"

#include <algorithm>

namespace vantor {

namespace {
std::array<std::string_view, CPluginFile::kTableCount> TableTags() {
    std::array<std::string_view, CPluginFile::kTableCount> tags;
    for (std::size_t t = 0; t < tags.size(); ++t) tags[t] = kRecordTypes[t].m_tag;
    return tags;
}
}  // namespace

const std::array<std::string_view, CPluginFile::kTableCount> CPluginFile::kTags = TableTags();

int CPluginFile::TagIndex(std::string_view tag) {
    const auto index = RecordTypeIndex(tag);
    return index ? int(*index) : -1;
}

CPluginFile::CPluginFile() = default;

bool CPluginFile::Open(const std::string& fileName, const std::string& folder) {
    m_fileName = fileName;
    m_folder = folder;
    m_written.reset();
    m_readFile.Close();
    return m_readFile.Open(folder + fileName);
}

bool CPluginFile::Close() { return m_readFile.Close(); }

CEntryTable* CPluginFile::GetTable(std::string_view tag) {
    int i = TagIndex(tag);
    return i < 0 ? nullptr : &m_tables[std::size_t(i)];
}

const CEntryTable* CPluginFile::GetTable(std::string_view tag) const {
    int i = TagIndex(tag);
    return i < 0 ? nullptr : &m_tables[std::size_t(i)];
}

bool CPluginFile::DetachEntry(const CEntry* entry, std::string_view tag) {
    CEntryTable* table = GetTable(tag);
    if (!table) return false;
    auto it = std::find_if(table->begin(), table->end(), [entry](const auto& e) { return e.get() == entry; });
    if (it == table->end()) return false;
    (*it)->m_sizeChange = -(*it)->m_size;
    m_removed.push_back(std::move(*it));
    table->erase(it);
    return true;
}

const CReadDiagnostic& CPluginFile::Diagnostic() const {
    static const CReadDiagnostic kClean;
    return m_diagnostics.empty() ? kClean : m_diagnostics.front();
}

std::size_t CPluginFile::EntryCount() const {
    std::size_t n = 0;
    for (const auto& t : m_tables) n += t.size();
    return n;
}

}  // namespace vantor
