#pragma once
// What the library's procedures may ask of whoever runs them: progress
// reports, notices, and questions whose answers they go on with. The
// document's frame link is one; the engine knows nothing above it.
#include <string>

#include "engine/Notices.h"
#include "engine/Questions.h"

namespace vantor {

class CUserLink {
public:
    virtual ~CUserLink() = default;
    // Posted: the caller goes on at once. A total of 1 or more creates the
    // progress display or advances it one step and shows the text; a total
    // of 0 closes it.
    virtual void Progress(const std::string& text, int total) = 0;
    // Posted as well: shown in the order told, and never waited for.
    virtual void Tell(const CNotice& notice) = 0;
    // The one call that waits: for the user's answer (or the answer the
    // front end gives by kind).
    virtual CAnswer Ask(const CQuestion& question) = 0;

    // Shorthand for a question answered Yes or No.
    bool Agrees(const CQuestion& question) { return Ask(question).m_answer == EAnswer::Yes; }
};

}  // namespace vantor
