#include "document/operations/MergedPatchOperation.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>

#include "document/Operation.h"
#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace vantor {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The masters the plugins' headers name that no read file is.
std::vector<std::string> MissingMasters(const CFileList& files) {
    std::unordered_set<std::string> read;
    for (const CPluginFile* f : files.MasterFiles()) read.insert(Lower(f->FileName()));
    for (const CPluginFile* f : files.PluginFiles()) read.insert(Lower(f->FileName()));
    std::vector<std::string> missing;
    std::unordered_set<std::string> told;
    for (const CPluginFile* f : files.PluginFiles())
        for (const std::string& master : f->HeaderMasters())
            if (!read.count(Lower(master)) && told.insert(Lower(master)).second) missing.push_back(master);
    return missing;
}

class CMergedPatchOperation : public COperation {
public:
    CMergedPatchOperation(EOperation code, CDocState state, CMergedPatchRequest request)
        : COperation(code, std::move(state)) {
        m_outcome.m_mergedPatch = CMergedPatchOutcome{std::move(request), nullptr, false, {}, {}};
    }

    void Run(COperationContext& context) override {
        CMergedPatchOutcome& out = *m_outcome.m_mergedPatch;
        const CFileList& files = State().m_files;
        CFrameLink& link = context.Link();
        out.m_missingMasters = MissingMasters(files);
        const std::vector<CPluginFile*> plugins = files.PluginFiles();
        context.Progress("Merging Records", 1);
        auto result = std::make_shared<merge::CMergeResult>(
            merge::MergeRecords(plugins, files.MasterFiles(), context.Ages(), context.Stop()));
        context.Progress("Merging Records", 0);
        out.m_result = result;
        if (result->m_stopped || context.Stopped()) {
            m_outcome.m_stopped = true;
            return;
        }
        if (out.m_request.m_dryRun) return;
        if (result->m_records.empty()) {
            link.Tell("Nothing to Merge.\nNo leveled list or object record is changed by two plugins in ways the "
                      "newest of them does not hold already.\nNo Merged Patch was written.",
                      "Not Found", EIcon::Information);
            return;
        }
        const auto path = PrepareOutput(out.m_request.m_output, FilesInUse(files),
                                        out.m_request.m_replaceAgreed ? EReplace::Agreed : EReplace::Ask,
                                        "Make Merged Patch", link);
        if (!path) return;
        const std::string bytes = merge::PatchBytes(*result);
        if (const CWriteResult sources = merge::CheckSources(*result); !sources.Ok()) {
            link.Tell(sources.m_path +
                          (sources.m_failure == EWriteFailure::ChangedOnDisk ? ": the file has changed since it was read."
                                                                              : ": the file could not be read again.") +
                          "\nNo Merged Patch was written; load the plugins again before making one.",
                      "Error", EIcon::Stop);
            return;
        }
        const COutputWrite written = WriteOutputFile(*path, bytes);
        if (!written.Ok()) {
            link.Ask(CMessage{written.m_failed == COutputWrite::EStep::Create ? FileErrorMessage(written.m_error, *path)
                                                                               : "Could not write " + *path,
                              "VANTOR", EButtons::Ok, EIcon::Exclamation, EAnswer::Ok});
            return;
        }
        out.m_written = true;
        out.m_output = *path;
        // The game loads plugins by file time: the patch goes after every
        // plugin it merged, even one whose time lies ahead.
        std::int64_t newest = std::int64_t(std::time(nullptr));
        for (const CPluginFile* p : plugins)
            if (auto t = platform::LastWriteTime(p->FullPath())) newest = std::max(newest, *t + 1);
        if (!platform::SetFileTimes(*path, {newest, 0, newest, 0}))
            link.Tell("The Merged Patch " + *path +
                          " was written, but its file time could not be set: it may not load last.",
                      "Warning", EIcon::Exclamation);
    }
};

}  // namespace

std::string OpenMWContentLine(const std::string& patchPath) { return "content=" + platform::FileNameOf(patchPath); }

std::unique_ptr<COperation> MakeMergedPatchOperation(EOperation code, CDocState state, CMergedPatchRequest request) {
    return std::make_unique<CMergedPatchOperation>(code, std::move(state), std::move(request));
}

}  // namespace vantor
