// The core of connecting to a reader, without settings or windows: open the
// port (a serial reader that does not answer at a plain stored rate is looked
// for at the other rates), programming mode, identification, refusal of a
// device type whose low four bits are 0, and the connection flags.
//
// Connector runs it with the stored settings; the command line with a port
// name given on it.
#pragma once

#include <string>

namespace frontend {

struct ReaderRequest {
    std::string linkPortName; // port name with ":address"
    int baudrate = 19200;     // the stored value: baud rate plus the frame code 0..3
    int timeoutMs = 500;
    bool serial = true;   // false for USB and network devices, which open at 19200, format 0
    bool network = false; // a network reader (flag 0x400)
};

struct ReaderResult {
    enum Code { Ok = 0, OpenFailed = 1, NoDevice = 2, Refused = 4 };
    int code = OpenFailed;
    int session = 0;
    int baudrate = 19200;   // in use: the stored value, or the rate the search found
    bool rateFound = false; // the search found the reader at another rate
    std::string deviceType; // the identification, e.g. "3025"
    std::string deviceName; // e.g. "KV-PLM41"
    int minorVersion = 0;   // the fourth character of the identification
    bool usb = false;       // LinkIsUsb
    int flags = 0;          // 0x1F000, + 0x200 HID, + 0x400 network, on success
};

// The rates a serial reader is looked for at, in cycle order.
extern const int BaudCycle[4];

ReaderResult ConnectReader(const ReaderRequest& request);

} // namespace frontend
