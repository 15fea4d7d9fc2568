#pragma once
// What the load-order tests share: readable failures instead of object
// bytes, and a file written with its folders.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "loadorder/LoadOrder.h"
#include "loadorder/OpenMWConfig.h"

namespace vantor::loadorder {

inline void PrintTo(const CConfigEntry& e, std::ostream* out) { *out << e.m_key << '=' << e.m_value; }
inline void PrintTo(const CGameFile& f, std::ostream* out) { *out << f.m_folder << '|' << f.m_name; }
inline void PrintTo(const CFileAge& a, std::ostream* out) { *out << a.m_tier << ':' << a.m_value; }

inline void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vantor::loadorder
