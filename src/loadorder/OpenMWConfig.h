#pragma once
// Reading openmw.cfg files the way OpenMW reads them: "key=value" lines,
// keys that repeat and accumulate, quoted paths with '&' escapes, path
// tokens, and "config=" folders whose openmw.cfg is read after the file.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loadorder/LoadOrder.h"

namespace vantor::loadorder {

struct CConfigEntry {
    std::string m_key;
    std::string m_value;
    std::size_t m_line = 0;  // from 1
    bool operator==(const CConfigEntry&) const = default;
};

// The "key=value" lines of one file in order, key and value without the
// blanks around them. A line whose first character that is not a blank is
// '#' is a comment; a line without '=' or with an empty key says nothing.
// After a "[section]" line keys are "section.key", which no key we read is.
std::vector<CConfigEntry> ParseConfigText(std::string_view text);

// A path value as OpenMW takes it: in double quotes, where "&&" stands for
// '&' and "&\"" for '"' and nothing after the closing quote counts; a value
// that does not start with a quote is taken as it stands.
std::string UnquotePath(std::string_view value);

// A path value made a path: unquoted, a leading ?userconfig?, ?userdata?,
// ?global? or ?local? (the folder of the file that holds the line) replaced
// by its folder, and what is still relative taken from `configFolder`
// (which ends with a separator). An unknown token, or one whose folder
// this platform lacks, is left as it stands, so that the path leads nowhere
// rather than somewhere wrong.
std::string ResolveConfigPath(std::string_view value, const std::string& configFolder, const COpenMWPaths& paths);

// What a chain of openmw.cfg files says. The list settings (data, content,
// fallback-archive) join the files' values in reading order, except that a
// "replace=KEY" drops what the files before it gave for KEY; of a single
// setting (data-local) the last file that gives one wins.
struct CConfigChain {
    std::vector<CConfigFile> m_files;  // in the order read or skipped
    // Resolved data folders (ending with a separator), lowest priority first,
    // each with the file that named it.
    std::vector<CDataFolder> m_data;
    std::optional<CDataFolder> m_dataLocal;
    std::vector<std::string> m_content;  // names as given, in order, each once
    std::vector<std::string> m_fallbackArchives;
    // A content file named twice, a path no system takes: as found.
    std::vector<CConfigError> m_errors;
};

// No system takes a longer path (Windows's long paths); a value beyond it is
// refused before it is looked at.
constexpr std::size_t kLongestPath = 32767;
// "config=" folders are followed this many files deep from the first, no
// further.
constexpr std::size_t kDeepestConfig = 256;

// Reads `first` (an openmw.cfg, or a folder holding one) and every file its
// "config=" lines lead to, as OpenMW reads them: depth first, a file's
// folders right after it in the order named, each file once. A file holding
// "replace=config" drops every file read before it but the first, when there
// are such. A file that is not a regular file is never opened.
CConfigChain ReadConfigChain(const std::string& first, const COpenMWPaths& paths);

}  // namespace vantor::loadorder
