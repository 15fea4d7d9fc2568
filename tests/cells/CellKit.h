#pragma once
// Helpers of the cell cleaning tests: reading plugins, and a cleaned plugin
// put together in memory the way the writer will write it.
#include <memory>
#include <string>
#include <vector>

#include "cells/CellClean.h"
#include "format/PluginFile.h"

namespace vantor::cells::testing {

// Reads folder + name with every kind of data kept; nullptr on failure.
std::unique_ptr<CPluginFile> Load(const std::string& folder, const std::string& name);

// The file's bytes with every change applied: changed cells get their new
// data (and size field), junk cells are left out, all else is copied.
std::string Apply(const std::string& bytes, const CPluginCells& result);

// Cleans `plugin` in memory, writes the result under the same name into
// `scratch`, and checks that it reads back, that a second analysis finds
// nothing more, and that each changed cell kept every other subrecord in
// order. Returns the first analysis.
CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch);

// A subrecord's bytes.
std::string Sub(const std::string& tag, const std::string& payload);

}  // namespace vantor::cells::testing
