#pragma once

namespace vantor {

class CVANTORDoc;

// Registers every worker operation with the document. Front ends call it
// once after creating the document.
void InstallOperations(CVANTORDoc& doc);

// The input of the check-engine operations, taken from the document.
struct CCheckInputs;
CCheckInputs CheckInputsOf(CVANTORDoc& doc);

}  // namespace vantor
