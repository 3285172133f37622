// BtModulePacket: the packets a Bluetooth adapter module exchanges with its host.
//
//   02 TYPE OPCODE LENlo LENhi SUM payload 03
//
// TYPE is 0x52 in requests, 0x43 in confirms and 0x69 in indications; SUM is
// the sum of TYPE..LENhi modulo 256. A packet is identified by its code: TYPE
// in the low byte, OPCODE in the high byte (0x0B69: indication 0x0B).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace BtModulePacket {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t Start = 0x02;
constexpr uint8_t End = 0x03;
constexpr uint8_t Request = 0x52;
constexpr uint8_t Confirm = 0x43;
constexpr uint8_t Indication = 0x69;
constexpr size_t Overhead = 7;

struct Packet {
    uint8_t type = 0;
    uint8_t opcode = 0;
    Bytes payload;
    uint16_t Code() const { return static_cast<uint16_t>(type | opcode << 8); }
};

Bytes Build(uint8_t type, uint8_t opcode, const Bytes& payload = {});
inline Bytes Build(const Packet& packet) {
    return Build(packet.type, packet.opcode, packet.payload);
}

// Collects bytes and cuts packets out of them. Bytes in front of a 0x02 are
// dropped (counted in Dropped), and so is a 0x02 whose packet would announce
// more payload than maxPayload: a length that large is taken as line noise,
// so that a corrupted header cannot hold the stream up. Neither the checksum
// nor the final 0x03 is required, as the module's hosts do not check them.
class Assembler {
public:
    explicit Assembler(size_t maxPayload = 1000) : m_maxPayload(maxPayload) {}
    void Add(const uint8_t* data, size_t count) { m_buffer.insert(m_buffer.end(), data, data + count); }
    void Add(const Bytes& bytes) { Add(bytes.data(), bytes.size()); }
    std::optional<Packet> Next();
    size_t Buffered() const { return m_buffer.size(); }
    size_t Dropped() const { return m_dropped; }
    void Clear() { m_buffer.clear(); }

private:
    size_t m_maxPayload;
    Bytes m_buffer;
    size_t m_dropped = 0;
};

} // namespace BtModulePacket
