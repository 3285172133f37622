// CFtdiLibrary: the route to USB bridge devices addressed by their serial
// number. Until the bridge layer exists every entry answers as an unbound
// entry does: opening fails, the latency timer reports an error status.
#pragma once

#include <string>

class CSerialIo;

class CFtdiLibrary {
public:
    void Load() {}
    void Unload() {}

    // A tty fd for the device with this serial number, or -1.
    int FT_W32_CreateFile(const std::string& serialNumber, CSerialIo& io);
    bool FT_W32_CloseHandle(int fd, CSerialIo& io);
    // 0 on success, an error status otherwise.
    int FT_SetLatencyTimer(int fd, int milliseconds);
};
