// The host's end of a simulated network reader in the tests: plain UDP and
// TCP sockets on loopback. Every wait is bounded.
#pragma once

#include "Frame.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace LanTest {

using Bytes = Frame::Bytes;
using Clock = std::chrono::steady_clock;

// Every broadcast of the tests goes here, never to a real network.
inline const char* const Broadcast = "127.255.255.255";
constexpr uint16_t UdpPort = 30718;

inline sockaddr_in Endpoint(const std::string& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
}

inline std::string AddressOf(const sockaddr_in& sa) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    return text;
}

struct Received {
    std::string from; // sender address
    uint16_t port = 0;
    Bytes bytes;
};

// A UDP socket of the host. Bound to 0.0.0.0:30718 as the host's search
// socket is (SO_REUSEADDR first), or to an ephemeral port of 127.0.0.1,
// which keeps the answers of one test away from every other socket.
class UdpHost {
public:
    explicit UdpHost(bool searchSocket = false) {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        const sockaddr_in own = searchSocket ? Endpoint("0.0.0.0", UdpPort) : Endpoint("127.0.0.1", 0);
        bound = bind(fd, reinterpret_cast<const sockaddr*>(&own), sizeof own) == 0;
    }
    ~UdpHost() {
        if (fd >= 0) close(fd);
    }
    UdpHost(const UdpHost&) = delete;
    UdpHost& operator=(const UdpHost&) = delete;

    void Send(const Bytes& bytes, const std::string& to, uint16_t port = UdpPort) {
        const sockaddr_in sa = Endpoint(to, port);
        ASSERT_EQ(
            sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa),
            ssize_t(bytes.size()));
    }
    // The next datagram, or nullopt when none came in time.
    std::optional<Received> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) return std::nullopt;
        return Received{AddressOf(from), ntohs(from.sin_port), Bytes(buffer, buffer + n)};
    }
    // Datagrams until the time is up.
    std::vector<Received> ReceiveFor(std::chrono::milliseconds span) {
        std::vector<Received> all;
        const auto end = Clock::now() + span;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            auto got = Receive(std::chrono::duration_cast<std::chrono::milliseconds>(end - now) +
                               std::chrono::milliseconds(1));
            if (got) all.push_back(*got);
        }
        return all;
    }
    // Sends the request until an answer comes from that address (a reader
    // that is restarting answers nothing): the bounded poll for a reader
    // that moved. Other datagrams are dropped.
    std::optional<Received> AskUntilAnswered(const Bytes& request, const std::string& to,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            Send(request, to);
            const auto stepEnd = Clock::now() + std::chrono::milliseconds(100);
            for (auto now = Clock::now(); now < stepEnd; now = Clock::now()) {
                auto got = Receive(std::chrono::duration_cast<std::chrono::milliseconds>(stepEnd - now) +
                                   std::chrono::milliseconds(1));
                if (got && got->from == to) return got;
            }
        }
        return std::nullopt;
    }

    int fd = -1;
    bool bound = false;
};

// A TCP connection of the host to the reader's data port.
class TcpHost {
public:
    TcpHost(const std::string& address, uint16_t port) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in sa = Endpoint(address, port);
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~TcpHost() {
        if (fd >= 0) close(fd);
    }
    TcpHost(const TcpHost&) = delete;
    TcpHost& operator=(const TcpHost&) = delete;

    void Write(const Bytes& bytes) {
        ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    // Reads until count bytes came, the peer closed or the time is up.
    Bytes Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        Bytes bytes;
        const auto end = Clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            uint8_t buffer[512];
            const ssize_t n = recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (n <= 0) {
                closedByPeer = n == 0;
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }
    // True when the peer closes the connection within the time.
    bool AwaitClose(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto end = Clock::now() + timeout;
        while (!closedByPeer) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            uint8_t buffer[512];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) closedByPeer = true;
        }
        return true;
    }

    int fd = -1;
    bool connected = false;
    bool closedByPeer = false;
};

// Whether this test process runs in a network namespace of its own (made at
// start, see LanTestSupport.cpp).
bool InOwnNamespace();
// Runs a command (searched in PATH) and gives its exit status, -1 when it
// could not run or was killed.
int RunCommand(const std::vector<std::string>& args);

// Requests as the host sends them.
inline Bytes SearchRequest() {
    return {0x00, 0x01, 0x00, 0xF8};
}
inline Bytes ReadRequest(int n) {
    return {0x00, 0x01, 0x00, static_cast<uint8_t>(0xE0 + n)};
}
inline Bytes WriteRequest(int n, const Bytes& record) {
    Bytes bytes{0x00, static_cast<uint8_t>(n != 0 ? 0x01 : 0x00), 0x00, static_cast<uint8_t>(0xC0 + n)};
    bytes.insert(bytes.end(), record.begin(), record.end());
    return bytes;
}
inline Bytes RestartRequest() {
    return {0x00, 0x00, 0x00, 0x03, 0x58, 0x33};
}

} // namespace LanTest
