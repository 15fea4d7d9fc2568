#include "cli/ConsoleLink.h"

#include <iostream>

#include "cli/Json.h"
#include "platform/Console.h"

namespace vantor::cli {

namespace {
// The answer that changes and loses nothing.
EAnswer SafeAnswer(EButtons buttons) {
    switch (buttons) {
        case EButtons::YesNo: return EAnswer::No;
        case EButtons::YesNoCancel:
        case EButtons::OkCancel: return EAnswer::Cancel;
        default: return EAnswer::Ok;
    }
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
    std::lock_guard lock(m_mutex);
    if (m_quiet || !m_stderrTty) return;
    if (total == 0) {
        ClearProgressLine();
        return;
    }
    std::cerr << "\r\033[K" << DisplayText(text) << std::flush;
    m_progressShown = true;
}

void CConsoleLink::SetPaneRows(EPane pane, CTablePtr table) {
    std::lock_guard lock(m_mutex);
    if (!m_onRows || !table) return;
    ClearProgressLine();
    m_onRows(pane, *table);
}

EAnswer CConsoleLink::Ask(const CMessage& message) {
    std::lock_guard lock(m_mutex);
    ClearProgressLine();
    // Messages carry file names as the file system has them beside plugin text.
    std::string text = DisplayText(message.m_text);
    std::string caption = DisplayText(message.m_caption);
    if (message.m_buttons == EButtons::Ok) {
        // Every box with only OK tells of something that failed or was
        // refused, whatever its icon ("Error Deleting Entry." has none),
        // except a warning and a search without a find.
        const char* word = message.m_caption == "Warning" ? "warning" : message.m_caption == "Not Found" ? "note" : "error";
        if (word[0] == 'e') m_sawFailure = true;
        std::cerr << "vantor: " << word << ": " << (caption.empty() ? "" : caption + ": ") << text << "\n";
        return EAnswer::Ok;
    }
    std::cerr << "vantor: " << (caption.empty() ? "" : caption + ": ") << text << "\n";
    for (const auto& [forCaption, answer] : m_answers)
        if (forCaption == message.m_caption) {
            std::cerr << "  answered as the command line says\n";
            return answer;
        }
    if (m_yes) {
        EAnswer a = message.m_buttons == EButtons::OkCancel ? EAnswer::Ok : EAnswer::Yes;
        std::cerr << "  answered " << (a == EAnswer::Ok ? "OK" : "Yes") << " (--yes)\n";
        return a;
    }
    if (!m_stdinTty) {
        EAnswer a = SafeAnswer(message.m_buttons);
        m_declined = true;
        std::cerr << "  nobody to ask: answered " << (a == EAnswer::No ? "No" : "Cancel")
                  << "; nothing was changed by this question (use --yes to agree)\n";
        return a;
    }
    const bool ok = message.m_buttons == EButtons::OkCancel;
    const bool cancel = message.m_buttons == EButtons::YesNoCancel || ok;
    for (;;) {
        std::cerr << (ok ? "  [o]k / [c]ancel? " : cancel ? "  [y]es / [n]o / [c]ancel? " : "  [y]es / [n]o? ")
                  << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) {
            m_declined = true;
            return SafeAnswer(message.m_buttons);
        }
        char c = line.empty() ? '\0' : char(std::tolower(static_cast<unsigned char>(line[0])));
        if (ok && c == 'o') return EAnswer::Ok;
        if (!ok && c == 'y') return EAnswer::Yes;
        if (!ok && c == 'n') return EAnswer::No;
        if (cancel && c == 'c') return EAnswer::Cancel;
        if (c == '\0') return message.m_default;
    }
}

CFileChoice CConsoleLink::ChooseFile(const CFileChooser& chooser) {
    std::lock_guard lock(m_mutex);
    if (m_choices.empty()) {
        std::cerr << "vantor: \"" << chooser.m_title << "\": no file given on the command line; cancelled\n";
        m_declined = true;
        return {};
    }
    if (chooser.m_mode == CFileChooser::EMode::OpenMany) {
        CFileChoice all{CFileChoice::EStatus::Chosen, m_choices};
        m_choices.clear();
        return all;
    }
    CFileChoice choice{CFileChoice::EStatus::Chosen, {m_choices.front()}};
    m_choices.erase(m_choices.begin());
    return choice;
}

}  // namespace vantor::cli
