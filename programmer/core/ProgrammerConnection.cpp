#include "ProgrammerConnection.h"

#include "LibraryErrors.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "ProgrammerTexts.h"

#include <algorithm>
#include <cstdio>

namespace Programmer {

namespace {

std::string FirmwareText(int minor) {
    const std::string format = ProgrammerTexts::Get(TextId::FirmwareFormat);
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), 1, minor);
    return text;
}

// The host's wait cursor for a scope, ended early by End.
class BusyScope {
public:
    BusyScope(ProgrammerHost& host, bool active) : m_host(host), m_active(active) {
        if (m_active) m_host.SetBusy(true);
    }
    ~BusyScope() { End(); }
    void End() {
        if (m_active) m_host.SetBusy(false);
        m_active = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    ProgrammerHost& m_host;
    bool m_active;
};

} // namespace

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

    // A Bluetooth session opens at once; the module's inquiry (up to ten
    // seconds) and the link run inside the identification below. The wait
    // cursor goes before any message box shows.
    BusyScope busy(host, LinkPort::TransportOf(request.linkPortName) == LinkPort::Kind::Bluetooth);
    const int id = frontend::OpenSession(request);
    if (id < 0) {
        busy.End();
        // A negative value names no session: its status reads 3, "error
        // opening the port".
        host.ShowMessage(LibraryErrors::Text(LinkGetLastError(id)));
        return outcome;
    }
    if (id == 0) return outcome; // LinkOpen never gives 0; nothing to close

    // A name of up to 32 characters.
    const bool identified = frontend::Identify(id, 33, outcome.identity);
    busy.End();
    if (!identified) {
        LinkClose(id);
        host.ShowMessage(ProgrammerTexts::Get(TextId::NoReader));
        return outcome;
    }
    outcome.deviceName = outcome.identity.name;
    if (!outcome.identity.IsProgrammer()) {
        LinkClose(id);
        host.ShowMessage(ProgrammerTexts::Get(TextId::ReaderOnly));
        return outcome;
    }
    LinkSetState(id, ReaderState::Programming);
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
