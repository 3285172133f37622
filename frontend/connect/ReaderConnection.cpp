#include "ReaderConnection.h"

#include "LinkApi.h"
#include "LinkVocabulary.h"

#include <algorithm>
#include <atomic>

namespace frontend {

const int BaudCycle[4] = {2400, 4800, 9600, 19200};

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int OpenPort(const ReaderRequest& request, ReaderResult& result) {
    OpenRequest open{request.linkPortName, 19200, 0, request.timeoutMs};
    if (!request.serial) return OpenSession(open);
    const int stored = request.baudrate;
    open.baud = PackedBaud::Rate(stored);
    open.format = PackedBaud::FrameCode(stored);
    int id = OpenSession(open);
    if (id != LinkOpenResult::NoAnswer) return id;
    // A reader set to another rate: only a plain stored rate is searched,
    // the other rates at 8N1.
    int start = -1;
    for (int i = 0; i < 4; ++i)
        if (BaudCycle[i] == stored) start = i;
    if (start < 0) return id;
    open.format = 0;
    for (int step = 1; step < 4; ++step) {
        open.baud = BaudCycle[(start + step) % 4];
        id = OpenSession(open);
        if (id > 0) {
            result.baudrate = open.baud;
            result.rateFound = true;
            return id;
        }
    }
    return id;
}

} // namespace

namespace {
std::atomic<OpenObserver> openObserver{nullptr};
} // namespace

void SetOpenObserver(OpenObserver observer) {
    openObserver = observer;
}

int OpenSession(const OpenRequest& request) {
    if (const OpenObserver observer = openObserver) observer(request);
    return LinkOpen(request.linkPortName.c_str(), request.baud, request.format, request.timeoutMs);
}

DeviceIdentity DeviceIdentity::Parse(const char* reply, int length) {
    DeviceIdentity identity;
    if (reply && length > 0) identity.reply.assign(reply, size_t(length));
    for (int i = 0; i < 3 && i < length; ++i) {
        const int digit = HexDigit(reply[i]);
        if (digit < 0) break;
        identity.type = identity.type * 16 + digit;
    }
    if (length >= 4) identity.minor = std::max(HexDigit(reply[3]), 0);
    return identity;
}

bool Identify(int session, int nameCapacity, DeviceIdentity& identity) {
    char type[4] = {};
    char name[64] = {};
    const int capacity = std::min(nameCapacity, int(sizeof name));
    const int length = LinkGetDeviceInfo(session, type, sizeof type, name, capacity);
    if (length < 0) return false;
    identity = DeviceIdentity::Parse(type, length);
    identity.name = name;
    return true;
}

ReaderResult ConnectReader(const ReaderRequest& request) {
    ReaderResult result;
    result.baudrate = request.baudrate;
    if (request.linkPortName.empty()) return result;

    const int id = OpenPort(request, result);
    if (id <= 0) return result;

    LinkSetState(id, ReaderState::Programming);
    DeviceIdentity identity;
    if (!Identify(id, 31, identity)) { // a name of up to 30 characters
        LinkClose(id);
        result.code = ReaderResult::NoDevice;
        return result;
    }
    result.deviceType = identity.reply;
    if (!identity.IsConfigurable()) {
        LinkClose(id);
        result.code = ReaderResult::Refused;
        return result;
    }
    result.deviceName = identity.name;
    result.minorVersion = identity.minor;
    result.usb = LinkIsUsb(id) > 0;
    result.session = id;
    result.code = ReaderResult::Ok;
    result.flags =
        ConnectionFlag::OfConnection(LinkPort::NamesHidReader(request.linkPortName), request.network);
    return result;
}

} // namespace frontend
