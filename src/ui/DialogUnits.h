#pragma once
// Dialog layouts are given in dialog units; this turns them into pixels at
// the usual dialog font (a unit is a quarter of a character's width and an
// eighth of its height).
#include <QRect>

namespace vantor {

inline QRect Du(int x, int y, int w, int h) { return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8); }

}  // namespace vantor
