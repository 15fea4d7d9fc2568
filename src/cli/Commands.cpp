// Every area's command registration; add one line per area.
#include "cli/Common.h"

namespace vantor::cli {

void AddCheckCommands(CLI::App& app, CCommandList& commands);
void AddCleanCommands(CLI::App& app, CCommandList& commands);
void AddConflictCommands(CLI::App& app, CCommandList& commands);
void AddLoadOrderCommands(CLI::App& app, CCommandList& commands);
void AddRelinkCommands(CLI::App& app, CCommandList& commands);
void AddMergeCommands(CLI::App& app, CCommandList& commands);
void AddShowCommands(CLI::App& app, CCommandList& commands);
void AddSearchCommands(CLI::App& app, CCommandList& commands);

const std::vector<CAddCommands> kCommandAreas = {
    AddLoadOrderCommands,
    AddCheckCommands,
    AddConflictCommands,
    AddCleanCommands,
    AddRelinkCommands,
    AddMergeCommands,
    AddShowCommands,
    AddSearchCommands,
};

}  // namespace vantor::cli
