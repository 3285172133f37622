// read-all: what the programmer's "Alles lesen" reads (the first transponder
// of an inventory: its EPC bank, TID, whole user memory, access and kill
// password), one line each, with the EPC and the TID decoded beside the hex.
#include "Commands.h"
#include "EpcOutput.h"
#include "HexText.h"
#include "ProgrammerCli.h"

#include <cstdio>
#include <string>
#include <vector>

namespace Cli {

namespace {

using Programmer::Password;
using Programmer::TransponderValues;

// The EPC field as the dialog shows it, decoded; a field that is no hex
// (nothing read) decodes to nothing.
Epc::Decoded DecodedEpc(const TransponderValues& values) {
    return DecodeEpcText(values.epc);
}

Epc::Bytes FieldBytes(const std::string& text) {
    Epc::Bytes bytes;
    if (!Epc::FromHex(text, bytes)) bytes.clear();
    return bytes;
}

int RunReadAll(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    const std::string port = TakePort(options);
    NoMoreArgs(options);

    CliProgrammer programmer(port, options);
    // No transponder: the inventory's status says so, and nothing else is read.
    if (!programmer.Address(false, {})) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();
    TransponderValues& values = operations.Values();

    // The steps of "Alles lesen" after its inventory, each with its own
    // outcome (the dialog shows only the last one's).
    struct Step {
        const char* name;
        int result;
        std::string status;
    };
    std::vector<Step> steps;
    auto run = [&](const char* name, int result) { steps.push_back({name, result, values.status}); };
    run("epc", operations.ReadEpc());
    run("tid", operations.ReadTid());
    values.userStart = 0;
    values.userLength = 0;
    run("user", operations.ReadUser());
    run("access", operations.ReadPassword(Password::Access));
    run("kill", operations.ReadPassword(Password::Kill));
    bool failed = false;
    for (const Step& step : steps)
        failed = failed || step.result < 0;

    const Epc::Decoded epc = DecodedEpc(values);
    const Epc::Bytes tidBytes = FieldBytes(values.tid);
    const Epc::Tid tid = Epc::DecodeTid(tidBytes);
    if (json) {
        std::vector<std::string> errors;
        for (const Step& step : steps)
            if (step.result < 0)
                errors.push_back("{\"step\":" + JsonString(step.name) +
                                 ",\"status\":" + JsonString(step.status) + "}");
        std::printf("{\"selected\":%s,\"count\":%d,\"crc\":%s,\"pc\":%s,\"epc\":%s,\"tid\":%s,\"user\":%s,"
                    "\"access\":%s,\"kill\":%s,\"errors\":%s}\n",
                    JsonString(Epc::ToHex(FieldBytes(values.selectedEpc))).c_str(), values.count,
                    JsonString(Epc::ToHex(FieldBytes(values.crc))).c_str(),
                    JsonString(Epc::ToHex(FieldBytes(values.pc))).c_str(), EpcJson(epc).c_str(),
                    TidJson(Epc::ToHex(tidBytes), tid).c_str(),
                    JsonString(Epc::ToHex(FieldBytes(values.userData))).c_str(),
                    JsonString(Epc::ToHex(FieldBytes(values.accessPassword))).c_str(),
                    JsonString(Epc::ToHex(FieldBytes(values.killPassword))).c_str(),
                    JsonArray(errors).c_str());
    } else {
        std::printf("Count:     %d\n", values.count);
        std::printf("CRC:       %s\n", values.crc.c_str());
        std::printf("PC:        %s\n", values.pc.c_str());
        std::printf("EPC:       %s%s\n", values.epc.c_str(), EpcColumn(epc).c_str());
        std::printf("TID:       %s%s\n", values.tid.c_str(),
                    tid.valid ? ("\t" + Epc::Summary(tid)).c_str() : "");
        std::printf("User:      %s\n", values.userData.c_str());
        std::printf("Access:    %s\n", values.accessPassword.c_str());
        std::printf("Kill:      %s\n", values.killPassword.c_str());
        for (const Step& step : steps)
            if (step.result < 0) PrintStatus(std::string(step.name) + ": " + step.status);
    }
    return failed ? ExitFailed : ExitOk;
}

const Registration readAll{
    {"read-all", "PORT [--json]",
     "what \"Alles lesen\" reads of the first transponder: EPC bank, TID, user memory, "
     "passwords (EPC and TID decoded)",
     45, RunReadAll}};

} // namespace

} // namespace Cli
