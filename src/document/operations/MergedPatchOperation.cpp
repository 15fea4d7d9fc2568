#include "document/operations/MergedPatchOperation.h"

#include <algorithm>
#include <ctime>
#include <unordered_set>

#include "document/Operation.h"
#include "document/OutputPath.h"
#include "document/ResultsLog.h"
#include "merge/MergedPatch.h"
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
    CMergedPatchOperation(const CMergedPatchRequest& request, CDocState state, bool readFirst)
        : COperation(request, std::move(state), EActivity::MergingRecords, readFirst), m_request(request) {}

    void Run(COperationContext& context, COutcome& outcome) override {
        CMergedPatchResult& out = outcome.m_mergedPatch.emplace();
        const CFileList& files = State().m_files;
        CFrameLink& link = context.Link();
        out.m_missingMasters = MissingMasters(files);
        const std::vector<CPluginFile*> plugins = files.PluginFiles();
        context.Progress("Merging Records", 1);
        auto result = std::make_shared<merge::CMergeResult>(
            merge::MergeRecords(plugins, files.MasterFiles(), context.Ages(), context.Stop().Flag()));
        context.Progress("Merging Records", 0);
        out.m_merged = result;
        if (result->m_stopped || context.Stopped()) {
            outcome.m_result = EResult::Stopped;
            return;
        }
        if (m_request.m_dryRun) return;
        if (result->m_records.empty()) {
            link.Tell(CNothingToMergeNotice{});
            return;
        }
        const auto path = PrepareOutput(m_request.m_output, FilesInUse(files),
                                        m_request.m_replaceAgreed ? EReplace::Agreed : EReplace::Ask,
                                        EOutput::MergedPatch, link);
        if (!path) {
            outcome.m_result = EResult::Refused;
            outcome.m_reason = EReason::OutputRefused;
            return;
        }
        const std::string bytes = merge::PatchBytes(*result);
        // A source rewritten since it was read would put bytes nobody
        // checked into the patch.
        if (const CWriteResult sources = merge::CheckSources(*result); !sources.Ok()) {
            link.Tell(CPatchSourceChangedNotice{sources.m_path, sources.m_failure == EWriteFailure::ChangedOnDisk});
            outcome.m_result = EResult::Failed;
            outcome.m_reason = EReason::WriteFailed;
            return;
        }
        const COutputWrite written = WriteOutputFile(*path, bytes);
        if (!written.Ok()) {
            if (written.m_failed == COutputWrite::EStep::Create)
                link.Tell(CFileProblemNotice{written.m_error, *path});
            else
                link.Tell(CPatchNotWrittenNotice{*path});
            outcome.m_result = EResult::Failed;
            outcome.m_reason = EReason::WriteFailed;
            return;
        }
        out.m_written = true;
        out.m_output = *path;
        // The game loads plugins by file time: the patch goes after every
        // plugin it merged, even one whose time lies ahead.
        std::int64_t newest = std::int64_t(std::time(nullptr));
        for (const CPluginFile* p : plugins)
            if (auto t = platform::LastWriteTime(p->FullPath())) newest = std::max(newest, *t + 1);
        if (!platform::SetFileTimes(*path, {newest, 0, newest, 0})) link.Tell(CPatchTimeNotSetNotice{*path});
    }

private:
    CMergedPatchRequest m_request;
};

}  // namespace

std::string OpenMWContentLine(const std::string& patchPath) { return "content=" + platform::FileNameOf(patchPath); }

std::unique_ptr<COperation> MakeMergedPatchOperation(const CMergedPatchRequest& request, CDocState state,
                                                     bool readFirst) {
    return std::make_unique<CMergedPatchOperation>(request, std::move(state), readFirst);
}

}  // namespace vantor
