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

class CJsonWriter {
public:
    explicit CJsonWriter(std::ostream& out) : m_out(out) {}
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(std::string_view key);
    CJsonWriter& String(std::string_view cp1252);
    CJsonWriter& Number(long long value);
    CJsonWriter& Bool(bool value);

private:
    void Separate();
    std::ostream& m_out;
    std::vector<bool> m_first;  // per open container: nothing written yet
    bool m_afterKey = false;
};

}  // namespace vantor::cli
