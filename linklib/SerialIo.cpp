#include "SerialIo.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
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

int CSerialIo::Flush(int fd, int queues) {
    return ::tcflush(fd, queues);
}

int CSerialIo::SetBreak(int fd, bool on) {
    return ::ioctl(fd, on ? TIOCSBRK : TIOCCBRK);
}

int CSerialIo::WaitReady(int fd, short events, int milliseconds) {
    pollfd watch{fd, events, 0};
    const int n = ::poll(&watch, 1, milliseconds);
    return n > 0 ? watch.revents : n;
}

int CSerialIo::SetSpeed(int fd, long baud) {
    const speed_t speed = SpeedConstant(baud);
    if (speed == B0) return SetCustomBaudRate(fd, int(baud));
    termios settings{};
    if (GetAttributes(fd, &settings) != 0) return -1;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    return SetAttributes(fd, &settings);
}

std::shared_ptr<CSerialIo> CSerialIo::System() {
    static const std::shared_ptr<CSerialIo> io = std::make_shared<CSerialIo>();
    return io;
}
