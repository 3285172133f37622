#include "KeyCodes.h"

#include "WinLatin1.h"

#include <cctype>

namespace KeyCodes {

namespace {

const char* const kControlNames[33] = {
    "NUL", "SOH", "STX",        "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT (Tab)", "LF",
    "VT",  "FF",  "CR (Enter)", "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4",      "NAK",
    "SYN", "ETB", "CAN",        "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",       "SP"};

const char* const kHighNames[16] = {"F1", "F2",  "F3",  "F4",  "F5",     "F6",       "F7",   "F8",
                                    "F9", "F10", "F11", "F12", "Shift+", "Control+", "Alt+", "Wait 100"};

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

bool HasTableName(uint8_t code) {
    return code <= 32 || (code >= 127 && code <= 143);
}

std::string Name(uint8_t code) {
    if (code <= 32) return kControlNames[code];
    if (code == 127) return "DEL";
    if (code >= 128 && code <= 143) return kHighNames[code - 128];
    return WinLatin1::ToUtf8(code);
}

std::string ListEntry(int code) {
    if (code < 0 || code >= ListSize) return "";
    if (code == 39) return "\xC2\xB4"; // the acute accent stands in for the apostrophe...
    if (code == 96) return "'";        // ...and the apostrophe for the grave accent
    return Name(static_cast<uint8_t>(code));
}

int FindEntry(const std::string& text) {
    for (int code = 0; code < ListSize; ++code)
        if (EqualNoCase(ListEntry(code), text)) return code;
    return -1;
}

} // namespace KeyCodes
