#include "BtModuleSimulator.h"

#include "LineSpeed.h"
#include "SimAnnounce.h"
#include "SimHex.h"
#include "SimPoll.h"
#include "SimPty.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace BtModulePacket;

struct CBtModuleSimulator::WakeFd : SimPoll::WakeFd {};

const CBtModuleSimulator::Bytes& CBtModuleSimulator::JunkBytes() {
    // No 0x02 among them: a host resynchronises by dropping bytes up to the next 0x02.
    static const Bytes junk{0xFF, 0x00, 0x55, 0x03, 0xAA};
    return junk;
}

CBtModuleSimulator::CBtModuleSimulator(std::vector<Remote> remotes, const Options& options)
    : m_remotes(std::move(remotes)), m_options(options), m_wake(std::make_shared<WakeFd>()) {
    for (Remote& remote : m_remotes) {
        if (!remote.reader) remote.reader = std::make_shared<CSimReader>();
        if (remote.name.empty()) {
            std::string model = CSimReader::ModelName(remote.reader->GetOptions().deviceType);
            remote.name = (model.empty() ? std::string("reader") : model) + " BT";
        }
    }
}

CBtModuleSimulator::~CBtModuleSimulator() {
    Stop();
}

bool CBtModuleSimulator::Start(std::string* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running) {
        if (error) *error = "already running";
        return false;
    }
    auto fail = [&](const std::string& text) {
        CloseLocked();
        if (error) *error = text;
        return false;
    };
    if (m_wake->fd < 0) return fail("eventfd failed");
    // The module's line is 9600 baud; a pty carries any rate the host sets.
    std::string why;
    if (!SimPty::Open(m_master, m_slave, m_slavePath, 9600, why)) return fail(why);
    if (!m_options.linkPath.empty() && !SimPty::PlaceLink(m_options.linkPath, m_slavePath, why))
        return fail(why);
    if (m_options.announce) {
        const std::string label =
            m_options.label.empty() ? std::string("Simulated Bluetooth adapter module") : m_options.label;
        m_announceFile =
            SimAnnounce::Write(m_options.linkPath.empty() ? m_slavePath : m_options.linkPath, label);
    }
    std::weak_ptr<WakeFd> wake = m_wake;
    for (Remote& remote : m_remotes) {
        remote.reader->TakeOutput();
        remote.reader->SetOutputNotifier([wake] {
            if (auto w = wake.lock()) w->Signal();
        });
    }
    m_stop = false;
    m_running = true;
    m_thread = std::thread(&CBtModuleSimulator::Run, this);
    return true;
}

void CBtModuleSimulator::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_running) return;
        m_stop = true;
    }
    m_wake->Signal();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Remote& remote : m_remotes)
        remote.reader->SetOutputNotifier(nullptr);
    CloseLocked();
    m_running = false;
}

void CBtModuleSimulator::CloseLocked() {
    if (m_master >= 0) close(m_master);
    if (m_slave >= 0) close(m_slave);
    m_master = m_slave = -1;
    SimAnnounce::Remove(m_announceFile);
    m_announceFile.clear();
    if (!m_options.linkPath.empty() && !m_slavePath.empty()) {
        char target[256];
        const ssize_t n = readlink(m_options.linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_slavePath)
            unlink(m_options.linkPath.c_str());
    }
}

std::string CBtModuleSimulator::SlavePath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slavePath;
}

std::string CBtModuleSimulator::DevicePath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_options.linkPath.empty() ? m_slavePath : m_options.linkPath;
}

std::string CBtModuleSimulator::AnnounceFile() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_announceFile;
}

CBtModuleSimulator::Status CBtModuleSimulator::GetStatus() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Status status = m_status;
    if (m_linked) status.linked = m_remotes[*m_linked].address;
    status.inquiryRunning = std::any_of(m_timed.begin(), m_timed.end(),
                                        [](const Timed& t) { return t.kind == Timed::InquiryDone; });
    status.noiseBytes = m_in.Dropped();
    return status;
}

std::string CBtModuleSimulator::ReportedName(const Remote& remote) const {
    std::string name = remote.name;
    if (m_options.longName) {
        static const char fill[] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (size_t i = 0; name.size() < 40; ++i)
            name += fill[i % (sizeof fill - 1)];
    }
    return name.substr(0, 255);
}

void CBtModuleSimulator::SetRefuse(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.refuse = on;
}

void CBtModuleSimulator::SetSilent(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.silent = on;
}

void CBtModuleSimulator::LoseLink() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        DropLinkLocked(true);
    }
    m_wake->Signal();
}

void CBtModuleSimulator::SetTraceHook(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_trace = std::move(hook);
}

std::optional<CBtModuleSimulator::Address> CBtModuleSimulator::ParseAddress(const std::string& text) {
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':' && i % 3 == 2 && text.size() == 17) continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += c;
    }
    if (digits.size() != 12) return std::nullopt;
    Address address{};
    for (size_t i = 0; i < 6; ++i)
        address[i] = static_cast<uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    return address;
}

std::string CBtModuleSimulator::FormatAddress(const Address& address) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", address[0], address[1], address[2],
                  address[3], address[4], address[5]);
    return text;
}

std::string CBtModuleSimulator::Help() {
    return "bt                 module state: inquiries, links, the last requests\n"
           "bt lose            drop the link now (link-lost indication)\n"
           "bt refuse on|off   refuse link requests\n"
           "bt silent on|off   answer nothing\n";
}

std::string CBtModuleSimulator::Command(const std::vector<std::string>& words) {
    if (words.size() == 1) {
        const Status s = GetStatus();
        std::string out;
        char line[200];
        std::snprintf(line, sizeof line,
                      "inquiries %u%s, links %u, refused %u, lost %u, releases %u, frames %u, dropped %u, "
                      "noise bytes %zu\n",
                      s.inquiries, s.inquiryRunning ? " (one running)" : "", s.links, s.refused, s.lost,
                      s.releases, s.framesCarried, s.dataDropped, s.noiseBytes);
        out += line;
        out += "link: " + (s.linked ? "up to " + FormatAddress(*s.linked) : std::string("down")) + "\n";
        for (const Remote& remote : m_remotes) {
            std::snprintf(line, sizeof line, "remote %s class %06X \"%s\"\n",
                          FormatAddress(remote.address).c_str(), remote.deviceClass & 0xFFFFFFu,
                          ReportedName(remote).c_str());
            out += line;
        }
        for (const std::string& request : s.lastRequests)
            out += "request " + request + "\n";
        return out;
    }
    if (words.size() == 2 && words[1] == "lose") {
        if (!GetStatus().linked) return "error: no link is up\n";
        LoseLink();
        return "ok\n";
    }
    if (words.size() == 3 && (words[1] == "refuse" || words[1] == "silent") &&
        (words[2] == "on" || words[2] == "off")) {
        const bool on = words[2] == "on";
        if (words[1] == "refuse")
            SetRefuse(on);
        else
            SetSilent(on);
        return "ok\n";
    }
    return "error: bt takes nothing, lose, refuse on|off or silent on|off\n";
}

std::optional<size_t> CBtModuleSimulator::FindLocked(const uint8_t* address) const {
    for (size_t i = 0; i < m_remotes.size(); ++i)
        if (std::equal(m_remotes[i].address.begin(), m_remotes[i].address.end(), address)) return i;
    return std::nullopt;
}

void CBtModuleSimulator::SendLocked(uint8_t type, uint8_t opcode, const Bytes& payload) {
    const Bytes packet = Build(type, opcode, payload);
    if (m_trace) m_traceLines.push_back("< " + SimHex::Format(packet));
    if (m_options.junk) m_out.insert(m_out.end(), JunkBytes().begin(), JunkBytes().end());
    m_out.insert(m_out.end(), packet.begin(), packet.end());
}

void CBtModuleSimulator::DropLinkLocked(bool notify) {
    // A link still being made is given up as well.
    m_timed.erase(std::remove_if(m_timed.begin(), m_timed.end(),
                                 [](const Timed& t) { return t.kind == Timed::LinkUp; }),
                  m_timed.end());
    if (!m_linked) return;
    m_linked.reset();
    m_engineOutput.clear();
    m_loseAt.reset();
    if (notify) {
        ++m_status.lost;
        SendLocked(Indication, 0x0E, {0x02, ReasonLost});
    }
}

void CBtModuleSimulator::HandleLocked(const Packet& packet, Clock::time_point now) {
    const Bytes& p = packet.payload;
    char head[16];
    std::snprintf(head, sizeof head, "%04X", packet.Code());
    m_status.lastRequests.push_back(std::string(head) + (p.empty() ? "" : " " + SimHex::Format(p)));
    if (m_status.lastRequests.size() > RequestLog) m_status.lastRequests.erase(m_status.lastRequests.begin());
    if (m_options.silent || packet.type != Request) return;

    switch (packet.opcode) {
    case 0x00: { // inquiry: every remote found once, spread over the inquiry time
        ++m_status.inquiries;
        m_timed.erase(std::remove_if(m_timed.begin(), m_timed.end(),
                                     [](const Timed& t) { return t.kind != Timed::LinkUp; }),
                      m_timed.end());
        const auto span = std::chrono::duration_cast<Clock::duration>(m_options.inquiryTime);
        const auto count = static_cast<int64_t>(m_remotes.size());
        for (int64_t i = 0; i < count; ++i)
            m_timed.push_back({now + span * (i + 1) / (count + 1), Timed::Found, static_cast<size_t>(i), 0});
        m_timed.push_back({now + span, Timed::InquiryDone, 0, 0});
        break;
    }
    case 0x26: // also ends a running inquiry: no more devices found; its confirm still comes
        m_timed.erase(std::remove_if(m_timed.begin(), m_timed.end(),
                                     [](const Timed& t) { return t.kind == Timed::Found; }),
                      m_timed.end());
        SendLocked(Indication, 0x25, {0x00});
        break;
    case 0x02: { // remote name
        if (p.size() < 6) break;
        Bytes reply{0x00};
        reply.insert(reply.end(), p.begin(), p.begin() + 6);
        if (const auto index = FindLocked(p.data())) {
            const std::string name = ReportedName(m_remotes[*index]);
            reply.push_back(static_cast<uint8_t>(name.size()));
            reply.insert(reply.end(), name.begin(), name.end());
        } else {
            reply[0] = StatusNoDevice;
            reply.push_back(0);
        }
        SendLocked(Confirm, 0x02, reply);
        break;
    }
    case 0x0A: { // link request: 02, address, remote port
        const auto index = p.size() >= 7 ? FindLocked(p.data() + 1) : std::nullopt;
        const uint8_t port = p.size() >= 8 ? p[7] : 0x02;
        if (!index || m_options.refuse) {
            ++m_status.refused;
            SendLocked(Confirm, 0x0A, {index ? StatusRefused : StatusNoDevice, 0x02});
            break;
        }
        DropLinkLocked(false); // one link at a time: a new request replaces the old link
        SendLocked(Confirm, 0x0A, {0x00, 0x02});
        m_timed.push_back({now + m_options.linkDelay, Timed::LinkUp, *index, port});
        break;
    }
    case 0x0F: { // data: 02, length, bytes for the linked reader
        if (p.size() < 3 || p[0] != 0x02 || !m_linked) {
            ++m_status.dataDropped;
            break;
        }
        const size_t n = std::min<size_t>(p[1] | size_t(p[2]) << 8, p.size() - 3);
        m_remotes[*m_linked].reader->Feed(p.data() + 3, n, now);
        ++m_status.framesCarried;
        ++m_linkFrames;
        if (m_options.loseAfter && !m_loseFired && m_linkFrames >= m_options.loseAfter)
            m_loseAt = now + std::chrono::milliseconds(200); // or as soon as the answer has gone out
        break;
    }
    case 0x0D: // release
        if (m_linked) ++m_status.releases;
        DropLinkLocked(false);
        SendLocked(Indication, 0x51, {0x02, 0x00});
        break;
    default:
        break;
    }
}

void CBtModuleSimulator::CarryEngineOutputLocked(Clock::time_point now) {
    for (size_t i = 0; i < m_remotes.size(); ++i) {
        CSimReader& reader = *m_remotes[i].reader;
        reader.Tick(now);
        std::vector<SimOutput> outputs = reader.TakeOutput();
        if (m_linked && *m_linked == i)
            for (SimOutput& o : outputs)
                m_engineOutput.push_back(std::move(o)); // an unlinked reader talks to nobody
    }
    bool sent = false;
    while (!m_engineOutput.empty() && m_engineOutput.front().notBefore <= now) {
        const Bytes& bytes = m_engineOutput.front().bytes;
        for (size_t at = 0; at < bytes.size(); at += DataChunk) {
            const size_t n = std::min(DataChunk, bytes.size() - at);
            Bytes payload{0x02, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
            payload.insert(payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
            if (!m_options.silent) SendLocked(Indication, 0x10, payload);
        }
        m_engineOutput.pop_front();
        sent = true;
    }
    if (sent && m_loseAt) m_loseAt = now;
    if (m_loseAt && *m_loseAt <= now) {
        m_loseFired = true;
        DropLinkLocked(true);
    }
}

std::optional<CBtModuleSimulator::Clock::time_point> CBtModuleSimulator::NextDeadlineLocked() const {
    std::optional<Clock::time_point> next;
    auto take = [&next](Clock::time_point t) {
        if (!next || t < *next) next = t;
    };
    for (const Timed& t : m_timed)
        take(t.at);
    for (const Remote& remote : m_remotes)
        if (const auto t = remote.reader->NextDeadline()) take(*t);
    if (!m_engineOutput.empty()) take(m_engineOutput.front().notBefore);
    if (m_loseAt) take(*m_loseAt);
    if (!m_out.empty() && m_options.split) take(m_nextPiece);
    return next;
}

void CBtModuleSimulator::Run() {
    uint8_t buffer[1024];
    while (!m_stop) {
        bool blocked = false;
        std::optional<Clock::time_point> deadline;
        std::vector<std::string> trace;
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const Clock::time_point now = Clock::now();
            std::sort(m_timed.begin(), m_timed.end(),
                      [](const Timed& a, const Timed& b) { return a.at < b.at; });
            while (!m_timed.empty() && m_timed.front().at <= now) {
                const Timed t = m_timed.front();
                m_timed.erase(m_timed.begin());
                if (m_options.silent) continue;
                if (t.kind == Timed::Found) {
                    const Remote& r = m_remotes[t.remote];
                    Bytes payload(r.address.begin(), r.address.end());
                    payload.push_back(static_cast<uint8_t>(r.deviceClass));
                    payload.push_back(static_cast<uint8_t>(r.deviceClass >> 8));
                    payload.push_back(static_cast<uint8_t>(r.deviceClass >> 16));
                    // page scan repetition mode, reserved, page scan mode, clock offset
                    payload.insert(payload.end(), {0x01, 0x00, 0x00, 0x00, 0x00});
                    SendLocked(Indication, 0x01, payload);
                } else if (t.kind == Timed::InquiryDone) {
                    SendLocked(Confirm, 0x00, {0x00});
                } else {
                    m_linked = t.remote;
                    m_linkFrames = 0;
                    ++m_status.links;
                    // status, address, remote port, 0x02
                    Bytes payload(9, 0x00);
                    std::copy(m_remotes[t.remote].address.begin(), m_remotes[t.remote].address.end(),
                              payload.begin() + 1);
                    payload[7] = t.port;
                    payload[8] = 0x02;
                    SendLocked(Indication, 0x0B, payload);
                }
            }
            CarryEngineOutputLocked(now);

            // Write what is queued: all of it, or one small piece per pause.
            while (!m_out.empty() && (!m_options.split || m_nextPiece <= now)) {
                uint8_t chunk[512];
                const size_t n = std::min(m_out.size(), m_options.split ? SplitPiece : sizeof chunk);
                std::copy(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(n), chunk);
                const ssize_t written = write(m_master, chunk, n);
                if (written <= 0) {
                    blocked = true; // the host does not read: wait until it does
                    break;
                }
                m_out.erase(m_out.begin(), m_out.begin() + written);
                if (m_options.split) {
                    m_nextPiece = now + SplitPause;
                    break;
                }
            }
            deadline = NextDeadlineLocked();
            trace.swap(m_traceLines);
            hook = m_trace;
        }
        if (hook)
            for (const std::string& line : trace)
                hook(line);

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
                std::lock_guard<std::mutex> lock(m_mutex);
                m_in.Add(buffer, static_cast<size_t>(n));
                const Clock::time_point now = Clock::now();
                while (auto packet = m_in.Next()) {
                    if (m_trace) m_traceLines.push_back("> " + SimHex::Format(Build(*packet)));
                    HandleLocked(*packet, now);
                }
            }
        }
    }
}
