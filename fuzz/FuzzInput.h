// Reads an input front to back in plain bytes, so that seed files can be
// written by hand: a byte, a run of bytes with its length byte in front,
// the rest. Past the end everything reads as 0 or empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Left() const { return m_size - m_at; }
    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::vector<uint8_t> Bytes(size_t count) {
        const size_t n = count < Left() ? count : Left();
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + n);
        m_at += n;
        return bytes;
    }
    // A length byte, then that many bytes.
    std::vector<uint8_t> Counted() { return Bytes(Byte()); }
    std::vector<uint8_t> Rest() { return Bytes(Left()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace Fuzz
