// CSimNetModule: the network module of a simulated LAN reader, without any I/O.
//
// It keeps the sixteen device records and answers the configuration
// datagrams a host sends to UDP port 30718:
//
//   search          00 01 00 F8                  -> 00 00 00 F9 + record 0
//   read record n   00 01 00 (E0+n)              -> 00 00 00 (D0+n) + record n
//   write record n  00 (01, 00 for n=0) 00 (C0+n) + bytes -> 00 00 00 (B0+n)
//   restart         00 00 00 03 58 33            -> no answer
//
// Anything else is not a request and is ignored, so a host that sends one
// byte wrong gets no answer instead of a lenient one.
//
// Record 0 holds the network settings: bytes 0-3 the address (0.0.0.0 =
// DHCP), byte 6 the host bits of the mask, bytes 20-21 the TCP data port
// (little-endian), bytes 112-119 the DHCP name (zero-filled, not terminated
// when all 8 are used); its other bytes stay zero. Record 2 carries the
// device name, NUL-terminated, at offset 93 of its 128 bytes. Every other
// record is 120 zero bytes until it is written. A write replaces the
// record's leading bytes and keeps its size (bytes beyond it are dropped);
// a written record 0 is what the endpoint comes back under at the next
// restart, until then it only changes what reads and searches report.
//
// Fault injection works on the datagrams: a wrong answer code, a payload
// cut short, every answer sent twice, and silence (requests ignored, as if
// they were lost). Each fault is armed for the next N requests it applies to,
// or for all of them until it is switched off, and may be limited to some
// kinds of request.
//
// Every public member is thread-safe.
#pragma once

#include "Frame.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CSimNetModule {
public:
    using Bytes = Frame::Bytes;
    using Address = std::array<uint8_t, 4>;

    static constexpr uint16_t UdpPort = 30718;
    static constexpr uint16_t DefaultTcpPort = 10001;
    static constexpr int RecordCount = 16;
    static constexpr size_t RecordSize = 120;
    static constexpr size_t NameRecordSize = 128; // record 2
    static constexpr size_t NameOffset = 93;
    static constexpr size_t MaxDeviceName = NameRecordSize - NameOffset - 1;
    static constexpr size_t DhcpNameOffset = 112;
    static constexpr size_t DhcpNameSize = 8;
    static constexpr size_t PortOffset = 20;
    static constexpr size_t HostBitsOffset = 6;

    // What record 0 says about the network.
    struct Settings {
        Address address{}; // 0.0.0.0: from DHCP
        uint8_t hostBits = 8;
        uint16_t port = DefaultTcpPort;
        std::string dhcpName; // at most 8 characters

        bool Dhcp() const { return address == Address{}; }
    };

    enum class Kind { Search, Read, Write, Restart, Invalid };
    // Kinds as bits, for limiting a fault.
    enum Scope : unsigned {
        ScopeSearch = 1,
        ScopeRead = 2,
        ScopeWrite = 4,
        ScopeRestart = 8,
        ScopeAll = 15,
    };
    enum class Fault { WrongCode, ShortPayload, Duplicate, Silence };
    static constexpr int FaultCount = 4;
    // Armed for the next count requests; Forever until switched off; 0 is off.
    static constexpr int Forever = -1;

    // What became of one datagram.
    struct Outcome {
        Kind kind = Kind::Invalid;
        int record = -1;            // read and write
        std::vector<Bytes> answers; // to send back, in this order
        bool restart = false;       // the endpoint restarts
        bool silenced = false;
    };

    CSimNetModule();
    CSimNetModule(const Settings& settings, const std::string& deviceName);

    static Bytes Record0(const Settings& settings);
    static Settings SettingsOf(const Bytes& record0);
    static Bytes Record2(const std::string& deviceName);
    static std::string DeviceNameOf(const Bytes& record2);
    // "KV-PLM41 LAN" for type 0x302.
    static std::string DefaultDeviceName(uint16_t deviceType);
    // Validation of the texts the command line and console take; "" when fine.
    static std::string CheckDhcpName(const std::string& name);
    static std::string CheckDeviceName(const std::string& name);
    // "127.0.0.2" and back; ParseAddress gives nullopt for anything but four
    // decimal octets between dots.
    static std::string FormatAddress(const Address& address);
    static std::optional<Address> ParseAddress(const std::string& text);

    // Classifies a datagram; n is the record of a read or write.
    static Kind Classify(const Bytes& datagram, int& n);

    Outcome Handle(const Bytes& datagram);

    Bytes Record(int n) const;
    bool SetRecord(int n, const Bytes& bytes); // as a write does; false for n outside 0..15
    Settings CurrentSettings() const;          // of the stored record 0

    void SetFault(Fault fault, int count, unsigned scope = ScopeAll, std::optional<uint8_t> value = {});
    void ClearFaults();
    // "code 2 search" style text of the armed faults, "" when none.
    std::string FaultSummary() const;

private:
    struct Armed {
        int count = 0;
        unsigned scope = ScopeAll;
        std::optional<uint8_t> value;
    };
    bool TakeLocked(Fault fault, Kind kind, std::optional<uint8_t>* value = nullptr);
    void WriteLocked(int n, const Bytes& bytes);

    mutable std::mutex m_mutex;
    std::array<Bytes, RecordCount> m_records;
    std::array<Armed, FaultCount> m_faults;
};
