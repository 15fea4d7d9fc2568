#pragma once
// What the status bar says when an operation has ended: what ran, with the
// counts the operation itself reported. A stopped or failed operation says
// so; only a whole run is told as done.
#include <string>

#include "document/Operation.h"

namespace vantor {

// `command` is the name of the menu command that started the operation
// ("View File Data"), or empty when none is known; it names the listings,
// which the outcome alone cannot tell apart.
std::string OperationSummary(const COperationOutcome& outcome, const std::string& command = {});

// "1 conflict", "3 conflicts".
std::string CountOf(std::size_t n, const char* one, const char* many);

}  // namespace vantor
