#include "OperationSummary.h"

#include <QLocale>

#include "platform/Files.h"
#include "document/operations/RecordConflictList.h"
#include "platform/Text.h"

namespace vantor {

namespace {

std::string CheckName(std::uint8_t mask) {
    switch (mask) {
        case kCheckConflicts: return "Check Conflicts";
        case kCheckDeleted: return "Check Deleted";
        case kCheckUnclean: return "Check Unclean";
        case kCheckAll: return "Check All";
        default: return "Check";
    }
}

std::size_t Rows(const COperationOutcome& outcome, EPane pane) {
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
std::string Label(const COperationOutcome& outcome, const std::string& command) {
    switch (outcome.m_code) {
        case EOperation::Extract: return "Extract Data";
        case EOperation::Check:
        case EOperation::ExtractCheck: return CheckName(outcome.m_checks);
        case EOperation::Clean:
        case EOperation::ExtractClean: return "Auto clean";
        case EOperation::Find:
        case EOperation::ExtractFind: return "Find Object";
        case EOperation::GlobalChanges:
        case EOperation::ExtractGlobalChanges: return command.empty() ? "View Global Changes" : command;
        case EOperation::EditorSetUp:
        case EOperation::ExtractEditorSetUp: return command.empty() ? "View Data" : command;
        case EOperation::Relink: return "Dialog repair";
        case EOperation::CleanCells:
        case EOperation::ExtractCleanCells: return "Clean Cells";
        case EOperation::MergedPatch:
        case EOperation::ExtractMergedPatch: return "Make Merged Patch";
        case EOperation::RecordConflicts:
        case EOperation::ExtractRecordConflicts: return "Record Conflicts";
    }
    return "Operation";
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
std::string MergedPatchText(const CMergedPatchOutcome& patch, bool stopped) {
    if (stopped || !patch.m_result) return "Make Merged Patch stopped: nothing was written";
    const merge::CMergeResult& r = *patch.m_result;
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

std::string OperationSummary(const COperationOutcome& outcome, const std::string& command) {
    const bool stopped = outcome.m_stopped;
    const std::string label = Label(outcome, command);
    if (!outcome.m_failure.empty()) return label + " failed: " + outcome.m_failure;
    const bool ran = outcome.m_paneRows[0] || outcome.m_paneRows[1] || outcome.m_paneRows[2];
    std::string counts;
    switch (outcome.m_code) {
        case EOperation::Extract:
            break;
        case EOperation::Check:
        case EOperation::ExtractCheck:
            if (outcome.m_checks & kCheckConflicts)
                counts = GroupedCount(Rows(outcome, EPane::Conflict), "conflict", "conflicts");
            if (outcome.m_checks & (kCheckDeleted | kCheckUnclean))
                counts += (counts.empty() ? "" : ", ") + GroupedCount(Rows(outcome, EPane::Warning), "warning", "warnings");
            break;
        case EOperation::Clean:
        case EOperation::ExtractClean:
            if (outcome.m_clean) return CleanText(*outcome.m_clean, stopped);
            break;
        case EOperation::CleanCells:
        case EOperation::ExtractCleanCells:
            if (outcome.m_cellClean) return CellCleanText(*outcome.m_cellClean, stopped);
            break;
        case EOperation::Find:
        case EOperation::ExtractFind:
            counts = GroupedCount(Rows(outcome, EPane::Editor), "entry", "entries");
            if (!stopped) counts = Rows(outcome, EPane::Editor) ? counts + " found" : "nothing found";
            break;
        case EOperation::GlobalChanges:
        case EOperation::ExtractGlobalChanges:
            counts = GroupedCount(Rows(outcome, EPane::Editor), "global change", "global changes");
            break;
        case EOperation::EditorSetUp:
        case EOperation::ExtractEditorSetUp:
            counts = GroupedCount(Rows(outcome, EPane::Editor), "entry", "entries");
            break;
        case EOperation::Relink:
            return RelinkText(outcome.m_relink, stopped);
        case EOperation::MergedPatch:
        case EOperation::ExtractMergedPatch:
            if (outcome.m_mergedPatch) return MergedPatchText(*outcome.m_mergedPatch, stopped);
            break;
        case EOperation::RecordConflicts:
        case EOperation::ExtractRecordConflicts:
            if (outcome.m_recordConflicts) counts = RecordConflictsText(*outcome.m_recordConflicts);
            break;
        default:
            return "Operation Does Not Exist";
    }

    const bool extractOnly = outcome.m_code == EOperation::Extract;
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
