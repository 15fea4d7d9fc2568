#pragma once
#include "dialogrepair/RelinkDialog.h"

namespace vantor {

class CVANTORDoc;

// Registers every worker operation with the document. Front ends call it
// once after creating the document.
void InstallOperations(CVANTORDoc& doc);

// The input of the check-engine operations, taken from the document.
struct CCheckInputs;
CCheckInputs CheckInputsOf(CVANTORDoc& doc);

// Worker operation 11: the dialogue relink with the document's files and
// repair plugin; the repair plugin the window named becomes the document's.
CRelinkResult RunRelinkOperation(CVANTORDoc& doc);

}  // namespace vantor
