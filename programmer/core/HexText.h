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

    // What a field's text gives.
    struct Reading {
        bool valid = true;     // false: refused, nothing may be sent from this text
        Bytes bytes;           // at most the limit; none when refused
        size_t count = 0;      // bytes the text stands for without the limit
        std::string offending; // the first token that is no byte, cut and made printable
    };

    // Reads a field the way the user typed it, the same for the dialog and
    // the command line. A text containing "Error" (what a failed inventory
    // leaves in the selection) gives no bytes. Otherwise the text is split at
    // blanks (spaces, tabs, line ends; several in a row are one separator):
    // a one-digit token is the value of its digit, a two-digit token its
    // byte, and an unspaced run of an even number of digits ("E2003412")
    // its bytes in pairs. A token holding a character that is no hex digit,
    // or an odd run of three or more digits (which digit stands alone
    // cannot be told), refuses the whole text: writing 00 for what the user
    // mistyped could overwrite a PC or lock a tag. At most limit bytes.
    static Reading Read(const std::string& text, size_t limit);

    // Read(text, limit).bytes: no bytes for a text that is refused.
    static Bytes Parse(const std::string& text, size_t limit) { return Read(text, limit).bytes; }

    // How many bytes the text stands for before the limit applies: what
    // Parse gives without a limit, for a text that is read. In a refused
    // text every token counts its characters in pairs, so the count follows
    // the typing ("E2003" counts 3).
    static size_t TokenCount(const std::string& text) { return Read(text, 0).count; }
};

} // namespace Programmer
