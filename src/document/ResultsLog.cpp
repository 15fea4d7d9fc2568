#include "document/ResultsLog.h"

#include "document/OutputPath.h"
#include "platform/Text.h"

namespace vantor {

namespace {

// What is made before it is handed on: a few hundred rows.
constexpr std::size_t kChunk = 1 << 16;

}  // namespace

namespace {

void AppendField(std::string& out, std::string_view cell, ELogFields fields) {
    if (fields == ELogFields::Quoted)
        platform::AppendCsvField(out, cell);
    else
        out += cell;
}

std::string Line(const std::vector<std::string>& cells, ELogFields fields) {
    std::string out;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c) out += ',';
        AppendField(out, cells[c], fields);
    }
    return out + "\r\n";
}

}  // namespace

bool WriteLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader,
                  const std::function<bool(std::string_view)>& write, ELogFields fields) {
    std::string out = Line(table.m_header.empty() ? fallbackHeader : table.m_header, fields);
    const std::size_t columns = table.ColumnCount();
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        for (std::size_t c = 0; c < columns; ++c) {
            if (c) out += ',';
            AppendField(out, table.Cell(r, c), fields);
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
                     const CResultTable& editor, CUserLink& link, ELogFields fields, const CLogRows& after) {
    // Written whole or not at all: a log cut short would pass for complete.
    const COutputWrite written = WriteOutputFile(path, [&](const std::function<bool(std::string_view)>& write) {
        if (!WriteLogList(conflict, ConflictTableHeader().m_header, write, fields) ||
            !WriteLogList(warning, WarningTableHeader().m_header, write, fields) ||
            !WriteLogList(editor, EditorTableHeader().m_header, write, fields))
            return false;
        std::string out;
        for (const std::vector<std::string>& row : after) out += Line(row, fields);
        return out.empty() || write(out);
    });
    if (written.m_failed == COutputWrite::EStep::Create) link.Tell(CFileProblemNotice{written.m_error, path});
    if (written.m_failed == COutputWrite::EStep::Write) link.Tell(CLogNotWrittenNotice{});
    return written.Ok();
}

std::optional<std::string> SaveResults(const std::string& path, const std::vector<std::string>& inUse,
                                       const CResultTable& conflict, const CResultTable& warning,
                                       const CResultTable& editor, CUserLink& link, ELogFields fields,
                                       const CLogRows& after) {
    // The chooser asked before replacing a file.
    const auto target = PrepareOutput(path, inUse, EReplace::Agreed, EOutput::ResultsLog, link);
    if (!target || !WriteResultsLog(*target, conflict, warning, editor, link, fields, after)) return std::nullopt;
    return target;
}

}  // namespace vantor
