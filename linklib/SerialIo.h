// The system calls of the serial transport, behind a small seam.
//
// CComPort and the USB bridge layers make every call on a tty through one of
// these objects, so tests can play what a pseudo-terminal cannot: modem
// lines, breaks, line errors and a vanished device. The default object makes
// the real calls.
#pragma once

#include "LineSpeed.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <termios.h>

// Error counters of a UART (TIOCGICOUNT); a pty has none.
struct SerialErrorCounts {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int bufferOverrun = 0;
};

class CSerialIo {
public:
    virtual ~CSerialIo() = default;

    // Each call returns what the system call returns (-1 with errno set on failure).
    virtual int Open(const std::string& path);
    virtual int Close(int fd);
    virtual ssize_t Read(int fd, uint8_t* buffer, size_t count);
    virtual ssize_t Write(int fd, const uint8_t* data, size_t count);
    virtual int GetAttributes(int fd, termios* settings);
    virtual int SetAttributes(int fd, const termios* settings);
    // A rate that has no B constant (termios2 with BOTHER).
    virtual int SetCustomBaudRate(int fd, int baud);
    virtual int GetModemLines(int fd, int* lines);  // TIOCM_* bits
    virtual int ClearModemLines(int fd, int lines); // TIOCMBIC
    virtual int SetModemLines(int fd, int lines);   // TIOCMBIS
    virtual int InputQueued(int fd, int* count);    // FIONREAD
    virtual int OutputQueued(int fd, int* count);   // TIOCOUTQ
    virtual int ErrorCounts(int fd, SerialErrorCounts* counts);
    virtual int Purge(int fd);             // drop both queues
    virtual int Flush(int fd, int queues); // tcflush: TCIFLUSH, TCOFLUSH or TCIOFLUSH
    virtual int SetBreak(int fd, bool on); // TIOCSBRK / TIOCCBRK
    // poll() for one fd: the returned events, 0 on time-out, -1 on failure.
    virtual int WaitReady(int fd, short events, int milliseconds);

    // The line speed alone, through the calls above: a B constant with the
    // attributes, any other rate with SetCustomBaudRate (LineSpeed.h).
    int SetSpeed(int fd, long baud);

    static std::shared_ptr<CSerialIo> System();
};
