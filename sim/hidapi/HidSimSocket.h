// HidSimSocket: how simulated HID readers (kvplm-readersim --hid) and the
// stand-in hidapi library (libhidapi-hidraw.so.0 built from this folder)
// find and talk to each other.
//
// Every simulated HID reader listens on a Unix socket of type SOCK_SEQPACKET
// in the socket directory: ${KVPLM_HID_SIM_DIR}, else
// ${XDG_RUNTIME_DIR}/kvplm-hid, else /tmp/kvplm-hid, created with mode 0700.
// A directory that is not the current user's, or that others may write, is
// not used. The socket is named <pid>-<n>.hid after the simulator's process;
// sockets of processes that are gone are skipped.
//
// A connection begins with one packet from the host:
//   "INFO"  the simulator answers one packet with the device description
//           (lines "key=value", see FormatInfo) and closes the connection;
//   "OPEN"  the simulator answers "OPEN OK" and from then on every packet is
//           one report: host to simulator an output report exactly as
//           hid_write got it (byte 0 the report id 0), simulator to host an
//           input report exactly as a hidraw read gives it (the device has
//           no report ids, so without a report-id byte: L-1 bytes). It
//           answers "BUSY" and closes when another host holds the device.
// Closing the connection releases the device; the simulator going away
// closes it from the other side.
//
// Plain C++ and POSIX, shared by the simulator and the stand-in library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace HidSimSocket {

constexpr const char* InfoRequest = "INFO";
constexpr const char* OpenRequest = "OPEN";
constexpr const char* OpenAccepted = "OPEN OK";
constexpr const char* Busy = "BUSY";
constexpr size_t MaxPacket = 4096;

struct DeviceInfo {
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t release = 0;
    std::optional<std::string> serial; // UTF-8; nullopt: the device has no serial number string
    std::string manufacturer;
    std::string productName;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    unsigned reportLength = 0; // output report length with the report id byte
};

// vendor=16C0, product=2913, release=0100, serial=... (absent without a
// serial), manufacturer=..., product-name=..., usage-page=FF00, usage=0001,
// report-length=9; one per line, numbers in hex but report-length decimal.
std::string FormatInfo(const DeviceInfo& info);
std::optional<DeviceInfo> ParseInfo(const std::string& text);

// A text fit for one info line: no control characters, at most 126 bytes.
bool FitsInfoLine(const std::string& text);

std::string Directory();
// Creates the directory (mode 0700) when missing; false with a reason when
// it cannot be made or is not fit for use (UsableDirectory).
bool EnsureDirectory(const std::string& dir, std::string& error);
// A directory of the current user that no one else may write into.
bool UsableDirectory(const std::string& dir);

// The sockets of live simulators in the directory, ordered by process id
// and number ("" entries never). Empty when the directory is not usable.
std::vector<std::string> LiveSockets(const std::string& dir);

// "<pid>-<n>.hid" -> pid and n; false for any other name.
bool ParseName(const std::string& name, long& pid, long& n);

} // namespace HidSimSocket
