#include "OperationSummary.h"

#include <QLocale>

#include "platform/Files.h"
#include "document/operations/MergedPatchOperation.h"
#include "document/operations/RecordConflictList.h"
#include "merge/MergedPatch.h"
#include "platform/Text.h"
#include "texts/Texts.h"

namespace vantor {

namespace {

std::string CheckName(const CCheckSet& checks) {
    if (checks == CCheckSet::Conflicts()) return "Check Conflicts";
    if (checks == CCheckSet::Deleted()) return "Check Deleted";
    if (checks == CCheckSet::Unclean()) return "Check Unclean";
    if (checks == CCheckSet::All()) return "Check All";
    return "Check";
}

template <class T>
const T* As(const COutcome& outcome) {
    return std::get_if<T>(&outcome.m_request);
}

std::size_t Rows(const COutcome& outcome, EPane pane) {
    return outcome.m_paneRows[std::size_t(pane) - 1].value_or(0);
}

// What the reading of the files came to, when there is something to say.
std::string ExtractionText(const CExtractionCount& read) {
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (read.m_plugins || read.m_masters) {
        if (read.m_plugins) add(GroupedCount(read.m_plugins, "plugin", "plugins"));
        if (read.m_masters) add(GroupedCount(read.m_masters, "master", "masters"));
        text += " read";
    }
    if (read.m_unreadable) add(GroupedCount(read.m_unreadable, "file", "files") + " could not be read");
    if (read.m_left) add(GroupedCount(read.m_left, "chosen plugin", "chosen plugins") + " not read yet");
    return text;
}

std::string CleanText(const CAutoCleanResult& clean, bool stopped) {
    if (!clean.m_confirmed) return "Auto clean cancelled: nothing deleted";
    std::string text = stopped ? "Auto clean stopped: " : "Auto clean: ";
    if (!stopped && clean.m_unclean == 0) return text + "no unclean entries found";
    text += GroupedCount(clean.m_deleted, "entry", "entries") + " deleted from " +
            GroupedCount(clean.m_plugins, "plugin", "plugins");
    if (clean.m_failed) text += ", " + Grouped(clean.m_failed) + " could not be deleted";
    return text;
}

std::string RelinkText(const std::optional<CRelinkResult>& relink, bool stopped) {
    using E = CDialogMerge::EOutcome;
    if (!relink || !relink->m_ran) return stopped ? "Dialog repair stopped" : "Dialog repair cancelled";
    const std::string name = relink->m_espFilename.value_or("");
    switch (relink->m_outcome) {
        case E::Written:
            return "Repair plugin written: " + name + " (" + GroupedCount(relink->m_topics, "topic", "topics") + ", " +
                   GroupedCount(relink->m_responses, "response", "responses") + ")";
        case E::Stopped: return "Dialog repair stopped: no repair plugin written";
        case E::Declined: return "Dialog repair ended on your answer: no repair plugin written";
        case E::OpenFailed: return "Dialog repair failed: a file could not be read, no repair plugin written";
        case E::Refused:
            return name.empty() ? "Dialog repair failed: no repair plugin was named"
                                : "Dialog repair failed: " + name + " may not be written";
        case E::WriteFailed: return "Dialog repair failed: " + name + " could not be written";
        case E::NotRun: break;
    }
    return stopped ? "Dialog repair stopped" : "Dialog repair failed";
}

// The operation's name as the status bar gives it.
std::string Label(const COutcome& outcome, const std::string& command) {
    return std::visit(
        [&](const auto& r) -> std::string {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, CReadRequest>) return "Extract Data";
            if constexpr (std::is_same_v<T, CCheckRequest>) return CheckName(r.m_checks);
            if constexpr (std::is_same_v<T, CAutoCleanRequest>) return "Auto clean";
            if constexpr (std::is_same_v<T, CFindRequest>) return "Find Object";
            if constexpr (std::is_same_v<T, CGlobalChangesRequest>) return command.empty() ? "View Global Changes" : command;
            if constexpr (std::is_same_v<T, CListRequest>) return command.empty() ? "View Data" : command;
            if constexpr (std::is_same_v<T, CRelinkRequest>) return "Dialog repair";
            if constexpr (std::is_same_v<T, CCleanCellsRequest>) return "Clean Cells";
            if constexpr (std::is_same_v<T, CMergedPatchRequest>) return "Make Merged Patch";
            if constexpr (std::is_same_v<T, CRecordConflictsRequest>) return "Record Conflicts";
            return "Operation";
        },
        outcome.m_request);
}

std::string CellCleanText(const CCellCleanResult& cells, bool stopped) {
    const std::string found = GroupedCount(cells.m_cells, "cell", "cells");
    if (stopped) return "Clean Cells stopped: " + Grouped(cells.m_cleaned) + " of " + found + " cleaned";
    if (cells.m_cells == 0) return "Clean Cells: no cells to clean";
    if (!cells.m_confirmed) return "Clean Cells: " + found + " to clean, nothing changed";
    if (cells.m_failed)
        return "Clean Cells: " + Grouped(cells.m_cleaned) + " of " + found + " cleaned, " +
               Grouped(cells.m_failed) + " could not be";
    return "Clean Cells: " + GroupedCount(cells.m_cleaned, "cell", "cells") + " cleaned";
}

// What the patch holds, and how it is made to load last in OpenMW.
std::string MergedPatchText(const CMergedPatchResult& patch, bool stopped) {
    if (stopped || !patch.m_merged) return "Make Merged Patch stopped: nothing was written";
    const merge::CMergeResult& r = *patch.m_merged;
    if (!patch.m_written)
        return "Make Merged Patch: " + GroupedCount(r.m_records.size(), "record", "records") + " to merge, nothing written";
    return "Merged Patch " + platform::FileNameOf(patch.m_output) + " written: " + merge::CountsByType(r) +
           " merged; for OpenMW add " + OpenMWContentLine(patch.m_output) + " at the end of the content list";
}

// "4 records, 1 agreeing override".
std::string RecordConflictsText(const CRecordConflictList& list) {
    std::size_t agreeing = 0;
    for (const CRecordConflict& record : list.m_records) agreeing += record.m_agreement == ERecordAgreement::Agreeing;
    std::string text = GroupedCount(list.m_records.size(), "record", "records");
    return agreeing ? text + ", " + GroupedCount(agreeing, "agreeing override", "agreeing overrides") : text;
}

// The masters a check could not compare with, each part after "; ".
std::string MastersNote(const CMasterCoverage& masters) {
    std::string note;
    if (masters.m_noneRead) note = "; no master was read: unclean entries and global changes could not be checked";
    if (!masters.m_missing.empty()) {
        note += masters.m_missing.size() == 1 ? "; master not loaded:" : "; masters not loaded:";
        for (std::size_t i = 0; i < masters.m_missing.size(); ++i)
            note += (i ? ", " : " ") + masters.m_missing[i].m_name;
    }
    return note;
}

}  // namespace

std::string Grouped(std::size_t n) { return QLocale().toString(qulonglong(n)).toStdString(); }

std::string GroupedCount(std::size_t n, const char* one, const char* many) {
    return platform::CountOf(Grouped(n), n, one, many);
}

std::string OperationSummary(const COutcome& outcome, const std::string& command) {
    const bool stopped = outcome.Stopped();
    const std::string label = Label(outcome, command);
    if (outcome.m_reason == EReason::OutOfMemory) return label + " failed: not enough memory to " + texts::Doing(outcome.m_activity);
    const bool ran = outcome.m_paneRows[0] || outcome.m_paneRows[1] || outcome.m_paneRows[2];
    std::string counts;
    if (const auto* check = As<CCheckRequest>(outcome)) {
        if (check->m_checks.m_conflicts) counts = GroupedCount(Rows(outcome, EPane::Conflict), "conflict", "conflicts");
        if (check->m_checks.m_deleted || check->m_checks.m_unclean)
            counts += (counts.empty() ? "" : ", ") + GroupedCount(Rows(outcome, EPane::Warning), "warning", "warnings");
    } else if (As<CAutoCleanRequest>(outcome)) {
        if (outcome.m_clean) return CleanText(*outcome.m_clean, stopped);
    } else if (As<CCleanCellsRequest>(outcome)) {
        if (outcome.m_cellClean) return CellCleanText(*outcome.m_cellClean, stopped);
    } else if (As<CFindRequest>(outcome)) {
        counts = GroupedCount(Rows(outcome, EPane::Editor), "entry", "entries");
        if (!stopped) counts = Rows(outcome, EPane::Editor) ? counts + " found" : "nothing found";
    } else if (As<CGlobalChangesRequest>(outcome)) {
        counts = GroupedCount(Rows(outcome, EPane::Editor), "global change", "global changes");
    } else if (As<CListRequest>(outcome)) {
        counts = GroupedCount(Rows(outcome, EPane::Editor), "entry", "entries");
    } else if (As<CRelinkRequest>(outcome)) {
        return RelinkText(outcome.m_relink, stopped);
    } else if (As<CMergedPatchRequest>(outcome)) {
        if (outcome.m_mergedPatch) return MergedPatchText(*outcome.m_mergedPatch, stopped);
    } else if (As<CRecordConflictsRequest>(outcome)) {
        if (outcome.m_recordConflicts) counts = RecordConflictsText(*outcome.m_recordConflicts);
    }

    const bool extractOnly = As<CReadRequest>(outcome) != nullptr;
    const std::string read = outcome.m_extraction ? ExtractionText(*outcome.m_extraction) : std::string();
    if (stopped) {
        // Rows found before the stop are told as such; a stop while the
        // files were read tells how far the reading came.
        const std::string text = label + " stopped";
        if (ran && !counts.empty()) return text + ": " + counts + " found before the stop";
        return read.empty() ? text : text + ": " + read;
    }
    if (extractOnly) return label + ": " + (read.empty() ? "nothing new to read" : read);
    std::string text = label + (counts.empty() ? "" : ": " + counts);
    // Files that could not be read, and masters that were not there to
    // compare with, are worth a word beside the counts.
    std::string notes;
    if (outcome.m_extraction && outcome.m_extraction->m_unreadable)
        notes = "; " + GroupedCount(outcome.m_extraction->m_unreadable, "file", "files") + " could not be read";
    if (outcome.m_masterCoverage) notes += MastersNote(*outcome.m_masterCoverage);
    return notes.empty() ? text : text + " (" + notes.substr(2) + ")";
}

}  // namespace vantor
