#include "TagMemory.h"

#include <algorithm>

namespace ReaderOutput {

Bytes SampleEpc() {
    return {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};
}

Bytes TagMemory::DefaultTid(const Bytes& epc) {
    // Class E2, then a made-up designer/model, then a 48-bit serial. The serial
    // comes from the EPC so that tags placed with different EPCs differ.
    Bytes tid = {0xE2, 0x80, 0x0A, 0x10, 0x20, 0x00};
    uint32_t h = 2166136261u;
    for (uint8_t b : epc)
        h = (h ^ b) * 16777619u;
    const uint16_t crc = Gen2Crc(epc.data(), epc.size());
    for (int i = 3; i >= 0; --i)
        tid.push_back(static_cast<uint8_t>(h >> (8 * i)));
    tid.push_back(static_cast<uint8_t>(crc >> 8));
    tid.push_back(static_cast<uint8_t>(crc));
    return tid;
}

TagMemory TagMemory::Sample() {
    const Bytes epc = SampleEpc();
    return WithEpc(epc, DefaultTid(epc), Bytes(SampleUserSize));
}

TagMemory TagMemory::WithEpc(const Bytes& epc, const Bytes& tid, const Bytes& user) {
    TagMemory memory;
    Bytes code(epc.begin(), epc.begin() + long(std::min(epc.size(), MaxEpcSize)));
    if (code.size() % 2) code.push_back(0);
    memory.epcBank[2] = static_cast<uint8_t>((code.size() / 2) << 3);
    memory.epcBank[3] = 0;
    std::copy(code.begin(), code.end(), memory.epcBank.begin() + 4);
    const uint16_t crc = Gen2Crc(memory.epcBank.data() + 2, 2 + code.size());
    memory.epcBank[0] = static_cast<uint8_t>(crc >> 8);
    memory.epcBank[1] = static_cast<uint8_t>(crc);
    memory.tid = tid;
    memory.user = user;
    return memory;
}

uint16_t TagMemory::Gen2Crc(const uint8_t* data, size_t count) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : crc << 1;
    }
    return static_cast<uint16_t>(~crc);
}

size_t TagMemory::EpcBytes() const {
    if (epcBank.size() < 4) return 0;
    return std::min(size_t(epcBank[2] >> 3) * 2, epcBank.size() - 4);
}

Bytes TagMemory::Epc() const {
    if (epcBank.size() < 4) return {};
    return Bytes(epcBank.begin() + 4, epcBank.begin() + 4 + long(EpcBytes()));
}

const Bytes* TagMemory::Storage(uint8_t bank) const {
    switch (bank) {
    case 0:
        return &reserved;
    case 1:
        return &epcBank;
    case 2:
        return &tid;
    case 3:
        return &user;
    default:
        return nullptr;
    }
}

size_t TagMemory::BankSize(uint8_t bank) const {
    if (bank == 1) return std::min(epcBank.size(), 4 + EpcBytes());
    const Bytes* storage = Storage(bank);
    return storage ? storage->size() : 0;
}

bool TagMemory::Read(uint8_t bank, uint32_t wordAddress, size_t length, Bytes& out) const {
    out.clear();
    const Bytes* storage = Storage(bank);
    if (!storage) return false;
    const size_t start = size_t(wordAddress) * 2;
    size_t end;
    if (length == 0) {
        end = BankSize(bank);
        if (start >= end) return false;
    } else {
        end = start + length;
        if (end > storage->size()) return false;
    }
    out.assign(storage->begin() + long(start), storage->begin() + long(end));
    return true;
}

} // namespace ReaderOutput
