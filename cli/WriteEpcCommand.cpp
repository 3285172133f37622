// write-epc: a new EPC with its PC, then the RF cycle until the transponder
// answers an inventory with it.
#include "Commands.h"
#include "EpcOutput.h"
#include "ProgrammerCli.h"
#include "ProgrammerTexts.h"

#include <cstdio>
#include <iostream>

namespace Cli {

namespace {

constexpr int kCrcField = 1039, kPcField = 1040; // the dialog's controls, whose labels name them

int RunWriteEpc(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    std::string selection, payloadText;
    const bool selectGiven = TakeSelect(options, selection);
    const bool payloadGiven = TakeOption(options.args, "--payload-length", payloadText);
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"HEX bytes of the EPC are missing"};
    const std::string epcText = JoinArgs(options.args);
    const Programmer::Bytes epc = ParseFieldArgs(options.args, Programmer::HexText::EpcWriteLimit, "the EPC");
    // An empty argument ('') is no EPC: written, it would give the
    // transponder a PC of length 0 and take its EPC away.
    if (epc.empty()) throw UsageError{"HEX bytes of the EPC are missing"};
    // The PC's length field: the EPC's own length unless told otherwise.
    const int payloadLength =
        payloadGiven ? ParseInt(payloadText, "--payload-length", 0, 62) : int(epc.size());

    CliProgrammer programmer(port, options);
    if (!programmer.Address(selectGiven, selection)) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();

    operations.Values().epc = epcText;
    operations.Values().payloadLength = payloadLength;
    const Programmer::EpcWriteOutcome outcome = operations.WriteEpc();
    const Programmer::TransponderValues& values = operations.Values();
    if (outcome.result < 0 || operations.ConnectionLost()) {
        PrintStatus(values.status);
        return ExitFailed;
    }
    if (!outcome.found) {
        std::cerr << "kvplm: written, but no transponder answered after " << outcome.rfCycles
                  << " RF cycles\n";
        return ExitFailed;
    }
    // stdout: the EPC found, for scripts (a GS1 EPC's identity in a column
    // after it); the outcome and the new CRC and PC for the user on stderr,
    // as the dialog shows them. --json: one object with the EPC decoded and,
    // when read back, CRC and PC.
    const Epc::Decoded decoded = DecodeEpcText(values.selectedEpc);
    if (json) {
        std::string object = "{\"epc\":" + EpcJson(decoded);
        if (outcome.readBack)
            object += ",\"crc\":" + JsonString(values.crc) + ",\"pc\":" + JsonString(values.pc);
        std::printf("%s}\n", object.c_str());
    } else {
        std::printf("%s%s\n", values.selectedEpc.c_str(), EpcColumn(decoded).c_str());
    }
    std::fflush(stdout);
    PrintStatus(values.status);
    if (!outcome.readBack) {
        std::cerr << "kvplm: written and found, but CRC and PC could not be read back\n";
        return ExitFailed;
    }
    std::cerr << Programmer::ProgrammerTexts::FieldName(kCrcField) << ": " << values.crc << "  "
              << Programmer::ProgrammerTexts::FieldName(kPcField) << ": " << values.pc << "\n";
    return ExitOk;
}

const Registration writeEpc{
    {"write-epc", "PORT HEX... [--select EPC] [--payload-length N] [--json]",
     "write a new EPC and PC, cycle the RF field, print the EPC the next inventory finds", 43, RunWriteEpc}};

} // namespace

} // namespace Cli
