#pragma once
// What the engine's procedures may ask of whoever runs them: progress
// reports, and messages and questions whose answers they go on with. The
// document's frame link is one; the engine knows nothing above it.
#include <string>

namespace vantor {

enum class EButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class EIcon { None, Information, Exclamation, Question, Stop };
enum class EAnswer { Ok, Cancel, Yes, No };

struct CMessage {
    std::string m_text;
    std::string m_caption;  // "VANTOR" where a message names no title
    EButtons m_buttons = EButtons::Ok;
    EIcon m_icon = EIcon::None;
    EAnswer m_default = EAnswer::Ok;  // the default button
};

class CUserLink {
public:
    virtual ~CUserLink() = default;
    // A total of 1 or more creates the progress display or advances it one
    // step and shows the text; a total of 0 closes it.
    virtual void Progress(const std::string& text, int total) = 0;
    virtual EAnswer Ask(const CMessage& message) = 0;

    // Shorthand for a box with one OK button.
    void Tell(const std::string& text, const std::string& caption, EIcon icon = EIcon::None) {
        Ask(CMessage{text, caption, EButtons::Ok, icon, EAnswer::Ok});
    }
};

}  // namespace vantor
