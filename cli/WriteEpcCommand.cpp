// write-epc: a new EPC with its PC, then the RF cycle until the transponder
// answers an inventory with it.
#include "Commands.h"
#include "ProgrammerCli.h"

#include <cstdio>
#include <iostream>

namespace Cli {

namespace {

int RunWriteEpc(Options& options) {
    std::string selection, payloadText;
    const bool selectGiven = TakeSelect(options, selection);
    const bool payloadGiven = TakeOption(options.args, "--payload-length", payloadText);
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"HEX bytes of the EPC are missing"};
    const std::string epcText = JoinArgs(options.args);
    const Programmer::Bytes epc = ParseFieldArgs(options.args, Programmer::HexText::EpcWriteLimit, "the EPC");
    // The PC's length field: the EPC's own length unless told otherwise.
    const int payloadLength =
        payloadGiven ? ParseInt(payloadText, "--payload-length", 0, 62) : int(epc.size());

    CliProgrammer programmer(port, options);
    if (!programmer.Address(selectGiven, selection)) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();

    operations.Values().epc = epcText;
    operations.Values().payloadLength = payloadLength;
    const Programmer::EpcWriteOutcome outcome = operations.WriteEpc();
    if (outcome.result < 0) {
        PrintStatus(operations.Values().status);
        return ExitFailed;
    }
    if (!outcome.found) {
        if (!operations.Values().status.empty()) PrintStatus(operations.Values().status);
        std::cerr << "kvplm: written, but no transponder answered after " << outcome.rfCycles
                  << " RF cycles\n";
        return ExitFailed;
    }
    std::printf("%s\n", operations.Values().selectedEpc.c_str());
    return ExitOk;
}

const Registration writeEpc{
    {"write-epc", "PORT HEX... [--select EPC] [--payload-length N]",
     "write a new EPC and PC, cycle the RF field, print the EPC the next inventory finds", 43, RunWriteEpc}};

} // namespace

} // namespace Cli
