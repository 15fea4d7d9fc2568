// vantorscope: the Qt front end.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include "MainFrame.h"
#include "QtFrameLink.h"
#include "UiText.h"

using namespace vantor;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantorscope");
    QApplication::setApplicationVersion(VANTOR_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Vantorscope examines, cleans and repairs Morrowind plugins and masters.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("plugins", "Plugins to choose at start, as by File > Choose Plugins.", "[plugins...]");
    QCommandLineOption installDir("install-dir", "The game's folder (holds Morrowind.ini and \"Data Files\").", "dir");
    QCommandLineOption dataDir("data-dir", "The data folder searched for masters.", "dir");
    QCommandLineOption settings("settings", "The settings file (default: vantor.ini in the working directory).", "file");
    QCommandLineOption check("check", "Run Check All on the chosen plugins at start.");
    QCommandLineOption screenshot("screenshot",
                                  "Save a picture of the window to this file once the start-up check has ended, "
                                  "then quit.",
                                  "png");
    parser.addOptions({installDir, dataDir, settings, check, screenshot});
    parser.process(app);

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
        QObject::connect(poll, &QTimer::timeout, &frame, [&frame, poll, target] {
            if (frame.Doc().IsBusy()) return;
            poll->stop();
            // One more turn of the loop so the panes are laid out and painted.
            QTimer::singleShot(300, &frame, [&frame, target] {
                const bool saved = frame.grab().save(target);
                frame.close();
                QApplication::exit(saved ? 0 : 1);
            });
        });
        poll->start(100);
    }
    return QApplication::exec();
}
