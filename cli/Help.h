// kvplm --help and kvplm help COMMAND: the command list, and one command's
// usage, what it does, its options and its exit codes.
#pragma once

#include "Commands.h"

#include <cstdio>
#include <string>

namespace Cli {

// The general usage: global options, PORT, and the command list, one
// "  NAME  USAGE  SUMMARY" line per command after "commands:" (the bash
// completion reads the names from there).
void PrintUsage(std::FILE* out);

// The registered command of that name; nullptr when there is none.
const Command* FindCommand(const std::string& name);

// "usage: kvplm NAME USAGE", the summary, the command's options and notes,
// and its exit codes.
void PrintCommandHelp(const Command& command, std::FILE* out);

} // namespace Cli
