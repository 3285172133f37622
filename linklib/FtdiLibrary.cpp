#include "FtdiLibrary.h"

#include "DebugLog.h"

#include <atomic>

namespace {

std::atomic<CFtdiLibrary::ModuleLoader> moduleLoader{nullptr};

CFtdiLibrary::Lookup LoadModule(const char* fileName) {
    if (CFtdiLibrary::ModuleLoader loader = moduleLoader.load()) return loader(fileName);
    return &FtdiLayer::Lookup;
}

const char* const entryNames[] = {
    "FT_SetBaudRate",
    "FT_SetLatencyTimer",
    "FT_SetUSBParameters",
    "FT_ListDevices",
    "FT_CreateDeviceInfoList",
    "FT_GetDeviceInfoList",
    "FT_GetDeviceInfoDetail",
    "FT_ResetDevice",
    "FT_W32_CreateFile",
    "FT_W32_CloseHandle",
    "FT_W32_ReadFile",
    "FT_W32_WriteFile",
    "FT_W32_GetLastError",
    "FT_W32_GetOverlappedResult",
    "FT_W32_ClearCommBreak",
    "FT_W32_ClearCommError",
    "FT_W32_EscapeCommFunction",
    "FT_W32_GetCommModemStatus",
    "FT_W32_GetCommState",
    "FT_W32_GetCommTimeouts",
    "FT_W32_PurgeComm",
    "FT_W32_SetCommBreak",
    "FT_W32_SetCommMask",
    "FT_W32_SetCommState",
    "FT_W32_SetCommTimeouts",
    "FT_W32_SetupComm",
    "FT_W32_WaitCommEvent",
};

template <class Fn> void Bind(CFtdiLibrary::Lookup module, Fn& slot, int index) {
    const char* name = entryNames[index];
    slot = reinterpret_cast<Fn>(module(name));
    if (!slot) DebugLog::Printf("Fehler: Kann %s nicht initialisieren", name);
}

} // namespace

const char* const* CFtdiLibrary::EntryNames(int* count) {
    if (count) *count = int(sizeof entryNames / sizeof entryNames[0]);
    return entryNames;
}

void CFtdiLibrary::SetModuleLoader(ModuleLoader loader) {
    moduleLoader = loader;
}

void CFtdiLibrary::Load() {
    if (m_module) return;
    m_module = LoadModule(ModuleName);
    if (!m_module) {
        DebugLog::Write("Fehler: Kann Ftd2xx.dll nicht laden");
        return;
    }
    int i = 0;
    Bind(m_module, m_setBaudRate, i++);
    Bind(m_module, m_setLatencyTimer, i++);
    Bind(m_module, m_setUsbParameters, i++);
    Bind(m_module, m_listDevices, i++);
    Bind(m_module, m_createDeviceInfoList, i++);
    Bind(m_module, m_getDeviceInfoList, i++);
    Bind(m_module, m_getDeviceInfoDetail, i++);
    Bind(m_module, m_resetDevice, i++);
    Bind(m_module, m_createFile, i++);
    Bind(m_module, m_closeHandle, i++);
    Bind(m_module, m_readFile, i++);
    Bind(m_module, m_writeFile, i++);
    Bind(m_module, m_getLastError, i++);
    Bind(m_module, m_getOverlappedResult, i++);
    Bind(m_module, m_clearCommBreak, i++);
    Bind(m_module, m_clearCommError, i++);
    Bind(m_module, m_escapeCommFunction, i++);
    Bind(m_module, m_getCommModemStatus, i++);
    Bind(m_module, m_getCommState, i++);
    Bind(m_module, m_getCommTimeouts, i++);
    Bind(m_module, m_purgeComm, i++);
    Bind(m_module, m_setCommBreak, i++);
    Bind(m_module, m_setCommMask, i++);
    Bind(m_module, m_setCommState, i++);
    Bind(m_module, m_setCommTimeouts, i++);
    Bind(m_module, m_setupComm, i++);
    Bind(m_module, m_waitCommEvent, i++);
}

void CFtdiLibrary::Unload() {
    m_module = nullptr;
    m_setBaudRate = nullptr;
    m_setLatencyTimer = nullptr;
    m_setUsbParameters = nullptr;
    m_listDevices = nullptr;
    m_createDeviceInfoList = nullptr;
    m_getDeviceInfoList = nullptr;
    m_getDeviceInfoDetail = nullptr;
    m_resetDevice = nullptr;
    m_createFile = nullptr;
    m_closeHandle = nullptr;
    m_readFile = nullptr;
    m_writeFile = nullptr;
    m_getLastError = nullptr;
    m_getOverlappedResult = nullptr;
    m_clearCommBreak = nullptr;
    m_clearCommError = nullptr;
    m_escapeCommFunction = nullptr;
    m_getCommModemStatus = nullptr;
    m_getCommState = nullptr;
    m_getCommTimeouts = nullptr;
    m_purgeComm = nullptr;
    m_setCommBreak = nullptr;
    m_setCommMask = nullptr;
    m_setCommState = nullptr;
    m_setCommTimeouts = nullptr;
    m_setupComm = nullptr;
    m_waitCommEvent = nullptr;
}

Ftdi::Status CFtdiLibrary::FT_SetBaudRate(Ftdi::Handle handle, uint32_t baud) {
    return m_setBaudRate ? m_setBaudRate(handle, baud) : 1;
}

Ftdi::Status CFtdiLibrary::FT_SetLatencyTimer(Ftdi::Handle handle, uint8_t milliseconds) {
    return m_setLatencyTimer ? m_setLatencyTimer(handle, milliseconds) : 1;
}

Ftdi::Status CFtdiLibrary::FT_SetUSBParameters(Ftdi::Handle handle, uint32_t inSize, uint32_t outSize) {
    return m_setUsbParameters ? m_setUsbParameters(handle, inSize, outSize) : 1;
}

Ftdi::Status CFtdiLibrary::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    return m_listDevices ? m_listDevices(arg1, arg2, flags) : 1;
}

Ftdi::Status CFtdiLibrary::FT_CreateDeviceInfoList(uint32_t* count) {
    if (!m_createDeviceInfoList) Load();
    if (!m_createDeviceInfoList) {
        DebugLog::Write("FT_CreateDeviceInfoList ist nicht vorhanden!");
        return 1;
    }
    return m_createDeviceInfoList(count);
}

Ftdi::Status CFtdiLibrary::FT_GetDeviceInfoList(Ftdi::DeviceInfoNode* nodes, uint32_t* count) {
    if (!m_getDeviceInfoList) Load();
    if (!m_getDeviceInfoList) {
        DebugLog::Write("FT_GetDeviceInfoList ist nicht vorhanden!");
        return 1;
    }
    return m_getDeviceInfoList(nodes, count);
}

Ftdi::Status CFtdiLibrary::FT_GetDeviceInfoDetail(uint32_t index, Ftdi::DeviceInfoNode* node) {
    return m_getDeviceInfoDetail ? m_getDeviceInfoDetail(index, node) : 1;
}

Ftdi::Status CFtdiLibrary::FT_ResetDevice(Ftdi::Handle handle) {
    return m_resetDevice ? m_resetDevice(handle) : 1;
}

Ftdi::Handle CFtdiLibrary::FT_W32_CreateFile(const char* name, uint32_t access, uint32_t share,
                                             void* security, uint32_t creation, uint32_t flags,
                                             void* templateFile) {
    if (!m_createFile) Load();
    if (!m_createFile) return Ftdi::InvalidHandle;
    return m_createFile(name, access, share, security, creation, flags, templateFile);
}

int CFtdiLibrary::FT_W32_CloseHandle(Ftdi::Handle handle) {
    return m_closeHandle ? m_closeHandle(handle) : 0;
}

int CFtdiLibrary::FT_W32_ReadFile(Ftdi::Handle handle, void* buffer, uint32_t count, uint32_t* done,
                                  void* overlapped) {
    return m_readFile ? m_readFile(handle, buffer, count, done, overlapped) : 0;
}

int CFtdiLibrary::FT_W32_WriteFile(Ftdi::Handle handle, const void* data, uint32_t count, uint32_t* done,
                                   void* overlapped) {
    return m_writeFile ? m_writeFile(handle, data, count, done, overlapped) : 0;
}

uint32_t CFtdiLibrary::FT_W32_GetLastError(Ftdi::Handle handle) {
    return m_getLastError ? m_getLastError(handle) : 0;
}

int CFtdiLibrary::FT_W32_GetOverlappedResult(Ftdi::Handle handle, void* overlapped, uint32_t* done,
                                             int wait) {
    return m_getOverlappedResult ? m_getOverlappedResult(handle, overlapped, done, wait) : 0;
}

int CFtdiLibrary::FT_W32_ClearCommBreak(Ftdi::Handle handle) {
    return m_clearCommBreak ? m_clearCommBreak(handle) : 0;
}

int CFtdiLibrary::FT_W32_ClearCommError(Ftdi::Handle handle, uint32_t* errors, Ftdi::ComStat* status) {
    return m_clearCommError ? m_clearCommError(handle, errors, status) : 0;
}

int CFtdiLibrary::FT_W32_EscapeCommFunction(Ftdi::Handle handle, uint32_t function) {
    return m_escapeCommFunction ? m_escapeCommFunction(handle, function) : 0;
}

int CFtdiLibrary::FT_W32_GetCommModemStatus(Ftdi::Handle handle, uint32_t* status) {
    return m_getCommModemStatus ? m_getCommModemStatus(handle, status) : 0;
}

int CFtdiLibrary::FT_W32_GetCommState(Ftdi::Handle handle, Ftdi::CommState* state) {
    return m_getCommState ? m_getCommState(handle, state) : 0;
}

int CFtdiLibrary::FT_W32_GetCommTimeouts(Ftdi::Handle handle, Ftdi::CommTimeouts* timeouts) {
    return m_getCommTimeouts ? m_getCommTimeouts(handle, timeouts) : 0;
}

int CFtdiLibrary::FT_W32_PurgeComm(Ftdi::Handle handle, uint32_t flags) {
    return m_purgeComm ? m_purgeComm(handle, flags) : 0;
}

int CFtdiLibrary::FT_W32_SetCommBreak(Ftdi::Handle handle) {
    return m_setCommBreak ? m_setCommBreak(handle) : 0;
}

int CFtdiLibrary::FT_W32_SetCommMask(Ftdi::Handle handle, uint32_t mask) {
    return m_setCommMask ? m_setCommMask(handle, mask) : 0;
}

int CFtdiLibrary::FT_W32_SetCommState(Ftdi::Handle handle, const Ftdi::CommState* state) {
    return m_setCommState ? m_setCommState(handle, state) : 0;
}

int CFtdiLibrary::FT_W32_SetCommTimeouts(Ftdi::Handle handle, const Ftdi::CommTimeouts* timeouts) {
    return m_setCommTimeouts ? m_setCommTimeouts(handle, timeouts) : 0;
}

int CFtdiLibrary::FT_W32_SetupComm(Ftdi::Handle handle, uint32_t inSize, uint32_t outSize) {
    return m_setupComm ? m_setupComm(handle, inSize, outSize) : 0;
}

int CFtdiLibrary::FT_W32_WaitCommEvent(Ftdi::Handle handle, uint32_t* mask, void* overlapped) {
    return m_waitCommEvent ? m_waitCommEvent(handle, mask, overlapped) : 0;
}
