// CBtModuleSimulator: a Bluetooth adapter module on the master side of a
// pseudo-terminal, with simulated readers as the remote devices behind it.
//
// The host opens the slave path as the module's serial port and drives it
// with module packets (BtModulePacket.h): an inquiry reports every remote
// device (device-found indications spread over the inquiry time, then the
// inquiry confirm; opcode 0x26 ends it early), remote names, one link at a
// time, data requests carried to the linked reader's protocol engine and the
// engine's answers carried back as data indications, and the release.
//
// Faults: refused links, a link lost after a number of carried frames or on
// demand, junk bytes in front of every packet, packets written in small
// pieces, names longer than 30 bytes and silence (nothing answered).
//
// One I/O thread does all the work; every public member may be called from
// any thread. The simulator keeps a slave fd open itself, so the host can
// close and reopen the port.
#pragma once

#include "BtModulePacket.h"
#include "SimReader.h"

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CBtModuleSimulator {
public:
    using Address = std::array<uint8_t, 6>; // in the order the module reports it
    using Bytes = BtModulePacket::Bytes;

    static constexpr uint32_t ReaderClass = 0x000500;
    // Link confirm status of a refused link and of a device the module does not know.
    static constexpr uint8_t StatusRefused = 0x01;
    static constexpr uint8_t StatusNoDevice = 0x04;
    // Reason in the link-lost indication.
    static constexpr uint8_t ReasonLost = 0x08;
    // Most reader bytes one data indication carries.
    static constexpr size_t DataChunk = 128;

    struct Remote {
        Address address{};
        uint32_t deviceClass = ReaderClass;
        std::string name;
        std::shared_ptr<CSimReader> reader; // the protocol engine behind it
    };

    struct Options {
        std::string linkPath; // symlink to the slave, replaced if it is a symlink already
        bool announce = true; // announce file for port lists
        std::string label;    // announce label; empty: "Simulated Bluetooth adapter module"
        std::chrono::milliseconds inquiryTime{1500};
        std::chrono::milliseconds linkDelay{20}; // from the link confirm to the link indication
        bool refuse = false;                     // every link request refused
        unsigned loseAfter = 0;                  // link lost once after this many carried frames (0: never)
        bool junk = false;                       // junk bytes in front of every packet
        bool split = false;                      // every packet written in pieces of SplitPiece bytes
        bool silent = false;                     // nothing answered
        bool longName = false;                   // names reported 40 bytes long
    };
    static constexpr size_t SplitPiece = 3;
    static constexpr std::chrono::milliseconds SplitPause{2};
    static const Bytes& JunkBytes(); // what --bt-junk puts in front of every packet

    struct Status {
        unsigned inquiries = 0;
        unsigned links = 0; // links made
        unsigned refused = 0;
        unsigned lost = 0;
        unsigned releases = 0;
        unsigned framesCarried = 0; // data requests given to an engine
        unsigned dataDropped = 0;   // data requests without a link
        bool inquiryRunning = false;
        std::optional<Address> linked;
        std::vector<std::string> lastRequests; // newest last, at most RequestLog entries
        size_t noiseBytes = 0;                 // host bytes dropped while looking for a packet
    };
    static constexpr size_t RequestLog = 8;

    // Without remotes the module has nothing to find; remotes without a name
    // are named after their model with " BT".
    CBtModuleSimulator(std::vector<Remote> remotes, const Options& options);
    ~CBtModuleSimulator();
    CBtModuleSimulator(const CBtModuleSimulator&) = delete;
    CBtModuleSimulator& operator=(const CBtModuleSimulator&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();
    std::string SlavePath() const;
    std::string DevicePath() const; // the link if one was asked for, else the slave path
    std::string AnnounceFile() const;

    const std::vector<Remote>& Remotes() const { return m_remotes; }
    Status GetStatus() const;
    // The name the module reports for a remote (40 bytes with the long-name fault).
    std::string ReportedName(const Remote& remote) const;

    void SetRefuse(bool on);
    void SetSilent(bool on);
    void LoseLink(); // the link drops now (link-lost indication), if one is up

    // "bt", "bt lose", "bt refuse on|off": the console's Bluetooth commands.
    std::string Command(const std::vector<std::string>& words);
    static std::string Help();

    // Called on the I/O thread with "> packet" and "< packet" lines.
    void SetTraceHook(std::function<void(const std::string&)> hook);

    // "001122334455" or "00:11:22:33:44:55".
    static std::optional<Address> ParseAddress(const std::string& text);
    static std::string FormatAddress(const Address& address);

private:
    struct WakeFd;
    using Clock = std::chrono::steady_clock;
    struct Timed {
        Clock::time_point at;
        enum Kind { Found, InquiryDone, LinkUp } kind;
        size_t remote = 0;
        uint8_t port = 0;
    };

    void Run();
    void CloseLocked();
    void HandleLocked(const BtModulePacket::Packet& packet, Clock::time_point now);
    void SendLocked(uint8_t type, uint8_t opcode, const Bytes& payload);
    void DropLinkLocked(bool notify);
    void CarryEngineOutputLocked(Clock::time_point now);
    std::optional<size_t> FindLocked(const uint8_t* address) const;
    std::optional<Clock::time_point> NextDeadlineLocked() const;

    std::vector<Remote> m_remotes;
    Options m_options;
    std::shared_ptr<WakeFd> m_wake;
    mutable std::mutex m_mutex;
    std::function<void(const std::string&)> m_trace;

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_announceFile;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_running = false;

    BtModulePacket::Assembler m_in;
    std::deque<uint8_t> m_out;
    Clock::time_point m_nextPiece{};
    std::vector<Timed> m_timed;
    std::optional<size_t> m_linked;
    std::deque<SimOutput> m_engineOutput;
    std::optional<Clock::time_point> m_loseAt; // pending link loss of the lose-after fault
    bool m_loseFired = false;
    unsigned m_linkFrames = 0; // data requests carried on the current link
    Status m_status;
    std::vector<std::string> m_traceLines; // delivered outside the mutex
};
