#include "PictureScenes.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTimer>

#include "MainFrame.h"
#include "QtFrameLink.h"
#include "ResultViews.h"
#include "UiText.h"
#include "format/PluginFile.h"

namespace vantor {

namespace {

// Whether `path` lies inside `folder`, both taken with their links resolved.
// A file not yet made (a new settings file) is judged by its folder.
bool Inside(const QString& path, const QString& folder) {
    const QFileInfo info(path);
    const QString resolved = info.exists() ? info.canonicalFilePath()
                                           : QFileInfo(info.absolutePath()).canonicalFilePath() + "/" + info.fileName();
    const QString root = QDir(folder).canonicalPath();
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kNames = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity kNames = Qt::CaseSensitive;
#endif
    return !root.isEmpty() && resolved.startsWith(root + "/", kNames);
}

// Serves the event loop until the operation started and the window have
// both ended their work; false after a minute.
bool WaitUntilIdle(CMainFrame& frame) {
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (!frame.Doc().IsBusy() && !frame.Busy()) wait.exit(0);
    });
    QTimer::singleShot(60000, &wait, [&wait] { wait.exit(1); });
    poll.start(20);
    return wait.exec() == 0;
}

bool IsScene(const QString& name) {
    return name == QStringLiteral("delete-question") || name == QStringLiteral("clean-question") ||
           name == QStringLiteral("changes");
}

}  // namespace

QString SceneRefusal(const QString& scene, const QStringList& plugins, const QString& settingsPath) {
    if (!IsScene(scene)) return {};
    if (plugins.isEmpty()) return QStringLiteral("the scene \"%1\" needs plugins to act on").arg(scene);
    const QString temp = QDir::tempPath();
    QStringList outside;
    QStringList written = plugins;
    written << settingsPath;
    for (const QString& path : written)
        if (!Inside(path, temp)) outside << path;
    if (outside.isEmpty()) return {};
    return QStringLiteral("the scene \"%1\" acts on the plugins and runs only on copies inside %2; not inside it: %3")
        .arg(scene, QDir::toNativeSeparators(temp), outside.join(QStringLiteral(", ")));
}

QWidget* OpenSceneForPicture(CMainFrame& frame, const QString& scene) {
    if (scene == QStringLiteral("delete-question")) {
        // The Delete key on the trader's row, as a user would press it: the
        // question names the entry and the plugin.
        CResultView* view = frame.View(EPane::Conflict);
        const auto& table = view->Model().Table();
        for (std::size_t r = 0; r < table.RowCount(); ++r) {
            if (table.Cell(r, 2) != "sample_trader") continue;
            const QModelIndex cell = view->model()->index(int(r), 3);
            view->setCurrentIndex(cell);
            view->selectionModel()->select(cell, QItemSelectionModel::ClearAndSelect);
            view->scrollTo(cell);
            // After this returns: the question waits in an event loop of
            // its own until the picture's taker closes it.
            QTimer::singleShot(0, view, [view] { view->DeleteSelected(); });
            return &frame;
        }
        return nullptr;
    }
    if (scene == QStringLiteral("clean-question")) {
        // Clean Cells asks from its worker, with the counts it found.
        QTimer::singleShot(0, &frame, [&frame] { frame.Action(CMainFrame::kCleanCells)->trigger(); });
        return &frame;
    }
    if (scene == QStringLiteral("changes")) {
        // The start-up check has read the plugins the cleans change: each
        // is judged again as read, whatever the command line named.
        const std::vector<CPluginFile*> plugins = frame.Doc().Files().PluginFiles();
        if (plugins.empty()) return nullptr;
        for (const CPluginFile* plugin : plugins)
            if (!Inside(FromCoreText(plugin->FullPath()), QDir::tempPath())) return nullptr;
        // Every question of the cleans gets the answer it offers first (Yes
        // to the clean), so nothing waits for a hand that is not there.
        frame.Link().m_askHook = [](const CMessage& message) { return std::optional<EAnswer>(message.m_default); };
        bool ended = true;
        for (CMainFrame::ECommand clean : {CMainFrame::kAutoDeleteUnclean, CMainFrame::kCleanCells}) {
            frame.Action(clean)->trigger();
            ended = ended && WaitUntilIdle(frame);
        }
        frame.Link().m_askHook = nullptr;
        if (!ended || frame.ChangesMade().empty()) return nullptr;
        return &frame;
    }
    return nullptr;
}

}  // namespace vantor
