#pragma once
// The document's link to the Qt main frame. Calls from the worker thread
// cross to the user-interface thread as blocking queued invocations, so each
// is handled before the worker goes on; calls on the user-interface thread
// run at once. Widgets are touched only on the user-interface thread.
#include <QPointer>
#include <functional>
#include <map>
#include <optional>

class QDialog;
class QMessageBox;

#include "document/FrameLink.h"
#include "texts/Texts.h"

namespace vantor {

class CMainFrame;

// The window renders the library's words as message boxes and file dialogs.
using texts::CFileChoice;
using texts::CFileChooser;
using texts::CFileFilter;
using texts::CMessage;
using texts::EButtons;
using texts::EIcon;

class CQtFrameLink : public CFrameLink {
public:
    explicit CQtFrameLink(CMainFrame* frame);

    // From any thread. Progress, notices, lists and the end of a run are
    // posted: the worker goes on at once. Questions and the "Dialog Repair
    // Tool" window wait for the user.
    void Progress(const std::string& text, int total) override;
    void Tell(const CNotice& notice) override;
    CAnswer Ask(const CQuestion& question) override;
    void Publish(EPane pane, CTablePtr table, EShow show) override;
    void Ended(const COutcome& outcome) override;
    std::optional<CRepairDialogResult> ChooseRepair(const CRepairDialogSeed& seed) override;

    // The window's own boxes and file dialogs, on the user-interface thread.
    // `offerAll`: a question asked again in one run also offers "Yes to All"
    // and "No to All"; `forAll` then tells whether one of those was chosen.
    EAnswer Show(const CMessage& message, bool offerAll = false, bool* forAll = nullptr);
    // A box with one OK button.
    void Tell(const std::string& text, const std::string& caption, EIcon icon = EIcon::None) {
        Show(CMessage{text, caption, EButtons::Ok, icon, EAnswer::Ok});
    }
    CFileChoice ChooseFile(const CFileChooser& chooser);

    // Whether the user-interface thread is inside a request of the worker
    // (a question box, say): the worker cannot end before it returns.
    bool ServingWorker() const { return m_servingWorker > 0; }
    // A new run of the worker: answers given "to All" no longer hold.
    void ForgetAnswersForAll() {
        m_asked.clear();
        m_forAll.clear();
    }

    // Stand-ins for the modal boxes and file dialogs, for tests and for the
    // files named on the command line: an answer given here is used instead
    // of showing the window; nullopt shows it.
    std::function<std::optional<EAnswer>(const CMessage&)> m_askHook;
    std::function<std::optional<CFileChoice>(const CFileChooser&)> m_chooserHook;
    // Sees each progress report on the user-interface thread, before the
    // frame shows it: a test can act at a known point of an operation.
    std::function<void(const std::string& text, int total)> m_progressHook;
    // Sees each progress report on the thread that makes it, before it is
    // posted: a test can stop a run at a known point.
    std::function<void(const std::string& text, int total)> m_madeProgressHook;
    // Stands in for showing the "Dialog Repair Tool" window modally: a test
    // fills the window in and accepts it (as "Repair Dialog") or not.
    std::function<void(QDialog&)> m_repairDialogHook;

private:
    // Runs f on the user-interface thread and waits for it; with the frame
    // gone it does nothing and returns the fallback.
    template <class F, class R>
    R OnGui(F f, R fallback);
    // Runs f on the user-interface thread: at once there, else posted.
    template <class F>
    void Post(F f);

    QPointer<CMainFrame> m_frame;
    int m_servingWorker = 0;  // user-interface thread only
    int m_showing = 0;        // boxes on screen, one over the other
    // Of the running operation, by kind: how often a question was asked,
    // and the answers given "to All".
    std::map<EQuestion, int> m_asked;
    std::map<EQuestion, EAnswer> m_forAll;
};

// Widens a message box so its whole caption shows in the title bar (a short
// text under a long caption would cut it).
void FitCaption(QMessageBox& box);

// The Qt name filter for one of the core's filters: "*.esp;*.esm" patterns
// become "*.esp *.esm"; a label that already names its pattern is kept.
QString QtNameFilter(const CFileFilter& filter);

}  // namespace vantor
