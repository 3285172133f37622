// CReaderSession: one open connection to one reader over exactly one
// transport, and the frame exchange on it.
//
// The session is itself a serial port (it may stay unused) and holds the
// network, HID and Bluetooth transports. It picks one of the four when it
// opens and then talks to it only through ITransport (Transport.h). Every
// transport delivers received bytes into the session's receive queue; the
// exchange frames a command, sends it, waits for the whole reply on the
// calling thread and checks it.
#pragma once

#include "BluetoothLink.h"
#include "ComPort.h"
#include "Frame.h"
#include "HidDevice.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "TcpSocket.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CReaderSession : public CComPort {
public:
    using Bytes = Frame::Bytes;

    CReaderSession();
    ~CReaderSession() override;

    // The id the open transport gives (serial or HID or Bluetooth handle,
    // LAN id), else 0.
    int SessionId() const;

    // The transport a port name's kind picks: the session itself for serial
    // names, the held transports for the others, null for a refused name.
    // The one place where a new transport joins.
    ITransport* TransportFor(LinkPort::Kind kind);
    // Opens the transport of kind on name and makes it the session's
    // transport; false when the name is refused or the device does not open.
    bool OpenTransport(LinkPort::Kind kind, const std::string& name, const LinkLine& line);
    // The network transport as a UDP configuration channel to a device.
    bool OpenConfigChannel(const std::string& name);
    // The open transport, or null: the one chosen at open; without one, a
    // transport opened directly on its object (the session's own serial
    // port, as tests open it), in the order of the session id rule.
    ITransport* Transport() { return const_cast<ITransport*>(Active()); }

    // Filled by the caller: byte 0 the command, the rest the payload.
    Bytes& PendingCommand() { return m_pending; }
    void SetCommand(uint8_t command, const uint8_t* payload = nullptr, size_t count = 0);

    // Frames the pending command, sends it and waits for a whole reply. False
    // with status 4 (timeout), 8 (nothing pending) or 6 (payload over 255).
    bool Exchange();
    // Takes the queued reply, checks it and strips it to its data. False with
    // status 12, 10 or the reader's status byte.
    bool ReadReply(Bytes& data);
    bool ReadStatusReply();

    // The most bytes the receive queue holds; past it the oldest are dropped.
    static constexpr size_t QueueCap = 64 * 1024;
    // How long one wait step blocks at most: with a polled transport (HID,
    // Bluetooth) or network sockets, and with the program's UI hooks.
    static constexpr std::chrono::milliseconds PolledStep{1};
    static constexpr std::chrono::milliseconds UiStep{10};

    // Receive queue (each access under the queue mutex).
    size_t QueuedCount() const;
    uint8_t QueuedByte(size_t index) const;
    void RemoveQueued(size_t count);
    void ClearQueue();
    Bytes TakeQueue();

    void PollInput();
    // Raw receive: moves at most maximum queued bytes into data.
    int TakeReceived(uint8_t* data, int maximum);
    // Sends bytes unframed on the open transport.
    bool SendRaw(const uint8_t* data, size_t count);
    void CloseTransport();

    void SetTraceHook(LinkTraceHook hook) { m_traceHook = hook; }

    uint32_t ReplyTimeout() const { return m_replyTimeout; }
    void SetReplyTimeout(uint32_t ms) { m_replyTimeout = ms; }
    Frame::Framing Framing() const { return m_framing; }
    void SetFraming(Frame::Framing framing) { m_framing = framing; }
    uint32_t Address() const { return m_address; }
    void SetAddress(uint32_t address) { m_address = address; }
    int Status() const { return m_status; }
    void SetStatus(int status) { m_status = status; }
    bool KeepWindowEnabled() const { return m_keepWindowEnabled; }
    void SetKeepWindowEnabled(bool keep) { m_keepWindowEnabled = keep; }

    CTcpSocket& Tcp() { return m_tcp; }
    CHidDevice& Hid() { return m_hid; }
    CBluetoothLink& Bluetooth() { return m_bluetooth; }

    // Called by every transport for every received byte.
    void OnReceiveByte(uint8_t byte) override;

private:
    const ITransport* Active() const;
    bool WaitForReply();
    using Clock = std::chrono::steady_clock;
    Clock::time_point StepEnd(Clock::time_point deadline);
    void PollStep(Clock::time_point deadline);
    Clock::time_point PhaseDeadline(Clock::time_point start) const;
    bool TimedOut(Clock::time_point start) const;
    void NoteDropped();
    void Trace(const char* prefix, const Bytes& bytes);
    void SendFrame(const Bytes& frame);

    Bytes m_pending;
    CTcpSocket m_tcp;
    CHidDevice m_hid;
    CBluetoothLink m_bluetooth;
    ITransport* m_transport = nullptr; // chosen at open, one of the four above
    LinkTraceHook m_traceHook = nullptr;
    std::deque<uint8_t> m_queue;
    uint32_t m_replyTimeout = 500;
    Frame::Framing m_framing = Frame::Bcc;
    uint32_t m_address = 1;
    int m_status = 0;
    bool m_keepWindowEnabled = false;
    mutable std::mutex m_queueMutex;
    std::condition_variable m_received;
    uint64_t m_arrivals = 0;     // bytes ever queued, under m_queueMutex
    uint64_t m_seenArrivals = 0; // what the waiting thread last looked at
    uint64_t m_dropped = 0;      // bytes dropped at the cap since the queue was last emptied
};
