#pragma once
// Text inside plugins is bytes in the game's code page, Windows-1252. Where
// it meets a person it is converted: to Unicode for the window, to UTF-8 for
// the terminal and JSON, and back from what the user typed.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::cp1252 {

// The character of a byte. The five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// value, so every byte string survives a decode and encode unchanged.
char32_t Decode(unsigned char byte);
// The byte of a character; nullopt when the code page has none ("ł").
std::optional<unsigned char> Encode(char32_t character);

std::string ToUtf8(std::string_view bytes);
// nullopt when the text is not UTF-8 or holds a character the code page lacks.
std::optional<std::string> FromUtf8(std::string_view utf8);

// Lower case as the game's code page has it: A-Z, the accented capitals
// 0xC0-0xDE (not 0xD7, the multiplication sign) and Š, Œ, Ž and Ÿ of
// 0x80-0x9F. Every other byte maps to itself, so the fold never depends on
// the locale the program runs in.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[std::size_t(c)] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c) table[std::size_t(c)] = static_cast<unsigned char>(c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) table[std::size_t(c)] = static_cast<unsigned char>(c + 0x20);
    table[0x8A] = 0x9A;  // Š
    table[0x8C] = 0x9C;  // Œ
    table[0x8E] = 0x9E;  // Ž
    table[0x9F] = 0xFF;  // Ÿ
    return table;
}
// Searches fold every byte they compare, so the table is inline.
inline constexpr std::array<unsigned char, 256> kFoldTable = MakeFoldTable();
constexpr unsigned char Fold(unsigned char byte) { return kFoldTable[byte]; }
std::string Fold(std::string_view text);

}  // namespace vantor::cp1252
