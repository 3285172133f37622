#include "SerialIo.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

int CSerialIo::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // The port is ours alone while it is open, as a serial port opened
    // without sharing would be.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int CSerialIo::Close(int fd) {
    return ::close(fd);
}

ssize_t CSerialIo::Read(int fd, uint8_t* buffer, size_t count) {
    return ::read(fd, buffer, count);
}

ssize_t CSerialIo::Write(int fd, const uint8_t* data, size_t count) {
    return ::write(fd, data, count);
}

int CSerialIo::GetAttributes(int fd, termios* settings) {
    return ::tcgetattr(fd, settings);
}

int CSerialIo::SetAttributes(int fd, const termios* settings) {
    return ::tcsetattr(fd, TCSANOW, settings);
}

int CSerialIo::SetCustomBaudRate(int fd, int baud) {
    return SetTermios2BaudRate(fd, baud);
}

int CSerialIo::GetModemLines(int fd, int* lines) {
    return ::ioctl(fd, TIOCMGET, lines);
}

int CSerialIo::ClearModemLines(int fd, int lines) {
    return ::ioctl(fd, TIOCMBIC, &lines);
}

int CSerialIo::SetModemLines(int fd, int lines) {
    return ::ioctl(fd, TIOCMBIS, &lines);
}

int CSerialIo::InputQueued(int fd, int* count) {
    return ::ioctl(fd, FIONREAD, count);
}

int CSerialIo::OutputQueued(int fd, int* count) {
    return ::ioctl(fd, TIOCOUTQ, count);
}

int CSerialIo::ErrorCounts(int fd, SerialErrorCounts* counts) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) return -1;
    counts->frame = icount.frame;
    counts->overrun = icount.overrun;
    counts->parity = icount.parity;
    counts->brk = icount.brk;
    counts->bufferOverrun = icount.buf_overrun;
    return 0;
}

int CSerialIo::Purge(int fd) {
    return ::tcflush(fd, TCIOFLUSH);
}

std::shared_ptr<CSerialIo> CSerialIo::System() {
    static const std::shared_ptr<CSerialIo> io = std::make_shared<CSerialIo>();
    return io;
}

speed_t SpeedConstant(long baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    default:
        return B0;
    }
}
