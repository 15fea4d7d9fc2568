#pragma once
// The toolbar and tree icons, painted in code at 16 pixels so the program
// needs no image files.
#include <QIcon>

namespace vantor::icons {

enum class EIcon {
    NewCheck, ChoosePlugins, SaveResults, Options, ViewFileData, FindObject, DefaultCheck,
    ToggleConflict, ToggleWarning, ToggleEditor, Print, About, TreeRoot, TreeFile, App
};

QIcon Make(EIcon icon);

}  // namespace vantor::icons
