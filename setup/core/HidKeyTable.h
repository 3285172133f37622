// CHidKeyTable: the keyboard table of an HID reader. The reader types like a
// USB keyboard and has to know which key and modifier give each character:
// for each PC keyboard scan code (set 1, 0..127) the character of the key
// alone ("Normal"), with Shift and with AltGr, 0 for none. Characters are
// single bytes of the Windows Latin 1 code page, as in the .mkr file.
//
// The HID parameter page shows 48 key buttons arranged like the main block
// of a keyboard; each belongs to one scan code and one HID keyboard usage.
// Only the keys of a button travel to and from the reader.
//
// The table talks to the reader through IHidChannel, the HID transport's
// interface channel; its production form calls LinkHidExchange/LinkHidSend
// on a session, tests give a recording fake.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CProfileFile;

// The interface channel of an HID session.
class IHidChannel {
public:
    virtual ~IHidChannel() = default;
    // One request, its answer in reply: the reply length, or negative on failure.
    virtual int Exchange(const uint8_t* request, int count, uint8_t* reply, int size) = 0;
    // One report without an answer: 0, or -1 on failure.
    virtual int Send(const uint8_t* bytes, int count) = 0;
};

// IHidChannel over LinkHidExchange/LinkHidSend of a session.
class CLinkHidChannel : public IHidChannel {
public:
    explicit CLinkHidChannel(int session) : m_session(session) {}
    int Exchange(const uint8_t* request, int count, uint8_t* reply, int size) override;
    int Send(const uint8_t* bytes, int count) override;

private:
    int m_session;
};

// Makes the channel of a session (the default makes a CLinkHidChannel).
using HidChannelFactory = std::function<std::unique_ptr<IHidChannel>(int session)>;
HidChannelFactory LinkHidChannels();

// One key button: its scan code, its HID keyboard usage, the caption of its
// resource and its keyboard row (0 digits, 1 upper letters, 2 middle
// letters, 3 lower letters).
struct HidKeyButton {
    uint8_t scanCode;
    uint8_t usage;
    const char* caption; // UTF-8
    int row;
};

class CHidKeyTable {
public:
    static constexpr int ScanCodes = 128;
    static constexpr int ButtonCount = 48;
    static constexpr int Attempts = 5;        // tries per query or setting
    static constexpr int QueryReplySize = 10; // reply buffer of a key query
    static constexpr uint8_t QueryCommand = 0x11;
    static constexpr uint8_t SetCommand = 0x12;
    // The modifier bytes of a key setting, and the modifier bits of a query reply.
    static constexpr uint8_t ModNone = 0x00, ModShift = 0x02, ModAltGr = 0x40;
    static constexpr uint8_t ModLeftShift = 0x02, ModRightShift = 0x20, ModRightAlt = 0x40;

    enum Level { Normal = 0, Shift = 1, AltGr = 2 };
    static constexpr int Levels = 3;
    // The profile key's suffix of a level: "Normal", "Shift", "AltGr".
    static const char* LevelName(Level level);
    // The .mkr section of the table.
    static constexpr const char* Section = "HID_KEYS";
    // "ScanCode%03d" followed by the level's name.
    static std::string ProfileKey(int scanCode, Level level);

    // The 48 buttons in their rows, left to right (13, 13, 11, 11).
    static const std::array<HidKeyButton, ButtonCount>& Buttons();
    // The button (0..47) of a scan code 0..89 or a usage 0..103; -1 none
    // (also for values outside those ranges).
    static int ButtonOfScanCode(int scanCode);
    static int ButtonOfUsage(int usage);

    CHidKeyTable() = default;

    // 0 = none; scan codes outside 0..127 read as 0 and are not stored.
    uint8_t Char(int scanCode, Level level) const;
    void SetChar(int scanCode, Level level, uint8_t character);
    void Clear();
    bool IsEmpty() const;
    bool operator==(const CHidKeyTable& other) const { return m_chars == other.m_chars; }
    bool operator!=(const CHidKeyTable& other) const { return !(*this == other); }

    // A button's text (UTF-8): the Shift character (a blank if none), "\n",
    // the Normal character (a blank if none), "\t", the AltGr character
    // (nothing if none); every "&" doubled so that it shows.
    std::string ButtonText(int button) const;

    // Section HID_KEYS: every ScanCode%03d Normal/Shift/AltGr, one character,
    // empty for none. Reading takes each value's first byte (none when
    // empty); a missing key is none.
    void ReadProfile(const CProfileFile& file);
    // Writes all 384 keys, for each scan code 0..127 Normal, Shift, AltGr.
    void WriteProfile(CProfileFile& file) const;
    // Whether a file has the section at all.
    static bool InProfile(const CProfileFile& file);

    // "Aus Gerät laden" over an open channel: clears the table and asks the
    // reader for each character 32..126 (0x11 c; five attempts while the
    // answer is negative). False when a character got no answer in five
    // attempts; the table then holds what came before. A reply's modifier
    // with right Alt (0x40) gives AltGr, else one with Shift (0x02, 0x20)
    // gives Shift, else Normal. A reply whose byte 1 is another character
    // of 32..126 (a late answer to an earlier query) counts as a failed
    // attempt.
    bool LoadFromReader(IHidChannel& channel);

    // The key settings of a transfer, in the order they are sent: for each
    // scan code with a button, in scan code order, 12 c mod usage for
    // Normal (00), Shift (02), AltGr (40), characters 0 left out; then the
    // Escape character on the Escape key, 12 1B 00 29.
    std::vector<std::array<uint8_t, 4>> TransferReports() const;
    // Sends them, each up to five times until it succeeds. False when one
    // failed five times: the transfer stops there.
    bool Transfer(IHidChannel& channel) const;

private:
    std::array<std::array<uint8_t, Levels>, ScanCodes> m_chars{};
};
