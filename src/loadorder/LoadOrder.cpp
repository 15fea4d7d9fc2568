#include "loadorder/LoadOrder.h"

#include <filesystem>

#include "loadorder/Folder.h"
#include "platform/Files.h"

namespace vantor::loadorder {

std::vector<std::string> RegularFilesIn(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : platform::FsPath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = platform::PathText(it->path().filename());
        // Asks the file itself, so a link to a plugin counts and a link to
        // a folder does not.
        if (platform::FileExists(folder + name)) names.push_back(std::move(name));
    }
    return names;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(platform::FsPath(path), ec);
}

bool IsContentFile(std::string_view name) {
    for (const char* extension : {".esm", ".esp", ".omwgame", ".omwaddon"})
        if (name.size() > std::string_view(extension).size() && EndsWithNoCase(name, extension)) return true;
    return false;
}

bool IsMasterFile(std::string_view name) {
    return (name.size() > 4 && EndsWithNoCase(name, ".esm")) || (name.size() > 8 && EndsWithNoCase(name, ".omwgame"));
}

EHost ThisHost() {
#if defined(_WIN32)
    return EHost::Windows;
#elif defined(__APPLE__)
    return EHost::MacOS;
#else
    return EHost::Linux;
#endif
}

}  // namespace vantor::loadorder
