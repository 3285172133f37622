#include "KeyTable.h"

namespace ReaderOutput {

size_t KeyTable::Count() const {
    size_t n = 0;
    for (const Key& k : m_keys)
        if (k.usage) ++n;
    return n;
}

bool KeyTable::operator==(const KeyTable& o) const {
    return m_keys == o.m_keys;
}

Key ControlKey(uint8_t character) {
    switch (character) {
    case 0x08:
        return {0, 0x2A};
    case 0x09:
        return {0, 0x2B};
    case 0x0D:
        return {0, 0x28};
    case 0x1B:
        return {0, 0x29};
    case 0x7F:
        return {0, 0x4C};
    default:
        return {};
    }
}

KeyPress TypeCharacter(uint8_t character, const KeyTable& table) {
    KeyPress press{character, table.Lookup(character)};
    if (press.key.usage) return press;
    press.key = ControlKey(character);
    if (press.key.usage) return press;
    if (character >= 0x01 && character <= 0x1A) {
        // Control with the letter's key, whatever level the letter is on.
        Key letter = table.Lookup(uint8_t('a' + character - 1));
        if (!letter.usage) letter = table.Lookup(uint8_t('A' + character - 1));
        if (letter.usage) press.key = {LeftControl, letter.usage};
    }
    return press;
}

std::vector<KeyPress> TypeBytes(const std::vector<uint8_t>& bytes, const KeyTable& table) {
    std::vector<KeyPress> presses;
    presses.reserve(bytes.size());
    for (uint8_t b : bytes)
        presses.push_back(TypeCharacter(b, table));
    return presses;
}

} // namespace ReaderOutput
