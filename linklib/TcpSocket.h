// CTcpSocket: the network transport of a session (TCP data connection, or a
// UDP configuration channel) and the broadcast search for network readers.
// Until the network transport is built nothing opens and searches find
// nothing.
#pragma once

#include "Transport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CReaderSession;

class CTcpSocket : public ITransport {
public:
    explicit CTcpSocket(CReaderSession* session) : m_session(session) {}
    ~CTcpSocket() override = default;
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // Positive while the socket holds a LAN id, else 0.
    int LanId() const { return m_lanId; }

    bool ConnectTcp(const std::string& address);
    bool OpenChannel(const std::string& address);
    int Search(std::vector<std::string>& list, int listenMs, bool verify);
    bool ReadRecord(int number, std::vector<uint8_t>& record);
    bool WriteRecord(int number, const std::vector<uint8_t>& record);
    void Restart();
    void CloseChannel();
    bool Send(const uint8_t* data, size_t count) override;
    void CloseTcp();

    // The session's network transport: the TCP data connection to "a.b.c.d",
    // "a.b.c.d-port" or "[NAME]"; input comes in through the dispatcher.
    bool OpenLink(const std::string& name, const LinkLine&) override { return ConnectTcp(name); }
    int LinkId() const override { return LanId(); }
    bool DispatchedInput() const override { return true; }
    void CloseLink() override { CloseTcp(); }

private:
    [[maybe_unused]] CReaderSession* m_session; // its receive handler delivers into the session
    int m_lanId = 0;
};
