#include "MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QTreeWidget>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QProgressDialog>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextBrowser>
#include <QEventLoop>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <variant>

#ifdef _WIN32
#include <windows.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "EntryDlg.h"
#include "FindDlg.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "LeftView.h"
#include "OperationSummary.h"
#include "OptionsSheet.h"
#include "PageRangeDlg.h"
#include "QtFrameLink.h"
#include "RecordConflictsPane.h"
#include "ResultViews.h"
#include "ResultsFile.h"
#include "UiText.h"
#include "ViewFileDlg.h"
#include "document/OutputPath.h"
#include "platform/Files.h"
#include "document/ResultsLog.h"
#include "platform/Files.h"
#include "widgets/GridPrinter.h"
#include "widgets/StatusPane.h"

namespace vantor {

namespace {

const char* const kTitle = "Vantorscope";
const char* const kEditorTitleProperty = "vantorEditorTitle";

struct CCommandText {
    const char* m_text;    // menu text, "" for toolbar-only commands
    const char* m_prompt;  // status-bar prompt, then "\n" and the tool tip
};

// Texts by command, in the order of CMainFrame::ECommand.
const CCommandText kCommands[CMainFrame::kCommandCount] = {
    {"&New Check\tCtrl+N", "New Check\nNew"},
    {"Choose &Master Plugin", "Choose Master Plugin to Compare Against."},
    {"Choose &Active Plugins", "Choose Plugins Currently Used In Game"},
    {"&Choose Plugins", "Choose Plugins\nOpen"},
    {"&Save Results\tCtrl+S", "Save Check Results\nSave"},
    {"&Print...\tCtrl+P", "Print Graph Data\nPrint"},
    {"Print Pre&view", "Preview Graph\nPrint Preview"},
    {"P&rint Setup...", "Change the printer and printing options\nPrint Setup"},
    {"E&xit", "Quit VANTOR\nExit"},
    {"Cu&t\tCtrl+X", "Cut the selection and put it on the Clipboard\nCut"},
    {"&Copy\tCtrl+C", "Copy the selected cells to the Clipboard\nCopy"},
    {"&Paste\tCtrl+V", "Insert Clipboard contents\nPaste"},
    {"Select &All\tCtrl+A", "Select every cell of the list\nSelect All"},
    {"&Single Versus", "Sets Operation Type to Single vs All"},
    {"&Full Check", "Sets Operation Type to All vs All"},
    {"&View File Data\tCtrl+D", "View a Specific File's Data or Global Changes"},
    {"View All &Esp Data", "View All Loaded Plugin Data"},
    {"View All Es&m Data", "View Loaded Master File Data"},
    {"View All &Global Changes", ""},
    {"&Find Object\tCtrl+F", "Find Object in Loaded Plugins"},
    {"&Extract Data\tCtrl+E", "Extracts Data from Selected Files"},
    {"Clea&r Esm Data", ""},
    {"Check &Conflicts\tCtrl+Shift+C", "Checks for Entry Conflicts"},
    {"Check &Deleted\tCtrl+Shift+D", "Checks for Entry Deletions"},
    {"Check &Unclean\tCtrl+Shift+U", "Checks for Unclean Entries"},
    {"Check &All\tCtrl+Shift+A", "Checks for All Plugin Conflicts"},
    {"Auto Delete Unclea&n", "Automatically Delete All Unclean Entries in Loaded Plugins"},
    {"Clean Cell&s", "Remove Duplicate References, Redundant Settings and Junk Cells from Loaded Plugins"},
    {"Auto ReLin&k Dialog", "Merge and Repair Dialog in all Loaded Esps"},
    {"ReLink D&ialog", "Open Repair Tool"},
    {"Make &Merged Patch", "Merge the Leveled Lists and Object Records the Plugins Change into a Patch that Loads Last"},
    {"&Options", "Select Check Options"},
    {"VANTOR &Help\tF1", "VANTOR Help"},
    {"&About VANTOR...", "Display VANTOR Version Number and Author\nAbout"},
    {"Begin Default Check Operation", "Begin Default Check Operation"},
    {"Toggle Conflict Pane", "Toggle Conflict Pane"},
    {"Toggle Warning Pane", "Toggle Warning Pane"},
    {"Toggle Editor Pane", "Toggle Editor Pane"},
    {"&Stop", "Stop the running operation; the files read and the rows found so far stay\nStop"},
};

// The commands that start an operation or change what one reads: they wait
// while one runs or a list is being sorted. New Check and Clear Esm Data
// stop a running operation themselves; the options take effect after it.
const CMainFrame::ECommand kWaitingCommands[] = {
    CMainFrame::kChooseMaster,   CMainFrame::kChooseActive,   CMainFrame::kChoosePlugins,   CMainFrame::kSaveResults,
    CMainFrame::kSingleVersus,   CMainFrame::kFullCheck,      CMainFrame::kViewFileData,    CMainFrame::kViewAllEsp,
    CMainFrame::kViewAllEsm,     CMainFrame::kViewAllGlobal,  CMainFrame::kFindObject,      CMainFrame::kExtractData,
    CMainFrame::kCheckConflicts, CMainFrame::kCheckDeleted,   CMainFrame::kCheckUnclean,    CMainFrame::kCheckAll,
    CMainFrame::kAutoDeleteUnclean, CMainFrame::kCleanCells,  CMainFrame::kAutoRelink,      CMainFrame::kRelink,
    CMainFrame::kMakeMergedPatch,
    CMainFrame::kDefaultCheck,
    CMainFrame::kToggleConflict, CMainFrame::kToggleWarning,  CMainFrame::kToggleEditor};

// A command's name as the status bar gives it: its menu text without the
// access key and the shortcut.
std::string CommandName(int command) {
    if (command < 0 || command >= CMainFrame::kCommandCount) return {};
    std::string text = kCommands[command].m_text;
    text = text.substr(0, text.find('\t'));
    std::erase(text, '&');
    return text;
}

// The user's guide, built into the program.
QString GuideText() {
    QFile file(QStringLiteral(":/help/guide.md"));
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("# Vantorscope\n\nThe user's guide is missing from this build.");
    return QString::fromUtf8(file.readAll());
}

// The load order of this run: one handed over, the game's own where its
// folders were given, else the settings file's choice, which a first start
// makes.
CGameChoice StartingGame(CDocConfig& config, bool& firstStart) {
    firstStart = false;
    if (config.m_loadOrder)
        return {IsOpenMW(*config.m_loadOrder) ? CGameChoice::EGame::OpenMW : CGameChoice::EGame::Morrowind, {}};
    if (config.m_installDir || config.m_dataDir) return {};
    std::optional<CGameChoice> game = CGameChoice::Load(config.m_settingsPath);
    if (!game) {
        firstStart = true;
        game = FirstStartChoice();
    }
    if (game->m_game == CGameChoice::EGame::OpenMW || !game->m_installDir.empty()) config.m_loadOrder = MakeLoadOrder(*game);
    return *game;
}

}  // namespace

CMainFrame::CMainFrame(CDocConfig config)
    : m_settingsPath(config.m_settingsPath),
      m_game(StartingGame(config, m_firstStart)),
      m_installDir(config.m_installDir),
      m_dataDir(config.m_dataDir) {
    m_link = std::make_unique<CQtFrameLink>(this);
    m_doc = std::make_unique<CVANTORDoc>(std::move(config), m_link.get());
    m_worker = std::make_unique<CWorker>([link = m_link.get()](const COutcome& outcome) { link->Ended(outcome); });
    // Kept, so that the choice stays when the game is installed later.
    if (m_firstStart) m_game.Save(m_settingsPath);

    setWindowTitle(kTitle);
    setWindowIcon(icons::Make(icons::EIcon::App));
    setAcceptDrops(true);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    AddRecordConflicts();
    RestoreWindowState();
    SetEntryEditorOpener(&CEntryDlg::Open);
    SetFindDialog(&CFindDlg::Run);
    SetViewFileDialog(&CViewFileDlg::Run);

    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w; w = w->parentWidget()) {
            if (auto* list = qobject_cast<CResultView*>(w)) {
                m_activeList = list;
                return;
            }
            if (w == m_tree) {
                m_activeList = nullptr;
                return;
            }
        }
    });
    UpdateViews();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    // The worker is stopped and joined first (closing waited for it), then
    // the document writes the settings; only then may the link go.
    m_worker.reset();
    m_doc.reset();
    m_link.reset();
}

CResultView* CMainFrame::View(EPane pane) const {
    return pane == EPane::All ? nullptr : m_views[std::size_t(pane) - 1];
}

bool CMainFrame::PaneShown(EPane pane) const {
    const CResultView* view = View(pane);
    return view && view->isVisibleTo(this);
}

// ------------------------------------------------------------- creation --

void CMainFrame::CreateActions() {
    for (int c = 0; c < kCommandCount; ++c) {
        const CCommandText& t = kCommands[c];
        auto* action = new QAction(QString::fromLatin1(t.m_text), this);
        const QString prompt = QString::fromLatin1(t.m_prompt);
        const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
        action->setStatusTip(split < 0 ? prompt : prompt.left(split));
        // Buttons whose prompt names no tip of its own show the prompt.
        action->setToolTip(split < 0 ? (prompt.isEmpty() ? action->text() : prompt) : prompt.mid(split + 1));
        action->setIconVisibleInMenu(false);
        m_actions[std::size_t(c)] = action;
    }
    auto& a = m_actions;
    a[kNewCheck]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    a[kSaveResults]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    a[kPrint]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    a[kCut]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    a[kCopy]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    a[kPaste]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
    // The cells are never editable.
    a[kCut]->setEnabled(false);
    a[kPaste]->setEnabled(false);
    a[kChoosePlugins]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    a[kFindObject]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    a[kViewFileData]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    a[kExtractData]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    a[kCheckConflicts]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    a[kCheckDeleted]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    a[kCheckUnclean]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    a[kCheckAll]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    a[kHelp]->setShortcut(QKeySequence(QKeySequence::HelpContents));
    a[kDefaultCheck]->setShortcut(QKeySequence(Qt::Key_F5));
    a[kStop]->setShortcut(QKeySequence(Qt::Key_Escape));
    a[kStop]->setEnabled(false);
    // Neither has a menu item to carry its key.
    addAction(a[kDefaultCheck]);
    addAction(a[kStop]);

    a[kSingleVersus]->setCheckable(true);
    a[kFullCheck]->setCheckable(true);
    for (ECommand t : {kToggleConflict, kToggleWarning, kToggleEditor}) a[t]->setCheckable(true);

    const std::pair<ECommand, icons::EIcon> images[] = {
        {kNewCheck, icons::EIcon::NewCheck},         {kChoosePlugins, icons::EIcon::ChoosePlugins},
        {kSaveResults, icons::EIcon::SaveResults},   {kOptions, icons::EIcon::Options},
        {kViewFileData, icons::EIcon::ViewFileData}, {kFindObject, icons::EIcon::FindObject},
        {kDefaultCheck, icons::EIcon::DefaultCheck}, {kToggleConflict, icons::EIcon::ToggleConflict},
        {kToggleWarning, icons::EIcon::ToggleWarning}, {kToggleEditor, icons::EIcon::ToggleEditor},
        {kPrint, icons::EIcon::Print},               {kAbout, icons::EIcon::About},
        {kStop, icons::EIcon::Stop}};
    for (const auto& [command, image] : images) a[command]->setIcon(icons::Make(image));

    // The command is known while it runs, so the status bar can name it.
    auto on = [this](ECommand c, auto slot) {
        connect(m_actions[c], &QAction::triggered, this, [this, c, slot] {
            m_command = c;
            slot();
            m_command = -1;
        });
    };
    // Both empty the lists: what an operation came to is no longer shown.
    on(kNewCheck, [this] {
        OnNewCheck();
        ShowOutcome({});
    });
    on(kChooseMaster, [this] { OnChooseMasterPlugin(); });
    on(kChooseActive, [this] {
        // Nothing to read them from: the user is shown where to set the folder.
        if (GameFolderUnknown() &&
            !OfferGameFolder(texts::Render(CNoActivePluginsNotice{CNoActivePluginsNotice::EWhy::NoGameFolder, {}}).m_text))
            return;
        const auto before = ChosenPluginPaths();
        OnChooseActivePlugins();
        RememberPluginSet(before);
    });
    on(kChoosePlugins, [this] {
        const auto before = ChosenPluginPaths();
        OnChoosePlugins();
        RememberPluginSet(before);
    });
    on(kSaveResults, [this] { OnSaveResults(); });
    on(kPrint, [this] { OnPrint(); });
    on(kPrintPreview, [this] { OnPrintPreview(); });
    on(kPrintSetup, [this] { OnPrintSetup(); });
    on(kExit, [this] { close(); });
    on(kCopy, [this] { OnEditCopy(); });
    on(kSelectAll, [this] { OnEditSelectAll(); });
    on(kSingleVersus, [this] {
        SetCheckMode(ECheckMode::SingleVersus);
        UpdateCommandStates();
    });
    on(kFullCheck, [this] {
        SetCheckMode(ECheckMode::Full);
        UpdateCommandStates();
    });
    on(kViewFileData, [this] { OnViewFileData(); });
    on(kViewAllEsp, [this] { RunOnWorker(CListRequest{}); });
    on(kViewAllEsm, [this] {
        CListRequest request;
        request.m_masters = true;
        RunOnWorker(request);
    });
    on(kViewAllGlobal, [this] { RunOnWorker(CGlobalChangesRequest{}); });
    on(kFindObject, [this] { FindObject({}); });
    on(kExtractData, [this] { RunOnWorker(CReadRequest{}); });
    on(kClearEsm, [this] {
        OnClearEsmData();
        ShowOutcome({});
    });
    auto check = [this](CCheckSet checks) {
        CCheckRequest request;
        request.m_checks = checks;
        RunOnWorker(request);
    };
    on(kCheckConflicts, [check] { check(CCheckSet::Conflicts()); });
    on(kCheckDeleted, [check] { check(CCheckSet::Deleted()); });
    on(kCheckUnclean, [check] { check(CCheckSet::Unclean()); });
    on(kCheckAll, [check] { check(CCheckSet::All()); });
    on(kAutoDeleteUnclean, [this] { RunOnWorker(CAutoCleanRequest{}); });
    on(kCleanCells, [this] { RunOnWorker(CCleanCellsRequest{}); });
    on(kAutoRelink, [this] {
        CRelinkRequest request;
        request.m_automatic = true;
        RunOnWorker(request);
    });
    on(kRelink, [this] { RunOnWorker(CRelinkRequest{}); });
    on(kMakeMergedPatch, [this] { OnMakeMergedPatch(); });
    on(kOptions, [this] { OnOptions(); });
    on(kHelp, [this] { OnHelp(); });
    on(kAbout, [this] { OnAbout(); });
    on(kDefaultCheck, [this, check] { check(m_doc->DefaultChecks()); });
    on(kToggleConflict, [this] { Toggle(EPane::Conflict); });
    on(kToggleWarning, [this] { Toggle(EPane::Warning); });
    on(kToggleEditor, [this] { Toggle(EPane::Editor); });
    on(kStop, [this] { m_worker->RequestStop(); });
}

void CMainFrame::CreateMenus() {
    auto& a = m_actions;
    auto fill = [&](const char* title, std::initializer_list<int> items) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
        for (int item : items) {
            if (item < 0)
                menu->addSeparator();
            else
                menu->addAction(a[std::size_t(item)]);
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        return menu;
    };
    const int sep = -1;
    QMenu* file = fill("&File", {kNewCheck, sep, kChooseMaster, kChooseActive, kChoosePlugins, sep, kSaveResults, sep,
                                 kPrint, kPrintPreview, kPrintSetup, sep, kExit});
    m_recentMenu = new QMenu(QStringLiteral("&Recent Plugin Sets"), file);
    file->insertMenu(file->actions().value(file->actions().indexOf(a[kChoosePlugins]) + 1), m_recentMenu);
    fill("&Edit", {kCut, kCopy, kPaste, sep, kSelectAll});
    fill("&CheckType", {kSingleVersus, kFullCheck});
    fill("E&ditor", {kViewFileData, sep, kViewAllEsp, kViewAllEsm, kViewAllGlobal, sep, kFindObject});
    m_operationsMenu = fill("&Operations", {kExtractData, kClearEsm, sep, kCheckConflicts, kCheckDeleted, kCheckUnclean,
                                            kCheckAll, sep, kAutoDeleteUnclean, kCleanCells, kAutoRelink, sep, kRelink, kMakeMergedPatch, sep,
                                            kOptions});
    fill("&Help", {kHelp, sep, kAbout});
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar("Standard");
    m_toolBar->setObjectName("Standard");
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setMovable(true);
    const int sep = -1;
    for (int item : {int(kNewCheck), int(kChoosePlugins), int(kSaveResults), sep, int(kOptions), sep, int(kViewFileData),
                     int(kFindObject), int(kDefaultCheck), int(kStop), sep, int(kToggleConflict), int(kToggleWarning),
                     int(kToggleEditor), sep, int(kPrint), sep, int(kAbout)}) {
        if (item < 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions[std::size_t(item)];
        // A button's tip names its key, as its menu item does.
        if (!action->shortcut().isEmpty())
            action->setToolTip(action->toolTip() + " (" + action->shortcut().toString(QKeySequence::NativeText) + ")");
        m_toolBar->addAction(action);
    }
}

void CMainFrame::CreateStatusBar() {
    m_messagePane = new CStatusMessagePane(statusBar());
    statusBar()->addWidget(m_messagePane, 1);
    for (const char* text : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(text), statusBar());
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        statusBar()->addPermanentWidget(label);
        m_indicators.push_back(label);
    }
    UpdateIndicators();
}

void CMainFrame::AddRecordConflicts() {
    m_recordDock = new CRecordConflictsDock(
        *m_doc,
        [this](const CEntryOpenRequest& request) {
            if (!BringEntryEditorForward(request.m_title)) OpenEntryEditor(request);
        },
        this);
    addDockWidget(Qt::BottomDockWidgetArea, m_recordDock);
    // Beside the other lists' toggles, and its command after Check All.
    const QList<QAction*> buttons = m_toolBar->actions();
    const qsizetype after = buttons.indexOf(m_actions[kToggleEditor]) + 1;
    m_toolBar->insertAction(after < buttons.size() ? buttons[after] : nullptr, m_recordDock->ToggleAction());
    m_checkRecords = new QAction(QStringLiteral("Check Record Con&flicts"), this);
    m_checkRecords->setStatusTip(QStringLiteral("List each record two or more plugins hold, who wins it and what each changes"));
    const QList<QAction*> items = m_operationsMenu->actions();
    const qsizetype next = items.indexOf(m_actions[kCheckAll]) + 1;
    m_operationsMenu->insertAction(next < items.size() ? items[next] : nullptr, m_checkRecords);
    connect(m_checkRecords, &QAction::triggered, this, [this] { RunOnWorker(CRecordConflictsRequest{}); });
}

void CMainFrame::CreatePanes() {
    m_s0 = new QSplitter(Qt::Horizontal, this);
    m_tree = new CLeftView(m_s0);
    m_s1 = new QSplitter(Qt::Vertical, m_s0);
    m_views[0] = new CConflictView(*this);
    m_s1->addWidget(MakePane(m_views[0]));
    m_s2 = new QSplitter(Qt::Vertical, m_s1);
    m_views[1] = new CWarningView(*this);
    m_views[2] = new CEditorView(*this);
    m_s2->addWidget(MakePane(m_views[1]));
    m_s2->addWidget(MakePane(m_views[2]));
    m_s0->addWidget(m_tree);
    m_s0->addWidget(m_s1);
    m_s1->addWidget(m_s2);
    for (QSplitter* s : {m_s0, m_s1, m_s2}) s->setChildrenCollapsible(false);
    m_s0->setStretchFactor(1, 1);
    m_s0->setSizes({200, std::max(100, width() - 200)});
    m_s1->setSizes({400, 200});
    m_s2->setSizes({100, 100});
    setCentralWidget(m_s0);

    // What the cleans and deletions of this session changed, per plugin with
    // its backup: it stays on screen, and Save Results writes it too.
    m_changesDock = new QDockWidget(QStringLiteral("Changes Made"), this);
    m_changesDock->setObjectName(QStringLiteral("ChangesMade"));
    m_changesList = new QTreeWidget(m_changesDock);
    m_changesList->setHeaderLabels({QStringLiteral("Esp File / Change"), QStringLiteral("ID"), QStringLiteral("Name"),
                                    QStringLiteral("Backup")});
    m_changesList->setRootIsDecorated(true);
    m_changesDock->setWidget(m_changesList);
    addDockWidget(Qt::BottomDockWidgetArea, m_changesDock);
    m_changesDock->hide();

    connect(m_tree, &CLeftView::RemoveRequested, this, [this](auto selection) { OnTreeRemove(selection); });
    connect(m_tree, &CLeftView::AddRequested, this, [this](auto selection) { OnTreeAdd(selection); });
}

QWidget* CMainFrame::MakePane(CResultView* view) {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* caption = new QLabel(view->CaptionText(), pane);
    caption->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(caption);
    layout->addWidget(view, 1);
    connect(view, &CResultView::CaptionChanged, caption, [caption, view] { caption->setText(view->CaptionText()); });
    connect(&view->Model(), &CResultModel::SortingChanged, this, &CMainFrame::UpdateCommandStates);
    m_paneWidgets[std::size_t(view->Pane()) - 1] = pane;
    return pane;
}

void CMainFrame::RestoreWindowState() {
    const CWindowState state = CWindowState::Load(m_settingsPath);
    for (std::size_t i = 0; i < m_views.size(); ++i) m_views[i]->SetUserColumnWidths(state.m_columns[i]);
    m_helpSize = state.m_helpSize;
    m_recentSets = state.m_recentSets;
    FillRecentMenu();
    QSplitter* splitters[] = {m_s0, m_s1, m_s2};
    for (std::size_t i = 0; i < 3; ++i)
        if (state.m_splitters[i].size() == 2) splitters[i]->setSizes(state.m_splitters[i]);

    // The last place, when its top edge (where the title bar is) is still on
    // a screen; otherwise, and on first start, the window opens maximized.
    const QRect& place = state.m_normal;
    QScreen* screen = state.m_known ? QGuiApplication::screenAt(place.topLeft() + QPoint(place.width() / 2, 0)) : nullptr;
    if (!screen) {
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            const QRect area = primary->availableGeometry();
            resize(area.size() * 4 / 5);
            move(area.center() - rect().center());
        }
        setWindowState(Qt::WindowMaximized);
        return;
    }
    const QRect area = screen->availableGeometry();
    setGeometry(QRect(place.topLeft(), place.size().boundedTo(area.size())));
    if (state.m_maximized) setWindowState(Qt::WindowMaximized);
}

CWindowState CMainFrame::WindowState() const {
    CWindowState state = CWindowState::Load(m_settingsPath);
    state.m_known = true;
    state.m_maximized = isMaximized();
    state.m_normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    const QSplitter* splitters[] = {m_s0, m_s1, m_s2};
    for (std::size_t i = 0; i < 3; ++i) {
        // A splitter with a hidden side keeps the sizes it had when both showed.
        const QList<int> sizes = splitters[i]->sizes();
        if (sizes.size() == 2 && sizes[0] > 0 && sizes[1] > 0) state.m_splitters[i] = sizes;
    }
    for (std::size_t i = 0; i < m_views.size(); ++i) state.m_columns[i] = m_views[i]->UserColumnWidths();
    state.m_helpSize = m_help ? m_help->size() : m_helpSize;
    state.m_recentSets = m_recentSets;
    return state;
}

void CMainFrame::FitTreeWidth() {
    // Wide enough for the longest name, but never more than half the window.
    const int needed = m_tree->WidthForNames();
    const QList<int> sizes = m_s0->sizes();
    if (sizes.size() != 2 || sizes[0] >= needed) return;
    const int total = sizes[0] + sizes[1];
    const int wanted = std::min(needed, total / 2);
    if (wanted > sizes[0]) m_s0->setSizes({wanted, total - wanted});
}

// ------------------------------------------------------------------ panes --

void CMainFrame::ApplyPaneLayout() {
    const auto& s = m_panes.Splitters();
    m_s1->setVisible(s.m_s0 != 1);
    m_paneWidgets[0]->setVisible(s.m_s1 != 0);
    m_s2->setVisible(s.m_s1 != 1);
    m_paneWidgets[1]->setVisible(s.m_s2 != 0);
    m_paneWidgets[2]->setVisible(s.m_s2 != 1);
}

void CMainFrame::SyncToggleButtons(bool pressVisible) {
    const ECommand toggles[] = {kToggleConflict, kToggleWarning, kToggleEditor};
    for (int k = 1; k <= 3; ++k) {
        QAction* button = m_actions[toggles[k - 1]];
        if (!m_panes.Visible(k))
            button->setChecked(false);
        else if (pressVisible)
            button->setChecked(true);
    }
}

void CMainFrame::HidePane(EPane pane) {
    m_panes.Hide(int(pane));
    ApplyPaneLayout();
    SyncToggleButtons(false);
}

void CMainFrame::ShowPane(EPane pane) {
    m_panes.Show(int(pane));
    ApplyPaneLayout();
    SyncToggleButtons(true);
}

void CMainFrame::Toggle(EPane pane) {
    const ECommand toggles[] = {kToggleConflict, kToggleWarning, kToggleEditor};
    QAction* button = m_actions[toggles[int(pane) - 1]];
    if (m_doc->IsBusy()) {
        // The click flipped the button; the pane stays as it is.
        button->setChecked(!button->isChecked());
        return;
    }
    if (m_panes.Visible(int(pane)))
        HidePane(pane);
    else
        ShowPane(pane);
}

void CMainFrame::SetPaneRows(EPane pane, CTablePtr table) {
    if (CResultView* view = View(pane)) view->SetRows(std::move(table));
}

void CMainFrame::Publish(EPane pane, CTablePtr table, EShow show) {
    const bool rows = table && table->RowCount() > 0;
    SetPaneRows(pane, std::move(table));
    if (show == EShow::Keep) return;
    if (rows)
        ShowPane(pane);
    else
        HidePane(pane);
}

void CMainFrame::OnProgress(const std::string& text, int total) { m_messagePane->Progress(FromCoreText(text), total); }

void CMainFrame::UpdateViews() {
    m_tree->Rebuild(m_fileTree);
    FitTreeWidth();
    UpdateCommandStates();
}

bool CMainFrame::Busy() const {
    if (m_running > 0 || (m_doc && m_doc->IsBusy())) return true;
    for (const CResultView* view : m_views)
        if (view && view->Model().Sorting()) return true;
    return false;
}

void CMainFrame::UpdateCommandStates() {
    if (!m_doc) return;
    const bool busy = Busy();
    for (ECommand c : kWaitingCommands) m_actions[c]->setEnabled(!busy);
    if (m_recordDock) {
        m_checkRecords->setEnabled(!busy);
        m_recordDock->ToggleAction()->setEnabled(!busy);
    }
    m_tree->AddAction()->setEnabled(!busy);
    m_tree->RemoveAction()->setEnabled(!busy);
    m_actions[kStop]->setEnabled(m_running > 0);
    emit BusyChanged(m_doc->IsBusy());
    const bool single = m_doc->CheckMode() == ECheckMode::SingleVersus;
    m_actions[kChooseMaster]->setEnabled(single && !busy);
    // While an operation runs the marks stay as they are.
    if (!m_doc->IsBusy()) {
        m_actions[kSingleVersus]->setChecked(single);
        m_actions[kFullCheck]->setChecked(!single);
    }
    // A busy cursor over the tree and the lists; the menus, the toolbar and
    // Stop keep the arrow.
    if (busy)
        centralWidget()->setCursor(Qt::BusyCursor);
    else
        centralWidget()->unsetCursor();
}

bool CMainFrame::RunOnWorker(const CRequest& request) {
    // A run whose end the window has not shown yet still counts as running.
    if (m_worker->Running() || m_running > 0) return false;
    CVANTORDoc::CPrepared prepared = m_doc->Prepare(request);
    if (!prepared) return false;
    // An editor's entry may be gone once the lists are made anew; the
    // dialogue merge leaves the lists as they are.
    if (!std::holds_alternative<CRelinkRequest>(request)) CloseEntryEditors({});
    return Start(std::move(prepared.m_operation));
}

bool CMainFrame::Start(std::unique_ptr<COperation> prepared) {
    if (m_worker->Running() || m_running > 0 || !m_doc->Claim(*prepared)) return false;
    ++m_running;
    m_runningCommand = m_command;
    // Answers "to All" hold for one run.
    m_link->ForgetAnswersForAll();
    m_messagePane->SetIdleText({});
    HidePane(EPane::All);
    UpdateCommandStates();
    auto operation = std::make_shared<std::unique_ptr<COperation>>(std::move(prepared));
    CVANTORDoc* doc = m_doc.get();
    m_worker->Start([doc, operation](const CStopToken& stop) { return doc->Execute(std::move(*operation), stop); });
    return true;
}

bool CMainFrame::StopAndWait(std::chrono::milliseconds limit) {
    if (!m_worker->Running() && m_running == 0) return true;
    m_worker->RequestStop();
    // The worker may be waiting for an answer of this thread: serve it (and
    // paint) until the window has heard the run end, or the limit passes.
    if (m_running > 0) {
        QEventLoop loop;
        connect(this, &CMainFrame::WorkerEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!m_worker->Wait(std::chrono::milliseconds(0))) return false;
    // A stopped operation reports no more progress: its display goes with it.
    m_messagePane->Progress({}, 0);
    return true;
}

void CMainFrame::OnOperationEnded(const COutcome& outcome) {
    if (!m_doc) return;
    m_running = std::max(0, m_running - 1);
    // A stopped operation may leave its progress display open.
    if (m_running == 0 && m_messagePane->Bar()) m_messagePane->Progress({}, 0);
    if (outcome.Stopped())
        for (std::size_t k = 0; k < m_views.size(); ++k)
            if (outcome.m_paneRows[k]) m_views[k]->SetStoppedEarly(true);
    if (outcome.m_recordConflicts) m_recordDock->Show(outcome.m_recordConflicts);
    ShowOutcome(FromCoreText(OperationSummary(outcome, CommandName(m_runningCommand))));
    AddChanges(ChangeRows(outcome));
    if (m_pendingOptions && !m_doc->IsBusy()) ApplyOptions(*m_pendingOptions);
    UpdateCommandStates();
    emit WorkerEnded();
}

void CMainFrame::ShowOutcome(const QString& text) { m_messagePane->SetIdleText(text); }

void CMainFrame::OfferRelinkItems(bool offer) {
    // Hidden rather than removed, so that they come back in their place.
    m_actions[kAutoRelink]->setVisible(offer);
    m_actions[kRelink]->setVisible(offer);
    // The separator between "Auto ReLink Dialog" and "ReLink Dialog".
    const QList<QAction*> items = m_operationsMenu->actions();
    const qsizetype relink = items.indexOf(m_actions[kRelink]);
    if (relink > 0 && items[relink - 1]->isSeparator()) items[relink - 1]->setVisible(offer);
}

// ------------------------------------------------------- plugin sets --

std::vector<std::string> CMainFrame::ChosenPluginPaths() const {
    const CFileTree& tree = m_fileTree;
    std::vector<std::string> paths;
    for (const std::string& name : tree.m_pluginItems) {
        const auto folder = tree.m_folders.find(name);
        paths.push_back(folder == tree.m_folders.end() ? name : folder->second + name);
    }
    return paths;
}

void CMainFrame::RememberPluginSet(const std::vector<std::string>& before) {
    std::vector<std::string> set = ChosenPluginPaths();
    if (set.empty() || set == before) return;
    if (std::any_of(set.begin(), set.end(), [](const std::string& p) { return p.find('|') != std::string::npos; }))
        return;
    std::erase(m_recentSets, set);
    m_recentSets.insert(m_recentSets.begin(), std::move(set));
    if (m_recentSets.size() > std::size_t(CWindowState::kRecentSets)) m_recentSets.resize(CWindowState::kRecentSets);
    FillRecentMenu();
}

void CMainFrame::FillRecentMenu() {
    m_recentMenu->clear();
    for (std::size_t i = 0; i < m_recentSets.size(); ++i) {
        const std::vector<std::string>& set = m_recentSets[i];
        // The first names, enough to know the set by; the tip has them all.
        QStringList names, paths;
        for (const std::string& path : set) {
            if (names.size() < 3) names << FromCoreText(platform::FileNameOf(path));
            paths << FromCoreText(path);
        }
        QString text = names.join(QStringLiteral(", "));
        if (set.size() > 3) text += QStringLiteral(" and %1 more").arg(set.size() - 3);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = m_recentMenu->addAction(QStringLiteral("&%1 ").arg(i + 1) + text);
        item->setStatusTip(QStringLiteral("Choose these %1 plugins again").arg(set.size()));
        item->setToolTip(paths.join(QLatin1Char('\n')));
        connect(item, &QAction::triggered, this, [this, set] {
            if (Busy()) return;
            const auto before = ChosenPluginPaths();
            ChoosePluginFiles(set);
            RememberPluginSet(before);
        });
    }
    m_recentMenu->setToolTipsVisible(true);
    m_recentMenu->setEnabled(!m_recentSets.empty());
}

void CMainFrame::ChoosePluginFiles(const std::vector<std::string>& paths) {
    if (m_doc->IsBusy()) return;
    if (m_doc->ChoosePlugins(paths)) RefillPluginRoot();
}

bool CMainFrame::IsPluginFile(const QString& path) {
    for (const char* extension : {".esp", ".esm", ".omwaddon", ".omwgame"})
        if (path.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
    return false;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsPluginFile(url.toLocalFile()) && !Busy()) return event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsPluginFile(url.toLocalFile())) paths.push_back(ToCorePath(url.toLocalFile()));
    if (paths.empty() || Busy()) return;
    event->acceptProposedAction();
    const auto before = ChosenPluginPaths();
    ChoosePluginFiles(paths);
    RememberPluginSet(before);
}

// --------------------------------------------------------- entry editors --

void CMainFrame::OpenEntryEditor(const CEntryOpenRequest& request) {
    if (!m_editorOpener) return;
    QWidget* editor = m_editorOpener(request, this);
    if (!editor) return;
    editor->setWindowTitle(FromCoreText(request.m_title));
    editor->setProperty(kEditorTitleProperty, QByteArray::fromStdString(request.m_title));
    m_editors.emplace_back(editor);
    editor->show();
}

void CMainFrame::CloseEntryEditors(const std::string& title) {
    const QByteArray wanted = QByteArray::fromStdString(title);
    std::erase_if(m_editors, [](const QPointer<QWidget>& w) { return w.isNull(); });
    for (const auto& editor : m_editors) {
        if (!title.empty() && editor->property(kEditorTitleProperty).toByteArray() != wanted) continue;
        // Posted, as the editor may be in the middle of its own handling.
        QMetaObject::invokeMethod(editor.data(), &QWidget::close, Qt::QueuedConnection);
    }
}

bool CMainFrame::BringEntryEditorForward(const std::string& title) {
    const QByteArray wanted = QByteArray::fromStdString(title);
    for (const auto& editor : m_editors) {
        if (editor.isNull() || editor->property(kEditorTitleProperty).toByteArray() != wanted) continue;
        editor->raise();
        editor->activateWindow();
        return true;
    }
    return false;
}

bool CMainFrame::RunChange(const CRequest& request) {
    const COutcome outcome = m_doc->Run(request);
    AddChanges(ChangeRows(outcome));
    return outcome.Ok();
}

bool CMainFrame::DeleteEntry(const CEntryRef& entry, bool ask) { return RunChange(CDeleteEntryRequest{entry, ask}); }

bool CMainFrame::CleanCell(const CEntryRef& cell, bool ask) { return RunChange(CCleanCellRequest{cell, ask}); }

bool CMainFrame::UpdateEntry(const CEntryRef& entry, const CSubRecords& subs) {
    return RunChange(CUpdateEntryRequest{entry, subs});
}

// ----------------------------------------------------- files and roles --

void CMainFrame::RefillPluginRoot() {
    m_fileTree.m_pluginItems.clear();
    // The master plugin is shown under its own root.
    const CFileList files = m_doc->Files();
    for (EFileRole role : {EFileRole::Pending, EFileRole::Plugin})
        for (const CLoadedFile* f : files.Of(role)) {
            m_fileTree.m_pluginItems.push_back(f->m_name);
            m_fileTree.m_folders[f->m_name] = f->m_folder;
        }
    UpdateViews();
}

void CMainFrame::OnChoosePlugins() {
    if (m_doc->IsBusy()) return;
    const CFileChoice choice = m_link->ChooseFile(texts::PluginsChooser(IsOpenMW(*m_doc->LoadOrder()), m_doc->DataDir()));
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    ChoosePluginFiles(choice.m_paths);
}

void CMainFrame::OnMakeMergedPatch() {
    if (m_doc->IsBusy()) return;
    const CFileChoice choice =
        m_link->ChooseFile(texts::MergedPatchChooser(IsOpenMW(*m_doc->LoadOrder()), m_doc->DataDir()));
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    CMergedPatchRequest request;
    request.m_output = choice.m_paths.front();
    request.m_replaceAgreed = true;  // the chooser asked about replacing an existing patch
    RunOnWorker(request);
}

void CMainFrame::OnChooseActivePlugins() {
    if (m_doc->IsBusy()) return;
    if (m_doc->ChooseActivePlugins()) RefillPluginRoot();
}

void CMainFrame::OnChooseMasterPlugin() {
    if (m_doc->IsBusy() || m_doc->CheckMode() != ECheckMode::SingleVersus) return;
    const CFileChoice choice =
        m_link->ChooseFile(texts::MasterPluginChooser(IsOpenMW(*m_doc->LoadOrder()), m_doc->DataDir()));
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty()) return;
    m_fileTree.m_hasMasterRoot = true;
    m_fileTree.m_masterItems.clear();
    const std::string& path = choice.m_paths.front();
    if (m_doc->ChooseMasterPlugin(path)) {
        const std::string name = platform::FileNameOf(path);
        m_fileTree.m_masterItems = {name};
        m_fileTree.m_folders[name] = platform::WithSeparator(platform::FolderOf(path));
    }
    UpdateViews();
}

void CMainFrame::OnNewCheck() {
    StopAndWait();
    m_messagePane->Progress({}, 0);
    HidePane(EPane::All);
    m_doc->NewCheck();
    m_fileTree.m_pluginItems.clear();
    m_fileTree.m_masterItems.clear();
    m_fileTree.m_folders.clear();
    UpdateViews();
}

void CMainFrame::OnClearEsmData() {
    // Masters a running operation reads are not freed under it: stop it.
    StopAndWait();
    m_doc->ClearMasters();
    HidePane(EPane::All);
}

void CMainFrame::SetCheckMode(ECheckMode mode) {
    if (!m_doc->SetCheckMode(mode)) return;
    if (mode == ECheckMode::SingleVersus) {
        if (!m_fileTree.m_hasMasterRoot) {
            m_fileTree.m_hasMasterRoot = true;
            m_fileTree.m_masterItems.clear();
        }
    } else {
        m_fileTree.m_hasMasterRoot = false;
        m_fileTree.m_masterItems.clear();
    }
    UpdateViews();
}

void CMainFrame::OnTreeAdd(const std::optional<CFileTree::CSelection>& selection) {
    if (selection && selection->m_root == CFileTree::ERoot::Master)
        OnChooseMasterPlugin();
    else
        OnChoosePlugins();
}

void CMainFrame::OnTreeRemove(const std::optional<CFileTree::CSelection>& selection) {
    if (!selection || selection->m_isRoot) return;
    auto eraseItem = [&](std::vector<std::string>& items) {
        auto it = std::find(items.begin(), items.end(), selection->m_text);
        if (it != items.end()) items.erase(it);
    };
    switch (m_doc->RemoveFile(selection->m_text)) {
        case CVANTORDoc::ERemoved::MasterPlugin: eraseItem(m_fileTree.m_masterItems); break;
        case CVANTORDoc::ERemoved::Plugin: eraseItem(m_fileTree.m_pluginItems); break;
        case CVANTORDoc::ERemoved::Nothing: return;
    }
    UpdateViews();
}

void CMainFrame::AddChanges(const std::vector<CChangeMade>& changes) {
    if (changes.empty()) return;
    m_changesMade.insert(m_changesMade.end(), changes.begin(), changes.end());
    // One item per plugin with its backup, the changes below it.
    for (const CChangeMade& change : changes) {
        const QString file = FromCoreText(change.m_file);
        QTreeWidgetItem* plugin = nullptr;
        for (int i = 0; i < m_changesList->topLevelItemCount() && !plugin; ++i)
            if (m_changesList->topLevelItem(i)->text(0) == file) plugin = m_changesList->topLevelItem(i);
        if (!plugin) {
            plugin = new QTreeWidgetItem(m_changesList, QStringList{file});
            plugin->setExpanded(true);
        }
        plugin->setText(3, FromCoreText(change.m_backup));
        new QTreeWidgetItem(plugin, QStringList{FromCoreText(change.m_change), FromCoreText(change.m_tag),
                                                FromCoreText(change.m_id)});
        plugin->setText(2, QStringLiteral("%1 changed").arg(plugin->childCount()));
    }
    for (int c = 0; c < m_changesList->columnCount(); ++c) m_changesList->resizeColumnToContents(c);
    m_changesDock->setWindowTitle(QStringLiteral("Changes Made \u2014 %1").arg(m_changesMade.size()));
    m_changesDock->show();
}

// --------------------------------------------------------------- commands --

CResultView* CMainFrame::ActiveList() const { return m_activeList ? m_activeList.data() : m_views[0]; }

void CMainFrame::OnEditCopy() { ActiveList()->CopySelection(); }

void CMainFrame::OnEditSelectAll() { ActiveList()->selectAll(); }

void CMainFrame::OnSaveResults() {
    // A list being sorted is saved in the order it will show.
    if (Busy()) return;
    // The lists as shown, in the order shown; proposed beside the settings
    // file (the working folder), never among the game's files.
    const std::string folder = platform::FolderOf(m_settingsPath);
    const auto saved = SaveResultsFile(*m_link, folder, FilesInUse(m_doc->Files()), m_views[0]->Model().Table(),
                                       m_views[1]->Model().Table(), m_views[2]->Model().Table(), m_changesMade);
    if (saved) ShowOutcome(QStringLiteral("The lists were saved to ") + FromCoreText(*saved));
}

void CMainFrame::ApplyOptions(const COptionSet& options) {
    OfferRelinkItems(options.DialogRepairEnabled());
    if (!m_doc->IsBusy()) {
        m_doc->SetOptions(options);
        m_pendingOptions.reset();
        return;
    }
    // The operation was made with the options it started with: they change
    // when it has ended.
    m_pendingOptions = options;
}

void CMainFrame::OnOptions() {
    OpenOptions(false);
}

bool CMainFrame::OpenOptions(bool gamePage) {
    const platform::CInstallDirs found =
        m_installDir ? platform::DirsFromInstallPath(*m_installDir) : platform::FindInstallDirs();
    COptionsSheet sheet(m_pendingOptions.value_or(m_doc->Options()), this, m_game, DefaultOpenMWConfig(), found);
    if (gamePage) sheet.Tabs()->setCurrentWidget(sheet.GamePage());
    if (sheet.exec() != QDialog::Accepted) return false;
    ApplyOptions(sheet.Result());
    ApplyGame(sheet.Game());
    return true;
}

void CMainFrame::ApplyGame(const CGameChoice& game) {
    if (game == m_game) return;
    m_game = game;
    m_game.Save(m_settingsPath);
    auto order = MakeLoadOrder(m_game, m_installDir, m_dataDir);
    TellLoadOrderProblems(*order);
    m_doc->SetLoadOrder(std::move(order));
}

bool CMainFrame::GameFolderUnknown() const {
    const loadorder::CWhere where = m_doc->LoadOrder()->Where();
    const auto* game = std::get_if<loadorder::CMorrowindWhere>(&where);
    return game && game->m_installDir.empty();
}

bool CMainFrame::OfferGameFolder(const std::string& why) {
    const CMessage question{why + "\n\nSet the game's folder on the Game page of the Options now?", "Game Not Found",
                            EButtons::YesNo, EIcon::Question, EAnswer::Yes};
    return m_link->Show(question) == EAnswer::Yes && OpenOptions(true) && !GameFolderUnknown();
}

void CMainFrame::TellLoadOrderProblems(const loadorder::CLoadOrder& order) {
    if (const auto problem = UnreadableConfig(order)) {
        m_link->Tell("Cannot read the OpenMW configuration " + problem->m_path + ":\n" + ConfigProblem(*problem) +
                         "\nThe load order is not complete.",
                     "Warning", EIcon::Exclamation);
        return;
    }
    const loadorder::CWhere where = order.Where();
    const auto* openmw = std::get_if<loadorder::COpenMWWhere>(&where);
    if (!openmw) return;
    std::string text;
    if (!openmw->m_errors.empty()) text = "Errors in the OpenMW configuration:";
    for (const loadorder::CConfigError& error : openmw->m_errors) text += "\n" + error.m_text;
    if (!openmw->m_missing.empty()) {
        if (!text.empty()) text += "\n\n";
        text += "These content files of the load order are in no data folder:";
    }
    for (const std::string& name : openmw->m_missing) text += "\n" + name;
    if (!text.empty()) m_link->Tell(text, "Warning", EIcon::Exclamation);
}

QStringList CMainFrame::PrintActiveList(QPrinter& printer, int from, int to, bool turnPage) {
    CResultView* list = ActiveList();
    CGridPrinter gridPrinter(list->Model(), QString::fromLatin1(kTitle), QStringLiteral("VANTOR"));
    // The page was turned before the dialogs showed it, where the user may
    // have turned it back.
    const QPageLayout::Orientation chosen = printer.pageLayout().orientation();
    const int pages = gridPrinter.PreparePage(printer);
    if (!turnPage) printer.setPageOrientation(chosen);
    if (from > 0) gridPrinter.SetPageRange(from, to);
    // A long list takes a while: the user sees how far it is and may stop it.
    QProgressDialog progress(QStringLiteral("Printing the list\u2026"), QStringLiteral("Cancel"), 0, pages, this);
    progress.setWindowTitle(QString::fromLatin1(kTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    gridPrinter.SetProgress([&](int done, int total) {
        if (m_printProgressHook && !m_printProgressHook(done, total)) progress.cancel();
        progress.setMaximum(total);
        progress.setValue(done);
        return !progress.wasCanceled();
    });
    return gridPrinter.Print(printer);
}

void CMainFrame::OnPrint() {
    CResultView* list = ActiveList();
    const int pages = CGridPrinter(list->Model(), {}, {}).PreparePage(m_printer);
    QPrintDialog dialog(&m_printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, pages);
    if (dialog.exec() == QDialog::Accepted) PrintActiveList(m_printer, 0, 0, false);
}

std::optional<std::pair<int, int>> CMainFrame::AskPreviewPages(int pages) {
    // A preview holds every page it shows in memory: a long list is looked
    // at a part at a time.
    if (pages <= kPreviewPages) return std::pair(1, pages);
    CPageRangeDlg dialog(pages, kPreviewPages, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Range();
}

void CMainFrame::OnPrintPreview() {
    const int pages = CGridPrinter(ActiveList()->Model(), {}, {}).PreparePage(m_printer);
    const auto range = AskPreviewPages(pages);
    if (!range) return;
    {
        QPrintPreviewDialog preview(&m_printer, this);
        preview.setWindowTitle(QStringLiteral("Print Preview"));
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                [this, range](QPrinter* printer) { PrintActiveList(*printer, range->first, range->second, false); });
        preview.exec();
    }
    setWindowTitle(kTitle);
    // The pages' pictures are freed with the preview; the memory goes back
    // to the system too, not only to this program's heap.
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void CMainFrame::OnPrintSetup() {
    QPageSetupDialog dialog(&m_printer, this);
    dialog.exec();
}

void CMainFrame::FindObject(const std::string& text) {
    if (!m_findDialog || m_doc->IsBusy()) return;
    // The dialog keeps its history in the options it is given.
    COptionSet options = m_doc->Options();
    auto params = m_findDialog(options, text, this);
    m_doc->SetOptions(options);
    if (!params) return;
    CFindRequest request;
    request.m_find = *params;
    RunOnWorker(request);
}

void CMainFrame::OnViewFileData() {
    if (!m_viewFileDialog) return;
    if (m_doc->IsBusy()) return;
    const CViewFileSeed seed = m_doc->ViewFileSeed();
    const auto choice = m_viewFileDialog(seed, this);
    if (!choice) return;
    if (choice->m_globalChanges) {
        CGlobalChangesRequest request;
        request.m_file = choice->m_fileName;
        RunOnWorker(request);
    } else {
        CListRequest request;
        request.m_masters = choice->m_esmFile;
        request.m_file = choice->m_fileName;
        RunOnWorker(request);
    }
}

QTextBrowser* CMainFrame::HelpBrowser() {
    if (!m_help) m_help = new CHelpWindow(GuideText(), m_helpSize, this);
    return m_help->Browser();
}

void CMainFrame::OnHelp() {
    HelpBrowser();
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void CMainFrame::OnAbout() {
    QMessageBox box(this);
    box.setWindowTitle("About VANTOR");
    box.setIconPixmap(icons::Make(icons::EIcon::App).pixmap(32, 32));
    box.setText(QStringLiteral("<b>Vantorscope</b> (VANTOR) version %1").arg(QStringLiteral(VANTOR_VERSION)));
    box.setInformativeText(
        "Examines, cleans and repairs Morrowind plugins and masters.\n\n"
        "Written by the Vantorscope developers.");
    box.exec();
}

void CMainFrame::SaveSettingsForExit() {
    // Written here, where a failure can still be told; the document's own
    // write at its end then finds nothing to change.
    platform::ClearLastError();
    bool saved = WindowState().Save(m_settingsPath);
    std::string why = platform::LastErrorMessage();
    if (saved) {
        saved = m_doc->Options().Save(m_settingsPath);
        why = platform::LastErrorMessage();
    }
    if (saved) return;
    m_link->Tell("The settings could not be written to " + m_settingsPath + (why.empty() ? "" : ":\n" + why) +
                     "\n\nThe options, the window's place and the choices of this run are lost.",
                 "Warning", EIcon::Exclamation);
}

bool CMainFrame::CloseEditorsForExit() {
    std::erase_if(m_editors, [](const QPointer<QWidget>& w) { return w.isNull(); });
    const auto editors = m_editors;
    for (const auto& editor : editors)
        if (editor && !editor->close()) return false;
    return true;
}

// ---------------------------------------------------------------- events --

void CMainFrame::UpdateIndicators() {
#ifdef _WIN32
    m_lockKeys = {(GetKeyState(VK_CAPITAL) & 1) != 0, (GetKeyState(VK_NUMLOCK) & 1) != 0,
                  (GetKeyState(VK_SCROLL) & 1) != 0};
#endif
    for (int i = 0; i < m_indicators.size(); ++i) m_indicators[i]->setEnabled(m_lockKeys[std::size_t(i)]);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        // Without a portable query of the lock states, each press seen by
        // the program toggles its indicator.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const int index = key == Qt::Key_CapsLock ? 0 : key == Qt::Key_NumLock ? 1 : key == Qt::Key_ScrollLock ? 2 : -1;
        if (index >= 0 && watched == QApplication::focusWidget()) {
            m_lockKeys[std::size_t(index)] = !m_lockKeys[std::size_t(index)];
            UpdateIndicators();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // Prompts go to the message pane, never over a running progress text.
        if (!m_messagePane->Bar()) {
            const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
            m_messagePane->SetText(tip.isEmpty() ? m_messagePane->IdleText() : tip);
        }
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_firstShow) return;
    m_firstShow = false;
    HidePane(EPane::All);
    OfferRelinkItems(m_doc->Options().DialogRepairEnabled());
    menuBar()->update();
    // Once the window is there to own the message.
    QTimer::singleShot(0, this, [this] {
        TellLoadOrderProblems(*m_doc->LoadOrder());
        if (m_firstStart && GameFolderUnknown())
            OfferGameFolder("The game's folder was not found, so Vantorscope cannot read the active plugins or find "
                            "the masters.");
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // Waiting here for a worker that waits for this thread would never end.
    if (m_link->ServingWorker()) {
        event->ignore();
        return;
    }
    if (!CloseEditorsForExit()) {
        event->ignore();
        return;
    }
    m_closing = true;
    // The worker is stopped and waited for, whatever it takes: the files and
    // tables it reads belong to the document that closing destroys. It polls
    // the stop flag after every record, so this is short.
    StopAndWait();
    if (m_pendingOptions) m_doc->SetOptions(*m_pendingOptions);
    CloseEntryEditors({});
    SaveSettingsForExit();
    if (m_help) m_help->close();
    event->accept();
}

}  // namespace vantor
