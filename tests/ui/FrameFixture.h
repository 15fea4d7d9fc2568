#pragma once
// A real main frame on the bundled sample set, with the message boxes and
// file dialogs answered from queues.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <deque>
#include <map>
#include <memory>

#include "MainFrame.h"
#include "QtFrameLink.h"
#include "ResultViews.h"
#include "fixtures/TempDir.h"

namespace vantor {
class CEntryDlg;
}

namespace vantor::uitest {

// A frame shown on `folder`, with its vantor.ini there.
std::unique_ptr<CMainFrame> StartFrame(const fixtures::CTempDir& folder);

class CFrameFixture {
public:
    // settingsText, when given, is the vantor.ini the program starts with.
    explicit CFrameFixture(const std::string& settingsText = {});
    ~CFrameFixture();

    CMainFrame& Frame() { return *m_frame; }
    CVANTORDoc& Doc() { return m_frame->Doc(); }
    std::string DataDir() const { return m_dir.Path() + "Data Files/"; }
    const fixtures::CTempDir& Dir() const { return m_dir; }

    // Chooses the three sample plugins as the "Select Files" dialog would.
    void ChooseSamplePlugins();
    // Serves the event loop until the worker has ended, the window has
    // heard so and no list is sorting; false on time-out.
    bool WaitIdle(int milliseconds = 60000);
    // Starts an operation that runs until ReleaseHeldOperation().
    bool StartHeldOperation();
    void ReleaseHeldOperation() { m_release = true; }


    std::deque<EAnswer> m_answers;           // empty: the box's default
    std::vector<CMessage> m_messages;        // every box asked for
    std::deque<CFileChoice> m_choices;       // empty: cancelled
    std::vector<CFileChooser> m_choosers;    // every dialog asked for

private:
    std::atomic<bool> m_release{false};
    fixtures::CTempDir m_dir;
    std::unique_ptr<CMainFrame> m_frame;
};

std::string FileText(const std::string& path);
// The texts of a view's rows as "col0|col1|...".
std::vector<std::string> Rows(const CResultView& view);
// The row showing `id` with `file` in `column`, or -1.
int RowWith(const CResultView& view, const std::string& id, const std::string& file, int column);
// Selects `cells` of `view`, the last one current, as the mouse would.
void SelectCells(CResultView& view, const std::vector<std::pair<int, int>>& cells);
void ReleaseKey(QWidget& widget, int key);
// Every entry of a plugin as the file on disk holds it: (tag, ID) -> data.
std::map<std::pair<std::string, std::string>, std::string> ReadEntries(const std::string& dir, const std::string& name);
// The entry editors on screen, once posted closes have been handled.
std::vector<CEntryDlg*> Editors(CMainFrame& frame);
// Compares `text` with tests/ui/golden/<name>; a text that differs is left
// in <name>.actual in the working folder, to compare or to take over.
void ExpectGolden(const std::string& name, const std::string& text);

// Runs `fill` on the modal dialog a command opens, once it is shown.
template <class Dialog, class Fill>
void WhenShown(Fill fill) {
    QTimer::singleShot(0, [fill] {
        if (auto* dlg = qobject_cast<Dialog*>(QApplication::activeModalWidget())) fill(*dlg);
    });
}

}  // namespace vantor::uitest
