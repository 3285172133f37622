// Shared pieces of the kvplm command line: options, hex text, status texts,
// opening a port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Cli {

using Bytes = std::vector<uint8_t>;

// Exit codes, the same for every command (docs/cli.md).
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;       // the reader said no, or a comparison differs
constexpr int ExitUsage = 2;        // bad command line
constexpr int ExitNoConnection = 3; // the port does not open, no reader answers, the reader is not found
constexpr int ExitFileError = 4;    // a file that cannot be read, parsed or written

// Every connect of the commands that fails notes it here (OpenPort, the
// stored port, the programmer's connect, the Morvane procedures' connect);
// a command that then fails exits with ExitNoConnection rather than
// ExitFailed (ExitFor), so that no command has to tell the two apart itself.
void NoteNoConnection();
bool NoConnectionNoted();
// The exit code a command's result becomes: ExitFailed after a failed
// connect is ExitNoConnection; every other code stays.
int ExitFor(int code);

struct Options {
    int baud = 19200;
    int format = 0;
    int timeout = 500;
    bool baudGiven = false;
    bool formatGiven = false;
    bool timeoutGiven = false;
    bool trace = false;
    std::vector<std::string> args; // the command's own arguments and options, in order
};

// Thrown for a bad command line; main prints it with the usage hint.
struct UsageError {
    std::string message;
};

// "--name VALUE" or "--name=VALUE" among the args; removed when found.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
int ParseInt(const std::string& text, const std::string& what, int low, int high);

// Hex bytes from arguments such as "02", "0x1F", "a0", or "E2 00 01" in one
// argument. Throws UsageError for anything else.
Bytes ParseHexArgs(const std::vector<std::string>& args, const std::string& what);
uint8_t ParseHexByte(const std::string& text, const std::string& what);
// "02 1F A0"
std::string Hex(const uint8_t* data, size_t count);
inline std::string Hex(const Bytes& data) {
    return Hex(data.data(), data.size());
}
// Printable characters as they are, others as '.'.
std::string Printable(const uint8_t* data, size_t count);

// What a session status code means.
std::string StatusMeaning(int code);
// "status 4 (reply timeout)"
std::string StatusText(int code);

// Why LinkOpen gave -1, from the errno it left.
std::string OpenFailureReason(int error);

// Whether path can be written without touching it: an existing file that is
// writable, or a new one in a folder that can be written.
bool CanWrite(const std::string& path);

// Opens the port with the global options. On failure prints why and returns
// a value <= 0.
//
// PORT "-" is the port stored in the settings of Morvane, connected exactly
// as Morvane connects with its stored settings: the stored link port name,
// rate, frame code, timeout and address; a serial reader that does not
// answer at the stored rate is searched at the other rates and the rate
// found is stored; the reader is put into programming mode (state 0) and
// identified, and a device type that Morvane refuses is refused. The global
// --baud, --format and --timeout do not apply to it.
int OpenPort(const std::string& port, const Options& options);

// What the last OpenPort("-") found (empty before): the link port name, the
// "Baudrate" value in use, the connection flags and the window title Morvane
// would show.
struct StoredConnection {
    std::string linkPortName;
    int baudrate = 19200;
    int flags = 0;
    std::string title;
};
const StoredConnection& LastStoredConnection();
// The session status of id as text, for an error line.
std::string LastError(int id);

} // namespace Cli
