#pragma once
// Texts crossing between the core (bytes) and Qt.
#include <QString>
#include <string>
#include <string_view>

namespace vantor {

// Messages and file names of the core: UTF-8 when they are valid UTF-8 (the
// names a Linux file system gives), otherwise the game's code page.
QString FromCoreText(std::string_view bytes);
// A path for the core: the file system's own encoding.
std::string ToCorePath(const QString& path);

}  // namespace vantor
