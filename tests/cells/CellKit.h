#pragma once
// Helpers of the cell cleaning tests.
#include <memory>
#include <string>

#include "cells/CellClean.h"
#include "fixtures/PluginBuilder.h"

namespace vantor::cells::testing {

using fixtures::ReadPluginAt;

// The plugin's bytes as cleaning leaves them: changed cells with their new
// data, junk cells left out, the header's record count kept true.
std::string Apply(const std::string& bytes, const CPluginCells& result);

// Cleans `plugin` in memory as the writer will (changed cells get their new
// data, junk cells are left out), writes it under its name into `scratch`,
// and checks that it reads back, that a second analysis finds nothing more,
// and that each changed cell kept every other subrecord in order. Returns
// the first analysis.
CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch);

}  // namespace vantor::cells::testing
