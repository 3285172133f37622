// ReaderOutput::KeyTable: the keyboard table of an HID reader as it types,
// the USB HID keyboard key (usage) and modifier byte it presses for each
// character; and how a reader types bytes through it.
//
// A keyboard-wedge reader types the same bytes a serial reader sends. A
// character with a key in the table is that key; the control characters
// a keyboard has keys for (BS, TAB, CR, ESC, DEL) are those keys when the
// table has none of its own for them; another control character 01..1A is
// Control with the key of its letter. Anything else has no key and is not
// typed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ReaderOutput {

// USB HID modifier bits.
constexpr uint8_t LeftControl = 0x01;
constexpr uint8_t LeftShift = 0x02;
constexpr uint8_t LeftAlt = 0x04;
constexpr uint8_t RightShift = 0x20;
constexpr uint8_t RightAlt = 0x40; // AltGr

struct Key {
    uint8_t modifier = 0;
    uint8_t usage = 0; // 0: no key
    bool operator==(const Key& o) const { return modifier == o.modifier && usage == o.usage; }
    bool operator!=(const Key& o) const { return !(*this == o); }
};

class KeyTable {
public:
    KeyTable() = default; // no key for any character

    Key Lookup(uint8_t character) const { return m_keys[character]; }
    void Set(uint8_t character, Key key) { m_keys[character] = key; }
    size_t Count() const; // characters with a key
    bool operator==(const KeyTable& o) const;

private:
    std::array<Key, 256> m_keys{};
};

// The fixed key of a control character (Backspace 2A, Tab 2B, Enter 28 for
// CR, Escape 29, Delete 4C); usage 0 for the others.
Key ControlKey(uint8_t character);

// One key press of a typed telegram.
struct KeyPress {
    uint8_t character = 0; // the byte the reader types
    Key key;               // usage 0: the reader has no key for it
    bool operator==(const KeyPress& o) const { return character == o.character && key == o.key; }
};

// The key presses that type bytes on a reader with this table.
KeyPress TypeCharacter(uint8_t character, const KeyTable& table);
std::vector<KeyPress> TypeBytes(const std::vector<uint8_t>& bytes, const KeyTable& table);

} // namespace ReaderOutput
