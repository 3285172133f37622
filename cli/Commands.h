// The kvplm commands. Each takes the global options (with its own arguments
// in options.args) and returns the exit code.
#pragma once

#include "Cli.h"

#include <string>
#include <vector>

namespace Cli {

struct Command {
    const char* name;
    const char* usage;   // arguments after the name
    const char* summary; // one line
    int (*run)(Options& options);
};

const std::vector<Command>& Commands();

int RunInfo(Options& options);
int RunTransceive(Options& options);
int RunRawRead(Options& options);

} // namespace Cli
