// write: bytes into a transponder's memory bank.
#include "Commands.h"
#include "ProgrammerCli.h"

#include <cstdio>

namespace Cli {

namespace {

int RunWrite(Options& options) {
    std::string selection, startText;
    const bool selectGiven = TakeSelect(options, selection);
    if (!TakeOption(options.args, "--start", startText)) throw UsageError{"--start BYTE is missing"};
    const int start = ParseInt(startText, "--start", 0, 0x1FFFE);
    if (start % 2) throw UsageError{"--start must be even (the memory is addressed in 16-bit words)"};
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"BANK is missing"};
    const int bank = ParseBank(options.args.front());
    options.args.erase(options.args.begin());
    if (options.args.empty()) throw UsageError{"HEX bytes are missing"};
    const Programmer::Bytes data = ParseFieldArgs(options.args, Programmer::HexText::FieldLimit, "HEX");
    if (data.empty()) throw UsageError{"HEX bytes are missing"}; // only blanks, or ''

    CliProgrammer programmer(port, options);
    if (!programmer.Address(selectGiven, selection)) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();

    const int result = operations.WriteBank(bank, start, data);
    operations.Report(result, Programmer::Access::Write);
    if (result < 0) {
        PrintStatus(operations.Values().status);
        return ExitFailed;
    }
    std::printf("%s\n", operations.Values().status.c_str());
    return ExitOk;
}

const Registration write{{"write", "PORT BANK --start BYTE HEX... [--select EPC]",
                          "write bytes into transponder memory at an even byte address", 42, RunWrite}};

} // namespace

} // namespace Cli
