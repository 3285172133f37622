#include "SimKeyTable.h"

#include <cstdio>

namespace {

// One key of a layout: its usage and the characters without modifier, with
// Shift and with AltGr (0: none).
struct LayoutKey {
    uint8_t usage;
    char normal, shift, altGr;
};

// The main block in keyboard order: digits row, upper, middle and lower letter row.
constexpr LayoutKey UsKeys[] = {
    {0x35, '`', '~', 0},  {0x1E, '1', '!', 0},  {0x1F, '2', '@', 0}, {0x20, '3', '#', 0}, {0x21, '4', '$', 0},
    {0x22, '5', '%', 0},  {0x23, '6', '^', 0},  {0x24, '7', '&', 0}, {0x25, '8', '*', 0}, {0x26, '9', '(', 0},
    {0x27, '0', ')', 0},  {0x2D, '-', '_', 0},  {0x2E, '=', '+', 0}, {0x14, 'q', 'Q', 0}, {0x1A, 'w', 'W', 0},
    {0x08, 'e', 'E', 0},  {0x15, 'r', 'R', 0},  {0x17, 't', 'T', 0}, {0x1C, 'y', 'Y', 0}, {0x18, 'u', 'U', 0},
    {0x0C, 'i', 'I', 0},  {0x12, 'o', 'O', 0},  {0x13, 'p', 'P', 0}, {0x2F, '[', '{', 0}, {0x30, ']', '}', 0},
    {0x32, '\\', '|', 0}, {0x04, 'a', 'A', 0},  {0x16, 's', 'S', 0}, {0x07, 'd', 'D', 0}, {0x09, 'f', 'F', 0},
    {0x0A, 'g', 'G', 0},  {0x0B, 'h', 'H', 0},  {0x0D, 'j', 'J', 0}, {0x0E, 'k', 'K', 0}, {0x0F, 'l', 'L', 0},
    {0x33, ';', ':', 0},  {0x34, '\'', '"', 0}, {0x64, 0, 0, 0},     {0x1D, 'z', 'Z', 0}, {0x1B, 'x', 'X', 0},
    {0x06, 'c', 'C', 0},  {0x19, 'v', 'V', 0},  {0x05, 'b', 'B', 0}, {0x11, 'n', 'N', 0}, {0x10, 'm', 'M', 0},
    {0x36, ',', '<', 0},  {0x37, '.', '>', 0},  {0x38, '/', '?', 0},
};

// German: the key left of 1 (^ and °) and the one left of the backspace
// (´ and `) are dead keys or give no ASCII character, as do ß, ü, ö, ä, §.
constexpr LayoutKey DeKeys[] = {
    {0x35, 0, 0, 0},       {0x1E, '1', '!', 0},   {0x1F, '2', '"', 0},   {0x20, '3', 0, 0},
    {0x21, '4', '$', 0},   {0x22, '5', '%', 0},   {0x23, '6', '&', 0},   {0x24, '7', '/', '{'},
    {0x25, '8', '(', '['}, {0x26, '9', ')', ']'}, {0x27, '0', '=', '}'}, {0x2D, 0, '?', '\\'},
    {0x2E, 0, 0, 0},       {0x14, 'q', 'Q', '@'}, {0x1A, 'w', 'W', 0},   {0x08, 'e', 'E', 0},
    {0x15, 'r', 'R', 0},   {0x17, 't', 'T', 0},   {0x1C, 'z', 'Z', 0},   {0x18, 'u', 'U', 0},
    {0x0C, 'i', 'I', 0},   {0x12, 'o', 'O', 0},   {0x13, 'p', 'P', 0},   {0x2F, 0, 0, 0},
    {0x30, '+', '*', '~'}, {0x32, '#', '\'', 0},  {0x04, 'a', 'A', 0},   {0x16, 's', 'S', 0},
    {0x07, 'd', 'D', 0},   {0x09, 'f', 'F', 0},   {0x0A, 'g', 'G', 0},   {0x0B, 'h', 'H', 0},
    {0x0D, 'j', 'J', 0},   {0x0E, 'k', 'K', 0},   {0x0F, 'l', 'L', 0},   {0x33, 0, 0, 0},
    {0x34, 0, 0, 0},       {0x64, '<', '>', '|'}, {0x1D, 'y', 'Y', 0},   {0x1B, 'x', 'X', 0},
    {0x06, 'c', 'C', 0},   {0x19, 'v', 'V', 0},   {0x05, 'b', 'B', 0},   {0x11, 'n', 'N', 0},
    {0x10, 'm', 'M', 0},   {0x36, ',', ';', 0},   {0x37, '.', ':', 0},   {0x38, '-', '_', 0},
};

static_assert(sizeof UsKeys / sizeof UsKeys[0] == 48, "the main block has 48 keys");
static_assert(sizeof DeKeys / sizeof DeKeys[0] == 48, "the main block has 48 keys");

template <size_t N> CSimKeyTable Build(const LayoutKey (&keys)[N]) {
    CSimKeyTable table;
    auto put = [&](char c, uint8_t modifier, uint8_t usage) {
        const auto u = static_cast<uint8_t>(c);
        if (c && table.Lookup(u).usage == 0) table.Set(u, {modifier, usage});
    };
    for (const LayoutKey& k : keys) {
        put(k.normal, 0, k.usage);
        put(k.shift, CSimKeyTable::LeftShift, k.usage);
        put(k.altGr, CSimKeyTable::RightAlt, k.usage);
    }
    put(' ', 0, CSimKeyTable::SpaceUsage);
    return table;
}

} // namespace

std::optional<CSimKeyTable> CSimKeyTable::Named(const std::string& layout) {
    if (layout == "us") return Build(UsKeys);
    if (layout == "de") return Build(DeKeys);
    return std::nullopt;
}

const std::array<uint8_t, 48>& CSimKeyTable::MainBlockUsages() {
    static const std::array<uint8_t, 48> usages = [] {
        std::array<uint8_t, 48> u{};
        for (size_t i = 0; i < u.size(); ++i)
            u[i] = UsKeys[i].usage;
        return u;
    }();
    return usages;
}

std::string CSimKeyTable::DescribeKey(uint8_t character, Key key) {
    char text[64];
    if (character >= 32 && character < 127)
        std::snprintf(text, sizeof text, "%02X '%c'  ", character, character);
    else
        std::snprintf(text, sizeof text, "%02X      ", character);
    std::string line = text;
    if (key.usage == 0) return line + "no key";
    std::snprintf(text, sizeof text, "modifier %02X usage %02X", key.modifier, key.usage);
    return line + text;
}

std::string CSimKeyTable::Describe() const {
    std::string out;
    for (unsigned c = 0; c < 256; ++c) {
        const Key key = Lookup(static_cast<uint8_t>(c));
        if (key.usage || (c >= 32 && c < 127)) out += DescribeKey(static_cast<uint8_t>(c), key) + "\n";
    }
    return out;
}
