#include "document/ResultsLog.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Files.h"

namespace vantor {

namespace {

void AppendLine(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c) out += ',';
        out += cells[c];
    }
    out += "\r\n";
}

bool WriteAll(int fd, const std::string& path, const std::string& bytes) {
    if (platform::ShouldFail(platform::EFileOp::Write, path)) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
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
    struct CList {
        const CResultTable& m_table;
        CResultTable m_header;
    };
    const CList lists[] = {{conflict, ConflictTableHeader()}, {warning, WarningTableHeader()}, {editor, EditorTableHeader()}};
    bool allWritten = true;
    // The first list that opens the file empties it, so an old log is
    // replaced even where it could not be deleted first; the others append.
    bool emptied = false;
    for (const CList& list : lists) {
        int fd = -1;
        int error = EIO;
        if (!platform::ShouldFail(platform::EFileOp::Open, path)) {
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (emptied ? O_APPEND : O_TRUNC), 0666);
            error = errno;
        }
        if (fd < 0) {
            TellError(link, FileErrorMessage(error, path));
            allWritten = false;
            continue;
        }
        emptied = true;
        const bool written = WriteAll(fd, path, FormatLogList(list.m_table, list.m_header.m_header));
        // A failing close can mean the data never reached the disk.
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            TellError(link, "Unable to save grid list");
            allWritten = false;
        }
    }
    return allWritten;
}

bool SaveResults(CFrameLink& link, const std::string& dataDirectory, const CResultTable& conflict,
                 const CResultTable& warning, const CResultTable& editor) {
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
    return WriteResultsLog(choice.m_paths.front(), conflict, warning, editor, link);
}

}  // namespace vantor
