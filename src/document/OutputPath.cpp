#include "document/OutputPath.h"

#include <cerrno>

#include "document/FileList.h"
#include "document/WriteMessages.h"
#include "format/Backup.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor {

std::vector<std::string> FilesInUse(const CFileList& files) {
    std::vector<std::string> paths;
    for (const CLoadedFile& item : files.Items()) paths.push_back(platform::WithSeparator(item.m_folder) + item.m_name);
    return paths;
}

bool IsFileInUse(const std::string& path, const std::vector<std::string>& inUse) {
    const std::string onDisk = platform::ResolvePath(path).value_or(path);
    for (const std::string& used : inUse)
        if (platform::SameFile(onDisk, platform::ResolvePath(used).value_or(used))) return true;
    return false;
}

std::optional<std::string> PrepareOutput(const std::string& path, const std::vector<std::string>& inUse, EReplace replace,
                                         EOutput output, CUserLink& link) {
    // The game finds its files whatever their case, so neither may an output
    // slip past a plugin by its case.
    const std::string onDisk = platform::ResolvePath(path).value_or(path);
    if (IsFileInUse(onDisk, inUse)) {
        link.Tell(COutputRefusedNotice{path, true, platform::EFileKind::Regular});
        return std::nullopt;
    }

    platform::ClearLastError();
    const platform::CPathProbe probe = platform::ProbePath(onDisk);
    if (!probe.m_known) {
        link.Tell(CFileProblemNotice{platform::LastError(), path});
        return std::nullopt;
    }
    if (!probe.Exists()) return onDisk;
    if (probe.m_kind != platform::EFileKind::Regular) {
        link.Tell(COutputRefusedNotice{path, false, probe.m_kind});
        return std::nullopt;
    }
    // Renaming over a file needs no permission on the file itself; a file
    // the user made read-only is not to be replaced behind their back.
    if ((probe.m_mode & 0222) == 0) {
        link.Tell(CFileProblemNotice{EACCES, path});
        return std::nullopt;
    }
    if (replace == EReplace::Ask && !link.Agrees(CReplaceOutputQuestion{onDisk, output})) return std::nullopt;

    // A plugin, master or earlier repair plugin: kept like any changed plugin.
    CLinkBackupPolicy policy(link);
    const CWriteResult backup = BackUpOutput(onDisk, policy);
    if (backup.m_failure == EWriteFailure::Inspect) {
        link.Tell(CFileProblemNotice{platform::LastError(), path});
        return std::nullopt;
    }
    if (!TellWriteResult(backup, EChange::Update, link)) return std::nullopt;
    return onDisk;
}

COutputWrite WriteOutputFile(const std::string& path, std::string_view bytes) {
    return WriteOutputFile(path, [bytes](const std::function<bool(std::string_view)>& write) { return write(bytes); });
}

COutputWrite WriteOutputFile(const std::string& path, const COutputProducer& produce) {
    const std::string target = platform::ResolveLinks(path);
    std::string folder = platform::FolderOf(target);
    if (folder.empty()) folder = "./";
    COutputWrite result;
    auto failed = [&](COutputWrite::EStep step) {
        result.m_failed = step;
        result.m_error = platform::LastError();
        return result;
    };

    platform::ClearLastError();
    // Working files a killed run left here go first.
    platform::RemoveStaleWorkFiles(folder);
    platform::CFile file;
    if (!file.CreateUnique(folder, platform::FileMode(target).value_or(0644)))
        return failed(COutputWrite::EStep::Create);
    if (!produce([&file](std::string_view bytes) { return file.Write(bytes); }) || !file.Sync()) {
        failed(COutputWrite::EStep::Write);
        file.Discard();
        return result;
    }
    const std::string written = file.Path();
    // A failing close can mean the data never reached the disk.
    if (!file.Close()) {
        failed(COutputWrite::EStep::Write);
        platform::RemoveFile(written);
        return result;
    }
    if (!platform::RenameFile(written, target, true)) {
        failed(COutputWrite::EStep::Write);
        platform::RemoveFile(written);
        return result;
    }
    platform::SyncFolder(folder);
    return result;
}

}  // namespace vantor
