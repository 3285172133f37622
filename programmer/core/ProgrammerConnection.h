// Connecting to a programmer device and closing the connection again.
//
// The caller supplies the connection settings (link port name, baud rate,
// frame code, reply timeout; the front end's stored "Port" values), the
// program title and the program version. Messages and the window title go
// through the host.
#pragma once

#include "ProgrammerHost.h"
#include "ReaderConnection.h"

#include <string>

namespace Programmer {

// The stored settings as the programmer opens them: link port name, baud
// rate, frame code and reply timeout, exactly as stored (no rate search).
using ConnectRequest = frontend::OpenRequest;
using frontend::DeviceIdentity;

struct ConnectOutcome {
    int session = 0;        // > 0 connected; 0 not
    std::string title;      // the window title the connect left
    std::string deviceName; // model name of the identification
    DeviceIdentity identity;
};

class ProgrammerConnection {
public:
    // Title while no device is connected: "<title> V<version> <>".
    static std::string IdleTitle(const std::string& programTitle, const std::string& version);
    // Title of a connected device: "<title> V<version> <name [USB:]port  Firmware V1.dd>".
    static std::string DeviceTitle(const std::string& programTitle, const std::string& version,
                                   const std::string& deviceName, bool usb, const std::string& linkPortName,
                                   const DeviceIdentity& identity);

    // Opens the port, identifies the device, refuses a device that cannot
    // write, and puts a programmer into programming mode. Every failure
    // shows its message through the host and leaves no session open.
    static ConnectOutcome Connect(const ConnectRequest& request, const std::string& programTitle,
                                  const std::string& version, ProgrammerHost& host);

    // Closes the session (if any) and sets it to 0; a failed close shows the
    // library error text of the session's status. True when closed cleanly.
    static bool Disconnect(int& session, ProgrammerHost& host);
};

} // namespace Programmer
