// kvplm readback PORT: the read-back report as the dialog shows it; --json:
// the blocks as read, one JSON object.
#include "Commands.h"
#include "ConfigDiff.h"
#include "ConfigJson.h"
#include "EpcOutput.h"
#include "ReadBack.h"
#include "SetupCliHost.h"

#include <cstdio>

namespace Cli {

namespace {

// The blocks as the read-back reads them (ConfigDiff's reading: the key
// sequences without their end mark), an HID reader's keyboard table too.
int RunReadbackJson(const std::string& port, Options& options) {
    CSetupCliHost host(port, options);
    const std::optional<ConfigDiff::Configuration> read = ConfigDiff::ReadReader(host);
    if (!read) return ExitFailed;
    const ConfigDiff::Configuration& c = *read;
    std::string out = "{\"port\":" + JsonString(port) + ",\"reader\":" + JsonString(c.hid ? "hid" : "serial");
    out += ",\"blocks\":{\"prefix\":" + JsonString(Hex(c.sequences[0])) +
           ",\"param\":" + JsonString(Hex(c.param)) + ",\"modeParam\":" + JsonString(Hex(c.modeParam)) +
           ",\"suffix\":" + JsonString(Hex(c.sequences[1])) +
           ",\"postcode\":" + JsonString(Hex(c.sequences[2])) +
           ",\"termix\":" + JsonString(Hex(c.sequences[3])) + "}";
    out += ",\"baudRate\":" + (c.baudRate ? std::to_string(*c.baudRate) : std::string("null"));
    out += ",\"keyTable\":" + (c.keyTable ? KeyTableJson(*c.keyTable) : std::string("null"));
    std::printf("%s}\n", out.c_str());
    return ExitOk;
}

int RunReadback(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    const std::string port = TakePort(options);
    NoMoreArgs(options);
    if (json) return RunReadbackJson(port, options);
    CSetupCliHost host(port, options);
    CReadBack readBack;
    if (!readBack.Run(host)) return ExitFailed;
    std::string text = WithLf(readBack.Report());
    if (!text.empty() && text.back() != '\n') text += '\n';
    std::fputs(text.c_str(), stdout);
    return readBack.Complete() ? ExitOk : ExitFailed;
}

const Registration readback{{"readback", "PORT [--json]",
                             "print the reader's configuration as the read-back report", 21, RunReadback}};

} // namespace

} // namespace Cli
