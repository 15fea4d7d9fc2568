#pragma once
// The check engine: one short-lived object per operation that compares the
// entries of the loaded plugins with each other and with the masters and
// classifies each finding. It refers to the document's files without owning
// them; its findings are texts that the operations copy into the panes.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "checks/FileAges.h"
#include "format/PluginFile.h"
#include "document/Options.h"

namespace vantor {

class CFrameLink;

namespace checks_detail {
class CFirstIndex;
class CMasterIndex;
}  // namespace checks_detail

// A conflict: one record that two plugins both define with different data.
struct CConflictRow {
    std::string m_tag;
    std::string m_conflict;    // the tag's description ("... (Potential Conflict)" for LAND)
    std::string m_name;        // the entry's ID
    std::string m_overriding;  // file name of the newer plugin of the pair
    std::string m_overridden;  // file name of the other plugin
    std::string m_original;    // the ID's original master, or "None"

    std::vector<std::string> Texts() const {
        return {m_tag, m_conflict, m_name, m_overriding, m_overridden, m_original};
    }
    bool operator==(const CConflictRow&) const = default;
};

// A warning (deleted, unclean, global change) or a search finding.
struct CResultRow {
    std::string m_tag;
    std::string m_text;        // description, a blank and the status text
    std::string m_name;        // the entry's ID
    std::string m_pluginFile;  // file that holds the entry
    std::string m_originalFile;

    std::vector<std::string> Texts() const { return {m_tag, m_text, m_name, m_pluginFile, m_originalFile}; }
    bool operator==(const CResultRow&) const = default;
};

// The findings of one run, under the keys the panes know them by.
struct CCheckResult {
    std::vector<CConflictRow> m_conflicts;   // "CONF"
    std::vector<CResultRow> m_deleted;       // "DELE"
    std::vector<CResultRow> m_unclean;       // "UNCL"
    std::vector<CResultRow> m_globalChanges;  // "GCHG"

    // "DELE", "UNCL" or "GCHG"; nullptr for any other key.
    const std::vector<CResultRow>* Warnings(std::string_view key) const;
};

class CPluginChecker {
public:
    // Bits of the check mask.
    static constexpr std::uint8_t kConflicts = 1;
    static constexpr std::uint8_t kDeleted = 2;
    static constexpr std::uint8_t kUnclean = 4;
    static constexpr std::uint8_t kGlobalChanges = 8;

    enum class EList { Plugins, Masters };

    // Progress goes to `link` when one is given; which file is newer comes
    // from `ages` (the files' last-write times when none is given).
    explicit CPluginChecker(CFrameLink* link = nullptr, CFileAges* ages = nullptr);
    CPluginChecker(const CPluginChecker&) = delete;
    CPluginChecker& operator=(const CPluginChecker&) = delete;
    virtual ~CPluginChecker();

    void AddPlugin(CPluginFile& plugin);
    void AddMaster(CPluginFile& master);
    const std::vector<CPluginFile*>& Plugins() const { return m_plugins; }
    const std::vector<CPluginFile*>& Masters() const { return m_masters; }

    // The description of a tag (or of "DELE", "UNCL", "GCHG", "POTE"); ""
    // for any other text.
    static std::string GetDescription(std::string_view tag);

    // The conflict phase when the mask has bit 1, the warning phase when it
    // has any other bit, starting from empty row lists. checkMode 1 is Single
    // Versus: only the first plugin is compared with the others and examined
    // for warnings. The rows come in the order of the plain nested loops
    // (plugin pair, check index, entry order), found through indexes by ID.
    // A set stop flag ends the loops; the rows found so far stay.
    const CCheckResult& Run(const std::atomic<std::int32_t>& stop, std::int32_t checkMode,
                            const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks, std::uint8_t mask);

    // Appends the conflicts of one record tag between two plugins.
    void ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                     const std::atomic<std::int32_t>& stop);
    // Appends one plugin's deleted, unclean and global-change rows.
    void CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                       const CCheckSwitches& uncleanChecks, std::uint8_t mask);

    // The newest master that holds the ID in its table of `tag` (of equally
    // old ones the earliest in the list), or "None".
    std::string FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id, std::string_view tag);
    // The first entry of the ID in the first file of that name (of the
    // chosen list) whose table of `tag` holds it; nullptr when none does.
    const CEntry* FindEntry(std::string_view fileName, std::string_view id, std::string_view tag, EList list);

    // A file's age, asked once per engine.
    CFileAge FileAge(const CPluginFile& file);

    const CCheckResult& Result() const { return m_result; }
    // Hands the findings over, leaving the engine's lists empty.
    CCheckResult TakeResult() { return std::exchange(m_result, CCheckResult{}); }
    // Findings of the object search, which are not part of a check result.
    std::vector<CResultRow>& SearchRows() { return m_searchRows; }

private:
    void ConflictPhase(const std::atomic<std::int32_t>& stop, bool singleVersus, const CCheckSwitches& conflictChecks);
    void WarningPhase(const std::atomic<std::int32_t>& stop, bool singleVersus, const CCheckSwitches& uncleanChecks,
                      std::uint8_t mask);
    // The master's version of an ID: its entry in the master named as the
    // ID's original file; nullptr when there is none.
    const CEntry* MasterVersion(std::string_view id, std::size_t tableIndex, long original);
    void AppendConflict(std::size_t tableIndex, std::string_view id, const CPluginFile& a, const CPluginFile& b,
                        bool aNewer, long original);
    // Index of the masters' table, rebuilt when a master's table changed.
    const checks_detail::CMasterIndex& MasterIndex(std::size_t tableIndex);
    const checks_detail::CFirstIndex& FirstIndex(const CPluginFile& file, std::size_t tableIndex);
    // Index in the master list of the ID's original master, or -1.
    long OriginalMaster(std::string_view id, std::size_t tableIndex);
    // A master's file name, or "None" for no master or an empty name.
    const std::string& MasterName(long master) const;
    const std::vector<CFileAge>& MasterAges();
    void Report(const std::atomic<std::int32_t>& stop, const std::string& text, int total);

    CFrameLink* m_link;
    CLastWriteAges m_ownAges;
    CFileAges* m_fileAges;
    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;
    CCheckResult m_result;
    std::vector<CResultRow> m_searchRows;

    std::unordered_map<const CPluginFile*, CFileAge> m_ages;
    std::vector<CFileAge> m_masterAges;  // by position in the master list
    std::array<std::unique_ptr<checks_detail::CMasterIndex>, CPluginFile::kTableCount> m_masterIndexes;
    std::unordered_map<const CPluginFile*, std::array<std::unique_ptr<checks_detail::CFirstIndex>, CPluginFile::kTableCount>>
        m_firstIndexes;
};

}  // namespace vantor
