#pragma once
// The file tree's content as data: the Qt tree shows it, commands change it.
#include <map>
#include <string>
#include <vector>

namespace vantor {

struct CFileTree {
    enum class ERoot { Master, Plugins };
    struct CSelection {
        ERoot m_root = ERoot::Plugins;
        bool m_isRoot = false;
        std::string m_text;  // the item's text (a file name) when not a root
    };

    static constexpr const char* kMasterRoot = "Master Plugin";
    static constexpr const char* kPluginRoot = "Plugin Files";

    bool m_hasMasterRoot = false;  // only in Single Versus mode; shown first
    std::vector<std::string> m_masterItems;
    std::vector<std::string> m_pluginItems;
    // The folder each item's file lies in, by name (OpenMW's lie in many).
    std::map<std::string, std::string> m_folders;
};

}  // namespace vantor
