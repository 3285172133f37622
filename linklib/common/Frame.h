// Frame: the reader frame protocol without any I/O.
//
// Two framings exist; a session uses one for both directions.
//   BCC framing (0): 02 ADDR CMD LEN payload BCC, BCC = XOR of ADDR..last payload byte
//   CRC framing (1): ADDR CMD LEN payload CRClo CRChi, CRC-16/MODBUS over ADDR..payload
// A reply has the same layout with the command byte replaced by the reader's
// status byte. LEN 0xFF announces a run of records (count byte n, n bytes),
// ended by one 0xFF byte before the check byte(s).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Frame {

using Bytes = std::vector<uint8_t>;

enum Framing : uint8_t { Bcc = 0, Crc = 1 };

constexpr uint8_t StartByte = 0x02;
constexpr uint8_t VariableLength = 0xFF;
constexpr size_t MaxPayload = 255;

// CRC-16 with the reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
uint16_t Crc16(const uint8_t* data, size_t count);
inline uint16_t Crc16(const Bytes& data) {
    return Crc16(data.data(), data.size());
}

uint8_t Xor(const uint8_t* data, size_t count);

// Offsets and sizes of the two framings.
constexpr size_t HeaderSize(Framing f) {
    return f == Bcc ? 4 : 3;
}
constexpr size_t LenOffset(Framing f) {
    return f == Bcc ? 3 : 2;
}
constexpr size_t CodeOffset(Framing f) {
    return f == Bcc ? 2 : 1;
}
constexpr size_t AddressOffset(Framing f) {
    return f == Bcc ? 1 : 0;
}
constexpr size_t CheckSize(Framing f) {
    return f == Bcc ? 1 : 2;
}

// Turns [CMD, payload...] into the complete frame in place. The payload must
// not exceed MaxPayload bytes (LEN is one byte); callers check that first.
void BuildInPlace(Bytes& pending, Framing framing, uint8_t address);

// A complete frame with the given code (command byte, or status byte for a reply).
Bytes Build(Framing framing, uint8_t address, uint8_t code, const uint8_t* payload, size_t count);
inline Bytes Build(Framing framing, uint8_t address, uint8_t code, const Bytes& payload = {}) {
    return Build(framing, address, code, payload.data(), payload.size());
}

// Whether the bytes (beginning at the frame's first byte) hold a whole frame:
// LEN + 5 bytes for a fixed LEN; for LEN 0xFF the record run, its 0xFF
// terminator and the check byte(s) behind it.
bool IsComplete(Framing framing, const uint8_t* data, size_t count);
inline bool IsComplete(Framing framing, const Bytes& data) {
    return IsComplete(framing, data.data(), data.size());
}

// Length of the whole frame at the front of data, once IsComplete says so; 0 otherwise.
size_t CompleteLength(Framing framing, const uint8_t* data, size_t count);

enum class Check { Ok, Empty, Mismatch };

// BCC framing: the last byte equals the XOR of every byte between the first
// and the last. CRC framing: the CRC of all bytes but the last two equals the
// last two read little-endian. A frame too short to hold a header and its
// check bytes is a mismatch.
Check CheckFrame(Framing framing, const Bytes& frame);

// The data of a checked frame: without the header and, for LEN 0xFF, without
// the terminator and the check bytes; otherwise without the check bytes.
Bytes Strip(Framing framing, const Bytes& frame);

} // namespace Frame
