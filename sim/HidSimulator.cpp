#include "HidSimulator.h"

#include "HidSimSocket.h"
#include "SimHex.h"
#include "SimPoll.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

struct CHidSimulator::WakeFd : SimPoll::WakeFd {};

namespace {

std::atomic<unsigned> g_sequence{0};

// A connection that has not yet said what it wants gets this long.
constexpr std::chrono::milliseconds HelloTime{1000};
constexpr size_t MaxWaitingClients = 16;
// Input reports a host does not read pile up; beyond this many the oldest
// are dropped, as a device's queue overflows.
constexpr size_t MaxQueuedReports = 1024;
constexpr size_t InputReportLength = CHidSimulator::ReportLength - 1; // as a hidraw read gives it

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

CHidSimulator::Bytes InputReport(const uint8_t* payload, size_t count) {
    CHidSimulator::Bytes report(InputReportLength, 0);
    report[0] = static_cast<uint8_t>(count);
    std::copy(payload, payload + count, report.begin() + 1);
    return report;
}

void SendPacket(int fd, const std::string& text) {
    [[maybe_unused]] ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

CHidSimulator::CHidSimulator(CSimReader& reader) : CHidSimulator(reader, Options{}) {}

CHidSimulator::CHidSimulator(CSimReader& reader, const Options& options)
    : m_reader(reader), m_options(options), m_wake(std::make_shared<WakeFd>()) {}

CHidSimulator::~CHidSimulator() {
    Stop();
}

std::string CHidSimulator::ProductNameLocked() const {
    if (!m_options.productName.empty()) return m_options.productName;
    const std::string model = CSimReader::ModelName(m_reader.GetOptions().deviceType);
    return "Simulated " + (model.empty() ? std::string("reader") : model);
}

bool CHidSimulator::Start(std::string* error) {
    std::lock_guard<std::mutex> control(m_control);
    auto fail = [&](const std::string& text) {
        CloseLocked();
        if (error) *error = text;
        return false;
    };
    if (m_running) return fail("already running");
    if (m_wake->fd < 0) return fail("eventfd failed");

    std::string dir;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dir = m_options.directory.empty() ? HidSimSocket::Directory() : m_options.directory;
    }
    std::string why;
    if (!HidSimSocket::EnsureDirectory(dir, why)) return fail(why);
    const std::string path =
        dir + "/" + std::to_string(getpid()) + "-" + std::to_string(++g_sequence) + ".hid";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return fail(path + ": path too long for a socket");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    // A socket of this name belongs to an earlier process with our pid.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) unlink(path.c_str());

    m_listen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen < 0) return fail(Errno("socket"));
    if (bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail(Errno("bind " + path));
    m_socketPath = path;
    if (lstat(path.c_str(), &st) == 0) m_socketInode = st.st_ino;
    if (listen(m_listen, 16) != 0) return fail(Errno("listen"));

    std::weak_ptr<WakeFd> wake = m_wake;
    m_reader.SetOutputNotifier([wake] {
        if (auto w = wake.lock()) w->Signal();
    });
    m_reader.TakeOutput(); // nothing queued before the device was there goes out
    m_stop = false;
    m_running = true;
    m_unplugged = false;
    m_thread = std::thread(&CHidSimulator::Run, this);
    return true;
}

void CHidSimulator::Stop() {
    std::lock_guard<std::mutex> control(m_control);
    if (!m_running) return;
    m_stop = true;
    m_wake->Signal();
    if (m_thread.joinable()) m_thread.join();
    m_reader.SetOutputNotifier(nullptr);
    CloseLocked();
    m_running = false;
}

void CHidSimulator::Unplug() {
    Stop();
    std::lock_guard<std::mutex> control(m_control);
    m_unplugged = true;
}

void CHidSimulator::CloseLocked() {
    if (m_listen >= 0) close(m_listen);
    m_listen = -1;
    // Remove the socket only while it is still ours.
    struct stat st {};
    if (!m_socketPath.empty() && lstat(m_socketPath.c_str(), &st) == 0 && st.st_ino == m_socketInode)
        unlink(m_socketPath.c_str());
    m_socketInode = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hostConnected = false;
}

bool CHidSimulator::IsRunning() const {
    std::lock_guard<std::mutex> control(m_control);
    return m_running;
}

bool CHidSimulator::IsUnplugged() const {
    std::lock_guard<std::mutex> control(m_control);
    return m_unplugged;
}

std::string CHidSimulator::SocketPath() const {
    std::lock_guard<std::mutex> control(m_control);
    return m_socketPath;
}

CHidSimulator::Options CHidSimulator::GetOptions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_options;
}

bool CHidSimulator::HostConnected() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hostConnected;
}

std::optional<uint8_t> CHidSimulator::LinkState() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_linkState;
}

CSimKeyTable CHidSimulator::Table() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_options.table;
}

void CHidSimulator::SetTable(const CSimKeyTable& table) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.table = table;
}

void CHidSimulator::SetSilent(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.silent = on;
}

void CHidSimulator::SetIgnoreKeys(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.ignoreKeys = on;
}

void CHidSimulator::SendReport(const Bytes& report) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_injected.push_back(Bytes(report.begin(), report.begin() + std::min<size_t>(report.size(), 63)));
    }
    m_wake->Signal();
}

std::vector<CHidSimulator::Event> CHidSimulator::Events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::vector<ReaderOutput::KeyPress> CHidSimulator::TypedKeys() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_typedKeys;
}

void CHidSimulator::ClearEvents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.clear();
    m_typedKeys.clear();
}

bool CHidSimulator::WaitForEvents(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_eventsChanged.wait_for(lock, timeout, [&] { return m_events.size() >= count; });
}

void CHidSimulator::SetTraceHook(TraceHook hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_trace = std::move(hook);
}

std::string CHidSimulator::Describe(const Event& event) {
    const Bytes& b = event.bytes;
    switch (event.kind) {
    case Event::Kind::Opened:
        return "hid: a host opened the device";
    case Event::Kind::Closed:
        return "hid: the host closed the device";
    case Event::Kind::LinkState:
        return "hid: link state " + std::to_string(b.size() > 1 ? b[1] : 0);
    case Event::Kind::KeyQuery: {
        const uint8_t c = b.size() > 1 ? b[1] : 0;
        std::string text = CSimKeyTable::DescribeKey(c, {});
        text = "hid: key query " + text.substr(0, text.find("  ")) + " -> ";
        if (!event.answer) return text + "not answered";
        if (!event.answer->usage) return text + "no key";
        const std::string key = CSimKeyTable::DescribeKey(c, *event.answer);
        return text + key.substr(key.find("modifier"));
    }
    case Event::Kind::KeySet: {
        const std::string key = CSimKeyTable::DescribeKey(b[1], {b[2], b[3]});
        return "hid: key set " + (b[3] ? key : key.substr(0, key.find("  ")) + " to no key");
    }
    case Event::Kind::Interface:
        return "hid: interface command " + SimHex::Format(b) + " (not known)";
    case Event::Kind::Ignored:
        return "hid: report ignored: " + SimHex::Format(b);
    case Event::Kind::Typed:
        return "hid: typed " + SimHex::Format(b);
    }
    return "hid: ?";
}

void CHidSimulator::Record(Event event) {
    TraceHook trace;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        trace = m_trace;
    }
    m_eventsChanged.notify_all();
    if (trace) trace(Describe(event));
}

void CHidSimulator::RecordTyped(const Bytes& bytes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::vector<ReaderOutput::KeyPress> keys = ReaderOutput::TypeBytes(bytes, m_options.table);
        m_typedKeys.insert(m_typedKeys.end(), keys.begin(), keys.end());
    }
    Record({Event::Kind::Typed, bytes, std::nullopt});
}

// One output report from the host; answers are the input reports it asks for.
void CHidSimulator::HandleReport(const uint8_t* data, size_t size, std::vector<Bytes>& answers) {
    const Bytes whole(data, data + size);
    if (size != ReportLength || data[0] != 0) {
        Record({Event::Kind::Ignored, whole, std::nullopt});
        return;
    }
    const bool interface = (data[1] & 0x80) != 0;
    const size_t n = data[1] & 0x7F;
    if (n < 1 || n > MaxPayload) {
        Record({Event::Kind::Ignored, whole, std::nullopt});
        return;
    }
    const Bytes payload(data + 2, data + 2 + n);
    if (!interface) {
        m_reader.Feed(payload.data(), payload.size(), Clock::now());
        return;
    }
    Event event{Event::Kind::Interface, payload, std::nullopt};
    const uint8_t command = payload[0];
    if (command == 0x10 && n >= 2) {
        event.kind = Event::Kind::LinkState;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_linkState = payload[1];
    } else if (command == 0x11 && n >= 2) {
        event.kind = Event::Kind::KeyQuery;
        std::lock_guard<std::mutex> lock(m_mutex);
        const CSimKeyTable::Key key = m_options.table.Lookup(payload[1]);
        if (!m_options.ignoreKeys && !m_options.silent) {
            const uint8_t answer[] = {0x11, payload[1], key.modifier, key.usage};
            answers.push_back(InputReport(answer, sizeof answer));
            event.answer = key;
        }
    } else if (command == 0x12 && n >= 4) {
        event.kind = Event::Kind::KeySet;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_options.table.Set(payload[1], {payload[2], payload[3]});
    }
    Record(std::move(event));
}

void CHidSimulator::Run() {
    struct Waiting {
        int fd;
        Clock::time_point deadline;
    };
    struct Report {
        Clock::time_point due;
        Bytes bytes;
    };
    std::vector<Waiting> waiting;
    std::deque<Report> outgoing;
    int host = -1;
    bool blocked = false;

    auto dropHost = [&](bool record) {
        if (host < 0) return;
        close(host);
        host = -1;
        outgoing.clear();
        blocked = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hostConnected = false;
        }
        if (record) Record({Event::Kind::Closed, {}, std::nullopt});
    };

    // Takes the output reports the host has sent, in order, and notices its
    // end; a host that writes without pause gets the rest on the next pass.
    auto serviceHost = [&] {
        for (int taken = 0; host >= 0 && taken < 256; ++taken) {
            uint8_t buffer[HidSimSocket::MaxPacket];
            const ssize_t n = recv(host, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) {
                dropHost(true);
                break;
            }
            std::vector<Bytes> answers;
            HandleReport(buffer, static_cast<size_t>(n), answers);
            for (Bytes& a : answers)
                outgoing.push_back({Clock::now(), std::move(a)});
        }
    };

    while (!m_stop) {
        Clock::time_point now = Clock::now();
        bool silent;
        std::vector<Bytes> injected;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            silent = m_options.silent;
            injected.swap(m_injected);
        }
        for (SimOutput& o : m_reader.TakeOutput()) {
            if (!o.reply) {
                RecordTyped(o.bytes);
                continue;
            }
            if (host < 0 || silent) continue;
            const size_t gapAt = o.gapAfter && o.gapAfter < o.bytes.size() ? o.gapAfter : o.bytes.size();
            for (size_t i = 0; i < o.bytes.size();) {
                const size_t end =
                    std::min({i + MaxPayload, o.bytes.size(), i < gapAt ? gapAt : o.bytes.size()});
                const Clock::time_point due = i < gapAt ? o.notBefore : o.notBefore + o.gap;
                outgoing.push_back({due, InputReport(o.bytes.data() + i, end - i)});
                i = end;
            }
        }
        if (host >= 0 && !silent)
            for (Bytes& r : injected)
                outgoing.push_back({now, std::move(r)});

        while (outgoing.size() > MaxQueuedReports)
            outgoing.pop_front();
        // The reports that are due, in order.
        blocked = false;
        while (host >= 0 && !outgoing.empty() && outgoing.front().due <= now) {
            const Bytes& r = outgoing.front().bytes;
            const ssize_t n = send(host, r.data(), r.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                blocked = true;
                break;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                dropHost(true);
                break;
            }
            outgoing.pop_front();
        }

        m_reader.Tick(now);
        std::optional<Clock::time_point> deadline = m_reader.NextDeadline();
        auto earlier = [&](Clock::time_point t) {
            if (!deadline || t < *deadline) deadline = t;
        };
        if (!blocked && !outgoing.empty()) earlier(outgoing.front().due);
        for (const Waiting& w : waiting)
            earlier(w.deadline);

        std::vector<pollfd> fds;
        fds.push_back({m_wake->fd, POLLIN, 0});
        fds.push_back({m_listen, POLLIN, 0});
        fds.push_back({host, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0});
        for (const Waiting& w : waiting)
            fds.push_back({w.fd, POLLIN, 0});
        if (SimPoll::Until(fds.data(), fds.size(), deadline) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        now = Clock::now();
        if (fds[0].revents & POLLIN) m_wake->Drain();
        if (host >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) serviceHost();

        // Hellos of waiting connections.
        std::vector<Waiting> still;
        for (size_t i = 0; i < waiting.size(); ++i) {
            const Waiting w = waiting[i];
            const short revents = fds[3 + i].revents;
            if (!(revents & (POLLIN | POLLHUP | POLLERR))) {
                if (w.deadline > now)
                    still.push_back(w);
                else
                    close(w.fd);
                continue;
            }
            char hello[64];
            const ssize_t n = recv(w.fd, hello, sizeof hello, MSG_DONTWAIT);
            const std::string request = n > 0 ? std::string(hello, size_t(n)) : std::string();
            if (request == HidSimSocket::InfoRequest) {
                HidSimSocket::DeviceInfo info;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    info.vendor = m_options.vendor;
                    info.product = m_options.product;
                    info.release = m_options.release;
                    info.serial = m_options.serial;
                    info.manufacturer = m_options.manufacturer;
                    info.productName = ProductNameLocked();
                }
                info.usagePage = 0xFF00;
                info.usage = 0x0001;
                info.reportLength = ReportLength;
                SendPacket(w.fd, HidSimSocket::FormatInfo(info));
                close(w.fd);
            } else if (request == HidSimSocket::OpenRequest && (serviceHost(), host < 0)) {
                // (A host that closed and opens again at once is gone by now:
                // its end is read before the new open is answered.)
                SendPacket(w.fd, HidSimSocket::OpenAccepted);
                host = w.fd;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_hostConnected = true;
                }
                Record({Event::Kind::Opened, {}, std::nullopt});
            } else {
                if (request == HidSimSocket::OpenRequest) SendPacket(w.fd, HidSimSocket::Busy);
                close(w.fd);
            }
        }
        waiting.swap(still);

        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int fd = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) break;
                if (waiting.size() >= MaxWaitingClients) {
                    close(waiting.front().fd);
                    waiting.erase(waiting.begin());
                }
                waiting.push_back({fd, Clock::now() + HelloTime});
            }
        }
    }
    dropHost(false);
    for (const Waiting& w : waiting)
        close(w.fd);
}
