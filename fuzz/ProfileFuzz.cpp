// Settings files are edited by hand, by launchers and shared between players:
// any bytes must parse both as the game's ini file and as an openmw.cfg. The
// ini survives untouched and takes writes that read back exactly; every
// openmw.cfg path resolves, and a quoted path reads back as the text it quotes.
// A failed check aborts: the trace names its line.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "loadorder/OpenMWConfig.h"
#include "platform/Profile.h"

using namespace vantor;

static void Check(bool ok) {
    if (!ok) std::abort();
}

static bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::CProfile profile;
    profile.Parse(text);
    Check(profile.Text() == text);
    profile.Get("Options", "DefaultOps");
    profile.GetStruct("Options", "ConflictChecks", 152);
    profile.GetNumbered("Game Files", "GameFile");
    // Names and a value taken from the input itself, so that they can collide
    // with what the file holds. A second parse of the new text gives it again.
    const std::string_view tail = text.substr(size > 24 ? size - 24 : 0);
    const std::string_view section = tail.substr(0, tail.size() / 3), key = tail.substr(section.size(), section.size());
    const std::string_view value = tail.substr(2 * section.size());
    for (auto [s, k] : {std::pair{std::string_view("Options"), std::string_view("DefaultOps")}, {section, "Find0"},
                        {"FindObj", key}, {section, key}}) {
        if (!profile.Set(s, k, value)) continue;
        platform::CProfile again;
        again.Parse(profile.Text());
        Check(again.Text() == profile.Text() && again.Get(s, k) == std::string(value));
    }
    const std::span<const std::uint8_t> bytes(data, std::min<std::size_t>(size, 32));
    auto decoded = platform::DecodeStruct(platform::EncodeStruct(bytes), bytes.size());
    Check(decoded && std::equal(decoded->begin(), decoded->end(), bytes.begin(), bytes.end()));
    platform::DecodeStruct(text, size / 2 > 0 ? size / 2 - 1 : 0);

    for (const auto& e : loadorder::ParseConfigText(text)) {
        Check(!e.m_key.empty() && e.m_key.find('\n') == std::string::npos && e.m_value.find('\n') == std::string::npos);
        Check(!Blank(e.m_key.front()) && !Blank(e.m_key.back()) &&
              (e.m_value.empty() || (!Blank(e.m_value.front()) && !Blank(e.m_value.back()))));
        // Only a value that starts with a quote is unquoted, and only shortened.
        const std::string unquoted = loadorder::UnquotePath(e.m_value);
        Check(unquoted.size() <= e.m_value.size() && (e.m_value.starts_with('"') || unquoted == e.m_value));
        loadorder::ResolveConfigPath(e.m_value, "/home/me/",
                                     {"/cfg/", "/data/", "/etc/openmw/", "/usr/share/games/openmw/"});
    }
    std::string quoted = "\"";
    for (char c : text) quoted += (c == '&' || c == '"') ? std::string{'&', c} : std::string(1, c);
    Check(loadorder::UnquotePath(quoted + '"') == text);
    return 0;
}
