#pragma once
// The document's one list of files: every file the user chose or the master
// search found, with its name, folder, role and, once read, its data.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "format/PluginFile.h"

namespace vantor {

enum class EFileRole : std::uint8_t {
    Pending,        // a chosen plugin not read yet
    PendingMaster,  // the chosen master plugin of Single Versus, not read yet
    Plugin,         // a read plugin
    MasterPlugin,   // the read master plugin of Single Versus
    FoundMaster,    // a master of the data folder (its data once read)
};

struct CLoadedFile {
    std::string m_name;
    std::string m_folder;  // ends with a separator
    EFileRole m_role = EFileRole::Pending;
    // Shared with the result tables whose rows point into it, so a row never
    // outlives the entry it shows.
    std::shared_ptr<CPluginFile> m_file;
};

// The items keep these orders, which every check reproduces: pending plugins
// in the order chosen; read plugins newest batch first, the master plugin
// after them; found masters in the order the search found them.
class CFileList {
public:
    const std::vector<CLoadedFile>& Items() const { return m_items; }

    // Names (or the items) of one role, in list order.
    std::vector<std::string> Names(EFileRole role) const;
    std::vector<const CLoadedFile*> Of(EFileRole role) const;
    const CLoadedFile* First(EFileRole role) const;
    bool Has(EFileRole role) const { return First(role) != nullptr; }
    // The read plugins: plugins, then the master plugin.
    std::vector<const CLoadedFile*> Loaded() const;
    // Whether the name is chosen: pending, read, or the master plugin.
    bool IsChosen(const std::string& name) const;
    std::unordered_set<std::string> ChosenNames() const;
    // The files chosen, as the file system tells files apart: a file chosen
    // again through a link, or in another letter case, is one of them.
    std::vector<platform::CFileId> ChosenFileIds() const;

    // The data of the read plugins in list order, and of the read masters
    // in the reverse of the order they were read (each read master was put
    // first); the operations hand them to the check engine back to front.
    std::vector<CPluginFile*> PluginFiles() const;
    std::vector<CPluginFile*> MasterFiles() const;

    void Append(CLoadedFile file) { m_items.push_back(std::move(file)); }
    // Takes the first `count` pending plugins out, and puts those of them
    // that were read (in reading order) before every plugin read earlier,
    // the last read first: a newly read plugin stands before the older ones.
    void SettlePending(std::size_t count, std::vector<CLoadedFile> read);
    // Takes out the first item of that role (and name, when one is given).
    bool Remove(EFileRole role, const std::string& name = {});
    void RemoveRole(EFileRole role);
    CLoadedFile* Find(EFileRole role, const std::string& name);

private:
    std::vector<CLoadedFile> m_items;
};

}  // namespace vantor
