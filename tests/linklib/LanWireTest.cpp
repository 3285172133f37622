// LanWire: the datagrams, list entries, record fields and address texts of
// the network transport, without sockets.
#include "LanWire.h"

#include <gtest/gtest.h>

namespace {

using namespace LanWire;

Bytes Record(const Address& address, int hostBits, int port, const std::string& name) {
    Bytes record(120, 0);
    std::copy(address.begin(), address.end(), record.begin());
    record[6] = uint8_t(hostBits);
    record[20] = uint8_t(port & 0xFF);
    record[21] = uint8_t(port >> 8);
    std::copy(name.begin(), name.end(), record.begin() + 112);
    return record;
}

TEST(LanWire, RequestsAreExactBytes) {
    EXPECT_EQ(SearchRequest(), (Bytes{0x00, 0x01, 0x00, 0xF8}));
    EXPECT_EQ(ReadRecordRequest(0), (Bytes{0x00, 0x01, 0x00, 0xE0}));
    EXPECT_EQ(ReadRecordRequest(15), (Bytes{0x00, 0x01, 0x00, 0xEF}));
    EXPECT_EQ(WriteRecordRequest(0, {0xAA, 0xBB}), (Bytes{0x00, 0x00, 0x00, 0xC0, 0xAA, 0xBB}));
    EXPECT_EQ(WriteRecordRequest(3, {0xAA}), (Bytes{0x00, 0x01, 0x00, 0xC3, 0xAA}));
    EXPECT_EQ(RestartRequest(), (Bytes{0x00, 0x00, 0x00, 0x03, 0x58, 0x33}));
    EXPECT_EQ(ReadAnswerCode(2), 0xD2);
    EXPECT_EQ(WriteAnswerCode(0), 0xB0);
}

TEST(LanWire, TakingAQueuedDatagram) {
    const uint8_t datagram[] = {0x12, 0x34, 0x56, 0xF9, 1, 2, 3};
    const Datagram taken = Take(Queued({192, 168, 0, 7}, datagram, sizeof datagram));
    EXPECT_EQ(AddressText(taken.sender), "192.168.0.7");
    // Bytes 0..2 of the header are not looked at.
    EXPECT_EQ(taken.code, 0xF9);
    EXPECT_EQ(taken.payload, (Bytes{1, 2, 3}));
    // Shorter than its header: no code, no payload.
    const Datagram cut = Take(Queued({1, 2, 3, 4}, datagram, 3));
    EXPECT_EQ(cut.code, -1);
    EXPECT_TRUE(cut.payload.empty());
    EXPECT_EQ(Take(Bytes{1}).code, -1);
}

TEST(LanWire, SearchEntries) {
    Datagram answer;
    answer.sender = {192, 168, 0, 7};
    answer.code = 0xF9;
    answer.payload = Record({10, 0, 0, 5}, 8, 10001, "");
    EXPECT_EQ(SearchEntry(answer), "10.0.0.5-10001");
    answer.payload = Record({0, 0, 0, 0}, 8, 10001, "LAGER1");
    EXPECT_EQ(SearchEntry(answer), "[LAGER1]192.168.0.7-10001");
    answer.payload = Record({0, 0, 0, 0}, 8, 65535, "ABCDEFGH");
    EXPECT_EQ(SearchEntry(answer), "[ABCDEFGH]192.168.0.7-65535");
    answer.payload.resize(119);
    EXPECT_EQ(SearchEntry(answer), "");
    answer.payload.resize(120);
    answer.code = 0xF8;
    EXPECT_EQ(SearchEntry(answer), "");
}

TEST(LanWire, EntriesSplitForVerification) {
    EXPECT_EQ(SplitEntry("10.0.0.5-10001").host, "10.0.0.5");
    EXPECT_EQ(SplitEntry("10.0.0.5-10001").bracketed, "");
    const EntryParts dhcp = SplitEntry("[LAGER1]192.168.0.7-10001");
    EXPECT_EQ(dhcp.host, "192.168.0.7");
    EXPECT_EQ(dhcp.bracketed, "[LAGER1]");
    const EntryParts odd = SplitEntry("[A-B]C]1.2.3.4-1");
    EXPECT_EQ(odd.host, "1.2.3.4");
    EXPECT_EQ(odd.bracketed, "[A-B]C]");
}

TEST(LanWire, FamilyRecognisedByRecord2) {
    Bytes record(128, 0);
    const std::string name = "kv-PLM41 LAN";
    std::copy(name.begin(), name.end(), record.begin() + 93);
    EXPECT_TRUE(IsFamilyRecord(record));
    EXPECT_EQ(DeviceName(record), "kv-PLM41 LAN");
    record.resize(125);
    EXPECT_FALSE(IsFamilyRecord(record));
    record.resize(126);
    EXPECT_TRUE(IsFamilyRecord(record));
    record[93] = 'X';
    EXPECT_FALSE(IsFamilyRecord(record));
    // A name running to the record's end (no NUL) is read up to it.
    Bytes full(126, 'K');
    full[94] = 'V', full[95] = '-';
    EXPECT_TRUE(IsFamilyRecord(full));
}

TEST(LanWire, ResolvingABracketedName) {
    EXPECT_EQ(BracketedPart("[LAGER1]"), "[LAGER1]");
    EXPECT_EQ(BracketedPart("x[LAGER1]-5"), "[LAGER1]");
    EXPECT_EQ(BracketedPart("[LAGER1"), "[LAGER1");
    EXPECT_EQ(BracketedPart("1.2.3.4"), "");
    const std::vector<std::string> entries{"10.0.0.5-10001", "[LAGER1][LAGER1]1.1.1.1-1",
                                           "[LAGER1]192.168.0.7-10002", "[LAGER1]192.168.0.8-10003"};
    EXPECT_EQ(ResolveFrom(entries, "[LAGER1]"), "192.168.0.7-10002");
    EXPECT_EQ(ResolveFrom(entries, "[LAGER2]"), "");
    EXPECT_EQ(ResolveFrom(entries, ""), "");

    std::string host;
    int port = 0;
    SplitHostPort("192.168.0.7-10002", host, port);
    EXPECT_EQ(host, "192.168.0.7");
    EXPECT_EQ(port, 10002);
    SplitHostPort("192.168.0.7", host, port);
    EXPECT_EQ(port, 10001);
    SplitHostPort("192.168.0.7-x", host, port);
    EXPECT_EQ(port, 0);
    EXPECT_EQ(WithoutPort("192.168.0.7-10002"), "192.168.0.7");
    EXPECT_EQ(WithoutPort("192.168.0.7"), "192.168.0.7");
}

TEST(LanWire, DottedAddressesAndPorts) {
    Address a{};
    EXPECT_TRUE(ParseDotted("192.168.000.7", a));
    EXPECT_EQ(AddressText(a), "192.168.0.7");
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..3.4", "1.2.3.4 ", "-1.2.3.4", "a.b.c.d", "1.2.3.0004"})
        EXPECT_FALSE(ParseDotted(bad, a)) << bad;
    int port = 0;
    EXPECT_TRUE(ParsePort("65535", port));
    EXPECT_EQ(port, 65535);
    for (const char* bad : {"", "0", "65536", "1x", "+1", "000001"})
        EXPECT_FALSE(ParsePort(bad, port)) << bad;
}

TEST(LanWire, AddressSettings) {
    AddressSetting s;
    ASSERT_TRUE(ParseAddressSetting("192.168.0.8-10002", s));
    EXPECT_EQ(AddressText(s.address), "192.168.0.8");
    EXPECT_EQ(s.port, 10002);
    EXPECT_EQ(s.name, "");
    ASSERT_TRUE(ParseAddressSetting("192.168.0.8", s));
    EXPECT_EQ(s.port, 0);
    ASSERT_TRUE(ParseAddressSetting("[LAGER1]", s));
    EXPECT_TRUE(IsZero(s.address));
    EXPECT_EQ(s.name, "LAGER1");
    EXPECT_EQ(s.port, 0);
    ASSERT_TRUE(ParseAddressSetting("[LAGER1]-10005", s));
    EXPECT_EQ(s.port, 10005);
    for (const char* bad : {"", "x", "1.2.3.4-", "1.2.3.4-0", "1.2.3.4-1-2", "[LAGER1", "[A]-"})
        EXPECT_FALSE(ParseAddressSetting(bad, s)) << bad;
}

TEST(LanWire, HostBitsOfMasks) {
    int bits = -1;
    ASSERT_TRUE(ParseMask("255.255.255.0", bits));
    EXPECT_EQ(bits, 8);
    ASSERT_TRUE(ParseMask("255.255.0.0", bits));
    EXPECT_EQ(bits, 16);
    ASSERT_TRUE(ParseMask("255.255.255.252", bits));
    EXPECT_EQ(bits, 2);
    ASSERT_TRUE(ParseMask("255.255.255.255", bits));
    EXPECT_EQ(bits, 0);
    ASSERT_TRUE(ParseMask("0.0.0.0", bits));
    EXPECT_EQ(bits, 32);
    // Counted from bit 0 of the last octet up to the first one bit.
    ASSERT_TRUE(ParseMask("255.0.255.0", bits));
    EXPECT_EQ(bits, 8);
    ASSERT_TRUE(ParseMask("128.0.0.0", bits));
    EXPECT_EQ(bits, 31);
    EXPECT_FALSE(ParseMask("255.255.255", bits));
}

TEST(LanWire, Record0ComparedAndChanged) {
    const Bytes current = Record({192, 168, 0, 7}, 8, 10001, "OLDNAME");
    AddressSetting same;
    ASSERT_TRUE(ParseAddressSetting("192.168.0.7-10001", same));
    EXPECT_FALSE(Differs(current, same, 8));
    EXPECT_FALSE(Differs(current, same, -1));
    EXPECT_TRUE(Differs(current, same, 16));
    AddressSetting noPort;
    ASSERT_TRUE(ParseAddressSetting("192.168.0.7", noPort));
    EXPECT_FALSE(Differs(current, noPort, -1));
    AddressSetting otherPort;
    ASSERT_TRUE(ParseAddressSetting("192.168.0.7-10002", otherPort));
    EXPECT_TRUE(Differs(current, otherPort, -1));

    AddressSetting dhcp;
    ASSERT_TRUE(ParseAddressSetting("[LAGER1]", dhcp));
    EXPECT_TRUE(Differs(current, dhcp, -1));
    Bytes changed = current;
    changed[50] = 0x77; // bytes the setting does not name stay
    Apply(changed, dhcp, -1);
    Bytes expected = Record({0, 0, 0, 0}, 8, 10001, "LAGER1");
    expected[50] = 0x77;
    EXPECT_EQ(changed, expected);
    EXPECT_FALSE(Differs(changed, dhcp, -1));
    EXPECT_EQ(RecordName(changed), "LAGER1");

    AddressSetting eight;
    ASSERT_TRUE(ParseAddressSetting("[ABCDEFGHIJ]", eight));
    Apply(changed, eight, 24);
    EXPECT_EQ(std::string(changed.begin() + 112, changed.begin() + 120), "ABCDEFGH");
    EXPECT_EQ(changed[6], 24);
    EXPECT_EQ(RecordPort(changed), 10001);
    EXPECT_EQ(RecordName(changed), "ABCDEFGH");
    // A name longer than 8 characters always counts as different.
    EXPECT_TRUE(Differs(changed, eight, 24));
}

} // namespace
