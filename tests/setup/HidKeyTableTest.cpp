#include "HidKeyTable.h"
#include "FakeHidChannel.h"
#include "FakeHost.h"
#include "HostKeyboard.h"
#include "ParamRegisterkarteHID.h"
#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using L = CHidKeyTable::Level;

using FakeChannel = FakeHidChannel;
const auto Keys = FakeHidChannel::Keys;

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02X ", b);
        text += part;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// Unsets a variable for the lifetime of the object and restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// The host's keymap without the host: no display, no layout variables.
struct NoHostKeyboard {
    ScopedEnv display{"DISPLAY", nullptr};
    ScopedEnv layout{"XKB_DEFAULT_LAYOUT", nullptr};
    ScopedEnv variant{"XKB_DEFAULT_VARIANT", nullptr};
    ScopedEnv model{"XKB_DEFAULT_MODEL", nullptr};
    ScopedEnv options{"XKB_DEFAULT_OPTIONS", nullptr};
    ScopedEnv rules{"XKB_DEFAULT_RULES", nullptr};
};

CHidKeyTable Layout(const std::string& name) {
    CHidKeyTable table;
    std::string error;
    EXPECT_TRUE(HostKeyboard::FromLayout(table, name, &error)) << error;
    return table;
}

} // namespace

// ---- buttons ----

TEST(HidKeyButtons, RowsScanCodesUsagesAndLookups) {
    const auto& buttons = CHidKeyTable::Buttons();
    int rows[4] = {0, 0, 0, 0};
    for (const HidKeyButton& b : buttons)
        ++rows[b.row];
    EXPECT_EQ(rows[0], 13);
    EXPECT_EQ(rows[1], 13);
    EXPECT_EQ(rows[2], 11);
    EXPECT_EQ(rows[3], 11);
    EXPECT_EQ(buttons[0].scanCode, 0x29);
    EXPECT_EQ(buttons[0].usage, 0x35);
    EXPECT_STREQ(buttons[0].caption, "°");
    EXPECT_EQ(buttons[47].scanCode, 0x35);
    EXPECT_STREQ(buttons[37].caption, "<");
    for (int i = 0; i < CHidKeyTable::ButtonCount; ++i) {
        EXPECT_EQ(CHidKeyTable::ButtonOfScanCode(buttons[size_t(i)].scanCode), i);
        EXPECT_EQ(CHidKeyTable::ButtonOfUsage(buttons[size_t(i)].usage), i);
    }
    EXPECT_EQ(CHidKeyTable::ButtonOfScanCode(0x56), 37); // the key left of Z, usage 0x64
    EXPECT_EQ(CHidKeyTable::ButtonOfUsage(0x64), 37);
    for (int none : {-1, 0, 1, 0x0E, 0x39, 89, 90, 127, 128})
        EXPECT_EQ(CHidKeyTable::ButtonOfScanCode(none), -1) << none;
    for (int none : {-1, 0, 0x29, 0x2C, 103, 104, 255})
        EXPECT_EQ(CHidKeyTable::ButtonOfUsage(none), -1) << none;
}

TEST(HidKeyButtons, TextShowsShiftNormalAltGrAndDoublesAmpersands) {
    CHidKeyTable table;
    const int q = CHidKeyTable::ButtonOfScanCode(0x10);
    EXPECT_EQ(table.ButtonText(q), " \n \t");
    table.SetChar(0x10, L::Normal, 'q');
    table.SetChar(0x10, L::Shift, 'Q');
    table.SetChar(0x10, L::AltGr, '@');
    EXPECT_EQ(table.ButtonText(q), "Q\nq\t@");
    table.SetChar(0x07, L::Shift, '&');
    table.SetChar(0x07, L::Normal, '6');
    EXPECT_EQ(table.ButtonText(CHidKeyTable::ButtonOfScanCode(0x07)), "&&\n6\t");
    table.SetChar(0x29, L::Shift, 0xB0); // Latin 1 degree sign
    EXPECT_EQ(table.ButtonText(0), "\xC2\xB0\n \t");
    EXPECT_EQ(table.ButtonText(-1), "");
    EXPECT_EQ(table.ButtonText(48), "");
}

// ---- transfer ----

TEST(HidKeyTransfer, ExactReportsInScanCodeOrderEndingWithEscape) {
    CHidKeyTable table;
    table.SetChar(0x2C, L::Normal, 'y'); // de: Y on the Z key
    table.SetChar(0x2C, L::Shift, 'Y');
    table.SetChar(0x0C, L::AltGr, '\\');
    table.SetChar(0x0C, L::Shift, '?');
    table.SetChar(0x39, L::Normal, ' '); // the space bar has no button
    table.SetChar(0x02, L::Normal, '1');
    FakeChannel channel;
    ASSERT_TRUE(table.Transfer(channel));
    std::vector<std::string> sent;
    for (const Bytes& report : channel.sent)
        sent.push_back(Hex(report));
    EXPECT_EQ(sent, (std::vector<std::string>{"12 31 00 1E", "12 3F 02 2D", "12 5C 40 2D", "12 79 00 1D",
                                              "12 59 02 1D", "12 1B 00 29"}));
    EXPECT_TRUE(channel.exchanged.empty());

    // An empty table still ends with the Escape key.
    FakeChannel empty;
    EXPECT_TRUE(CHidKeyTable().Transfer(empty));
    ASSERT_EQ(empty.sent.size(), 1u);
    EXPECT_EQ(Hex(empty.sent[0]), "12 1B 00 29");
}

TEST(HidKeyTransfer, FiveAttemptsPerKeyThenTheTransferStops) {
    CHidKeyTable table;
    table.SetChar(0x02, L::Normal, '1');
    table.SetChar(0x03, L::Normal, '2');
    table.SetChar(0x04, L::Normal, '3');

    // '1' goes through on the fifth attempt.
    FakeChannel late;
    int failures = 4;
    late.accept = [&failures](const Bytes& r) { return r[1] != '1' || failures-- <= 0; };
    EXPECT_TRUE(table.Transfer(late));
    EXPECT_EQ(late.sent.size(), 5u + 3u);

    // '2' never does: five attempts, nothing after it.
    FakeChannel broken;
    broken.accept = [](const Bytes& r) { return r[1] != '2'; };
    EXPECT_FALSE(table.Transfer(broken));
    ASSERT_EQ(broken.sent.size(), 1u + 5u);
    for (size_t i = 1; i < broken.sent.size(); ++i)
        EXPECT_EQ(Hex(broken.sent[i]), "12 32 00 1F");
}

// ---- reading from the reader ----

TEST(HidKeyQuery, ModifiersLevelsAndSkippedReplies) {
    FakeChannel channel;
    channel.answer = Keys({
        {'a', {0x00, 0x04}},  // Normal on A
        {'A', {0x02, 0x04}},  // left Shift
        {'Q', {0x20, 0x14}},  // right Shift
        {'@', {0x40, 0x14}},  // right Alt: AltGr
        {'|', {0x42, 0x64}},  // left Shift and right Alt: AltGr
        {'\\', {0x40, 0x2D}}, // AltGr on the "-" key (de)
        {'~', {0x20, 0x30}},  // right Shift
        {'"', {0x22, 0x1F}},  // 0x22: Shift
        {'x', {0x00, 0x2C}},  // the space bar: no button
        {'y', {0x00, 0x00}},  // usage 0: no key
        {'z', {0x00, 0x68}},  // beyond the usage table
    });
    CHidKeyTable table;
    table.SetChar(0x50, L::Normal, 'k'); // cleared first
    ASSERT_TRUE(table.LoadFromReader(channel));

    ASSERT_EQ(channel.exchanged.size(), 95u);
    for (size_t i = 0; i < channel.exchanged.size(); ++i) {
        EXPECT_EQ(channel.exchanged[i], (Bytes{0x11, uint8_t(32 + i)}));
        EXPECT_EQ(channel.replySizes[i], 10);
    }
    EXPECT_EQ(table.Char(0x1E, L::Normal), 'a');
    EXPECT_EQ(table.Char(0x1E, L::Shift), 'A');
    EXPECT_EQ(table.Char(0x10, L::Shift), 'Q');
    EXPECT_EQ(table.Char(0x10, L::AltGr), '@');
    EXPECT_EQ(table.Char(0x56, L::AltGr), '|');
    EXPECT_EQ(table.Char(0x0C, L::AltGr), '\\');
    EXPECT_EQ(table.Char(0x1B, L::Shift), '~');
    EXPECT_EQ(table.Char(0x03, L::Shift), '"');
    EXPECT_EQ(table.Char(0x50, L::Normal), 0);
    CHidKeyTable expected;
    for (auto [scan, level, c] : std::vector<std::tuple<int, L, uint8_t>>{{0x1E, L::Normal, 'a'},
                                                                          {0x1E, L::Shift, 'A'},
                                                                          {0x10, L::Shift, 'Q'},
                                                                          {0x10, L::AltGr, '@'},
                                                                          {0x56, L::AltGr, '|'},
                                                                          {0x0C, L::AltGr, '\\'},
                                                                          {0x1B, L::Shift, '~'},
                                                                          {0x03, L::Shift, '"'}})
        expected.SetChar(scan, level, c);
    EXPECT_EQ(table, expected); // nothing else: x, y, z and the empty answers skipped
}

TEST(HidKeyQuery, TheModifierBitsOfTheSpecifiedReplies) {
    // Right Alt decides first (0x42, 0x62 AltGr); the other bits (Control,
    // left Alt, GUI) do not count.
    for (auto [modifier, level] : std::vector<std::pair<uint8_t, L>>{{0x00, L::Normal},
                                                                     {0x02, L::Shift},
                                                                     {0x20, L::Shift},
                                                                     {0x22, L::Shift},
                                                                     {0x40, L::AltGr},
                                                                     {0x44, L::AltGr},
                                                                     {0x42, L::AltGr},
                                                                     {0x62, L::AltGr},
                                                                     {0x03, L::Shift},
                                                                     {0x01, L::Normal},
                                                                     {0x04, L::Normal}}) {
        FakeChannel channel;
        channel.answer = Keys({{'w', {modifier, 0x1A}}});
        CHidKeyTable table;
        ASSERT_TRUE(table.LoadFromReader(channel));
        EXPECT_EQ(table.Char(0x11, level), 'w') << int(modifier);
    }
}

TEST(HidKeyQuery, ShortRepliesSkipAndFailuresAreRetriedFiveTimes) {
    FakeChannel channel;
    std::map<uint8_t, int> failures{{'b', 4}, {'c', 5}};
    channel.answer = [&failures](const Bytes& request) -> std::optional<Bytes> {
        const uint8_t c = request[1];
        if (failures.count(c) && failures[c]-- > 0) return std::nullopt;
        if (c == 'a') return Bytes{0x11, 0x04, 0x00}; // three bytes: skipped
        if (c == 'b') return Bytes{0x11, 0x04, 0x00, 0x05};
        return Bytes{0x11, 0x04, 0x00, 0x00};
    };
    CHidKeyTable table;
    EXPECT_FALSE(table.LoadFromReader(channel));
    // 32..'a' once each, 'b' five times (the fifth answers), 'c' five times.
    EXPECT_EQ(channel.exchanged.size(), size_t('a' - 32 + 1) + 5u + 5u);
    EXPECT_EQ(channel.exchanged.back(), (Bytes{0x11, 'c'}));
    EXPECT_EQ(table.Char(0x30, L::Normal), 'b'); // kept from before the failure
    EXPECT_EQ(table.Char(0x1E, L::Normal), 0);
}

TEST(HidKeyQuery, ALateAnswerToAnEarlierQueryDoesNotShiftTheTable) {
    // The reader answers 11 c mod usage, in order; the answer to the first
    // query for 'b' comes after its exchange gave up, so every later
    // exchange first reads the answer to the query before it.
    FakeChannel channel;
    std::vector<Bytes> queue;
    bool late = true;
    const auto keys =
        Keys({{'a', {0x00, 0x04}}, {'b', {0x00, 0x05}}, {'c', {0x00, 0x06}}, {'d', {0x00, 0x07}}});
    channel.answer = [&](const Bytes& request) -> std::optional<Bytes> {
        Bytes answer = *keys(request);
        answer[1] = request[1];
        queue.push_back(answer);
        if (request[1] == 'b' && late) return late = false, std::nullopt;
        const Bytes front = queue.front();
        queue.erase(queue.begin());
        return front;
    };
    CHidKeyTable table;
    ASSERT_TRUE(table.LoadFromReader(channel));
    EXPECT_EQ(table.Char(0x1E, L::Normal), 'a');
    EXPECT_EQ(table.Char(0x30, L::Normal), 'b');
    EXPECT_EQ(table.Char(0x2E, L::Normal), 'c');
    EXPECT_EQ(table.Char(0x20, L::Normal), 'd');
}

// ---- HID_KEYS ----

TEST(HidKeyProfile, AllKeysInOrderAndTheRoundTrip) {
    CHidKeyTable table;
    table.SetChar(0x00, L::Shift, 'x'); // no button, kept in the file all the same
    table.SetChar(0x0C, L::AltGr, '\\');
    table.SetChar(0x29, L::Shift, 0xB0); // Windows Latin 1 byte
    table.SetChar(0x7F, L::Normal, '=');
    table.SetChar(0x07, L::Shift, '&');
    CProfileFile file;
    table.WriteProfile(file);
    const std::string text = file.Text();
    EXPECT_EQ(text.substr(0, 80),
              "[HID_KEYS]\r\nScanCode000Normal=\r\nScanCode000Shift=x\r\nScanCode000AltGr=\r\n"
              "ScanCode0");
    EXPECT_NE(text.find("ScanCode012AltGr=\\\r\n"), std::string::npos);
    EXPECT_NE(text.find("ScanCode041Shift=\xB0\r\n"), std::string::npos);
    EXPECT_NE(text.find("ScanCode127Normal==\r\nScanCode127Shift=\r\nScanCode127AltGr=\r\n"),
              std::string::npos);
    // Exactly 384 keys, scan code by scan code, Normal Shift AltGr.
    size_t at = 0;
    int keys = 0;
    for (int scan = 0; scan < 128; ++scan) {
        for (int level = 0; level < 3; ++level) {
            const std::string key = CHidKeyTable::ProfileKey(scan, L(level)) + "=";
            const size_t found = text.find(key, at);
            ASSERT_NE(found, std::string::npos) << key;
            at = found + key.size();
            ++keys;
        }
    }
    EXPECT_EQ(keys, 384);

    CHidKeyTable back;
    back.SetChar(0x20, L::Normal, 'd'); // replaced
    back.ReadProfile(CProfileFile::FromText(text));
    EXPECT_EQ(back, table);
    EXPECT_TRUE(CHidKeyTable::InProfile(file));
    EXPECT_FALSE(CHidKeyTable::InProfile(CProfileFile::FromText("[Data]\r\nTimeoutRS232=500\r\n")));
}

TEST(HidKeyProfile, HandMadeValuesTakeTheirFirstCharacter) {
    CHidKeyTable table;
    table.ReadProfile(CProfileFile::FromText("[hid_keys]\nscancode016normal= qu \nScanCode016Shift=\n"
                                             "ScanCode016AltGr=@@\n"));
    EXPECT_EQ(table.Char(0x10, L::Normal), 'q');
    EXPECT_EQ(table.Char(0x10, L::Shift), 0);
    EXPECT_EQ(table.Char(0x10, L::AltGr), '@');
}

// ---- the computer's layout ----

TEST(HostKeyboardLayouts, UsDeFrAndDeadKeys) {
    const CHidKeyTable us = Layout("us");
    EXPECT_EQ(us.Char(0x1E, L::Normal), 'a');
    EXPECT_EQ(us.Char(0x1E, L::Shift), 'A');
    EXPECT_EQ(us.Char(0x2B, L::Normal), '\\');
    EXPECT_EQ(us.Char(0x2B, L::Shift), '|');
    EXPECT_EQ(us.Char(0x15, L::Normal), 'y');
    EXPECT_EQ(us.Char(0x03, L::Shift), '@');
    EXPECT_EQ(us.Char(0x09, L::Shift), '*'); // not the keypad's
    EXPECT_EQ(us.Char(0x0D, L::Shift), '+');
    EXPECT_EQ(us.Char(0x35, L::Normal), '/');
    EXPECT_EQ(us.Char(0x39, L::Normal), ' '); // the space bar (no button)
    EXPECT_EQ(us.Char(0x37, L::Normal), 0);
    EXPECT_EQ(us.Char(0x4E, L::Normal), 0);
    EXPECT_EQ(us.Char(0x0C, L::AltGr), 0);

    const CHidKeyTable de = Layout("de");
    EXPECT_EQ(de.Char(0x0C, L::AltGr), '\\');
    EXPECT_EQ(de.Char(0x15, L::Normal), 'z');
    EXPECT_EQ(de.Char(0x15, L::Shift), 'Z');
    EXPECT_EQ(de.Char(0x2C, L::Normal), 'y');
    EXPECT_EQ(de.Char(0x2C, L::Shift), 'Y');
    EXPECT_EQ(de.Char(0x10, L::AltGr), '@');
    EXPECT_EQ(de.Char(0x1B, L::Normal), '+');
    EXPECT_EQ(de.Char(0x1B, L::AltGr), '~');
    EXPECT_EQ(de.Char(0x56, L::AltGr), '|');
    EXPECT_EQ(de.Char(0x29, L::Normal), 0); // "^" is a dead key in "de"
    EXPECT_EQ(de.Char(0x0D, L::Normal), 0); // so is the acute accent
    const CHidKeyTable nodead = Layout("de(nodeadkeys)");
    EXPECT_EQ(nodead.Char(0x29, L::Normal), '^');
    EXPECT_EQ(nodead.Char(0x0C, L::AltGr), '\\');

    const CHidKeyTable fr = Layout("fr");
    EXPECT_EQ(fr.Char(0x10, L::Normal), 'a');
    EXPECT_EQ(fr.Char(0x10, L::Shift), 'A');
    EXPECT_EQ(fr.Char(0x1E, L::Normal), 'q');
    EXPECT_EQ(fr.Char(0x02, L::Shift), '1'); // digits with Shift
    EXPECT_EQ(fr.Char(0x0B, L::AltGr), '@');
    EXPECT_NE(us, de);
}

TEST(HostKeyboardLayouts, UnknownAndMalformedNamesLeaveTheTable) {
    CHidKeyTable table = Layout("us");
    const CHidKeyTable before = table;
    for (const char* name : {"xx-nonexistent", "", "de(", "de(nodeadkeys", "(de)", "de fr", "../us"}) {
        std::string error;
        EXPECT_FALSE(HostKeyboard::FromLayout(table, name, &error)) << name;
        EXPECT_NE(error.find("unknown keyboard layout"), std::string::npos) << name;
        EXPECT_EQ(table, before) << name;
    }
    HostKeyboard::Names names;
    ASSERT_TRUE(HostKeyboard::ParseLayoutName("de(nodeadkeys)", names));
    EXPECT_EQ(names.layout, "de");
    EXPECT_EQ(names.variant, "nodeadkeys");
}

TEST(HostKeyboardLayouts, TheHostsNamesComeFromTheEnvironmentThenTheSystemFile) {
    NoHostKeyboard none;
    char dir[] = "/tmp/kvplm-keyboard-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string file = std::string(dir) + "/keyboard";
    std::ofstream(file) << "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\n"
                           "XKBVARIANT=\"\"\nXKBOPTIONS=\"\"\n\nBACKSPACE=\"guess\"\n";
    std::string describe;
    HostKeyboard::Names names = HostKeyboard::HostNames(file, &describe);
    EXPECT_EQ(names.layout, "fr");
    EXPECT_EQ(names.model, "pc105");
    EXPECT_EQ(describe, file + ": fr");

    names = HostKeyboard::HostNames(std::string(dir) + "/missing", &describe);
    EXPECT_EQ(names.layout, "us");
    EXPECT_EQ(describe, "us");
    {
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", "de");
        ScopedEnv variant("XKB_DEFAULT_VARIANT", "nodeadkeys");
        names = HostKeyboard::HostNames(file, &describe);
        EXPECT_EQ(names.layout, "de");
        EXPECT_EQ(names.variant, "nodeadkeys");
        EXPECT_EQ(describe, "XKB_DEFAULT_LAYOUT=de(nodeadkeys)");

        // Without a display the host's table is the variables' layout.
        CHidKeyTable table;
        HostKeyboard::Source source;
        ASSERT_TRUE(HostKeyboard::FromHost(table, nullptr, &source));
        EXPECT_FALSE(source.x11);
        EXPECT_EQ(table, Layout("de(nodeadkeys)"));
    }
    std::filesystem::remove_all(dir);
}

TEST(HostKeyboardLayouts, ABrokenDisplayFallsBackToTheNames) {
    NoHostKeyboard none;
    ScopedEnv display("DISPLAY", ":97531"); // nothing listens there
    ScopedEnv layout("XKB_DEFAULT_LAYOUT", "de");
    CHidKeyTable table;
    HostKeyboard::Source source;
    ASSERT_TRUE(HostKeyboard::FromHost(table, nullptr, &source));
    EXPECT_FALSE(source.x11);
    EXPECT_EQ(table.Char(0x0C, L::AltGr), '\\');
}

// ---- the HID parameter page ----

TEST(HidParamPage, FromBlockAndValidation) {
    CParamRegisterkarteHID page;
    EXPECT_EQ(page.GetControls().timeout, "500");
    const uint8_t one[] = {0x14};
    EXPECT_FALSE(page.FromBlock(one, 1));
    EXPECT_FALSE(page.FromBlock(nullptr, 4));

    const uint8_t block[] = {0x00, 0x0A, 0x3F, 0x14};
    EXPECT_TRUE(page.FromBlock(block, 4));
    EXPECT_EQ(page.GetMembers().timeout, 2000);
    EXPECT_EQ(page.GetControls().timeout, "2000");
    const uint8_t big[] = {0x03, 0x0A, 0x41, 0x7F};
    EXPECT_TRUE(page.FromBlock(big, 4));
    EXPECT_EQ(page.GetMembers().timeout, 12700);
    for (uint8_t timeout : {0x00, 0x80, 0xFF}) {
        const uint8_t other[] = {0x00, 0x0A, 0x3F, timeout};
        EXPECT_TRUE(page.FromBlock(other, 4));
        EXPECT_EQ(page.GetMembers().timeout, 500) << int(timeout);
    }
    const uint8_t two[] = {0x00, 0x0A};
    page.GetMembers().timeout = 900;
    EXPECT_TRUE(page.FromBlock(two, 2)); // no byte 3: 500
    EXPECT_EQ(page.GetMembers().timeout, 500);

    for (const char* bad : {"99", "12701", "", "abc"}) {
        page.GetControls().timeout = bad;
        const auto failure = page.Validate();
        ASSERT_TRUE(failure) << bad;
        EXPECT_EQ(failure->control, CParamRegisterkarteHID::IdTimeout);
        EXPECT_EQ(failure->id, std::string(bad) == "" || std::string(bad) == "abc" ? 61712 : 61714);
    }
    page.GetControls().timeout = "99";
    EXPECT_EQ(page.Validate()->text, "Geben Sie bitte eine ganze Zahl zwischen 100 und 12700 ein.");
    page.GetControls().timeout = "12700";
    EXPECT_FALSE(page.Validate());
    EXPECT_EQ(page.GetMembers().timeout, 12700);
}

TEST(HidParamPage, RecordAndProfileKeepOnlyTheTimeout) {
    CParamRegisterkarteHID page;
    page.GetMembers().timeout = 800;
    KonfigDaten record;
    record.Betriebsart = 0x13;
    record.Zykluszeit = 300;
    record.Aufforderung = 'A';
    record.Baudrate = 9600;
    page.ToRecord(record);
    EXPECT_EQ(record.Betriebsart, 0);
    EXPECT_EQ(record.Zykluszeit, 1000);
    EXPECT_EQ(record.Aufforderung, '?');
    EXPECT_EQ(record.Baudrate, 19200);
    EXPECT_EQ(record.TimeoutRS232, 800);

    CProfileFile file;
    CParamRegisterkarteHID::WriteProfile(record, file);
    EXPECT_EQ(file.Text(), "[Data]\r\nTimeoutRS232=800\r\n");

    CParamRegisterkarteHID other;
    other.ReadProfile(CProfileFile::FromText("[Data]\r\nBetriebsart=3\r\nTimeoutRS232=1200\r\n"));
    EXPECT_EQ(other.GetMembers().timeout, 1200);
    EXPECT_EQ(other.GetControls().timeout, "1200");
    other.ReadProfile(CProfileFile());
    EXPECT_EQ(other.GetMembers().timeout, 500);
}

TEST(HidParamPage, LoadFromDeviceConnectsReadsAndCloses) {
    FakeChannel channel;
    channel.answer = Keys({{'q', {0x00, 0x14}}, {'Q', {0x02, 0x14}}});
    CParamRegisterkarteHID page;
    page.SetChannelFactory(channel.Factory());

    // No connection: 522 after the connect procedure's own message, nothing closed.
    FakeHost offline;
    page.Table().SetChar(0x1E, L::Normal, 'a');
    EXPECT_FALSE(page.LoadFromDevice(offline));
    EXPECT_EQ(offline.MessageIds(), std::vector<int>{522});
    EXPECT_EQ(offline.messages[0].text, "Keine Verbindung zum Gerät");
    EXPECT_TRUE(offline.closed.empty());
    EXPECT_EQ(page.Table().Char(0x1E, L::Normal), 'a');

    FakeHost host;
    host.connect = [](bool withMessages) {
        EXPECT_TRUE(withMessages);
        return SetupConnection{0, 7, 19200, 0x1F200};
    };
    EXPECT_TRUE(page.LoadFromDevice(host));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.closed, std::vector<int>{7});
    EXPECT_EQ(channel.sessions, std::vector<int>{7});
    EXPECT_EQ(page.ButtonText(CHidKeyTable::ButtonOfScanCode(0x10)), "Q\nq\t");
    EXPECT_EQ(page.Table().Char(0x1E, L::Normal), 0);

    // A reader that stops answering: 522, the session closed all the same.
    channel.answer = [](const Bytes& r) -> std::optional<Bytes> {
        if (r[1] < 'Q') return Bytes{0x11, 0x04, 0x00, 0x00};
        if (r[1] == 'Q') return Bytes{0x11, 0x04, 0x02, 0x14};
        return std::nullopt;
    };
    FakeHost silent;
    silent.connect = [](bool) { return SetupConnection{0, 9, 19200, 0x1F200}; };
    EXPECT_FALSE(page.LoadFromDevice(silent));
    EXPECT_EQ(silent.MessageIds(), std::vector<int>{522});
    EXPECT_EQ(silent.closed, std::vector<int>{9});
    EXPECT_EQ(page.Table().Char(0x10, L::Shift), 'Q');
    EXPECT_EQ(page.Table().Char(0x10, L::Normal), 0);
}

TEST(HidParamPage, TakeFromComputerWithANamedLayout) {
    CParamRegisterkarteHID page;
    EXPECT_FALSE(page.TakeFromLayout("de"));
    // Only the characters 32..126 count: the sharp s on that key is not taken.
    EXPECT_EQ(page.ButtonText(CHidKeyTable::ButtonOfScanCode(0x0C)), "?\n \t\\");
    const CHidKeyTable before = page.Table();
    const auto message = page.TakeFromLayout("nonexistent");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, 640);
    EXPECT_EQ(page.Table(), before);
}
