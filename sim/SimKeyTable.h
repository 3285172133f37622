// CSimKeyTable: the keyboard table of a simulated HID reader, which key
// (USB HID keyboard usage) and modifier it presses to type a character.
// The host asks for one character at a time (interface command 0x11) and
// sets one at a time (0x12); the table is kept per character. How the
// reader types with it is the output engine's (output/KeyTable.h).
#pragma once

#include "KeyTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class CSimKeyTable : public ReaderOutput::KeyTable {
public:
    // USB HID modifier bits.
    static constexpr uint8_t LeftShift = ReaderOutput::LeftShift;
    static constexpr uint8_t RightShift = ReaderOutput::RightShift;
    static constexpr uint8_t RightAlt = ReaderOutput::RightAlt; // AltGr
    static constexpr uint8_t SpaceUsage = 0x2C;

    using Key = ReaderOutput::Key;

    CSimKeyTable() = default; // no key for any character

    // A start table: "us" (characters 32..126 on the 48 keys of the main
    // block with and without Shift, the space on its bar) or "de" (the
    // German layout: Z and Y swapped, AltGr characters such as @ on Q and
    // the backslash on the key right of 0; ^ and ` are dead keys there and
    // have no key). nullopt for another name.
    static std::optional<CSimKeyTable> Named(const std::string& layout);

    // One line per character with a key, and per printable character
    // without one ("no key"): "41 'A'  modifier 02 usage 04".
    std::string Describe() const;
    static std::string DescribeKey(uint8_t character, Key key);

    // The usages of the 48 main-block keys, in keyboard order.
    static const std::array<uint8_t, 48>& MainBlockUsages();
};
