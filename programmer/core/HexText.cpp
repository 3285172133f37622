#include "HexText.h"

#include <cstdio>

namespace Programmer {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

uint8_t TokenValue(const std::string& token) {
    if (token.size() == 2) return static_cast<uint8_t>(DigitValue(token[0]) * 16 + DigitValue(token[1]));
    if (token.size() == 1) return static_cast<uint8_t>(DigitValue(token[0]));
    return 0;
}

// Blanks, and the tabs and line ends a pasted text may bring along.
std::string Trimmed(const std::string& text) {
    static const char* const blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Calls visit for every token; stops when visit returns false.
template <typename Visit> void ForEachToken(const std::string& text, Visit visit) {
    if (text.find("Error") != std::string::npos) return;
    const std::string trimmed = Trimmed(text);
    if (trimmed.empty()) return;
    size_t start = 0;
    for (;;) {
        const size_t blank = trimmed.find(' ', start);
        if (!visit(trimmed.substr(start, blank == std::string::npos ? std::string::npos : blank - start)))
            return;
        if (blank == std::string::npos) return;
        start = blank + 1;
    }
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

Bytes HexText::Parse(const std::string& text, size_t limit) {
    Bytes bytes;
    if (limit == 0) return bytes;
    ForEachToken(text, [&](const std::string& token) {
        bytes.push_back(TokenValue(token));
        return bytes.size() < limit;
    });
    return bytes;
}

size_t HexText::TokenCount(const std::string& text) {
    size_t count = 0;
    ForEachToken(text, [&](const std::string&) {
        ++count;
        return true;
    });
    return count;
}

} // namespace Programmer
