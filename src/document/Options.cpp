#include "document/Options.h"

#include <algorithm>
#include <vector>

#include "platform/FileOps.h"
#include "platform/Profile.h"

namespace vantor {

namespace {

constexpr std::string_view kOptions = "Options";
constexpr std::string_view kDialogRepair = "DialogRepair";
constexpr std::string_view kFindObj = "FindObj";

// Struct values hold the integers in memory order, which on the platform the
// file comes from is little-endian.
template <std::size_t N>
std::vector<std::uint8_t> ToBytes(const std::array<std::int32_t, N>& values) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(N * 4);
    for (std::int32_t v : values) {
        auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    return bytes;
}

template <std::size_t N>
std::array<std::int32_t, N> FromBytes(const std::vector<std::uint8_t>& bytes) {
    std::array<std::int32_t, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        std::uint32_t u = 0;
        for (int b = 3; b >= 0; --b) u = (u << 8) | bytes[i * 4 + std::size_t(b)];
        values[i] = static_cast<std::int32_t>(u);
    }
    return values;
}

std::array<std::int32_t, 4> ExtractArray(const CExtractOpts& o) {
    return {o.m_cellData, o.m_dialogText, o.m_landData, o.m_pathGridData};
}

std::string FindKey(std::size_t i) { return "Find" + std::to_string(i); }

// Reads an integer-array struct key into `values`, or writes the value it has
// (its default) back when the key is missing or not valid.
template <std::size_t N>
void LoadInts(platform::CProfile& ini, std::string_view section, std::string_view key,
              std::array<std::int32_t, N>& values) {
    if (auto bytes = ini.GetStruct(section, key, N * 4)) values = FromBytes<N>(*bytes);
    else ini.SetStruct(section, key, ToBytes(values));
}

void LoadText(platform::CProfile& ini, std::string_view section, std::string_view key, std::string& value) {
    value = ini.Get(section, key, "");
    if (value.empty()) ini.Set(section, key, value);
}

}  // namespace

COptionSet::COptionSet() {
    m_conflictChecks.fill(1);
    m_uncleanChecks.fill(1);
    m_uncleanChecks[kInfoCheck] = 0;
}

void COptionSet::Load(const std::string& settingsPath) {
    *this = COptionSet();
    // Working files of a killed settings write go when the settings are next
    // read, whether or not anything is written this time.
    platform::RemoveStaleWorkFiles(platform::FolderOf(platform::ResolveLinks(settingsPath)));
    platform::CProfile ini;
    auto state = ini.Load(settingsPath);
    if (state == platform::CProfile::ELoad::Failed) return;

    // Keys in the order of a newly created file.
    LoadInts(ini, kOptions, "ConflictChecks", m_conflictChecks);
    LoadInts(ini, kOptions, "UncleanChecks", m_uncleanChecks);
    if (auto bytes = ini.GetStruct(kOptions, "DefaultOps", 1)) m_defaultOps = bytes->front();
    else ini.SetStruct(kOptions, "DefaultOps", std::array<std::uint8_t, 1>{m_defaultOps});
    std::array<std::int32_t, 1> loadEsms{m_loadEsms ? 1 : 0};
    LoadInts(ini, kOptions, "LoadEsms", loadEsms);
    m_loadEsms = loadEsms[0] != 0;
    auto extract = ExtractArray(m_extractOpts);
    LoadInts(ini, kOptions, "ExtractOpts", extract);
    m_extractOpts = {extract[0], extract[1], extract[2], extract[3]};

    LoadText(ini, kDialogRepair, "EspFilename", m_espFilename);
    LoadText(ini, kDialogRepair, "EspPath", m_espPath);
    std::array<std::int32_t, 1> enable{m_enable};
    LoadInts(ini, kDialogRepair, "Enable", enable);
    m_enable = enable[0];

    for (std::size_t i = 0; i < kFindHistorySize; ++i) LoadText(ini, kFindObj, FindKey(i), m_findHistory[i]);

    if (state == platform::CProfile::ELoad::Missing || ini.Changed()) ini.Save(settingsPath);
}

bool COptionSet::Save(const std::string& settingsPath) const {
    platform::CProfile ini;
    auto state = ini.Load(settingsPath);
    if (state == platform::CProfile::ELoad::Failed) return false;

    bool stored = ini.SetStruct(kOptions, "ConflictChecks", ToBytes(m_conflictChecks));
    stored = ini.SetStruct(kOptions, "UncleanChecks", ToBytes(m_uncleanChecks)) && stored;
    stored = ini.SetStruct(kOptions, "DefaultOps", std::array<std::uint8_t, 1>{m_defaultOps}) && stored;
    stored = ini.SetStruct(kOptions, "LoadEsms", ToBytes(std::array<std::int32_t, 1>{m_loadEsms ? 1 : 0})) && stored;
    stored = ini.SetStruct(kOptions, "ExtractOpts", ToBytes(ExtractArray(m_extractOpts))) && stored;
    stored = ini.Set(kDialogRepair, "EspFilename", m_espFilename) && stored;
    stored = ini.Set(kDialogRepair, "EspPath", m_espPath) && stored;
    stored = ini.SetStruct(kDialogRepair, "Enable", ToBytes(std::array<std::int32_t, 1>{m_enable})) && stored;
    for (std::size_t i = 0; i < kFindHistorySize; ++i) stored = ini.Set(kFindObj, FindKey(i), m_findHistory[i]) && stored;

    if (state == platform::CProfile::ELoad::Read && !ini.Changed()) return stored;
    return ini.Save(settingsPath) && stored;
}

void COptionSet::RememberFind(const std::string& text) {
    auto it = std::find(m_findHistory.begin(), m_findHistory.end(), text);
    // Entries before the match (or all but the oldest) move one place down.
    if (it == m_findHistory.end()) --it;
    std::move_backward(m_findHistory.begin(), it, it + 1);
    m_findHistory.front() = text;
}

bool COptionSet::operator==(const COptionSet& o) const {
    return m_conflictChecks == o.m_conflictChecks && m_uncleanChecks == o.m_uncleanChecks &&
           m_defaultOps == o.m_defaultOps && m_loadEsms == o.m_loadEsms &&
           ExtractArray(m_extractOpts) == ExtractArray(o.m_extractOpts) && m_espFilename == o.m_espFilename &&
           m_espPath == o.m_espPath && m_enable == o.m_enable && m_findHistory == o.m_findHistory;
}

}  // namespace vantor
