// Opening a session the way Morvane's connect procedure does, for callers
// that know the link port name and line settings directly (the command
// line, tests): LinkOpen (serial ports retry the other standard rates when
// no reader answers), LinkSetState 0, LinkGetDeviceInfo, refusal of a device
// type whose low four bits are 0, the connection flags (ConnectionFlag: a HID
// or network transport as the link port name picks it).
#pragma once

#include "SetupHost.h"

#include <string>

namespace ReaderConnect {

struct Request {
    std::string port;     // link port name, e.g. /dev/ttyUSB0:1, COM3:1, 192.168.0.5:1
    int baudrate = 19200; // the stored value: baud rate plus the frame code 0..3
    int timeoutMs = 500;
};

struct Result {
    SetupConnection connection; // code 0 and session > 0 on success
    int openedBaud = 0;         // the rate the session was opened with
    std::string deviceType;     // the identification text, e.g. "3025"
    std::string deviceName;     // e.g. "KV-PLM41"
    std::string firmware;       // "V1.05"
};

// The connection's baud rate in use is the stored value; after a retry at
// another rate it is that rate, so that a later change of the rate compares
// with what the reader really runs at.
Result Connect(const Request& request);

// The message of a failure code with messages on: 1 -> 521, 2 and 4 -> 522.
SetupMessage FailureMessage(int code);

// Closing a session: LinkSetState 2, then LinkClose.
void Close(int session);

} // namespace ReaderConnect
