#include "HexText.h"

#include <cstdio>

namespace Programmer {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Blanks, and the tabs and line ends a pasted text may bring along.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool AllDigits(const std::string& token) {
    for (char c : token)
        if (DigitValue(c) < 0) return false;
    return true;
}

// A refused token as a status line can show it: control characters become
// '?', and a long one is cut (on a character boundary) with "...".
std::string Shown(const std::string& token) {
    constexpr size_t Longest = 24, Cut = 20;
    std::string shown = token;
    if (shown.size() > Longest) {
        size_t end = Cut;
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80)
            --end;
        shown = shown.substr(0, end) + "...";
    }
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

} // namespace

std::string HexText::Format(const uint8_t* data, size_t count) {
    std::string text;
    text.reserve(count * 3);
    char piece[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", data[i]);
        text += piece;
    }
    return text;
}

HexText::Reading HexText::Read(const std::string& text, size_t limit) {
    Reading reading;
    if (text.find("Error") != std::string::npos) return reading;
    auto add = [&](uint8_t byte) {
        ++reading.count;
        if (reading.bytes.size() < limit) reading.bytes.push_back(byte);
    };
    for (size_t at = 0; at < text.size();) {
        if (IsBlank(text[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::string token = text.substr(at, end - at);
        at = end;
        const bool digits = AllDigits(token);
        if (digits && token.size() == 1) {
            add(static_cast<uint8_t>(DigitValue(token[0])));
        } else if (digits && token.size() % 2 == 0) {
            for (size_t i = 0; i < token.size(); i += 2)
                add(static_cast<uint8_t>(DigitValue(token[i]) * 16 + DigitValue(token[i + 1])));
        } else {
            if (reading.valid) reading.offending = Shown(token);
            reading.valid = false;
            reading.count += (token.size() + 1) / 2;
        }
    }
    if (!reading.valid) reading.bytes.clear();
    return reading;
}

} // namespace Programmer
