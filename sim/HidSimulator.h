// CHidSimulator: the simulated reader as a USB HID device, reached through
// a Unix socket that the stand-in hidapi library (sim/hidapi) connects to;
// see sim/hidapi/HidSimSocket.h for the socket and its packets.
//
// Reports are 9 bytes long with the report id (the device has no report ids,
// so input reports travel as 8 bytes, as a hidraw read gives them):
//   output, data channel       00 n payload (n 1..7): payload fed to the engine
//   output, interface channel  00 80+n payload: an interface command
//   input                      n payload, zeros to 8 bytes (n 1..7)
// The engine's replies go back in input reports of at most 7 bytes.
// Interface commands: 10 v link state (recorded), 11 c key query (answered
// with the input report 04 11 c modifier usage, usage 0 when the table has
// no key for c), 12 c modifier usage key setting (stored, not answered);
// others are recorded and not answered. A report of another length, with a
// report id other than 0 or a count outside 1..7 is recorded and ignored.
// What the engine sends on its own account (reader-mode telegrams, the
// console's send) a real HID reader types on its keyboard interface, which
// the simulator cannot reach: it is recorded as typed, not sent, together
// with the key presses the keyboard table gives for it at that moment
// (ReaderOutput::TypeBytes, the output engine's typing).
//
// One host at a time may hold the device open; enumeration requests are
// answered meanwhile. Thread-safe; one I/O thread per running simulator.
#pragma once

#include "SimKeyTable.h"
#include "SimReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class CHidSimulator {
public:
    using Bytes = CSimReader::Bytes;
    using Clock = std::chrono::steady_clock;

    static constexpr size_t ReportLength = 9; // with the report id byte
    static constexpr size_t MaxPayload = ReportLength - 2;

    struct Options {
        std::optional<std::string> serial = std::string("4400-000001"); // nullopt: no serial string
        uint16_t vendor = 0x16C0;
        uint16_t product = 0x2913;
        uint16_t release = 0x0100;
        std::string manufacturer = "kvplm";
        std::string productName; // "" = "Simulated " + model
        std::string directory;   // "" = HidSimSocket::Directory() at Start
        bool silent = false;     // no input reports at all
        bool ignoreKeys = false; // no answers to key queries
        CSimKeyTable table = *CSimKeyTable::Named("us");
    };

    struct Event {
        enum class Kind {
            Opened,    // a host opened the device
            Closed,    // the host closed it
            LinkState, // interface command 0x10; bytes = the payload
            KeyQuery,  // 0x11; answer = the key answered (none when not answered)
            KeySet,    // 0x12
            Interface, // another interface command
            Ignored,   // a malformed report; bytes = the whole report
            Typed,     // bytes the reader sent on its own account
        };
        Kind kind;
        Bytes bytes;
        std::optional<CSimKeyTable::Key> answer;
    };
    using TraceHook = std::function<void(const std::string&)>;

    explicit CHidSimulator(CSimReader& reader);
    CHidSimulator(CSimReader& reader, const Options& options);
    ~CHidSimulator();
    CHidSimulator(const CHidSimulator&) = delete;
    CHidSimulator& operator=(const CHidSimulator&) = delete;

    // Creates the socket and starts the I/O thread; also plugs the device
    // in again after Unplug (under a new socket name).
    bool Start(std::string* error = nullptr);
    // Ends the thread, drops the host and removes the socket.
    void Stop();
    // As Stop: the host's reads fail (-1), as when the reader is pulled.
    void Unplug();

    bool IsRunning() const;
    bool IsUnplugged() const;
    std::string SocketPath() const;
    Options GetOptions() const;
    bool HostConnected() const;
    std::optional<uint8_t> LinkState() const; // last value of command 0x10

    CSimKeyTable Table() const;
    void SetTable(const CSimKeyTable& table);
    void SetSilent(bool on);
    void SetIgnoreKeys(bool on);
    // Queues a raw input report (as the host's read gets it, up to 63 bytes).
    void SendReport(const Bytes& report);

    std::vector<Event> Events() const;
    // The key presses of everything typed, in order (cleared with the events).
    std::vector<ReaderOutput::KeyPress> TypedKeys() const;
    void ClearEvents();
    bool WaitForEvents(size_t count, std::chrono::milliseconds timeout) const;
    // One line for the log and the console's hidlog.
    static std::string Describe(const Event& event);
    // Called for every event, on the I/O thread, outside the lock.
    void SetTraceHook(TraceHook hook);

    CSimReader& Reader() { return m_reader; }

private:
    struct WakeFd;
    struct Pending;

    void Run();
    void CloseLocked();
    void Record(Event event);
    void RecordTyped(const Bytes& bytes);
    void HandleReport(const uint8_t* data, size_t size, std::vector<Bytes>& answers);
    std::string ProductNameLocked() const;

    CSimReader& m_reader;
    mutable std::mutex m_control; // Start/Stop
    mutable std::mutex m_mutex;   // options, table, events, state
    mutable std::condition_variable m_eventsChanged;
    Options m_options;
    std::vector<Event> m_events;
    std::vector<ReaderOutput::KeyPress> m_typedKeys;
    std::optional<uint8_t> m_linkState;
    bool m_hostConnected = false;
    std::vector<Bytes> m_injected;
    TraceHook m_trace;

    std::shared_ptr<WakeFd> m_wake;
    int m_listen = -1;
    std::string m_socketPath;
    ino_t m_socketInode = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    bool m_unplugged = false;
};
