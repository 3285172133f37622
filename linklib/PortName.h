// Reading a link port name: the bus address suffix and the transport it names.
#pragma once

#include <string>

namespace PortName {

enum class Kind { Lan, Hid, Serial, Bluetooth, Refused };

// "COM..." (any letter case), or a device path beginning with "/": the names
// that keep the caller's baud rate and may change the line format.
bool CountsAsCom(const std::string& name);

// Cuts ":address" off the name. No colon, or a colon at the end: address 1
// and the name stays whole. A device path may itself contain colons
// (/dev/serial/by-path/...), so for a path only a final ":digits" counts.
std::string SplitAddress(const std::string& name, int& address);

// The transport for a name without its address: a bracketed DHCP name or a
// dotted address (three dots, the first not at the start) is LAN; "HID" is
// USB HID; "BTW" is refused; "BT" is Bluetooth; anything else is serial.
// Inside a device path only the blank-led markers " HID", " BTW" and " BT"
// count.
Kind Transport(const std::string& name);

} // namespace PortName
