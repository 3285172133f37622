// The command line's own parsing: the global options as main takes them,
// the options and numbers the commands take, and the hex bytes of
// "transceive". The arguments are the input split at its NUL bytes. A bad
// command line may only ever end in a UsageError.
#include "FuzzCheck.h"

#include "Cli.h"
#include "StoredPort.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// PORT "-" connects with the stored settings (Qt); never reached here.
int Cli::OpenStoredPort(const Options&) {
    return -1;
}
const Cli::StoredConnection& Cli::LastStoredConnection() {
    static const StoredConnection none;
    return none;
}

namespace {

std::vector<std::string> Arguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || text[i] == '\0') {
            args.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    return args;
}

// TakeOption as main and the commands call it, with its promises checked.
bool Take(std::vector<std::string>& args, const std::string& name, std::string& value) {
    const std::vector<std::string> before = args;
    bool taken = false;
    try {
        taken = Cli::TakeOption(args, name, value);
    } catch (const Cli::UsageError&) {
        // Only a last "--name" without its value.
        FUZZ_CHECK(args == before && !before.empty() && before.back() == name);
        throw;
    }
    if (!taken) {
        FUZZ_CHECK(args == before);
        return false;
    }
    FUZZ_CHECK(args.size() + 1 == before.size() || args.size() + 2 == before.size());
    if (args.size() + 2 == before.size())
        FUZZ_CHECK(std::find(before.begin(), before.end(), name) != before.end());
    else
        FUZZ_CHECK(std::find(before.begin(), before.end(), name + "=" + value) != before.end());
    return true;
}

int Number(const std::string& text, const std::string& what, int low, int high) {
    const int value = Cli::ParseInt(text, what, low, high);
    FUZZ_CHECK(value >= low && value <= high, text);
    return value;
}

void Options(std::vector<std::string> args) {
    Cli::Options options;
    std::string value;
    if (Take(args, "--baud", value)) options.baud = Number(value, "--baud", 1, 4000000);
    if (Take(args, "--format", value)) options.format = Number(value, "--format", 0, 3);
    if (Take(args, "--timeout", value)) options.timeout = Number(value, "--timeout", 0, 300000);
    // A flag is taken once; a second one is left to the command, which refuses it.
    const auto traces = std::count(args.begin(), args.end(), "--trace");
    options.trace = Cli::TakeFlag(args, "--trace");
    FUZZ_CHECK(options.trace == (traces > 0));
    FUZZ_CHECK(std::count(args.begin(), args.end(), "--trace") == (traces > 0 ? traces - 1 : 0));
    // The commands' own options.
    if (Take(args, "--start", value)) Number(value, "--start", 0, 0x1FFFE);
    if (Take(args, "--length", value)) Number(value, "--length", 0, 200);
    if (Take(args, "--seconds", value)) Number(value, "--seconds", 0, 86400);
    if (Take(args, "--set-baud", value)) Number(value, "--set-baud", 0, 1000000);
    if (Take(args, "--payload-length", value)) Number(value, "--payload-length", 0, 62);
}

void HexBytes(const std::vector<std::string>& args) {
    const Cli::Bytes bytes = Cli::ParseHexArgs(args, "payload");
    // What was read, written as the command line prints it, reads the same.
    FUZZ_CHECK(Cli::ParseHexArgs({Cli::Hex(bytes)}, "payload") == bytes);
    size_t characters = 0;
    for (const std::string& arg : args)
        characters += arg.size();
    FUZZ_CHECK(bytes.size() <= characters);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> args = Arguments(data, size);
    try {
        Options(args);
    } catch (const Cli::UsageError& error) {
        FUZZ_CHECK(!error.message.empty());
    }
    try {
        HexBytes(args);
    } catch (const Cli::UsageError& error) {
        FUZZ_CHECK(!error.message.empty());
    }
    // The bytes themselves, printed both ways.
    FUZZ_CHECK(Cli::Printable(data, size).size() == size);
    FUZZ_CHECK(Cli::Hex(data, size).size() == (size ? 3 * size - 1 : 0));
    return 0;
}
