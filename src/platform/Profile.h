#pragma once
// Our stand-in for the Windows private-profile functions: ini files with
// case-insensitive section and key names, values changed in place, new keys
// added to their section and new sections at the end, and "struct" values
// stored as hex digits followed by a checksum byte.
//
// Text is bytes: values come back exactly as stored (minus the surrounding
// blanks and one pair of matching quotes, as the Windows functions strip them).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace vantor::platform {

// An ini file held line by line, so that a write touches only the line of its
// key and every other byte (comments, blank lines, spacing, line ends) stays
// as it was found.
class CProfile {
public:
    enum class ELoad {
        Read,     // the file was read
        Missing,  // no such file: the profile starts empty
        // The file exists but could not be read (the profile is empty), or
        // is not lines of text (a plugin, say: what parses is there). Either
        // way it is no settings file to write.
        Failed
    };

    // Reads `path` (a name differing only in case is found too, and later
    // saves go to that file).
    ELoad Load(const std::string& path);
    // Writes the whole text to `path`, replacing an existing file atomically
    // and keeping its permissions. False when the file or its folder cannot be
    // written (a read-only file, and a file that is not lines of text, are
    // never replaced).
    bool Save(const std::string& path) const;

    void Parse(std::string_view text);
    std::string Text() const;
    // True once a Set* call has changed the text.
    bool Changed() const { return m_changed; }

    bool HasSection(std::string_view section) const;
    // The value of the first matching key in the first matching section, or
    // nullopt when there is none.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    std::string Get(std::string_view section, std::string_view key, std::string_view fallback) const;
    // Sets a value; leaves the text untouched when the value is already that.
    // False (nothing written) when a name or the value cannot be stored in an
    // ini line: empty or blank-padded names, line breaks, NUL, '=' in a key,
    // ']' in a section name.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // A struct value of exactly `size` bytes, or nullopt when it is missing or
    // not valid (wrong length, a non-hex digit, a checksum that does not match).
    std::optional<std::vector<std::uint8_t>> GetStruct(std::string_view section, std::string_view key,
                                                      std::size_t size) const;
    bool SetStruct(std::string_view section, std::string_view key, std::span<const std::uint8_t> bytes);

    // Values of prefix0, prefix1, ... up to the first key that is missing or
    // empty ("GameFile" gives the game's load order).
    std::vector<std::string> GetNumbered(std::string_view section, std::string_view prefix) const;

    // The file Load read, after the case fallback ("" before a Load).
    const std::string& LoadedPath() const { return m_loadedPath; }

private:
    struct CLine {
        std::string m_text;  // without its line end
        std::string m_eol;   // "\r\n", "\n" or "" for a last line without one
    };
    // Index range [begin, end) of the lines of the first matching section
    // (begin is its header), or nullopt.
    struct CRange {
        std::size_t m_header;
        std::size_t m_end;
    };
    std::optional<CRange> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(const CRange& range, std::string_view key) const;
    // Line i as the parser sees it (without a leading byte-order mark).
    std::string_view Content(std::size_t i) const;
    void InsertLine(std::size_t at, std::string text);

    std::vector<CLine> m_lines;
    std::string m_eol = "\r\n";  // line end for lines we add
    std::string m_loadedPath;
    bool m_bomLine = false;
    bool m_changed = false;
};

// Lines of text: no control characters but tabs, line and page breaks. A
// plugin, a master or any other binary file is not.
bool IsTextLines(std::string_view bytes);

// Struct values: every byte as two upper-case hex digits, then the checksum
// (the sum of the bytes modulo 256) as two more.
std::string EncodeStruct(std::span<const std::uint8_t> bytes);
// Upper- and lower-case digits are accepted.
std::optional<std::vector<std::uint8_t>> DecodeStruct(std::string_view text, std::size_t size);

// The private-profile calls as a caller uses them one at a time: every read
// reads the file afresh and every write rewrites it. A missing file reads as
// empty and is created by the first write.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view fallback = {});
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);
std::optional<std::vector<std::uint8_t>> ReadProfileStruct(const std::string& path, std::string_view section,
                                                          std::string_view key, std::size_t size);
bool WriteProfileStruct(const std::string& path, std::string_view section, std::string_view key,
                        std::span<const std::uint8_t> bytes);
std::vector<std::string> ReadNumberedKeys(const std::string& path, std::string_view section,
                                          std::string_view prefix);

}  // namespace vantor::platform
