#include "SiUsbLibrary.h"

#include "DebugLog.h"

#include <atomic>

namespace {

std::atomic<CSiUsbLibrary::ModuleLoader> moduleLoader{nullptr};

CSiUsbLibrary::Lookup LoadModule(const char* fileName) {
    if (CSiUsbLibrary::ModuleLoader loader = moduleLoader.load()) return loader(fileName);
    return &SiUsbLayer::Lookup;
}

const char* const entryNames[] = {
    "SI_GetNumDevices",  "SI_GetProductString", "SI_Open",           "SI_Close",          "SI_Read",
    "SI_Write",          "SI_DeviceIOControl",  "SI_FlushBuffers",   "SI_SetTimeouts",    "SI_GetTimeouts",
    "SI_CheckRXQueue",   "SI_SetBaudRate",      "SI_SetBaudDivisor", "SI_SetLineControl", "SI_SetFlowControl",
    "SI_GetModemStatus", "SI_SetBreak",         "SI_ReadLatch",      "SI_WriteLatch",     "SI_GetPartNumber",
    "SI_GetDLLVersion",  "SI_GetDriverVersion",
};

template <class Fn> void Bind(CSiUsbLibrary::Lookup module, Fn& slot, int index) {
    const char* name = entryNames[index];
    slot = reinterpret_cast<Fn>(module(name));
    if (!slot) DebugLog::Printf("Fehler: Kann %s nicht initialisieren", name);
}

constexpr SiUsb::Status Unbound = 1;

} // namespace

const char* const* CSiUsbLibrary::EntryNames(int* count) {
    if (count) *count = int(sizeof entryNames / sizeof entryNames[0]);
    return entryNames;
}

void CSiUsbLibrary::SetModuleLoader(ModuleLoader loader) {
    moduleLoader = loader;
}

void CSiUsbLibrary::Load() {
    if (m_module) return;
    m_module = LoadModule(ModuleName);
    if (!m_module) {
        DebugLog::Write("Fehler: Kann SiUSBXp.dll nicht laden");
        return;
    }
    int i = 0;
    Bind(m_module, m_getNumDevices, i++);
    Bind(m_module, m_getProductString, i++);
    Bind(m_module, m_open, i++);
    Bind(m_module, m_close, i++);
    Bind(m_module, m_read, i++);
    Bind(m_module, m_write, i++);
    Bind(m_module, m_deviceIoControl, i++);
    Bind(m_module, m_flushBuffers, i++);
    Bind(m_module, m_setTimeouts, i++);
    Bind(m_module, m_getTimeouts, i++);
    Bind(m_module, m_checkRxQueue, i++);
    Bind(m_module, m_setBaudRate, i++);
    Bind(m_module, m_setBaudDivisor, i++);
    Bind(m_module, m_setLineControl, i++);
    Bind(m_module, m_setFlowControl, i++);
    Bind(m_module, m_getModemStatus, i++);
    Bind(m_module, m_setBreak, i++);
    Bind(m_module, m_readLatch, i++);
    Bind(m_module, m_writeLatch, i++);
    Bind(m_module, m_getPartNumber, i++);
    Bind(m_module, m_getDllVersion, i++);
    Bind(m_module, m_getDriverVersion, i++);
}

void CSiUsbLibrary::Unload() {
    m_module = nullptr;
    m_getNumDevices = nullptr;
    m_getProductString = nullptr;
    m_open = nullptr;
    m_close = nullptr;
    m_read = nullptr;
    m_write = nullptr;
    m_deviceIoControl = nullptr;
    m_flushBuffers = nullptr;
    m_setTimeouts = nullptr;
    m_getTimeouts = nullptr;
    m_checkRxQueue = nullptr;
    m_setBaudRate = nullptr;
    m_setBaudDivisor = nullptr;
    m_setLineControl = nullptr;
    m_setFlowControl = nullptr;
    m_getModemStatus = nullptr;
    m_setBreak = nullptr;
    m_readLatch = nullptr;
    m_writeLatch = nullptr;
    m_getPartNumber = nullptr;
    m_getDllVersion = nullptr;
    m_getDriverVersion = nullptr;
}

SiUsb::Status CSiUsbLibrary::SI_GetNumDevices(uint32_t* count) {
    if (!m_getNumDevices) Load();
    return m_getNumDevices ? m_getNumDevices(count) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetProductString(uint32_t index, char* buffer, uint32_t options) {
    return m_getProductString ? m_getProductString(index, buffer, options) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_Open(uint32_t index, SiUsb::Handle* handle) {
    if (!m_open) Load();
    return m_open ? m_open(index, handle) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_Close(SiUsb::Handle handle) {
    return m_close ? m_close(handle) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_Read(SiUsb::Handle handle, void* buffer, uint32_t count, uint32_t* done,
                                     void* overlapped) {
    return m_read ? m_read(handle, buffer, count, done, overlapped) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_Write(SiUsb::Handle handle, const void* data, uint32_t count, uint32_t* done,
                                      void* overlapped) {
    return m_write ? m_write(handle, data, count, done, overlapped) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_DeviceIOControl(SiUsb::Handle handle, uint32_t code, void* in,
                                                uint32_t inSize, void* out, uint32_t outSize,
                                                uint32_t* returned) {
    return m_deviceIoControl ? m_deviceIoControl(handle, code, in, inSize, out, outSize, returned) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_FlushBuffers(SiUsb::Handle handle, uint8_t transmit, uint8_t receive) {
    return m_flushBuffers ? m_flushBuffers(handle, transmit, receive) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    return m_setTimeouts ? m_setTimeouts(readMs, writeMs) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetTimeouts(uint32_t* readMs, uint32_t* writeMs) {
    return m_getTimeouts ? m_getTimeouts(readMs, writeMs) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_CheckRXQueue(SiUsb::Handle handle, uint32_t* bytes, uint32_t* status) {
    return m_checkRxQueue ? m_checkRxQueue(handle, bytes, status) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetBaudRate(SiUsb::Handle handle, uint32_t baud) {
    return m_setBaudRate ? m_setBaudRate(handle, baud) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetBaudDivisor(SiUsb::Handle handle, uint16_t divisor) {
    return m_setBaudDivisor ? m_setBaudDivisor(handle, divisor) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetLineControl(SiUsb::Handle handle, uint16_t lineControl) {
    return m_setLineControl ? m_setLineControl(handle, lineControl) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetFlowControl(SiUsb::Handle handle, uint8_t ctsMode, uint8_t rtsMode,
                                               uint8_t dtrMode, uint8_t dsrMode, uint8_t dcdMode,
                                               int xonXoff) {
    return m_setFlowControl ? m_setFlowControl(handle, ctsMode, rtsMode, dtrMode, dsrMode, dcdMode, xonXoff)
                            : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetModemStatus(SiUsb::Handle handle, uint8_t* status) {
    return m_getModemStatus ? m_getModemStatus(handle, status) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_SetBreak(SiUsb::Handle handle, uint16_t state) {
    return m_setBreak ? m_setBreak(handle, state) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_ReadLatch(SiUsb::Handle handle, uint8_t* latch) {
    return m_readLatch ? m_readLatch(handle, latch) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_WriteLatch(SiUsb::Handle handle, uint8_t mask, uint8_t latch) {
    return m_writeLatch ? m_writeLatch(handle, mask, latch) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetPartNumber(SiUsb::Handle handle, uint8_t* part) {
    return m_getPartNumber ? m_getPartNumber(handle, part) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetDLLVersion(uint32_t* high, uint32_t* low) {
    return m_getDllVersion ? m_getDllVersion(high, low) : Unbound;
}

SiUsb::Status CSiUsbLibrary::SI_GetDriverVersion(uint32_t* high, uint32_t* low) {
    return m_getDriverVersion ? m_getDriverVersion(high, low) : Unbound;
}
