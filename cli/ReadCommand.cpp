// read: a stretch of a transponder's memory bank.
#include "Commands.h"
#include "EpcOutput.h"
#include "HexText.h"
#include "ProgrammerCli.h"

#include <cstdio>

namespace Cli {

namespace {

constexpr int kEpcBank = 1, kTidBank = 2;

// The decoded form of an EPC or TID bank read from its start: the EPC the PC
// delimits, or the TID's first words. Text: a column after the hex (only
// where there is something to show); json: the object, or empty.
std::string DecodedColumn(int bank, int start, const Programmer::Bytes& data, bool json) {
    if (start != 0) return {};
    if (bank == kEpcBank) {
        Epc::Bytes epc;
        Epc::Decoded decoded;
        std::string reason;
        if (EpcFromBank(data, epc, reason)) {
            decoded = Epc::Decode(epc);
        } else {
            decoded.hex = Epc::ToHex(epc);
            decoded.reason = reason;
        }
        return json ? ",\"epc\":" + EpcJson(decoded) : EpcColumn(decoded);
    }
    if (bank == kTidBank) {
        const Epc::Tid tid = Epc::DecodeTid(data);
        if (json) return ",\"tid\":" + TidJson(Epc::ToHex(data), tid);
        return tid.valid ? "\t" + Epc::Summary(tid) : std::string();
    }
    return {};
}

int RunRead(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    std::string selection, startText, lengthText;
    const bool selectGiven = TakeSelect(options, selection);
    const bool startGiven = TakeOption(options.args, "--start", startText);
    const bool lengthGiven = TakeOption(options.args, "--length", lengthText);
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"BANK is missing"};
    const int bank = ParseBank(options.args.front());
    options.args.erase(options.args.begin());
    NoMoreArgs(options);
    const int start = startGiven ? ParseInt(startText, "--start", 0, 0x1FFFE) : 0;
    const int length =
        lengthGiven ? ParseInt(lengthText, "--length", 0, Programmer::TransponderOperations::ReadBufferSize)
                    : 0;
    if (start % 2) throw UsageError{"--start must be even (the memory is addressed in 16-bit words)"};
    if (length == 0 && start != 0) throw UsageError{"reading the whole bank (no --length) starts at 0"};

    CliProgrammer programmer(port, options);
    if (!programmer.Address(selectGiven, selection)) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();

    // A length reads that many bytes from the start; none reads the whole
    // bank, as the dialog's EPC, TID and whole-user-memory reads do.
    Programmer::Bytes data;
    const int result =
        length != 0 ? operations.ReadBank(bank, start, length, data) : operations.ReadWholeBank(bank, data);
    operations.Report(result, Programmer::Access::Read);
    if (result < 0) {
        PrintStatus(operations.Values().status);
        return ExitFailed;
    }
    if (json)
        std::printf("{\"bank\":%d,\"start\":%d,\"data\":%s%s}\n", bank, start,
                    JsonString(Epc::ToHex(data)).c_str(), DecodedColumn(bank, start, data, true).c_str());
    else
        std::printf("%s%s\n", Programmer::HexText::Format(data).c_str(),
                    DecodedColumn(bank, start, data, false).c_str());
    return ExitOk;
}

const Registration read{{"read", "PORT BANK [--start BYTE] [--length N] [--select EPC] [--json]",
                         "read transponder memory (BANK reserved|epc|tid|user|0-3; no length: whole bank; "
                         "EPC and TID decoded beside the hex)",
                         41, RunRead}};

} // namespace

} // namespace Cli
