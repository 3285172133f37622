#include "PtySimulator.h"

#include "LineSpeed.h"
#include "SimAnnounce.h"
#include "SimPoll.h"
#include "SimPty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

struct CPtySimulator::WakeFd : SimPoll::WakeFd {};

CPtySimulator::CPtySimulator(CSimReader& reader) : CPtySimulator(reader, Options{}) {}

CPtySimulator::CPtySimulator(CSimReader& reader, const Options& options)
    : m_reader(reader), m_options(options), m_lineTime(options.lineTime),
      m_hostLineCheck(options.hostLineCheck), m_wake(std::make_shared<WakeFd>()) {}

CPtySimulator::~CPtySimulator() {
    Stop();
}

bool CPtySimulator::Start(std::string* error) {
    std::lock_guard<std::mutex> lock(m_control);
    if (m_running) {
        if (error) *error = "already running";
        return false;
    }
    std::string why;
    auto fail = [&](const std::string& text) {
        CloseLocked();
        if (error) *error = text;
        return false;
    };
    if (m_wake->fd < 0) return fail("eventfd failed");

    if (!SimPty::Open(m_master, m_slave, m_slavePath, int(m_reader.Line().baud), why)) return fail(why);

    if (!m_options.linkPath.empty() && !SimPty::PlaceLink(m_options.linkPath, m_slavePath, why))
        return fail(why);
    if (m_options.announce) {
        std::string label = m_options.label;
        if (label.empty()) {
            const std::string model = CSimReader::ModelName(m_reader.GetOptions().deviceType);
            label = "Simulated " + (model.empty() ? std::string("reader") : model);
        }
        m_announceFile =
            SimAnnounce::Write(m_options.linkPath.empty() ? m_slavePath : m_options.linkPath, label);
    }

    // Whatever was queued while unplugged is gone with the old line.
    m_reader.TakeOutput();
    std::weak_ptr<WakeFd> wake = m_wake;
    m_reader.SetOutputNotifier([wake] {
        if (auto w = wake.lock()) w->Signal();
    });
    m_stop = false;
    m_running = true;
    m_unplugged = false;
    m_thread = std::thread(&CPtySimulator::Run, this);
    return true;
}

void CPtySimulator::Stop() {
    std::lock_guard<std::mutex> lock(m_control);
    if (!m_running) return;
    m_stop = true;
    m_wake->Signal();
    if (m_thread.joinable()) m_thread.join();
    m_reader.SetOutputNotifier(nullptr);
    CloseLocked();
    m_running = false;
}

void CPtySimulator::Unplug() {
    Stop();
    std::lock_guard<std::mutex> lock(m_control);
    m_unplugged = true;
}

void CPtySimulator::CloseLocked() {
    if (m_master >= 0) close(m_master);
    if (m_slave >= 0) close(m_slave);
    m_master = m_slave = -1;
    SimAnnounce::Remove(m_announceFile);
    m_announceFile.clear();
    // Remove the link only while it still points at our slave: another
    // simulator may have taken the name over meanwhile.
    if (!m_options.linkPath.empty() && !m_slavePath.empty()) {
        char target[256];
        const ssize_t n = readlink(m_options.linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_slavePath)
            unlink(m_options.linkPath.c_str());
    }
}

bool CPtySimulator::IsRunning() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_running;
}

bool CPtySimulator::IsUnplugged() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_unplugged;
}

std::string CPtySimulator::SlavePath() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_slavePath;
}

std::string CPtySimulator::DevicePath() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_options.linkPath.empty() ? m_slavePath : m_options.linkPath;
}

std::string CPtySimulator::AnnounceFile() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_announceFile;
}

CPtySimulator::Options CPtySimulator::GetOptions() const {
    std::lock_guard<std::mutex> lock(m_control);
    Options options = m_options;
    options.lineTime = m_lineTime;
    options.hostLineCheck = m_hostLineCheck;
    return options;
}

void CPtySimulator::SetLineTime(bool on) {
    m_lineTime = on;
}

void CPtySimulator::SetHostLineCheck(bool on) {
    m_hostLineCheck = on;
}

// The I/O loop. Output runs on an absolute schedule: byte i of a run is due
// at start + (i + 1) byte times (plus an injected gap), where start is when
// the line became free or the request was complete, whichever is later. All
// bytes already due are written at once, so a late wake-up catches up
// instead of stretching the schedule.
void CPtySimulator::Run() {
    struct Active {
        SimOutput out;
        size_t written = 0;
        Clock::time_point start;
        std::chrono::nanoseconds byteTime{0};

        Clock::time_point Due(size_t i) const {
            Clock::time_point t = start + byteTime * static_cast<int64_t>(i + 1);
            if (out.gapAfter && i >= out.gapAfter) t += out.gap;
            return t;
        }
    };
    std::deque<SimOutput> queue;
    std::optional<Active> active;
    Clock::time_point lineFree{};
    Clock::time_point lastIn{};
    uint8_t buffer[1024];

    while (!m_stop) {
        Clock::time_point now = Clock::now();
        for (SimOutput& o : m_reader.TakeOutput())
            queue.push_back(std::move(o));

        bool blocked = false;
        for (;;) {
            if (!active && !queue.empty()) {
                Active a;
                a.out = std::move(queue.front());
                queue.pop_front();
                a.byteTime = m_lineTime ? a.out.line.ByteTime() : std::chrono::nanoseconds(0);
                a.start = std::max(a.out.notBefore, lineFree);
                active = std::move(a);
            }
            if (!active) break;
            const size_t size = active->out.bytes.size();
            size_t due = active->written;
            while (due < size && active->Due(due) <= now)
                ++due;
            if (due > active->written) {
                const ssize_t n =
                    write(m_master, active->out.bytes.data() + active->written, due - active->written);
                if (n > 0) active->written += static_cast<size_t>(n);
                blocked = active->written < due; // the host does not read: wait until it does
            }
            if (active->written < size) break;
            lineFree = size ? active->Due(size - 1) : lineFree;
            active.reset();
        }

        m_reader.Tick(now);
        std::optional<Clock::time_point> deadline = m_reader.NextDeadline();
        if (active && !blocked) {
            const Clock::time_point next = active->Due(active->written);
            if (!deadline || next < *deadline) deadline = next;
        }

        pollfd fds[2] = {{m_master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {m_wake->fd, POLLIN, 0}};
        if (SimPoll::Until(fds, 2, deadline) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLNVAL) break;
        if (fds[1].revents & POLLIN) m_wake->Drain();
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                const Clock::time_point at = Clock::now();
                const SimLine line = m_reader.Line();
                const std::chrono::nanoseconds byteTime =
                    m_lineTime ? line.ByteTime() : std::chrono::nanoseconds(0);
                // A byte is in once the line has carried all of it, and bytes
                // cannot arrive faster than the line carries them.
                const Clock::time_point first = std::max(at, lastIn) + byteTime;
                bool garbled = false;
                if (m_hostLineCheck) {
                    const unsigned hostSpeed = Termios2OutputSpeed(m_slave);
                    garbled = hostSpeed != 0 && hostSpeed != line.baud;
                    if (garbled) ++m_mismatchedReads;
                }
                m_reader.Feed(buffer, static_cast<size_t>(n), first, byteTime, garbled);
                lastIn = first + byteTime * (n - 1);
            }
        }
    }
}
