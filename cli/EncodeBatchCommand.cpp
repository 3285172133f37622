// encode-batch: serialised bulk encoding, one transponder at a time, with a
// log that a later run resumes from (Programmer::EncodeBatch).
//
// stdout: one line per attempt, "SERIAL TID OLD-EPC NEW-EPC RESULT" (tabs);
// stderr: what to do next, and on a terminal a progress line. Ctrl-C (or
// SIGTERM) ends the run between two transponders, so the log stays whole.
//
// Exit: 0 when the batch holds its count (or, without --count, when Ctrl-C
// ended it) and no transponder failed in this run; 1 when one failed, the
// batch halted (serial range used up, log, reader gone); 2 bad command
// line; 3 the connect failed; 4 the log cannot be read or written; 130 when
// Ctrl-C interrupted a batch with a count before it was complete.
#include "Commands.h"
#include "EncodeBatch.h"
#include "ProgrammerCli.h"
#include "Progress.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace Cli {

namespace {

constexpr int ExitInterrupted = 130;

std::atomic<bool> stopRequested{false};

void OnStop(int) {
    stopRequested = true;
}

uint64_t ParseSerial(const std::string& text) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError{"--serial-from: a serial number is up to 19 digits (" + text + ")"};
    return std::stoull(text);
}

int64_t ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) < 1)
        throw UsageError{"--count: a number of at least 1 (" + text + ")"};
    return std::stoll(text);
}

Programmer::BatchSettings TakeSettings(Options& options) {
    Programmer::BatchSettings settings;
    std::string text;
    if (TakeOption(options.args, "--scheme", text)) settings.scheme = text;
    if (!TakeOption(options.args, "--company", settings.company))
        throw UsageError{"--company (the company prefix) is missing"};
    if (!TakeOption(options.args, "--item", settings.item))
        throw UsageError{"--item (the item reference) is missing"};
    if (!TakeOption(options.args, "--serial-from", text)) throw UsageError{"--serial-from is missing"};
    settings.serialFrom = ParseSerial(text);
    if (TakeOption(options.args, "--count", text)) settings.count = ParseCount(text);
    if (TakeOption(options.args, "--filter", text)) settings.filter = ParseInt(text, "--filter", 0, 7);
    if (TakeOption(options.args, "--access-password", text)) {
        settings.accessPassword = ParseFieldArgs({text}, 4, "the access password");
        if (settings.accessPassword.size() != 4)
            throw UsageError{"--access-password: 4 bytes (8 hex digits) (" + text + ")"};
    }
    if (!TakeOption(options.args, "--log", settings.logPath)) throw UsageError{"--log FILE.csv is missing"};
    return settings;
}

std::string Done(const Programmer::EncodeBatch& batch) {
    const int64_t count = batch.Settings().count;
    return std::to_string(batch.OkInBatch()) + (count > 0 ? "/" + std::to_string(count) : std::string()) +
           " encoded";
}

// Waits between two inventories, ending early on Ctrl-C.
void Wait(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopRequested && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

int RunEncodeBatch(Options& options) {
    Programmer::BatchSettings settings = TakeSettings(options);
    const std::string port = TakePort(options);
    NoMoreArgs(options);
    std::string error;
    // Wrong fields or a serial out of range need no reader to be told.
    if (!Programmer::EncodeBatch::Check(settings, error)) {
        std::cerr << "kvplm: " << error << "\n";
        return ExitFailed;
    }

    // A log that cannot be written is found out before the reader is touched.
    if (!CanWrite(settings.logPath) ||
        (access(settings.logPath.c_str(), F_OK) == 0 && access(settings.logPath.c_str(), R_OK) != 0)) {
        std::cerr << "kvplm: cannot read and write the log " << settings.logPath << "\n";
        return ExitFileError;
    }

    CliProgrammer programmer(port, options);
    if (!programmer.Connected()) return ExitNoConnection;
    CliProgrammerHost host;
    Programmer::EncodeBatch batch(Programmer::TagLink::Api(), host, programmer.Operations().Session());
    if (!batch.Start(settings, error)) {
        std::cerr << "kvplm: " << error << "\n";
        return ExitFailed;
    }
    if (batch.GetState() == Programmer::EncodeBatch::State::Finished) {
        std::cerr << "kvplm: the batch is complete (" << Done(batch) << " in " << settings.logPath << ")\n";
        return ExitOk;
    }
    std::cerr << "kvplm: next serial " << batch.NextSerial() << ", " << Done(batch)
              << "; place one transponder" << (settings.count > 0 ? "" : " (Ctrl-C ends)") << "\n";

    ProgressLine progress;
    stopRequested = false;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    int exitCode = ExitOk;
    Programmer::BatchEvent last = Programmer::BatchEvent::None;
    auto say = [&](const std::string& line) { progress.Say("kvplm: " + line); };
    while (!stopRequested) {
        const Programmer::BatchStep step = batch.Step();
        using Programmer::BatchEvent;
        switch (step.event) {
        case BatchEvent::Encoded:
        case BatchEvent::Failed:
            progress.Clear(); // the row goes to the same terminal
            std::printf("%s\t%s\t%s\t%s\t%s\n",
                        step.row.serial ? std::to_string(*step.row.serial).c_str() : "-",
                        step.row.tid.c_str(), step.row.oldEpc.c_str(),
                        step.row.newEpc.empty() ? "-" : step.row.newEpc.c_str(), step.row.result.c_str());
            std::fflush(stdout);
            if (step.event == BatchEvent::Failed) exitCode = ExitFailed;
            break;
        case BatchEvent::SeveralTags:
            if (last != BatchEvent::SeveralTags)
                say(std::to_string(step.tags) + " transponders in the field: place exactly one");
            break;
        case BatchEvent::AlreadyDone:
            say("TID " + step.row.tid + " is in the log as encoded: not encoded again; take it away");
            break;
        case BatchEvent::Unreadable:
            say("transponder " + step.epc + ": " + step.message + "; nothing written, take it away");
            break;
        case BatchEvent::Halted:
            say(step.message);
            exitCode = ExitFailed;
            break;
        default:
            break;
        }
        if (step.event != BatchEvent::None) last = step.event;
        if (batch.GetState() == Programmer::EncodeBatch::State::Finished ||
            batch.GetState() == Programmer::EncodeBatch::State::Halted)
            break;
        if (progress.Enabled()) {
            const bool waitingForLeave = batch.GetState() == Programmer::EncodeBatch::State::WaitForLeave;
            progress.Show(Done(batch) + ", next serial " + std::to_string(batch.NextSerial()) + ": " +
                          (waitingForLeave ? "take the transponder away" : "place one transponder"));
        }
        if (step.event != BatchEvent::Encoded && step.event != BatchEvent::Failed)
            Wait(Programmer::EncodeBatch::PollMs);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const bool finished = batch.GetState() == Programmer::EncodeBatch::State::Finished;
    const bool interrupted = !finished && batch.GetState() != Programmer::EncodeBatch::State::Halted;
    batch.Stop();
    progress.Clear();
    std::cerr << "kvplm: " << Done(batch) << ", next serial " << batch.NextSerial()
              << (finished      ? "; the batch is complete"
                  : interrupted ? "; stopped"
                                : "")
              << "\n";
    if (interrupted && settings.count > 0 && exitCode == ExitOk) return ExitInterrupted;
    return exitCode;
}

const Registration encodeBatch{
    {"encode-batch",
     "PORT --scheme sgtin-96 --company C --item I --serial-from N [--count K] [--filter F] "
     "[--access-password HEX] --log FILE.csv",
     "give one transponder after the other the next serialised EPC, verified and logged (resumes from the "
     "log)",
     45, RunEncodeBatch}};

} // namespace

} // namespace Cli
