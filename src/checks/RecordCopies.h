#pragma once
// Every copy of one record across a load order: which plugins hold a record
// of that type and ID, in load order, and the master copy they change. What
// is fought over, who wins, and what to combine are all questions about
// these groups, so they are collected once, growing with the records the
// plugins share rather than with pairs of plugins.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "checks/FileAges.h"
#include "format/PluginFile.h"

namespace vantor {

struct CRecordCopy {
    const CPluginFile* m_file = nullptr;
    const CEntry* m_entry = nullptr;
};

struct CRecordGroup {
    std::size_t m_table = 0;  // index of the record's tag among CPluginFile::kTags
    std::string_view m_id;    // the ID as compared (up to its first zero byte)
    // The copy of the newest master holding the ID, as the unclean and
    // global-change checks compare with (of equally old masters the first in
    // the list given); none when no master holds it.
    std::optional<CRecordCopy> m_master;
    // The plugins' copies, oldest first: the last one wins in the game.
    std::vector<CRecordCopy> m_copies;

    const CRecordCopy& Winner() const { return m_copies.back(); }
};

// The files, each once, in load order (oldest first); of equally old files
// the earlier in the list comes first.
std::vector<const CPluginFile*> InLoadOrder(const std::vector<CPluginFile*>& files, CFileAges& ages);

// The groups of every record that at least `minPlugins` of the plugins hold,
// by table in tag order and, within a table, by the ID's first copy in load
// order. A plugin holding one ID twice in a table counts with its first
// copy, as the checks take it. Deleted copies are copies too. A stop request
// ends the collection early with the groups of the tables done so far.
std::vector<CRecordGroup> CollectRecordGroups(const std::vector<CPluginFile*>& plugins,
                                              const std::vector<CPluginFile*>& masters, CFileAges& ages,
                                              std::size_t minPlugins, const std::atomic<std::int32_t>& stop);

}  // namespace vantor
