// kvplm poweron PORT [programming|reader]: read or set the power-on mode.
#include "Commands.h"
#include "PowerOnConfig.h"
#include "SetupCliHost.h"

#include <cstdio>

namespace Cli {

namespace {

int RunPoweron(Options& options) {
    const std::string port = TakePort(options);
    int wanted = -1;
    if (!options.args.empty()) {
        const std::string mode = options.args.front();
        options.args.erase(options.args.begin());
        if (mode == "programming")
            wanted = PowerOnConfig::ProgrammingMode;
        else if (mode == "reader")
            wanted = PowerOnConfig::ReaderMode;
        else
            throw UsageError{"the power-on mode is programming or reader, not \"" + mode + "\""};
    }
    NoMoreArgs(options);

    CSetupCliHost host(port, options);
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) return ExitFailed;
    int result = ExitOk;
    if (wanted < 0) {
        const std::optional<int> mode = PowerOnConfig::Read(connection.session, host);
        if (mode)
            std::printf("%s\n", *mode == PowerOnConfig::ReaderMode ? "reader" : "programming");
        else
            result = ExitFailed;
    } else if (!PowerOnConfig::Write(connection.session, wanted, host)) {
        result = ExitFailed;
    }
    host.CloseSession(connection.session);
    return result;
}

const Registration poweron{
    {"poweron", "PORT [programming|reader]", "read, or set, the mode the reader starts in", 25, RunPoweron}};

} // namespace

} // namespace Cli
