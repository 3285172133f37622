// kvplm program PORT FILE.mkr [--set-baud RATE] [--verify]: "Laden", then
// "Programmieren" (on an HID reader with the transfer of the keyboard table);
// --verify reads the blocks back and compares them with what was written.
// A file that is no configuration, whose key sequence does not load, or whose
// pages do not pass their checks is refused before the reader is touched.
// Several readers at once (--lan-all, or two or more ports): FleetProgram.cpp.
#include "Commands.h"
#include "FleetProgram.h"
#include "ProfileFile.h"
#include "ProgramReader.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"

#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

void Problem(IProgramSteps* steps, const std::string& text) {
    std::fprintf(stderr, "kvplm: %s\n", text.c_str());
    if (steps) steps->Problem(text);
}

int RunProgram(Options& options) {
    switch (ProgramFormOf(options.args)) {
    case ProgramForm::Fleet:
        return RunFleetProgram(options);
    case ProgramForm::Worker:
        return RunFleetWorker(options);
    case ProgramForm::Single:
        break;
    }
    std::string rateText;
    const bool setBaud = TakeOption(options.args, "--set-baud", rateText);
    const bool verify = TakeFlag(options.args, "--verify");
    const std::string port = TakePort(options);
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    NoMoreArgs(options);
    int rate = 0;
    if (setBaud) rate = ParseSetBaud(rateText);

    CSetupCliHost host(port, options, file);
    const int code = ProgramOneReader(host, options, file, rate, verify, nullptr);
    if (code == ExitOk && verify) std::printf("Verified: every block reads back as written\n");
    return code;
}

const Registration program{
    {"program", "PORT... FILE [--set-baud RATE] [--verify]",
     "program readers with a .mkr configuration (--lan-all FILE: every network reader)", 20, RunProgram}};

} // namespace

int ParseSetBaud(const std::string& text) {
    const int rate = ParseInt(text, "--set-baud", 0, 1000000);
    if (rate != 2400 && rate != 4800 && rate != 9600 && rate != 19200)
        throw UsageError{"--set-baud takes 2400, 4800, 9600 or 19200"};
    return rate;
}

int ProgramOneReader(CSetupCliHost& host, const Options& options, const std::string& file, int setBaud,
                     bool verify, IProgramSteps* steps) {
    if (access(file.c_str(), R_OK) != 0) {
        Problem(steps, "cannot read " + file);
        return ExitFileError;
    }
    // Fresh pages, filled as "Laden" fills them; the file's baud rate is the
    // one to set unless --set-baud names another.
    CSeriellEinstellModel model(0, options.baud, host.Flags());
    if (!model.LoadFile(host, file)) return ExitFileError;
    ReportReplacements(model.Replacements(), file);
    if (setBaud) model.Param().ChooseBaudRate(setBaud);
    // The pages are checked before the reader is touched: programming writes
    // the Prefix before it checks the data page, so a file whose page fails
    // would otherwise leave the reader half programmed.
    // (A sequence the file did not load is refused by the programming itself.)
    CSeriellEinstellModel::Image image;
    if (!model.RefusedSequence()) {
        if (auto message = model.BuildImage(image)) {
            host.ShowMessage(*message);
            return ExitFileError;
        }
    }
    // An HID reader gets the file's keyboard table after the blocks. A file
    // without one programs the table the reader holds, as the dialog, which
    // reads it when it opens, would (the reader's table is read first).
    if (model.IsHid()) {
        CProfileFile profile;
        if (profile.Load(file) && !CHidKeyTable::InProfile(profile)) {
            std::fprintf(stderr, "kvplm: %s has no keyboard table; the reader's own is kept\n", file.c_str());
            if (!model.ParamHid().LoadFromDevice(host)) return ExitFailed;
        }
    }
    if (ProgramReader(model, host) != ProgramResult::Programmed) return ExitFailed;
    // Programming counts as done without the table, as in the dialog; the
    // exit status says that not all of the file reached the reader.
    if (model.IsHid() && model.KeyTableTransferred() != std::optional<bool>(true)) {
        Problem(steps, "the reader did not take the keyboard table");
        return ExitFailed;
    }
    if (verify) {
        std::string problem;
        const BlockSet written{image.param,  image.modeParam, image.prefix,
                               image.suffix, image.postcode,  image.termix};
        if (!VerifyBlocks(host, written, steps, problem)) {
            Problem(steps, "verify: " + problem);
            return ExitFailed;
        }
    }
    return ExitOk;
}

} // namespace Cli
