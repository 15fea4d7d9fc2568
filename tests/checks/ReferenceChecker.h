#pragma once
// The check algorithms as plain nested loops: every entry against every
// entry, tables searched linearly, file ages read from disk at every
// comparison. Slow on purpose; the fast engine must give the same rows in
// the same order.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/PluginChecker.h"

namespace vantor::fixtures {

// The reference's findings as the panes show them, one text per column.
using CTextRow = std::vector<std::string>;
struct CReferenceResult {
    std::vector<CTextRow> m_conflicts, m_deleted, m_unclean, m_globalChanges;
};

class CReferenceChecker {
public:
    explicit CReferenceChecker(CUserLink* link = nullptr) : m_link(link) {}

    void AddPlugin(CPluginFile& plugin) { m_plugins.push_back(&plugin); }
    void AddMaster(CPluginFile& master) { m_masters.push_back(&master); }

    const CReferenceResult& Run(const std::atomic<std::int32_t>& stop, std::int32_t checkMode,
                            const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks,
                            std::uint8_t mask);
    void ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                     const std::atomic<std::int32_t>& stop);
    void CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                       const CCheckSwitches& uncleanChecks, std::uint8_t mask);
    std::string FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id, std::string_view tag);
    const CEntry* FindEntry(std::string_view fileName, std::string_view id, std::string_view tag, bool masters);

    CReferenceResult m_result;

private:
    void Report(const std::atomic<std::int32_t>& stop, const std::string& text, int total);

    CUserLink* m_link;
    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;
};

// The object search as nested loops over files, tables and entries; the
// original files come from the masters of `reference`.
std::vector<CTextRow> ReferenceSearch(CReferenceChecker& reference, const std::vector<CPluginFile*>& files,
                                      const std::string& text, bool matchCase, bool wholeWord, bool lookInData,
                                      bool masters);

// The editor's listing of `files` (or of the one named exactly), walked in
// the given order with a report per percentage, shown by file name and then
// in file order. A stop raised at the `stopAt`-th report (never for 0, before
// the first for < 0) ends the walk after the entry that made that report.
struct CReferenceListing {
    std::vector<CTextRow> m_rows;
    std::vector<std::string> m_progress;
    bool m_stopped = false;
};
CReferenceListing ReferenceListing(CReferenceChecker& reference, std::vector<CPluginFile*> files, bool masters,
                                   const std::string& viewFile, int stopAt);

}  // namespace vantor::fixtures
