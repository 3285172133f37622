// kvplm program PORT FILE.mkr [--set-baud RATE]: "Laden", then "Programmieren"
// (on an HID reader with the transfer of the keyboard table).
// A file that is no configuration, whose key sequence does not load, or whose
// pages do not pass their checks is refused before the reader is touched.
#include "Commands.h"
#include "ProfileFile.h"
#include "ProgramReader.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"

#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

int RunProgram(Options& options) {
    std::string rateText;
    const bool setBaud = TakeOption(options.args, "--set-baud", rateText);
    const std::string port = TakePort(options);
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    NoMoreArgs(options);
    int rate = 0;
    if (setBaud) {
        rate = ParseInt(rateText, "--set-baud", 0, 1000000);
        if (rate != 2400 && rate != 4800 && rate != 9600 && rate != 19200)
            throw UsageError{"--set-baud takes 2400, 4800, 9600 or 19200"};
    }

    CSetupCliHost host(port, options, file);
    if (access(file.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "kvplm: cannot read %s\n", file.c_str());
        return ExitFailed;
    }
    // Fresh pages, filled as "Laden" fills them; the file's baud rate is the
    // one to set unless --set-baud names another.
    CSeriellEinstellModel model(0, options.baud, host.Flags());
    if (!model.LoadFile(host, file)) return ExitFailed;
    ReportReplacements(model.Replacements(), file);
    if (setBaud) model.Param().ChooseBaudRate(rate);
    // The pages are checked before the reader is touched: programming writes
    // the Prefix before it checks the data page, so a file whose page fails
    // would otherwise leave the reader half programmed.
    // (A sequence the file did not load is refused by the programming itself.)
    CSeriellEinstellModel::Image image;
    if (!model.RefusedSequence()) {
        if (auto message = model.BuildImage(image)) {
            host.ShowMessage(*message);
            return ExitFailed;
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
        std::fprintf(stderr, "kvplm: the reader did not take the keyboard table\n");
        return ExitFailed;
    }
    return ExitOk;
}

const Registration program{{"program", "PORT FILE [--set-baud RATE]",
                            "program the reader with a .mkr configuration", 20, RunProgram}};

} // namespace

} // namespace Cli
