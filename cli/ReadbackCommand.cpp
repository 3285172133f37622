// kvplm readback PORT: the read-back report as the dialog shows it.
#include "Commands.h"
#include "ReadBack.h"
#include "SetupCliHost.h"

#include <cstdio>

namespace Cli {

namespace {

int RunReadback(Options& options) {
    const std::string port = TakePort(options);
    NoMoreArgs(options);
    CSetupCliHost host(port, options);
    CReadBack readBack;
    if (!readBack.Run(host)) return ExitFailed;
    std::string text = WithLf(readBack.Report());
    if (!text.empty() && text.back() != '\n') text += '\n';
    std::fputs(text.c_str(), stdout);
    return readBack.Complete() ? ExitOk : ExitFailed;
}

const Registration readback{
    {"readback", "PORT", "print the reader's configuration as the read-back report", 21, RunReadback}};

} // namespace

} // namespace Cli
