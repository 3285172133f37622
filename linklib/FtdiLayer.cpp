// Our Linux bridge layer for USB devices of the FTDI kind.
//
// The kernel's ftdi_sio driver makes a tty for every interface of such a
// device. The layer finds that tty through sysfs by the device's serial
// number (a chip with several interfaces gets "A", "B", ... appended, in
// interface order), opens it for exclusive use, and carries the latency timer
// to the driver's sysfs attribute. The Win32-style functions act on the tty
// at once: nothing is ever left pending, so a read returns what has arrived.
// The last-error code of these functions is the errno value of the failure.
#include "FtdiLibrary.h"

#include "SerialIo.h"
#include "Sysfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace Ftdi;

struct Device {
    std::string serial;      // as listed (with the interface letter if the chip has several)
    std::string description; // USB product string
    std::string node;        // /dev/ttyUSBn
    std::string devicePath;  // sysfs folder of the tty's device (holds latency_timer)
    uint32_t id = 0;
    uint32_t location = 0;
};

struct OpenDevice {
    std::string serial;
    std::string devicePath;
    CommTimeouts timeouts{};
    uint32_t mask = 0;
};

std::mutex layerMutex;
std::map<Handle, OpenDevice> openDevices;
std::vector<Device> infoList; // the snapshot of FT_CreateDeviceInfoList
thread_local uint32_t lastError = 0;

// Every call on a device's tty goes through the serial seam.
CSerialIo& Io() {
    return *CSerialIo::System();
}

int Fail(int error) {
    lastError = uint32_t(error);
    errno = error;
    return 0;
}

uint32_t Hex(const std::string& text) {
    return uint32_t(std::strtoul(text.c_str(), nullptr, 16));
}

std::vector<Device> FindDevices() {
    std::vector<Device> devices;
    std::map<std::string, std::vector<size_t>> byUsbDevice;
    for (const Sysfs::Tty& tty : Sysfs::TtysWithDevice()) {
        if (tty.driver != "ftdi_sio") continue;
        const Sysfs::UsbDevice usb = Sysfs::UsbDeviceAbove(tty.devicePath);
        if (!usb.found) continue;
        Device device;
        device.serial = usb.serial;
        device.description = usb.product;
        device.node = tty.node;
        device.devicePath = tty.devicePath;
        device.id = Hex(usb.vendorId) << 16 | Hex(usb.productId);
        device.location = uint32_t(usb.busNumber) << 16 | uint32_t(usb.deviceNumber);
        byUsbDevice[usb.path].push_back(devices.size());
        devices.push_back(device);
    }
    // A chip with several interfaces: one entry each, lettered in interface
    // order (the interface folder names sort that way).
    for (auto& [path, indexes] : byUsbDevice) {
        if (indexes.size() < 2) continue;
        std::sort(indexes.begin(), indexes.end(), [&](size_t a, size_t b) {
            return Sysfs::NaturalLess(devices[a].devicePath, devices[b].devicePath);
        });
        char letter = 'A';
        for (size_t index : indexes)
            if (!devices[index].serial.empty()) devices[index].serial += letter++;
    }
    return devices;
}

OpenDevice* Find(Handle handle) {
    auto it = openDevices.find(handle);
    return it == openDevices.end() ? nullptr : &it->second;
}

bool IsOpen(Handle handle) {
    std::lock_guard<std::mutex> lock(layerMutex);
    return Find(handle) != nullptr;
}

void Fill(DeviceInfoNode& node, const Device& device) {
    std::memset(&node, 0, sizeof node);
    node.Type = DeviceUnknown;
    node.ID = device.id;
    node.LocId = device.location;
    std::snprintf(node.SerialNumber, sizeof node.SerialNumber, "%s", device.serial.c_str());
    std::snprintf(node.Description, sizeof node.Description, "%s", device.description.c_str());
    for (const auto& [handle, open] : openDevices) {
        if (open.serial == device.serial && !device.serial.empty()) {
            node.Flags |= FlagOpened;
            node.ftHandle = handle;
        }
    }
}

// --- FT_ functions ---

Status SetBaudRate(Handle handle, uint32_t baud) {
    if (!IsOpen(handle)) return InvalidHandleStatus;
    termios settings{};
    if (Io().GetAttributes(int(handle), &settings) != 0) return IoError;
    if (SpeedConstant(long(baud)) != B0) return Io().SetSpeed(int(handle), long(baud)) == 0 ? Ok : IoError;
    if (baud == 0) return InvalidBaudRate;
    return Io().SetCustomBaudRate(int(handle), int(baud)) == 0 ? Ok : InvalidBaudRate;
}

Status SetLatencyTimer(Handle handle, uint8_t milliseconds) {
    std::string devicePath;
    {
        std::lock_guard<std::mutex> lock(layerMutex);
        const OpenDevice* open = Find(handle);
        if (!open) return InvalidHandleStatus;
        devicePath = open->devicePath;
    }
    if (milliseconds < 1) return InvalidParameter;
    return Sysfs::WriteAttribute(devicePath + "/latency_timer", std::to_string(milliseconds)) ? Ok : IoError;
}

Status SetUsbParameters(Handle handle, uint32_t, uint32_t) {
    // ftdi_sio chooses its own transfer sizes.
    return IsOpen(handle) ? NotSupported : InvalidHandleStatus;
}

Status ListDevices(void* arg1, void*, uint32_t flags) {
    if (!(flags & ListNumberOnly)) return NotSupported;
    if (!arg1) return InvalidParameter;
    *static_cast<uint32_t*>(arg1) = uint32_t(FindDevices().size());
    return Ok;
}

Status CreateDeviceInfoList(uint32_t* count) {
    std::vector<Device> devices = FindDevices();
    std::lock_guard<std::mutex> lock(layerMutex);
    infoList = std::move(devices);
    if (count) *count = uint32_t(infoList.size());
    return Ok;
}

Status GetDeviceInfoList(DeviceInfoNode* nodes, uint32_t* count) {
    if (!nodes || !count) return InvalidParameter;
    std::lock_guard<std::mutex> lock(layerMutex);
    const size_t n = std::min<size_t>(*count, infoList.size());
    for (size_t i = 0; i < n; ++i)
        Fill(nodes[i], infoList[i]);
    *count = uint32_t(n);
    return Ok;
}

Status GetDeviceInfoDetail(uint32_t index, DeviceInfoNode* node) {
    if (!node) return InvalidParameter;
    std::lock_guard<std::mutex> lock(layerMutex);
    if (index >= infoList.size()) return DeviceNotFound;
    Fill(*node, infoList[index]);
    return Ok;
}

Status ResetDevice(Handle handle) {
    if (!IsOpen(handle)) return InvalidHandleStatus;
    return Io().Flush(int(handle), TCIOFLUSH) == 0 ? Ok : IoError;
}

// --- FT_W32_ functions ---

Handle CreateFile(const char* name, uint32_t, uint32_t, void*, uint32_t, uint32_t flags, void*) {
    if (!name || !*name) {
        Fail(EINVAL);
        return InvalidHandle;
    }
    const Device* match = nullptr;
    const std::vector<Device> devices = FindDevices();
    for (const Device& device : devices) {
        if (((flags & OpenBySerialNumber) && device.serial == name) ||
            ((flags & OpenByDescription) && device.description == name)) {
            match = &device;
            break;
        }
    }
    if (!match) {
        Fail(ENODEV);
        return InvalidHandle;
    }
    int fd = Io().Open(match->node);
    if (fd < 0) {
        Fail(errno);
        return InvalidHandle;
    }
    // Handle 0 would read as "not open" in the device records.
    if (fd == 0) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        Io().Close(fd);
        if (moved < 0) {
            Fail(errno);
            return InvalidHandle;
        }
        fd = moved;
    }
    std::lock_guard<std::mutex> lock(layerMutex);
    OpenDevice& open = openDevices[fd];
    open.serial = match->serial;
    open.devicePath = match->devicePath;
    return fd;
}

int CloseHandle(Handle handle) {
    {
        std::lock_guard<std::mutex> lock(layerMutex);
        if (openDevices.erase(handle) == 0) return Fail(EBADF);
    }
    return Io().Close(int(handle)) == 0 ? 1 : Fail(errno);
}

int ReadFile(Handle handle, void* buffer, uint32_t count, uint32_t* done, void*) {
    if (done) *done = 0;
    if (!IsOpen(handle)) return Fail(EBADF);
    const ssize_t n = Io().Read(int(handle), static_cast<uint8_t*>(buffer), count);
    if (n < 0) return errno == EAGAIN ? 1 : Fail(errno);
    if (done) *done = uint32_t(n);
    return 1;
}

int WriteFile(Handle handle, const void* data, uint32_t count, uint32_t* done, void*) {
    if (done) *done = 0;
    if (!IsOpen(handle)) return Fail(EBADF);
    const ssize_t n = Io().Write(int(handle), static_cast<const uint8_t*>(data), count);
    if (n < 0) return Fail(errno);
    if (done) *done = uint32_t(n);
    return 1;
}

uint32_t GetLastError(Handle) {
    return lastError;
}

int GetOverlappedResult(Handle handle, void*, uint32_t* done, int) {
    // Every operation of this layer completes at once.
    if (done) *done = 0;
    return IsOpen(handle) ? 1 : Fail(EBADF);
}

int ModemLine(Handle handle, bool set, int line) {
    if (!IsOpen(handle)) return Fail(EBADF);
    const int result = set ? Io().SetModemLines(int(handle), line) : Io().ClearModemLines(int(handle), line);
    return result == 0 ? 1 : Fail(errno);
}

int ClearCommBreak(Handle handle) {
    if (!IsOpen(handle)) return Fail(EBADF);
    return Io().SetBreak(int(handle), false) == 0 ? 1 : Fail(errno);
}

int SetCommBreak(Handle handle) {
    if (!IsOpen(handle)) return Fail(EBADF);
    return Io().SetBreak(int(handle), true) == 0 ? 1 : Fail(errno);
}

int ClearCommError(Handle handle, uint32_t* errors, ComStat* status) {
    if (!IsOpen(handle)) return Fail(EBADF);
    if (errors) *errors = 0;
    if (status) {
        int in = 0, out = 0;
        if (Io().InputQueued(int(handle), &in) != 0) in = 0;
        if (Io().OutputQueued(int(handle), &out) != 0) out = 0;
        status->cbInQue = uint32_t(in);
        status->cbOutQue = uint32_t(out);
    }
    return 1;
}

int EscapeCommFunction(Handle handle, uint32_t function) {
    switch (function) {
    case SetRts:
        return ModemLine(handle, true, TIOCM_RTS);
    case ClrRts:
        return ModemLine(handle, false, TIOCM_RTS);
    case SetDtr:
        return ModemLine(handle, true, TIOCM_DTR);
    case ClrDtr:
        return ModemLine(handle, false, TIOCM_DTR);
    case SetBreak:
        return SetCommBreak(handle);
    case ClrBreak:
        return ClearCommBreak(handle);
    default:
        return Fail(EINVAL);
    }
}

int GetCommModemStatus(Handle handle, uint32_t* status) {
    if (!IsOpen(handle)) return Fail(EBADF);
    int lines = 0;
    if (Io().GetModemLines(int(handle), &lines) != 0) return Fail(errno);
    if (status) {
        *status = 0;
        if (lines & TIOCM_CTS) *status |= MsCtsOn;
        if (lines & TIOCM_DSR) *status |= MsDsrOn;
        if (lines & TIOCM_RI) *status |= MsRingOn;
        if (lines & TIOCM_CD) *status |= MsRlsdOn;
    }
    return 1;
}

int GetCommState(Handle handle, CommState* state) {
    if (!IsOpen(handle) || !state) return Fail(EBADF);
    return Io().GetAttributes(int(handle), state) == 0 ? 1 : Fail(errno);
}

int SetCommState(Handle handle, const CommState* state) {
    if (!IsOpen(handle) || !state) return Fail(EBADF);
    return Io().SetAttributes(int(handle), state) == 0 ? 1 : Fail(errno);
}

int GetCommTimeouts(Handle handle, CommTimeouts* timeouts) {
    std::lock_guard<std::mutex> lock(layerMutex);
    const OpenDevice* open = Find(handle);
    if (!open || !timeouts) return Fail(EBADF);
    *timeouts = open->timeouts;
    return 1;
}

int SetCommTimeouts(Handle handle, const CommTimeouts* timeouts) {
    std::lock_guard<std::mutex> lock(layerMutex);
    OpenDevice* open = Find(handle);
    if (!open || !timeouts) return Fail(EBADF);
    open->timeouts = *timeouts;
    return 1;
}

int PurgeComm(Handle handle, uint32_t flags) {
    if (!IsOpen(handle)) return Fail(EBADF);
    const bool rx = flags & (PurgeRxAbort | PurgeRxClear);
    const bool tx = flags & (PurgeTxAbort | PurgeTxClear);
    if (!rx && !tx) return 1;
    return Io().Flush(int(handle), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) == 0 ? 1 : Fail(errno);
}

int SetCommMask(Handle handle, uint32_t mask) {
    std::lock_guard<std::mutex> lock(layerMutex);
    OpenDevice* open = Find(handle);
    if (!open) return Fail(EBADF);
    open->mask = mask;
    return 1;
}

int SetupComm(Handle handle, uint32_t, uint32_t) {
    return IsOpen(handle) ? 1 : Fail(EBADF);
}

int WaitCommEvent(Handle handle, uint32_t* mask, void*) {
    uint32_t wanted = 0;
    {
        std::lock_guard<std::mutex> lock(layerMutex);
        const OpenDevice* open = Find(handle);
        if (!open) return Fail(EBADF);
        wanted = open->mask;
    }
    const int ready = (wanted & EvRxChar) ? Io().WaitReady(int(handle), POLLIN, 0) : 0;
    if (ready > 0 && (ready & POLLIN)) {
        if (mask) *mask = EvRxChar;
        return 1;
    }
    // Nothing yet: the event is pending.
    return Fail(EINPROGRESS);
}

struct Entry {
    const char* name;
    CFtdiLibrary::AnyFunction function;
};

template <class Fn> CFtdiLibrary::AnyFunction Any(Fn function) {
    return reinterpret_cast<CFtdiLibrary::AnyFunction>(function);
}

const Entry entries[] = {
    {"FT_SetBaudRate", Any(&SetBaudRate)},
    {"FT_SetLatencyTimer", Any(&SetLatencyTimer)},
    {"FT_SetUSBParameters", Any(&SetUsbParameters)},
    {"FT_ListDevices", Any(&ListDevices)},
    {"FT_CreateDeviceInfoList", Any(&CreateDeviceInfoList)},
    {"FT_GetDeviceInfoList", Any(&GetDeviceInfoList)},
    {"FT_GetDeviceInfoDetail", Any(&GetDeviceInfoDetail)},
    {"FT_ResetDevice", Any(&ResetDevice)},
    {"FT_W32_CreateFile", Any(&CreateFile)},
    {"FT_W32_CloseHandle", Any(&CloseHandle)},
    {"FT_W32_ReadFile", Any(&ReadFile)},
    {"FT_W32_WriteFile", Any(&WriteFile)},
    {"FT_W32_GetLastError", Any(&GetLastError)},
    {"FT_W32_GetOverlappedResult", Any(&GetOverlappedResult)},
    {"FT_W32_ClearCommBreak", Any(&ClearCommBreak)},
    {"FT_W32_ClearCommError", Any(&ClearCommError)},
    {"FT_W32_EscapeCommFunction", Any(&EscapeCommFunction)},
    {"FT_W32_GetCommModemStatus", Any(&GetCommModemStatus)},
    {"FT_W32_GetCommState", Any(&GetCommState)},
    {"FT_W32_GetCommTimeouts", Any(&GetCommTimeouts)},
    {"FT_W32_PurgeComm", Any(&PurgeComm)},
    {"FT_W32_SetCommBreak", Any(&SetCommBreak)},
    {"FT_W32_SetCommMask", Any(&SetCommMask)},
    {"FT_W32_SetCommState", Any(&SetCommState)},
    {"FT_W32_SetCommTimeouts", Any(&SetCommTimeouts)},
    {"FT_W32_SetupComm", Any(&SetupComm)},
    {"FT_W32_WaitCommEvent", Any(&WaitCommEvent)},
};

} // namespace

namespace FtdiLayer {

CFtdiLibrary::AnyFunction Lookup(const char* name) {
    if (!name) return nullptr;
    for (const Entry& entry : entries)
        if (std::strcmp(entry.name, name) == 0) return entry.function;
    return nullptr;
}

std::string TtyOfSerialNumber(const std::string& serialNumber) {
    for (const Device& device : FindDevices())
        if (device.serial == serialNumber && !serialNumber.empty()) return device.node;
    return {};
}

} // namespace FtdiLayer
