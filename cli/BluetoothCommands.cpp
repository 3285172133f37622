// bt scan PORT [--all]: the readers a Bluetooth adapter module finds by
// its inquiry, one line each: address and name (--all: devices of any
// class). PORT is the module's serial port (/dev/ttyUSB0, with or without
// its " BT" marker) or the product string of a USB adapter.
#include "BluetoothWait.h"
#include "Commands.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"

#include <cstdio>
#include <iostream>
#include <vector>

namespace Cli {

namespace {

// Every list entry ends in a NUL; the list ends with an empty entry or at
// the end of the buffer.
std::vector<std::string> ScanEntries(const std::vector<char>& buffer) {
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != '\0') {
        size_t end = at;
        while (end < buffer.size() && buffer[end] != '\0')
            ++end;
        entries.emplace_back(buffer.data() + at, end - at);
        at = end + 1;
    }
    return entries;
}

int RunScan(Options& options) {
    const bool all = TakeFlag(options.args, "--all");
    const std::string port = LinkPort::WithoutAddress(TakePort(options));
    NoMoreArgs(options);
    int (*const scan)(const char*, char*, int) = all ? LinkBluetoothScanAll : LinkBluetoothScan;
    WatchSearch(options.trace);
    // 29 devices of 6-byte addresses and names of up to 30 characters fit.
    std::vector<char> buffer(4096, '\0');
    const int result = scan(port.c_str(), buffer.data(), int(buffer.size()) - 1);
    if (result < 0) {
        std::cerr << "kvplm: no Bluetooth adapter module answered on " << port
                  << " (no such port, busy, no USB adapter of that name, or the module did not finish its "
                     "inquiry)\n";
        return ExitNoConnection;
    }
    const std::vector<std::string> entries = ScanEntries(buffer);
    for (const std::string& entry : entries)
        std::printf("%s\n", entry.c_str());
    if (entries.empty()) {
        std::cerr << "kvplm: no reader found\n";
        return ExitNoConnection;
    }
    return ExitOk;
}

int RunBt(Options& options) {
    if (options.args.empty()) throw UsageError{"bt: scan is missing"};
    const std::string verb = options.args.front();
    options.args.erase(options.args.begin());
    if (verb == "scan") return RunScan(options);
    throw UsageError{"bt: unknown \"" + verb + "\" (scan)"};
}

const Registration bt{
    {"bt", "scan PORT [--all]", "readers a Bluetooth adapter module finds (address, name)", 7, RunBt}};

} // namespace

} // namespace Cli
