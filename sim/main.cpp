// kvplm-readersim: a simulated reader on a pseudo-terminal.
//
// Prints one line naming the device and its path, then takes control
// commands from stdin (see CSimConsole::Help). The end of stdin does not end
// the program; "quit", SIGINT, SIGTERM and SIGHUP do, removing the link and
// the announce file.
#include "PtySimulator.h"
#include "SimConsole.h"
#include "SimHex.h"
#include "SimOutputReader.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
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
               "  --tag EPC[:TID[:USER]]  transponder in the field (hex, repeatable)\n"
               "  --quiet            no request/reply log on stderr\n"
               "  --help             this text\n",
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

} // namespace

int main(int argc, char** argv) {
    CSimReader::Options options;
    CPtySimulator::Options endpointOptions;
    std::vector<CSimTransponder> tags;
    bool quiet = false;

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
        Help
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
                                         {nullptr, 0, nullptr, 0}};

    for (int opt; (opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        unsigned long value = 0;
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
        default:
            Usage(stderr);
            return 2;
        }
    }
    if (optind < argc) return Fail(std::string("unexpected argument ") + argv[optind]);
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

    CSimOutputReader reader(options); // with its reader-mode output
    for (const CSimTransponder& tag : tags)
        reader.PlaceTag(tag);
    if (!quiet) {
        reader.SetTraceHook([](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
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
        });
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
            const CSimConsole::Result result = console.Execute(line);
            std::fputs(result.output.c_str(), stdout);
            std::fflush(stdout);
            quit = result.quit;
        }
    }
    endpoint.Stop();
    close(signalFd);
    return 0;
}
