// CLanSimulator: puts a CSimReader on the network, as a reader with a network
// module (CSimNetModule) would be: the reader frame protocol over a TCP data
// connection, the device records, the search and the restart over UDP.
//
// Sockets, all on the reader's address X (127.0.0.2 and above on loopback):
//   - a TCP listener on X and the port of record 0 (default 10001); one
//     client at a time: a second connection made while one is open is
//     accepted and closed at once, so its host sees the peer close instead of
//     a reader that never answers;
//   - a UDP socket on X:30718 for requests sent to X; every answer goes out
//     of it to the request's sender address and port;
//   - a UDP socket on the broadcast address of X's network, port 30718, on
//     which each of several readers receives every broadcast search;
//   - a TCP socket bound to X:30718 that never listens: it holds X for this
//     reader, so a second reader cannot take the same address (the UDP
//     sockets share their ports with SO_REUSEADDR and would not notice).
// Both UDP sockets set SO_REUSEADDR before binding, as every socket on port
// 30718 of this machine does, so readers and host share the port.
//
// Restart (restart datagram or Restart()): the client connection and every
// socket are closed; after the restart delay the reader comes back under
// the address and port of its record 0 as it is then. A DHCP record 0 keeps
// the start address (the lease). When the new address or port cannot be
// bound the notice hook says why and the reader comes back where it was.
// Only the network side restarts; the reader's state and blocks stay.
//
// Over TCP bytes leave at once (there is no serial line to pace), an
// injected gap is kept, and output that is due later (telegrams of reader
// mode) waits for its time. What the reader sends while no client is
// connected is dropped.
//
// Every public member may be called from any thread.
#pragma once

#include "SimNetModule.h"
#include "SimReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLanSimulator {
public:
    struct Options {
        CSimNetModule::Address address{127, 0, 0, 2}; // where the reader starts: its DHCP lease
        std::string broadcast;                        // empty: the broadcast address of the address's network
        std::chrono::milliseconds restartDelay{1500};
    };

    // One datagram as the reader saw or sent it.
    struct Datagram {
        bool incoming = true;
        std::string peer; // "127.0.0.1:30718"
        Frame::Bytes bytes;
        CSimNetModule::Kind kind = CSimNetModule::Kind::Invalid; // of an incoming one
        bool broadcast = false;                                  // received on the broadcast socket
        bool silenced = false;
    };

    enum class TraceKind { DatagramIn, DatagramIgnored, DatagramOut, Notice };
    // Called on the simulator's thread, outside its locks.
    using TraceHook = std::function<void(TraceKind, const std::string&)>;

    CLanSimulator(CSimReader& reader, CSimNetModule& module, const Options& options);
    ~CLanSimulator();
    CLanSimulator(const CLanSimulator&) = delete;
    CLanSimulator& operator=(const CLanSimulator&) = delete;

    // Binds the sockets at record 0's address (the start address for DHCP)
    // and port and starts the I/O thread; after Unplug it plugs in again.
    bool Start(std::string* error = nullptr);
    // Ends the I/O thread and closes every socket.
    void Stop();
    // The reader leaves the network: the client connection is closed, the
    // address and ports are given up until Start.
    void Unplug();
    // Closes the TCP connection of the client, if one is connected; the
    // reader stays reachable. False when no client was connected.
    bool Disconnect();
    // As the restart datagram does.
    void Restart();

    bool IsRunning() const;
    bool IsUnplugged() const;
    bool IsRestarting() const;
    bool ClientConnected() const;
    std::string Address() const; // where the sockets are (or were last)
    uint16_t Port() const;
    std::string Broadcast() const;
    // The search list's form of this reader: "127.0.0.2-10001", a DHCP
    // reader as "[NAME]127.0.0.2-10001".
    std::string ListForm() const;
    Options GetOptions() const;
    CSimNetModule& Module() { return m_module; }
    CSimReader& Reader() { return m_reader; }

    size_t Restarts() const; // restarts completed (the reader is back)
    bool WaitForRestarts(size_t count, std::chrono::milliseconds timeout) const;
    size_t Connections() const; // clients accepted
    bool WaitForConnections(size_t count, std::chrono::milliseconds timeout) const;
    std::vector<Datagram> Datagrams() const; // newest 1024
    bool WaitForDatagrams(size_t incoming, std::chrono::milliseconds timeout) const;
    void ClearLogs();

    void SetTraceHook(TraceHook hook);

    // The broadcast address of the interface network that holds address,
    // else the one of record 0's mask.
    static std::string BroadcastFor(const CSimNetModule::Address& address, uint8_t hostBits);

private:
    struct Sockets;
    using Clock = std::chrono::steady_clock;

    void Run();
    bool Post(std::function<void()> task); // false when the I/O thread does not run
    bool BindLocked(const CSimNetModule::Address& address, uint16_t port, std::string& error);
    void CloseSocketsLocked();
    void CloseClientLocked();
    void ServeDatagram(int fd, bool broadcast);
    void ServeClient();
    void AcceptClient();
    void BeginRestartLocked();
    void FinishRestart();
    void Notice(TraceKind kind, const std::string& text);
    void LogDatagram(Datagram datagram);

    CSimReader& m_reader;
    CSimNetModule& m_module;
    Options m_options;

    mutable std::mutex m_control; // guards everything below but the thread's own output queue
    mutable std::condition_variable m_changed;
    std::unique_ptr<Sockets> m_sockets;
    CSimNetModule::Address m_address{};
    uint16_t m_port = 0;
    std::string m_broadcast;
    std::string m_clientPeer;
    bool m_running = false;
    bool m_unplugged = false;
    bool m_restarting = false;
    Clock::time_point m_restartAt{};
    size_t m_restarts = 0;
    size_t m_connections = 0;
    std::deque<Datagram> m_datagrams;
    size_t m_incoming = 0;
    std::vector<std::function<void()>> m_tasks;
    TraceHook m_trace;

    int m_wake = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};
