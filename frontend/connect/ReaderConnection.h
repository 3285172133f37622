// The connect core: the steps every way of connecting to a reader shares,
// over the Link API and without settings or windows.
//
//   OpenSession    the one LinkOpen of the programs and the command line
//   Identify       LinkGetDeviceInfo and the type code it carries
//   ConnectReader  the configuration program's connect (Morvane, and the
//                  command line's reader commands): open (a serial reader
//                  that does not answer at a plain stored rate is looked
//                  for at the other rates), programming mode, identification,
//                  refusal of a device type whose low four bits are 0, the
//                  connection flags
//
// The programmer's connect (programmer/core ProgrammerConnection) and the
// command line's raw commands (kvplm info, transceive, raw-read) use
// OpenSession and Identify with their own differences: the programmer opens
// as stored without a rate search, identifies before it sets programming
// mode and refuses devices that cannot write; the raw commands only open.
#pragma once

#include <string>

namespace frontend {

// LinkOpen's arguments.
struct OpenRequest {
    std::string linkPortName; // port name with ":address"
    int baud = 19200;
    int format = 0; // frame code 0..3 (8N1, 8E1, 8O1, 8N2)
    int timeoutMs = 500;
};

// LinkOpen: a session id (> 0), or LinkOpen's failure value
// (LinkOpenResult: -1, -2, -11).
int OpenSession(const OpenRequest& request);

// Told of every OpenSession before it opens (the command line's progress
// line names the rate a search is trying); nullptr for none.
using OpenObserver = void (*)(const OpenRequest& request);
void SetOpenObserver(OpenObserver observer);

// What a device says of itself: the identification reply (three hex digits
// of the device type code, one hex digit of the firmware's minor version)
// and its model name.
struct DeviceIdentity {
    std::string reply; // e.g. "3025"
    std::string name;  // e.g. "KV-PLM41"; "" for an unknown type
    int type = 0;      // the leading hex digits of the first three characters
    int minor = 0;     // the fourth character as a hex digit, 0 when none

    // Low four bits of the type 2 or more: a device that can write (a
    // programmer); 0: a device the configuration program refuses.
    bool IsProgrammer() const { return (type & 0x0F) >= 2; }
    bool IsConfigurable() const { return (type & 0x0F) != 0; }

    // The type is read like a hex number: up to three digits, ending at the
    // first character that is none.
    static DeviceIdentity Parse(const char* reply, int length);
};

// LinkGetDeviceInfo into a 4-character type and a name buffer of
// nameCapacity characters (with its NUL); false when the device does not
// identify itself.
bool Identify(int session, int nameCapacity, DeviceIdentity& identity);

struct ReaderRequest {
    std::string linkPortName; // port name with ":address"
    int baudrate = 19200;     // the stored value: baud rate plus the frame code 0..3 (PackedBaud)
    int timeoutMs = 500;
    bool serial = true;   // false for USB and network devices, which open at 19200, format 0
    bool network = false; // a network reader (ConnectionFlag::Network)
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
    int flags = 0;          // ConnectionFlag::OfConnection on success
};

// The rates a serial reader is looked for at, in cycle order.
extern const int BaudCycle[4];

ReaderResult ConnectReader(const ReaderRequest& request);

} // namespace frontend
