#pragma once
// The option set: which record types the checks report, which checks run by
// default, whether masters are read automatically, which record kinds keep
// their data, the dialogue repair plugin, and the find history. It is a plain
// value: the document owns one for the run and may hand a copy to a worker.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "checks/CheckIndex.h"
#include "format/PluginFile.h"

namespace vantor {

class COptionSet {
public:
    static constexpr std::size_t kFindHistorySize = 5;

    // Every option at its default.
    COptionSet();

    // Replaces every option by its default and then by what the settings file
    // holds. A missing file is created with every default; a key that is
    // missing or not valid keeps its default, which is written back. Nothing
    // is reported: a file that cannot be written leaves the values in memory,
    // and one that exists but cannot be read is left alone.
    void Load(const std::string& settingsPath);
    // Writes every option into the settings file, changing only the lines
    // whose values differ. False when the file could not be written (or could
    // not be read, in which case it is not replaced).
    bool Save(const std::string& settingsPath) const;

    // The find dialog's "Find": the text moves to the front of the history
    // (compared exactly), or is added there and the oldest entry dropped.
    void RememberFind(const std::string& text);

    bool DialogRepairEnabled() const { return m_enable != 0; }
    // The checks of the default check (the bits a check makes of DefaultOps).
    CCheckSet DefaultChecks() const { return CCheckSet::FromBits(m_defaultOps & CCheckSet::All().Bits()); }

    CCheckSwitches m_conflictChecks;
    CCheckSwitches m_uncleanChecks;  // only the INFO entry has an effect
    // DefaultOps as the settings file keeps it (CCheckSet::FromBits).
    std::uint8_t m_defaultOps = CCheckSet::All().Bits();
    bool m_loadEsms = true;
    CExtractOpts m_extractOpts;
    std::string m_espFilename;
    std::string m_espPath;
    std::int32_t m_enable = 0;
    std::array<std::string, kFindHistorySize> m_findHistory;  // most recent first

    bool operator==(const COptionSet&) const;
};

}  // namespace vantor
