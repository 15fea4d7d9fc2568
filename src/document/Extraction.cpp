#include "document/Extraction.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>

#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

namespace {

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == Lower(suffix);
}

std::string Percent(const char* prefix, int step, int total) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s%d%% complete", prefix, total ? step * 100 / total : 0);
    return buf;
}

// The data folder's "*.esm" files in one fixed order on every platform:
// names compared without regard to case, as the game's platform lists them.
std::vector<std::string> ListMasters(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && EndsWithNoCase(name, ".esm") && platform::FileExists(folder + name)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        auto la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

}  // namespace

void TellIfNotAFile(CFrameLink& link, const std::string& path) {
    const platform::CPathProbe probe = platform::ProbePath(platform::ResolvePath(path).value_or(path));
    if (probe.m_known && probe.Exists() && probe.m_kind != platform::EFileKind::Regular)
        link.Tell(path + "\nNot a regular file but " + platform::KindWords(probe.m_kind) + ": it is neither read nor written.",
                  "VANTOR", EIcon::Exclamation);
}

bool FindMasters(CFileList& files, const std::string& dataDir) {
    if (files.Has(EFileRole::FoundMaster)) return true;
    // Found in name order and listed in the reverse, as the masters were
    // always kept.
    std::vector<std::string> names = ListMasters(dataDir);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        // A file the user chose (as plugin or as master plugin) is read as
        // such, never a second time as a found master.
        if (files.IsChosen(*it)) continue;
        files.Append({*it, dataDir, EFileRole::FoundMaster, nullptr});
    }
    return files.Has(EFileRole::FoundMaster);
}

void ExtractFiles(CDocState& state, const COperationContext& context) {
    const CExtractOpts opts = state.m_options.m_extractOpts;
    CFileList& files = state.m_files;
    std::string text;
    auto readOne = [&](const std::string& name, const std::string& folder) -> std::shared_ptr<CPluginFile> {
        auto file = std::make_shared<CPluginFile>();
        if (!file->Open(name, folder)) {
            TellIfNotAFile(context.Link(), folder + name);
            return nullptr;
        }
        if (!file->ReadRecords(context.Stop(), opts)) {
            if (file->Diagnostic().m_kind == CReadDiagnostic::EKind::Exception)
                context.Link().Ask({file->Diagnostic().m_message, "VANTOR", EButtons::Ok, EIcon::Stop, EAnswer::Ok});
            return nullptr;
        }
        file->Close();
        return file;
    };
    try {
        if (state.m_options.m_loadEsms && !state.m_mastersLoaded && FindMasters(files, state.m_dataDir)) {
            std::vector<CLoadedFile*> masters;
            for (const CLoadedFile* m : files.Of(EFileRole::FoundMaster))
                masters.push_back(files.Find(EFileRole::FoundMaster, m->m_name));
            const int total = int(masters.size());
            int step = 0;
            text = Percent("Extracting Master Esm Data ", 0, total);
            context.Progress(text, total);
            for (CLoadedFile* master : masters) {
                master->m_file = readOne(master->m_name, master->m_folder);
                text = Percent("Extracting Master Esm Data ", ++step, total);
                context.Progress(text, total);
                if (context.Stopped()) break;
            }
            state.m_mastersLoaded = 1;
            context.Progress(text, 0);
        }

        const std::vector<const CLoadedFile*> pendingItems = files.Of(EFileRole::Pending);
        std::vector<CLoadedFile> pending;
        for (const CLoadedFile* p : pendingItems) pending.push_back(*p);
        int total = int(pending.size());
        int step = 0;
        const CLoadedFile* pendingMaster = files.First(EFileRole::PendingMaster);
        if (state.m_checkMode == ECheckMode::SingleVersus && pendingMaster && !files.Has(EFileRole::MasterPlugin)) {
            CLoadedFile master = *pendingMaster;
            ++total;
            text = Percent("Extracting Plugin Data ", 0, total);
            context.Progress(text, total);
            files.RemoveRole(EFileRole::PendingMaster);
            if ((master.m_file = readOne(master.m_name, master.m_folder))) {
                master.m_role = EFileRole::MasterPlugin;
                files.Append(std::move(master));
            }
            step = 1;
            text = Percent("Extracting Plugin Data ", step, total);
            context.Progress(text, total);
        } else {
            text = Percent("Extracting Plugin Data ", 0, total);
            context.Progress(text, total);
        }

        if (!pending.empty()) {
            for (CLoadedFile& plugin : pending) {
                plugin.m_file = readOne(plugin.m_name, plugin.m_folder);
                files.Remove(EFileRole::Pending, plugin.m_name);
                if (plugin.m_file) {
                    plugin.m_role = EFileRole::Plugin;
                    files.AddReadPlugin(std::move(plugin));
                }
                text = Percent("Extracting Plugin Data ", ++step, total);
                context.Progress(text, total);
                if (context.Stopped()) break;
            }
            // Plugins a stop kept from being read are no longer chosen either.
            files.RemoveRole(EFileRole::Pending);
            context.Progress(text, 0);
        }
    } catch (const std::exception&) {
        context.Link().Ask({"File Error", "Error", EButtons::Ok, EIcon::None, EAnswer::Ok});
        // The progress display does not outlive the failure.
        context.Link().Progress(text, 0);
    }
}

}  // namespace vantor
