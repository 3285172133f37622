// LanRecord.h - a network reader's device records as the programs and the
// command line read them: record 0 (address, subnet mask as host bits, TCP
// port, DHCP name) and record 2 (the device name), and the texts that the
// address settings travel in ("192.168.0.20-10001", "[LAGER1]", "255.255.255.0").
//
// Header-only C++17 with the standard library alone, beside LinkVocabulary.h.
#ifndef KVPLM_LANRECORD_H
#define KVPLM_LANRECORD_H

#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace LanRecord {

using Octets = std::array<uint8_t, 4>;

// Record 0 as a reader sends it, and its fields.
constexpr size_t Size = 120;
constexpr size_t AddressOffset = 0;
constexpr size_t HostBitsOffset = 6;
constexpr size_t PortOffset = 20; // little-endian
constexpr size_t DhcpNameOffset = 112;
constexpr size_t DhcpNameLength = 8;
// Record 2: the device name, NUL-terminated, in a record longer than 125.
constexpr size_t DeviceNameOffset = 93;
constexpr size_t DeviceRecordMinimum = 126;
// How long a program waits for a reader to answer under new settings.
constexpr int RefindMs = 25000;
constexpr int DefaultPort = 10001;

struct Settings {
    bool dhcp = false; // all four address octets 0
    Octets address{};
    int hostBits = 0;
    int port = 0;
    std::string dhcpName; // up to 8 characters
};

// Record 0's fields; a record shorter than Size gives the empty settings.
inline Settings Decode(const unsigned char* record, size_t length) {
    Settings settings;
    if (!record || length < Size) return settings;
    for (size_t i = 0; i < 4; ++i)
        settings.address[i] = record[AddressOffset + i];
    settings.dhcp = settings.address == Octets{};
    settings.hostBits = record[HostBitsOffset];
    settings.port = record[PortOffset] | (record[PortOffset + 1] << 8);
    for (size_t i = 0; i < DhcpNameLength && record[DhcpNameOffset + i] != 0; ++i)
        settings.dhcpName += char(record[DhcpNameOffset + i]);
    return settings;
}

// The mask with every bit from bit hostBits up to bit 31 set (0..32).
inline Octets Mask(int hostBits) {
    const uint32_t bits = hostBits <= 0 ? 0xFFFFFFFFu : hostBits >= 32 ? 0u : 0xFFFFFFFFu << hostBits;
    return Octets{uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8), uint8_t(bits)};
}

// The zero bits of a mask below its lowest one bit, counted from the last
// octet's bit 0 upward; an all-zero mask counts 32.
inline int HostBits(const Octets& mask) {
    int count = 0;
    for (int octet = 3; octet >= 0; --octet)
        for (int bit = 0; bit < 8; ++bit) {
            if (mask[size_t(octet)] & (1 << bit)) return count;
            ++count;
        }
    return count;
}

inline std::string Dotted(const Octets& octets) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
    return text;
}

// Four decimal octets 0..255 between three dots, nothing else.
inline bool ParseDotted(const std::string& text, Octets& octets) {
    size_t at = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        int value = 0, digits = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 4) {
            value = value * 10 + (text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        octets[i] = uint8_t(value);
    }
    return at == text.size();
}

// The device name of record 2, empty when the record is too short for one.
inline std::string DeviceName(const unsigned char* record, size_t length) {
    std::string name;
    if (!record || length < DeviceRecordMinimum) return name;
    for (size_t i = DeviceNameOffset; i < length && record[i] != 0; ++i)
        name += char(record[i]);
    return name;
}

// Why a text cannot be a DHCP name (nullptr when it can): 1 to 8 printable
// ASCII characters; brackets and the colon would be read as the name's end
// or a bus address.
inline const char* DhcpNameProblem(const std::string& name) {
    if (name.empty()) return "the DHCP name is empty";
    if (name.size() > DhcpNameLength) return "the DHCP name has more than 8 characters";
    for (const char c : name)
        if (c <= ' ' || c > '~' || c == '[' || c == ']' || c == ':')
            return "the DHCP name holds a character other than printable ASCII without blanks, brackets and "
                   "colons";
    return nullptr;
}

// Why a text cannot be a static address text "a.b.c.d" or "a.b.c.d-PORT"
// (nullptr when it can): a port is 1..65535, the address not 0.0.0.0 (which
// means DHCP).
inline const char* AddressTextProblem(const std::string& text) {
    const size_t dash = text.find('-');
    Octets address{};
    if (!ParseDotted(text.substr(0, dash), address)) return "the address is not four octets 0..255 (a.b.c.d)";
    if (address == Octets{}) return "0.0.0.0 is no static address (use --dhcp NAME)";
    if (dash == std::string::npos) return nullptr;
    const std::string port = text.substr(dash + 1);
    if (port.empty() || port.size() > 5) return "the port is not a number 1..65535";
    for (const char c : port)
        if (!std::isdigit(static_cast<unsigned char>(c))) return "the port is not a number 1..65535";
    const long value = std::stol(port);
    if (value < 1 || value > 65535) return "the port is not a number 1..65535";
    return nullptr;
}

// Why a text cannot be a subnet mask (nullptr when it can): four octets whose
// one bits are contiguous from the top.
inline const char* MaskProblem(const std::string& text) {
    Octets mask{};
    if (!ParseDotted(text, mask)) return "the subnet mask is not four octets 0..255 (a.b.c.d)";
    const int hostBits = HostBits(mask);
    if (Mask(hostBits) != mask) return "the subnet mask's one bits are not contiguous (e.g. 255.255.255.0)";
    return nullptr;
}

} // namespace LanRecord

#endif
