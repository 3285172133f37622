// The kvplm commands. Each takes the global options (with its own arguments
// in options.args) and returns the exit code. A command registers itself
// from its own source file:
//
//   static const Cli::Registration reg{{"info", "PORT", "identify the reader", 10, RunInfo}};
#pragma once

#include "Cli.h"

#include <string>
#include <vector>

namespace Cli {

struct Command {
    const char* name;
    const char* usage;   // arguments after the name
    const char* summary; // one line
    int order;           // position in the help listing
    int (*run)(Options& options);
};

// All registered commands, sorted by order.
std::vector<Command> Commands();

struct Registration {
    explicit Registration(const Command& command);
};

// The first argument as PORT (removed from args); UsageError when missing.
std::string TakePort(Options& options);
// UsageError when arguments are left over.
void NoMoreArgs(const Options& options);

} // namespace Cli
