#pragma once
// "Save Results" as the window offers it: a dated name in the working
// folder, the results log or the same lists as comma-separated values.
#include <QDate>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/Outcome.h"
#include "document/ResultTable.h"

namespace vantor {

// "VANTORlog 2026-12-08.txt": a save a day later does not replace it.
std::string ProposedLogName(const QDate& day);

class CQtFrameLink;

// A row of the "Changes Made" list: one entry or cell a run took out of a
// plugin, or cleaned, and the plugin's backup.
struct CChangeMade {
    std::string m_file;    // the plugin's file name
    std::string m_backup;  // its backup's path
    std::string m_tag;
    std::string m_id;
    std::string m_change;  // "Deleted", "Cleaned" or "Removed" (a junk cell)
};
// The rows of what an outcome took out of plugins or cleaned (an entry the
// editor wrote is not one of them).
std::vector<CChangeMade> ChangeRows(const COutcome& outcome);

// The "Changes Made" list's columns, as saved after the three lists.
std::vector<std::string> ChangesHeader();
std::vector<std::string> ChangeCells(const CChangeMade& change);

// Asks for the file (starting in `folder`), checks it as an output (never one
// of `inUse`) and writes the lists, as csv when its name ends in ".csv", and
// the changes made when there are any. The path written, or nullopt when
// cancelled, refused or failed (each told).
std::optional<std::string> SaveResultsFile(CQtFrameLink& link, const std::string& folder,
                                           const std::vector<std::string>& inUse, const CResultTable& conflict,
                                           const CResultTable& warning, const CResultTable& editor,
                                           const std::vector<CChangeMade>& changes = {});

}  // namespace vantor
