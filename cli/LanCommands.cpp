// lan search [--all], lan show PORT, lan set PORT (ADDRESS[-PORT] [--mask MASK] | --dhcp NAME) [--no-wait]:
// the network readers' discovery and address settings, as the LAN settings
// dialog uses them. PORT is a network port as "kvplm ports --lan" lists it
// (with or without "LAN: "), optionally followed by ":" and the bus address.
#include "Commands.h"
#include "EpcOutput.h"
#include "LanRecord.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace Cli {

namespace {

// Every list entry ends in a NUL; the list ends with an empty entry.
std::vector<std::string> Entries(const char* buffer, int used) {
    std::vector<std::string> entries;
    int at = 0;
    while (at < used && buffer[at] != '\0') {
        const std::string entry(buffer + at);
        entries.push_back(entry);
        at += int(entry.size()) + 1;
    }
    return entries;
}

// The network part of PORT: the list form's prefix and the bus address go.
std::string NetworkName(const std::string& port) {
    const std::string name = LinkPort::IsLanListForm(port) ? LinkPort::DevicePart(port) : port;
    if (LinkPort::Transport(LinkPort::WithoutAddress(name)) != LinkPort::Kind::Lan)
        throw UsageError{"\"" + port + "\" is no network port (a.b.c.d, a.b.c.d-PORT or [NAME])"};
    return name;
}

constexpr const char* kNothingFound = "kvplm: no network readers found; check the firewall: UDP port 30718 "
                                      "must be open in both directions\n";

// A search entry as JSON: "[NAME]" for a reader known by its DHCP name,
// "a.b.c.d-PORT" for its address, both with --all.
std::string EntryJson(const std::string& entry) {
    std::string name, address, rest = entry;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close != std::string::npos) {
            name = rest.substr(1, close - 1);
            rest.erase(0, close + 1);
        }
    }
    std::string port = "null";
    const size_t dash = rest.rfind('-');
    if (dash != std::string::npos && dash + 1 < rest.size() &&
        rest.find_first_not_of("0123456789", dash + 1) == std::string::npos) {
        port = rest.substr(dash + 1);
        rest.erase(dash);
    }
    address = rest;
    return "{\"entry\":" + JsonString(entry) + ",\"name\":" + (name.empty() ? "null" : JsonString(name)) +
           ",\"address\":" + (address.empty() ? "null" : JsonString(address)) + ",\"port\":" + port + "}";
}

int RunSearch(Options& options) {
    const bool all = TakeFlag(options.args, "--all");
    const bool json = TakeFlag(options.args, "--json");
    NoMoreArgs(options);
    std::vector<char> buffer(64 * 1024);
    const int used = all ? LinkListLanDevicesAll(buffer.data(), int(buffer.size()))
                         : LinkListLanDevices(buffer.data(), int(buffer.size()));
    const std::vector<std::string> entries = Entries(buffer.data(), used);
    if (json) {
        std::vector<std::string> items;
        for (const std::string& entry : entries)
            items.push_back(EntryJson(entry));
        std::printf("%s\n", JsonArray(items).c_str());
    } else {
        for (const std::string& entry : entries)
            std::printf("%s\n", entry.c_str());
    }
    if (entries.empty()) {
        std::cerr << kNothingFound;
        return ExitNoConnection;
    }
    return ExitOk;
}

int RunShow(Options& options) {
    const std::string name = NetworkName(TakePort(options));
    NoMoreArgs(options);
    const int id = LinkLanOpenConfig(name.c_str());
    if (id <= 0) {
        std::cerr << "kvplm: cannot open the configuration channel to " << name
                  << " (no such reader, or UDP port 30718 is in use or blocked)\n";
        return ExitNoConnection;
    }
    unsigned char record0[LanRecord::Size] = {};
    const int length0 = LinkLanReadConfig(id, 0, record0, sizeof record0);
    unsigned char record2[512] = {};
    const int length2 = length0 > 0 ? LinkLanReadConfig(id, 2, record2, sizeof record2) : -1;
    LinkLanCloseConfig(id, 0);
    if (length0 != int(sizeof record0)) {
        std::cerr << "kvplm: " << name << " did not send its network settings (record 0) in time\n";
        return ExitNoConnection;
    }
    const LanRecord::Settings settings = LanRecord::Decode(record0, sizeof record0);
    std::printf("Mode:        %s\n", settings.dhcp ? "DHCP" : "static");
    if (settings.dhcp) {
        std::printf("DHCP name:   %s\n", settings.dhcpName.c_str());
    } else {
        std::printf("Address:     %s\n", LanRecord::Dotted(settings.address).c_str());
        std::printf("Subnet mask: %s (%d host bits)\n",
                    LanRecord::Dotted(LanRecord::Mask(settings.hostBits)).c_str(), settings.hostBits);
    }
    std::printf("Port:        %d\n", settings.port);
    if (length2 > 0)
        std::printf("Device:      %s\n", LanRecord::DeviceName(record2, size_t(length2)).c_str());
    return ExitOk;
}

int RunSet(Options& options) {
    std::string dhcpName, maskText;
    const bool dhcp = TakeOption(options.args, "--dhcp", dhcpName);
    const bool maskGiven = TakeOption(options.args, "--mask", maskText);
    const bool noWait = TakeFlag(options.args, "--no-wait");
    const std::string name = NetworkName(TakePort(options));

    std::string addressText, subnetText;
    if (dhcp) {
        if (maskGiven) throw UsageError{"--mask goes with a static address, not with --dhcp"};
        if (!options.args.empty()) throw UsageError{"give either ADDRESS[-PORT] or --dhcp NAME"};
        if (const char* why = LanRecord::DhcpNameProblem(dhcpName)) throw UsageError{why};
        addressText = "[" + dhcpName + "]";
    } else {
        if (options.args.empty()) throw UsageError{"ADDRESS[-PORT] or --dhcp NAME is missing"};
        addressText = options.args.front();
        options.args.erase(options.args.begin());
        if (const char* why = LanRecord::AddressTextProblem(addressText)) throw UsageError{why};
        if (maskGiven) {
            if (const char* why = LanRecord::MaskProblem(maskText)) throw UsageError{why};
            subnetText = maskText;
        }
    }
    NoMoreArgs(options);

    const int result = LinkLanSetAddress(name.c_str(), addressText.c_str(), subnetText.c_str());
    if (result != 0) {
        std::cerr << "kvplm: the settings could not be sent to " << name
                  << " (no answer on the configuration channel, or the reader refused them)\n";
        return ExitNoConnection;
    }
    if (noWait) {
        std::printf("sent; the reader restarts as %s\n", addressText.c_str());
        return ExitOk;
    }

    // The reader restarts with its new settings: wait until it answers a
    // search under them (as the dialog does, at most 25 s).
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    ProgressLine progress;
    for (;;) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        char line[160];
        std::snprintf(line, sizeof line, "waiting for the reader as %s ... %4.1f s", addressText.c_str(),
                      double(elapsed.count()) / 1000.0);
        progress.Show(line);
        if (LinkLanFind(addressText.c_str()) > 0) {
            progress.Clear();
            std::printf("found the reader as %s after %.1f s\n", addressText.c_str(),
                        double(elapsed.count()) / 1000.0);
            return ExitOk;
        }
        if (elapsed >= std::chrono::milliseconds(LanRecord::RefindMs)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    progress.Clear();
    std::cerr << "kvplm: the settings were sent, but no reader answered as " << addressText << " within "
              << LanRecord::RefindMs / 1000 << " s (it may be on another subnet now, or still restarting)\n";
    return ExitNoConnection;
}

int RunLan(Options& options) {
    if (options.args.empty()) throw UsageError{"lan: search, show or set is missing"};
    const std::string verb = options.args.front();
    options.args.erase(options.args.begin());
    if (verb == "search") return RunSearch(options);
    if (verb == "show") return RunShow(options);
    if (verb == "set") return RunSet(options);
    throw UsageError{"lan: unknown \"" + verb + "\" (search, show or set)"};
}

const Registration lan{{"lan",
                        "search [--all] [--json] | show PORT | set PORT (ADDRESS[-PORT] [--mask MASK] | "
                        "--dhcp NAME) [--no-wait]",
                        "find network readers, show or change a reader's network settings", 6, RunLan}};

} // namespace

} // namespace Cli
