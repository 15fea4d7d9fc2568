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

namespace vantor {

class CMainFrame;

class CQtFrameLink : public CFrameLink {
public:
    explicit CQtFrameLink(CMainFrame* frame);

    void Progress(const std::string& text, int total) override;
    void HidePane(EPane pane) override;
    void ShowPane(EPane pane) override;
    void SetPaneRows(EPane pane, CTablePtr table) override;
    EAnswer Ask(const CMessage& message) override;
    CFileChoice ChooseFile(const CFileChooser& chooser) override;
    void CloseEntryEditors(const std::string& title = {}) override;
    void UpdateViews() override;
    void OperationStarted() override;
    void OperationEnded(const COperationOutcome& outcome) override;
    void ServeWhileWaiting() override;
    std::optional<CRepairDialogResult> RunDialogRepairTool(const CRepairDialogSeed& seed) override;

    // Whether the user-interface thread is inside a request of the worker
    // (a question box, say): the worker cannot end before it returns.
    bool ServingWorker() const { return m_servingWorker > 0; }

    // Stand-ins for the modal boxes and file dialogs, for tests and for the
    // files named on the command line: an answer given here is used instead
    // of showing the window; nullopt shows it.
    std::function<std::optional<EAnswer>(const CMessage&)> m_askHook;
    std::function<std::optional<CFileChoice>(const CFileChooser&)> m_chooserHook;
    // Sees each progress report on the user-interface thread, before the
    // frame shows it, while the worker waits: a test can act at a known
    // point of an operation.
    std::function<void(const std::string& text, int total)> m_progressHook;
    // Stands in for showing the "Dialog Repair Tool" window modally: a test
    // fills the window in and accepts it (as "Repair Dialog") or not.
    std::function<void(QDialog&)> m_repairDialogHook;

private:
    // Runs f on the user-interface thread and waits for it; with the frame
    // gone it does nothing and returns the fallback.
    template <class F, class R>
    R OnGui(F f, R fallback);
    template <class F>
    void OnGui(F f);

    QPointer<CMainFrame> m_frame;
    int m_servingWorker = 0;  // user-interface thread only
    // Of the running operation, by caption: how often a question was asked,
    // and the answers given "to All".
    std::map<std::string, int> m_asked;
    std::map<std::string, EAnswer> m_forAll;
};

// Widens a message box so its whole caption shows in the title bar (a short
// text under a long caption would cut it).
void FitCaption(QMessageBox& box);

// The Qt name filter for one of the core's filters: "*.esp;*.esm" patterns
// become "*.esp *.esm"; a label that already names its pattern is kept.
QString QtNameFilter(const CFileFilter& filter);

}  // namespace vantor
