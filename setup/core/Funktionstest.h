// CFunktionstest: the function test without its dialog. It holds a session
// with the reader running (state 1), gathers what the reader sends into
// telegrams (a pause of more than 70 ms starts a new one, and so does a
// telegram of MaxTelegram bytes), keeps the ASCII
// and hex views and the telegram counter, and sends the request byte, the
// relay bytes and the buzzer byte. Each tick also asks the link whether the
// device is still there: once it went away (unplugged, hung up) the test is
// lost, takes nothing more and sends nothing. The clock is injectable for
// tests.
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
    // A reader that never pauses for 70 ms (babbling, or sending its next
    // telegram within the gap) would gather one telegram, and views, for
    // ever: once a telegram holds this many bytes, the next bytes start a
    // new one as after a pause. The longest telegram a configuration makes is
    // a few kilobytes.
    static constexpr size_t MaxTelegram = 16384;

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

    // A timer tick: takes what arrived with LinkReceiveRaw, then asks
    // LinkIsConnected. True when the views changed. Ticks of other timers,
    // and ticks once the connection is lost, are ignored.
    bool OnTimer(int timerId);
    // Bytes that arrived now (the tick's work after LinkReceiveRaw).
    bool OnReceived(const uint8_t* bytes, size_t count);

    // "Sende": the request byte goes out; both views are emptied.
    // "Relais": 0x11 when pressed, 0x13 when released. "Summer": 0x07.
    // Each is false when nothing went out: without a session, or when the
    // connection is lost (then the views stay as they are; Lost() tells).
    bool Send();
    bool Relay(bool pressed);
    bool Buzzer();

    // Whether the reader's device went away while the test held it; the
    // dialog then shows LostText() and the command line ends with it.
    bool Lost() const { return m_lost; }
    // The text that says so (string LostTextId), and as a message box.
    static constexpr int LostTextId = 620;
    static std::string LostText();
    static SetupMessage LostMessage();

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
    // The next bytes will start a new telegram although no pause came.
    bool TelegramFull() const { return m_telegram.size() >= MaxTelegram; }
    Clock::time_point LastReception() const { return m_lastReception; }

    // Whether the mode sends without a request (0, 3, 5, 6): the counter
    // counts telegrams, "Sende" is disabled.
    static bool CountingMode(int mode);

private:
    void ClearViews();
    // Asks the link whether the session's device is still there; false (and
    // lost from then on) once it is not.
    bool CheckConnected();
    bool SendBytes(const unsigned char* bytes, int count);

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
    bool m_lost = false;
    std::string m_ascii;
    std::string m_hex;
    std::vector<uint8_t> m_telegram;
    Clock::time_point m_lastReception{};
};
