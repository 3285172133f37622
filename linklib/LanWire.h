// LanWire: what goes over the network to a reader's network module, without
// any I/O. The datagrams of the UDP configuration channel (search, device
// records, restart), the list entries a search gives, the device record's
// fields, and the texts that name a network reader or an address setting.
//
// Every answer of the module is a 4-byte header whose byte 3 is the answer
// code, then the payload. Record 0 (at least 120 bytes):
//   0..3    IP address, first octet first; 0.0.0.0 = the address comes from DHCP
//   6       host bits of the subnet mask (8 for 255.255.255.0)
//   20..21  TCP port of the data connection, little-endian
//   112..119 DHCP name, up to 8 characters, not terminated when all 8 are used
// Record 2 (more than 125 bytes) holds the device name, NUL-terminated, at 93.
// A search answer carries record 0's layout.
#pragma once

#include "LanRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace LanWire {

using Bytes = std::vector<uint8_t>;
using Address = LanRecord::Octets; // first octet first

constexpr uint16_t UdpPort = 30718;                               // search, records, restart
constexpr int DefaultTcpPort = LanRecord::DefaultPort;            // a device address without "-port"
constexpr int SearchListenMs = 200;                               // what every caller listens
constexpr int RecordWaitMs = 500;                                 // for a device record's answer
constexpr size_t MaxRead = 513;                                   // one read of a socket
constexpr size_t RecordMinimum = LanRecord::Size;                 // record 0, a search answer
constexpr size_t Record2Minimum = LanRecord::DeviceRecordMinimum; // record 2 with its device name
constexpr size_t DeviceNameOffset = LanRecord::DeviceNameOffset;
constexpr size_t HostBitsOffset = LanRecord::HostBitsOffset;
constexpr size_t PortOffset = LanRecord::PortOffset;
constexpr size_t NameOffset = LanRecord::DhcpNameOffset;
constexpr size_t NameSize = LanRecord::DhcpNameLength;
constexpr uint8_t SearchAnswerCode = 0xF9;
constexpr int RecordCount = 16;

// Requests.
Bytes SearchRequest();                                     // 00 01 00 F8
Bytes ReadRecordRequest(int number);                       // 00 01 00 E0+n
Bytes WriteRecordRequest(int number, const Bytes& record); // 00 (01|00) 00 C0+n record
Bytes RestartRequest();                                    // 00 00 00 03 58 33
constexpr uint8_t ReadAnswerCode(int number) {
    return uint8_t(0xD0 + number);
}
constexpr uint8_t WriteAnswerCode(int number) {
    return uint8_t(0xB0 + number);
}

// A received datagram as the socket queues it: the sender's address (4
// bytes as on the wire) followed by the datagram.
Bytes Queued(const Address& sender, const uint8_t* datagram, size_t count);

// A queued datagram taken apart: sender, answer code (header byte 3; -1 for
// a datagram shorter than its header) and the payload behind the header.
struct Datagram {
    Address sender{};
    int code = -1;
    Bytes payload;
};
Datagram Take(const Bytes& queued);

std::string AddressText(const Address& address); // "%d.%d.%d.%d"
bool IsZero(const Address& address);
bool IsLoopback(const Address& address); // 127.0.0.0/8

// Four decimal octets 0..255 between three dots and nothing else.
bool ParseDotted(const std::string& text, Address& address);
// A decimal port 1..65535 and nothing else.
bool ParsePort(const std::string& text, int& port);

// The list entry of a search answer, or "" when it does not count (code not
// 0xF9, payload under 120 bytes): "%d.%d.%d.%d-%d" of its address and port,
// or for a DHCP device (address 0.0.0.0) "[%.8s]" of its DHCP name followed
// by the sender's address and "-%d" of the port.
std::string SearchEntry(const Datagram& answer);

// What a verification reads from an entry: the host its record 2 is asked of
// (the text before the last "-", without a bracketed name) and the
// bracketed name ("" for a static entry).
struct EntryParts {
    std::string host;
    std::string bracketed;
};
EntryParts SplitEntry(const std::string& entry);
// Record 2 of a reader of this family: longer than 125 bytes, and its device
// name at offset 93, upper-cased, begins with "KV-".
bool IsFamilyRecord(const Bytes& record2);
std::string DeviceName(const Bytes& record2);

// Device address texts ("a.b.c.d", "a.b.c.d-port", "[NAME]", "[NAME]a.b.c.d-port").
// The part from "[" through "]" ("" without "["; to the end without "]").
std::string BracketedPart(const std::string& text);
// The first entry that contains the bracketed name exactly once, with the
// name removed; "" when none does.
std::string ResolveFrom(const std::vector<std::string>& entries, const std::string& bracketed);
// Host and port: the number after the last "-" and the part before; without
// "-" the whole text and 10001. The port is 0 when its text is no port.
void SplitHostPort(const std::string& text, std::string& host, int& port);
// The text without a "-port" suffix.
std::string WithoutPort(const std::string& text);

// Record 0's fields.
Address RecordAddress(const Bytes& record);
int RecordPort(const Bytes& record);
std::string RecordName(const Bytes& record); // up to 8 characters of 112..119

// An address setting as LinkLanSetAddress takes it: "[NAME]" or "[NAME]-port"
// (DHCP, address 0.0.0.0), or "a.b.c.d" or "a.b.c.d-port". Port 0: none
// given. False for a text in neither form (octets over 255, a port that is
// not 1..65535, anything after it).
struct AddressSetting {
    Address address{};
    std::string name; // DHCP name, empty for a static address
    int port = 0;
};
bool ParseAddressSetting(const std::string& text, AddressSetting& setting);
// Host bits of a mask: through the octets from the last to the first and
// each octet's bits from bit 0 upward, the zero bits before the first one
// bit (all zero: 32).
int HostBits(const Address& mask);
// The mask text "a.b.c.d" -> its host bits; false when it is no dotted mask.
bool ParseMask(const std::string& text, int& hostBits);

// Whether record 0 differs from the setting (hostBits -1: no mask given),
// and the record with the setting stored.
bool Differs(const Bytes& record, const AddressSetting& setting, int hostBits);
void Apply(Bytes& record, const AddressSetting& setting, int hostBits);

} // namespace LanWire
