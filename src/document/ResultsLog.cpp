#include "document/ResultsLog.h"

#include <cerrno>

#include "document/OutputPath.h"

namespace vantor {

namespace {

void AppendLine(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c) out += ',';
        out += cells[c];
    }
    out += "\r\n";
}

void TellError(CFrameLink& link, const std::string& text) {
    link.Ask(CMessage{text, "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
}

}  // namespace

std::string FormatLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader) {
    std::string out;
    AppendLine(out, table.m_header.empty() ? fallbackHeader : table.m_header);
    std::vector<std::string> cells;
    for (const auto& row : table.m_rows) {
        cells.clear();
        for (const auto& cell : row) cells.push_back(cell.m_text);
        AppendLine(out, cells);
    }
    return out;
}

std::string FileErrorMessage(int error, const std::string& path) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return "Access to " + path + " was denied.";
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return path + " contains an invalid path.";
        case EMFILE:
        case ENFILE:
            return "Could not open " + path + " because there are too many open files.";
        case ENOSPC:
        case EDQUOT:
            return "Disk full while accessing " + path + ".";
        case EIO:
            return "A hardware I/O error was reported while accessing " + path + ".";
        default:
            return "An unknown error occurred while accessing " + path + ".";
    }
}

bool WriteResultsLog(const std::string& path, const CResultTable& conflict, const CResultTable& warning,
                     const CResultTable& editor, CFrameLink& link) {
    // Written whole or not at all: a log cut short would pass for complete.
    const std::string bytes = FormatLogList(conflict, ConflictTableHeader().m_header) +
                              FormatLogList(warning, WarningTableHeader().m_header) +
                              FormatLogList(editor, EditorTableHeader().m_header);
    const COutputWrite written = WriteOutputFile(path, bytes);
    if (written.m_failed == COutputWrite::EStep::Create) TellError(link, FileErrorMessage(written.m_error, path));
    if (written.m_failed == COutputWrite::EStep::Write) TellError(link, "Unable to save grid list");
    return written.Ok();
}

bool SaveResults(CFrameLink& link, const std::string& dataDirectory, const std::vector<std::string>& inUse,
                 const CResultTable& conflict, const CResultTable& warning, const CResultTable& editor) {
    CFileChooser chooser;
    chooser.m_mode = CFileChooser::EMode::Save;
    chooser.m_title = "Save Log As";
    chooser.m_filters = {{"Any File (*.*)", "*.*"}};
    chooser.m_startFolder = dataDirectory;
    chooser.m_fileName = "VANTORlog.txt";
    chooser.m_defaultExtension = "txt";
    chooser.m_confirmOverwrite = true;
    const CFileChoice choice = link.ChooseFile(chooser);
    if (choice.m_status == CFileChoice::EStatus::Cancelled) return false;
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty() || choice.m_paths.front().empty()) {
        link.Tell("Error Selecting Save File", "Error");
        return false;
    }
    // The chooser asked before replacing a file.
    const auto path = PrepareOutput(choice.m_paths.front(), inUse, EReplace::Agreed, chooser.m_title, link);
    return path && WriteResultsLog(*path, conflict, warning, editor, link);
}

}  // namespace vantor
