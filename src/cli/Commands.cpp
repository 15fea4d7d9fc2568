// Every area's command registration; add one line per area.
#include "cli/Common.h"

namespace vantor::cli {

const std::vector<CAddCommands> kCommandAreas = {
};

}  // namespace vantor::cli
