#include "ReaderConnect.h"

#include "LinkApi.h"
#include "ReaderConnection.h"
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
    frontend::ReaderRequest reader;
    reader.linkPortName = request.port;
    reader.baudrate = request.baudrate;
    reader.timeoutMs = request.timeoutMs;
    reader.network = IsNetworkPort(request.port);
    reader.serial = !reader.network && !IsHidPort(request.port);
    const frontend::ReaderResult found = frontend::ConnectReader(reader);

    Result result;
    result.connection.code = found.code;
    result.connection.baud = found.baudrate;
    result.openedBaud = reader.serial ? found.baudrate - found.baudrate % 100 : 19200;
    if (found.code != frontend::ReaderResult::Ok) return result;
    result.connection.session = found.session;
    result.connection.flags = found.flags;
    result.deviceType = found.deviceType;
    result.deviceName = found.deviceName;
    result.firmware = SetupText::Formatted(533, {1, found.minorVersion});
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
