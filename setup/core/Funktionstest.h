// CFunktionstest: the function test without its dialog. It holds a session
// with the reader running (state 1), gathers what the reader sends into
// telegrams (a pause of more than 70 ms starts a new one), keeps the ASCII
// and hex views and the telegram counter, and sends the request byte, the
// relay bytes and the buzzer byte. The clock is injectable for tests.
#pragma once

#include "SetupHost.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CFunktionstest {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    static constexpr int TimerId = 10;
    static constexpr std::chrono::milliseconds TimerInterval{50};
    static constexpr std::chrono::milliseconds TelegramGap{70};

    enum Control {
        IdAscii = 1030,
        IdHex = 1029,
        IdMode = 1032,
        IdRequest = 1028, // request bytes in hex
        IdSend = 1027,    // "Sende"
        IdRelay = 1038,   // "Relais", push-like check button
        IdBuzzer = 1031,  // "Summer"
        IdCounter = 1033,
        IdCounterLabel = 1034, // "Zähler :"
    };

    explicit CFunktionstest(Now now = Clock::now);
    ~CFunktionstest();
    CFunktionstest(const CFunktionstest&) = delete;
    CFunktionstest& operator=(const CFunktionstest&) = delete;

    // Opening: connect (messages on), read the ModeParam block, start the
    // reader (state 1). False when the dialog has to close again (the session
    // is closed then). connectionFlags bit ConnectionFlag::Relay shows the relay button.
    bool Open(ISetupHost& host, int connectionFlags);
    // Closing: the session is closed (state 2 first) through the host given
    // to Open, which has to live that long. Safe to call twice.
    void Close();
    bool IsOpen() const { return m_session > 0; }
    int Session() const { return m_session; }

    // The same, for a mode byte already known (tests, or an open session).
    void Start(int session, uint8_t modeByte, uint8_t requestByte, int connectionFlags);

    // A timer tick: takes what arrived with LinkReceiveRaw. True when the
    // views changed. Ticks of other timers are ignored.
    bool OnTimer(int timerId);
    // Bytes that arrived now (the tick's work after LinkReceiveRaw).
    bool OnReceived(const uint8_t* bytes, size_t count);

    // "Sende": the request byte goes out; both views are emptied.
    void Send();
    // "Relais": 0x11 when pressed, 0x13 when released.
    void Relay(bool pressed);
    // "Summer": 0x07.
    void Buzzer();

    int Mode() const { return m_mode; }
    std::string ModeText() const { return std::to_string(m_mode); }
    uint8_t RequestByte() const { return m_request; }
    const std::vector<uint8_t>& SendBuffer() const { return m_sendBuffer; }
    std::string RequestText() const; // "%02X " of the send buffer
    bool SendEnabled() const { return m_sendEnabled; }
    bool CounterVisible() const { return m_counterVisible; }
    bool RelayVisible() const { return m_relayVisible; }
    int Counter() const { return m_counter; }
    std::string CounterText() const { return m_counter ? std::to_string(m_counter) : std::string(); }

    // The views: per byte the byte itself and three blanks; "%02X " per byte.
    // The ASCII view holds the raw bytes (a display shows them in the
    // Windows Latin 1 code page).
    const std::string& AsciiView() const { return m_ascii; }
    const std::string& HexView() const { return m_hex; }
    // The bytes of the telegram being gathered.
    const std::vector<uint8_t>& Telegram() const { return m_telegram; }
    Clock::time_point LastReception() const { return m_lastReception; }

    // Whether the mode sends without a request (0, 3, 5, 6): the counter
    // counts telegrams, "Sende" is disabled.
    static bool CountingMode(int mode);

private:
    void ClearViews();

    Now m_now;
    ISetupHost* m_host = nullptr;
    int m_session = 0;
    int m_mode = 0;
    uint8_t m_request = '?';
    std::vector<uint8_t> m_sendBuffer;
    bool m_sendEnabled = true;
    bool m_counterVisible = false;
    bool m_relayVisible = false;
    int m_counter = 0;
    std::string m_ascii;
    std::string m_hex;
    std::vector<uint8_t> m_telegram;
    Clock::time_point m_lastReception{};
};
