// vantorscope: the Qt front end.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "EntryDlg.h"
#include "MainFrame.h"
#include "QtFrameLink.h"
#include "ResultViews.h"
#include "UiText.h"

using namespace vantor;

namespace {

// The entry editor on the first conflict row showing `id`, opened from its
// plugin column as a double click would; nullptr when there is none.
QWidget* OpenEntryForPicture(CMainFrame& frame, const std::string& id, bool hex) {
    CResultView* view = frame.View(EPane::Conflict);
    const auto& rows = view->Model().Table().m_rows;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].size() < 3 || rows[r][2].m_text != id) continue;
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

    COptions() {
        m_parser.setApplicationDescription("Vantorscope examines, cleans and repairs Morrowind plugins and masters.");
        m_parser.addHelpOption();
        m_parser.addVersionOption();
        m_parser.addPositionalArgument("plugins", "Plugins to choose at start, as by File > Choose Plugins.",
                                       "[plugins...]");
        m_parser.addOptions({m_installDir, m_dataDir, m_settings, m_check, m_screenshot, m_openEntry, m_hexView});
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
    QApplication app(argc, argv);
    NameTheApplication();
    parser.process(app);
    const auto& installDir = options.m_installDir;
    const auto& dataDir = options.m_dataDir;
    const auto& settings = options.m_settings;
    const auto& check = options.m_check;
    const auto& screenshot = options.m_screenshot;
    const auto& openEntry = options.m_openEntry;
    const auto& hexView = options.m_hexView;

    CDocConfig config;
    config.m_settingsPath = parser.isSet(settings) ? ToCorePath(parser.value(settings))
                                                   : ToCorePath(QDir::currentPath() + "/vantor.ini");
    if (parser.isSet(installDir)) config.m_installDir = ToCorePath(parser.value(installDir));
    if (parser.isSet(dataDir)) config.m_dataDir = ToCorePath(parser.value(dataDir));

    CMainFrame frame(std::move(config));
    frame.show();

    const QStringList plugins = parser.positionalArguments();
    if (!plugins.isEmpty()) {
        // The files of the command line go through the same choice as the
        // "Select Files" dialog would make.
        CFileChoice choice{CFileChoice::EStatus::Chosen, {}};
        for (const QString& p : plugins) choice.m_paths.push_back(ToCorePath(QFileInfo(p).absoluteFilePath()));
        frame.Link().m_chooserHook = [&choice](const CFileChooser&) -> std::optional<CFileChoice> { return choice; };
        frame.Doc().OnChoosePlugins();
        frame.Link().m_chooserHook = nullptr;
    }
    if (parser.isSet(check)) frame.Doc().OnCheckAll();

    if (parser.isSet(screenshot)) {
        const QString target = parser.value(screenshot);
        auto* poll = new QTimer(&frame);
        const QByteArray entryId = parser.value(openEntry).toUtf8();
        const bool hex = parser.isSet(hexView);
        QObject::connect(poll, &QTimer::timeout, &frame, [&frame, poll, target, entryId, hex] {
            if (frame.Doc().IsBusy()) return;
            poll->stop();
            QPointer<QWidget> pictured = &frame;
            if (!entryId.isEmpty()) pictured = OpenEntryForPicture(frame, entryId.toStdString(), hex);
            // One more turn of the loop so the panes are laid out and painted.
            QTimer::singleShot(300, &frame, [&frame, target, pictured] {
                const bool saved = pictured && pictured->grab().save(target);
                frame.close();
                QApplication::exit(saved ? 0 : 1);
            });
        });
        poll->start(100);
    }
    return QApplication::exec();
}
