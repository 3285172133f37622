// LinkVocabulary.h - the words every layer uses about a connection, in one
// place: port names (the list form a program stores, the link port name
// LinkOpen takes, its bus address and the transport it picks), the
// connection flags of the configuration program's connect, the reader states,
// the packed "Baudrate" value with its frame code, the settings keys of a
// program's connection, and the session status codes.
//
// Header-only C++17 with the standard library alone: the link library parses
// port names with it, and the programs, the front end and the command line
// use the same functions instead of their own copies. (LinkApi.h stays the
// C interface; LinkStatusText there gives the status codes' texts.)
#ifndef KVPLM_LINKVOCABULARY_H
#define KVPLM_LINKVOCABULARY_H

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

// Session status codes (LinkGetLastError). A success never clears one.
namespace LinkStatus {
constexpr int None = 0;
constexpr int UnknownId = 3;       // reported by LinkGetLastError only
constexpr int Timeout = 4;         // no whole reply within the reply timeout
constexpr int BufferTooSmall = 5;  // reply longer than the caller's buffer
constexpr int PayloadTooLong = 6;  // nothing was sent
constexpr int NothingToSend = 8;   // no command pending
constexpr int CheckMismatch = 10;  // check byte or CRC of the reply
constexpr int EmptyReply = 12;     // nothing queued when the reply was read
constexpr int BadState = 13;       // LinkSetState with low 7 bits >= 3
constexpr int NoFormatChange = 14; // the line format cannot change on this connection
constexpr int AddressRange = 15;   // tag word address outside 0..0xFFFF
// Further codes the programs have texts for: no reader at the port, and
// status bytes of the readers themselves.
constexpr int NoReader = 11;
constexpr int NoValueInformation = 19;
constexpr int WrongDataCountSent = 20;
constexpr int NoTransponder = 21;
constexpr int Collision = 23;
constexpr int UnknownCommand = 24;
} // namespace LinkStatus

// LinkOpen's results besides a session id.
namespace LinkOpenResult {
constexpr int Failed = -1;          // the transport did not open, or the name is refused
constexpr int NegativeTimeout = -2; // no session was made
constexpr int NoAnswer = -11;       // no reader answered the identification in either framing
} // namespace LinkOpenResult

// The state byte of LinkSetState (command 0xF4).
namespace ReaderState {
constexpr int Programming = 0;     // sent right after opening
constexpr int Reader = 1;          // the reader runs on its own (function test)
constexpr int BeforeClose = 2;     // sent before a connection is closed
constexpr int StorePowerOn = 0x80; // bit 7: store bit 0 as the mode at power-on
} // namespace ReaderState

// The connection flags the configuration program's connect hands to its
// pages and commands; they read single bits.
namespace ConnectionFlag {
constexpr int Relay = 0x80; // relay button and sensor input; never set by a connect
constexpr int Hid = 0x200;
constexpr int Network = 0x400;
constexpr int ReaderConnected = 0x1000;
// Feature bits of the data page (always set together with ReaderConnected).
constexpr int FirstByteAndByteRotation = 0x2000;
constexpr int BitRotation = 0x4000;
constexpr int DecimalNoZeros = 0x8000;
constexpr int Identifiers = 0x10000;
constexpr int Features = FirstByteAndByteRotation | BitRotation | DecimalNoZeros | Identifiers;
// What every successful connect sets (0x1F000).
constexpr int Connected = ReaderConnected | Features;

// The flags of a successful connect.
constexpr int OfConnection(bool hid, bool network) {
    return Connected | (hid ? Hid : 0) | (network ? Network : 0);
}
} // namespace ConnectionFlag

// The stored "Baudrate" value: the baud rate plus a frame code 0..3 (0 8N1,
// 1 8E1, 2 8O1, 3 8N2), which is LinkOpen's format argument. The rate is the
// value without its remainder modulo 100, the code is that remainder.
namespace PackedBaud {
constexpr int FrameCode(int packed) {
    return packed % 100;
}
constexpr int Rate(int packed) {
    return packed - FrameCode(packed);
}
constexpr int Pack(int rate, int frameCode) {
    return rate + frameCode;
}
} // namespace PackedBaud

// The connection settings of a program (section "Port" of its settings
// store), with their defaults and ranges.
namespace PortSettings {
constexpr const char* Section = "Port";
constexpr const char* Name = "Name";              // the port in its list form
constexpr const char* Baudrate = "Baudrate";      // PackedBaud
constexpr const char* Timeout = "Timeout";        // reply timeout in ms
constexpr const char* Address = "Adresse";        // bus address
constexpr const char* Ethernet = "EthernetAktiv"; // 0/1: network readers are searched

constexpr const char* DefaultName = "COM1"; // what an empty stored name becomes
constexpr int DefaultBaudrate = 19200;
constexpr int DefaultTimeout = 500;
constexpr int DefaultAddress = 1;
constexpr int MinTimeout = 10, MaxTimeout = 300000;
constexpr int MinAddress = 1, MaxAddress = 255;

// "Port/Name" and the like: the key as a flat settings map spells it.
inline std::string Path(const char* key) {
    return std::string(Section) + "/" + key;
}
} // namespace PortSettings

// Port names.
//
// List form: how a program lists and stores a port. A serial port as the
// serial port list gives it (a device path, COMn, a bridge serial number,
// each perhaps followed by " [label]"), "USB: " + a USB device name, "LAN: "
// + a network device name, "Bluetooth: " + a device name.
//
// Link port name: the list form without its prefix, ":" and the bus address
// (COM3:1, /dev/ttyUSB0:2, 4400-0001 HID:1, 192.168.0.5:1). LinkOpen takes
// it and picks the transport from the name without the address.
namespace LinkPort {

enum class Kind { Lan, Hid, Serial, Bluetooth, Refused };

constexpr const char* UsbPrefix = "USB: ";
constexpr const char* LanPrefix = "LAN: ";
constexpr const char* BluetoothPrefix = "Bluetooth: ";

namespace Detail {
inline bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}
inline bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}
// The part occurs at a position after the text's first character.
inline bool ContainsAfterStart(const std::string& text, const char* part) {
    const size_t at = text.find(part, 1);
    return at != std::string::npos && at > 0;
}
inline bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}
} // namespace Detail

// A device path: a name beginning with "/".
inline bool IsDevicePath(const std::string& name) {
    return !name.empty() && name[0] == '/';
}

// "COM..." (any letter case) or a device path: the names that keep the
// caller's baud rate in LinkOpen and count as serial ports for the mode
// buttons of the interface dialog.
inline bool CountsAsCom(const std::string& name) {
    if (IsDevicePath(name)) return true;
    return name.size() >= 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
           std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(name[2])) == 'M';
}

// Cuts ":address" off a link port name. No colon, or a colon at the end:
// address 1 and the name stays whole. A device path may itself contain
// colons (/dev/serial/by-path/...), so for a path only a final ":digits"
// counts; elsewhere the first colon does.
inline std::string SplitAddress(const std::string& name, int& address) {
    address = 1;
    if (IsDevicePath(name)) {
        const size_t colon = name.rfind(':');
        if (colon == std::string::npos || colon + 1 == name.size()) return name;
        if (!Detail::AllDigits(name.substr(colon + 1))) return name;
        address = std::atoi(name.c_str() + colon + 1);
        return name.substr(0, colon);
    }
    const size_t colon = name.find(':');
    if (colon == std::string::npos || colon + 1 == name.size()) return name;
    address = std::atoi(name.c_str() + colon + 1);
    return name.substr(0, colon);
}

inline std::string WithoutAddress(const std::string& name) {
    int address = 1;
    return SplitAddress(name, address);
}

// The transport a name without its address picks: a bracketed DHCP name or
// a dotted address (three dots, the first not at the start) is LAN; "HID"
// is USB HID; "BTW" is refused; "BT" is Bluetooth; anything else is serial
// (a tty, COMn or a USB bridge serial number). Inside a device path only
// the blank-led markers " HID", " BTW" and " BT" count, so a by-id path
// that happens to hold "BT" or "HID" stays serial.
inline Kind Transport(const std::string& name) {
    using Detail::Contains;
    if (IsDevicePath(name)) {
        if (Contains(name, " HID")) return Kind::Hid;
        if (!Contains(name, " BT")) return Kind::Serial;
        if (Contains(name, " BTW")) return Kind::Refused;
        return Kind::Bluetooth;
    }
    if (!name.empty()) {
        const size_t firstDot = name.find('.');
        if (name[0] == '[' || (std::count(name.begin(), name.end(), '.') == 3 && firstDot != 0))
            return Kind::Lan;
    }
    if (Contains(name, "HID")) return Kind::Hid;
    if (!Contains(name, "BT")) return Kind::Serial;
    if (Contains(name, "BTW")) return Kind::Refused;
    return Kind::Bluetooth;
}

// The transport of a whole link port name (with its address).
inline Kind TransportOf(const std::string& linkPortName) {
    return Transport(WithoutAddress(linkPortName));
}

// Whether a connection counts as an HID reader for the connection flags and
// the pages: its link port name contains "HID" anywhere. This is wider than
// the transport choice inside device paths (a path holding "HID" without a
// blank opens as a serial port yet counts as an HID reader here).
inline bool NamesHidReader(const std::string& linkPortName) {
    return Detail::Contains(linkPortName, "HID");
}

// List forms.
inline bool IsUsbListForm(const std::string& listForm) {
    return Detail::StartsWith(listForm, UsbPrefix);
}
inline bool IsLanListForm(const std::string& listForm) {
    return Detail::StartsWith(listForm, LanPrefix);
}
inline bool IsBluetoothListForm(const std::string& listForm) {
    return Detail::StartsWith(listForm, BluetoothPrefix);
}

// The list form without its "USB: ", "LAN: " or "Bluetooth: " prefix; a
// serial name stays whole.
inline std::string DevicePart(const std::string& listForm) {
    for (const char* prefix : {UsbPrefix, LanPrefix, BluetoothPrefix})
        if (Detail::StartsWith(listForm, prefix))
            return listForm.substr(std::char_traits<char>::length(prefix));
    return listForm;
}

// The link port name of a list form and a bus address.
inline std::string LinkPortName(const std::string& listForm, int address) {
    return DevicePart(listForm) + ":" + std::to_string(address);
}

// The serial list form of a serial port list entry: a leading "\\.\"
// (the device namespace of COM names) removed.
inline std::string SerialListForm(const std::string& entry) {
    return Detail::StartsWith(entry, "\\\\.\\") ? entry.substr(4) : entry;
}

// A serial entry of the maker's virtual COM driver: a COM name or device
// path labelled " [Norda Virtual COM..." (after its first character).
inline bool IsVirtualComEntry(const std::string& entry) {
    return CountsAsCom(entry) && Detail::ContainsAfterStart(entry, " [Norda Virtual COM");
}

// A "USB: " entry of a reader that can also run as a virtual COM port: " HID"
// and "4400-" after its first character. (Switching also needs the virtual
// COM driver; LinkIsVirtualComDriverInstalled tells.)
inline bool IsDualModeHidEntry(const std::string& entry) {
    return IsUsbListForm(entry) && Detail::ContainsAfterStart(entry, " HID") &&
           Detail::ContainsAfterStart(entry, "4400-");
}

} // namespace LinkPort

#endif // KVPLM_LINKVOCABULARY_H
