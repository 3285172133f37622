// ReaderOutput::TagMemory: the memory of one EPC Gen-2 transponder as the
// output engine reads it, with no behaviour beyond reading.
//
//   bank 0 reserved: kill and access password
//   bank 1 EPC:      as stored: StoredCRC (2), PC (2), EPC (2L bytes, L =
//                    bits 3-7 of the PC's first byte), and what follows in
//                    the bank's capacity
//   bank 2 TID, bank 3 user
//
// Addresses are word addresses (2 bytes per word); lengths are byte counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ReaderOutput {

using Bytes = std::vector<uint8_t>;

// The EPC of the sample transponder (an SGTIN-96).
Bytes SampleEpc();
constexpr size_t SampleUserSize = 64;

struct TagMemory {
    static constexpr size_t MaxEpcSize = 62;
    static constexpr size_t EpcBankCapacity = 4 + MaxEpcSize;

    Bytes reserved = Bytes(8);
    Bytes epcBank = Bytes(EpcBankCapacity);
    Bytes tid;
    Bytes user;

    // The memory of a transponder with this EPC (an odd byte count gets a
    // zero byte appended, more than MaxEpcSize bytes are cut), a PC carrying
    // only its length and the StoredCRC over PC and EPC.
    static TagMemory WithEpc(const Bytes& epc, const Bytes& tid, const Bytes& user);

    // A 12-byte TID beginning E2 80, with a serial derived from the EPC, as
    // the simulated reader gives a transponder placed without one.
    static Bytes DefaultTid(const Bytes& epc);
    // The sample transponder: SampleEpc(), its default TID and 64 zero
    // bytes of user memory.
    static TagMemory Sample();

    // EPC Gen2 CRC-16: polynomial 0x1021, initial value 0xFFFF, output inverted.
    static uint16_t Gen2Crc(const uint8_t* data, size_t count);

    // The EPC as the PC announces it (at most what the bank holds).
    Bytes Epc() const;
    // Bytes a whole-bank read returns: bank 1 up to the end of the EPC the
    // PC announces, the other banks whole; 0 for an unknown bank.
    size_t BankSize(uint8_t bank) const;
    // length bytes from wordAddress; length 0 to the bank's end, which must
    // leave at least one byte. An explicit length may reach into bank 1's
    // unused capacity. False (out empty) when the bytes are not there.
    bool Read(uint8_t bank, uint32_t wordAddress, size_t length, Bytes& out) const;

private:
    const Bytes* Storage(uint8_t bank) const;
    size_t EpcBytes() const;
};

} // namespace ReaderOutput
