#pragma once
// Record Conflicts: the conflicts by record of the loaded plugins, kept with
// the files their entries live in, and the texts of the list's rows, which
// the window's list and the command line show alike.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "checks/CheckOperations.h"
#include "checks/RecordConflicts.h"
#include "document/FileList.h"
#include "document/Operation.h"
#include "document/ResultTable.h"

namespace vantor {

struct CRecordConflictList {
    // The files the findings point into, kept alive as long as the list.
    std::vector<CFileRef> m_files;
    std::vector<CRecordConflict> m_records;
    // The masters the plugins name that were not loaded: their records were
    // not compared with them.
    CMasterCoverage m_masters;
    bool m_stopped = false;
};
using CRecordConflictsPtr = std::shared_ptr<const CRecordConflictList>;

// The list's columns, one row per record.
enum ERecordColumn : std::size_t {
    kRecordTag,        // "ID": the record type's tag, as in the other lists
    kRecordType,       // "Record": its description
    kRecordName,       // "Name": the record's ID
    kRecordWinner,     // "Winning Esp File"
    kRecordFiles,      // "Esp Files": every plugin holding it, in load order
    kRecordOriginal,   // "Original File": the master copy compared with, or "None"
    kRecordAgreeing,   // "Agreeing Override": "Yes", "No", or that the data was not read
    kRecordContested,  // "Contested": the subrecords and fields the plugins disagree on
    kRecordChanges,    // "Changes by File": what each plugin's copy changes from the original
    kRecordOverridden, // "Overridden by File": where each other plugin's copy differs from the winner's
    kRecordColumnCount
};
extern const std::array<std::string_view, kRecordColumnCount> kRecordConflictHeader;

// A row's cell: names and IDs as the plugin's bytes, file names as the file
// system has them. The last three columns compare the copies: `comparison`,
// of the same record, is used when given, else made.
std::string RecordConflictCell(const CRecordConflict& record, std::size_t column,
                               const CRecordComparison* comparison = nullptr);
// Whether a column's cells are made by comparing the copies.
inline bool ComparesCopies(std::size_t column) { return column >= kRecordContested; }
std::string AgreementText(ERecordAgreement agreement);

// What the operation reads: the document's plugins (newest extraction
// first, the loaded master last) and masters, and its options.
struct CRecordConflictInputs {
    std::vector<CPluginFile*> m_plugins;
    std::vector<CPluginFile*> m_masters;
    bool m_singleVersus = false;  // only the records the loaded master plugin holds
    CCheckSwitches m_types{};     // the conflict switches
};

// The record conflicts of the loaded plugins, in type order and load order;
// `files` names every file so the list keeps them alive.
CRecordConflictList FindRecordConflictList(const CRecordConflictInputs& inputs, const CFileList& files,
                                           CFileAges& ages, const std::atomic<std::int32_t>& stop, CUserLink* link);

// Check Record Conflicts (after the reading): the list, and the masters not
// loaded, go into the outcome.
std::unique_ptr<COperation> MakeRecordConflictsOperation(const CRequest& request, CDocState state, bool readFirst);

}  // namespace vantor
