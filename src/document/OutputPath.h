#pragma once
// Every file the tool writes as an output (a results log, a repair plugin)
// follows one rule, in the window and on the command line:
// - a plugin or master the user loaded or chose is never an output;
// - a folder, device, FIFO or socket is refused by name, never opened;
// - an existing file is replaced only after the user agreed;
// - an existing plugin or master (a file that begins with a TES3 record) is
//   backed up first, by the rules of any changed plugin, and a backup name
//   that exists is never overwritten;
// - the new content goes to a working file beside the target and is renamed
//   into place, so a failure never leaves half a file.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/UserLink.h"

namespace vantor {

class CFileList;

// The document's loaded and chosen plugins and masters, and the masters it
// found, as paths.
std::vector<std::string> FilesInUse(const CFileList& files);

// Whether `path` names one of the files in use, whatever the letter case or
// link it is named through.
bool IsFileInUse(const std::string& path, const std::vector<std::string>& inUse);

enum class EReplace {
    Ask,     // ask before replacing an existing file
    Agreed,  // the file chooser asked already
};

// The path to write when `path` may be written as an output: `path` itself,
// or the file that is there under another letter case. nullopt when it may
// not: refusals are told through the link, and a question the user answers
// No is the end of it. An existing plugin or master is backed up before this
// returns.
std::optional<std::string> PrepareOutput(const std::string& path, const std::vector<std::string>& inUse, EReplace replace,
                                         EOutput output, CUserLink& link);

struct COutputWrite {
    enum class EStep { Done, Create, Write };
    EStep m_failed = EStep::Done;  // the step that failed
    int m_error = 0;               // its errno, 0 when there is none
    bool Ok() const { return m_failed == EStep::Done; }
};

// Writes `bytes` to a working file beside `path` (through a final symbolic
// link, beside its target), flushes it and renames it over the target. On
// failure the target is as it was and no working file is left.
COutputWrite WriteOutputFile(const std::string& path, std::string_view bytes);
// The same for content made a piece at a time: `produce` hands each piece to
// the function it is given and returns false when that failed.
using COutputProducer = std::function<bool(const std::function<bool(std::string_view)>& write)>;
COutputWrite WriteOutputFile(const std::string& path, const COutputProducer& produce);

}  // namespace vantor
