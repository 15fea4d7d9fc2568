#include "document/Extraction.h"

#include <new>

#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace vantor {

bool TellIfNotAFile(CUserLink& link, const std::string& path) {
    const platform::CPathProbe probe = platform::ProbePath(platform::ResolvePath(path).value_or(path));
    if (!probe.m_known || !probe.Exists() || probe.m_kind == platform::EFileKind::Regular) return false;
    link.Tell(CNotAFileNotice{path, probe.m_kind});
    return true;
}

bool FindMasters(CFileList& files, const loadorder::CLoadOrder& loadOrder) {
    if (files.Has(EFileRole::FoundMaster)) return true;
    // Found in load order and listed in the reverse, as the masters were
    // always kept.
    const std::vector<loadorder::CGameFile> masters = loadOrder.Masters();
    for (auto it = masters.rbegin(); it != masters.rend(); ++it) {
        // A file the user chose (as plugin or as master plugin) is read as
        // such, never a second time as a found master.
        if (files.IsChosen(it->m_name)) continue;
        files.Append({it->m_name, it->m_folder, EFileRole::FoundMaster, nullptr});
    }
    return files.Has(EFileRole::FoundMaster);
}

CExtractionCount ExtractFiles(CDocState& state, const COperationContext& context, std::vector<CUnreadFile>& unread) {
    const CExtractOpts opts = state.m_options.m_extractOpts;
    CFileList& files = state.m_files;
    CExtractionCount count;
    std::string text;
    auto readOne = [&](const std::string& name, const std::string& folder) -> std::shared_ptr<CPluginFile> {
        auto file = std::make_shared<CPluginFile>();
        if (!file->Open(name, folder)) {
            const bool told = TellIfNotAFile(context.Link(), folder + name);
            unread.push_back({name, folder, told ? CUnreadFile::EWhy::NotAFile : CUnreadFile::EWhy::NotOpened, told});
            ++count.m_unreadable;
            return nullptr;
        }
        if (!file->ReadRecords(context.Stop().Flag(), opts)) {
            const CReadDiagnostic& why = file->Diagnostic();
            // A file that is no plugin, or that could not be read, is named:
            // left out in silence, it would read as a file without findings.
            const bool told = why.m_kind != CReadDiagnostic::EKind::None;
            if (told) context.Link().Tell(CReadFailedNotice{folder + name, why});
            // A read cut short by a stop is no fault of the file.
            if (!context.Stopped()) {
                ++count.m_unreadable;
                unread.push_back({name, folder,
                                  why.m_kind == CReadDiagnostic::EKind::NotAPlugin ? CUnreadFile::EWhy::NotAPlugin
                                                                                   : CUnreadFile::EWhy::ReadFailed,
                                  told});
            }
            return nullptr;
        }
        // A stop ends the reading after any record and leaves part of the
        // file: such a file is read again, whole, by the next extraction.
        if (context.Stopped()) return nullptr;
        file->Close();
        // What the reader passed over is told once for the file: each kind
        // of damage with the record and the offset where it was first met.
        if (!file->Diagnostics().empty()) context.Link().Tell(CReadDamageNotice{folder + name, file->Diagnostics()});
        return file;
    };
    try {
        if (state.m_options.m_loadEsms && !state.m_mastersLoaded && FindMasters(files, *state.m_loadOrder)) {
            std::vector<CLoadedFile*> masters;
            for (const CLoadedFile* m : files.Of(EFileRole::FoundMaster))
                masters.push_back(files.Find(EFileRole::FoundMaster, m->m_name));
            const int total = int(masters.size());
            int step = 0;
            text = platform::PercentText("Extracting Master Esm Data ", 0, total);
            context.Progress(text, total);
            for (CLoadedFile* master : masters) {
                // Read already by an extraction that was stopped.
                if (!master->m_file) {
                    master->m_file = readOne(master->m_name, master->m_folder);
                    if (master->m_file) ++count.m_masters;
                }
                text = platform::PercentText("Extracting Master Esm Data ", ++step, total);
                context.Progress(text, total);
                if (context.Stopped()) break;
            }
            // A stopped phase is finished by the next extraction: checks
            // against half the masters would tell wrong original files.
            if (!context.Stopped()) state.m_mastersLoaded = true;
            context.Progress(text, 0);
        }

        const std::vector<const CLoadedFile*> pendingItems = files.Of(EFileRole::Pending);
        std::vector<CLoadedFile> pending;
        for (const CLoadedFile* p : pendingItems) pending.push_back(*p);
        int total = int(pending.size());
        int step = 0;
        const CLoadedFile* pendingMaster = files.First(EFileRole::PendingMaster);
        if (state.m_checkMode == ECheckMode::SingleVersus && pendingMaster && !files.Has(EFileRole::MasterPlugin) &&
            !context.Stopped()) {
            CLoadedFile master = *pendingMaster;
            ++total;
            text = platform::PercentText("Extracting Plugin Data ", 0, total);
            context.Progress(text, total);
            if ((master.m_file = readOne(master.m_name, master.m_folder))) {
                files.RemoveRole(EFileRole::PendingMaster);
                master.m_role = EFileRole::MasterPlugin;
                files.Append(std::move(master));
                ++count.m_plugins;
            } else if (!context.Stopped()) {
                files.RemoveRole(EFileRole::PendingMaster);
            }
            step = 1;
            text = platform::PercentText("Extracting Plugin Data ", step, total);
            context.Progress(text, total);
        } else {
            text = platform::PercentText("Extracting Plugin Data ", 0, total);
            context.Progress(text, total);
        }

        if (!pending.empty()) {
            // The list is brought up to date once, not for every plugin: a
            // load order may name hundreds of thousands.
            std::size_t settled = 0;
            std::vector<CLoadedFile> read;
            try {
                for (CLoadedFile& plugin : pending) {
                    // Plugins a stop kept from being read stay chosen, for
                    // the next extraction.
                    if (context.Stopped()) {
                        ++count.m_left;
                        continue;
                    }
                    plugin.m_file = readOne(plugin.m_name, plugin.m_folder);
                    if (!plugin.m_file && context.Stopped()) {
                        ++count.m_left;
                        continue;
                    }
                    ++settled;
                    if (plugin.m_file) {
                        plugin.m_role = EFileRole::Plugin;
                        read.push_back(std::move(plugin));
                        ++count.m_plugins;
                    }
                    text = platform::PercentText("Extracting Plugin Data ", ++step, total);
                    context.Progress(text, total);
                }
            } catch (...) {
                files.SettlePending(settled, std::move(read));
                throw;
            }
            files.SettlePending(settled, std::move(read));
            context.Progress(text, 0);
        }
    } catch (const std::bad_alloc&) {
        throw;  // the worker tells the user what ran out
    } catch (const std::exception&) {
        context.Link().Tell(CFileErrorNotice{});
        // The progress display does not outlive the failure.
        context.Link().Progress(text, 0);
        ++count.m_unreadable;
    }
    return count;
}

}  // namespace vantor
