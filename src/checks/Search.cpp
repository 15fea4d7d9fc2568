#include "checks/Search.h"

#include <cstring>

#include "checks/CheckOperations.h"
#include "engine/UserLink.h"
#include "platform/Cp1252.h"
#include "platform/Text.h"

namespace vantor {

namespace {

constexpr const std::array<unsigned char, 256>& kLower = cp1252::kFoldTable;

// The capital that folds to a small letter, or the byte itself.
constexpr unsigned char CapitalOf(unsigned char small) {
    for (int c = 0; c < 256; ++c)
        if (c != small && kLower[std::size_t(c)] == small) return static_cast<unsigned char>(c);
    return small;
}

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

// The first position in [p, end) holding a or b, or nullptr. Eight bytes
// at a time: a byte of the word equals a exactly when that byte of w ^ a·1
// is zero, and the classic zero-byte test has no false alarm for the word
// as a whole.
const char* FindEither(const char* p, const char* end, unsigned char a, unsigned char b) {
    constexpr std::uint64_t kLow = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t wa = kLow * a;
    const std::uint64_t wb = kLow * b;
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t xa = w ^ wa;
        const std::uint64_t xb = w ^ wb;
        if ((((xa - kLow) & ~xa) | ((xb - kLow) & ~xb)) & kHigh) break;
        p += 8;
    }
    for (; p < end; ++p)
        if (Byte(p) == a || Byte(p) == b) return p;
    return nullptr;
}

std::string Percent(std::size_t done, std::size_t total) { return platform::PercentText("Searching... ", done, total); }

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

const std::atomic<std::int32_t> kNeverStop{0};

}  // namespace


CTextMatcher::CTextMatcher(std::string_view text, bool matchCase)
    : m_text(matchCase ? std::string(UpToNul(text)) : cp1252::Fold(UpToNul(text))), m_matchCase(matchCase) {
    if (m_text.empty()) return;
    m_first = static_cast<unsigned char>(m_text[0]);
    m_firstCapital = matchCase ? m_first : CapitalOf(m_first);
    m_twoFirsts = m_firstCapital != m_first;
}

bool CTextMatcher::SameRest(const char* at) const {
    const std::size_t n = m_text.size();
    if (m_matchCase) return std::memcmp(at + 1, m_text.data() + 1, n - 1) == 0;
    for (std::size_t i = 1; i < n; ++i)
        if (kLower[Byte(at + i)] != static_cast<unsigned char>(m_text[i])) return false;
    return true;
}

bool CTextMatcher::Occurs(std::string_view bytes) const {
    const std::size_t n = m_text.size();
    if (n == 0) return true;
    if (bytes.size() < n) return false;
    const char* p = bytes.data();
    // One past the last position at which the text still fits.
    const char* const last = p + (bytes.size() - n + 1);
    while (p < last) {
        p = m_twoFirsts ? FindEither(p, last, m_first, m_firstCapital)
                        : static_cast<const char*>(std::memchr(p, m_first, std::size_t(last - p)));
        if (!p) return false;
        if (SameRest(p)) return true;
        ++p;
    }
    return false;
}

bool CTextMatcher::Equals(std::string_view bytes) const {
    if (bytes.size() != m_text.size()) return false;
    if (m_text.empty()) return true;
    if (m_matchCase) return std::memcmp(bytes.data(), m_text.data(), m_text.size()) == 0;
    return kLower[Byte(bytes.data())] == m_first && SameRest(bytes.data());
}

CFindings Search(CPluginChecker& engine, CUserLink* link, const std::atomic<std::int32_t>& stop,
                 std::string findText, bool matchCase, bool wholeWord, bool lookInData, bool searchMasters) {
    CFindings rows;
    const std::vector<CPluginFile*>& files = searchMasters ? engine.Masters() : engine.Plugins();
    const CTextMatcher matcher(findText, matchCase);

    // The tag test only depends on the table.
    std::array<bool, CPluginFile::kTableCount> tagMatches{};
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
        tagMatches[t] = lookInData && matcher.Occurs(CPluginFile::kTags[t]);

    auto report = [&](const std::string& text, int total) {
        if (link && !Stopped(stop)) link->Progress(text, total);
    };
    const std::size_t n = files.size();
    std::string text = Percent(0, n);
    report(text, int(n));
    for (std::size_t k = 0; k < n && !Stopped(stop); ++k) {
        const CPluginFile& file = *files[k];
        const CFileIndex index = searchMasters ? engine.MasterFile(k) : engine.PluginFile(k);
        for (std::size_t t = 0; t < CPluginFile::kTableCount && !Stopped(stop); ++t) {
            for (const auto& entry : file.Table(t)) {
                if (Stopped(stop)) break;
                const std::string_view id = entry->IdText();
                // Every test that applies is one way to match; an entry gives
                // one row however many of them hold.
                bool found = wholeWord ? matcher.Equals(id) : matcher.Occurs(id);
                if (!found && lookInData) found = matcher.Occurs(entry->Data()) || tagMatches[t];
                if (!found) continue;
                if (searchMasters)
                    rows.push_back({entry.get(), nullptr, index, kNoFile, kNoFile, std::uint8_t(t), EFinding::FoundInMaster});
                else
                    rows.push_back({entry.get(), nullptr, index, kNoFile, engine.OriginalFile(id, t), std::uint8_t(t),
                                    EFinding::Found});
            }
        }
        text = Percent(k, n);
        report(text, int(n));
    }
    report(text, 0);
    return rows;
}

CPaneFindings RunFindOperation(const CFindInputs& inputs) {
    CPaneFindings panes;
    panes.m_stopped = true;
    if (inputs.loadedPlugins.empty()) return panes;
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    const CFindParams& params = inputs.params;
    CPluginChecker engine(inputs.link, inputs.ages);
    AddDocumentFiles(engine, inputs.loadedPlugins, inputs.foundMasters);
    CFindings rows = Search(engine, inputs.link, stop, params.m_text, params.m_matchCase,
                                        params.m_wholeWord, params.m_lookInData, params.m_searchMasters);
    // A stopped search shows what it found so far.
    const bool stopped = Stopped(stop);
    if (stopped && rows.empty()) return panes;
    SortByTag(rows);
    panes.m_stopped = stopped;
    panes.m_files = engine.Files();
    panes.m_editor = std::move(rows);
    return panes;
}

}  // namespace vantor
