#pragma once
// Cell cleaning: what a plugin's copies of its masters' cells hold that
// changes nothing, and the cells as they are without it.
//
// The editor saves every reference a modder merely touched, so a plugin's
// copy of a master's cell carries references identical to the ones the
// masters already put there, the master's ambient light and water height,
// and cells that end up changing nothing at all. The analysis reads the
// loaded files only; applying the result is the writer's business.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "format/PluginFile.h"

namespace vantor::cells {

// One plugin cell that cleaning changes.
struct CCellClean {
    const CEntry* m_entry = nullptr;  // the plugin's CELL entry
    std::string m_master;             // file name of the master whose copy it was compared with
    std::size_t m_duplicates = 0;     // references identical to the version in effect before the plugin
    bool m_redundantAmbient = false;  // AMBI identical to the master's
    bool m_redundantWater = false;    // WHGT equal to the master's water height
    // Nothing left but the master's own header: the record goes.
    bool m_junk = false;
    // The entry's new data (what follows NAME and DATA) unless m_junk: every
    // kept byte in its original order, NAM0 counting what is left.
    std::string m_data;
};

struct CPluginCells {
    const CPluginFile* m_plugin = nullptr;
    std::vector<CCellClean> m_cells;  // in table order; only cells that change
    // The plugin's masters not among the files given, each once: their
    // references stay.
    std::vector<std::string> m_missingMasters;
    // Cells of the plugin or of its masters that could not be judged (their
    // data was not read, or is damaged, or a master that is not loaded may
    // hold them): left alone.
    std::size_t m_unjudged = 0;
    // Of those, the cells a master not loaded may hold: one the plugin names
    // after the master it would be compared with, which may change (or
    // revert) what that master holds. Those masters, each once.
    std::size_t m_unjudgedForMissing = 0;
    std::vector<std::string> m_unjudgedMasters;

    std::size_t Duplicates() const;
    std::size_t RedundantSettings() const;
    std::size_t JunkCells() const;
};

class CCellCleaner {
public:
    // The files that may serve as masters, oldest first: of a plugin's own
    // masters, the one latest in this order wins where several hold a cell.
    // They must stay alive and unchanged while the cleaner is used.
    explicit CCellCleaner(std::vector<const CPluginFile*> masters);

    // Judges every cell of `plugin` that one of its own masters (the MAST
    // list of its header) also holds. Reads nothing from disk; safe to call
    // from several threads at once.
    CPluginCells Analyse(const CPluginFile& plugin) const;
    // The same for one CELL entry of `plugin` alone.
    CPluginCells AnalyseCell(const CPluginFile& plugin, const CEntry& cell) const;

private:
    struct CMaster {
        const CPluginFile* m_file = nullptr;
        std::vector<int> m_masters;  // its own MAST list as indexes of m_masters; -1 when not given
        std::unordered_map<std::string, std::vector<const CEntry*>> m_cells;  // cell key -> copies in file order
    };
    // Index of the given file of that name (without regard to case), or -1.
    int Resolve(std::string_view fileName) const;
    // A plugin's MAST list as the cleaner uses it.
    struct CPluginMasters {
        std::vector<int> m_byEntry;    // per MAST entry: index in m_masters, -1 when not given
        std::vector<int> m_given;      // the given ones, each once, oldest first
        std::vector<int> m_lastEntry;  // per index in m_masters: its last MAST entry, or -1
        int m_lastMissing = -1;        // the last MAST entry not given, or -1
        int m_firstHiding = -1;        // the first MAST entry after which a missing one kept a cell from being judged
    };
    void JudgeCell(const CEntry& cell, CPluginMasters& masters, CPluginCells& out) const;
    // Judges the plugin's cells, or only `only` when it is given.
    CPluginCells Judge(const CPluginFile& plugin, const CEntry* only) const;

    std::vector<CMaster> m_masters;
    std::unordered_map<std::string, int> m_byName;  // lower-case file name -> index in m_masters
};

}  // namespace vantor::cells
