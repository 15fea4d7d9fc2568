// Settings files are edited by hand and shared between players: any bytes
// must parse, survive untouched, and take a write that reads back exactly.
#include <algorithm>
#include <cstdint>
#include <span>

#include "FuzzKit.h"
#include "platform/Profile.h"

using namespace vantor::platform;
using vantor::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CProfile profile;
    profile.Parse(text);
    Check(profile.Text() == text);
    profile.Get("Options", "DefaultOps");
    profile.GetStruct("Options", "ConflictChecks", 152);
    profile.GetNumbered("Game Files", "GameFile");

    // Names and a value taken from the input itself, so that they can collide
    // with what the file holds. Each write must read back, and a second parse
    // of the new text must give the text again.
    const std::string_view tail = text.substr(size > 24 ? size - 24 : 0);
    const std::string_view section = tail.substr(0, tail.size() / 3), key = tail.substr(section.size(), section.size());
    const std::string_view value = tail.substr(2 * section.size());
    for (auto [s, k] : {std::pair{std::string_view("Options"), std::string_view("DefaultOps")}, {section, "Find0"},
                        {"FindObj", key}, {section, key}}) {
        if (!profile.Set(s, k, value)) continue;
        CProfile again;
        again.Parse(profile.Text());
        Check(again.Text() == profile.Text() && again.Get(s, k) == std::string(value));
    }

    const std::span<const std::uint8_t> bytes(data, std::min<std::size_t>(size, 32));
    auto decoded = DecodeStruct(EncodeStruct(bytes), bytes.size());
    Check(decoded && std::equal(decoded->begin(), decoded->end(), bytes.begin(), bytes.end()));
    DecodeStruct(text, size / 2 > 0 ? size / 2 - 1 : 0);
    return 0;
}
