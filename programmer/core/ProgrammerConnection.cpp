#include "ProgrammerConnection.h"

#include "LibraryErrors.h"
#include "LinkApi.h"
#include "ProgrammerTexts.h"

#include <algorithm>
#include <cstdio>

namespace Programmer {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string FirmwareText(int minor) {
    const std::string format = ProgrammerTexts::Get(TextId::FirmwareFormat);
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), 1, minor);
    return text;
}

} // namespace

DeviceIdentity DeviceIdentity::Parse(const char* reply, int length) {
    DeviceIdentity identity;
    // The type is read like a hex number: up to three digits, ending at the
    // first character that is none.
    for (int i = 0; i < 3 && i < length; ++i) {
        const int digit = HexDigit(reply[i]);
        if (digit < 0) break;
        identity.type = identity.type * 16 + digit;
    }
    if (length >= 4) identity.minor = std::max(HexDigit(reply[3]), 0);
    return identity;
}

std::string ProgrammerConnection::IdleTitle(const std::string& programTitle, const std::string& version) {
    return programTitle + " V" + version + " <>";
}

std::string ProgrammerConnection::DeviceTitle(const std::string& programTitle, const std::string& version,
                                              const std::string& deviceName, bool usb,
                                              const std::string& linkPortName,
                                              const DeviceIdentity& identity) {
    return programTitle + " V" + version + " <" + deviceName + " " + (usb ? "USB:" : "") + linkPortName +
           FirmwareText(identity.minor);
}

ConnectOutcome ProgrammerConnection::Connect(const ConnectRequest& request, const std::string& programTitle,
                                             const std::string& version, ProgrammerHost& host) {
    ConnectOutcome outcome;
    outcome.title = IdleTitle(programTitle, version);
    host.SetTitle(outcome.title);

    const int id = LinkOpen(request.linkPortName.c_str(), request.baud, request.format, request.timeoutMs);
    if (id < 0) {
        // A negative value names no session: its status reads 3, "error
        // opening the port".
        host.ShowMessage(LibraryErrors::Text(LinkGetLastError(id)));
        return outcome;
    }
    if (id == 0) return outcome; // LinkOpen never gives 0; nothing to close

    char type[4] = {};
    char name[33] = {};
    const int length = LinkGetDeviceInfo(id, type, sizeof type, name, sizeof name);
    if (length < 0) {
        LinkClose(id);
        host.ShowMessage(ProgrammerTexts::Get(TextId::NoReader));
        return outcome;
    }
    outcome.identity = DeviceIdentity::Parse(type, length);
    outcome.deviceName = name;
    if (!outcome.identity.IsProgrammer()) {
        LinkClose(id);
        host.ShowMessage(ProgrammerTexts::Get(TextId::ReaderOnly));
        return outcome;
    }
    LinkSetState(id, 0);
    outcome.title = DeviceTitle(programTitle, version, outcome.deviceName, LinkIsUsb(id) == 1,
                                request.linkPortName, outcome.identity);
    host.SetTitle(outcome.title);
    outcome.session = id;
    return outcome;
}

bool ProgrammerConnection::Disconnect(int& session, ProgrammerHost& host) {
    if (session == 0) return true;
    const int id = session;
    session = 0;
    if (LinkClose(id) == 0) return true;
    host.ShowMessage(LibraryErrors::Text(LinkGetLastError(id)));
    return false;
}

} // namespace Programmer
