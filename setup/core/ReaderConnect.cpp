#include "ReaderConnect.h"

#include "LinkApi.h"
#include "SetupText.h"

#include <algorithm>
#include <cstdlib>

namespace ReaderConnect {

namespace {

std::string WithoutAddress(const std::string& port) {
    if (!port.empty() && port[0] == '/') {
        const size_t colon = port.rfind(':');
        if (colon != std::string::npos && colon + 1 < port.size() &&
            std::all_of(port.begin() + long(colon) + 1, port.end(),
                        [](unsigned char c) { return std::isdigit(c); }))
            return port.substr(0, colon);
        return port;
    }
    return port.substr(0, port.find(':'));
}

int Next(int rate) {
    switch (rate) {
    case 2400:
        return 4800;
    case 4800:
        return 9600;
    case 9600:
        return 19200;
    default:
        return 2400;
    }
}

} // namespace

bool IsNetworkPort(const std::string& port) {
    const std::string name = WithoutAddress(port);
    if (name.empty() || name[0] == '/') return false;
    const size_t firstDot = name.find('.');
    return name[0] == '[' || (std::count(name.begin(), name.end(), '.') == 3 && firstDot != 0);
}

bool IsHidPort(const std::string& port) {
    return port.find("HID") != std::string::npos;
}

Result Connect(const Request& request) {
    Result result;
    result.connection.baud = request.baudrate;
    if (request.port.empty()) return result; // code 1
    const bool network = IsNetworkPort(request.port);
    const bool serial = !network && !IsHidPort(request.port);

    int id = 0;
    bool retried = false;
    if (!serial) {
        id = LinkOpen(request.port.c_str(), 19200, 0, request.timeoutMs);
        result.openedBaud = 19200;
    } else {
        const int stored = request.baudrate;
        const int baud = stored - stored % 100;
        id = LinkOpen(request.port.c_str(), baud, stored % 100, request.timeoutMs);
        result.openedBaud = baud;
        if (id == -11 && (stored == 2400 || stored == 4800 || stored == 9600 || stored == 19200)) {
            for (int rate = Next(stored); rate != stored && id <= 0; rate = Next(rate)) {
                id = LinkOpen(request.port.c_str(), rate, 0, request.timeoutMs);
                result.openedBaud = rate;
                retried = true;
            }
        }
    }
    if (id <= 0) {
        result.connection.code = 1;
        return result;
    }
    LinkSetState(id, 0);

    char type[16] = {};
    char name[31] = {};
    const int length = LinkGetDeviceInfo(id, type, sizeof type - 1, name, sizeof name);
    if (length < 0) {
        LinkClose(id);
        result.connection.code = 2;
        return result;
    }
    result.deviceType.assign(type, size_t(std::min(length, int(sizeof type - 1))));
    const std::string digits = result.deviceType.substr(0, 3);
    const long deviceType = std::strtol(digits.c_str(), nullptr, 16);
    if ((deviceType & 0x0F) == 0) {
        LinkClose(id);
        result.connection.code = 4;
        return result;
    }
    result.deviceName = name;
    const int minor = result.deviceType.size() >= 4
                          ? int(std::strtol(result.deviceType.substr(3, 1).c_str(), nullptr, 16))
                          : 0;
    result.firmware = SetupText::Formatted(533, {1, minor});

    result.connection.code = 0;
    result.connection.session = id;
    result.connection.baud = retried ? result.openedBaud : request.baudrate;
    result.connection.flags = 0x1F000 | (IsHidPort(request.port) ? 0x200 : 0) | (network ? 0x400 : 0);
    return result;
}

SetupMessage FailureMessage(int code) {
    return SetupMessage::FromId(code == 1 ? 521 : 522, MessageIcon::Exclamation);
}

void Close(int session) {
    if (session <= 0) return;
    LinkSetState(session, 2);
    LinkClose(session);
}

} // namespace ReaderConnect
