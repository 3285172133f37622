// Helpers shared by the simulator tests.
#pragma once

#include "Frame.h"
#include "SimHex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace SimTest {

using Bytes = Frame::Bytes;

inline Bytes Hex(const std::string& text) {
    return SimHex::Parse(text).value();
}

// A private directory for the test process; KVPLM_SIM_DIR points below it,
// so announce files of the tests never mix with those of real simulators.
const std::string& TempDir();

// The host's end: the slave opened with plain termios, as a serial port would be.
class HostPort {
public:
    HostPort(const std::string& path, speed_t speed) {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) SetSpeed(speed);
    }
    ~HostPort() {
        if (fd >= 0) close(fd);
    }
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    void SetSpeed(speed_t speed) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&tio, speed);
        tcsetattr(fd, TCSANOW, &tio);
    }
    void Write(const Bytes& bytes) {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads until count bytes came or the time is up.
    Bytes Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        using Clock = std::chrono::steady_clock;
        Bytes bytes;
        const auto end = Clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            uint8_t buffer[256];
            const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    int fd = -1;
};

} // namespace SimTest
