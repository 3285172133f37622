// password: read or write the kill or access password.
#include "Commands.h"
#include "ProgrammerCli.h"
#include "ProgrammerTexts.h"

#include <cstdio>
#include <iostream>

namespace Cli {

namespace {

int RunPassword(Options& options) {
    std::string selection;
    const bool selectGiven = TakeSelect(options, selection);
    const std::string port = TakePort(options);
    if (options.args.empty()) throw UsageError{"kill or access is missing"};
    const std::string kind = options.args.front();
    if (kind != "kill" && kind != "access")
        throw UsageError{"the password is kill or access, not \"" + kind + "\""};
    const Programmer::Password which =
        kind == "kill" ? Programmer::Password::Kill : Programmer::Password::Access;
    options.args.erase(options.args.begin());
    const bool write = !options.args.empty();
    const std::string passwordText = JoinArgs(options.args);

    // A password is 4 bytes; anything else is refused before the device
    // is even opened (a text that is no hex bytes as a usage error).
    if (write && ParseFieldArgs(options.args, Programmer::HexText::FieldLimit, "the password").size() != 4) {
        PrintStatus(Programmer::ProgrammerTexts::Get(Programmer::TextId::PasswordLength));
        return ExitFailed;
    }

    CliProgrammer programmer(port, options);
    if (!programmer.Address(selectGiven, selection)) return ExitFailed;
    Programmer::TransponderOperations& operations = programmer.Operations();

    std::string& field = which == Programmer::Password::Kill ? operations.Values().killPassword
                                                             : operations.Values().accessPassword;
    if (write) {
        field = passwordText;
        const int result = operations.WritePassword(which);
        if (result < 0) {
            PrintStatus(operations.Values().status);
            return ExitFailed;
        }
        std::printf("%s\n", operations.Values().status.c_str());
        return ExitOk;
    }
    const int result = operations.ReadPassword(which);
    if (result < 0) {
        PrintStatus(operations.Values().status);
        return ExitFailed;
    }
    if (result != 4) {
        std::cerr << "kvplm: the transponder gave " << result << " bytes, not a 4-byte password\n";
        return ExitFailed;
    }
    std::printf("%s\n", field.c_str());
    return ExitOk;
}

const Registration password{{"password", "PORT kill|access [HEX HEX HEX HEX] [--select EPC]",
                             "read the kill or access password, or write it (4 bytes)", 44, RunPassword}};

} // namespace

} // namespace Cli
