#pragma once
// A small streaming JSON writer; plugin texts are Windows-1252 bytes and are
// converted to UTF-8 here.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::cli {

std::string Cp1252ToUtf8(std::string_view bytes);
// A command-line argument (UTF-8) in the game's code page. An argument that
// is not UTF-8, or holds a character the code page lacks, is taken as bytes.
std::string Utf8ToCp1252(std::string_view utf8);
// Text that may hold file names as the file system has them (UTF-8 here)
// beside plugin text (Windows-1252), for the terminal or JSON: well-formed
// UTF-8 stays as it is, every other byte is read as Windows-1252.
std::string DisplayText(std::string_view bytes);

class CJsonWriter {
public:
    explicit CJsonWriter(std::ostream& out) : m_out(out) {}
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(std::string_view key);
    CJsonWriter& String(std::string_view cp1252);
    // A file name or other text already fit for display (see DisplayText).
    CJsonWriter& Name(std::string_view name);
    CJsonWriter& Number(long long value);
    CJsonWriter& Bool(bool value);

private:
    void Separate();
    void Quoted(std::string_view utf8);
    std::ostream& m_out;
    std::vector<bool> m_first;  // per open container: nothing written yet
    bool m_afterKey = false;
};

}  // namespace vantor::cli
