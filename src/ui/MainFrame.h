#pragma once
// The main window: menus, toolbar, status bar with the progress display,
// and the file tree beside the three result lists in nested splitters. It
// owns the document and the document's link to it.
#include <QMainWindow>
#include <QPointer>
#include <QPrinter>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "EntryActions.h"
#include "HelpWindow.h"
#include "PaneLayout.h"
#include "ResultsFile.h"
#include "WindowState.h"
#include "document/GameChoice.h"
#include "FileTree.h"
#include "ViewFileDlg.h"
#include "document/VANTORDoc.h"
#include "document/Worker.h"

class QDockWidget;
class QLabel;
class QTreeWidget;
class QSplitter;
class QTextBrowser;

namespace vantor {

class CLeftView;
class CRecordConflictsDock;
class CResultView;
class CQtFrameLink;
class CStatusMessagePane;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum ECommand {
        kNewCheck, kChooseMaster, kChooseActive, kChoosePlugins, kSaveResults, kPrint, kPrintPreview, kPrintSetup, kExit,
        kCut, kCopy, kPaste, kSelectAll,
        kSingleVersus, kFullCheck,
        kViewFileData, kViewAllEsp, kViewAllEsm, kViewAllGlobal, kFindObject,
        kExtractData, kClearEsm, kCheckConflicts, kCheckDeleted, kCheckUnclean, kCheckAll, kAutoDeleteUnclean,
        kCleanCells, kAutoRelink, kRelink, kMakeMergedPatch, kOptions,
        kHelp, kAbout,
        kDefaultCheck, kToggleConflict, kToggleWarning, kToggleEditor,
        kStop,
        kCommandCount
    };

    explicit CMainFrame(CDocConfig config = {});
    ~CMainFrame() override;

    CVANTORDoc& Doc() { return *m_doc; }
    CQtFrameLink& Link() { return *m_link; }
    QAction* Action(ECommand command) const { return m_actions[command]; }
    QToolBar* ToolBar() const { return m_toolBar; }
    CLeftView* Tree() const { return m_tree; }
    CResultView* View(EPane pane) const;
    // The "Record Conflicts" list, and the Operations command that fills it.
    CRecordConflictsDock* RecordConflicts() const { return m_recordDock; }
    QAction* CheckRecordConflictsAction() const { return m_checkRecords; }
    CStatusMessagePane* MessagePane() const { return m_messagePane; }
    QList<QLabel*> Indicators() const { return m_indicators; }
    const CPaneLayout& Panes() const { return m_panes; }
    // Whether the pane's widget is shown by its splitters.
    bool PaneShown(EPane pane) const;

    // --- what the link calls, always on the user-interface thread ---------
    void OnProgress(const std::string& text, int total);
    void HidePane(EPane pane);
    void ShowPane(EPane pane);
    void SetPaneRows(EPane pane, CTablePtr table);
    // A list's new rows, shown as the operation asks.
    void Publish(EPane pane, CTablePtr table, EShow show);
    void UpdateViews();
    // The worker's run ended with this outcome.
    void OnOperationEnded(const COutcome& outcome);

    // Runs a request on the worker, as the menu commands do; false when it
    // was refused (told why) or another runs.
    bool RunOnWorker(const CRequest& request);
    // Runs an operation made already (Prepare) on the worker.
    bool Start(std::unique_ptr<COperation> operation);
    // Asks the running operation to stop, as Stop does; from any thread.
    void RequestStop() { m_worker->RequestStop(); }
    // Asks the running operation to stop and waits until the worker has
    // ended, at most `limit`, serving its questions meanwhile; true when
    // none runs then.
    bool StopAndWait(std::chrono::milliseconds limit = std::chrono::minutes(10));
    const CFileTree& FileTree() const { return m_fileTree; }

    // An operation runs or a list is being sorted: the commands that would
    // change the lists or the files wait, and Stop is offered.
    bool Busy() const;
    // What the status bar says when no prompt or progress covers it: what
    // the last operation or change came to, or "Ready".
    void ShowOutcome(const QString& text);

    // --- entry editors ----------------------------------------------------
    // Opens the entry editor window for a resolved double click and returns
    // it, or nullptr when none was opened. The frame keeps the window by its
    // title to close it or bring it forward later.
    using CEditorOpener = std::function<QWidget*(const CEntryOpenRequest&, QWidget* owner)>;
    void SetEntryEditorOpener(CEditorOpener opener) { m_editorOpener = std::move(opener); }
    void OpenEntryEditor(const CEntryOpenRequest& request);
    // Every editor when the title is empty, else the one with that title.
    void CloseEntryEditors(const std::string& title);
    bool BringEntryEditorForward(const std::string& title);

    // Delete Entry of the document, as the result lists call it; true when
    // it was done.
    bool DeleteEntry(const CEntryRef& entry, bool ask);
    bool CleanCell(const CEntryRef& cell, bool ask);
    bool UpdateEntry(const CEntryRef& entry, const CSubRecords& subs);
    // "Changes Made": every entry or cell this session's cleans and
    // deletions took out of a plugin or cleaned, with the plugin's backup.
    const std::vector<CChangeMade>& ChangesMade() const { return m_changesMade; }
    QTreeWidget* ChangesList() const { return m_changesList; }
    QDockWidget* ChangesDock() const { return m_changesDock; }

    // The Find and View File dialogs: nullopt when closed without a choice.
    // The find dialog opens with `text` as its find text.
    using CFindDialog =
        std::function<std::optional<CFindParams>(COptionSet& options, const std::string& text, QWidget* owner)>;
    using CViewFileDialog = std::function<std::optional<CViewFileChoice>(const CViewFileSeed& seed, QWidget* owner)>;
    void SetFindDialog(CFindDialog dialog) { m_findDialog = std::move(dialog); }
    void SetViewFileDialog(CViewFileDialog dialog) { m_viewFileDialog = std::move(dialog); }

    // "Find Object" with the find text filled in (a row's ID, say).
    void FindObject(const std::string& text);

    // The list that Copy, Select All and printing act on: the active list,
    // or the conflict list when the tree is active.
    CResultView* ActiveList() const;
    // Prints the active list, all pages or those from `from` to `to`, with a
    // progress window that can stop it; the footers of the pages printed.
    // `turnPage`: landscape when the columns need it, else portrait.
    QStringList PrintActiveList(QPrinter& printer, int from = 0, int to = 0, bool turnPage = true);
    // Sees each page printed (pages done, pages to print); false cancels,
    // as the progress window's Cancel does.
    std::function<bool(int done, int total)> m_printProgressHook;
    // The pages a preview shows: all of a short list; of a longer one, the
    // range the user picks (nullopt: no preview).
    static constexpr int kPreviewPages = 50;
    std::optional<std::pair<int, int>> AskPreviewPages(int pages);

    // Options: the sheet's result goes into effect now, or, while an
    // operation runs, as soon as it has ended.
    void ApplyOptions(const COptionSet& options);
    // The load order chosen on the "Game" page: kept in the settings file,
    // taken into use as the document takes a new load order.
    void ApplyGame(const CGameChoice& game);
    const CGameChoice& Game() const { return m_game; }
    // The options sheet, on its Game page when asked; true when accepted.
    bool OpenOptions(bool gamePage);
    // Whether the game's own load order is in use and its folder unknown.
    bool GameFolderUnknown() const;
    bool OptionsPending() const { return m_pendingOptions.has_value(); }

    // The help window's browser (created on first use).
    QTextBrowser* HelpBrowser();
    CHelpWindow* HelpWindow() const { return m_help; }

    // Chooses plugin files as the "Select Files" dialog would.
    void ChoosePluginFiles(const std::vector<std::string>& paths);
    // File > Recent Plugin Sets.
    QMenu* RecentMenu() const { return m_recentMenu; }
    static bool IsPluginFile(const QString& path);

    // Where the window, its splitters and the list columns are as they would
    // be stored at closing.
    CWindowState WindowState() const;

signals:
    // An operation started or ended: what waits for it (the entry editors'
    // writing) follows.
    void BusyChanged(bool busy);
    // The worker's run has ended and the window has heard its outcome.
    void WorkerEnded();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    // The "Record Conflicts" dock, its toolbar toggle and its command.
    void AddRecordConflicts();
    void RestoreWindowState();
    void FitTreeWidth();
    // Asks every entry editor with unwritten edits whether to drop them;
    // false when one of them is kept open.
    bool CloseEditorsForExit();
    // Writes the options and the window's place, and says so when it cannot.
    void SaveSettingsForExit();
    void ApplyPaneLayout();
    void SyncToggleButtons(bool pressVisible);
    void Toggle(EPane pane);
    void UpdateCommandStates();
    QWidget* MakePane(CResultView* view);
    void OfferRelinkItems(bool offer);
    void OnSaveResults();
    void OnOptions();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();
    void OnViewFileData();
    void OnChoosePlugins();
    // Make Merged Patch: asks where the patch goes, then runs the merge.
    void OnMakeMergedPatch();
    void OnChooseMasterPlugin();
    void OnChooseActivePlugins();
    void OnNewCheck();
    void OnClearEsmData();
    void SetCheckMode(ECheckMode mode);
    void OnTreeAdd(const std::optional<CFileTree::CSelection>& selection);
    void OnTreeRemove(const std::optional<CFileTree::CSelection>& selection);
    // The tree's plugin root again, from the document's files.
    void RefillPluginRoot();
    void OnHelp();
    void OnAbout();
    void OnEditCopy();
    void OnEditSelectAll();
    void UpdateIndicators();
    // The chosen plugins as paths, the tree's order.
    std::vector<std::string> ChosenPluginPaths() const;
    // Puts the chosen plugins at the top of the recent sets when a command
    // changed them from `before`.
    void RememberPluginSet(const std::vector<std::string>& before);
    void FillRecentMenu();
    // A single change on this thread; what it took out of a plugin goes into
    // "Changes Made". True when it was done.
    bool RunChange(const CRequest& request);
    void AddChanges(const std::vector<CChangeMade>& changes);
    // Tells the user what keeps the load order from being whole.
    void TellLoadOrderProblems(const loadorder::CLoadOrder& order);
    // Says why the game's folder is needed and offers the Game page; true
    // when the folder is known afterwards.
    bool OfferGameFolder(const std::string& why);

    std::string m_settingsPath;
    bool m_firstStart = false;  // no load order was chosen before
    CGameChoice m_game;
    // The game's folders given at start, for the game's own load order.
    std::optional<std::string> m_installDir;
    std::optional<std::string> m_dataDir;
    std::unique_ptr<CQtFrameLink> m_link;
    std::unique_ptr<CVANTORDoc> m_doc;
    // Runs the document's operations; goes before the document.
    std::unique_ptr<CWorker> m_worker;
    CFileTree m_fileTree;
    std::array<QAction*, kCommandCount> m_actions{};
    QMenu* m_operationsMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    CStatusMessagePane* m_messagePane = nullptr;
    QList<QLabel*> m_indicators;
    std::array<bool, 3> m_lockKeys{};  // caps, num, scroll as last seen

    QSplitter* m_s0 = nullptr;
    QSplitter* m_s1 = nullptr;
    QSplitter* m_s2 = nullptr;
    CLeftView* m_tree = nullptr;
    std::array<CResultView*, 3> m_views{};
    std::array<QWidget*, 3> m_paneWidgets{};  // each list under its caption
    CRecordConflictsDock* m_recordDock = nullptr;
    QAction* m_checkRecords = nullptr;
    CPaneLayout m_panes;
    bool m_firstShow = true;
    bool m_closing = false;
    QPointer<CResultView> m_activeList;

    CEditorOpener m_editorOpener;
    std::vector<QPointer<QWidget>> m_editors;
    CFindDialog m_findDialog;
    CViewFileDialog m_viewFileDialog;
    std::optional<COptionSet> m_pendingOptions;
    int m_running = 0;           // operations started and not yet heard to end
    int m_command = -1;          // the command being handled, while it is
    int m_runningCommand = -1;   // the command that started the operation
    QPrinter m_printer{QPrinter::HighResolution};
    QPointer<CHelpWindow> m_help;
    QSize m_helpSize;  // as the settings file had it
    QMenu* m_recentMenu = nullptr;
    std::vector<std::vector<std::string>> m_recentSets;
    std::vector<CChangeMade> m_changesMade;
    QDockWidget* m_changesDock = nullptr;
    QTreeWidget* m_changesList = nullptr;
};

}  // namespace vantor
