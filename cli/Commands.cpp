#include "Commands.h"

#include <algorithm>

namespace Cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
} // namespace

Registration::Registration(const Command& command) {
    Registry().push_back(command);
}

std::vector<Command> Commands() {
    std::vector<Command> sorted = Registry();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Command& a, const Command& b) { return a.order < b.order; });
    return sorted;
}

std::string TakePort(Options& options) {
    if (options.args.empty()) throw UsageError{"PORT is missing"};
    const std::string port = options.args.front();
    options.args.erase(options.args.begin());
    return port;
}

void NoMoreArgs(const Options& options) {
    if (!options.args.empty()) throw UsageError{"unexpected argument \"" + options.args.front() + "\""};
}

} // namespace Cli
