#include "Telegram.h"

#include <algorithm>
#include <string>

namespace ReaderOutput {

namespace {

constexpr size_t ParamSize = 24;

// F1..F12 on a VT220/xterm terminal line.
const char* const kFunctionKeys[12] = {"\x1bOP",   "\x1bOQ",   "\x1bOR",   "\x1bOS",
                                       "\x1b[15~", "\x1b[17~", "\x1b[18~", "\x1b[19~",
                                       "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~"};

Bytes& Last(Output& output) {
    if (output.empty()) output.emplace_back();
    return output.back().bytes;
}

uint8_t Mirror(uint8_t byte) {
    uint8_t out = 0;
    for (int i = 0; i < 8; ++i)
        if (byte & (1 << i)) out |= uint8_t(0x80 >> i);
    return out;
}

// The bytes as one big-endian number in decimal.
std::string Decimal(const Bytes& bytes) {
    std::vector<uint8_t> number(bytes);
    std::string digits;
    while (std::any_of(number.begin(), number.end(), [](uint8_t b) { return b != 0; })) {
        unsigned remainder = 0;
        for (uint8_t& b : number) {
            const unsigned value = remainder * 256 + b;
            b = uint8_t(value / 10);
            remainder = value % 10;
        }
        digits.insert(digits.begin(), char('0' + remainder));
    }
    return digits.empty() ? "0" : digits;
}

} // namespace

void AppendBytes(Output& output, const Bytes& bytes) {
    Bytes& last = Last(output);
    last.insert(last.end(), bytes.begin(), bytes.end());
}

void AppendKeys(Output& output, const Bytes& block) {
    bool shift = false, control = false, alt = false;
    for (uint8_t code : block) {
        if (code == 0xFF) break;
        if (code == 140) {
            shift = true;
            continue;
        }
        if (code == 141) {
            control = true;
            continue;
        }
        if (code == 142) {
            alt = true;
            continue;
        }
        if (code == 143) {
            output.push_back(Piece{std::chrono::milliseconds(100), {}});
            continue;
        }
        Bytes& last = Last(output);
        if (alt) last.push_back(0x1B);
        if (code >= 128 && code <= 139) {
            const std::string sequence = kFunctionKeys[code - 128];
            last.insert(last.end(), sequence.begin(), sequence.end());
        } else {
            uint8_t c = code;
            if (shift && c >= 'a' && c <= 'z') c = uint8_t(c - 'a' + 'A');
            if (control && c >= 0x40 && c <= 0x7F) c = uint8_t(c & 0x1F);
            last.push_back(c);
        }
        shift = control = alt = false;
    }
}

Bytes Flatten(const Output& output) {
    Bytes bytes;
    for (const Piece& piece : output)
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    return bytes;
}

Bytes FormatData(const Bytes& data, const Bytes& param) {
    if (param.size() < ParamSize) return data;
    const size_t first = std::max<size_t>(param[21], 1) - 1;
    const size_t last = std::min<size_t>(param[20], data.size());
    Bytes used;
    if (first < last) used.assign(data.begin() + long(first), data.begin() + long(last));
    if (param[17] & 1) std::reverse(used.begin(), used.end());
    if (param[17] & 2)
        for (uint8_t& b : used)
            b = Mirror(b);

    const size_t count = param[19];
    std::string text;
    static const char* const upper = "0123456789ABCDEF";
    static const char* const lower = "0123456789abcdef";
    switch (param[18]) {
    case 1: // decimal, right-aligned with leading zeros
    case 3: // decimal without leading zeros
        text = Decimal(used);
        break;
    case 2: // ASCII: the bytes themselves, at most count of them
        text.assign(used.begin(), used.end());
        if (count && text.size() > count) text.resize(count);
        return Bytes(text.begin(), text.end());
    default: { // 0 hex upper case, 4 lower case; anything else as 0
        const char* set = param[18] == 4 ? lower : upper;
        for (uint8_t b : used) {
            text += set[b >> 4];
            text += set[b & 0x0F];
        }
        break;
    }
    }
    if (count) {
        if (text.size() > count)
            text.erase(0, text.size() - count); // the least significant digits
        else if (param[18] != 3)
            text.insert(0, count - text.size(), '0');
    }
    return Bytes(text.begin(), text.end());
}

std::vector<Bytes> DataPieces(const TagMemory& tag, const Bytes& param) {
    if (param.size() < ParamSize || (param[0] & 1) == 0) return {tag.Epc()};
    std::vector<Bytes> pieces;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t* reg = param.data() + 1 + 4 * i;
        if (reg[0] == 0xFF && reg[1] == 0xFF && reg[2] == 0xFF && reg[3] == 0xFF) break;
        const uint8_t bank = reg[0] >> 6;
        const size_t words = reg[0] & 0x3F;
        const uint32_t start = reg[1] | uint32_t(reg[2]) << 8 | uint32_t(reg[3]) << 16;
        Bytes data;
        if (!tag.Read(bank, start, words * 2, data)) data.clear();
        pieces.push_back(data);
    }
    return pieces;
}

Output Telegram(const Blocks& blocks, const TagMemory* tag) {
    Output output;
    AppendKeys(output, blocks.prefix);
    if (tag) {
        const bool param = blocks.param.size() >= ParamSize;
        if (param && blocks.param[22]) AppendBytes(output, {blocks.param[22]});
        const std::vector<Bytes> pieces = DataPieces(*tag, blocks.param);
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i) AppendKeys(output, blocks.termix);
            AppendBytes(output, FormatData(pieces[i], blocks.param));
        }
        if (param && blocks.param[23]) AppendBytes(output, {blocks.param[23]});
    }
    AppendKeys(output, blocks.suffix);
    return output;
}

Output Removal(const Blocks& blocks) {
    Output output;
    AppendKeys(output, blocks.postcode);
    return output;
}

} // namespace ReaderOutput
