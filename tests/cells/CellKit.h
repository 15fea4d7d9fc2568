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

// Analyses `plugin` and checks that each changed cell only lost whole
// subrecords, the ones its counts name, and that the plugin as Apply cleans
// it, written into `scratch`, reads back with nothing more to clean.
CPluginCells CleanAndCheck(const CCellCleaner& cleaner, const CPluginFile& plugin, const std::string& scratch);

}  // namespace vantor::cells::testing
