#include "TcpSocket.h"

#include "DebugLog.h"
#include "LinkRegistry.h"
#include "ReaderSession.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using LanWire::Address;
using LanWire::Bytes;

namespace {

// The LAN ids of this process, in the order they were taken.
std::mutex lanIdMutex;
std::vector<int> lanIds;

// The smallest positive number that is neither another socket's LAN id nor
// the id of any open session: a serial, HID or Bluetooth session's id is its
// device handle, and a LAN id equal to one would let commands for one reader
// reach the other.
int AllocateLanId() {
    std::lock_guard<std::mutex> lock(lanIdMutex);
    for (int id = 1;; ++id) {
        if (std::find(lanIds.begin(), lanIds.end(), id) != lanIds.end()) continue;
        if (LinkRegistry().Find(id)) continue;
        lanIds.push_back(id);
        return id;
    }
}

void FreeLanId(int id) {
    std::lock_guard<std::mutex> lock(lanIdMutex);
    lanIds.erase(std::remove(lanIds.begin(), lanIds.end(), id), lanIds.end());
}

sockaddr_in SocketAddress(const Address& address, uint16_t port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(port);
    std::memcpy(&socketAddress.sin_addr.s_addr, address.data(), 4);
    return socketAddress;
}

Address AddressOf(const sockaddr_in& socketAddress) {
    Address address{};
    std::memcpy(address.data(), &socketAddress.sin_addr.s_addr, 4);
    return address;
}

int Remaining(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// One round of a wait of this transport: the dispatcher reads every socket
// and pumps the program's events, then the wait blocks until a socket is
// readable or the step (at most 10 ms, so the program's events keep coming)
// or the deadline ends.
void DispatchStep(Clock::time_point end) {
    CDispatcher& dispatcher = CDispatcher::Instance();
    dispatcher.DispatchOnce();
    const auto now = Clock::now();
    if (now < end) dispatcher.WaitForInput(std::min(end, now + 10ms));
}

} // namespace

CTcpSocket::~CTcpSocket() {
    CloseSocket();
    ReleaseLanId();
}

// ---------------------------------------------------------------- addresses

bool CTcpSocket::BroadcastAddress(Address& address) {
    const char* configured = std::getenv("KVPLM_LAN_BROADCAST");
    if (!configured) {
        address = {255, 255, 255, 255};
        return true;
    }
    if (LanWire::ParseDotted(configured, address)) return true;
    DebugLog::Printf("KVPLM_LAN_BROADCAST \"%s\" is no dotted address: nothing is broadcast", configured);
    return false;
}

std::string CTcpSocket::OwnAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return "";
    std::string text;
    if (found->ai_addr && found->ai_addr->sa_family == AF_INET) {
        const Address address = AddressOf(*reinterpret_cast<const sockaddr_in*>(found->ai_addr));
        char dotted[20];
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
        text = dotted;
    }
    freeaddrinfo(found);
    return text;
}

std::vector<Address> CTcpSocket::OwnAddresses() {
    std::vector<Address> own;
    Address address{};
    const bool known = LanWire::ParseDotted(OwnAddress(), address);
    if (known) own.push_back(address);
    // A host name that maps to a loopback address (as on many Linux hosts)
    // says nothing about where the host's broadcasts come from: those are
    // sent from its interfaces' addresses.
    if (known && !LanWire::IsLoopback(address)) return own;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return own;
    for (const ifaddrs* i = interfaces; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        const Address each = AddressOf(*reinterpret_cast<const sockaddr_in*>(i->ifa_addr));
        if (std::find(own.begin(), own.end(), each) == own.end()) own.push_back(each);
    }
    freeifaddrs(interfaces);
    return own;
}

std::vector<int> CTcpSocket::LanIdsInUse() {
    std::lock_guard<std::mutex> lock(lanIdMutex);
    std::vector<int> ids = lanIds;
    std::sort(ids.begin(), ids.end());
    return ids;
}

void CTcpSocket::TakeLanId() {
    if (!m_lanId) m_lanId = AllocateLanId();
}

void CTcpSocket::ReleaseLanId() {
    if (!m_lanId) return;
    FreeLanId(m_lanId);
    m_lanId = 0;
}

// ---------------------------------------------------------------- receiving

int CTcpSocket::PollFd() const {
    return m_fd >= 0 && (m_lanId || m_configMode) ? m_fd : -1;
}

void CTcpSocket::OnDispatch() {
    if (m_fd < 0 || (!m_lanId && !m_configMode)) return;
    if (m_configMode)
        ReceiveDatagrams();
    else
        ReceiveStream();
}

namespace {
void ReportReadError(int error) {
    char text[64];
    std::snprintf(text, sizeof text, "CTcpSocket::OnReceive Fehler : %d", error);
    CDispatcher::Instance().ShowMessage(text);
}
} // namespace

void CTcpSocket::ReceiveDatagrams() {
    // A bounded number per dispatch, so that a sender without end cannot
    // hold the waiting thread here.
    for (int round = 0; round < 64 && m_fd >= 0; ++round) {
        uint8_t buffer[LanWire::MaxRead];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n =
            recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (WouldBlock(errno)) return;
            const int error = errno;
            ReportReadError(error);
            CloseSocket();
            return;
        }
        // An empty datagram is a datagram (too short for any answer), not a
        // closed peer: UDP has no connection to close.
        const Address sender = AddressOf(from);
        if (std::find(m_own.begin(), m_own.end(), sender) != m_own.end()) continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_datagrams.size() >= DatagramQueueCap) m_datagrams.pop_front();
        m_datagrams.push_back(LanWire::Queued(sender, buffer, size_t(n)));
    }
}

void CTcpSocket::ReceiveStream() {
    // At most 16 reads per dispatch (as the serial port thread reads at most
    // eight buffers at a time); the rest waits for the next dispatch.
    for (int round = 0; round < 16 && m_fd >= 0; ++round) {
        uint8_t buffer[LanWire::MaxRead];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0) {
            // The peer closed the connection; the next send connects again.
            CloseSocket();
            return;
        }
        if (n < 0) {
            if (WouldBlock(errno)) return;
            const int error = errno;
            ReportReadError(error);
            CloseSocket();
            return;
        }
        if (m_session)
            for (ssize_t i = 0; i < n; ++i)
                m_session->OnReceiveByte(buffer[i]);
    }
}

size_t CTcpSocket::QueuedDatagrams() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_datagrams.size();
}

bool CTcpSocket::TakeDatagram(LanWire::Datagram& datagram) {
    Bytes queued;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_datagrams.empty()) return false;
        queued = std::move(m_datagrams.front());
        m_datagrams.pop_front();
    }
    datagram = LanWire::Take(queued);
    return true;
}

void CTcpSocket::CloseSocket() {
    if (m_registered) {
        CDispatcher::Instance().RemoveSource(this);
        m_registered = false;
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    m_connected = false;
}

// ------------------------------------------------------------ UDP channel

bool CTcpSocket::OpenUdp(const Address& bindAddress, bool broadcast) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // Port 30718 is shared: with other programs that search, and on one
    // machine with simulated readers.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in local = SocketAddress(bindAddress, LanWire::UdpPort);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        DebugLog::Printf("CTcpSocket: UDP %s:%u cannot be bound: %s",
                         LanWire::AddressText(bindAddress).c_str(), LanWire::UdpPort, std::strerror(errno));
        close(fd);
        return false;
    }
    if (broadcast) setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    m_fd = fd;
    CDispatcher::Instance().AddSource(this);
    m_registered = true;
    return true;
}

std::string CTcpSocket::Resolve(const std::string& text) {
    const std::string bracketed = LanWire::BracketedPart(text);
    if (bracketed.empty()) return text;
    std::vector<std::string> entries;
    Search(entries, LanWire::SearchListenMs, false);
    const std::string resolved = LanWire::ResolveFrom(entries, bracketed);
    return resolved.empty() ? text : resolved;
}

bool CTcpSocket::OpenChannel(const std::string& address) {
    if (m_fd >= 0 || m_lanId) return false;
    CBusyScope busy;
    const std::string host = LanWire::WithoutPort(Resolve(address));
    m_own = OwnAddresses();
    // The channel is bound to the host's own address, port 30718, so the
    // module's answers come back to it. An own address that cannot carry
    // the requests (a loopback address while the device is elsewhere, as the
    // host name gives on many Linux hosts) or that cannot be bound gives way
    // to all local addresses.
    Address own{}, device{};
    const bool ownKnown = LanWire::ParseDotted(OwnAddress(), own);
    const bool deviceOnLoopback = LanWire::ParseDotted(host, device) && LanWire::IsLoopback(device);
    const bool bindOwn = ownKnown && (!LanWire::IsLoopback(own) || deviceOnLoopback);
    if (!(bindOwn && OpenUdp(own, true)) && !OpenUdp(Address{}, true)) return false;
    m_host = host;
    TakeLanId();
    m_configMode = true;
    return true;
}

bool CTcpSocket::SendDatagram(const Bytes& datagram) {
    if (m_fd < 0) return false;
    Address to{};
    if (m_host == BroadcastHost) {
        // "The broadcast address" (KVPLM_LAN_BROADCAST may put it elsewhere).
        if (!BroadcastAddress(to)) return false;
    } else if (!LanWire::ParseDotted(m_host, to)) {
        return false;
    }
    const sockaddr_in target = SocketAddress(to, LanWire::UdpPort);
    const ssize_t sent = sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&target), sizeof target);
    return sent == ssize_t(datagram.size());
}

bool CTcpSocket::AwaitAnswer(uint8_t code, size_t minimumPayload, Bytes* payload) {
    // An answer to a request sent to one device counts only from that
    // device: a late (or repeated) answer of another, say during a verified
    // search, is not taken for this one's.
    Address from{};
    const bool fromHost = m_host != BroadcastHost && LanWire::ParseDotted(m_host, from);
    const auto end = Clock::now() + std::chrono::milliseconds(LanWire::RecordWaitMs);
    for (;;) {
        CDispatcher::Instance().DispatchOnce();
        LanWire::Datagram datagram;
        while (TakeDatagram(datagram)) {
            if (datagram.code != code || datagram.payload.size() < minimumPayload) continue;
            if (fromHost && datagram.sender != from) continue;
            if (payload) *payload = std::move(datagram.payload);
            return true;
        }
        if (m_fd < 0 || Clock::now() >= end) return false;
        DispatchStep(end);
    }
}

bool CTcpSocket::ReadRecord(int number, std::vector<uint8_t>& record) {
    if (number < 0 || number >= LanWire::RecordCount || !m_configMode || m_fd < 0) return false;
    CBusyScope busy;
    if (!SendDatagram(LanWire::ReadRecordRequest(number))) return false;
    Bytes payload;
    if (!AwaitAnswer(LanWire::ReadAnswerCode(number), LanWire::RecordMinimum, &payload)) return false;
    record = std::move(payload);
    return true;
}

bool CTcpSocket::WriteRecord(int number, const std::vector<uint8_t>& record) {
    if (number < 0 || number >= LanWire::RecordCount || !m_configMode || m_fd < 0) return false;
    CBusyScope busy;
    if (!SendDatagram(LanWire::WriteRecordRequest(number, record))) return false;
    return AwaitAnswer(LanWire::WriteAnswerCode(number), 0, nullptr);
}

void CTcpSocket::Restart() {
    if (m_configMode) SendDatagram(LanWire::RestartRequest());
}

void CTcpSocket::CloseChannel() {
    CloseSocket();
    m_configMode = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_datagrams.clear();
    }
    m_host.clear();
    ReleaseLanId();
}

int CTcpSocket::Search(std::vector<std::string>& list, int listenMs, bool verify) {
    CBusyScope busy;
    list.clear();
    // The object's one socket is in use (a connection or a channel).
    if (m_fd >= 0) return 0;
    m_own = OwnAddresses();
    if (!OpenUdp(Address{}, true)) return 0;
    m_configMode = true;
    const std::string keptHost = m_host;
    Address broadcast{};
    bool sent = false;
    if (BroadcastAddress(broadcast)) {
        m_host = LanWire::AddressText(broadcast);
        const Bytes request = LanWire::SearchRequest();
        const sockaddr_in target = SocketAddress(broadcast, LanWire::UdpPort);
        sent = sendto(m_fd, request.data(), request.size(), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&target), sizeof target) == ssize_t(request.size());
    }
    if (sent) {
        const auto end = Clock::now() + std::chrono::milliseconds(std::max(listenMs, 0));
        for (;;) {
            CDispatcher::Instance().ShowWaitCursorAgain();
            CDispatcher::Instance().DispatchOnce();
            LanWire::Datagram datagram;
            while (TakeDatagram(datagram)) {
                const std::string entry = LanWire::SearchEntry(datagram);
                if (!entry.empty() && std::find(list.begin(), list.end(), entry) == list.end())
                    list.push_back(entry);
            }
            if (m_fd < 0 || Clock::now() >= end) break;
            DispatchStep(end);
        }
        if (verify) {
            // Only readers of this family stay, those with a DHCP name by
            // that name alone (each text once).
            std::vector<std::string> kept;
            for (const std::string& entry : list) {
                const LanWire::EntryParts parts = LanWire::SplitEntry(entry);
                m_host = parts.host;
                Bytes record;
                if (!ReadRecord(2, record) || !LanWire::IsFamilyRecord(record)) continue;
                const std::string text = parts.bracketed.empty() ? entry : parts.bracketed;
                if (std::find(kept.begin(), kept.end(), text) == kept.end()) kept.push_back(text);
            }
            list = kept;
        }
    }
    CloseSocket();
    m_configMode = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_datagrams.clear();
    }
    m_host = keptHost;
    return int(list.size());
}

// ------------------------------------------------------------- TCP data

bool CTcpSocket::WaitConnected(int fd) {
    const auto end = Clock::now() + std::chrono::milliseconds(ConnectWaitMs);
    for (;;) {
        pollfd ready{fd, POLLOUT, 0};
        if (poll(&ready, 1, std::min(Remaining(end), 10)) > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
            errno = error;
            return error == 0;
        }
        CDispatcher::Instance().DispatchOnce();
        if (Clock::now() >= end) {
            errno = ETIMEDOUT;
            return false;
        }
    }
}

bool CTcpSocket::Connect(bool bindDevicePort) {
    Address device{};
    if (!LanWire::ParseDotted(m_host, device) || m_port <= 0 || m_port > 65535) {
        errno = EINVAL;
        return false;
    }
    const sockaddr_in target = SocketAddress(device, uint16_t(m_port));
    // An address in use (the local port of an earlier connection not yet
    // free) is tried again, at most 5 more times.
    for (int attempt = 0;; ++attempt) {
        int fd = -1;
        for (int create = 0;; ++create) {
            fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd >= 0 || create == 5) break;
            CDispatcher::Instance().DispatchFor(200);
        }
        if (fd < 0) return false;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // A frame goes out whole at once, not held back for the next one.
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (bindDevicePort) {
            // The reconnection comes from the local port equal to the
            // device's port. Where that port is taken on this host (a
            // simulated reader listening on it), any free port serves.
            const sockaddr_in local = SocketAddress(Address{}, uint16_t(m_port));
            if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
                DebugLog::Printf("CTcpSocket: local port %d is taken (%s); connecting from another", m_port,
                                 std::strerror(errno));
        }
        bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
        if (!connected && errno == EINPROGRESS) connected = WaitConnected(fd);
        if (connected) {
            m_fd = fd;
            m_connected = true;
            CDispatcher::Instance().AddSource(this);
            m_registered = true;
            return true;
        }
        const int error = errno;
        close(fd);
        if ((error != EADDRINUSE && error != EADDRNOTAVAIL) || attempt == 5) {
            errno = error;
            return false;
        }
        CDispatcher::Instance().DispatchOnce();
    }
}

bool CTcpSocket::ConnectTcp(const std::string& address) {
    if (m_fd >= 0 || m_lanId) return false;
    CBusyScope busy;
    const std::string text = Resolve(address);
    std::string host;
    int port = 0;
    LanWire::SplitHostPort(text, host, port);
    m_host = host;
    m_port = port;
    if (!Connect(false)) {
        m_host.clear();
        return false;
    }
    TakeLanId();
    return true;
}

bool CTcpSocket::Send(const uint8_t* data, size_t count) {
    if (m_configMode || !m_lanId) return false;
    if (!m_connected) {
        if (m_host.empty() || !Connect(true)) return false;
    }
    const auto end = Clock::now() + 500ms;
    size_t sent = 0;
    while (sent < count) {
        const ssize_t n = send(m_fd, data + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && WouldBlock(errno) && Clock::now() < end) {
            pollfd ready{m_fd, POLLOUT, 0};
            poll(&ready, 1, std::min(Remaining(end), 10));
            continue;
        }
        // The connection broke (or stays full): the next send connects again.
        DebugLog::Printf("CTcpSocket::Send: %s", std::strerror(n < 0 ? errno : EPIPE));
        CloseSocket();
        return false;
    }
    return true;
}

void CTcpSocket::CloseTcp() {
    if (m_configMode) {
        CloseChannel();
        return;
    }
    if (m_fd >= 0) {
        const auto start = Clock::now();
        // The socket stays a dispatcher source, so the peer's close is seen.
        while (m_fd >= 0 && shutdown(m_fd, SHUT_WR) != 0 && Clock::now() - start < 500ms)
            DispatchStep(start + 500ms);
        // The peer's close (its FIN: a read of 0) ends this; bytes it still
        // sends go to the session as usual.
        const auto end = start + 1000ms;
        while (m_fd >= 0 && m_connected && Clock::now() < end)
            DispatchStep(end);
        if (m_fd >= 0 && m_connected) {
            // Still open after a second: the close resets the connection
            // instead of leaving it to linger.
            const linger hard{1, 0};
            setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        CloseSocket();
    }
    m_connected = false;
    ReleaseLanId();
}

void CTcpSocket::CloseLink() {
    CloseTcp();
}
