// inventory: the transponders in front of a programmer, once or cyclically.
#include "Commands.h"
#include "EpcOutput.h"
#include "ProgrammerCli.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <set>

namespace Cli {

namespace {

std::atomic<bool> stopRequested{false};

void OnStop(int) {
    stopRequested = true;
}

// One line per EPC, a GS1 EPC's pure identity URI in a column after it;
// --json: an array of the decoded EPCs.
int RunOnce(Programmer::TransponderOperations& operations, bool json) {
    if (operations.RunInventory()) {
        std::vector<std::string> items;
        for (const std::string& epc : operations.Values().epcList) {
            const Epc::Decoded decoded = DecodeEpcText(epc);
            if (json)
                items.push_back(EpcJson(decoded));
            else
                std::printf("%s%s\n", epc.c_str(), EpcColumn(decoded).c_str());
        }
        if (json) std::printf("%s\n", JsonArray(items).c_str());
        return ExitOk;
    }
    // No transponder is no failure; a failed inventory is ("Error <code>").
    if (operations.Values().status.empty()) {
        if (json) std::printf("[]\n");
        return ExitOk;
    }
    PrintStatus(operations.Values().status);
    return ExitFailed;
}

// As the dialog's "Inventory Zyklisch": rounds until the time is up (or
// Ctrl-C). Each EPC is printed the first time it shows: running count, EPC,
// and the read rate so far (EPCs delivered per second, repeats included).
int RunCyclic(Programmer::TransponderOperations& operations, int seconds) {
    using Clock = std::chrono::steady_clock;
    stopRequested = false;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    if (seconds == 0) std::fprintf(stderr, "kvplm: cyclic inventory, Ctrl-C ends\n");

    std::set<std::string> seen;
    long rounds = 0, reads = 0, failedRounds = 0;
    std::string lastError;
    bool lost = false;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    operations.BeginCyclicInventory();
    while (!stopRequested && (seconds == 0 || Clock::now() < end)) {
        const bool found = operations.CyclicInventoryRound();
        ++rounds;
        const Programmer::TransponderValues& values = operations.Values();
        // A device that went away answers no more rounds.
        if (operations.ConnectionLost()) {
            PrintStatus(values.status);
            lost = true;
            break;
        }
        if (!found && !values.status.empty()) {
            ++failedRounds;
            if (values.status != lastError) PrintStatus(values.status);
            lastError = values.status;
            continue;
        }
        lastError.clear();
        if (!found) continue;
        reads += long(values.epcList.size());
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        for (const std::string& epc : values.epcList) {
            if (!seen.insert(epc).second) continue;
            std::printf("%zu\t%s\t%.1f reads/s%s\n", seen.size(), epc.c_str(),
                        elapsed > 0 ? reads / elapsed : 0.0, EpcColumn(DecodeEpcText(epc)).c_str());
            std::fflush(stdout);
        }
    }
    operations.EndCyclicInventory();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::fprintf(stderr, "kvplm: %zu transponders, %ld reads in %ld rounds, %.1f s (%.1f reads/s)\n",
                 seen.size(), reads, rounds, elapsed, elapsed > 0 ? reads / elapsed : 0.0);
    return lost || (rounds > 0 && failedRounds == rounds) ? ExitFailed : ExitOk;
}

int RunInventory(Options& options) {
    std::string secondsText;
    const bool cyclic = TakeOption(options.args, "--cyclic", secondsText);
    const int seconds = cyclic ? ParseInt(secondsText, "--cyclic", 0, 86400) : 0;
    const bool json = TakeFlag(options.args, "--json");
    if (json && cyclic) throw UsageError{"--json lists one inventory; it does not go with --cyclic"};
    const std::string port = TakePort(options);
    NoMoreArgs(options);

    CliProgrammer programmer(port, options);
    if (!programmer.Connected()) return ExitFailed;
    return cyclic ? RunCyclic(programmer.Operations(), seconds) : RunOnce(programmer.Operations(), json);
}

const Registration inventory{{"inventory", "PORT [--cyclic SECONDS] [--json]",
                              "list the transponders' EPCs, a GS1 EPC's identity beside it (cyclic: each new "
                              "one with count and read rate; 0 s = "
                              "until Ctrl-C)",
                              40, RunInventory}};

} // namespace

} // namespace Cli
