// info, transceive, raw-read: the link-level commands.
#include "Commands.h"
#include "EpcOutput.h"
#include "LinkApi.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace Cli {

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
    interrupted = true;
}

} // namespace

int RunInfo(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    const std::string port = TakePort(options);
    NoMoreArgs(options);
    const int id = OpenPort(port, options);
    if (id <= 0) return ExitNoConnection;
    char type[16] = {};
    char name[64] = {};
    const int n = LinkGetDeviceInfo(id, type, sizeof type - 1, name, sizeof name);
    if (n < 0) {
        std::cerr << "kvplm: identification failed: " << LastError(id) << "\n";
        LinkClose(id);
        return ExitFailed;
    }
    const std::string reply(type, size_t(n));
    const int framing = LinkGetFraming(id);
    LinkClose(id);

    const std::string typeCode = "0x" + reply.substr(0, 3);
    std::string firmware;
    if (reply.size() >= 4) {
        char text[16];
        std::snprintf(text, sizeof text, "V1.%02d",
                      int(std::strtol(reply.substr(3, 1).c_str(), nullptr, 16)));
        firmware = text;
    }
    const char* framingName = framing == 1 ? "CRC" : "BCC";
    if (json) {
        std::printf("{\"model\":%s,\"identification\":%s,\"type\":%s,\"firmware\":%s,\"framing\":%s,"
                    "\"port\":%s}\n",
                    name[0] ? JsonString(name).c_str() : "null", JsonString(reply).c_str(),
                    JsonString(typeCode).c_str(), firmware.empty() ? "null" : JsonString(firmware).c_str(),
                    JsonString(framingName).c_str(), JsonString(port).c_str());
        return ExitOk;
    }
    std::printf("Model:     %s\n", name[0] ? name : "(unknown device type)");
    std::printf("Type:      %s\n", typeCode.c_str());
    if (!firmware.empty()) std::printf("Firmware:  %s\n", firmware.c_str());
    std::printf("Framing:   %s\n", framingName);
    std::printf("Port:      %s\n", port.c_str());
    return ExitOk;
}

int RunTransceive(Options& options) {
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"CMD is missing"};
    const uint8_t command = ParseHexByte(options.args.front(), "CMD");
    options.args.erase(options.args.begin());
    const Bytes payload = ParseHexArgs(options.args, "payload");
    if (payload.size() > 255) throw UsageError{"the payload holds at most 255 bytes"};

    const int id = OpenPort(port, options);
    if (id <= 0) return ExitNoConnection;
    unsigned char reply[1024];
    const int n = LinkTransceive(id, command, payload.data(), int(payload.size()), reply, sizeof reply);
    if (n < 0) {
        std::cerr << "kvplm: command " << Hex(&command, 1) << " failed: " << LastError(id) << "\n";
        LinkClose(id);
        return ExitFailed;
    }
    LinkClose(id);
    std::printf("%s\n", Hex(reply, size_t(n)).c_str());
    return ExitOk;
}

int RunRawRead(Options& options) {
    std::string secondsText;
    const bool limited = TakeOption(options.args, "--seconds", secondsText);
    const int seconds = limited ? ParseInt(secondsText, "--seconds", 0, 86400) : 0;
    const std::string port = TakePort(options);
    NoMoreArgs(options);

    const int id = OpenPort(port, options);
    if (id <= 0) return ExitNoConnection;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    if (!limited) std::fprintf(stderr, "kvplm: reading from %s, Ctrl-C ends\n", port.c_str());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    unsigned char buffer[255];
    bool lost = false;
    while (!interrupted && (!limited || std::chrono::steady_clock::now() < end)) {
        const int n = LinkReceiveRaw(id, buffer, sizeof buffer);
        if (n > 0) {
            std::printf("%s  |%s|\n", Hex(buffer, size_t(n)).c_str(), Printable(buffer, size_t(n)).c_str());
            std::fflush(stdout);
        } else if (LinkIsConnected(id) == 0) {
            // Everything received before the device went away is printed;
            // then there is nothing more to wait for.
            lost = true;
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    LinkClose(id);
    if (lost) {
        std::fprintf(stderr, "kvplm: the connection to %s is lost (the device went away)\n", port.c_str());
        return ExitFailed;
    }
    return ExitOk;
}

namespace {
const Registration info{
    {"info", "PORT [--json]", "identify the reader: model, type code, firmware, framing", 10, RunInfo}};
const Registration transceive{{"transceive", "PORT CMD [HEX...]",
                               "send one command with its payload and print the reply data", 11,
                               RunTransceive}};
const Registration rawRead{
    {"raw-read", "PORT [--seconds N]", "print what the reader sends on its own", 12, RunRawRead}};

} // namespace

} // namespace Cli
