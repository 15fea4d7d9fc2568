#include "document/ResultsLog.h"

#include "document/OutputPath.h"

namespace vantor {

namespace {

// What is made before it is handed on: a few hundred rows.
constexpr std::size_t kChunk = 1 << 16;

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

bool WriteResultsLog(const std::string& path, const CResultTable& conflict, const CResultTable& warning,
                     const CResultTable& editor, CUserLink& link) {
    // Written whole or not at all: a log cut short would pass for complete.
    const COutputWrite written = WriteOutputFile(path, [&](const std::function<bool(std::string_view)>& write) {
        return WriteLogList(conflict, ConflictTableHeader().m_header, write) &&
               WriteLogList(warning, WarningTableHeader().m_header, write) &&
               WriteLogList(editor, EditorTableHeader().m_header, write);
    });
    if (written.m_failed == COutputWrite::EStep::Create) link.Tell(CFileProblemNotice{written.m_error, path});
    if (written.m_failed == COutputWrite::EStep::Write) link.Tell(CLogNotWrittenNotice{});
    return written.Ok();
}

bool SaveResults(const std::string& path, const std::vector<std::string>& inUse, const CResultTable& conflict,
                 const CResultTable& warning, const CResultTable& editor, CUserLink& link) {
    // The chooser asked before replacing a file.
    const auto target = PrepareOutput(path, inUse, EReplace::Agreed, EOutput::ResultsLog, link);
    return target && WriteResultsLog(*target, conflict, warning, editor, link);
}

}  // namespace vantor
