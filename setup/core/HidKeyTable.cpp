#include "HidKeyTable.h"

#include "LinkApi.h"
#include "ProfileFile.h"
#include "WinLatin1.h"

#include <cstdio>

int CLinkHidChannel::Exchange(const uint8_t* request, int count, uint8_t* reply, int size) {
    return LinkHidExchange(m_session, request, count, reply, size);
}

int CLinkHidChannel::Send(const uint8_t* bytes, int count) {
    return LinkHidSend(m_session, bytes, count);
}

HidChannelFactory LinkHidChannels() {
    return [](int session) { return std::make_unique<CLinkHidChannel>(session); };
}

namespace {

// The main block of a PC keyboard: scan code set 1 and HID keyboard usage.
const std::array<HidKeyButton, CHidKeyTable::ButtonCount> kButtons{{
    {0x29, 0x35, "°", 0}, {0x02, 0x1E, "1", 0}, {0x03, 0x1F, "2", 0}, {0x04, 0x20, "3", 0},
    {0x05, 0x21, "4", 0}, {0x06, 0x22, "5", 0}, {0x07, 0x23, "6", 0}, {0x08, 0x24, "7", 0},
    {0x09, 0x25, "8", 0}, {0x0A, 0x26, "9", 0}, {0x0B, 0x27, "0", 0}, {0x0C, 0x2D, "-", 0},
    {0x0D, 0x2E, "=", 0},

    {0x10, 0x14, "Q", 1}, {0x11, 0x1A, "W", 1}, {0x12, 0x08, "E", 1}, {0x13, 0x15, "R", 1},
    {0x14, 0x17, "T", 1}, {0x15, 0x1C, "Y", 1}, {0x16, 0x18, "U", 1}, {0x17, 0x0C, "I", 1},
    {0x18, 0x12, "O", 1}, {0x19, 0x13, "P", 1}, {0x1A, 0x2F, "[", 1}, {0x1B, 0x30, "]", 1},
    {0x2B, 0x32, "#", 1},

    {0x1E, 0x04, "A", 2}, {0x1F, 0x16, "S", 2}, {0x20, 0x07, "D", 2}, {0x21, 0x09, "F", 2},
    {0x22, 0x0A, "G", 2}, {0x23, 0x0B, "H", 2}, {0x24, 0x0D, "J", 2}, {0x25, 0x0E, "K", 2},
    {0x26, 0x0F, "L", 2}, {0x27, 0x33, ";", 2}, {0x28, 0x34, "'", 2},

    {0x56, 0x64, "<", 3}, {0x2C, 0x1D, "Z", 3}, {0x2D, 0x1B, "X", 3}, {0x2E, 0x06, "C", 3},
    {0x2F, 0x19, "V", 3}, {0x30, 0x05, "B", 3}, {0x31, 0x11, "N", 3}, {0x32, 0x10, "M", 3},
    {0x33, 0x36, ",", 3}, {0x34, 0x37, ".", 3}, {0x35, 0x38, "/", 3},
}};

constexpr int kScanLookup = 90;   // scan codes 0..89
constexpr int kUsageLookup = 104; // usages 0..103

template <int N, typename Key> std::array<int8_t, N> MakeLookup(Key key) {
    std::array<int8_t, N> lookup;
    lookup.fill(-1);
    for (size_t i = 0; i < kButtons.size(); ++i)
        lookup[size_t(key(kButtons[i]))] = int8_t(i);
    return lookup;
}

const std::array<int8_t, kScanLookup>& ScanLookup() {
    static const auto lookup = MakeLookup<kScanLookup>([](const HidKeyButton& b) { return b.scanCode; });
    return lookup;
}

const std::array<int8_t, kUsageLookup>& UsageLookup() {
    static const auto lookup = MakeLookup<kUsageLookup>([](const HidKeyButton& b) { return b.usage; });
    return lookup;
}

// One character of a button's text: the character as UTF-8, "&" doubled.
std::string Shown(uint8_t character) {
    if (character == '&') return "&&";
    return WinLatin1::ToUtf8(character);
}

} // namespace

const char* CHidKeyTable::LevelName(Level level) {
    switch (level) {
    case Normal:
        return "Normal";
    case Shift:
        return "Shift";
    case AltGr:
        return "AltGr";
    }
    return "";
}

std::string CHidKeyTable::ProfileKey(int scanCode, Level level) {
    char key[32];
    std::snprintf(key, sizeof key, "ScanCode%03d%s", scanCode, LevelName(level));
    return key;
}

const std::array<HidKeyButton, CHidKeyTable::ButtonCount>& CHidKeyTable::Buttons() {
    return kButtons;
}

int CHidKeyTable::ButtonOfScanCode(int scanCode) {
    if (scanCode < 0 || scanCode >= kScanLookup) return -1;
    return ScanLookup()[size_t(scanCode)];
}

int CHidKeyTable::ButtonOfUsage(int usage) {
    if (usage < 0 || usage >= kUsageLookup) return -1;
    return UsageLookup()[size_t(usage)];
}

uint8_t CHidKeyTable::Char(int scanCode, Level level) const {
    if (scanCode < 0 || scanCode >= ScanCodes || level < 0 || level >= Levels) return 0;
    return m_chars[size_t(scanCode)][size_t(level)];
}

void CHidKeyTable::SetChar(int scanCode, Level level, uint8_t character) {
    if (scanCode < 0 || scanCode >= ScanCodes || level < 0 || level >= Levels) return;
    m_chars[size_t(scanCode)][size_t(level)] = character;
}

void CHidKeyTable::Clear() {
    m_chars = {};
}

bool CHidKeyTable::IsEmpty() const {
    for (const auto& entry : m_chars)
        for (uint8_t c : entry)
            if (c) return false;
    return true;
}

std::string CHidKeyTable::ButtonText(int button) const {
    if (button < 0 || button >= ButtonCount) return "";
    const int scan = kButtons[size_t(button)].scanCode;
    const uint8_t shift = Char(scan, Shift), normal = Char(scan, Normal), altGr = Char(scan, AltGr);
    std::string text = shift ? Shown(shift) : " ";
    text += '\n';
    text += normal ? Shown(normal) : " ";
    text += '\t';
    if (altGr) text += Shown(altGr);
    return text;
}

void CHidKeyTable::ReadProfile(const CProfileFile& file) {
    for (int scan = 0; scan < ScanCodes; ++scan) {
        for (int level = 0; level < Levels; ++level) {
            const std::string value = file.GetString(Section, ProfileKey(scan, Level(level)), "");
            m_chars[size_t(scan)][size_t(level)] = value.empty() ? 0 : uint8_t(value[0]);
        }
    }
}

void CHidKeyTable::WriteProfile(CProfileFile& file) const {
    for (int scan = 0; scan < ScanCodes; ++scan) {
        for (int level = 0; level < Levels; ++level) {
            const uint8_t c = m_chars[size_t(scan)][size_t(level)];
            // A blank reads back as none, since values are read without
            // surrounding blanks; only the space bar has it, and that key
            // has no button, so it never reaches a reader either way.
            file.Set(Section, ProfileKey(scan, Level(level)), c ? std::string(1, char(c)) : std::string());
        }
    }
}

bool CHidKeyTable::InProfile(const CProfileFile& file) {
    return file.HasSection(Section);
}

bool CHidKeyTable::LoadFromReader(IHidChannel& channel) {
    Clear();
    for (int c = 32; c <= 126; ++c) {
        const uint8_t request[2] = {QueryCommand, uint8_t(c)};
        uint8_t reply[QueryReplySize] = {};
        int length = -1;
        for (int attempt = 0; attempt < Attempts && length < 0; ++attempt) {
            length = channel.Exchange(request, 2, reply, int(sizeof reply));
            // A reply naming another character of the query range is the late
            // answer to an earlier query whose exchange timed out: taking it
            // would shift every key after it. It counts as a failed attempt;
            // the next exchange then reads the answer to this query.
            if (length >= 2 && reply[1] >= 32 && reply[1] <= 126 && reply[1] != c) length = -1;
        }
        if (length < 0) return false;
        if (length < 4) continue;
        const uint8_t modifier = reply[2];
        const int button = ButtonOfUsage(reply[3]);
        if (button < 0) continue;
        const int scan = kButtons[size_t(button)].scanCode;
        if (scan == 0 || scan >= ScanCodes) continue;
        // Right Alt decides before Shift: a key pressed with Shift and AltGr
        // (0x42) is kept as AltGr, the table has no place for both.
        Level level = Normal;
        if (modifier & ModRightAlt)
            level = AltGr;
        else if (modifier & (ModLeftShift | ModRightShift))
            level = Shift;
        SetChar(scan, level, uint8_t(c));
    }
    return true;
}

std::vector<std::array<uint8_t, 4>> CHidKeyTable::TransferReports() const {
    static const uint8_t modifiers[Levels] = {ModNone, ModShift, ModAltGr};
    std::vector<std::array<uint8_t, 4>> reports;
    for (int scan = 0; scan < ScanCodes; ++scan) {
        const int button = ButtonOfScanCode(scan);
        if (button < 0) continue;
        const uint8_t usage = kButtons[size_t(button)].usage;
        for (int level = 0; level < Levels; ++level) {
            const uint8_t c = m_chars[size_t(scan)][size_t(level)];
            if (c) reports.push_back({SetCommand, c, modifiers[level], usage});
        }
    }
    reports.push_back({SetCommand, 0x1B, ModNone, 0x29});
    return reports;
}

bool CHidKeyTable::Transfer(IHidChannel& channel) const {
    for (const auto& report : TransferReports()) {
        bool sent = false;
        for (int attempt = 0; attempt < Attempts && !sent; ++attempt)
            sent = channel.Send(report.data(), int(report.size())) >= 0;
        if (!sent) return false;
    }
    return true;
}
