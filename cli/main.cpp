// kvplm: the readers of the family from the command line.
#include "Commands.h"
#include "Help.h"
#include "LinkApi.h"
#include "Progress.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

void TraceLine(int, const char* line) {
    std::fputs(line, stderr);
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
        const bool longHelp = Cli::TakeFlag(args, "--help");
        const bool help = Cli::TakeFlag(args, "-h") || longHelp;
        if (args.empty()) {
            // "kvplm" alone is a usage error; "kvplm --help" asks for it.
            Cli::PrintUsage(help ? stdout : stderr);
            return help ? Cli::ExitOk : Cli::ExitUsage;
        }
        const std::string name = args.front();
        args.erase(args.begin());
        if (const Cli::Command* command = Cli::FindCommand(name)) {
            // "kvplm COMMAND --help", also after a verb ("kvplm lan search --help").
            if (help) {
                Cli::PrintCommandHelp(*command, stdout);
                return Cli::ExitOk;
            }
            options.args = args;
            if (options.trace) {
                LinkSetTraceHook(TraceLine);
                Cli::ProgressLine::Disable();
            }
            return Cli::ExitFor(command->run(options));
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
