#include "FtdiLibrary.h"

#include "SerialIo.h"

#include <cerrno>

int CFtdiLibrary::FT_W32_CreateFile(const std::string&, CSerialIo&) {
    errno = ENODEV;
    return -1;
}

bool CFtdiLibrary::FT_W32_CloseHandle(int fd, CSerialIo& io) {
    return io.Close(fd) == 0;
}

int CFtdiLibrary::FT_SetLatencyTimer(int, int) {
    return 1;
}
