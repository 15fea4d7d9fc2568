#pragma once
// Where the main window was, and how its panes and list columns were laid
// out, when it last closed. Kept in the settings file under a section of its
// own, written only where a value changed, so the option set's sections and
// every other byte of the file stay as they are.
#include <QList>
#include <QRect>
#include <QSize>
#include <array>
#include <string>
#include <vector>

namespace vantor {

struct CWindowState {
    static constexpr const char* kSection = "Window";

    bool m_known = false;      // a placement was stored
    QRect m_normal;            // the client area when not maximized
    bool m_maximized = false;
    std::array<QList<int>, 3> m_splitters;  // sizes of S0, S1, S2
    std::array<QList<int>, 3> m_columns;    // per list; 0 = sized to its content
    QSize m_helpSize;                       // the help window's; invalid: never shown
    // File > Recent Plugin Sets, the most recent first, each a list of paths.
    static constexpr int kRecentSets = 5;
    std::vector<std::vector<std::string>> m_recentSets;

    // What the file holds; fields that are missing or damaged keep their
    // defaults.
    static CWindowState Load(const std::string& settingsPath);
    bool Save(const std::string& settingsPath) const;
};

}  // namespace vantor
