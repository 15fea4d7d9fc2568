#pragma once
// The results log: the conflict, warning and editor lists one after the
// other in one text file, each as its header line and its rows, cells joined
// by commas, lines ending in CR LF. Cell texts are written as their bytes,
// unquoted, so a comma inside a cell gives that row an extra field.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/ResultTable.h"
#include "engine/UserLink.h"

namespace vantor {

// How a cell is written: as its bytes, or quoted where it holds a comma, a
// quote or a line break (RFC 4180), as `vantor check --format csv` prints.
enum class ELogFields { AsTheyAre, Quoted };

// Rows written after the three lists (the window's record of changes), their
// header line first.
using CLogRows = std::vector<std::vector<std::string>>;

// One list as the log holds it: the header line, then every row. A table
// without a header of its own is given `fallbackHeader`. The text goes to
// `write` a piece at a time (a list can hold millions of rows); false as
// soon as `write` fails.
bool WriteLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader,
                  const std::function<bool(std::string_view)>& write, ELogFields fields = ELogFields::AsTheyAre);
std::string FormatLogList(const CResultTable& table, const std::vector<std::string>& fallbackHeader = {});

// Writes the three lists to `path`, replacing a file already there, through
// a working file renamed into place: the log is written whole or not at all.
// A file that cannot be created is reported with the file error, a failed
// write as the log not written. `path` is taken as it is: the caller has
// checked it as an output (OutputPath.h).
bool WriteResultsLog(const std::string& path, const CResultTable& conflict, const CResultTable& warning,
                     const CResultTable& editor, CUserLink& link, ELogFields fields = ELogFields::AsTheyAre,
                     const CLogRows& after = {});

// "&Save Results" once the front end's chooser gave `path` (and asked before
// replacing a file): checks it as an output (never one of `inUse`, the
// files the document holds), then writes the log. The path written (the
// file already there under another letter case, say), or nullopt when the
// file was refused or could not be written.
std::optional<std::string> SaveResults(const std::string& path, const std::vector<std::string>& inUse,
                                       const CResultTable& conflict, const CResultTable& warning,
                                       const CResultTable& editor, CUserLink& link,
                                       ELogFields fields = ELogFields::AsTheyAre, const CLogRows& after = {});

}  // namespace vantor
