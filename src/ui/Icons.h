#pragma once
// The toolbar and tree icons, painted in code at 16 pixels so the program
// needs no image files.
#include <QIcon>
#include <QImage>

namespace vantor::icons {

enum class EIcon {
    NewCheck, ChoosePlugins, SaveResults, Options, ViewFileData, FindObject, DefaultCheck, Stop,
    ToggleConflict, ToggleWarning, ToggleEditor, Print, About, TreeRoot, TreeFile, App
};

QIcon Make(EIcon icon);
// The program's icon at any size in pixels, for the desktop's icon theme.
QImage AppImage(int size);

}  // namespace vantor::icons
