#pragma once
// The words of the front ends: every question and notice of the library as
// the message box (or the line on stderr) shows it, and the file choosers of
// the commands. The window and the command line render the same texts from
// here; the library itself never holds a caption.
#include <string>
#include <vector>

#include "engine/UserLink.h"

namespace vantor::texts {

enum class EButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class EIcon { None, Information, Exclamation, Question, Stop };

// A message box: text, caption, buttons, icon and default button.
struct CMessage {
    std::string m_text;
    std::string m_caption;  // "VANTOR" where a message names no title
    EButtons m_buttons = EButtons::Ok;
    EIcon m_icon = EIcon::None;
    EAnswer m_default = EAnswer::Ok;
};

// How the command line names a notice: an error, a warning, or a note (a
// search without a find, a list with nothing to do).
enum class ESeverity { Error, Warning, Note };

struct CFileFilter {
    std::string m_label;    // "Any File (*.*)"
    std::string m_pattern;  // "*.*" or "*.esp;*.esm"
};

struct CFileChooser {
    enum class EMode { OpenOne, OpenMany, Save };
    EMode m_mode = EMode::OpenOne;
    std::string m_title;
    std::vector<CFileFilter> m_filters;
    std::string m_startFolder;
    std::string m_fileName;  // proposed name
    std::string m_defaultExtension;
    bool m_confirmOverwrite = false;
    bool m_mustExist = false;
};

struct CFileChoice {
    enum class EStatus { Chosen, Cancelled, Failed };
    EStatus m_status = EStatus::Cancelled;
    std::vector<std::string> m_paths;  // full paths
};

// A question as a message box; a question answered with a file
// (BackupName) is a chooser instead.
CMessage Render(const CQuestion& question);
bool IsChooser(const CQuestion& question);
CFileChooser Chooser(const CQuestion& question);
// The answer a chooser's choice gives its question.
CAnswer AnswerOf(const CFileChoice& choice);

CMessage Render(const CNotice& notice);
ESeverity SeverityOf(const CNotice& notice);

// "check the plugins": what a run failed at, after "not enough memory to".
std::string Doing(EActivity activity);

// The plugin and master filters of the file choosers; with OpenMW's load
// order they take its own extensions too.
CFileFilter PluginFilter(bool openmw);
CFileFilter MasterFilter(bool openmw);

// The choosers of the commands: Choose Plugins, Choose Master Plugin, Save
// Results.
CFileChooser PluginsChooser(bool openmw, const std::string& dataDir);
CFileChooser MasterPluginChooser(bool openmw, const std::string& dataDir);
CFileChooser SaveLogChooser(const std::string& folder, const std::string& fileName);
// Make Merged Patch: where the patch goes.
CFileChooser MergedPatchChooser(bool openmw, const std::string& dataDir);

// The standard message for a file error (an errno value) on `path`, e.g.
// "Access to /x/log.txt was denied."
std::string FileErrorMessage(int error, const std::string& path);

// What Clean Cells leaves alone, as lines.
std::string CellNotes(const CCellNotes& notes);

}  // namespace vantor::texts
