// vantorscope: the Qt front end.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <variant>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "DialogRepairDlg.h"
#include "EntryDlg.h"
#include "FindDlg.h"
#include "MainFrame.h"
#include "OptionsSheet.h"
#include "PictureScenes.h"
#include "QtFrameLink.h"
#include "ResultViews.h"
#include "UiText.h"
#include "ViewFileDlg.h"
#include "document/OutputPath.h"

using namespace vantor;

namespace {

// The entry editor on the first conflict row showing `id`, opened from its
// plugin column as a double click would; nullptr when there is none.
QWidget* OpenEntryForPicture(CMainFrame& frame, const std::string& id, bool hex) {
    CResultView* view = frame.View(EPane::Conflict);
    for (std::size_t r = 0; r < view->Model().Table().RowCount(); ++r) {
        if (view->Model().Table().Cell(r, 2) != id) continue;
        view->OpenEntry(int(r), 3);
        const auto editors = frame.findChildren<CEntryDlg*>();
        if (editors.isEmpty()) return nullptr;
        CEntryDlg* editor = editors.back();
        editor->move(frame.geometry().topLeft() + QPoint(40, 40));
        if (hex) editor->Button(CEntryDlg::kHexView)->click();
        return editor;
    }
    return nullptr;
}

// A dialog opened as its menu command would open it, shown without waiting
// for it; nullptr for an unknown name.
QWidget* OpenDialogForPicture(CMainFrame& frame, const QString& name) {
    if (QWidget* scene = OpenSceneForPicture(frame, name)) return scene;
    CVANTORDoc& doc = frame.Doc();
    QDialog* dialog = nullptr;
    if (name == "find") {
        // The dialog keeps the options it edits; the picture's copy outlives it.
        static COptionSet options;
        options = doc.Options();
        dialog = new CFindDlg(options, &frame, "sample_trader");
    } else if (name == "view-file") {
        dialog = new CViewFileDlg(doc.ViewFileSeed(), &frame);
    } else if (name == "repair") {
        auto* repair = new CDialogRepairDlg({"Dialog Repair.esp", doc.DataDir(), doc.DataDir(), doc.LoadOrder(), FilesInUse(doc.Files())}, frame.Link(),
                                            &frame);
        repair->AddAllActivePlugins();
        dialog = repair;
    } else if (name == "options-game") {
        // The game's folder as the load order found it.
        const loadorder::CWhere where = doc.LoadOrder()->Where();
        platform::CInstallDirs found;
        if (const auto* game = std::get_if<loadorder::CMorrowindWhere>(&where))
            found = {game->m_installDir, game->m_dataDir, game->m_installSource, game->m_winePrefix};
        auto* sheet = new COptionsSheet(doc.Options(), &frame, frame.Game(), DefaultOpenMWConfig(), found);
        sheet->Tabs()->setCurrentWidget(sheet->GamePage());
        dialog = sheet;
    } else if (name == "preview") {
        static QPrinter printer(QPrinter::HighResolution);
        auto* preview = new QPrintPreviewDialog(&printer, &frame);
        QObject::connect(preview, &QPrintPreviewDialog::paintRequested, &frame,
                         [&frame](QPrinter* target) { frame.PrintActiveList(*target); });
        if (QScreen* screen = frame.screen()) preview->resize(screen->availableGeometry().size() * 4 / 5);
        dialog = preview;
    }
    if (!dialog) return nullptr;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->move(frame.geometry().center() - dialog->rect().center());
    return dialog;
}

// The widget's window as the screen shows it, title bar and frame included
// when a window manager draws them.
bool SavePicture(QWidget& widget, const QString& target) {
    QScreen* screen = widget.screen();
    const QRect frame = widget.frameGeometry();
    const QPixmap picture = screen ? screen->grabWindow(0, frame.x() - screen->geometry().x(),
                                                        frame.y() - screen->geometry().y(), frame.width(), frame.height())
                                   : widget.grab();
    return !picture.isNull() && picture.save(target);
}

// The options of the command line; QCoreApplication or QApplication reads them.
struct COptions {
    QCommandLineParser m_parser;
    QCommandLineOption m_installDir{"install-dir", "The game's folder (holds Morrowind.ini and \"Data Files\").", "dir"};
    QCommandLineOption m_dataDir{"data-dir", "The data folder searched for masters.", "dir"};
    QCommandLineOption m_settings{"settings", "The settings file (default: vantor.ini in the working directory).", "file"};
    QCommandLineOption m_check{"check", "Run Check All on the chosen plugins at start."};
    QCommandLineOption m_screenshot{"screenshot",
                                    "Save a picture of the window to this file once the start-up check has ended, "
                                    "then quit.",
                                    "png"};
    QCommandLineOption m_openEntry{"open-entry",
                                   "With --screenshot: open the entry editor on the first conflict row of this ID "
                                   "and picture the editor instead of the main window.",
                                   "id"};
    QCommandLineOption m_hexView{"hex-view", "With --open-entry: picture the editor's hex view."};
    QCommandLineOption m_dialog{"show-dialog",
                                "With --screenshot: open this dialog (find, view-file, repair, options-game or "
                                "preview) and picture it instead of the main window; or picture the main window "
                                "with the question of a Delete (delete-question) or of Clean Cells (clean-question) "
                                "on screen, or after both cleans (changes): these act only on copies in the "
                                "temporary folder.",
                                "name"};

    COptions() {
        // The pictures of the user's guide are taken through these; users
        // have no need of them.
        for (QCommandLineOption* developers : {&m_screenshot, &m_openEntry, &m_hexView, &m_dialog})
            developers->setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.setApplicationDescription("Vantorscope examines, cleans and repairs Morrowind plugins and masters.");
        m_parser.addHelpOption();
        m_parser.addVersionOption();
        m_parser.addPositionalArgument("plugins", "Plugins to choose at start, as by File > Choose Plugins.",
                                       "[plugins...]");
        m_parser.addOptions({m_installDir, m_dataDir, m_settings, m_check, m_screenshot, m_openEntry, m_hexView,
                             m_dialog});
    }
};

void NameTheApplication() {
    QCoreApplication::setApplicationName("Vantorscope");
    QCoreApplication::setApplicationVersion(VANTOR_VERSION);
}

// Help and version need no window: they are answered before the window
// system is asked for a display, so they work on a terminal without one.
bool AsksOnlyForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--") break;
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" || arg == "--version")
            return true;
    }
    return false;
}

// While the window system starts, Qt's own messages are held back: when it
// cannot start (no display) the user gets one plain sentence and status 1,
// not a page about platform plugins and an abort.
bool gStarting = false;
QtMessageHandler gQtHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> gHeld;

void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!gStarting) {
        if (gQtHandler) gQtHandler(type, context, text);
        return;
    }
    if (type != QtFatalMsg) {
        gHeld.emplace_back(type, text);
        return;
    }
    std::fputs("vantorscope: cannot open its window: no display was found (is DISPLAY or WAYLAND_DISPLAY set?).\n"
               "The command-line program vantor needs none.\n",
               stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    COptions options;
    QCommandLineParser& parser = options.m_parser;
    if (AsksOnlyForText(argc, argv)) {
        QCoreApplication core(argc, argv);
        NameTheApplication();
        // Options meant for the window system (-platform, -style) are no
        // error here.
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
        parser.showHelp(0);
    }
    gStarting = true;
    gQtHandler = qInstallMessageHandler(StartupMessages);
    QApplication app(argc, argv);
    gStarting = false;
    for (const auto& [type, text] : gHeld) StartupMessages(type, QMessageLogContext(), text);
    gHeld.clear();
    NameTheApplication();
    parser.process(app);
    CDocConfig config;
    config.m_settingsPath = parser.isSet(options.m_settings) ? ToCorePath(parser.value(options.m_settings))
                                                           : ToCorePath(QDir::currentPath() + "/vantor.ini");
    if (parser.isSet(options.m_installDir)) config.m_installDir = ToCorePath(parser.value(options.m_installDir));
    if (parser.isSet(options.m_dataDir)) config.m_dataDir = ToCorePath(parser.value(options.m_dataDir));
    if (const QString refused = SceneRefusal(parser.value(options.m_dialog), parser.positionalArguments(),
                                             FromCoreText(config.m_settingsPath));
        !refused.isEmpty()) {
        std::fprintf(stderr, "vantorscope: %s\n", qPrintable(refused));
        return 1;
    }

    CMainFrame frame(std::move(config));
    frame.show();

    const QStringList plugins = parser.positionalArguments();
    if (!plugins.isEmpty()) {
        // The files of the command line go through the same choice as the
        // "Select Files" dialog would make.
        std::vector<std::string> paths;
        for (const QString& p : plugins) paths.push_back(ToCorePath(QFileInfo(p).absoluteFilePath()));
        frame.ChoosePluginFiles(paths);
    }
    if (parser.isSet(options.m_check)) frame.Action(CMainFrame::kCheckAll)->trigger();

    if (parser.isSet(options.m_screenshot)) {
        const QString target = parser.value(options.m_screenshot);
        auto* poll = new QTimer(&frame);
        const QByteArray entryId = parser.value(options.m_openEntry).toUtf8();
        const bool hex = parser.isSet(options.m_hexView);
        const QString dialog = parser.value(options.m_dialog);
        QObject::connect(poll, &QTimer::timeout, &frame, [&frame, poll, target, entryId, hex, dialog] {
            if (frame.Doc().IsBusy()) return;
            poll->stop();
            QPointer<QWidget> pictured = &frame;
            if (!entryId.isEmpty()) pictured = OpenEntryForPicture(frame, entryId.toStdString(), hex);
            if (!dialog.isEmpty()) pictured = OpenDialogForPicture(frame, dialog);
            // Time for the window manager to frame the window and for the
            // panes to be laid out and painted.
            QTimer::singleShot(1500, &frame, [&frame, target, pictured] {
                const bool saved = pictured && SavePicture(*pictured, target);
                // A question still on screen is answered as its Escape would.
                if (QWidget* question = QApplication::activeModalWidget(); question && question != pictured)
                    question->close();
                if (pictured && pictured != &frame) pictured->close();
                frame.close();
                QApplication::exit(saved ? 0 : 1);
            });
        });
        poll->start(100);
    }
    return QApplication::exec();
}
