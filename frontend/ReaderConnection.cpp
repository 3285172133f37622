#include "ReaderConnection.h"

#include "LinkApi.h"

#include <cstdlib>

namespace frontend {

const int BaudCycle[4] = {2400, 4800, 9600, 19200};

namespace {

constexpr int NoAnswer = -11;

int HexValue(const std::string& text) {
    return int(std::strtol(text.c_str(), nullptr, 16));
}

int OpenPort(const ReaderRequest& request, ReaderResult& result) {
    const char* name = request.linkPortName.c_str();
    if (!request.serial) return LinkOpen(name, 19200, 0, request.timeoutMs);
    const int stored = request.baudrate;
    int id = LinkOpen(name, stored - stored % 100, stored % 100, request.timeoutMs);
    if (id != NoAnswer) return id;
    // A reader set to another rate: only a plain stored rate is searched,
    // the other rates at 8N1.
    int start = -1;
    for (int i = 0; i < 4; ++i)
        if (BaudCycle[i] == stored) start = i;
    if (start < 0) return id;
    for (int step = 1; step < 4; ++step) {
        const int rate = BaudCycle[(start + step) % 4];
        id = LinkOpen(name, rate, 0, request.timeoutMs);
        if (id > 0) {
            result.baudrate = rate;
            result.rateFound = true;
            return id;
        }
    }
    return id;
}

} // namespace

ReaderResult ConnectReader(const ReaderRequest& request) {
    ReaderResult result;
    result.baudrate = request.baudrate;
    if (request.linkPortName.empty()) return result;

    const int id = OpenPort(request, result);
    if (id <= 0) return result;

    LinkSetState(id, 0);
    char type[4] = {};
    char device[31] = {};
    const int length = LinkGetDeviceInfo(id, type, sizeof type, device, sizeof device);
    if (length < 0) {
        LinkClose(id);
        result.code = ReaderResult::NoDevice;
        return result;
    }
    result.deviceType.assign(type, size_t(length));
    const int deviceType = HexValue(result.deviceType.substr(0, 3));
    if ((deviceType & 0x0F) == 0) {
        LinkClose(id);
        result.code = ReaderResult::Refused;
        return result;
    }
    result.deviceName = device;
    result.minorVersion = result.deviceType.size() >= 4 ? HexValue(result.deviceType.substr(3, 1)) : 0;
    result.usb = LinkIsUsb(id) > 0;
    result.session = id;
    result.code = ReaderResult::Ok;
    result.flags = 0x1F000;
    if (request.linkPortName.find("HID") != std::string::npos) result.flags |= 0x200;
    if (request.network) result.flags |= 0x400;
    return result;
}

} // namespace frontend
