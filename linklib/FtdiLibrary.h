// CFtdiLibrary: the route to USB bridge devices (the FTDI kind) that are
// addressed by their serial number.
//
// The class is a run-time binding: a module handle and one entry per
// function, bound by name in a fixed order when the module is loaded. The
// module is our own Linux bridge layer ("Ftd2xx.dll" by name, FtdiLayer.cpp):
// a serial number resolves through sysfs to the tty the kernel's ftdi_sio
// driver made for that device; the latency timer is its sysfs attribute; the
// Win32-style functions act on that tty. A missing module or entry makes only
// the calls through it fail, with the failure values stated below.
#pragma once

#include <cstdint>
#include <string>
#include <termios.h>

class CSerialIo;

namespace Ftdi {

using Status = unsigned long;
// An open device: the tty's file descriptor (never 0). -1 is the invalid handle.
using Handle = intptr_t;
constexpr Handle InvalidHandle = -1;

// Status values.
constexpr Status Ok = 0;
constexpr Status InvalidHandleStatus = 1;
constexpr Status DeviceNotFound = 2;
constexpr Status DeviceNotOpened = 3;
constexpr Status IoError = 4;
constexpr Status InvalidParameter = 6;
constexpr Status InvalidBaudRate = 7;
constexpr Status NotSupported = 17;
constexpr Status OtherError = 18;

// FT_W32_CreateFile flags and arguments.
constexpr uint32_t GenericRead = 0x80000000u;
constexpr uint32_t GenericWrite = 0x40000000u;
constexpr uint32_t OpenExisting = 3;
constexpr uint32_t FlagOverlapped = 0x40000000u;
constexpr uint32_t OpenBySerialNumber = 0x00000001u;
constexpr uint32_t OpenByDescription = 0x00000002u;

// FT_ListDevices flag: the number of devices into the first argument.
constexpr uint32_t ListNumberOnly = 0x80000000u;

// Device record flags.
constexpr uint32_t FlagOpened = 0x1;
constexpr uint32_t DeviceUnknown = 3;

// One record of the device information list.
struct DeviceInfoNode {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID; // vendor id << 16 | product id
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    Handle ftHandle; // 0 unless this process has the device open
};

// Win32-style records of the line functions.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};
struct ComStat {
    uint32_t cbInQue;
    uint32_t cbOutQue;
};
// The line state is the tty's termios record.
using CommState = termios;

// Modem status bits (GetCommModemStatus) and the last-error codes.
constexpr uint32_t MsCtsOn = 0x10, MsDsrOn = 0x20, MsRingOn = 0x40, MsRlsdOn = 0x80;
constexpr uint32_t EvRxChar = 0x0001;
constexpr uint32_t PurgeTxAbort = 0x1, PurgeRxAbort = 0x2, PurgeTxClear = 0x4, PurgeRxClear = 0x8;
constexpr uint32_t SetRts = 3, ClrRts = 4, SetDtr = 5, ClrDtr = 6, SetBreak = 8, ClrBreak = 9;

} // namespace Ftdi

class CFtdiLibrary {
public:
    // A generic entry as a module hands it out; cast to the entry's type.
    using AnyFunction = void (*)();
    // A loaded module: finds an entry by name (null when it has none).
    using Lookup = AnyFunction (*)(const char* name);
    // Loads a module by file name (null when it cannot be loaded).
    using ModuleLoader = Lookup (*)(const char* fileName);

    static constexpr const char* ModuleName = "Ftd2xx.dll";

    CFtdiLibrary() = default;
    ~CFtdiLibrary() { Unload(); }
    CFtdiLibrary(const CFtdiLibrary&) = delete;
    CFtdiLibrary& operator=(const CFtdiLibrary&) = delete;

    // Binds every entry, once; a missing module or entry writes its text to
    // the debug log.
    void Load();
    // Forgets the module and clears every entry.
    void Unload();
    bool IsLoaded() const { return m_module != nullptr; }

    // The module loader (tests install one that lacks entries); null
    // restores our Linux layer.
    static void SetModuleLoader(ModuleLoader loader);

    // The names of the entries, in binding order.
    static const char* const* EntryNames(int* count);

    // Forwarding calls. Unbound: FT_W32_CreateFile gives InvalidHandle, the
    // other FT_W32_ functions 0 (or nothing), FT_SetLatencyTimer and the
    // other FT_ functions 1. FT_W32_CreateFile, FT_CreateDeviceInfoList and
    // FT_GetDeviceInfoList load the module first when needed.
    Ftdi::Status FT_SetBaudRate(Ftdi::Handle handle, uint32_t baud);
    Ftdi::Status FT_SetLatencyTimer(Ftdi::Handle handle, uint8_t milliseconds);
    Ftdi::Status FT_SetUSBParameters(Ftdi::Handle handle, uint32_t inSize, uint32_t outSize);
    Ftdi::Status FT_ListDevices(void* arg1, void* arg2, uint32_t flags);
    Ftdi::Status FT_CreateDeviceInfoList(uint32_t* count);
    Ftdi::Status FT_GetDeviceInfoList(Ftdi::DeviceInfoNode* nodes, uint32_t* count);
    Ftdi::Status FT_GetDeviceInfoDetail(uint32_t index, Ftdi::DeviceInfoNode* node);
    Ftdi::Status FT_ResetDevice(Ftdi::Handle handle);
    Ftdi::Handle FT_W32_CreateFile(const char* name, uint32_t access, uint32_t share, void* security,
                                   uint32_t creation, uint32_t flags, void* templateFile);
    int FT_W32_CloseHandle(Ftdi::Handle handle);
    int FT_W32_ReadFile(Ftdi::Handle handle, void* buffer, uint32_t count, uint32_t* done, void* overlapped);
    int FT_W32_WriteFile(Ftdi::Handle handle, const void* data, uint32_t count, uint32_t* done,
                         void* overlapped);
    uint32_t FT_W32_GetLastError(Ftdi::Handle handle);
    int FT_W32_GetOverlappedResult(Ftdi::Handle handle, void* overlapped, uint32_t* done, int wait);
    int FT_W32_ClearCommBreak(Ftdi::Handle handle);
    int FT_W32_ClearCommError(Ftdi::Handle handle, uint32_t* errors, Ftdi::ComStat* status);
    int FT_W32_EscapeCommFunction(Ftdi::Handle handle, uint32_t function);
    int FT_W32_GetCommModemStatus(Ftdi::Handle handle, uint32_t* status);
    int FT_W32_GetCommState(Ftdi::Handle handle, Ftdi::CommState* state);
    int FT_W32_GetCommTimeouts(Ftdi::Handle handle, Ftdi::CommTimeouts* timeouts);
    int FT_W32_PurgeComm(Ftdi::Handle handle, uint32_t flags);
    int FT_W32_SetCommBreak(Ftdi::Handle handle);
    int FT_W32_SetCommMask(Ftdi::Handle handle, uint32_t mask);
    int FT_W32_SetCommState(Ftdi::Handle handle, const Ftdi::CommState* state);
    int FT_W32_SetCommTimeouts(Ftdi::Handle handle, const Ftdi::CommTimeouts* timeouts);
    int FT_W32_SetupComm(Ftdi::Handle handle, uint32_t inSize, uint32_t outSize);
    int FT_W32_WaitCommEvent(Ftdi::Handle handle, uint32_t* mask, void* overlapped);

    // Entry types.
    using SetBaudRateFn = Ftdi::Status (*)(Ftdi::Handle, uint32_t);
    using SetLatencyTimerFn = Ftdi::Status (*)(Ftdi::Handle, uint8_t);
    using SetUsbParametersFn = Ftdi::Status (*)(Ftdi::Handle, uint32_t, uint32_t);
    using ListDevicesFn = Ftdi::Status (*)(void*, void*, uint32_t);
    using CreateDeviceInfoListFn = Ftdi::Status (*)(uint32_t*);
    using GetDeviceInfoListFn = Ftdi::Status (*)(Ftdi::DeviceInfoNode*, uint32_t*);
    using GetDeviceInfoDetailFn = Ftdi::Status (*)(uint32_t, Ftdi::DeviceInfoNode*);
    using ResetDeviceFn = Ftdi::Status (*)(Ftdi::Handle);
    using CreateFileFn = Ftdi::Handle (*)(const char*, uint32_t, uint32_t, void*, uint32_t, uint32_t, void*);
    using HandleFn = int (*)(Ftdi::Handle);
    using ReadFileFn = int (*)(Ftdi::Handle, void*, uint32_t, uint32_t*, void*);
    using WriteFileFn = int (*)(Ftdi::Handle, const void*, uint32_t, uint32_t*, void*);
    using GetLastErrorFn = uint32_t (*)(Ftdi::Handle);
    using GetOverlappedResultFn = int (*)(Ftdi::Handle, void*, uint32_t*, int);
    using ClearCommErrorFn = int (*)(Ftdi::Handle, uint32_t*, Ftdi::ComStat*);
    using HandleValueFn = int (*)(Ftdi::Handle, uint32_t);
    using GetModemStatusFn = int (*)(Ftdi::Handle, uint32_t*);
    using GetCommStateFn = int (*)(Ftdi::Handle, Ftdi::CommState*);
    using GetCommTimeoutsFn = int (*)(Ftdi::Handle, Ftdi::CommTimeouts*);
    using SetCommStateFn = int (*)(Ftdi::Handle, const Ftdi::CommState*);
    using SetCommTimeoutsFn = int (*)(Ftdi::Handle, const Ftdi::CommTimeouts*);
    using SetupCommFn = int (*)(Ftdi::Handle, uint32_t, uint32_t);
    using WaitCommEventFn = int (*)(Ftdi::Handle, uint32_t*, void*);

private:
    Lookup m_module = nullptr;

    // The entries, in binding order.
    SetBaudRateFn m_setBaudRate = nullptr;
    SetLatencyTimerFn m_setLatencyTimer = nullptr;
    SetUsbParametersFn m_setUsbParameters = nullptr;
    ListDevicesFn m_listDevices = nullptr;
    CreateDeviceInfoListFn m_createDeviceInfoList = nullptr;
    GetDeviceInfoListFn m_getDeviceInfoList = nullptr;
    GetDeviceInfoDetailFn m_getDeviceInfoDetail = nullptr;
    ResetDeviceFn m_resetDevice = nullptr;
    CreateFileFn m_createFile = nullptr;
    HandleFn m_closeHandle = nullptr;
    ReadFileFn m_readFile = nullptr;
    WriteFileFn m_writeFile = nullptr;
    GetLastErrorFn m_getLastError = nullptr;
    GetOverlappedResultFn m_getOverlappedResult = nullptr;
    HandleFn m_clearCommBreak = nullptr;
    ClearCommErrorFn m_clearCommError = nullptr;
    HandleValueFn m_escapeCommFunction = nullptr;
    GetModemStatusFn m_getCommModemStatus = nullptr;
    GetCommStateFn m_getCommState = nullptr;
    GetCommTimeoutsFn m_getCommTimeouts = nullptr;
    HandleValueFn m_purgeComm = nullptr;
    HandleFn m_setCommBreak = nullptr;
    HandleValueFn m_setCommMask = nullptr;
    SetCommStateFn m_setCommState = nullptr;
    SetCommTimeoutsFn m_setCommTimeouts = nullptr;
    SetupCommFn m_setupComm = nullptr;
    WaitCommEventFn m_waitCommEvent = nullptr;
};

// Our Linux bridge layer: the module that CFtdiLibrary binds by default.
namespace FtdiLayer {
CFtdiLibrary::AnyFunction Lookup(const char* name);
// The tty device node of the ftdi_sio device with this serial number, or "".
std::string TtyOfSerialNumber(const std::string& serialNumber);
} // namespace FtdiLayer
