#include "document/ResultsLog.h"

#include <cerrno>

#include "document/OutputPath.h"

namespace vantor {

namespace {

// What is made before it is handed on: a few hundred rows.
constexpr std::size_t kChunk = 1 << 16;

void TellError(CFrameLink& link, const std::string& text) {
    link.Ask(CMessage{text, "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
}

}  // namespace

bool WriteLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader,
                  const std::function<bool(std::string_view)>& write) {
    std::string out;
    const std::vector<std::string>& header = table.m_header.empty() ? fallbackHeader : table.m_header;
    for (std::size_t c = 0; c < header.size(); ++c) (c ? out += ',' : out) += header[c];
    out += "\r\n";
    const std::size_t columns = table.ColumnCount();
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        for (std::size_t c = 0; c < columns; ++c) {
            if (c) out += ',';
            out += table.Cell(r, c);
        }
        out += "\r\n";
        if (out.size() >= kChunk) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    return write(out);
}

std::string FormatLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader) {
    std::string out;
    WriteLogList(table, fallbackHeader, [&out](std::string_view bytes) {
        out += bytes;
        return true;
    });
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
#ifdef EDQUOT  // not on Windows
        case EDQUOT:
#endif
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
    const COutputWrite written = WriteOutputFile(path, [&](const std::function<bool(std::string_view)>& write) {
        return WriteLogList(conflict, ConflictTableHeader().m_header, write) &&
               WriteLogList(warning, WarningTableHeader().m_header, write) &&
               WriteLogList(editor, EditorTableHeader().m_header, write);
    });
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
