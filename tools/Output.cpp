#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "MkData.h"

namespace vantor::mkdata {

bool WriteFile(const std::string& path, const std::string& bytes, std::int64_t mtime, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (ec) {
        error = "cannot create the folder of " + path + ": " + ec.message();
        return false;
    }
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
    }
    // The game orders plugins by last-write time, so every file gets its own.
    const auto when = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(mtime)));
    fs::last_write_time(path, when, ec);
    if (ec) {
        error = "cannot set the time of " + path + ": " + ec.message();
        return false;
    }
    return true;
}

bool WriteIni(const std::string& dir, const std::vector<std::string>& gameFiles, std::int64_t mtime,
              std::string& error) {
    // The game's own file uses CRLF line ends.
    std::string text = "[General]\r\nScreenshot Enable=0\r\n\r\n[Game Files]\r\n";
    for (std::size_t i = 0; i < gameFiles.size(); ++i)
        text += "GameFile" + std::to_string(i) + "=" + gameFiles[i] + "\r\n";
    text += "\r\n[Archives]\r\n";
    return WriteFile(dir + "/Morrowind.ini", text, mtime, error);
}

CTemporarySet::CTemporarySet(const CBenchOptions& options) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    std::random_device random;
    // create_directory fails on an existing name, so a folder is never shared.
    for (int tries = 0; tries < 100 && m_folder.empty(); ++tries) {
        const fs::path candidate = base / ("vantor-bench-" + std::to_string(random()));
        if (fs::create_directory(candidate, ec)) m_folder = candidate.string();
    }
    if (m_folder.empty()) {
        m_written = {false, "cannot create a temporary folder: " + ec.message(), {}};
        return;
    }
    m_written = WriteBenchSet(m_folder, options);
}

CTemporarySet::~CTemporarySet() {
    std::error_code ec;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

}  // namespace vantor::mkdata
