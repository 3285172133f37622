#include "LanSimulator.h"

#include "SimHex.h"
#include "SimPoll.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t MaxDatagramLog = 1024;
constexpr size_t MaxDatagram = 2048;
// How long a caller waits for the I/O thread to carry out its request.
constexpr std::chrono::seconds TaskTimeout{5};

uint32_t ToHost(const CSimNetModule::Address& a) {
    return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

CSimNetModule::Address FromHost(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

sockaddr_in SocketAddress(const CSimNetModule::Address& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(ToHost(address));
    return sa;
}

std::string PeerText(const sockaddr_in& sa) {
    return CSimNetModule::FormatAddress(FromHost(ntohl(sa.sin_addr.s_addr))) + ":" +
           std::to_string(ntohs(sa.sin_port));
}

std::string Endpoint(const CSimNetModule::Address& address, uint16_t port) {
    return CSimNetModule::FormatAddress(address) + "-" + std::to_string(port);
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// A socket bound to address:port; reuse sets SO_REUSEADDR first. -1 with
// the reason in error.
int BoundSocket(int type, const CSimNetModule::Address& address, uint16_t port, bool reuse,
                std::string& error) {
    const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    if (reuse && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        error = std::string("SO_REUSEADDR: ") + std::strerror(errno);
        close(fd);
        return -1;
    }
    const sockaddr_in sa = SocketAddress(address, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + CSimNetModule::FormatAddress(address) + ":" + std::to_string(port) + " (" +
                (type == SOCK_DGRAM ? "UDP" : "TCP") + "): " + std::strerror(errno);
        if (errno == EADDRNOTAVAIL)
            error = "cannot bind " + CSimNetModule::FormatAddress(address) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

struct CLanSimulator::WakeFd : SimPoll::WakeFd {};

struct CLanSimulator::Sockets {
    int claim = -1;     // TCP, bound to X:30718, never listens: holds the address
    int unicast = -1;   // UDP X:30718
    int broadcast = -1; // UDP broadcast:30718
    int listener = -1;  // TCP X:port
    int client = -1;

    ~Sockets() { CloseAll(); }
    void CloseAll() {
        CloseFd(client);
        CloseFd(listener);
        CloseFd(broadcast);
        CloseFd(unicast);
        CloseFd(claim);
    }
};

CLanSimulator::CLanSimulator(CSimReader& reader, CSimNetModule& module, const Options& options)
    : m_reader(reader), m_module(module), m_options(options), m_sockets(std::make_unique<Sockets>()),
      m_address(options.address), m_wake(std::make_shared<WakeFd>()) {}

CLanSimulator::~CLanSimulator() {
    Stop();
}

std::string CLanSimulator::BroadcastFor(const CSimNetModule::Address& address, uint8_t hostBits) {
    const uint32_t a = ToHost(address);
    std::optional<uint32_t> best;
    uint32_t bestMask = 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || !i->ifa_netmask || i->ifa_addr->sa_family != AF_INET) continue;
            const uint32_t own = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
            const uint32_t mask =
                ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
            // A /32 has no network to broadcast to.
            if (mask == 0xFFFFFFFFu || (own & mask) != (a & mask)) continue;
            if (!best || mask > bestMask) {
                best = (own & mask) | ~mask;
                bestMask = mask;
            }
        }
        freeifaddrs(list);
    }
    if (!best) {
        const unsigned bits = hostBits >= 1 && hostBits <= 31 ? hostBits : 8;
        best = a | ((1u << bits) - 1);
    }
    return CSimNetModule::FormatAddress(FromHost(*best));
}

bool CLanSimulator::BindLocked(const CSimNetModule::Address& address, uint16_t port, std::string& error) {
    Sockets s;
    const std::string broadcast = m_options.broadcast.empty()
                                      ? BroadcastFor(address, m_module.CurrentSettings().hostBits)
                                      : m_options.broadcast;
    const auto broadcastAddress = CSimNetModule::ParseAddress(broadcast);
    if (!broadcastAddress) {
        error = "bad broadcast address " + broadcast;
        return false;
    }
    s.claim = BoundSocket(SOCK_STREAM, address, CSimNetModule::UdpPort, false, error);
    if (s.claim < 0) {
        if (error.find(std::strerror(EADDRINUSE)) != std::string::npos)
            error = CSimNetModule::FormatAddress(address) + " is taken by another simulated reader";
        return false;
    }
    s.unicast = BoundSocket(SOCK_DGRAM, address, CSimNetModule::UdpPort, true, error);
    if (s.unicast < 0) return false;
    s.broadcast = BoundSocket(SOCK_DGRAM, *broadcastAddress, CSimNetModule::UdpPort, true, error);
    if (s.broadcast < 0) return false;
    s.listener = BoundSocket(SOCK_STREAM, address, port, true, error);
    if (s.listener < 0) return false;
    if (listen(s.listener, 4) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return false;
    }
    std::swap(*m_sockets, s);
    m_address = address;
    m_port = port;
    m_broadcast = broadcast;
    return true;
}

void CLanSimulator::CloseSocketsLocked() {
    m_sockets->CloseAll();
    m_clientPeer.clear();
}

void CLanSimulator::CloseClientLocked() {
    CloseFd(m_sockets->client);
    m_clientPeer.clear();
}

bool CLanSimulator::Start(std::string* error) {
    std::unique_lock<std::mutex> lock(m_control);
    if (m_running) {
        if (error) *error = "already running";
        return false;
    }
    if (m_wake->fd < 0) {
        if (error) *error = "eventfd failed";
        return false;
    }
    const CSimNetModule::Settings settings = m_module.CurrentSettings();
    const CSimNetModule::Address address = settings.Dhcp() ? m_options.address : settings.address;
    const uint16_t port = settings.port ? settings.port : CSimNetModule::DefaultTcpPort;
    const CSimNetModule::Address previous = m_address;
    const uint16_t previousPort = m_port;
    std::string why;
    std::string notice;
    if (!BindLocked(address, port, why)) {
        // Plugged in again after a record 0 that cannot be served: where it was.
        std::string again;
        if (previousPort == 0 || (previous == address && previousPort == port) ||
            !BindLocked(previous, previousPort, again)) {
            if (error) *error = why;
            return false;
        }
        notice = why + "; staying at " + Endpoint(previous, previousPort);
    }
    // Whatever was queued while off the network is gone.
    m_reader.TakeOutput();
    std::weak_ptr<WakeFd> wake = m_wake;
    m_reader.SetOutputNotifier([wake] {
        if (auto w = wake.lock()) w->Signal();
    });
    m_stop = false;
    m_running = true;
    m_unplugged = false;
    m_restarting = false;
    m_thread = std::thread(&CLanSimulator::Run, this);
    lock.unlock();
    if (!notice.empty()) Notice(TraceKind::Notice, notice);
    return true;
}

void CLanSimulator::Stop() {
    std::unique_lock<std::mutex> lock(m_control);
    if (!m_running) return;
    m_stop = true;
    m_wake->Signal();
    lock.unlock();
    if (m_thread.joinable()) m_thread.join();
    m_reader.SetOutputNotifier(nullptr);
    lock.lock();
    CloseSocketsLocked();
    m_running = false;
    m_restarting = false;
    // Tasks posted meanwhile are not carried out; their callers see it.
    m_tasks.clear();
    m_changed.notify_all();
}

void CLanSimulator::Unplug() {
    Stop();
    std::lock_guard<std::mutex> lock(m_control);
    m_unplugged = true;
}

bool CLanSimulator::Post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(m_control);
    if (!m_running) return false;
    m_tasks.push_back(std::move(task));
    m_wake->Signal();
    return true;
}

bool CLanSimulator::Disconnect() {
    struct Result {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<bool> closed;
    };
    auto result = std::make_shared<Result>();
    const bool posted = Post([this, result] {
        bool closed;
        {
            std::lock_guard<std::mutex> lock(m_control);
            closed = m_sockets->client >= 0;
            CloseClientLocked();
        }
        if (closed) Notice(TraceKind::Notice, "client connection closed");
        std::lock_guard<std::mutex> lock(result->mutex);
        result->closed = closed;
        result->done.notify_all();
    });
    if (!posted) return false;
    std::unique_lock<std::mutex> lock(result->mutex);
    result->done.wait_for(lock, TaskTimeout, [&] { return result->closed.has_value(); });
    return result->closed.value_or(false);
}

void CLanSimulator::Restart() {
    Post([this] {
        std::lock_guard<std::mutex> lock(m_control);
        BeginRestartLocked();
    });
}

void CLanSimulator::BeginRestartLocked() {
    CloseSocketsLocked();
    m_restarting = true;
    m_restartAt = Clock::now() + m_options.restartDelay;
    m_changed.notify_all();
}

void CLanSimulator::FinishRestart() {
    std::unique_lock<std::mutex> lock(m_control);
    const CSimNetModule::Settings settings = m_module.CurrentSettings();
    const CSimNetModule::Address address = settings.Dhcp() ? m_options.address : settings.address;
    const uint16_t port = settings.port ? settings.port : CSimNetModule::DefaultTcpPort;
    const CSimNetModule::Address oldAddress = m_address;
    const uint16_t oldPort = m_port;
    std::string why, again, notice;
    if (BindLocked(address, port, why)) {
        notice = "restarted on LAN " + Endpoint(m_address, m_port);
    } else if (BindLocked(oldAddress, oldPort, again)) {
        notice = "restart: " + why + "; staying at " + Endpoint(m_address, m_port);
    } else {
        // Not even the old place is free: off the network until plugged in again.
        notice = "restart: " + why + "; " + again + "; the reader is off the network (plug to retry)";
        m_unplugged = true;
    }
    m_restarting = false;
    ++m_restarts;
    m_changed.notify_all();
    lock.unlock();
    Notice(TraceKind::Notice, notice);
}

void CLanSimulator::Notice(TraceKind kind, const std::string& text) {
    TraceHook hook;
    {
        std::lock_guard<std::mutex> lock(m_control);
        hook = m_trace;
    }
    if (hook) hook(kind, text);
}

void CLanSimulator::LogDatagram(Datagram datagram) {
    std::lock_guard<std::mutex> lock(m_control);
    if (m_datagrams.size() >= MaxDatagramLog) m_datagrams.pop_front();
    if (datagram.incoming) ++m_incoming;
    m_datagrams.push_back(std::move(datagram));
    m_changed.notify_all();
}

void CLanSimulator::ServeDatagram(int fd, bool broadcast) {
    uint8_t buffer[MaxDatagram];
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    const ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&peer), &peerSize);
    if (n < 0) return;
    Datagram in;
    in.peer = PeerText(peer);
    in.bytes.assign(buffer, buffer + n);
    in.broadcast = broadcast;
    const CSimNetModule::Outcome outcome = m_module.Handle(in.bytes);
    in.kind = outcome.kind;
    in.silenced = outcome.silenced;
    const bool ignored = outcome.kind == CSimNetModule::Kind::Invalid || outcome.silenced;
    Notice(ignored ? TraceKind::DatagramIgnored : TraceKind::DatagramIn,
           "udp > " + SimHex::Format(in.bytes) + " from " + in.peer + (broadcast ? " (broadcast)" : "") +
               (outcome.kind == CSimNetModule::Kind::Invalid ? " (ignored: no request)"
                : outcome.silenced                           ? " (ignored: silence)"
                                                             : ""));
    LogDatagram(std::move(in));

    int unicast;
    {
        std::lock_guard<std::mutex> lock(m_control);
        unicast = m_sockets->unicast;
    }
    for (const Frame::Bytes& answer : outcome.answers) {
        // Logged first, so that a host holding the answer finds it in the log.
        Datagram out;
        out.incoming = false;
        out.peer = PeerText(peer);
        out.bytes = answer;
        Notice(TraceKind::DatagramOut, "udp < " + SimHex::Format(answer) + " to " + out.peer);
        LogDatagram(std::move(out));
        // Answers to broadcasts too leave from the reader's own address.
        sendto(unicast, answer.data(), answer.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&peer),
               sizeof peer);
    }
    if (outcome.restart) {
        std::lock_guard<std::mutex> lock(m_control);
        BeginRestartLocked();
    }
}

void CLanSimulator::AcceptClient() {
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    int listener;
    {
        std::lock_guard<std::mutex> lock(m_control);
        listener = m_sockets->listener;
    }
    const int fd =
        accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peerSize, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    std::string notice;
    {
        std::lock_guard<std::mutex> lock(m_control);
        if (m_sockets->client >= 0) {
            // One host at a time: the newcomer sees its connection closed.
            close(fd);
            notice = "connection from " + PeerText(peer) + " refused: " + m_clientPeer + " is connected";
        } else {
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            m_sockets->client = fd;
            m_clientPeer = PeerText(peer);
            ++m_connections;
            m_changed.notify_all();
            notice = "client " + m_clientPeer + " connected";
        }
    }
    Notice(TraceKind::Notice, notice);
}

void CLanSimulator::ServeClient() {
    int client;
    {
        std::lock_guard<std::mutex> lock(m_control);
        client = m_sockets->client;
    }
    uint8_t buffer[1024];
    ssize_t n = 0;
    // Read up to the end of what is there, so that a close right behind the
    // last request is seen now.
    for (int reads = 0; reads < 64 && (n = recv(client, buffer, sizeof buffer, MSG_DONTWAIT)) > 0; ++reads)
        m_reader.Feed(buffer, static_cast<size_t>(n), Clock::now());
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) return;
    std::string peer;
    {
        std::lock_guard<std::mutex> lock(m_control);
        peer = m_clientPeer;
        CloseClientLocked();
    }
    Notice(TraceKind::Notice, "client " + peer + (n == 0 ? " closed the connection" : " lost: ") +
                                  (n == 0 ? "" : std::strerror(errno)));
}

// The I/O loop. Everything that touches a socket while the simulator runs
// happens here; other threads post tasks.
void CLanSimulator::Run() {
    struct Pending {
        SimOutput out;
        size_t written = 0;
        Clock::time_point gapFrom{};
    };
    std::deque<Pending> queue;

    while (!m_stop) {
        std::vector<std::function<void()>> tasks;
        bool restartDue = false;
        std::optional<Clock::time_point> deadline;
        {
            std::lock_guard<std::mutex> lock(m_control);
            tasks.swap(m_tasks);
            if (m_restarting) {
                if (Clock::now() >= m_restartAt)
                    restartDue = true;
                else
                    deadline = m_restartAt;
            }
        }
        for (auto& task : tasks)
            task();
        if (restartDue) FinishRestart();
        // The descriptors for poll; only this thread closes them while it runs.
        int unicast, broadcast, listener, client;
        {
            std::lock_guard<std::mutex> lock(m_control);
            unicast = m_sockets->unicast;
            broadcast = m_sockets->broadcast;
            listener = m_sockets->listener;
            client = m_sockets->client;
            if (m_restarting && !deadline) deadline = m_restartAt;
        }
        // Output of the reader: to the client, or nowhere.
        for (SimOutput& o : m_reader.TakeOutput())
            if (client >= 0) queue.push_back(Pending{std::move(o), 0, {}});
        if (client < 0) queue.clear();

        bool blocked = false;
        while (client >= 0 && !queue.empty()) {
            Pending& p = queue.front();
            const size_t size = p.out.bytes.size();
            const size_t gapAt = p.out.gapAfter < size ? p.out.gapAfter : 0;
            Clock::time_point due = p.out.notBefore;
            if (gapAt && p.written >= gapAt) due = std::max(due, p.gapFrom + p.out.gap);
            if (due > Clock::now()) {
                if (!deadline || due < *deadline) deadline = due;
                break;
            }
            const size_t limit = gapAt && p.written < gapAt ? gapAt : size;
            if (p.written < limit) {
                const ssize_t n = send(client, p.out.bytes.data() + p.written, limit - p.written,
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0) {
                    if (errno == EAGAIN || errno == EWOULDBLOCK) {
                        blocked = true;
                    } else {
                        // The peer is gone; its close shows up on the next read.
                        queue.clear();
                    }
                    break;
                }
                p.written += static_cast<size_t>(n);
                if (gapAt && p.written == gapAt) p.gapFrom = Clock::now();
            }
            if (p.written >= size) queue.pop_front();
        }

        m_reader.Tick(Clock::now());
        if (const auto next = m_reader.NextDeadline(); next && (!deadline || *next < *deadline))
            deadline = next;

        pollfd p[5] = {{m_wake->fd, POLLIN, 0},
                       {unicast, POLLIN, 0},
                       {broadcast, POLLIN, 0},
                       {listener, POLLIN, 0},
                       {client, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0}};
        if (SimPoll::Until(p, 5, deadline) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[0].revents & POLLIN) m_wake->Drain();
        // A restart while serving one socket closes the others: check before each.
        auto still = [this](int fd) {
            std::lock_guard<std::mutex> lock(m_control);
            return fd >= 0 && (fd == m_sockets->unicast || fd == m_sockets->broadcast ||
                               fd == m_sockets->listener || fd == m_sockets->client);
        };
        if ((p[1].revents & POLLIN) && still(unicast)) ServeDatagram(unicast, false);
        if ((p[2].revents & POLLIN) && still(broadcast)) ServeDatagram(broadcast, true);
        // The client before the listener: a host that closes and connects
        // again at once finds its old connection gone, not in the way.
        if ((p[4].revents & (POLLIN | POLLHUP | POLLERR)) && still(client)) ServeClient();
        if ((p[3].revents & POLLIN) && still(listener)) AcceptClient();
    }
}

bool CLanSimulator::IsRunning() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_running;
}

bool CLanSimulator::IsUnplugged() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_unplugged;
}

bool CLanSimulator::IsRestarting() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_restarting;
}

bool CLanSimulator::ClientConnected() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_sockets->client >= 0;
}

std::string CLanSimulator::Address() const {
    std::lock_guard<std::mutex> lock(m_control);
    return CSimNetModule::FormatAddress(m_address);
}

uint16_t CLanSimulator::Port() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_port;
}

std::string CLanSimulator::Broadcast() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_broadcast;
}

std::string CLanSimulator::ListForm() const {
    const CSimNetModule::Settings settings = m_module.CurrentSettings();
    std::lock_guard<std::mutex> lock(m_control);
    const std::string endpoint = Endpoint(m_address, m_port);
    return settings.Dhcp() ? "[" + settings.dhcpName + "]" + endpoint : endpoint;
}

CLanSimulator::Options CLanSimulator::GetOptions() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_options;
}

size_t CLanSimulator::Restarts() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_restarts;
}

bool CLanSimulator::WaitForRestarts(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_control);
    return m_changed.wait_for(lock, timeout, [&] { return m_restarts >= count; });
}

size_t CLanSimulator::Connections() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_connections;
}

bool CLanSimulator::WaitForConnections(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_control);
    return m_changed.wait_for(lock, timeout, [&] { return m_connections >= count; });
}

std::vector<CLanSimulator::Datagram> CLanSimulator::Datagrams() const {
    std::lock_guard<std::mutex> lock(m_control);
    return {m_datagrams.begin(), m_datagrams.end()};
}

bool CLanSimulator::WaitForDatagrams(size_t incoming, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_control);
    return m_changed.wait_for(lock, timeout, [&] { return m_incoming >= incoming; });
}

void CLanSimulator::ClearLogs() {
    std::lock_guard<std::mutex> lock(m_control);
    m_datagrams.clear();
    m_incoming = 0;
}

void CLanSimulator::SetTraceHook(TraceHook hook) {
    std::lock_guard<std::mutex> lock(m_control);
    m_trace = std::move(hook);
}
