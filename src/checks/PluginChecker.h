#pragma once
// The check engine: one short-lived object per operation that compares the
// entries of the loaded plugins with each other and with the masters and
// classifies each finding. It refers to the document's files without owning
// them; its findings point at their entries and name files by their place in
// the engine's file list.
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
#include "checks/Finding.h"
#include "format/PluginFile.h"
#include "checks/CheckIndex.h"

namespace vantor {

class CUserLink;

namespace checks_detail {
class CFirstIndex;
class CMasterIndex;
}  // namespace checks_detail

// The findings of one run, under the keys the panes know them by, and the
// files their indexes name.
struct CCheckResult {
    std::vector<const CPluginFile*> m_files;
    CFindings m_conflicts;      // "CONF"
    CFindings m_deleted;        // "DELE"
    CFindings m_unclean;        // "UNCL"
    CFindings m_globalChanges;  // "GCHG"
};

class CPluginChecker {
public:
    enum class EList { Plugins, Masters };

    // Progress goes to `link` when one is given; which file is newer comes
    // from `ages` (the files' last-write times when none is given).
    explicit CPluginChecker(CUserLink* link = nullptr, CFileAges* ages = nullptr);
    CPluginChecker(const CPluginChecker&) = delete;
    CPluginChecker& operator=(const CPluginChecker&) = delete;
    ~CPluginChecker();

    // False, adding nothing, once the file list holds kMaxFiles files.
    bool AddPlugin(CPluginFile& plugin);
    bool AddMaster(CPluginFile& master);
    const std::vector<CPluginFile*>& Plugins() const { return m_plugins; }
    const std::vector<CPluginFile*>& Masters() const { return m_masters; }
    // Every file added, in the order added (and the plugins ComparePair and
    // CheckWarnings were given besides): what a finding's file indexes name.
    const std::vector<const CPluginFile*>& Files() const { return m_files; }
    CFileIndex PluginFile(std::size_t k) const { return m_pluginFile[k]; }
    CFileIndex MasterFile(std::size_t k) const { return m_masterFile[k]; }

    // The description of a tag (or of "DELE", "UNCL", "GCHG", "POTE"); ""
    // for any other text.
    static std::string GetDescription(std::string_view tag);

    // The conflict phase for conflicts, the warning phase for any other
    // check, starting from empty row lists. In Single Versus only the first
    // plugin is compared with the others and examined for warnings. The rows
    // come in the order of the plain nested loops
    // (plugin pair, check index, entry order), found through indexes by ID.
    // A set stop flag ends the loops; the rows found so far stay.
    const CCheckResult& Run(const std::atomic<std::int32_t>& stop, bool singleVersus, const CCheckSwitches& conflictChecks,
                            const CCheckSwitches& uncleanChecks, CCheckSet checks);
    // From now on Run hands its conflicts to `sink` (none: keeps them)
    // instead of keeping them, in runs, in the order the panes sort them
    // into: by tag (table index), and within a tag in the order of the
    // loops above. A stop ends it after whole rows; those sent stay sent.
    void SendConflictsTo(CFindingSink* sink) { m_sink = sink; }
    // How many conflicts the last Run sent to the sink.
    std::size_t ConflictsSent() const { return m_sent; }

    // Appends the conflicts of one record tag between two plugins.
    void ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                     const std::atomic<std::int32_t>& stop);
    // Appends one plugin's deleted, unclean and global-change rows.
    void CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                       const CCheckSwitches& uncleanChecks, CCheckSet checks);

    // The newest master that holds the ID in its table of `tag` (of equally
    // old ones the earliest in the list), or "None".
    std::string FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id, std::string_view tag);
    // The same master as a file index; kNoFile when no master holds the ID.
    CFileIndex OriginalFile(std::string_view id, std::size_t tableIndex);
    // The first entry of the ID in the first file of that name (of the
    // chosen list) whose table of `tag` holds it; nullptr when none does.
    const CEntry* FindEntry(std::string_view fileName, std::string_view id, std::string_view tag, EList list);

    // A file's age, asked once per engine.
    CFileAge FileAge(const CPluginFile& file);

    const CCheckResult& Result() const { return m_result; }
    // Hands the findings over, leaving the engine's lists empty.
    CCheckResult TakeResult() { return std::exchange(m_result, CCheckResult{}); }

private:
    void ConflictPhase(const std::atomic<std::int32_t>& stop, bool singleVersus, const CCheckSwitches& conflictChecks);
    void WarningPhase(const std::atomic<std::int32_t>& stop, bool singleVersus, const CCheckSwitches& uncleanChecks,
                      CCheckSet checks);
    // The master's version of an ID: its entry in the master named as the
    // ID's original file; nullptr when there is none.
    const CEntry* MasterVersion(std::string_view id, std::size_t tableIndex, long original);
    CFinding Conflict(std::size_t tableIndex, const CEntry& overriding, const CEntry& overridden,
                      CFileIndex overridingFile, CFileIndex overriddenFile, long original) const;
    // Index of the masters' table, rebuilt when a master's table changed.
    const checks_detail::CMasterIndex& MasterIndex(std::size_t tableIndex);
    const checks_detail::CFirstIndex& FirstIndex(const CPluginFile& file, std::size_t tableIndex);
    // Index in the master list of the ID's original master, or -1.
    long OriginalMaster(std::string_view id, std::size_t tableIndex);
    // A master's file name, or "None" for no master or an empty name.
    const std::string& MasterName(long master) const;
    CFileIndex MasterFileOf(long master) const { return master < 0 ? kNoFile : m_masterFile[std::size_t(master)]; }
    CFileIndex FileIndexOf(const CPluginFile& file);
    const std::vector<CFileAge>& MasterAges();
    void Report(const std::atomic<std::int32_t>& stop, const std::string& text, int total);

    CUserLink* m_link;
    CLastWriteAges m_ownAges;
    CFileAges* m_fileAges;
    std::vector<const CPluginFile*> m_files;
    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;
    std::vector<CFileIndex> m_pluginFile;  // by position in the plugin list
    std::vector<CFileIndex> m_masterFile;
    CCheckResult m_result;
    CFindingSink* m_sink = nullptr;
    std::size_t m_sent = 0;

    std::unordered_map<const CPluginFile*, CFileAge> m_ages;
    std::vector<CFileAge> m_masterAges;  // by position in the master list
    std::array<std::unique_ptr<checks_detail::CMasterIndex>, CPluginFile::kTableCount> m_masterIndexes;
    std::unordered_map<const CPluginFile*, std::array<std::unique_ptr<checks_detail::CFirstIndex>, CPluginFile::kTableCount>>
        m_firstIndexes;
};

}  // namespace vantor
