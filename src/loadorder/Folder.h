#pragma once
// Small helpers the two sources share.
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace vantor::loadorder {

using platform::EndsWithNoCase;
using platform::LowerAscii;
// The names of the regular files directly in `folder` (ending with a
// separator; "" is the working folder), symbolic links followed, in the order
// the system lists them; none when the folder cannot be listed.
std::vector<std::string> RegularFilesIn(const std::string& folder);
bool IsFolder(const std::string& path);

}  // namespace vantor::loadorder
