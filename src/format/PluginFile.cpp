#include "format/PluginFile.h"

#include <algorithm>
#include <memory>
#include <new>

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

template <class T>
T* CPluginFile::CEntryStore::CPieces<T>::New() {
    constexpr std::size_t kPerChunk = platform::kChunk / sizeof(T);
    if (m_pieces.empty() || m_pieces.back().m_used == kPerChunk) {
        m_pieces.reserve(m_pieces.size() + 1);
        m_pieces.push_back({static_cast<T*>(platform::AllocateChunk()), 0});
    }
    CPiece& piece = m_pieces.back();
    T* item = new (piece.m_items + piece.m_used) T();
    ++piece.m_used;
    return item;
}

template <class T>
void CPluginFile::CEntryStore::CPieces<T>::Clear() {
    for (const CPiece& piece : m_pieces) {
        std::destroy_n(piece.m_items, piece.m_used);
        platform::FreeChunk(piece.m_items);
    }
    m_pieces.clear();
}

CEntry* CPluginFile::CEntryStore::New() { return m_entryPieces.New(); }

CResponsePlace* CPluginFile::CEntryStore::NewPlace() { return m_placePieces.New(); }

CEntryText CPluginFile::CEntryStore::Keep(std::string_view bytes) {
    if (bytes.empty()) return {};
    if (bytes.size() > m_textLeft) {
        // A text too long for a piece has one of its own, leaving the room
        // that is left in the current piece for the texts after it.
        if (bytes.size() > platform::kChunk / 4) {
            auto& own = m_longTexts.emplace_back(std::make_unique_for_overwrite<char[]>(bytes.size()));
            std::copy(bytes.begin(), bytes.end(), own.get());
            return CEntryText::Kept({own.get(), bytes.size()});
        }
        m_texts.reserve(m_texts.size() + 1);
        m_textAt = static_cast<char*>(platform::AllocateChunk());
        m_texts.push_back(m_textAt);
        m_textLeft = platform::kChunk;
    }
    char* at = m_textAt;
    std::copy(bytes.begin(), bytes.end(), at);
    m_textAt += bytes.size();
    m_textLeft -= bytes.size();
    return CEntryText::Kept({at, bytes.size()});
}

CPluginFile::CEntryStore::~CEntryStore() { Clear(); }

void CPluginFile::CEntryStore::Clear() {
    m_entryPieces.Clear();
    m_placePieces.Clear();
    for (char* texts : m_texts) platform::FreeChunk(texts);
    m_texts.clear();
    m_longTexts.clear();
    m_textAt = nullptr;
    m_textLeft = 0;
}

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
