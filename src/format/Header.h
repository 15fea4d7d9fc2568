#pragma once
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// The masters named by MAST subrecords in a file's TES3 header record, in
// order; nullopt when the file cannot be read or does not begin with "TES3".
std::optional<std::vector<std::string>> ReadHeaderMasters(const std::string& path);

}  // namespace vantor
