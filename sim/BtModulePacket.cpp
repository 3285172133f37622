#include "BtModulePacket.h"

namespace BtModulePacket {

Bytes Build(uint8_t type, uint8_t opcode, const Bytes& payload) {
    const size_t n = payload.size() & 0xFFFF;
    const uint8_t lo = static_cast<uint8_t>(n), hi = static_cast<uint8_t>(n >> 8);
    Bytes packet;
    packet.reserve(n + Overhead);
    for (uint8_t b : {Start, type, opcode, lo, hi, static_cast<uint8_t>(type + opcode + lo + hi)})
        packet.push_back(b);
    packet.insert(packet.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
    packet.push_back(End);
    return packet;
}

std::optional<Packet> Assembler::Next() {
    for (;;) {
        size_t skip = 0;
        while (skip < m_buffer.size() && m_buffer[skip] != Start)
            ++skip;
        if (skip) {
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(skip));
            m_dropped += skip;
        }
        if (m_buffer.size() < 6) return std::nullopt;
        const size_t n = m_buffer[3] | size_t(m_buffer[4]) << 8;
        if (n > m_maxPayload) {
            m_buffer.erase(m_buffer.begin());
            ++m_dropped;
            continue;
        }
        if (m_buffer.size() < n + Overhead) return std::nullopt;
        Packet packet;
        packet.type = m_buffer[1];
        packet.opcode = m_buffer[2];
        packet.payload.assign(m_buffer.begin() + 6, m_buffer.begin() + 6 + static_cast<std::ptrdiff_t>(n));
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(n + Overhead));
        return packet;
    }
}

} // namespace BtModulePacket
