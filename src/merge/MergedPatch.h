#pragma once
// The merged patch: for each leveled list and object record that several
// chosen plugins change, the combination of their changes, written into a
// plugin that loads last. Two plugins that each add items to one leveled
// list would otherwise cancel each other out, the newer winning whole.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/FileAges.h"
#include "format/PluginFile.h"

namespace vantor::merge {

// Whether records of this type are merged: leveled lists and the object
// records whose data blocks have named fields. Cells, landscape, path grids,
// dialogue and scripts never are.
bool IsMergedType(std::string_view tag);

// Where one field of a merged record came from: the newest plugin that
// changed it from the base.
struct CFieldSource {
    std::string m_field;  // as the user reads it: "WPDT Weight", "entry iron dagger at level 5"
    const CPluginFile* m_file = nullptr;
    // Every plugin that changed the field, oldest first, when they set it to
    // different values (the newest of them wins); empty otherwise.
    std::vector<const CPluginFile*> m_contested;
};

struct CMergedRecord {
    std::string_view m_tag;  // "LEVI"
    std::string m_id;        // the NAME payload as stored
    std::string m_data;      // the merged subrecords after NAME
    // The copy merged against: the newest master's, or the first plugin's.
    const CPluginFile* m_base = nullptr;
    const CPluginFile* m_winner = nullptr;  // what the game loads without the patch
    std::vector<CFieldSource> m_fields;     // the fields the plugins changed
    std::uint32_t m_flags = 0;              // the winner's record flags, kept
    std::size_t Contested() const;
};

// A record several plugins change that is left as the game loads it.
struct CSkippedRecord {
    std::string_view m_tag;
    std::string m_id;
    const CPluginFile* m_file = nullptr;  // the plugin that deletes it, or the winner
    std::string m_reason;                 // "deleted by X.esp", ...
};

struct CMergeResult {
    std::vector<CMergedRecord> m_records;  // by type in tag order, then as first met
    std::vector<CSkippedRecord> m_skipped;
    // Records several plugins change whose merge is the winner's copy.
    std::size_t m_sameAsWinner = 0;
    // The files the patch takes something from, masters first, in load order.
    std::vector<const CPluginFile*> m_contributors;
    // The chosen plugins, in load order.
    std::vector<const CPluginFile*> m_plugins;
    bool m_stopped = false;
};

// Merges every record of a merged type that two or more of the plugins hold.
// The base of a record is the copy of the newest master holding it, or the
// first plugin's copy where no master does. Each field takes the value of
// the newest plugin whose copy differs from the base in that field; the
// entries of leveled lists, inventories and spell lists are fields whose
// value is how many times the list holds them.
CMergeResult MergeRecords(const std::vector<CPluginFile*>& plugins, const std::vector<CPluginFile*>& masters,
                          CFileAges& ages, const std::atomic<std::int32_t>& stop);

// The patch file's bytes: a TES3 header naming every contributing file, with
// its size, as a master, then the merged records.
std::string PatchBytes(const CMergeResult& result);

// Whether every file the result was made from (the plugins and the files
// it takes something from) still holds the bytes it was read with, by the
// test the writer makes before changing a file: Ok, or the first file's
// failure. A file rewritten in place since could have handed its new bytes
// to the merge unseen.
CWriteResult CheckSources(const CMergeResult& result);

// The author and description the header carries.
inline constexpr std::string_view kPatchAuthor = "VANTOR Merged Patch";
std::string PatchDescription(const CMergeResult& result);

// How many records of each type the patch holds: "3 LEVI, 1 NPC_".
std::string CountsByType(const CMergeResult& result);

}  // namespace vantor::merge
