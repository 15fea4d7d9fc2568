#include "checks/FileAges.h"

#include <limits>

#include "platform/Files.h"

namespace vantor {

CFileAge CLastWriteAges::AgeOf(const std::string& path) {
    auto it = m_ages.find(path);
    if (it != m_ages.end()) return it->second;
    // Morrowind.ini is not case-sensitive: the reader found the file the same way.
    const auto resolved = platform::ResolvePath(path);
    const auto time = platform::LastWriteTime(resolved ? *resolved : path);
    const CFileAge age{0, time ? *time : std::numeric_limits<std::int64_t>::min()};
    m_ages.emplace(path, age);
    return age;
}

CFileAge CLoadOrderAges::AgeOf(const std::string& path) {
    auto it = m_ages.find(path);
    if (it != m_ages.end()) return it->second;
    return m_ages.emplace(path, m_order.Age(path)).first->second;
}

}  // namespace vantor
