#include "SimTransponder.h"

#include <algorithm>

CSimTransponder::CSimTransponder()
    : m_reserved(ReservedSize), m_epcBank(EpcBankCapacity), m_tid(DefaultTid({})) {
    UpdateCrc();
}

CSimTransponder::CSimTransponder(const Bytes& epc, const Bytes& tid, const Bytes& user)
    : m_reserved(ReservedSize), m_epcBank(EpcBankCapacity), m_tid(tid), m_user(user) {
    Bytes code(epc.begin(), epc.begin() + std::min(epc.size(), MaxEpcSize));
    if (code.size() % 2) code.push_back(0);
    m_epcBank[2] = static_cast<uint8_t>((code.size() / 2) << 3);
    m_epcBank[3] = 0;
    std::copy(code.begin(), code.end(), m_epcBank.begin() + 4);
    if (m_tid.empty()) m_tid = DefaultTid(code);
    if (m_tid.size() > MaxTidSize) m_tid.resize(MaxTidSize);
    if (m_user.size() > MaxUserSize) m_user.resize(MaxUserSize);
    UpdateCrc();
}

CSimTransponder::Bytes CSimTransponder::DefaultTid(const Bytes& epc) {
    return ReaderOutput::TagMemory::DefaultTid(epc);
}

uint16_t CSimTransponder::Gen2Crc(const uint8_t* data, size_t count) {
    return ReaderOutput::TagMemory::Gen2Crc(data, count);
}

uint16_t CSimTransponder::Pc() const {
    return static_cast<uint16_t>(m_epcBank[2] << 8 | m_epcBank[3]);
}

CSimTransponder::Bytes CSimTransponder::PcBytes() const {
    return Bytes(m_epcBank.begin() + 2, m_epcBank.begin() + 4);
}

size_t CSimTransponder::EpcBytes() const {
    return size_t(m_epcBank[2] >> 3) * 2;
}

CSimTransponder::Bytes CSimTransponder::Epc() const {
    return Bytes(m_epcBank.begin() + 4, m_epcBank.begin() + 4 + EpcBytes());
}

uint16_t CSimTransponder::StoredCrc() const {
    return static_cast<uint16_t>(m_epcBank[0] << 8 | m_epcBank[1]);
}

CSimTransponder::Bytes CSimTransponder::KillPassword() const {
    return Bytes(m_reserved.begin(), m_reserved.begin() + 4);
}

CSimTransponder::Bytes CSimTransponder::AccessPassword() const {
    return Bytes(m_reserved.begin() + 4, m_reserved.end());
}

void CSimTransponder::SetPasswords(const Bytes& kill, const Bytes& access) {
    for (size_t i = 0; i < 4; ++i) {
        m_reserved[i] = i < kill.size() ? kill[i] : 0;
        m_reserved[4 + i] = i < access.size() ? access[i] : 0;
    }
}

bool CSimTransponder::Locked() const {
    return std::any_of(m_reserved.begin() + 4, m_reserved.end(), [](uint8_t b) { return b != 0; });
}

void CSimTransponder::UpdateCrc() {
    // PC word plus the EPC words it announces; L <= 31 always fits the capacity.
    const uint16_t crc = Gen2Crc(m_epcBank.data() + 2, 2 + EpcBytes());
    m_epcBank[0] = static_cast<uint8_t>(crc >> 8);
    m_epcBank[1] = static_cast<uint8_t>(crc);
}

CSimTransponder::Bytes* CSimTransponder::Storage(uint8_t bank) {
    return const_cast<Bytes*>(static_cast<const CSimTransponder*>(this)->Storage(bank));
}

const CSimTransponder::Bytes* CSimTransponder::Storage(uint8_t bank) const {
    switch (bank) {
    case ReservedBank:
        return &m_reserved;
    case EpcBank:
        return &m_epcBank;
    case TidBank:
        return &m_tid;
    case UserBank:
        return &m_user;
    default:
        return nullptr;
    }
}

size_t CSimTransponder::BankSize(uint8_t bank) const {
    if (bank == EpcBank) return 4 + EpcBytes();
    const Bytes* storage = Storage(bank);
    return storage ? storage->size() : 0;
}

CSimTransponder::Access CSimTransponder::Read(uint8_t bank, uint32_t wordAddress, size_t length,
                                              Bytes& out) const {
    const Bytes* storage = Storage(bank);
    if (!storage) return Access::BadBank;
    const size_t start = size_t(wordAddress) * 2;
    size_t end;
    if (length == 0) {
        end = BankSize(bank);
        if (start >= end) return Access::OutOfRange;
    } else {
        end = start + length;
        if (end > storage->size()) return Access::OutOfRange;
    }
    out.assign(storage->begin() + start, storage->begin() + end);
    return Access::Ok;
}

CSimTransponder::Access CSimTransponder::Write(uint8_t bank, uint32_t wordAddress, const Bytes& data) {
    Bytes* storage = Storage(bank);
    if (!storage) return Access::BadBank;
    if (bank == TidBank) return Access::ReadOnly;
    const size_t start = size_t(wordAddress) * 2;
    if (start + data.size() > storage->size()) return Access::OutOfRange;
    std::copy(data.begin(), data.end(), storage->begin() + start);
    if (bank == EpcBank) UpdateCrc();
    return Access::Ok;
}

ReaderOutput::TagMemory CSimTransponder::Memory() const {
    ReaderOutput::TagMemory memory;
    memory.reserved = m_reserved;
    memory.epcBank = m_epcBank;
    memory.tid = m_tid;
    memory.user = m_user;
    return memory;
}
