// What CHidDevice needs of the system to reach HID devices: enumerate them,
// open one by its path, write one output report, read one input report with
// a time-out, and learn its input report length.
//
// The production backend is hidapi 0.13's hidraw backend, bound at run time
// ("libhidapi-hidraw.so.0" through the normal loader search, so a stand-in
// first on LD_LIBRARY_PATH serves too). Without that library, or when one of
// its required functions is missing, the backend is unavailable: nothing is
// listed and nothing opens. Tests install a backend of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace HidBackend {

// One HID interface the system offers.
struct DeviceInfo {
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    // The serial number string in UTF-8; empty when the device has none.
    std::string serial;
    // Top-level usage of the interface (0 when the backend does not know).
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

// An open device. Closing it = destroying the object. Write and Read may be
// called from two threads at once (the device's writer thread and the
// session's thread); nothing else is called concurrently.
class IConnection {
public:
    virtual ~IConnection() = default;
    // Writes one whole output report (byte 0 = report id). May block. Bytes
    // written, -1 on failure.
    virtual int Write(const uint8_t* report, size_t length) = 0;
    // Reads one input report into report, byte 0 being its report id (0 put
    // in front for a device without report ids). Bytes stored (at most
    // length), 0 when nothing came within timeoutMs, -1 on a hard error.
    virtual int Read(uint8_t* report, size_t length, int timeoutMs) = 0;
    // The input report length including the report id byte.
    virtual int ReportLength() const = 0;
};

class IBackend {
public:
    virtual ~IBackend() = default;
    virtual bool Available() const = 0;
    virtual std::vector<DeviceInfo> Enumerate() = 0;
    // Null when the device does not open.
    virtual std::shared_ptr<IConnection> Open(const std::string& path) = 0;
};

// The backend in use: the one a test installed, else the hidapi binding.
std::shared_ptr<IBackend> Active();
// Installs a backend for tests (not exported from the shared library); null
// goes back to the hidapi binding.
void SetHidBackendForTesting(std::shared_ptr<IBackend> backend);

// Binds hidapi from library (a file name for the loader search, or a path)
// and calls hid_init; false when it is not there, lacks a required function
// or does not initialise. Unbind calls hid_exit and unloads it, except while
// a write of a closed device is still stuck inside the library.
bool BindHidapi(const char* library = "libhidapi-hidraw.so.0");
void UnbindHidapi();
bool HidapiBound();

// Writer threads alive (a stuck write keeps its thread and the library).
void NoteWriterStarted();
void NoteWriterEnded();
int WritersAlive();

// What a report descriptor says about the input reports.
struct ReportLayout {
    bool valid = false; // the descriptor could be parsed
    bool usesReportIds = false;
    int inputLength = 0; // longest input report in bytes + 1 (the report id byte)
};
ReportLayout ParseReportDescriptor(const uint8_t* descriptor, size_t length);
// The layout of the hidraw device at path: its descriptor through the
// hidraw ioctls, else sysfs class/hidraw/<node>/device/report_descriptor;
// invalid when neither can be read (a path that is no hidraw node).
ReportLayout ReportLayoutOfPath(const std::string& path);

// The report length used when the descriptor cannot be read.
constexpr int DefaultReportLength = 9;

} // namespace HidBackend
