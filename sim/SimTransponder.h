// CSimTransponder: one EPC Class-1 Generation-2 transponder in the simulated
// reader's field, with its four memory banks.
//
//   bank 0 reserved: kill password (bytes 0-3), access password (bytes 4-7)
//   bank 1 EPC:      StoredCRC (2, big-endian), PC (2), EPC (2L bytes) where
//                    L = bits 3-7 of the PC's first byte (EPC length in words);
//                    fixed capacity of 4 + 62 bytes
//   bank 2 TID:      read-only
//   bank 3 user:     any size up to MaxUserSize
//
// Addresses are word addresses (2 bytes per word); lengths are byte counts.
#pragma once

#include "TagMemory.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CSimTransponder {
public:
    using Bytes = std::vector<uint8_t>;

    enum Bank : uint8_t { ReservedBank = 0, EpcBank = 1, TidBank = 2, UserBank = 3 };
    enum class Access { Ok, OutOfRange, BadBank, ReadOnly };

    static constexpr size_t MaxEpcSize = 62;
    static constexpr size_t EpcBankCapacity = 4 + MaxEpcSize;
    static constexpr size_t ReservedSize = 8;
    static constexpr size_t DefaultUserSize = 64;
    // A whole-bank read must fit a fixed-length reply (LEN 0xFF means a record run).
    static constexpr size_t MaxUserSize = 254;
    static constexpr size_t MaxTidSize = 254;

    // A transponder without EPC (PC 00 00).
    CSimTransponder();
    // The EPC (an odd byte count gets a zero byte appended; more than MaxEpcSize
    // bytes are cut) with a PC that carries only its length. An empty TID gets
    // DefaultTid(epc); user memory is cut to MaxUserSize.
    explicit CSimTransponder(const Bytes& epc, const Bytes& tid = {},
                             const Bytes& user = Bytes(DefaultUserSize));

    // A 12-byte TID beginning E2 80, with a serial derived from the EPC.
    static Bytes DefaultTid(const Bytes& epc);

    // EPC Gen2 CRC-16: polynomial 0x1021, initial value 0xFFFF, output inverted.
    static uint16_t Gen2Crc(const uint8_t* data, size_t count);

    uint16_t Pc() const;
    Bytes PcBytes() const;
    Bytes Epc() const;          // 2L bytes as the PC announces them
    uint16_t StoredCrc() const; // as held in bank 1, bytes 0-1
    const Bytes& Tid() const { return m_tid; }
    const Bytes& User() const { return m_user; }
    Bytes KillPassword() const;
    Bytes AccessPassword() const;
    void SetPasswords(const Bytes& kill, const Bytes& access);
    // A non-zero access password locks the transponder: writes to any bank then
    // need the password presented first (the reader's access command).
    bool Locked() const;

    // Bytes a whole-bank read returns: bank 1 up to the end of the EPC the PC
    // announces, the other banks whole. 0 for an unknown bank.
    size_t BankSize(uint8_t bank) const;

    // Reads length bytes from wordAddress; length 0 reads from there to the
    // bank's end (BankSize), which must leave at least one byte. An explicit
    // length may reach into bank 1's unused capacity.
    Access Read(uint8_t bank, uint32_t wordAddress, size_t length, Bytes& out) const;

    // Writes the bytes at wordAddress. Bank 1 writes may extend to its capacity;
    // the StoredCRC is recomputed after every bank 1 write, so the EPC length
    // follows the PC just written. TID writes are refused.
    Access Write(uint8_t bank, uint32_t wordAddress, const Bytes& data);

    // The four banks as the output engine reads them.
    ReaderOutput::TagMemory Memory() const;

private:
    size_t EpcBytes() const;
    void UpdateCrc();
    Bytes* Storage(uint8_t bank);
    const Bytes* Storage(uint8_t bank) const;

    Bytes m_reserved;
    Bytes m_epcBank;
    Bytes m_tid;
    Bytes m_user;
};
