#include "WindowState.h"

#include <QByteArray>

#include "platform/Profile.h"

namespace vantor {

namespace {

const char* const kColumnKeys[3] = {"ConflictColumns", "WarningColumns", "EditorColumns"};
const char* const kSplitterKeys[3] = {"TreeSplitter", "ListSplitter", "LowerSplitter"};

std::string Join(const QList<int>& values) {
    std::string text;
    for (int i = 0; i < values.size(); ++i) text += (i ? "," : "") + std::to_string(values[i]);
    return text;
}

// Numbers separated by commas, each within [low, 100000]; empty on any fault.
QList<int> Split(const std::string& text, int low = 0) {
    QList<int> values;
    if (text.empty()) return values;
    for (const QByteArray& part : QByteArray::fromStdString(text).split(',')) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (!ok || value < low || value > 100000) return {};
        values.push_back(value);
    }
    return values;
}

// A set's paths in one value, separated by a character no Windows file name
// holds (a Linux name holding it is not kept in the list).
constexpr char kPathSeparator = '|';

std::string RecentKey(int i) { return "RecentSet" + std::to_string(i + 1); }

}  // namespace

CWindowState CWindowState::Load(const std::string& settingsPath) {
    CWindowState state;
    platform::CProfile ini;
    if (ini.Load(settingsPath) != platform::CProfile::ELoad::Read || !ini.HasSection(kSection)) return state;
    // Positions left of or above the primary screen are negative.
    const QList<int> place = Split(ini.Get(kSection, "Placement", ""), -100000);
    if (place.size() == 4 && place[2] > 0 && place[3] > 0) {
        state.m_known = true;
        state.m_normal = QRect(place[0], place[1], place[2], place[3]);
    }
    state.m_maximized = ini.Get(kSection, "Maximized", "0") == "1";
    for (int i = 0; i < 3; ++i) {
        state.m_splitters[std::size_t(i)] = Split(ini.Get(kSection, kSplitterKeys[i], ""));
        state.m_columns[std::size_t(i)] = Split(ini.Get(kSection, kColumnKeys[i], ""));
    }
    const QList<int> help = Split(ini.Get(kSection, "HelpSize", ""), 1);
    if (help.size() == 2) state.m_helpSize = QSize(help[0], help[1]);
    for (int i = 0; i < kRecentSets; ++i) {
        const QByteArray set = QByteArray::fromStdString(ini.Get(kSection, RecentKey(i), ""));
        std::vector<std::string> paths;
        for (const QByteArray& path : set.split(kPathSeparator))
            if (!path.isEmpty()) paths.push_back(path.toStdString());
        if (!paths.empty()) state.m_recentSets.push_back(std::move(paths));
    }
    return state;
}

bool CWindowState::Save(const std::string& settingsPath) const {
    platform::CProfile ini;
    const auto loaded = ini.Load(settingsPath);
    if (loaded == platform::CProfile::ELoad::Failed) return false;
    const QRect& r = m_normal;
    bool stored = ini.Set(kSection, "Placement",
                          std::to_string(r.x()) + "," + std::to_string(r.y()) + "," + std::to_string(r.width()) + "," +
                              std::to_string(r.height()));
    stored = ini.Set(kSection, "Maximized", m_maximized ? "1" : "0") && stored;
    for (int i = 0; i < 3; ++i)
        if (!m_splitters[std::size_t(i)].isEmpty())
            stored = ini.Set(kSection, kSplitterKeys[i], Join(m_splitters[std::size_t(i)])) && stored;
    for (int i = 0; i < 3; ++i)
        if (!m_columns[std::size_t(i)].isEmpty())
            stored = ini.Set(kSection, kColumnKeys[i], Join(m_columns[std::size_t(i)])) && stored;
    if (m_helpSize.isValid())
        stored = ini.Set(kSection, "HelpSize", Join({m_helpSize.width(), m_helpSize.height()})) && stored;
    for (int i = 0; i < kRecentSets; ++i) {
        std::string set;
        if (std::size_t(i) < m_recentSets.size())
            for (const std::string& path : m_recentSets[std::size_t(i)]) (set.empty() ? set : set += kPathSeparator) += path;
        // A key written once is emptied when its set is gone.
        if (!set.empty() || ini.Get(kSection, RecentKey(i))) stored = ini.Set(kSection, RecentKey(i), set) && stored;
    }
    if (!ini.Changed()) return stored;
    return ini.Save(settingsPath) && stored;
}

}  // namespace vantor
