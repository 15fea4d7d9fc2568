// Settings files are edited by hand and shared between players: any bytes
// must parse, survive untouched, and take a write that reads back exactly.
#include <algorithm>
#include <cstdint>
#include <span>

#include "FuzzKit.h"
#include "platform/Profile.h"

using vantor::fuzz::Check;
using vantor::platform::CProfile;

namespace {

// Sets the value, then checks that the new text reads it back and that a
// second parse of that text gives the text again.
void SetAndReadBack(CProfile& profile, std::string_view section, std::string_view key, std::string_view value) {
    if (!profile.Set(section, key, value)) return;
    CProfile again;
    again.Parse(profile.Text());
    Check(again.Text() == profile.Text());
    Check(again.Get(section, key) == std::string(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CProfile profile;
    profile.Parse(text);
    Check(profile.Text() == text);

    profile.Get("Options", "DefaultOps");
    profile.GetStruct("Options", "ConflictChecks", 152);
    profile.GetNumbered("Game Files", "GameFile");

    // Names and a value taken from the input itself, so that they can collide
    // with what the file holds.
    std::string_view tail = text.substr(size > 24 ? size - 24 : 0);
    std::string_view section = tail.substr(0, tail.size() / 3);
    std::string_view key = tail.substr(tail.size() / 3, tail.size() / 3);
    std::string_view value = tail.substr(2 * (tail.size() / 3));
    SetAndReadBack(profile, "Options", "DefaultOps", value);
    SetAndReadBack(profile, section, "Find0", value);
    SetAndReadBack(profile, "FindObj", key, value);
    SetAndReadBack(profile, section, key, value);

    std::span<const std::uint8_t> bytes(data, size < 32 ? size : 32);
    auto decoded = vantor::platform::DecodeStruct(vantor::platform::EncodeStruct(bytes), bytes.size());
    Check(decoded && std::equal(decoded->begin(), decoded->end(), bytes.begin(), bytes.end()));
    vantor::platform::DecodeStruct(text, size / 2 > 0 ? size / 2 - 1 : 0);
    return 0;
}
