// A network reader played by the test on a loopback address of its own
// (127.0.0.21 and up, away from the simulated readers' 127.0.0.2), or on an
// address inside a network namespace of the test's: the network module on
// UDP 30718 (its unicast socket and the shared broadcast socket on
// 127.255.255.255 or the namespace's subnet broadcast) and, when asked, the
// reader's TCP data port.
//
// By default it behaves as a module: it answers a search with F9 and its
// record 0, record reads with D0+n and the record, record writes with B0+n
// (and keeps the record), and notes a restart. Tests replace any answer
// (Answer), record everything received with the sender, and drive the TCP
// side by hand (a frame handler, closing the connection, stopping to listen).
#pragma once

#include "Frame.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lantest {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

inline Bytes H(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

inline sockaddr_in Ipv4(const std::string& address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

inline std::string TextOf(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

// Record 0 of a module: static address (or 0.0.0.0 for DHCP), host bits,
// port, DHCP name.
inline Bytes Record0(const std::string& address, int hostBits, int port, const std::string& name = "") {
    Bytes record(120, 0);
    sockaddr_in a = Ipv4(address, 0);
    std::memcpy(record.data(), &a.sin_addr, 4);
    record[6] = uint8_t(hostBits);
    record[20] = uint8_t(port & 0xFF);
    record[21] = uint8_t(port >> 8);
    for (size_t i = 0; i < name.size() && i < 8; ++i)
        record[112 + i] = uint8_t(name[i]);
    // Bytes the system does not use, so a write back can be checked whole.
    record[30] = 0x5A;
    record[119 - 8] = 0xA5;
    return record;
}

// Record 2 with the device name at offset 93.
inline Bytes Record2(const std::string& name, size_t size = 128) {
    Bytes record(size, 0);
    for (size_t i = 0; i < name.size() && 93 + i < size; ++i)
        record[93 + i] = uint8_t(name[i]);
    return record;
}

inline Bytes Answer(uint8_t code, const Bytes& payload) {
    Bytes datagram(4 + payload.size(), 0);
    datagram[3] = code;
    std::copy(payload.begin(), payload.end(), datagram.begin() + 4);
    return datagram;
}

class LanPeer {
public:
    struct Datagram {
        std::string from;
        uint16_t fromPort = 0;
        Bytes bytes;
    };
    // The datagrams to send back for one received (empty: silence).
    using Answerer = std::function<std::vector<Bytes>(const Bytes& request)>;
    // The bytes to send back for one whole request frame (BCC framing).
    using FrameHandler = std::function<Bytes(const Bytes& frame)>;

    // unicastPort: where the unicast socket is bound (0: any free port, for a
    // peer that answers from an address whose port 30718 is the host's).
    explicit LanPeer(std::string address, Bytes record0 = {},
                     const std::string& broadcast = "127.255.255.255", uint16_t unicastPort = 30718)
        : address(std::move(address)) {
        m_records[0] = record0.empty() ? Record0(this->address, 8, 10001) : record0;
        m_records[2] = Record2("KV-PLM41 LAN");
        m_udp = Bind(SOCK_DGRAM, this->address, unicastPort);
        m_broadcast = Bind(SOCK_DGRAM, broadcast, 30718);
        m_thread = std::thread([this] { Run(); });
    }
    ~LanPeer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        for (int fd : {m_udp, m_broadcast, m_listen, m_conn})
            if (fd >= 0) close(fd);
        for (int fd : m_halfOpen)
            close(fd);
    }
    bool Ok() const { return m_udp >= 0 && m_broadcast >= 0; }

    // The TCP data port; frames (BCC) are answered by the handler, by
    // default the identification "3021" and status 0 for anything else.
    bool Listen(uint16_t port) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listen >= 0) close(m_listen);
        m_listen = Bind(SOCK_STREAM, address, port);
        if (m_listen < 0) return false;
        listen(m_listen, 4);
        return true;
    }
    void StopListening() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listen >= 0) close(m_listen);
        m_listen = -1;
    }
    // Closes the data connection: FIN, or with reset a RST.
    void CloseConnection(bool reset = false) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_conn < 0) return;
        if (reset) {
            const linger hard{1, 0};
            setsockopt(m_conn, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        close(m_conn);
        m_conn = -1;
        m_stream.clear();
    }

    void SetAnswerer(Answerer answerer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answerer = std::move(answerer);
    }
    void SetFrameHandler(FrameHandler handler) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames = std::move(handler);
    }
    // Whether the peer closes its side when the host shuts down its sending.
    void SetCloseOnPeerFin(bool close) { m_closeOnFin = close; }

    // Everything received on UDP 30718 (both sockets), oldest first.
    std::vector<Datagram> Received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    std::vector<Bytes> Frames() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_framesReceived;
    }
    int Accepted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_accepted;
    }
    uint16_t LastClientPort() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_clientPort;
    }
    // Whether the host's FIN (a read of 0) arrived on the data connection.
    bool SawFin() { return m_sawFin; }
    bool SawReset() { return m_sawReset; }

    // Waits (bounded) until the condition holds.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound = 3000ms) {
        const auto end = std::chrono::steady_clock::now() + bound;
        std::unique_lock<std::mutex> lock(m_eventMutex);
        while (!condition()) {
            if (m_event.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + 20ms)) ==
                    std::cv_status::timeout &&
                std::chrono::steady_clock::now() >= end)
                return condition();
        }
        return true;
    }

    // Sends one datagram from the unicast socket.
    void SendTo(const std::string& to, uint16_t port, const Bytes& datagram) {
        const sockaddr_in target = Ipv4(to, port);
        sendto(m_udp, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&target),
               sizeof target);
    }

    // The module's records (a record not there is not answered).
    Bytes Record(int n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_records.find(n);
        return it == m_records.end() ? Bytes{} : it->second;
    }
    void SetRecord(int n, const Bytes& record) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (record.empty())
            m_records.erase(n);
        else
            m_records[n] = record;
    }
    int Writes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes;
    }

    const std::string address;
    std::atomic<int> restarts{0};

private:
    static int Bind(int type, const std::string& address, uint16_t port) {
        const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in a = Ipv4(address, port);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    std::vector<Bytes> DefaultAnswer(const Bytes& request) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& records = m_records;
        if (request.size() < 4) return {};
        const uint8_t code = request[3];
        if (request == H({0x00, 0x01, 0x00, 0xF8})) return {Answer(0xF9, records[0])};
        if (request == H({0x00, 0x00, 0x00, 0x03, 0x58, 0x33})) {
            ++restarts;
            return {};
        }
        if (code >= 0xE0 && code <= 0xEF) {
            auto it = records.find(code - 0xE0);
            return it == records.end() ? std::vector<Bytes>{}
                                       : std::vector<Bytes>{Answer(0xD0 + (code - 0xE0), it->second)};
        }
        if (code >= 0xC0 && code <= 0xCF) {
            records[code - 0xC0] = Bytes(request.begin() + 4, request.end());
            ++m_writes;
            return {Answer(0xB0 + (code - 0xC0), {})};
        }
        return {};
    }

    Bytes DefaultFrame(const Bytes& frame) {
        const uint8_t command = frame.size() > 2 ? frame[2] : 0;
        if (command == 0xF0) return Frame::Build(Frame::Bcc, 1, 0, H({'3', '0', '2', '1'}));
        return Frame::Build(Frame::Bcc, 1, 0, {});
    }

    void Notify() {
        { std::lock_guard<std::mutex> lock(m_eventMutex); }
        m_event.notify_all();
    }

    void Run() {
        while (!m_stop) {
            std::vector<pollfd> fds{{m_udp, POLLIN, 0}, {m_broadcast, POLLIN, 0}};
            int listenFd, connFd;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                listenFd = m_listen;
                connFd = m_conn;
            }
            fds.push_back({listenFd, POLLIN, 0});
            fds.push_back({connFd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 10) <= 0) continue;
            for (int i = 0; i < 2; ++i)
                if (fds[size_t(i)].revents & POLLIN) ReadDatagram(fds[size_t(i)].fd);
            if (listenFd >= 0 && (fds[2].revents & POLLIN)) {
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK);
                if (fd >= 0) {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    if (m_conn >= 0) close(m_conn);
                    m_conn = fd;
                    m_stream.clear();
                    ++m_accepted;
                    m_clientPort = ntohs(from.sin_port);
                    m_sawFin = false;
                    m_sawReset = false;
                }
                Notify();
            }
            if (connFd >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) ReadStream(connFd);
        }
    }

    void ReadDatagram(int fd) {
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) return;
        const Bytes request(buffer, buffer + n);
        Answerer answerer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back({TextOf(from), ntohs(from.sin_port), request});
            answerer = m_answerer;
        }
        const std::vector<Bytes> answers = answerer ? answerer(request) : DefaultAnswer(request);
        for (const Bytes& answer : answers)
            sendto(m_udp, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
        Notify();
    }

    void ReadStream(int fd) {
        uint8_t buffer[1024];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n == 0) m_sawFin = true;
            if (n < 0 && errno == ECONNRESET) m_sawReset = true;
            std::lock_guard<std::mutex> lock(m_mutex);
            // A connection replaced by a newer one was closed with it.
            if (fd != m_conn) return;
            if (n == 0 && !m_closeOnFin) {
                // Keep the connection half open; stop polling it for input.
                m_halfOpen.push_back(m_conn);
                m_conn = -1;
            } else if (n == 0 || (n < 0 && errno != EAGAIN)) {
                close(m_conn);
                m_conn = -1;
                m_stream.clear();
            }
            m_event.notify_all();
            return;
        }
        std::vector<Bytes> frames;
        FrameHandler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stream.insert(m_stream.end(), buffer, buffer + n);
            while (const size_t length =
                       Frame::CompleteLength(Frame::Bcc, m_stream.data(), m_stream.size())) {
                frames.emplace_back(m_stream.begin(), m_stream.begin() + long(length));
                m_stream.erase(m_stream.begin(), m_stream.begin() + long(length));
            }
            handler = m_frames;
        }
        for (const Bytes& frame : frames) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_framesReceived.push_back(frame);
            }
            const Bytes reply = handler ? handler(frame) : DefaultFrame(frame);
            if (!reply.empty()) (void)!send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        Notify();
    }

    int m_udp = -1, m_broadcast = -1, m_listen = -1, m_conn = -1;
    std::vector<int> m_halfOpen;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closeOnFin{true};
    std::atomic<bool> m_sawFin{false}, m_sawReset{false};
    std::mutex m_mutex;
    std::mutex m_eventMutex;
    std::condition_variable m_event;
    Answerer m_answerer;
    FrameHandler m_frames;
    std::vector<Datagram> m_received;
    std::vector<Bytes> m_framesReceived;
    Bytes m_stream;
    int m_accepted = 0;
    int m_writes = 0;
    std::map<int, Bytes> m_records;
    uint16_t m_clientPort = 0;
};

} // namespace lantest
