// The hex text form of the programmer's fields: each byte as two upper-case
// hex digits, bytes separated by one blank ("E2 00 01").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Programmer {

using Bytes = std::vector<uint8_t>;

class HexText {
public:
    // How many bytes a field may give.
    static constexpr size_t SelectionLimit = 16; // the EPC that addresses a transponder
    static constexpr size_t EpcWriteLimit = 196; // the EPC written behind its new PC
    static constexpr size_t FieldLimit = 200;    // every other field

    static std::string Format(const uint8_t* data, size_t count);
    static std::string Format(const Bytes& data) { return Format(data.data(), data.size()); }

    // Reads a field the way the user may have typed it. A text containing
    // "Error" (what a failed inventory leaves in the selection) gives no
    // bytes. Otherwise leading and trailing blanks are dropped and the text
    // is split at every single blank: a two-character token gives the byte
    // of its two digits, a one-character token the value of its digit, any
    // other token (also the empty one between two blanks) gives 0; a
    // character that is no hex digit counts as 0. At most limit bytes.
    static Bytes Parse(const std::string& text, size_t limit);

    // Number of tokens the text holds before the limit applies (what Parse
    // would give without a limit).
    static size_t TokenCount(const std::string& text);
};

} // namespace Programmer
