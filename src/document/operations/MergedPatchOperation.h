#pragma once
// Make Merged Patch: merges the leveled lists and object records the read
// plugins change into a patch plugin, written as any output is (never over
// a file in use, an existing plugin backed up first, all or nothing), with
// a file time newer than every plugin so that it loads last.
#include <memory>
#include <string>

#include "document/Operation.h"

namespace vantor {

// The line an OpenMW configuration needs, at the end of its content list,
// for the patch to load last.
std::string OpenMWContentLine(const std::string& patchPath);

std::unique_ptr<COperation> MakeMergedPatchOperation(const CMergedPatchRequest& request, CDocState state,
                                                     bool readFirst);

}  // namespace vantor
