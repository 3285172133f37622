// inventory PORT --watch: the inventory list on the command line. Cyclic
// inventories until the time is up or Ctrl-C; on a terminal the table is
// redrawn as it fills, otherwise it is printed once at the end; then the
// CSV is written.
#include "Commands.h"
#include "InventoryList.h"
#include "ProgrammerCli.h"
#include "ProgrammerTexts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <unistd.h>

namespace Cli {

namespace {

using Programmer::InventoryList;

std::atomic<bool> watchStop{false};

void OnWatchStop(int) {
    watchStop = true;
}

// "01:02:03.456" of the full time stamp: the table has the day once, in
// the CSV every time carries it.
std::string TimeOfDay(InventoryList::TimePoint time) {
    const std::string iso = InventoryList::IsoTime(time);
    return iso.size() >= 23 ? iso.substr(11, 12) : iso;
}

std::string Pad(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Table(const InventoryList& list) {
    const auto& rows = list.Rows();
    size_t epcWidth = 3;
    for (const InventoryList::Row* row : rows)
        epcWidth = std::max(epcWidth, row->epc.size());
    std::string out = Pad("EPC", epcWidth) + "  PC    " + Pad("Count", 8) + Pad("First seen", 14) +
                      Pad("Last seen", 14) + "Identity\n";
    for (const InventoryList::Row* row : rows)
        out += Pad(row->epc, epcWidth) + "  " + InventoryList::PcText(row->pc) + "  " +
               Pad(std::to_string(row->count), 8) + Pad(TimeOfDay(row->firstSeen), 14) +
               Pad(TimeOfDay(row->lastSeen), 14) + row->identity + "\n";
    char rates[160];
    std::snprintf(rates, sizeof rates,
                  "%zu transponders, %llu reads in %llu rounds, %.1f inventories/s, %.1f tags/s\n",
                  list.TotalRows(), (unsigned long long)list.Reads(), (unsigned long long)list.Rounds(),
                  list.InventoriesPerSecond(), list.TagsPerSecond());
    return out + rates;
}

} // namespace

int RunInventoryWatch(Options& options) {
    std::string secondsText, csvPath;
    const int seconds =
        TakeOption(options.args, "--seconds", secondsText) ? ParseInt(secondsText, "--seconds", 0, 86400) : 0;
    const bool csv = TakeOption(options.args, "--csv", csvPath);
    if (csv && csvPath.empty()) throw UsageError{"--csv needs a file name"};
    const std::string port = TakePort(options);
    NoMoreArgs(options);

    CliProgrammer programmer(port, options);
    if (!programmer.Connected()) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();
    const int session = operations.Session();

    using Clock = std::chrono::steady_clock;
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    watchStop = false;
    std::signal(SIGINT, OnWatchStop);
    std::signal(SIGTERM, OnWatchStop);
    if (seconds == 0) std::fprintf(stderr, "kvplm: inventory list, Ctrl-C ends\n");

    InventoryList list;
    long failedRounds = 0, rounds = 0;
    bool lost = false;
    std::string lastError;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    auto lastDraw = Clock::now() - std::chrono::seconds(1);
    operations.BeginCyclicInventory();
    list.Start();
    while (!watchStop && (seconds == 0 || Clock::now() < end)) {
        const Programmer::InventoryRound round =
            Programmer::RunInventoryRound(Programmer::TagLink::Api(), session);
        ++rounds;
        if (round.lost) {
            PrintStatus(Programmer::ProgrammerTexts::Get(Programmer::TextId::ConnectionLost));
            lost = true;
            break;
        }
        if (!round.ok) {
            ++failedRounds;
            const std::string error = "Error " + std::to_string(round.error);
            if (error != lastError) PrintStatus(error);
            lastError = error;
            continue;
        }
        lastError.clear();
        Programmer::AddRound(list, round);
        if (terminal && Clock::now() - lastDraw >= std::chrono::milliseconds(250)) {
            // Home, clear to the end of the screen, the table.
            std::fputs(("\x1b[H\x1b[J" + Table(list)).c_str(), stdout);
            std::fflush(stdout);
            lastDraw = Clock::now();
        }
    }
    operations.EndCyclicInventory();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    std::fputs(((terminal ? "\x1b[H\x1b[J" : "") + Table(list)).c_str(), stdout);
    std::fflush(stdout);
    int exitCode = lost || (rounds > 0 && failedRounds == rounds) ? ExitFailed : ExitOk;
    if (csv) {
        std::string error;
        if (list.WriteCsv(csvPath, error))
            std::fprintf(stderr, "kvplm: %zu rows written to %s\n", list.Rows().size(), csvPath.c_str());
        else {
            std::fprintf(stderr, "kvplm: the CSV was not written: %s\n", error.c_str());
            exitCode = ExitFileError;
        }
    }
    return exitCode;
}

} // namespace Cli
