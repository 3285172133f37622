// CSimReader: the protocol engine of the simulated reader, without any I/O.
//
// An endpoint (pty, socket, in-process test) feeds it the bytes it receives,
// with their arrival times, and sends what TakeOutput hands back. The engine
// parses requests in both framings, answers in the framing it was asked in,
// keeps the six configuration blocks, the identification, the reader state,
// the line settings and a field of transponders, and can be told to misbehave
// (fault injection) so that the host side's error paths can be exercised.
//
// Status bytes of the simulated reader: 0 success, 20 bad parameters (wrong
// payload size, unknown bank, address beyond the bank's end, state 3 or more,
// unsupported rate code, read-only bank, a write to a locked transponder
// without its access password, a wrong access password), 21 no transponder (none selected or
// present, RF field off, no further inventory result), 24 unknown command.
//
// Every public member is thread-safe: one mutex guards the whole state. The
// protected hooks are called with that mutex held; an override may use the
// ...Locked helpers but must not call public members.
#pragma once

#include "Frame.h"
#include "SimTransponder.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Serial line settings: baud rate and format (0 8N1, 1 8E1, 2 8O1, 3 8N2).
struct SimLine {
    uint32_t baud = 19200;
    uint8_t format = 0;

    unsigned BitsPerByte() const { return format == 0 ? 10 : 11; }
    std::chrono::nanoseconds ByteTime() const {
        return std::chrono::nanoseconds(baud ? uint64_t(BitsPerByte()) * 1000000000ull / baud : 0);
    }
    bool operator==(const SimLine& o) const { return baud == o.baud && format == o.format; }
    bool operator!=(const SimLine& o) const { return !(*this == o); }
};

// A run of bytes the endpoint has to send.
struct SimOutput {
    Frame::Bytes bytes;
    SimLine line;                                      // settings the bytes go out with
    std::chrono::steady_clock::time_point notBefore{}; // the first byte must not leave earlier
    size_t gapAfter = 0;                               // pause after this many bytes (0: none)
    std::chrono::milliseconds gap{0};
    bool reply = true; // false: sent on the reader's own account
};

class CSimReader {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Bytes = Frame::Bytes;

    enum class FramingMode { Both, BccOnly, CrcOnly };
    enum class Block : uint8_t { Param = 0, Prefix, Suffix, Termix, Postcode, ModeParam };
    static constexpr int BlockCount = 6;

    enum Status : uint8_t {
        StatusOk = 0,
        StatusBadParameter = 20,
        StatusNoTransponder = 21,
        StatusUnknownCommand = 24,
    };

    struct Options {
        uint16_t deviceType = 0x302;
        uint8_t minorVersion = 5;
        FramingMode framing = FramingMode::Both;
        int address = -1;        // bus address answered; -1 answers every address
        SimLine line;            // line settings at power-on
        uint8_t powerOnMode = 1; // stored power-on mode, also the state at start
        std::chrono::milliseconds staleGap{50};
    };

    // What became of a complete request frame.
    enum class Fate { Answered, Silenced, OtherAddress, OtherFraming, LineMismatch };

    struct Request {
        Bytes raw;
        Frame::Framing framing;
        TimePoint at; // arrival of its last byte
        Fate fate;
    };

    struct Counters {
        size_t requests = 0; // complete frames, answered or not
        size_t answered = 0;
        size_t ignored = 0;
        size_t noiseBytes = 0; // bytes dropped while looking for a frame
        size_t replies = 0;
        size_t unsolicited = 0;
    };

    enum class TraceKind { Request, Ignored, Reply, Unsolicited, Noise };
    // Called outside the engine's mutex, on the thread that caused the event.
    using TraceHook = std::function<void(TraceKind, const Bytes&)>;

    CSimReader();
    explicit CSimReader(const Options& options);
    virtual ~CSimReader();
    CSimReader(const CSimReader&) = delete;
    CSimReader& operator=(const CSimReader&) = delete;

    // ---- input and output (the endpoint's side) ----

    // Bytes received; byte i arrived at firstAt + i * interval. garbled marks
    // bytes received while the host's line settings did not match ours: frames
    // made of them are logged but never answered.
    void Feed(const uint8_t* data, size_t count, TimePoint firstAt,
              std::chrono::nanoseconds interval = std::chrono::nanoseconds(0), bool garbled = false);
    void Feed(const Bytes& data, TimePoint at) { Feed(data.data(), data.size(), at); }

    // Drops a partial frame that has been stale for longer than the stale gap
    // and runs the reader's own timed work. Endpoints call it when NextDeadline
    // is reached (and may call it any time).
    void Tick(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;

    std::vector<SimOutput> TakeOutput();
    bool HasOutput() const;
    // Called (outside the mutex) whenever output has been queued.
    void SetOutputNotifier(std::function<void()> notifier);
    void SetTraceHook(TraceHook hook);

    // ---- identity, state, line ----

    static std::string ModelName(uint16_t deviceType); // "" for an unknown type
    Options GetOptions() const;
    void SetDeviceType(uint16_t deviceType, uint8_t minorVersion);
    void SetFramingMode(FramingMode mode);
    void SetAddressFilter(int address);
    std::string Identification() const; // "3025" for type 0x302, minor 5

    int State() const;
    void SetState(int state);
    int PowerOnMode() const;
    void SetPowerOnMode(int mode);
    SimLine Line() const;
    void SetLine(const SimLine& line);
    std::optional<uint8_t> CommandByte() const; // last byte received with 0xFF

    // ---- configuration blocks ----

    static Bytes DefaultBlock(Block block);
    Bytes GetBlock(Block block) const;
    void SetBlock(Block block, const Bytes& bytes);
    void FactoryReset(); // every block back to its default

    // ---- transponder field ----

    void PlaceTag(const CSimTransponder& tag);
    bool RemoveTag(const Bytes& epc); // the first tag with this EPC
    size_t RemoveAllTags();
    std::vector<CSimTransponder> Tags() const;
    std::optional<CSimTransponder> FindTag(const Bytes& epc) const;
    bool Rf() const;
    void SetRf(bool on);

    // ---- fault injection ----

    void FaultSilence(unsigned requests); // ignore the next n answerable requests
    void FaultSilenceAll(bool on);        // ignore all of them until switched off
    void FaultNoise(const Bytes& bytes);  // bytes sent in front of the next reply
    void FaultBadCheck();                 // next reply with a wrong BCC / CRC
    // The next reply to this command carries this status and no data. With
    // execute set the command still takes effect (a write that reports failure).
    void FaultStatus(uint8_t command, uint8_t status, bool execute = true);
    void FaultExtra(const Bytes& bytes); // appended after the next reply's check bytes
    void FaultGap(size_t afterBytes, std::chrono::milliseconds gap); // pause inside the next reply
    void SendUnsolicited(const Bytes& bytes);                        // queued for sending now
    void ClearFaults();

    // ---- observation ----

    std::vector<Request> Requests() const;
    std::vector<Bytes> Replies() const;
    Counters GetCounters() const;
    void ClearLogs(); // logs and counters
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForReplies(size_t count, std::chrono::milliseconds timeout) const;

protected:
    // Reader-mode extension points, all called with the mutex held.
    virtual void OnInput(const uint8_t* /*data*/, size_t /*count*/, TimePoint /*at*/) {}
    virtual void OnTick(TimePoint /*now*/) {}
    virtual std::optional<TimePoint> NextTickLocked() const { return std::nullopt; }
    virtual void OnTagPlaced(const CSimTransponder& /*tag*/) {}
    virtual void OnTagRemoved(const CSimTransponder& /*tag*/) {}
    virtual void OnStateChanged(int /*from*/, int /*to*/) {}

    // Helpers for the hooks (mutex held).
    void QueueUnsolicitedLocked(const Bytes& bytes, TimePoint at);
    const Bytes& BlockLocked(Block block) const { return m_blocks[static_cast<size_t>(block)]; }
    int StateLocked() const { return m_state; }
    SimLine LineLocked() const { return m_line; }
    std::vector<CSimTransponder> TagsLocked() const;

    mutable std::mutex m_mutex;

private:
    struct FieldTag {
        uint64_t id;
        CSimTransponder tag;
    };
    struct Reply {
        uint8_t status = StatusOk;
        Bytes data;
    };
    struct Notices {
        bool output = false;
        std::vector<std::pair<TraceKind, Bytes>> trace;
    };
    enum class Parse { Valid, Invalid, Pending };

    Parse ClassifyLocked(Frame::Framing framing, size_t& length) const;
    void ParseLocked();
    void DropNoiseLocked();
    void FlushNoiseTraceLocked();
    void FlushStaleLocked();
    void HandleFrameLocked(Bytes raw, Frame::Framing framing, TimePoint at, bool garbled);
    void QueueOutputLocked(SimOutput output, TraceKind kind);
    Reply ExecuteLocked(uint8_t command, const Bytes& payload);
    Reply InventoryLocked(const Bytes& payload);
    Reply SelectLocked(const Bytes& payload);
    Reply ReadTagLocked(const Bytes& payload);
    Reply WriteTagLocked(const Bytes& payload);
    Reply AccessLocked(const Bytes& payload);
    CSimTransponder* SelectedLocked();
    std::string IdentificationLocked() const;
    void SetStateLocked(int state);
    Notices TakeNoticesLocked();
    void Deliver(Notices& notices);

    Options m_options;
    std::array<Bytes, BlockCount> m_blocks;
    int m_state = 1;
    int m_powerOnMode = 1;
    SimLine m_line;
    std::optional<uint8_t> m_commandByte;

    std::vector<FieldTag> m_field;
    uint64_t m_nextTagId = 1;
    bool m_rf = true;
    std::optional<uint64_t> m_selected;
    // The selected transponder whose access password was presented since the
    // last select or inventory start (command 0xC6).
    std::optional<uint64_t> m_accessGranted;
    std::vector<std::pair<Bytes, Bytes>> m_inventory; // (PC, EPC) results not yet reported
    size_t m_inventoryNext = 0;

    // Receive buffer with each byte's arrival time and line state.
    Bytes m_in;
    std::vector<TimePoint> m_inTimes;
    std::vector<uint8_t> m_inGarbled;
    Bytes m_noise; // dropped bytes not yet traced

    // Faults.
    unsigned m_silenceCount = 0;
    bool m_silenceAll = false;
    Bytes m_noiseFault;
    bool m_badCheck = false;
    std::map<uint8_t, std::pair<uint8_t, bool>> m_forcedStatus;
    Bytes m_extraFault;
    size_t m_gapAfter = 0;
    std::chrono::milliseconds m_gap{0};

    std::vector<SimOutput> m_output;
    Notices m_pending;
    std::function<void()> m_outputNotifier;
    TraceHook m_trace;

    std::vector<Request> m_requests;
    std::vector<Bytes> m_replies;
    Counters m_counters;
    mutable std::condition_variable m_traffic;
};
