#include "cli/ConsoleLink.h"

#include <iostream>

#include "cli/Json.h"
#include "platform/Console.h"
#include "texts/Texts.h"

namespace vantor::cli {

namespace {

using texts::EButtons;

// The answer that changes and loses nothing.
EAnswer SafeAnswer(EButtons buttons) {
    switch (buttons) {
        case EButtons::YesNo: return EAnswer::No;
        case EButtons::YesNoCancel:
        case EButtons::OkCancel: return EAnswer::Cancel;
        default: return EAnswer::Ok;
    }
}

const char* Word(texts::ESeverity severity) {
    switch (severity) {
        case texts::ESeverity::Warning: return "warning";
        case texts::ESeverity::Note: return "note";
        case texts::ESeverity::Error: break;
    }
    return "error";
}

}  // namespace

CConsoleLink::CConsoleLink(bool yes, bool quiet)
    : m_yes(yes), m_quiet(quiet), m_stderrTty(platform::IsTerminal(2)), m_stdinTty(platform::IsTerminal(0)) {}

void CConsoleLink::ClearProgressLine() {
    if (m_progressShown) {
        std::cerr << "\r\033[K" << std::flush;
        m_progressShown = false;
    }
}

void CConsoleLink::Progress(const std::string& text, int total) {
    if (m_quiet || !m_stderrTty) return;
    if (total == 0) {
        ClearProgressLine();
        return;
    }
    std::cerr << "\r\033[K" << DisplayText(text) << std::flush;
    m_progressShown = true;
}

void CConsoleLink::Publish(EPane pane, CTablePtr table, EShow) {
    if (!m_onRows || !table) return;
    ClearProgressLine();
    m_onRows(pane, *table);
}

void CConsoleLink::Tell(const CNotice& notice) {
    ClearProgressLine();
    // Messages carry file names as the file system has them beside plugin text.
    const texts::CMessage message = texts::Render(notice);
    std::cerr << "vantor: " << Word(texts::SeverityOf(notice)) << ": " << DisplayText(message.m_caption) << ": "
              << DisplayText(message.m_text) << "\n";
}

CAnswer CConsoleLink::Ask(const CQuestion& question) {
    ClearProgressLine();
    if (texts::IsChooser(question)) {
        if (!m_backupName) {
            std::cerr << "vantor: \"" << texts::Chooser(question).m_title
                      << "\": no file given on the command line; cancelled\n";
            return {EAnswer::Cancel, {}};
        }
        CAnswer answer{EAnswer::Ok, *m_backupName};
        m_backupName.reset();
        return answer;
    }
    const texts::CMessage message = texts::Render(question);
    std::cerr << "vantor: " << DisplayText(message.m_caption) << ": " << DisplayText(message.m_text) << "\n";
    if (auto given = m_answers.find(KindOf(question)); given != m_answers.end()) {
        std::cerr << "  answered as the command line says\n";
        return {given->second, {}};
    }
    if (m_yes) {
        const EAnswer a = message.m_buttons == EButtons::OkCancel ? EAnswer::Ok : EAnswer::Yes;
        std::cerr << "  answered " << (a == EAnswer::Ok ? "OK" : "Yes") << " (--yes)\n";
        return {a, {}};
    }
    if (!m_stdinTty) {
        const EAnswer a = SafeAnswer(message.m_buttons);
        std::cerr << "  nobody to ask: answered " << (a == EAnswer::No ? "No" : "Cancel")
                  << "; nothing was changed by this question (use --yes to agree)\n";
        return {a, {}};
    }
    const bool ok = message.m_buttons == EButtons::OkCancel;
    const bool cancel = message.m_buttons == EButtons::YesNoCancel || ok;
    for (;;) {
        std::cerr << (ok ? "  [o]k / [c]ancel? " : cancel ? "  [y]es / [n]o / [c]ancel? " : "  [y]es / [n]o? ")
                  << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return {SafeAnswer(message.m_buttons), {}};
        const char c = line.empty() ? '\0' : char(std::tolower(static_cast<unsigned char>(line[0])));
        if (ok && c == 'o') return {EAnswer::Ok, {}};
        if (!ok && c == 'y') return {EAnswer::Yes, {}};
        if (!ok && c == 'n') return {EAnswer::No, {}};
        if (cancel && c == 'c') return {EAnswer::Cancel, {}};
        if (c == '\0') return {message.m_default, {}};
    }
}

}  // namespace vantor::cli
