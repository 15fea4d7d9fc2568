// openmw.cfg files are edited by hand and by launchers: any bytes must parse,
// every path value must resolve, and a quoted path must read back as the
// text it quotes.
#include <cstdint>

#include "FuzzKit.h"
#include "loadorder/OpenMWConfig.h"

using namespace vantor::loadorder;
using vantor::fuzz::Check;

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const COpenMWPaths paths{"/cfg/", "/data/", "/etc/openmw/", "/usr/share/games/openmw/"};
    for (const auto& e : ParseConfigText(text)) {
        Check(!e.m_key.empty() && e.m_key.find('\n') == std::string::npos && e.m_value.find('\n') == std::string::npos);
        Check(!Blank(e.m_key.front()) && !Blank(e.m_key.back()));
        Check(e.m_value.empty() || (!Blank(e.m_value.front()) && !Blank(e.m_value.back())));
        // Only a value that starts with a quote is unquoted, and only shortened.
        const std::string unquoted = UnquotePath(e.m_value);
        Check(unquoted.size() <= e.m_value.size() && (e.m_value.starts_with('"') || unquoted == e.m_value));
        ResolveConfigPath(e.m_value, "/home/me/", paths);
    }
    std::string quoted = "\"";
    for (char c : text) quoted += (c == '&' || c == '"') ? std::string{'&', c} : std::string(1, c);
    Check(UnquotePath(quoted + '"') == text);
    return 0;
}
