#include "ReaderSession.h"

#include "DebugLog.h"
#include "Dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

using Clock = std::chrono::steady_clock;

CReaderSession::CReaderSession() : m_tcp(this) {}

CReaderSession::~CReaderSession() {
    // The port thread calls OnReceiveByte on this object: stop it before the
    // queue and its mutex go away.
    CComPort::Close();
    m_tcp.CloseTcp();
    m_hid.Close();
    m_bluetooth.Close();
}

const ITransport* CReaderSession::Active() const {
    if (m_transport) return m_transport;
    for (const ITransport* transport :
         {static_cast<const ITransport*>(this), static_cast<const ITransport*>(&m_tcp),
          static_cast<const ITransport*>(&m_hid), static_cast<const ITransport*>(&m_bluetooth)})
        if (transport->LinkId()) return transport;
    return nullptr;
}

int CReaderSession::SessionId() const {
    const ITransport* transport = Active();
    return transport ? transport->LinkId() : 0;
}

ITransport* CReaderSession::TransportFor(LinkPort::Kind kind) {
    switch (kind) {
    case LinkPort::Kind::Serial:
        return this;
    case LinkPort::Kind::Lan:
        return &m_tcp;
    case LinkPort::Kind::Hid:
        return &m_hid;
    case LinkPort::Kind::Bluetooth:
        return &m_bluetooth;
    case LinkPort::Kind::Refused:
        break;
    }
    return nullptr;
}

bool CReaderSession::OpenTransport(LinkPort::Kind kind, const std::string& name, const LinkLine& line) {
    ITransport* transport = TransportFor(kind);
    if (!transport || !transport->OpenLink(name, line)) return false;
    m_transport = transport;
    return true;
}

bool CReaderSession::OpenConfigChannel(const std::string& name) {
    if (!m_tcp.OpenChannel(name)) return false;
    m_transport = &m_tcp;
    return true;
}

void CReaderSession::SetCommand(uint8_t command, const uint8_t* payload, size_t count) {
    m_pending.clear();
    m_pending.push_back(command);
    if (payload && count) m_pending.insert(m_pending.end(), payload, payload + count);
}

void CReaderSession::OnReceiveByte(uint8_t byte) {
    bool firstDrop = false;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        // A reader (or anything else) that sends without end must not use up
        // the memory: past the cap the oldest bytes go. No reply comes near it.
        if (m_queue.size() >= QueueCap) {
            m_queue.pop_front();
            firstDrop = m_dropped++ == 0;
        }
        m_queue.push_back(byte);
        ++m_arrivals;
    }
    if (firstDrop) DebugLog::Printf("Receive queue full (%zu bytes): the oldest bytes are dropped", QueueCap);
    m_received.notify_all();
}

void CReaderSession::NoteDropped() {
    // Under the queue mutex.
    if (m_dropped)
        DebugLog::Printf("Receive queue: %llu bytes were dropped",
                         static_cast<unsigned long long>(m_dropped));
    m_dropped = 0;
}

size_t CReaderSession::QueuedCount() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_queue.size();
}

uint8_t CReaderSession::QueuedByte(size_t index) const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return index < m_queue.size() ? m_queue[index] : 0;
}

void CReaderSession::RemoveQueued(size_t count) {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.erase(m_queue.begin(), m_queue.begin() + std::min(count, m_queue.size()));
}

void CReaderSession::ClearQueue() {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.clear();
    NoteDropped();
}

CReaderSession::Bytes CReaderSession::TakeQueue() {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    Bytes all(m_queue.begin(), m_queue.end());
    m_queue.clear();
    NoteDropped();
    return all;
}

void CReaderSession::PollInput() {
    ITransport* transport = Transport();
    if (!transport) return;
    uint8_t buffer[128];
    const int limit = std::min(transport->PollLimit(), int(sizeof buffer));
    if (limit <= 0) return;
    const int n = transport->Poll(buffer, limit);
    for (int i = 0; i < n && i < limit; ++i)
        OnReceiveByte(buffer[i]);
}

int CReaderSession::TakeReceived(uint8_t* data, int maximum) {
    ITransport* transport = Transport();
    if (transport && transport->DispatchedInput()) CDispatcher::Instance().DispatchOnce();
    PollInput();
    if (!data || maximum <= 0) return 0;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    const size_t n = std::min(size_t(maximum), m_queue.size());
    std::copy(m_queue.begin(), m_queue.begin() + n, data);
    m_queue.erase(m_queue.begin(), m_queue.begin() + n);
    return int(n);
}

void CReaderSession::SendFrame(const Bytes& frame) {
    // The result is not looked at: a frame that did not go ends in the reply timeout.
    if (ITransport* transport = Transport()) transport->Send(frame.data(), frame.size());
}

bool CReaderSession::SendRaw(const uint8_t* data, size_t count) {
    SendFrame(Bytes(data, data + count));
    return true;
}

void CReaderSession::CloseTransport() {
    ITransport* transport = Transport();
    m_transport = nullptr;
    if (transport) transport->CloseLink();
}

void CReaderSession::Trace(const char* prefix, const Bytes& bytes) {
    if (!m_traceHook) return;
    const int id = SessionId();
    std::string line = prefix;
    char piece[16];
    std::snprintf(piece, sizeof piece, "(%08x) ", static_cast<unsigned>(id));
    line += piece;
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, "%02x ", b);
        line += piece;
    }
    line += "\r\n";
    m_traceHook(id, line.c_str());
}

bool CReaderSession::Exchange() {
    if (m_pending.empty()) {
        m_status = LinkStatus::NothingToSend;
        return false;
    }
    // LEN is one byte: a longer payload cannot be framed, so nothing is sent.
    if (m_pending.size() - 1 > Frame::MaxPayload) {
        m_pending.clear();
        m_status = LinkStatus::PayloadTooLong;
        return false;
    }
    Frame::BuildInPlace(m_pending, m_framing, static_cast<uint8_t>(m_address));
    ClearQueue();
    SendFrame(m_pending);
    Trace(">", m_pending);
    m_pending.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!WaitForReply()) {
        Bytes left;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            left.assign(m_queue.begin(), m_queue.end());
        }
        Trace("<", left);
        m_status = LinkStatus::Timeout;
        return false;
    }
    return true;
}

Clock::time_point CReaderSession::StepEnd(Clock::time_point deadline) {
    // Polled transports (HID, Bluetooth) and the dispatcher's sockets are read
    // between steps, so those steps stay short; the program's event pump
    // needs a step now and then; otherwise only a received byte or the
    // deadline ends the wait.
    ITransport* transport = Transport();
    const bool polled = (transport && (transport->PollLimit() > 0 || transport->DispatchedInput())) ||
                        CDispatcher::Instance().HasSources();
    if (polled) return std::min(deadline, Clock::now() + PolledStep);
    if (CDispatcher::Instance().HasUiHooks()) return std::min(deadline, Clock::now() + UiStep);
    return deadline;
}

void CReaderSession::PollStep(Clock::time_point deadline) {
    // Blocks until the step ends, woken early by the next received byte. A
    // transport read by the dispatcher (LAN) delivers only when dispatched,
    // so its step waits for its socket to become readable instead.
    const Clock::time_point until = StepEnd(deadline);
    ITransport* transport = Transport();
    if (transport && transport->DispatchedInput()) {
        bool arrived;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            arrived = m_arrivals != m_seenArrivals;
            m_seenArrivals = m_arrivals;
        }
        if (!arrived) CDispatcher::Instance().WaitForInput(until);
    } else {
        std::unique_lock<std::mutex> lock(m_queueMutex);
        m_received.wait_until(lock, until, [this] { return m_arrivals != m_seenArrivals; });
        m_seenArrivals = m_arrivals;
    }
    CDispatcher::Instance().DispatchOnce();
    PollInput();
}

Clock::time_point CReaderSession::PhaseDeadline(Clock::time_point start) const {
    // The first moment at which TimedOut holds.
    return start + std::chrono::milliseconds(uint64_t(m_replyTimeout) + 1);
}

bool CReaderSession::TimedOut(Clock::time_point start) const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return uint64_t(elapsed) > uint64_t(m_replyTimeout);
}

bool CReaderSession::WaitForReply() {
    CMainWindowLock window(!m_keepWindowEnabled);

    // Phase 1: the first four bytes.
    auto start = Clock::now();
    while (QueuedCount() < 4) {
        PollStep(PhaseDeadline(start));
        if (TimedOut(start)) return false;
    }

    // Phase 2 (BCC framing): noise before the start byte is dropped.
    if (m_framing == Frame::Bcc) {
        start = Clock::now();
        for (;;) {
            bool found = false;
            {
                std::lock_guard<std::mutex> lock(m_queueMutex);
                while (!m_queue.empty() && m_queue.front() != Frame::StartByte)
                    m_queue.pop_front();
                found = !m_queue.empty();
            }
            if (found) break;
            PollStep(PhaseDeadline(start));
            if (TimedOut(start)) return false;
        }
    }

    // Phase 3: the whole frame as its LEN byte announces it.
    start = Clock::now();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_queue.size() >= 4) {
                const Bytes head(m_queue.begin(), m_queue.end());
                if (Frame::IsComplete(m_framing, head)) return true;
            }
        }
        PollStep(PhaseDeadline(start));
        if (TimedOut(start)) return false;
    }
}

bool CReaderSession::ReadReply(Bytes& data) {
    const Bytes reply = TakeQueue();
    Trace("<", reply);
    switch (Frame::CheckFrame(m_framing, reply)) {
    case Frame::Check::Empty:
        m_status = LinkStatus::EmptyReply;
        return false;
    case Frame::Check::Mismatch:
        m_status = LinkStatus::CheckMismatch;
        return false;
    case Frame::Check::Ok:
        break;
    }
    const uint8_t status = reply[Frame::CodeOffset(m_framing)];
    if (status != 0) {
        m_status = status;
        return false;
    }
    data = Frame::Strip(m_framing, reply);
    return true;
}

bool CReaderSession::ReadStatusReply() {
    Bytes ignored;
    return ReadReply(ignored);
}
