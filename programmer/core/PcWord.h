// The protocol control word of an EPC (bank 1, bytes 2-3): bits 3-7 of its
// first byte hold the EPC length in 16-bit words. The dialog shows that
// length in bytes as the "payload length".
#pragma once

#include <cstdint>
#include <string>

namespace Programmer {

class PcWord {
public:
    // Payload length in bytes coded in a PC whose first byte is given.
    static int PayloadLength(uint8_t firstByte) { return (firstByte >> 3) * 2; }

    // The first byte of a PC for this payload length, the other bits 0. Only
    // the five length bits exist, so the word count is taken modulo 32.
    static uint8_t FirstByte(int payloadLength) {
        return static_cast<uint8_t>(((payloadLength / 2) & 0x1F) << 3);
    }

    // The PC field after the payload length changed: bits 3-7 of the first
    // byte take payload length / 2, its bits 0-2 and the second byte stay. A
    // field with fewer than two bytes counts the missing ones as 0. The
    // result is always two bytes in hex text form.
    static std::string WithPayloadLength(const std::string& pcText, int payloadLength);

    // Start, length and payload length are kept even: clearing bit 0.
    static int MakeEven(int value) { return value & ~1; }
};

} // namespace Programmer
