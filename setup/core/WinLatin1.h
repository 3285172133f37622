// The Windows Latin 1 code page (1252) between the reader's and the file's
// single bytes and the UTF-8 texts the user interface shows and edits.
//
// The mapping is one-to-one for all 256 bytes: the five bytes the code page
// leaves undefined (81, 8D, 8F, 90, 9D) stand for the code points of the same
// value, as Windows maps them, so that any byte survives the way to a text and
// back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace WinLatin1 {

// The code point of a byte.
char32_t CodePoint(uint8_t byte);
// The byte of a code point, or -1 when the code page has none.
int Byte(char32_t codePoint);

// One byte as UTF-8 text; a byte string as UTF-8 text.
std::string ToUtf8(uint8_t byte);
std::string ToUtf8(const std::string& bytes);

// The code points of a UTF-8 text; a malformed sequence gives U+FFFD per byte.
std::vector<char32_t> Decode(const std::string& utf8);
std::string Encode(char32_t codePoint);
// Number of characters (code points) of a UTF-8 text.
size_t Length(const std::string& utf8);

// The code page byte of the first character of a UTF-8 text: -1 for an empty
// text, '?' for a character the code page cannot hold (as Windows' default
// character).
int FirstByte(const std::string& utf8);

} // namespace WinLatin1
