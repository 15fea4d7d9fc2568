#pragma once
// Make Merged Patch: merges the leveled lists and object records the read
// plugins change into a patch plugin, written as any output is (never over
// a file in use, an existing plugin backed up first, all or nothing), with
// a file time newer than every plugin so that it loads last.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "merge/MergedPatch.h"

namespace vantor {

class COperation;
struct CDocState;
enum class EOperation : std::int32_t;

struct CMergedPatchRequest {
    std::string m_output;        // the patch's path
    bool m_dryRun = false;       // merge and report; write nothing
    bool m_replaceAgreed = false;  // the window's file chooser asked about replacing it
};

struct CMergedPatchOutcome {
    CMergedPatchRequest m_request;
    // What was merged; null when the merge did not run. It names the files
    // by pointer: valid while the document holds them (until New Check).
    std::shared_ptr<const merge::CMergeResult> m_result;
    bool m_written = false;
    std::string m_output;  // the path written
    // The masters the plugins name that were not read: their records were
    // merged against the plugins' own copies.
    std::vector<std::string> m_missingMasters;
};

// The line an OpenMW configuration needs, at the end of its content list,
// for the patch to load last.
std::string OpenMWContentLine(const std::string& patchPath);

// `code`: MergedPatch, or ExtractMergedPatch to read the chosen files first.
std::unique_ptr<COperation> MakeMergedPatchOperation(EOperation code, CDocState state, CMergedPatchRequest request);

}  // namespace vantor
