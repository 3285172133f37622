// CTcpSocket: the network transport of a session, in one of two modes: the
// TCP data connection that carries the reader's frames, or the UDP
// configuration channel that reads and writes the network module's device
// records and restarts it. The same object runs the broadcast search that
// lists the readers on the network.
//
// Everything runs on the calling (user-interface) thread. The socket is
// non-blocking and a source of the library dispatcher: every wait of the
// library dispatches, which reads the socket (OnDispatch). Received TCP bytes
// go to the session's receive queue; received datagrams are queued here,
// each prefixed with its sender's address, under the socket's mutex.
//
// Datagrams of the module (UDP port 30718), answers with a 4-byte header
// whose byte 3 is the answer code: see LanWire.h.
#pragma once

#include "Dispatcher.h"
#include "LanWire.h"
#include "Transport.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CReaderSession;

class CTcpSocket : public ITransport, private CDispatcher::Source {
public:
    explicit CTcpSocket(CReaderSession* session) : m_session(session) {}
    ~CTcpSocket() override;
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // Positive while the socket holds a LAN id, else 0.
    int LanId() const { return m_lanId; }
    bool IsConnected() const { return m_connected; }
    bool InConfigurationMode() const { return m_configMode; }
    const std::string& Host() const { return m_host; }
    int Port() const { return m_port; }

    // The TCP data connection to "a.b.c.d", "a.b.c.d-port" or "[NAME]" (a
    // DHCP name, resolved by a search); takes a LAN id.
    bool ConnectTcp(const std::string& address);
    // The UDP configuration channel to one device (the same address texts;
    // the port is not used); takes a LAN id.
    bool OpenChannel(const std::string& address);
    // Broadcast search: the entries heard within listenMs (verify: only
    // readers of this family, DHCP readers by their bracketed name). Returns
    // the number of entries.
    int Search(std::vector<std::string>& list, int listenMs, bool verify);
    // Device records over the channel (number 0..15), each answer awaited
    // 500 ms.
    bool ReadRecord(int number, std::vector<uint8_t>& record);
    bool WriteRecord(int number, const std::vector<uint8_t>& record);
    // The restart datagram; no answer is awaited.
    void Restart();
    void CloseChannel();
    // Sends on the TCP connection, connecting again first when the
    // connection went down.
    bool Send(const uint8_t* data, size_t count) override;
    // Graceful close: the sending direction shut down, the peer's close
    // awaited (at most 1000 ms), then the socket closed.
    void CloseTcp();

    // The session's network transport: the TCP data connection; input comes
    // in through the dispatcher.
    bool OpenLink(const std::string& name, const LinkLine&) override { return ConnectTcp(name); }
    int LinkId() const override { return LanId(); }
    bool DispatchedInput() const override { return true; }
    void CloseLink() override;
    // The peer closed the data connection (or it broke) and no send has
    // made it again yet.
    bool IsLost() const override { return m_lanId != 0 && !m_configMode && !m_connected; }

    // Queued datagrams (each the sender's 4 address bytes and the datagram).
    size_t QueuedDatagrams() const;
    // The oldest queued datagram taken apart; false when none is queued.
    bool TakeDatagram(LanWire::Datagram& datagram);

    // The channel host that names "the broadcast address" rather than one
    // reader; its datagrams go where BroadcastAddress says.
    static constexpr const char* BroadcastHost = "255.255.255.255";
    // The address a broadcast goes to: KVPLM_LAN_BROADCAST if set, else
    // 255.255.255.255. False when the variable holds no dotted address.
    static bool BroadcastAddress(LanWire::Address& address);
    // The host's own address as the host-name look-up gives it ("" when the
    // look-up fails), and every address whose datagrams are the host's own:
    // that one, and where it is a loopback address also those of the host's
    // interfaces.
    static std::string OwnAddress();
    static std::vector<LanWire::Address> OwnAddresses();
    // The LAN ids in use in this process, smallest first.
    static std::vector<int> LanIdsInUse();

    // The most datagrams kept unread; past it the oldest go.
    static constexpr size_t DatagramQueueCap = 256;
    // How long a TCP connect may take before it counts as failed.
    static constexpr int ConnectWaitMs = 3000;

private:
    // CDispatcher::Source: the receive notification.
    void OnDispatch() override;
    int PollFd() const override;

    void ReceiveDatagrams();
    void ReceiveStream();
    void CloseSocket();
    bool OpenUdp(const LanWire::Address& bind, bool broadcast);
    bool Connect(bool bindDevicePort);
    bool WaitConnected(int fd);
    std::string Resolve(const std::string& text);
    bool SendDatagram(const LanWire::Bytes& datagram);
    bool AwaitAnswer(uint8_t code, size_t minimumPayload, LanWire::Bytes* payload);
    void TakeLanId();
    void ReleaseLanId();

    CReaderSession* m_session; // receives the TCP bytes
    int m_fd = -1;
    std::string m_host;
    int m_port = LanWire::DefaultTcpPort;
    bool m_connected = false;
    bool m_configMode = false;
    bool m_registered = false;
    int m_lanId = 0;
    std::vector<LanWire::Address> m_own; // own addresses, dropped in configuration mode
    mutable std::mutex m_mutex;          // guards m_datagrams
    std::deque<LanWire::Bytes> m_datagrams;
};
