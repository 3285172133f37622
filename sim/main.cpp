// kvplm-readersim: a simulated reader on a pseudo-terminal, with --lan on
// the network (TCP data connection, UDP device records and search), or with
// --hid as a USB HID device behind the stand-in hidapi library, or with
// --bt-module as a Bluetooth adapter module on a pty with readers behind it.
//
// Prints one line naming the device and its path (or address), then takes
// control commands from stdin (see CSimConsole::Help). The end of stdin does
// not end the program; "quit", SIGINT, SIGTERM and SIGHUP do, removing the
// link and the announce file.
#include "BtModuleSimulator.h"
#include "HidSimSocket.h"
#include "HidSimulator.h"
#include "LanSimulator.h"
#include "PtySimulator.h"
#include "SimConsole.h"
#include "SimHex.h"
#include "SimOutputReader.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <getopt.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void Usage(FILE* to) {
    std::fputs("usage: kvplm-readersim [options]\n"
               "  --type CODE        device type, hex or decimal (default 0x302; readers 0x301-0x303,\n"
               "                     programmers 0x311-0x313)\n"
               "  --minor N          minor firmware version 0..15 (default 5)\n"
               "  --framing MODE     both|bcc|crc: framings answered (default both)\n"
               "  --baud RATE        line speed at start (default 19200)\n"
               "  --format F         0 8N1, 1 8E1, 2 8O1, 3 8N2 (default 0)\n"
               "  --address N        answer only bus address N (default: any)\n"
               "  --no-line-time     send at once instead of at the line's pace\n"
               "  --any-baud         answer whatever speed the host has set\n"
               "  --link PATH        symlink to the device (replaces an older symlink)\n"
               "  --no-announce      no announce file for port lists\n"
               "  --tag EPC[:TID[:USER[:ACCESSPW]]]  transponder in the field (hex, repeatable; a non-zero\n"
               "                     access password locks it against writes)\n"
               "  --quiet            no request/reply log on stderr\n"
               "  --help             this text\n"
               "a reader on the network instead of a pty:\n"
               "  --lan ADDRESS      serve TCP and UDP 30718 on ADDRESS (e.g. 127.0.0.2)\n"
               "  --lan-port N       TCP data port in record 0 (default 10001)\n"
               "  --lan-mask-bits N  host bits of the mask in record 0 (default 8)\n"
               "  --lan-dhcp NAME    record 0 asks for DHCP under NAME (1..8 characters);\n"
               "                     ADDRESS is then the lease\n"
               "  --lan-name TEXT    device name in record 2 (default: model + \" LAN\")\n"
               "  --lan-broadcast ADDR  broadcast address listened on (default: of ADDRESS's network)\n"
               "  --restart-delay MS time the restart takes (default 1500)\n"
               "  --lan-wrong-code   every UDP answer with a wrong answer code\n"
               "  --lan-short-payload  every UDP answer's payload cut to 119 bytes\n"
               "  --lan-duplicate    every UDP answer sent twice\n"
               "  --lan-silent       no UDP answers\n"
               "a USB HID reader instead of a pty (reached through the stand-in hidapi library):\n"
               "  --hid SERIAL       serial number string, e.g. 4400-000123 (list name \"SERIAL HID\")\n"
               "  --hid-no-serial    a device without a serial number string (instead of --hid)\n"
               "  --hid-vendor ID    USB vendor id (default 0x16C0)\n"
               "  --hid-product ID   USB product id (default 0x2913)\n"
               "  --hid-table us|de  keyboard table at start (default us)\n"
               "  --hid-silent       no input reports at all\n"
               "  --hid-ignore-keys  no answers to key queries\n"
               "a Bluetooth adapter module on a pty with readers behind it:\n"
               "  --bt-module        the pty speaks the module's packets\n"
               "  --bt-remote ADDR[,CLASS[,NAME[,TYPE]]]  a remote device (repeatable): address as 12 hex\n"
               "                     digits in module order, class of device (hex, default 0x000500),\n"
               "                     name (default model + \" BT\"), device type (default --type);\n"
               "                     without it one reader 00:11:22:33:44:55\n"
               "  --bt-devices N     N more devices of the reader class\n"
               "  --bt-inquiry-ms N  inquiry time (default 1500)\n"
               "  --bt-refuse        refuse every link request\n"
               "  --bt-lose-after N  drop the link once after N frames carried\n"
               "  --bt-junk          junk bytes in front of every packet\n"
               "  --bt-split         every packet written in pieces of 3 bytes\n"
               "  --bt-silent        answer nothing\n"
               "  --bt-long-name     names reported 40 bytes long\n",
               to);
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    // Decimal, or hex with 0x (a leading zero does not mean octal here).
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    value = std::strtoul(text, &end, hex ? 16 : 10);
    return errno == 0 && end != text && *end == '\0' && text[0] != '-' && value <= max;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "kvplm-readersim: %s\n", why.c_str());
    return 2;
}

// What --lan and its companions ask for.
struct LanRequest {
    bool on = false;
    CLanSimulator::Options endpoint;
    CSimNetModule::Settings record0;
    std::optional<std::string> name;
    std::vector<CSimNetModule::Fault> faults;
    std::vector<std::string> companions; // LAN options given, to refuse them without --lan
};

// What --hid and its companions ask for.
struct HidRequest {
    bool on = false;
    CHidSimulator::Options endpoint;
    std::vector<std::string> given; // HID options given, to refuse them with --lan or --link
};

void PrintTrace(CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
    const std::string hex = SimHex::Format(bytes);
    switch (kind) {
    case CSimReader::TraceKind::Request:
        std::fprintf(stderr, "> %s\n", hex.c_str());
        break;
    case CSimReader::TraceKind::Ignored:
        std::fprintf(stderr, "> %s (ignored)\n", hex.c_str());
        break;
    case CSimReader::TraceKind::Reply:
        std::fprintf(stderr, "< %s\n", hex.c_str());
        break;
    case CSimReader::TraceKind::Unsolicited:
        std::fprintf(stderr, "< %s (unsolicited)\n", hex.c_str());
        break;
    case CSimReader::TraceKind::Noise:
        std::fprintf(stderr, "? %s (noise)\n", hex.c_str());
        break;
    }
}

// What --bt-module and its companions ask for.
struct BtRequest {
    bool on = false;
    CBtModuleSimulator::Options endpoint;
    struct Remote {
        CBtModuleSimulator::Address address{};
        uint32_t deviceClass = CBtModuleSimulator::ReaderClass;
        std::string name;
        std::optional<uint16_t> type;
    };
    std::vector<Remote> remotes;
    unsigned extra = 0;
    std::vector<std::string> given; // Bluetooth options given, to refuse them without --bt-module
};

// "ADDR[,CLASS[,NAME[,TYPE]]]"; "" when valid, else why not.
std::string ParseRemote(const std::string& text, BtRequest::Remote& remote) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() > 4) return "too many fields";
    const auto address = CBtModuleSimulator::ParseAddress(fields[0]);
    if (!address) return "the address takes 12 hex digits";
    remote.address = *address;
    if (fields.size() > 1 && !fields[1].empty()) {
        char* end = nullptr;
        errno = 0;
        const unsigned long value = std::strtoul(fields[1].c_str(), &end, 16);
        if (errno || *end || fields[1][0] == '-' || value > 0xFFFFFF)
            return "the class takes up to 6 hex digits";
        remote.deviceClass = static_cast<uint32_t>(value);
    }
    if (fields.size() > 2) {
        if (fields[2].size() > 248) return "the name takes at most 248 bytes";
        remote.name = fields[2];
    }
    if (fields.size() > 3 && !fields[3].empty()) {
        char* end = nullptr;
        errno = 0;
        const unsigned long value = std::strtoul(fields[3].c_str(), &end, 0);
        if (errno || *end || fields[3][0] == '-' || value > 0xFFF) return "the type takes a code up to 0xFFF";
        remote.type = static_cast<uint16_t>(value);
    }
    return "";
}

using ConsoleFunction = std::function<CSimConsole::Result(const std::string&)>;

// The control loop: commands from stdin until quit or a signal.
void RunConsole(const ConsoleFunction& execute, int signalFd) {
    std::string pending;
    bool stdinOpen = true;
    bool quit = false;
    while (!quit) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (!(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[1024];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            stdinOpen = false; // keep running until a signal or quit
            continue;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; !quit && (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const CSimConsole::Result result = execute(line);
            std::fputs(result.output.c_str(), stdout);
            std::fflush(stdout);
            quit = result.quit;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    CSimReader::Options options;
    CPtySimulator::Options endpointOptions;
    std::vector<CSimTransponder> tags;
    bool quiet = false;
    LanRequest lan;

    enum {
        Type = 1000,
        Minor,
        Framing,
        Baud,
        Format,
        Address,
        NoLineTime,
        AnyBaud,
        Link,
        NoAnnounce,
        Tag,
        Quiet,
        Help,
        Lan,
        LanPort,
        LanMaskBits,
        LanDhcp,
        LanName,
        LanBroadcast,
        RestartDelay,
        LanWrongCode,
        LanShortPayload,
        LanDuplicate,
        LanSilent,
        Hid,
        HidNoSerial,
        HidVendor,
        HidProduct,
        HidTable,
        HidSilent,
        HidIgnoreKeys,
        BtModule,
        BtRemote,
        BtDevices,
        BtInquiryMs,
        BtRefuse,
        BtLoseAfter,
        BtJunk,
        BtSplit,
        BtSilent,
        BtLongName
    };
    static const option longOptions[] = {{"type", required_argument, nullptr, Type},
                                         {"minor", required_argument, nullptr, Minor},
                                         {"framing", required_argument, nullptr, Framing},
                                         {"baud", required_argument, nullptr, Baud},
                                         {"format", required_argument, nullptr, Format},
                                         {"address", required_argument, nullptr, Address},
                                         {"no-line-time", no_argument, nullptr, NoLineTime},
                                         {"any-baud", no_argument, nullptr, AnyBaud},
                                         {"link", required_argument, nullptr, Link},
                                         {"no-announce", no_argument, nullptr, NoAnnounce},
                                         {"tag", required_argument, nullptr, Tag},
                                         {"quiet", no_argument, nullptr, Quiet},
                                         {"help", no_argument, nullptr, Help},
                                         {"lan", required_argument, nullptr, Lan},
                                         {"lan-port", required_argument, nullptr, LanPort},
                                         {"lan-mask-bits", required_argument, nullptr, LanMaskBits},
                                         {"lan-dhcp", required_argument, nullptr, LanDhcp},
                                         {"lan-name", required_argument, nullptr, LanName},
                                         {"lan-broadcast", required_argument, nullptr, LanBroadcast},
                                         {"restart-delay", required_argument, nullptr, RestartDelay},
                                         {"lan-wrong-code", no_argument, nullptr, LanWrongCode},
                                         {"lan-short-payload", no_argument, nullptr, LanShortPayload},
                                         {"lan-duplicate", no_argument, nullptr, LanDuplicate},
                                         {"lan-silent", no_argument, nullptr, LanSilent},
                                         {"hid", required_argument, nullptr, Hid},
                                         {"hid-no-serial", no_argument, nullptr, HidNoSerial},
                                         {"hid-vendor", required_argument, nullptr, HidVendor},
                                         {"hid-product", required_argument, nullptr, HidProduct},
                                         {"hid-table", required_argument, nullptr, HidTable},
                                         {"hid-silent", no_argument, nullptr, HidSilent},
                                         {"hid-ignore-keys", no_argument, nullptr, HidIgnoreKeys},
                                         {"bt-module", no_argument, nullptr, BtModule},
                                         {"bt-remote", required_argument, nullptr, BtRemote},
                                         {"bt-devices", required_argument, nullptr, BtDevices},
                                         {"bt-inquiry-ms", required_argument, nullptr, BtInquiryMs},
                                         {"bt-refuse", no_argument, nullptr, BtRefuse},
                                         {"bt-lose-after", required_argument, nullptr, BtLoseAfter},
                                         {"bt-junk", no_argument, nullptr, BtJunk},
                                         {"bt-split", no_argument, nullptr, BtSplit},
                                         {"bt-silent", no_argument, nullptr, BtSilent},
                                         {"bt-long-name", no_argument, nullptr, BtLongName},
                                         {nullptr, 0, nullptr, 0}};

    bool linkGiven = false;
    HidRequest hid;
    bool hidSerialGiven = false;
    BtRequest bt;
    for (int index = 0, opt; (opt = getopt_long(argc, argv, "", longOptions, &index)) != -1;) {
        unsigned long value = 0;
        if (opt > Lan && opt <= LanSilent)
            lan.companions.push_back(std::string("--") + longOptions[index].name);
        if (opt >= Hid && opt <= HidIgnoreKeys)
            hid.given.push_back(std::string("--") + longOptions[index].name);
        if (opt > BtModule && opt <= BtLongName)
            bt.given.push_back(std::string("--") + longOptions[index].name);
        switch (opt) {
        case Type:
            if (!ParseUnsigned(optarg, 0xFFF, value)) return Fail("--type takes a code up to 0xFFF");
            options.deviceType = static_cast<uint16_t>(value);
            break;
        case Minor:
            if (!ParseUnsigned(optarg, 15, value)) return Fail("--minor takes 0..15");
            options.minorVersion = static_cast<uint8_t>(value);
            break;
        case Framing:
            if (!std::strcmp(optarg, "both"))
                options.framing = CSimReader::FramingMode::Both;
            else if (!std::strcmp(optarg, "bcc"))
                options.framing = CSimReader::FramingMode::BccOnly;
            else if (!std::strcmp(optarg, "crc"))
                options.framing = CSimReader::FramingMode::CrcOnly;
            else
                return Fail("--framing takes both, bcc or crc");
            break;
        case Baud:
            if (!ParseUnsigned(optarg, 4000000, value) || value < 50) return Fail("--baud takes a rate");
            options.line.baud = static_cast<uint32_t>(value);
            break;
        case Format:
            if (!ParseUnsigned(optarg, 3, value)) return Fail("--format takes 0..3");
            options.line.format = static_cast<uint8_t>(value);
            break;
        case Address:
            if (!ParseUnsigned(optarg, 255, value)) return Fail("--address takes 0..255");
            options.address = static_cast<int>(value);
            break;
        case NoLineTime:
            endpointOptions.lineTime = false;
            break;
        case AnyBaud:
            endpointOptions.hostLineCheck = false;
            break;
        case Link:
            endpointOptions.linkPath = optarg;
            linkGiven = true;
            break;
        case NoAnnounce:
            endpointOptions.announce = false;
            break;
        case Tag: {
            std::string error;
            const auto tag = CSimConsole::ParseTag(optarg, error);
            if (!tag) return Fail("--tag " + std::string(optarg) + ": " + error);
            tags.push_back(*tag);
            break;
        }
        case Quiet:
            quiet = true;
            break;
        case Help:
            Usage(stdout);
            return 0;
        case Lan: {
            const auto address = CSimNetModule::ParseAddress(optarg);
            if (!address || *address == CSimNetModule::Address{} ||
                *address == CSimNetModule::Address{255, 255, 255, 255})
                return Fail("--lan takes an IPv4 address such as 127.0.0.2");
            lan.on = true;
            lan.endpoint.address = *address;
            break;
        }
        case LanPort:
            if (!ParseUnsigned(optarg, 65535, value) || value == 0) return Fail("--lan-port takes 1..65535");
            lan.record0.port = static_cast<uint16_t>(value);
            break;
        case LanMaskBits:
            if (!ParseUnsigned(optarg, 32, value)) return Fail("--lan-mask-bits takes 0..32");
            lan.record0.hostBits = static_cast<uint8_t>(value);
            break;
        case LanDhcp: {
            const std::string why = CSimNetModule::CheckDhcpName(optarg);
            if (!why.empty()) return Fail("--lan-dhcp: " + why);
            lan.record0.dhcpName = optarg;
            break;
        }
        case LanName: {
            const std::string why = CSimNetModule::CheckDeviceName(optarg);
            if (!why.empty()) return Fail("--lan-name: " + why);
            lan.name = optarg;
            break;
        }
        case LanBroadcast:
            if (!CSimNetModule::ParseAddress(optarg)) return Fail("--lan-broadcast takes an IPv4 address");
            lan.endpoint.broadcast = optarg;
            break;
        case RestartDelay:
            if (!ParseUnsigned(optarg, 600000, value)) return Fail("--restart-delay takes 0..600000 ms");
            lan.endpoint.restartDelay = std::chrono::milliseconds(value);
            break;
        case LanWrongCode:
            lan.faults.push_back(CSimNetModule::Fault::WrongCode);
            break;
        case LanShortPayload:
            lan.faults.push_back(CSimNetModule::Fault::ShortPayload);
            break;
        case LanDuplicate:
            lan.faults.push_back(CSimNetModule::Fault::Duplicate);
            break;
        case LanSilent:
            lan.faults.push_back(CSimNetModule::Fault::Silence);
            break;
        case Hid:
            if (!HidSimSocket::FitsInfoLine(optarg))
                return Fail("--hid takes a serial number of at most 126 bytes without control characters");
            if (hidSerialGiven) return Fail("--hid and --hid-no-serial: one serial number only");
            hid.on = hidSerialGiven = true;
            hid.endpoint.serial = std::string(optarg);
            break;
        case HidNoSerial:
            if (hidSerialGiven) return Fail("--hid and --hid-no-serial: one serial number only");
            hid.on = hidSerialGiven = true;
            hid.endpoint.serial.reset();
            break;
        case HidVendor:
        case HidProduct:
            if (!ParseUnsigned(optarg, 0xFFFF, value))
                return Fail(hid.given.back() + " takes an id up to 0xFFFF");
            (opt == HidVendor ? hid.endpoint.vendor : hid.endpoint.product) = static_cast<uint16_t>(value);
            break;
        case HidTable: {
            const auto table = CSimKeyTable::Named(optarg);
            if (!table) return Fail("--hid-table takes us or de");
            hid.endpoint.table = *table;
            break;
        }
        case HidSilent:
            hid.endpoint.silent = true;
            break;
        case HidIgnoreKeys:
            hid.endpoint.ignoreKeys = true;
            break;
        case BtModule:
            bt.on = true;
            break;
        case BtRemote: {
            BtRequest::Remote remote;
            const std::string why = ParseRemote(optarg, remote);
            if (!why.empty()) return Fail("--bt-remote " + std::string(optarg) + ": " + why);
            bt.remotes.push_back(remote);
            break;
        }
        case BtDevices:
            if (!ParseUnsigned(optarg, 200, value)) return Fail("--bt-devices takes 0..200");
            bt.extra = static_cast<unsigned>(value);
            break;
        case BtInquiryMs:
            if (!ParseUnsigned(optarg, 60000, value)) return Fail("--bt-inquiry-ms takes 0..60000");
            bt.endpoint.inquiryTime = std::chrono::milliseconds(value);
            break;
        case BtRefuse:
            bt.endpoint.refuse = true;
            break;
        case BtLoseAfter:
            if (!ParseUnsigned(optarg, 1000000, value) || value == 0)
                return Fail("--bt-lose-after takes a count from 1");
            bt.endpoint.loseAfter = static_cast<unsigned>(value);
            break;
        case BtJunk:
            bt.endpoint.junk = true;
            break;
        case BtSplit:
            bt.endpoint.split = true;
            break;
        case BtSilent:
            bt.endpoint.silent = true;
            break;
        case BtLongName:
            bt.endpoint.longName = true;
            break;
        default:
            Usage(stderr);
            return 2;
        }
    }
    if (optind < argc) return Fail(std::string("unexpected argument ") + argv[optind]);
    if (!lan.on && !lan.companions.empty()) return Fail(lan.companions.front() + " needs --lan ADDRESS");
    if (lan.on && linkGiven) return Fail("--link names a serial device; a reader with --lan has none");
    if (!hid.given.empty() && !hid.on)
        return Fail(hid.given.front() + " needs --hid SERIAL or --hid-no-serial");
    if (hid.on && lan.on) return Fail("--hid and --lan: a reader is on USB HID or on the network");
    if (hid.on && linkGiven) return Fail("--link names a serial device; a reader with --hid has none");
    if (!bt.given.empty() && !bt.on) return Fail(bt.given.front() + " needs --bt-module");
    if (bt.on && (hid.on || lan.on))
        return Fail("--bt-module: the adapter module is on a pty, not on HID or LAN");
    if (CSimReader::ModelName(options.deviceType).empty())
        std::fprintf(stderr, "kvplm-readersim: warning: type %03X is no known model\n", options.deviceType);

    // A programmer is of little use without a transponder in front of it.
    if (tags.empty() && (options.deviceType & 0xFF0) == 0x310)
        tags.emplace_back(*SimHex::Parse("30 00 11 22 33 44 55 66 77 88 99 AA"));

    // Signals are taken from a signalfd, so block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) return Fail(std::string("signalfd: ") + std::strerror(errno));

    if (bt.on) {
        if (bt.remotes.empty())
            bt.remotes.push_back({{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 0x000500, "", {}});
        for (unsigned i = 0; i < bt.extra; ++i)
            bt.remotes.push_back({{0x00, 0x11, 0x22, 0x33, 0x46, static_cast<uint8_t>(i)},
                                  CBtModuleSimulator::ReaderClass,
                                  "",
                                  {}});
        std::vector<CBtModuleSimulator::Remote> remotes;
        for (const BtRequest::Remote& r : bt.remotes) {
            CSimReader::Options readerOptions = options;
            if (r.type) readerOptions.deviceType = *r.type;
            auto reader = std::make_shared<CSimOutputReader>(readerOptions);
            for (const CSimTransponder& tag : tags)
                reader->PlaceTag(tag);
            if (!quiet) reader->SetTraceHook(PrintTrace);
            remotes.push_back({r.address, r.deviceClass, r.name, reader});
        }
        bt.endpoint.linkPath = endpointOptions.linkPath;
        bt.endpoint.announce = endpointOptions.announce;
        CBtModuleSimulator module(std::move(remotes), bt.endpoint);
        if (!quiet)
            module.SetTraceHook(
                [](const std::string& text) { std::fprintf(stderr, "bt%s\n", text.c_str()); });
        std::string error;
        if (!module.Start(&error)) {
            std::fprintf(stderr, "kvplm-readersim: %s\n", error.c_str());
            return 1;
        }
        const auto& all = module.Remotes();
        std::printf(
            "kvplm-readersim: Bluetooth adapter module with %zu remote device%s (first %s \"%s\") on %s\n",
            all.size(), all.size() == 1 ? "" : "s",
            CBtModuleSimulator::FormatAddress(all.front().address).c_str(),
            module.ReportedName(all.front()).c_str(), module.SlavePath().c_str());
        std::fflush(stdout);
        // Reader commands go to every remote reader (the first one's answer is
        // shown); "bt ..." to the module.
        std::vector<std::unique_ptr<CSimConsole>> consoles;
        for (const CBtModuleSimulator::Remote& r : all)
            consoles.push_back(std::make_unique<CSimConsole>(*r.reader));
        RunConsole(
            [&](const std::string& line) {
                std::vector<std::string> words;
                for (size_t at = 0; at < line.size();) {
                    const size_t start = line.find_first_not_of(" \t", at);
                    if (start == std::string::npos) break;
                    const size_t end = std::min(line.find_first_of(" \t", start), line.size());
                    words.push_back(line.substr(start, end - start));
                    at = end;
                }
                if (!words.empty() && words[0] == "bt")
                    return CSimConsole::Result{module.Command(words), false};
                CSimConsole::Result first;
                for (size_t i = 0; i < consoles.size(); ++i) {
                    CSimConsole::Result result = consoles[i]->Execute(line);
                    if (i == 0) first = result;
                }
                if (!words.empty() && (words[0] == "help" || words[0] == "?"))
                    first.output += CBtModuleSimulator::Help();
                return first;
            },
            signalFd);
        module.Stop();
        close(signalFd);
        return 0;
    }

    CSimOutputReader reader(options); // with its reader-mode output
    for (const CSimTransponder& tag : tags)
        reader.PlaceTag(tag);
    if (!quiet) reader.SetTraceHook(PrintTrace);

    if (hid.on) {
        CHidSimulator endpoint(reader, hid.endpoint);
        if (!quiet)
            endpoint.SetTraceHook(
                [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
        std::string error;
        if (!endpoint.Start(&error)) {
            std::fprintf(stderr, "kvplm-readersim: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", CSimConsole::DeviceLine(reader, endpoint).c_str());
        std::fflush(stdout);
        CSimConsole console(reader, endpoint);
        RunConsole([&console](const std::string& line) { return console.Execute(line); }, signalFd);
        endpoint.Stop();
        close(signalFd);
        return 0;
    }

    if (lan.on) {
        // A DHCP record carries 0.0.0.0; the reader is then found under its lease.
        if (lan.record0.dhcpName.empty()) lan.record0.address = lan.endpoint.address;
        CSimNetModule module(lan.record0,
                             lan.name ? *lan.name : CSimNetModule::DefaultDeviceName(options.deviceType));
        for (CSimNetModule::Fault fault : lan.faults)
            module.SetFault(fault, CSimNetModule::Forever);
        CLanSimulator endpoint(reader, module, lan.endpoint);
        // Notices (restarts, refused clients, addresses that cannot be bound)
        // are always shown; datagrams only with the traffic log.
        endpoint.SetTraceHook([quiet](CLanSimulator::TraceKind kind, const std::string& text) {
            if (kind == CLanSimulator::TraceKind::Notice)
                std::fprintf(stderr, "kvplm-readersim: %s\n", text.c_str());
            else if (!quiet)
                std::fprintf(stderr, "%s\n", text.c_str());
        });
        std::string error;
        if (!endpoint.Start(&error)) {
            std::fprintf(stderr, "kvplm-readersim: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", CSimConsole::DeviceLine(reader, endpoint).c_str());
        std::fflush(stdout);
        CSimConsole console(reader, endpoint);
        RunConsole([&console](const std::string& line) { return console.Execute(line); }, signalFd);
        endpoint.Stop();
        close(signalFd);
        return 0;
    }

    CPtySimulator endpoint(reader, endpointOptions);
    std::string error;
    if (!endpoint.Start(&error)) {
        std::fprintf(stderr, "kvplm-readersim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", CSimConsole::DeviceLine(reader, endpoint).c_str());
    std::fflush(stdout);

    CSimConsole console(reader, &endpoint);
    RunConsole([&console](const std::string& line) { return console.Execute(line); }, signalFd);
    endpoint.Stop();
    close(signalFd);
    return 0;
}
