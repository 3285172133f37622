// CSiUsbLibrary: the route to the USB Bluetooth adapter (a USB-to-UART
// bridge of the CP210x kind), used by the Bluetooth transport.
//
// A run-time binding of the same shape as CFtdiLibrary: a module handle and
// one entry per function, bound by name in a fixed order. The module is our
// own Linux layer ("SiUSBXp.dll" by name, SiUsbLayer.cpp): the devices are
// the ttys of the kernel's cp210x driver, numbered in the natural order of
// their tty names; line settings, flow control and break go through termios.
// An unbound entry returns 1 (an error status).
#pragma once

#include <cstdint>

namespace SiUsb {

using Status = int;
// An open device: the tty's file descriptor.
using Handle = intptr_t;

constexpr Status Success = 0x00;
constexpr Status InvalidHandle = 0x01;
constexpr Status ReadError = 0x02;
constexpr Status RxQueueNotReady = 0x03;
constexpr Status WriteError = 0x04;
constexpr Status InvalidParameter = 0x06;
constexpr Status InvalidBaudRate = 0x09;
constexpr Status FunctionNotSupported = 0x0A;
constexpr Status SystemErrorCode = 0x0C;
constexpr Status ReadTimedOut = 0x0D;
constexpr Status WriteTimedOut = 0x0E;
constexpr Status DeviceNotFound = 0xFF;

// SI_GetProductString options.
constexpr uint32_t ReturnSerialNumber = 0;
constexpr uint32_t ReturnDescription = 1;
constexpr uint32_t ReturnLinkName = 2;
constexpr uint32_t ReturnVid = 3;
constexpr uint32_t ReturnPid = 4;
constexpr int MaxDeviceString = 256;

// SI_CheckRXQueue status.
constexpr uint32_t RxEmpty = 0x00;
constexpr uint32_t RxOverrun = 0x01;
constexpr uint32_t RxReady = 0x02;

// SI_GetModemStatus bits.
constexpr uint8_t ModemDtr = 0x01, ModemRts = 0x02, ModemCts = 0x10, ModemDsr = 0x20, ModemRing = 0x40,
                  ModemDcd = 0x80;

} // namespace SiUsb

class CSiUsbLibrary {
public:
    using AnyFunction = void (*)();
    using Lookup = AnyFunction (*)(const char* name);
    using ModuleLoader = Lookup (*)(const char* fileName);

    static constexpr const char* ModuleName = "SiUSBXp.dll";

    CSiUsbLibrary() = default;
    ~CSiUsbLibrary() { Unload(); }
    CSiUsbLibrary(const CSiUsbLibrary&) = delete;
    CSiUsbLibrary& operator=(const CSiUsbLibrary&) = delete;

    void Load();
    void Unload();
    bool IsLoaded() const { return m_module != nullptr; }

    static void SetModuleLoader(ModuleLoader loader);
    static const char* const* EntryNames(int* count);

    // Forwarding calls; SI_GetNumDevices and SI_Open load the module first
    // when needed.
    SiUsb::Status SI_GetNumDevices(uint32_t* count);
    SiUsb::Status SI_GetProductString(uint32_t index, char* buffer, uint32_t options);
    SiUsb::Status SI_Open(uint32_t index, SiUsb::Handle* handle);
    SiUsb::Status SI_Close(SiUsb::Handle handle);
    SiUsb::Status SI_Read(SiUsb::Handle handle, void* buffer, uint32_t count, uint32_t* done,
                          void* overlapped = nullptr);
    SiUsb::Status SI_Write(SiUsb::Handle handle, const void* data, uint32_t count, uint32_t* done,
                           void* overlapped = nullptr);
    SiUsb::Status SI_DeviceIOControl(SiUsb::Handle handle, uint32_t code, void* in, uint32_t inSize,
                                     void* out, uint32_t outSize, uint32_t* returned);
    SiUsb::Status SI_FlushBuffers(SiUsb::Handle handle, uint8_t transmit, uint8_t receive);
    SiUsb::Status SI_SetTimeouts(uint32_t readMs, uint32_t writeMs);
    SiUsb::Status SI_GetTimeouts(uint32_t* readMs, uint32_t* writeMs);
    SiUsb::Status SI_CheckRXQueue(SiUsb::Handle handle, uint32_t* bytes, uint32_t* status);
    SiUsb::Status SI_SetBaudRate(SiUsb::Handle handle, uint32_t baud);
    SiUsb::Status SI_SetBaudDivisor(SiUsb::Handle handle, uint16_t divisor);
    SiUsb::Status SI_SetLineControl(SiUsb::Handle handle, uint16_t lineControl);
    SiUsb::Status SI_SetFlowControl(SiUsb::Handle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode,
                                    uint8_t dsrMode, uint8_t dcdMode, int xonXoff);
    SiUsb::Status SI_GetModemStatus(SiUsb::Handle handle, uint8_t* status);
    SiUsb::Status SI_SetBreak(SiUsb::Handle handle, uint16_t state);
    SiUsb::Status SI_ReadLatch(SiUsb::Handle handle, uint8_t* latch);
    SiUsb::Status SI_WriteLatch(SiUsb::Handle handle, uint8_t mask, uint8_t latch);
    SiUsb::Status SI_GetPartNumber(SiUsb::Handle handle, uint8_t* part);
    SiUsb::Status SI_GetDLLVersion(uint32_t* high, uint32_t* low);
    SiUsb::Status SI_GetDriverVersion(uint32_t* high, uint32_t* low);

    using GetNumDevicesFn = SiUsb::Status (*)(uint32_t*);
    using GetProductStringFn = SiUsb::Status (*)(uint32_t, char*, uint32_t);
    using OpenFn = SiUsb::Status (*)(uint32_t, SiUsb::Handle*);
    using CloseFn = SiUsb::Status (*)(SiUsb::Handle);
    using ReadFn = SiUsb::Status (*)(SiUsb::Handle, void*, uint32_t, uint32_t*, void*);
    using WriteFn = SiUsb::Status (*)(SiUsb::Handle, const void*, uint32_t, uint32_t*, void*);
    using DeviceIoControlFn = SiUsb::Status (*)(SiUsb::Handle, uint32_t, void*, uint32_t, void*, uint32_t,
                                                uint32_t*);
    using FlushBuffersFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t, uint8_t);
    using SetTimeoutsFn = SiUsb::Status (*)(uint32_t, uint32_t);
    using GetTimeoutsFn = SiUsb::Status (*)(uint32_t*, uint32_t*);
    using CheckRxQueueFn = SiUsb::Status (*)(SiUsb::Handle, uint32_t*, uint32_t*);
    using SetBaudRateFn = SiUsb::Status (*)(SiUsb::Handle, uint32_t);
    using SetBaudDivisorFn = SiUsb::Status (*)(SiUsb::Handle, uint16_t);
    using SetLineControlFn = SiUsb::Status (*)(SiUsb::Handle, uint16_t);
    using SetFlowControlFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t,
                                               int);
    using GetModemStatusFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t*);
    using SetBreakFn = SiUsb::Status (*)(SiUsb::Handle, uint16_t);
    using ReadLatchFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t*);
    using WriteLatchFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t, uint8_t);
    using GetPartNumberFn = SiUsb::Status (*)(SiUsb::Handle, uint8_t*);
    using VersionFn = SiUsb::Status (*)(uint32_t*, uint32_t*);

private:
    Lookup m_module = nullptr;

    // The entries, in binding order.
    GetNumDevicesFn m_getNumDevices = nullptr;
    GetProductStringFn m_getProductString = nullptr;
    OpenFn m_open = nullptr;
    CloseFn m_close = nullptr;
    ReadFn m_read = nullptr;
    WriteFn m_write = nullptr;
    DeviceIoControlFn m_deviceIoControl = nullptr;
    FlushBuffersFn m_flushBuffers = nullptr;
    SetTimeoutsFn m_setTimeouts = nullptr;
    GetTimeoutsFn m_getTimeouts = nullptr;
    CheckRxQueueFn m_checkRxQueue = nullptr;
    SetBaudRateFn m_setBaudRate = nullptr;
    SetBaudDivisorFn m_setBaudDivisor = nullptr;
    SetLineControlFn m_setLineControl = nullptr;
    SetFlowControlFn m_setFlowControl = nullptr;
    GetModemStatusFn m_getModemStatus = nullptr;
    SetBreakFn m_setBreak = nullptr;
    ReadLatchFn m_readLatch = nullptr;
    WriteLatchFn m_writeLatch = nullptr;
    GetPartNumberFn m_getPartNumber = nullptr;
    VersionFn m_getDllVersion = nullptr;
    VersionFn m_getDriverVersion = nullptr;
};

// Our Linux layer: the module that CSiUsbLibrary binds by default.
namespace SiUsbLayer {
CSiUsbLibrary::AnyFunction Lookup(const char* name);
} // namespace SiUsbLayer
