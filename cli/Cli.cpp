#include "Cli.h"

#include "BluetoothWait.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "Progress.h"
#include "ReaderConnection.h"
#include "StoredPort.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace Cli {

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) throw UsageError{name + " needs a value"};
            value = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            return true;
        }
        if (args[i].compare(0, name.size() + 1, name + "=") == 0) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + long(i));
            return true;
        }
    }
    return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + long(i));
            return true;
        }
    }
    return false;
}

int ParseInt(const std::string& text, const std::string& what, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        throw UsageError{what + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\""};
    return int(value);
}

uint8_t ParseHexByte(const std::string& text, const std::string& what) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
        throw UsageError{what + ": \"" + text + "\" is not a hex byte (00..FF)"};
    return static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

Bytes ParseHexArgs(const std::vector<std::string>& args, const std::string& what) {
    Bytes bytes;
    for (const std::string& arg : args) {
        size_t pos = 0;
        while (pos < arg.size()) {
            while (pos < arg.size() && (arg[pos] == ' ' || arg[pos] == ','))
                ++pos;
            size_t end = pos;
            while (end < arg.size() && arg[end] != ' ' && arg[end] != ',')
                ++end;
            if (end > pos) bytes.push_back(ParseHexByte(arg.substr(pos, end - pos), what));
            pos = end;
        }
    }
    return bytes;
}

std::string Hex(const uint8_t* data, size_t count) {
    std::string text;
    char piece[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", data[i]);
        text += piece;
    }
    return text;
}

std::string Printable(const uint8_t* data, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += (data[i] >= 0x20 && data[i] < 0x7F) ? char(data[i]) : '.';
    return text;
}

std::string StatusMeaning(int code) {
    if (const char* text = LinkStatusText(code)) return text;
    return "reader status " + std::to_string(code);
}

std::string StatusText(int code) {
    return "status " + std::to_string(code) + " (" + StatusMeaning(code) + ")";
}

std::string LastError(int id) {
    return StatusText(LinkGetLastError(id));
}

std::string OpenFailureReason(int error) {
    switch (error) {
    case ENOTTY:
        return "not a serial port: it is no terminal device";
    case EINVAL:
        return "the name is refused";
    case 0:
    case ENODEV:
        return "no such port, busy, or the name is refused";
    default:
        return std::strerror(error);
    }
}

bool CanWrite(const std::string& path) {
    if (access(path.c_str(), F_OK) == 0) return access(path.c_str(), W_OK) == 0;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

namespace {
bool noConnection = false;
} // namespace

void NoteNoConnection() {
    noConnection = true;
}

bool NoConnectionNoted() {
    return noConnection;
}

int ExitFor(int code) {
    return code == ExitFailed && noConnection ? ExitNoConnection : code;
}

int OpenPort(const std::string& port, const Options& options) {
    if (port == "-") return OpenStoredPort(options);
    WatchBluetoothWait(port, options.trace);
    int id = 0, error = 0;
    {
        ConnectProgress progress;
        id = frontend::OpenSession({port, options.baud, options.format, options.timeout});
        error = errno;
    }
    if (id > 0) return id;
    NoteNoConnection();
    switch (id) {
    case LinkOpenResult::NegativeTimeout:
        std::cerr << "kvplm: negative reply timeout\n";
        break;
    case LinkOpenResult::NoAnswer:
        std::cerr << "kvplm: no reader answered on " << port << " (identification in both framings)\n";
        break;
    default:
        std::cerr << "kvplm: cannot open " << port << " (" << OpenFailureReason(error) << ")\n";
        break;
    }
    return id;
}

} // namespace Cli
