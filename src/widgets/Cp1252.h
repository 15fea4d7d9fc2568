#pragma once
// Text inside plugins is Windows-1252 bytes. The GUI decodes it for display
// and encodes what the user types back, byte for byte where it can.
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// Every byte maps to one character. The five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same value, so any byte string survives a decode and encode unchanged.
QString DecodeCp1252(std::string_view bytes);

// What the user typed, in the code page; nullopt when a character has no
// byte there ("ł"), so that nothing else is ever written or searched for.
std::optional<std::string> EncodeCp1252(const QString& text);

}  // namespace vantor
