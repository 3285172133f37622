// Connecting to a programmer device and closing the connection again.
//
// The caller supplies the connection settings (link port name, baud rate,
// frame code, reply timeout; the front end's stored "Port" values), the
// program title and the program version. Messages and the window title go
// through the host.
#pragma once

#include "ProgrammerHost.h"

#include <string>

namespace Programmer {

struct ConnectRequest {
    std::string linkPortName; // e.g. "COM3:1", "/dev/ttyUSB0:1", "192.168.0.5-10001:1"
    int baud = 19200;
    int format = 0; // frame code 0..3 (8N1, 8E1, 8O1, 8N2)
    int timeoutMs = 500;
};

// The identification reply: three hex digits of the device type code, one
// hex digit of the firmware's minor version.
struct DeviceIdentity {
    int type = 0;
    int minor = 0;
    // Low four bits of the type 2 or more: a device that can write.
    bool IsProgrammer() const { return (type & 0x0F) >= 2; }

    static DeviceIdentity Parse(const char* reply, int length);
};

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
