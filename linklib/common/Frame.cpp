#include "Frame.h"

namespace Frame {

uint16_t Crc16(const uint8_t* data, size_t count) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = crc & 1;
            crc >>= 1;
            if (out) crc ^= 0xA001;
        }
    }
    return crc;
}

uint8_t Xor(const uint8_t* data, size_t count) {
    uint8_t x = 0;
    for (size_t i = 0; i < count; ++i)
        x ^= data[i];
    return x;
}

void BuildInPlace(Bytes& pending, Framing framing, uint8_t address) {
    if (pending.empty()) return;
    const auto len = static_cast<uint8_t>(pending.size() - 1);
    pending.insert(pending.begin() + 1, len);
    if (framing == Crc) {
        pending.insert(pending.begin(), address);
        const uint16_t crc = Crc16(pending);
        pending.push_back(static_cast<uint8_t>(crc & 0xFF));
        pending.push_back(static_cast<uint8_t>(crc >> 8));
    } else {
        pending.insert(pending.begin(), {StartByte, address});
        pending.push_back(0);
        pending.back() = Xor(pending.data() + 1, pending.size() - 2);
    }
}

Bytes Build(Framing framing, uint8_t address, uint8_t code, const uint8_t* payload, size_t count) {
    Bytes frame;
    frame.reserve(count + 6);
    frame.push_back(code);
    frame.insert(frame.end(), payload, payload + count);
    BuildInPlace(frame, framing, address);
    return frame;
}

size_t CompleteLength(Framing framing, const uint8_t* data, size_t count) {
    const size_t header = HeaderSize(framing);
    if (count < header) return 0;
    const uint8_t len = data[LenOffset(framing)];
    if (len != VariableLength) {
        const size_t total = size_t(len) + 5;
        return count >= total ? total : 0;
    }
    // Record run: count byte c, c bytes, ..., 0xFF terminator, check byte(s).
    size_t pos = header;
    while (pos < count) {
        const uint8_t c = data[pos];
        if (c == VariableLength) {
            const size_t total = pos + 1 + CheckSize(framing);
            return count >= total ? total : 0;
        }
        pos += size_t(c) + 1;
    }
    return 0;
}

bool IsComplete(Framing framing, const uint8_t* data, size_t count) {
    return CompleteLength(framing, data, count) != 0;
}

Check CheckFrame(Framing framing, const Bytes& frame) {
    if (frame.empty()) return Check::Empty;
    if (frame.size() < HeaderSize(framing) + CheckSize(framing)) return Check::Mismatch;
    if (framing == Bcc) {
        const uint8_t expected = Xor(frame.data() + 1, frame.size() - 2);
        return frame.back() == expected ? Check::Ok : Check::Mismatch;
    }
    const uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    const uint16_t got = uint16_t(frame[frame.size() - 2]) | uint16_t(frame[frame.size() - 1]) << 8;
    return crc == got ? Check::Ok : Check::Mismatch;
}

Bytes Strip(Framing framing, const Bytes& frame) {
    const size_t header = HeaderSize(framing);
    if (frame.size() <= header) return {};
    size_t trailer = CheckSize(framing);
    if (frame[LenOffset(framing)] == VariableLength) trailer += 1;
    if (frame.size() < header + trailer) return {};
    return Bytes(frame.begin() + header, frame.end() - trailer);
}

} // namespace Frame
