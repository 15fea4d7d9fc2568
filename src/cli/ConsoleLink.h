#pragma once
// The frame link of the command line: progress on stderr, messages on
// stderr, questions answered by --yes or asked on the terminal. Without a
// terminal a question gets the answer that loses nothing, and the run is
// marked so it can exit non-zero.
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "document/FrameLink.h"

namespace vantor::cli {

class CConsoleLink : public CFrameLink {
public:
    CConsoleLink(bool yes, bool quiet);

    void Progress(const std::string& text, int total) override;
    void HidePane(EPane) override {}
    void ShowPane(EPane) override {}
    void SetPaneRows(EPane pane, CTablePtr table) override;
    EAnswer Ask(const CMessage& message) override;
    CFileChoice ChooseFile(const CFileChooser& chooser) override;
    void CloseEntryEditors(const std::string&) override {}

    // Given each table an operation publishes, when it is published and
    // before the operation goes on (its questions come after).
    std::function<void(EPane, const CResultTable&)> m_onRows;
    // Paths handed to the next file choosers, in order (from the command line).
    std::vector<std::string> m_choices;
    // Answers the command line gave for questions of one caption.
    std::vector<std::pair<std::string, EAnswer>> m_answers;
    // A question was answered by the safe default because nobody could be asked.
    bool Declined() const { return m_declined; }
    // A box reported a failure or a refusal. Warnings ("Dialog May Be Out of
    // Order") and a search that found nothing are not failures.
    bool SawFailure() const { return m_sawFailure; }

private:
    void ClearProgressLine();

    std::mutex m_mutex;
    bool m_yes;
    bool m_quiet;
    bool m_stderrTty;
    bool m_stdinTty;
    bool m_progressShown = false;
    bool m_declined = false;
    bool m_sawFailure = false;
};

}  // namespace vantor::cli
