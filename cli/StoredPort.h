// PORT "-": the port stored in the settings of Morvane.
#pragma once

#include "Cli.h"

namespace Cli {

// Connects with Morvane's stored settings; prints why on failure and
// returns a value <= 0.
int OpenStoredPort(const Options& options);

} // namespace Cli
