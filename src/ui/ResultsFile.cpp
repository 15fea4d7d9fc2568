#include "ResultsFile.h"

#include "QtFrameLink.h"

#include <QString>

#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "platform/Text.h"

namespace vantor {

namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    return QString::fromStdString(text).endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

}  // namespace

std::string ProposedLogName(const QDate& day) {
    return "VANTORlog " + day.toString(Qt::ISODate).toStdString() + ".txt";
}

bool WriteCsvList(const CResultTable& table, const std::vector<std::string>& fallbackHeader,
                  const std::function<bool(std::string_view)>& write) {
    std::string out;
    const std::vector<std::string>& header = table.m_header.empty() ? fallbackHeader : table.m_header;
    for (std::size_t c = 0; c < header.size(); ++c) {
        if (c) out += ',';
        platform::AppendCsvField(out, header[c]);
    }
    out += "\r\n";
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        for (std::size_t c = 0; c < table.ColumnCount(); ++c) {
            if (c) out += ',';
            platform::AppendCsvField(out, table.Cell(r, c));
        }
        out += "\r\n";
        // A list can hold millions of rows: handed on a piece at a time.
        if (out.size() >= (1u << 16)) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    return write(out);
}

std::vector<std::string> ChangesHeader() { return {"Esp File", "Backup", "ID", "Name", "Change"}; }

std::vector<CChangeMade> ChangeRows(const COutcome& outcome) {
    std::vector<CChangeMade> rows;
    for (const CFileChange& file : outcome.m_changed)
        for (const CChangedEntry& entry : file.m_changed) {
            const char* how = nullptr;
            switch (entry.m_how) {
                case EEntryChange::Deleted: how = "Deleted"; break;
                case EEntryChange::Cleaned: how = "Cleaned"; break;
                case EEntryChange::Removed: how = "Removed"; break;
                case EEntryChange::Updated: break;
            }
            if (how) rows.push_back({file.m_file, file.m_backup, entry.m_tag, entry.m_id, how});
        }
    return rows;
}

std::vector<std::string> ChangeCells(const CChangeMade& change) {
    return {change.m_file, change.m_backup, change.m_tag, change.m_id, change.m_change};
}

std::optional<std::string> SaveResultsFile(CQtFrameLink& link, const std::string& folder,
                                           const std::vector<std::string>& inUse, const CResultTable& conflict,
                                           const CResultTable& warning, const CResultTable& editor,
                                           const std::vector<CChangeMade>& changes) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Save Log As";
    chooser.m_filters = {{"Results Log (*.txt)", "*.txt"},
                         {"Comma-Separated Values (*.csv)", "*.csv"},
                         {"Any File (*.*)", "*.*"}};
    chooser.m_startFolder = folder;
    chooser.m_fileName = ProposedLogName(QDate::currentDate());
    chooser.m_defaultExtension = "txt";
    chooser.m_confirmOverwrite = true;
    const CFileChoice choice = link.ChooseFile(chooser);
    if (choice.m_status == CFileChoice::EStatus::Cancelled) return std::nullopt;
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty() || choice.m_paths.front().empty()) {
        link.Tell("Error Selecting Save File", "Error");
        return std::nullopt;
    }
    // The chooser asked before replacing a file.
    const auto path = PrepareOutput(choice.m_paths.front(), inUse, EReplace::Agreed, EOutput::ResultsLog, link);
    if (!path) return std::nullopt;
    const bool csv = EndsWithNoCase(*path, ".csv");
    // The lists as the log has them (or quoted), then what was changed;
    // written whole or not at all, as the log is.
    auto list = [csv](const CResultTable& table, const CResultTable& header, const auto& write) {
        return csv ? WriteCsvList(table, header.m_header, write) : WriteLogList(table, header.m_header, write);
    };
    auto line = [csv](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c) out += ',';
            if (csv)
                platform::AppendCsvField(out, cells[c]);
            else
                out += cells[c];
        }
        return out + "\r\n";
    };
    const COutputWrite written = WriteOutputFile(*path, [&](const std::function<bool(std::string_view)>& write) {
        if (!list(conflict, ConflictTableHeader(), write) || !list(warning, WarningTableHeader(), write) ||
            !list(editor, EditorTableHeader(), write))
            return false;
        if (changes.empty()) return true;
        std::string out = line(ChangesHeader());
        for (const CChangeMade& change : changes) out += line(ChangeCells(change));
        return write(out);
    });
    if (written.m_failed == COutputWrite::EStep::Create) link.Tell(CFileProblemNotice{written.m_error, *path});
    if (written.m_failed == COutputWrite::EStep::Write) link.Tell(CLogNotWrittenNotice{});
    return written.Ok() ? path : std::nullopt;
}

}  // namespace vantor
