#pragma once
// What the status bar says when an operation has ended: what ran, with the
// counts the operation itself reported. A stopped or failed operation says
// so; only a whole run is told as done.
#include <string>

#include "document/Outcome.h"

namespace vantor {

// `command` is the name of the menu command that started the operation
// ("View File Data"), or empty when none is known; it names the listings,
// which the outcome alone cannot tell apart.
std::string OperationSummary(const COutcome& outcome, const std::string& command = {});

// A count as the window shows it: digits grouped as in the list captions
// ("1,234" in an English locale), as UTF-8.
std::string Grouped(std::size_t n);
// "1 conflict", "1,234 conflicts".
std::string GroupedCount(std::size_t n, const char* one, const char* many);

}  // namespace vantor
