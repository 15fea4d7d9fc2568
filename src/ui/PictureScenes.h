#pragma once
// Scenes of the user's guide's pictures that need more than a dialog
// opened: a question on screen over the main window, and the main window
// after a clean. Both act on the chosen plugins, so they run only on copies.
#include <QString>
#include <QStringList>

class QWidget;

namespace vantor {

class CMainFrame;

// Why `scene` may not run with these plugins and this settings file, or ""
// when it may (or when it is no scene that acts on plugins). Such a scene
// runs only on files inside the system's temporary folder: a modder's own
// plugins are never cleaned for a picture.
QString SceneRefusal(const QString& scene, const QStringList& plugins, const QString& settingsPath);

// Sets the scene up and returns the window to picture, or nullptr when
// `scene` is none of these:
// - "delete-question": the Delete key on the conflict list's row of
//   sample_trader, whose question stays on screen over the window;
// - "clean-question": Clean Cells, whose question stays on screen;
//   (the questions are modal: whoever takes the picture closes the one on
//   screen afterwards, which answers No, so nothing is changed);
// - "changes": Auto Delete Unclean and then Clean Cells on the chosen
//   plugins, every question answered as it proposes (Yes to the cleans),
//   then the window with its "Changes Made" list; nullptr, and nothing
//   cleaned, unless the start-up check has read the plugins and each lies
//   inside the temporary folder.
QWidget* OpenSceneForPicture(CMainFrame& frame, const QString& scene);

}  // namespace vantor
