// kvplm functest PORT [--seconds N] [--send]: the function test on a
// terminal, one line per telegram. A reader whose device goes away (unplugged,
// hung up) ends the test with the reason on stderr and exit 1.
#include "Commands.h"
#include "Funktionstest.h"
#include "SetupCliHost.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace Cli {

namespace {

std::atomic<bool> stopRequested{false};

void OnStop(int) {
    stopRequested = true;
}

void PrintTelegram(const CFunktionstest& test) {
    const std::vector<uint8_t>& bytes = test.Telegram();
    if (test.CounterVisible())
        std::printf("%4d  %s  |%s|\n", test.Counter(), Hex(bytes).c_str(),
                    Printable(bytes.data(), bytes.size()).c_str());
    else
        std::printf("%s  |%s|\n", Hex(bytes).c_str(), Printable(bytes.data(), bytes.size()).c_str());
    std::fflush(stdout);
}

int RunFunctest(Options& options) {
    std::string secondsText;
    const bool limited = TakeOption(options.args, "--seconds", secondsText);
    const int seconds = limited ? ParseInt(secondsText, "--seconds", 0, 86400) : 0;
    const bool send = TakeFlag(options.args, "--send");
    const std::string port = TakePort(options);
    NoMoreArgs(options);

    CSetupCliHost host(port, options);
    if (host.IsHid()) {
        std::fprintf(stderr, "kvplm: %s: a HID reader types into the focused window; watch it there\n",
                     port.c_str());
        return ExitFailed;
    }
    CFunktionstest test;
    if (!test.Open(host, host.Flags())) return ExitFailed;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    std::fprintf(stderr, "kvplm: mode %d, %s%s\n", test.Mode(),
                 test.SendEnabled() ? "request " : "the reader sends on its own",
                 test.SendEnabled() ? test.RequestText().c_str() : "");
    if (send && !test.SendEnabled())
        std::fprintf(stderr, "kvplm: --send ignored: mode %d needs no request\n", test.Mode());
    if (!limited) std::fprintf(stderr, "kvplm: Ctrl-C ends\n");

    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    auto nextSend = Clock::now();
    bool pending = false; // a telegram gathered but not printed yet
    while (!stopRequested && (!limited || Clock::now() < end)) {
        if (send && test.SendEnabled() && Clock::now() >= nextSend) {
            if (pending) PrintTelegram(test);
            pending = false;
            test.Send(); // once a second
            nextSend += std::chrono::seconds(1);
        }
        // A telegram is complete once 70 ms passed without bytes, or once it
        // is as long as a telegram gets; print it before the tick can start
        // the next one.
        if (pending &&
            (Clock::now() - test.LastReception() > CFunktionstest::TelegramGap || test.TelegramFull())) {
            PrintTelegram(test);
            pending = false;
        }
        if (test.OnTimer(CFunktionstest::TimerId)) pending = true;
        if (test.Lost()) break;
        std::this_thread::sleep_for(CFunktionstest::TimerInterval);
    }
    if (pending) PrintTelegram(test);
    const bool lost = test.Lost();
    test.Close();
    if (lost) {
        host.ShowMessage(CFunktionstest::LostMessage()); // on stderr
        return ExitFailed;
    }
    return ExitOk;
}

const Registration functest{{"functest", "PORT [--seconds N] [--send]",
                             "show what the reader sends in reader mode, one line per telegram", 24,
                             RunFunctest}};

} // namespace

} // namespace Cli
