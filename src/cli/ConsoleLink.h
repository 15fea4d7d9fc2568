#pragma once
// The frame link of the command line: progress on stderr, notices on
// stderr, questions answered by kind from the command line, by --yes, or on
// the terminal. Without a terminal a question gets the answer that loses
// nothing, and the run's outcome shows that nothing was done.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "document/FrameLink.h"

namespace vantor::cli {

class CConsoleLink : public CFrameLink {
public:
    CConsoleLink(bool yes, bool quiet);

    void Progress(const std::string& text, int total) override;
    void Tell(const CNotice& notice) override;
    CAnswer Ask(const CQuestion& question) override;
    void Publish(EPane pane, CTablePtr table, EShow show) override;

    // Given each table an operation publishes, when it is published and
    // before the operation goes on (its questions come after).
    std::function<void(EPane, const CResultTable&)> m_onRows;
    // Answers the command line gives, by the kind of question.
    std::map<EQuestion, EAnswer> m_answers;
    // The name of one new backup (--backup-name), used by the first
    // question for one.
    std::optional<std::string> m_backupName;

private:
    void ClearProgressLine();

    bool m_yes;
    bool m_quiet;
    bool m_stderrTty;
    bool m_stdinTty;
    bool m_progressShown = false;
};

}  // namespace vantor::cli
