// CSimOutputReader: the simulated reader with its reader-mode output. In
// state 1 a reader type (0x30x) sends what its stored configuration asks:
//   mode 0 and 6: a telegram when a transponder is placed (or is present
//                 when the reader enters state 1);
//   mode 1:       a telegram when the request character arrives on its own
//                 (not inside a frame, and nothing else within 20 ms), with
//                 or without a transponder;
//   mode 3 and 5: a telegram at once and then every cycle time while a
//                 transponder is present;
//   modes 0, 3, 5, 6: the removal sequence when a transponder is taken away.
// Telegrams are formatted by SimTelegram. Programmer types stay silent.
#pragma once

#include "SimReader.h"
#include "SimTelegram.h"

#include <optional>

class CSimOutputReader : public CSimReader {
public:
    // A lone request character is one after which nothing arrives this long.
    static constexpr std::chrono::milliseconds RequestQuiet{20};
    // Bytes that make no frame for this long are forgotten, as the engine does.
    static constexpr std::chrono::milliseconds StaleInput{50};
    // Entering state 1 is answered first; what the state change starts
    // follows this much later, so it never runs into the status reply.
    static constexpr std::chrono::milliseconds EnterDelay{30};

    CSimOutputReader();
    explicit CSimOutputReader(const Options& options);

protected:
    void OnInput(const uint8_t* data, size_t count, TimePoint at) override;
    void OnTick(TimePoint now) override;
    std::optional<TimePoint> NextTickLocked() const override;
    void OnTagPlaced(const CSimTransponder& tag) override;
    void OnTagRemoved(const CSimTransponder& tag) override;
    void OnStateChanged(int from, int to) override;

private:
    bool ActiveLocked() const;
    int ModeLocked() const;
    std::chrono::milliseconds CycleLocked() const;
    uint8_t RequestByteLocked() const;
    SimTelegram::Blocks BlocksLocked() const;
    void QueueLocked(const SimTelegram::Output& output, TimePoint at);
    void StartCycleLocked(TimePoint now);

    bool m_readerType;
    std::optional<TimePoint> m_entered;   // state 1 entered: its telegrams are due then
    std::optional<TimePoint> m_request;   // a request character waiting for its quiet time
    std::optional<TimePoint> m_nextCycle; // next cyclic telegram
    std::optional<TimePoint> m_lastInput;
    Bytes m_tail; // received bytes that are not (yet) a complete frame
};
