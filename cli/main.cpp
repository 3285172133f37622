// kvplm: the readers of the family from the command line.
#include "Commands.h"
#include "LinkApi.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

void TraceLine(int, const char* line) {
    std::fputs(line, stderr);
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kvplm [--baud RATE] [--format 0..3] [--timeout MS] [--trace] COMMAND ARGS...\n\n");
    std::fprintf(out,
                 "PORT is the link port name: the port, optionally followed by \":\" and the bus address\n"
                 "(/dev/ttyUSB0:1, /dev/pts/3:2, COM3:1), or \"-\" for the stored port: for the transponder\n"
                 "commands (inventory, read, write, write-epc, password) the one of KV_PLM_Programmer,\n"
                 "for the others the one of Morvane, connected as that program connects.\n"
                 "A reader behind a Bluetooth adapter module: the module's port followed by \" BT\"\n"
                 "(quoted: \"/dev/ttyUSB0 BT:1\"); \"bt scan\" lists the readers the module finds.\n"
                 "--format: 0 8N1, 1 8E1, 2 8O1, 3 8N2.\n\n"
                 "commands:\n");
    for (const Cli::Command& command : Cli::Commands())
        std::fprintf(out, "  %-12s %-28s %s\n", command.name, command.usage, command.summary);
}

} // namespace

int main(int argc, char** argv) {
    Cli::Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        std::string value;
        if (Cli::TakeOption(args, "--baud", value))
            options.baud = Cli::ParseInt(value, "--baud", 1, 4000000), options.baudGiven = true;
        if (Cli::TakeOption(args, "--format", value))
            options.format = Cli::ParseInt(value, "--format", 0, 3), options.formatGiven = true;
        if (Cli::TakeOption(args, "--timeout", value))
            options.timeout = Cli::ParseInt(value, "--timeout", 0, 300000), options.timeoutGiven = true;
        options.trace = Cli::TakeFlag(args, "--trace");
        if (Cli::TakeFlag(args, "--version")) {
            const int library = LinkGetVersion();
            std::printf("kvplm %s (link library %d.%02d)\n", KVPLM_VERSION, library / 100, library % 100);
            return Cli::ExitOk;
        }
        if (Cli::TakeFlag(args, "--help") || Cli::TakeFlag(args, "-h") || args.empty()) {
            PrintUsage(args.empty() && argc == 1 ? stderr : stdout);
            return argc == 1 ? Cli::ExitUsage : Cli::ExitOk;
        }
        const std::string name = args.front();
        args.erase(args.begin());
        for (const Cli::Command& command : Cli::Commands()) {
            if (name != command.name) continue;
            options.args = args;
            if (options.trace) LinkSetTraceHook(TraceLine);
            return command.run(options);
        }
        throw Cli::UsageError{"unknown command \"" + name + "\""};
    } catch (const Cli::UsageError& error) {
        std::cerr << "kvplm: " << error.message << "\n(kvplm --help lists the commands)\n";
        return Cli::ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "kvplm: " << error.what() << "\n";
        return Cli::ExitFailed;
    }
}
