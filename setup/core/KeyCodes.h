// The codes of a key sequence: the 144 entries of the code entry list (the
// position of an entry is its code) and the 50 names that name codes coming
// from a file, from a reader or from a hexadecimal entry.
#pragma once

#include <cstdint>
#include <string>

namespace KeyCodes {

constexpr int ListSize = 144; // codes 0..143 can be entered
constexpr int NameTableSize = 50;

// The text of list entry code (0..143), UTF-8; "" outside the list.
std::string ListEntry(int code);

// The name of a code: the name table's name, else the one character with
// that code (Windows Latin 1, as UTF-8).
std::string Name(uint8_t code);
// Whether the name table has the code.
bool HasTableName(uint8_t code);

// The list entry whose text equals text without regard to case (ASCII
// letters), or -1.
int FindEntry(const std::string& text);

} // namespace KeyCodes
