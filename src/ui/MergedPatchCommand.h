#pragma once
// Operations > "Make Merged Patch": asks where the patch goes, then starts
// the document's merge on the chosen plugins.
namespace vantor {

class CVANTORDoc;
class CFrameLink;

void MakeMergedPatch(CVANTORDoc& doc, CFrameLink& link);

}  // namespace vantor
