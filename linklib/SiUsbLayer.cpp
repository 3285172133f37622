// Our Linux layer for the USB-to-UART bridge of the Bluetooth adapter.
//
// The devices are the ttys of the kernel's cp210x driver, numbered 0, 1, ...
// in the natural order of their tty names. SI_GetProductString answers from
// the USB device above the tty: option 0 its serial number, 1 its product
// string, 2 the tty's device node, 3 and 4 the vendor and product id in hex.
// Reads and writes wait at most the times set with SI_SetTimeouts.
#include "SiUsbLibrary.h"

#include "SerialIo.h"
#include "Sysfs.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace SiUsb;

struct Device {
    std::string node;
    Sysfs::UsbDevice usb;
};

std::mutex layerMutex;
std::set<Handle> openHandles;
uint32_t readTimeoutMs = 1000;
uint32_t writeTimeoutMs = 1000;

std::vector<Device> FindDevices() {
    std::vector<Device> devices;
    for (const Sysfs::Tty& tty : Sysfs::TtysWithDevice()) {
        if (tty.driver != "cp210x") continue;
        devices.push_back({tty.node, Sysfs::UsbDeviceAbove(tty.devicePath)});
    }
    return devices;
}

// Every call on the adapter's tty goes through the serial seam.
CSerialIo& Io() {
    return *CSerialIo::System();
}

bool IsOpen(Handle handle) {
    std::lock_guard<std::mutex> lock(layerMutex);
    return openHandles.count(handle) != 0;
}

int RemainingMs(std::chrono::steady_clock::time_point end) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

Status GetNumDevices(uint32_t* count) {
    if (!count) return InvalidParameter;
    *count = uint32_t(FindDevices().size());
    return Success;
}

Status GetProductString(uint32_t index, char* buffer, uint32_t options) {
    if (!buffer) return InvalidParameter;
    const std::vector<Device> devices = FindDevices();
    if (index >= devices.size()) return DeviceNotFound;
    const Device& device = devices[index];
    std::string text;
    switch (options) {
    case ReturnSerialNumber:
        text = device.usb.serial;
        break;
    case ReturnDescription:
        text = device.usb.product;
        break;
    case ReturnLinkName:
        text = device.node;
        break;
    case ReturnVid:
        text = device.usb.vendorId;
        break;
    case ReturnPid:
        text = device.usb.productId;
        break;
    default:
        return InvalidParameter;
    }
    std::snprintf(buffer, MaxDeviceString, "%s", text.c_str());
    return Success;
}

Status Open(uint32_t index, Handle* handle) {
    if (!handle) return InvalidParameter;
    *handle = -1;
    const std::vector<Device> devices = FindDevices();
    if (index >= devices.size()) return DeviceNotFound;
    const int fd = Io().Open(devices[index].node);
    if (fd < 0) return SystemErrorCode;
    termios settings{};
    if (Io().GetAttributes(fd, &settings) == 0) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        Io().SetAttributes(fd, &settings);
    }
    std::lock_guard<std::mutex> lock(layerMutex);
    openHandles.insert(fd);
    *handle = fd;
    return Success;
}

Status Close(Handle handle) {
    {
        std::lock_guard<std::mutex> lock(layerMutex);
        if (openHandles.erase(handle) == 0) return InvalidHandle;
    }
    return Io().Close(int(handle)) == 0 ? Success : SystemErrorCode;
}

Status Read(Handle handle, void* buffer, uint32_t count, uint32_t* done, void*) {
    if (done) *done = 0;
    if (!IsOpen(handle)) return InvalidHandle;
    if (!buffer && count) return InvalidParameter;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
    uint32_t got = 0;
    while (got < count) {
        const ssize_t n = Io().Read(int(handle), static_cast<uint8_t*>(buffer) + got, count - got);
        if (n > 0) {
            got += uint32_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (done) *done = got;
            return ReadError;
        }
        const int left = RemainingMs(end);
        if (left == 0) break;
        Io().WaitReady(int(handle), POLLIN, left);
    }
    if (done) *done = got;
    return got == count ? Success : ReadTimedOut;
}

Status Write(Handle handle, const void* data, uint32_t count, uint32_t* done, void*) {
    if (done) *done = 0;
    if (!IsOpen(handle)) return InvalidHandle;
    if (!data && count) return InvalidParameter;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs);
    uint32_t sent = 0;
    while (sent < count) {
        const ssize_t n = Io().Write(int(handle), static_cast<const uint8_t*>(data) + sent, count - sent);
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (done) *done = sent;
            return WriteError;
        }
        const int left = RemainingMs(end);
        if (left == 0) break;
        Io().WaitReady(int(handle), POLLOUT, left);
    }
    if (done) *done = sent;
    return sent == count ? Success : WriteTimedOut;
}

Status DeviceIoControl(Handle handle, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t* returned) {
    if (returned) *returned = 0;
    return IsOpen(handle) ? FunctionNotSupported : InvalidHandle;
}

Status FlushBuffers(Handle handle, uint8_t transmit, uint8_t receive) {
    if (!IsOpen(handle)) return InvalidHandle;
    if (!transmit && !receive) return Success;
    const int which = transmit && receive ? TCIOFLUSH : transmit ? TCOFLUSH : TCIFLUSH;
    return Io().Flush(int(handle), which) == 0 ? Success : SystemErrorCode;
}

Status SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    std::lock_guard<std::mutex> lock(layerMutex);
    readTimeoutMs = readMs;
    writeTimeoutMs = writeMs;
    return Success;
}

Status GetTimeouts(uint32_t* readMs, uint32_t* writeMs) {
    if (!readMs || !writeMs) return InvalidParameter;
    std::lock_guard<std::mutex> lock(layerMutex);
    *readMs = readTimeoutMs;
    *writeMs = writeTimeoutMs;
    return Success;
}

Status CheckRxQueue(Handle handle, uint32_t* bytes, uint32_t* status) {
    if (!IsOpen(handle)) return InvalidHandle;
    int queued = 0;
    if (Io().InputQueued(int(handle), &queued) != 0) return SystemErrorCode;
    if (bytes) *bytes = uint32_t(queued);
    if (status) *status = queued > 0 ? RxReady : RxEmpty;
    return Success;
}

Status SetBaudRate(Handle handle, uint32_t baud) {
    if (!IsOpen(handle)) return InvalidHandle;
    if (baud == 0) return InvalidBaudRate;
    if (SpeedConstant(long(baud)) == B0)
        return Io().SetCustomBaudRate(int(handle), int(baud)) == 0 ? Success : InvalidBaudRate;
    termios settings{};
    if (Io().GetAttributes(int(handle), &settings) != 0) return SystemErrorCode;
    return Io().SetSpeed(int(handle), long(baud)) == 0 ? Success : InvalidBaudRate;
}

Status SetBaudDivisor(Handle handle, uint16_t divisor) {
    // The bridge's baud clock: rate = 3686400 / divisor.
    if (divisor == 0) return InvalidBaudRate;
    return SetBaudRate(handle, 3686400u / divisor);
}

// Line control word: bits 0-3 stop bits (0 one, 2 two), bits 4-7 parity
// (0 none, 1 odd, 2 even, 3 mark, 4 space), bits 8-15 data bits (5..8).
Status SetLineControl(Handle handle, uint16_t lineControl) {
    if (!IsOpen(handle)) return InvalidHandle;
    const int stop = lineControl & 0x0F, parity = (lineControl >> 4) & 0x0F, bits = lineControl >> 8;
    if (stop == 1 || stop > 2 || parity > 4 || bits < 5 || bits > 8) return InvalidParameter;
    termios settings{};
    if (Io().GetAttributes(int(handle), &settings) != 0) return SystemErrorCode;
    settings.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    settings.c_cflag |= bits == 5 ? CS5 : bits == 6 ? CS6 : bits == 7 ? CS7 : CS8;
    if (stop == 2) settings.c_cflag |= CSTOPB;
    switch (parity) {
    case 1:
        settings.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        settings.c_cflag |= PARENB;
        break;
    case 3:
        settings.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        settings.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    return Io().SetAttributes(int(handle), &settings) == 0 ? Success : SystemErrorCode;
}

// CTS 1 = handshake; RTS 0 inactive, 1 active, 2 handshake; DTR 0 inactive,
// 1 active; DSR and DCD are status inputs here.
Status SetFlowControl(Handle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode, uint8_t, uint8_t,
                      int xonXoff) {
    if (!IsOpen(handle)) return InvalidHandle;
    termios settings{};
    if (Io().GetAttributes(int(handle), &settings) != 0) return SystemErrorCode;
    settings.c_cflag &= ~CRTSCTS;
    if (ctsMode == 1 || rtsMode == 2) settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF);
    if (xonXoff) settings.c_iflag |= IXON | IXOFF;
    if (Io().SetAttributes(int(handle), &settings) != 0) return SystemErrorCode;
    if (dtrMode == 1)
        Io().SetModemLines(int(handle), TIOCM_DTR);
    else
        Io().ClearModemLines(int(handle), TIOCM_DTR);
    if (rtsMode == 1)
        Io().SetModemLines(int(handle), TIOCM_RTS);
    else if (rtsMode == 0)
        Io().ClearModemLines(int(handle), TIOCM_RTS);
    return Success;
}

Status GetModemStatus(Handle handle, uint8_t* status) {
    if (!IsOpen(handle)) return InvalidHandle;
    if (!status) return InvalidParameter;
    int lines = 0;
    if (Io().GetModemLines(int(handle), &lines) != 0) return SystemErrorCode;
    *status = 0;
    if (lines & TIOCM_DTR) *status |= ModemDtr;
    if (lines & TIOCM_RTS) *status |= ModemRts;
    if (lines & TIOCM_CTS) *status |= ModemCts;
    if (lines & TIOCM_DSR) *status |= ModemDsr;
    if (lines & TIOCM_RI) *status |= ModemRing;
    if (lines & TIOCM_CD) *status |= ModemDcd;
    return Success;
}

Status SetBreak(Handle handle, uint16_t state) {
    if (!IsOpen(handle)) return InvalidHandle;
    return Io().SetBreak(int(handle), state != 0) == 0 ? Success : SystemErrorCode;
}

Status ReadLatch(Handle handle, uint8_t*) {
    return IsOpen(handle) ? FunctionNotSupported : InvalidHandle;
}

Status WriteLatch(Handle handle, uint8_t, uint8_t) {
    return IsOpen(handle) ? FunctionNotSupported : InvalidHandle;
}

Status GetPartNumber(Handle handle, uint8_t*) {
    return IsOpen(handle) ? FunctionNotSupported : InvalidHandle;
}

Status GetDllVersion(uint32_t* high, uint32_t* low) {
    if (!high || !low) return InvalidParameter;
    *high = 1u << 16 | 4;
    *low = 0;
    return Success;
}

Status GetDriverVersion(uint32_t* high, uint32_t* low) {
    if (!high || !low) return InvalidParameter;
    utsname name{};
    unsigned major = 0, minor = 0, patch = 0;
    if (::uname(&name) == 0) std::sscanf(name.release, "%u.%u.%u", &major, &minor, &patch);
    *high = major << 16 | minor;
    *low = patch << 16;
    return Success;
}

struct Entry {
    const char* name;
    CSiUsbLibrary::AnyFunction function;
};

template <class Fn> CSiUsbLibrary::AnyFunction Any(Fn function) {
    return reinterpret_cast<CSiUsbLibrary::AnyFunction>(function);
}

const Entry entries[] = {
    {"SI_GetNumDevices", Any(&GetNumDevices)},
    {"SI_GetProductString", Any(&GetProductString)},
    {"SI_Open", Any(&Open)},
    {"SI_Close", Any(&Close)},
    {"SI_Read", Any(&Read)},
    {"SI_Write", Any(&Write)},
    {"SI_DeviceIOControl", Any(&DeviceIoControl)},
    {"SI_FlushBuffers", Any(&FlushBuffers)},
    {"SI_SetTimeouts", Any(&SetTimeouts)},
    {"SI_GetTimeouts", Any(&GetTimeouts)},
    {"SI_CheckRXQueue", Any(&CheckRxQueue)},
    {"SI_SetBaudRate", Any(&SetBaudRate)},
    {"SI_SetBaudDivisor", Any(&SetBaudDivisor)},
    {"SI_SetLineControl", Any(&SetLineControl)},
    {"SI_SetFlowControl", Any(&SetFlowControl)},
    {"SI_GetModemStatus", Any(&GetModemStatus)},
    {"SI_SetBreak", Any(&SetBreak)},
    {"SI_ReadLatch", Any(&ReadLatch)},
    {"SI_WriteLatch", Any(&WriteLatch)},
    {"SI_GetPartNumber", Any(&GetPartNumber)},
    {"SI_GetDLLVersion", Any(&GetDllVersion)},
    {"SI_GetDriverVersion", Any(&GetDriverVersion)},
};

} // namespace

namespace SiUsbLayer {

CSiUsbLibrary::AnyFunction Lookup(const char* name) {
    if (!name) return nullptr;
    for (const Entry& entry : entries)
        if (std::strcmp(entry.name, name) == 0) return entry.function;
    return nullptr;
}

} // namespace SiUsbLayer
