// The network module without sockets: record layouts, which datagrams are
// requests, what a write keeps, and the datagram faults.
#include "SimNetModule.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

using SimTest::Bytes;
using SimTest::Hex;

Bytes Header(uint8_t code) {
    return {0x00, 0x00, 0x00, code};
}

Bytes Payload(const Bytes& answer) {
    return Bytes(answer.begin() + 4, answer.end());
}

CSimNetModule::Settings Static(CSimNetModule::Address address, uint16_t port = 10001) {
    CSimNetModule::Settings settings;
    settings.address = address;
    settings.port = port;
    return settings;
}

TEST(SimNetModuleTest, RecordsCarryAddressMaskPortAndNames) {
    CSimNetModule::Settings settings = Static({127, 0, 0, 2}, 0x2711);
    settings.hostBits = 16;
    const Bytes record0 = CSimNetModule::Record0(settings);
    ASSERT_EQ(record0.size(), 120u);
    Bytes expected(120, 0);
    expected[0] = 127;
    expected[3] = 2;
    expected[6] = 16;
    expected[20] = 0x11; // little-endian port
    expected[21] = 0x27;
    EXPECT_EQ(record0, expected);

    // A DHCP record: address 0.0.0.0, the name at 112, all 8 bytes used without a terminator.
    CSimNetModule::Settings dhcp;
    dhcp.dhcpName = "LAGER123";
    const Bytes record = CSimNetModule::Record0(dhcp);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), Hex("00 00 00 00"));
    EXPECT_EQ(std::string(record.begin() + 112, record.end()), "LAGER123");
    const CSimNetModule::Settings back = CSimNetModule::SettingsOf(record);
    EXPECT_TRUE(back.Dhcp());
    EXPECT_EQ(back.dhcpName, "LAGER123");
    EXPECT_EQ(back.port, 10001);
    EXPECT_EQ(back.hostBits, 8);
    dhcp.dhcpName = "AB";
    EXPECT_EQ(CSimNetModule::SettingsOf(CSimNetModule::Record0(dhcp)).dhcpName, "AB");

    const Bytes record2 = CSimNetModule::Record2("KV-PLM41 LAN");
    ASSERT_EQ(record2.size(), 128u);
    EXPECT_EQ(std::string(record2.begin() + 93, record2.begin() + 105), "KV-PLM41 LAN");
    EXPECT_EQ(record2[105], 0);
    EXPECT_EQ(CSimNetModule::DeviceNameOf(record2), "KV-PLM41 LAN");
    EXPECT_EQ(CSimNetModule::DefaultDeviceName(0x302), "KV-PLM41 LAN");
    EXPECT_EQ(CSimNetModule::DefaultDeviceName(0x313), "KV-PLM72 Plus LAN");
    // The longest name still leaves its terminator inside the record.
    const std::string longest(CSimNetModule::MaxDeviceName, 'N');
    EXPECT_EQ(CSimNetModule::Record2(longest).back(), 0);
}

TEST(SimNetModuleTest, ValidatesNamesAndAddresses) {
    EXPECT_EQ(CSimNetModule::CheckDhcpName("LAGER1"), "");
    EXPECT_EQ(CSimNetModule::CheckDhcpName("12345678"), "");
    EXPECT_NE(CSimNetModule::CheckDhcpName(""), "");
    EXPECT_NE(CSimNetModule::CheckDhcpName("123456789"), "");
    EXPECT_NE(CSimNetModule::CheckDhcpName("A]B"), "");
    EXPECT_NE(CSimNetModule::CheckDhcpName("A\tB"), "");
    EXPECT_EQ(CSimNetModule::CheckDeviceName("Fremdgeraet"), "");
    EXPECT_NE(CSimNetModule::CheckDeviceName(std::string(35, 'x')), "");

    EXPECT_EQ(CSimNetModule::ParseAddress("127.0.0.2"), (CSimNetModule::Address{127, 0, 0, 2}));
    EXPECT_EQ(CSimNetModule::FormatAddress({192, 0, 2, 255}), "192.0.2.255");
    for (const char* bad :
         {"", "127.0.0", "127.0.0.2.1", "127.0.0.256", "127..0.2", "a.b.c.d", "127.0.0.2 ", "1271.0.0.2"})
        EXPECT_FALSE(CSimNetModule::ParseAddress(bad)) << bad;
}

TEST(SimNetModuleTest, OnlyExactRequestsAreAnswered) {
    CSimNetModule module(Static({127, 0, 0, 2}), "KV-PLM41 LAN");
    struct Case {
        const char* bytes;
        CSimNetModule::Kind kind;
        int record;
    } cases[] = {
        {"00 01 00 F8", CSimNetModule::Kind::Search, -1},
        {"00 01 00 E0", CSimNetModule::Kind::Read, 0},
        {"00 01 00 EF", CSimNetModule::Kind::Read, 15},
        {"00 00 00 C0 01", CSimNetModule::Kind::Write, 0},
        {"00 01 00 C3 01", CSimNetModule::Kind::Write, 3},
        {"00 00 00 03 58 33", CSimNetModule::Kind::Restart, -1},
        // One byte off, one byte too many or too few: no request.
        {"00 01 00 F8 00", CSimNetModule::Kind::Invalid, -1},
        {"00 00 00 F8", CSimNetModule::Kind::Invalid, -1},
        {"01 01 00 F8", CSimNetModule::Kind::Invalid, -1},
        {"00 01 00 E0 00", CSimNetModule::Kind::Invalid, -1},
        {"00 01 00 C0 01", CSimNetModule::Kind::Invalid, -1}, // record 0 is written with 00 in byte 1
        {"00 00 00 C1 01", CSimNetModule::Kind::Invalid, -1}, // the others with 01
        {"00 00 00 03 58", CSimNetModule::Kind::Invalid, -1},
        {"00 00 00 03 58 34", CSimNetModule::Kind::Invalid, -1},
        {"00 01 00", CSimNetModule::Kind::Invalid, -1},
        {"00 01 00 D0", CSimNetModule::Kind::Invalid, -1}, // an answer code is no request
    };
    for (const Case& c : cases) {
        int n = -2;
        EXPECT_EQ(CSimNetModule::Classify(Hex(c.bytes), n), c.kind) << c.bytes;
        EXPECT_EQ(n, c.record) << c.bytes;
        if (c.kind == CSimNetModule::Kind::Invalid) {
            const CSimNetModule::Outcome outcome = module.Handle(Hex(c.bytes));
            EXPECT_TRUE(outcome.answers.empty()) << c.bytes;
            EXPECT_FALSE(outcome.restart) << c.bytes;
        }
    }
    // Nothing invalid changed a record.
    EXPECT_EQ(module.Record(0), CSimNetModule::Record0(Static({127, 0, 0, 2})));
    EXPECT_EQ(module.Record(3), Bytes(120, 0));
}

TEST(SimNetModuleTest, AnswersSearchReadsWritesAndRestart) {
    CSimNetModule module(Static({127, 0, 0, 2}), "KV-PLM41 LAN");

    CSimNetModule::Outcome search = module.Handle(Hex("00 01 00 F8"));
    ASSERT_EQ(search.answers.size(), 1u);
    EXPECT_EQ(Bytes(search.answers[0].begin(), search.answers[0].begin() + 4), Header(0xF9));
    EXPECT_EQ(Payload(search.answers[0]), module.Record(0));

    const CSimNetModule::Outcome read2 = module.Handle(Hex("00 01 00 E2"));
    ASSERT_EQ(read2.answers.size(), 1u);
    EXPECT_EQ(read2.answers[0].size(), 4u + 128u);
    EXPECT_EQ(read2.answers[0][3], 0xD2);
    for (int n : {1, 3, 15}) {
        const CSimNetModule::Outcome read =
            module.Handle(CSimNetModule::Bytes{0x00, 0x01, 0x00, uint8_t(0xE0 + n)});
        ASSERT_EQ(read.answers.size(), 1u);
        EXPECT_EQ(read.answers[0], [&] {
            Bytes a = Header(uint8_t(0xD0 + n));
            a.resize(124, 0);
            return a;
        }()) << n;
    }

    // A write answers B0+n without payload and replaces the leading bytes only.
    const CSimNetModule::Outcome write = module.Handle(Hex("00 01 00 C5 AA BB CC"));
    ASSERT_EQ(write.answers.size(), 1u);
    EXPECT_EQ(write.answers[0], Header(0xB5));
    Bytes record5(120, 0);
    record5[0] = 0xAA;
    record5[1] = 0xBB;
    record5[2] = 0xCC;
    EXPECT_EQ(module.Record(5), record5);
    // A record keeps its size: what goes beyond it is not stored.
    Bytes tooLong = Hex("00 01 00 C6");
    tooLong.resize(4 + 130, 0x11);
    module.Handle(tooLong);
    EXPECT_EQ(module.Record(6), Bytes(120, 0x11));

    // Record 0 written: reads and searches report it at once.
    CSimNetModule::Settings moved = Static({127, 0, 0, 7}, 10007);
    Bytes write0 = Hex("00 00 00 C0");
    const Bytes record0 = CSimNetModule::Record0(moved);
    write0.insert(write0.end(), record0.begin(), record0.end());
    EXPECT_EQ(module.Handle(write0).answers.at(0), Header(0xB0));
    search = module.Handle(Hex("00 01 00 F8"));
    EXPECT_EQ(Payload(search.answers.at(0)), record0);
    EXPECT_EQ(module.CurrentSettings().port, 10007);

    const CSimNetModule::Outcome restart = module.Handle(Hex("00 00 00 03 58 33"));
    EXPECT_TRUE(restart.restart);
    EXPECT_TRUE(restart.answers.empty());
}

TEST(SimNetModuleTest, FaultsChangeAnswersForTheirCountAndKinds) {
    CSimNetModule module(Static({127, 0, 0, 2}), "KV-PLM41 LAN");
    const Bytes search = Hex("00 01 00 F8");
    const Bytes read0 = Hex("00 01 00 E0");

    // Wrong code: XOR 1 by default, or the code given; for one answer only.
    module.SetFault(CSimNetModule::Fault::WrongCode, 1);
    EXPECT_EQ(module.Handle(search).answers.at(0)[3], 0xF8);
    EXPECT_EQ(module.Handle(search).answers.at(0)[3], 0xF9);
    module.SetFault(CSimNetModule::Fault::WrongCode, CSimNetModule::Forever, CSimNetModule::ScopeAll, 0x42);
    EXPECT_EQ(module.Handle(read0).answers.at(0)[3], 0x42);
    EXPECT_EQ(module.Handle(read0).answers.at(0)[3], 0x42);
    EXPECT_EQ(module.FaultSummary(), "code on 42");
    module.SetFault(CSimNetModule::Fault::WrongCode, 0);
    EXPECT_EQ(module.Handle(read0).answers.at(0)[3], 0xD0);

    // Short payload, limited to reads: the search stays whole.
    module.SetFault(CSimNetModule::Fault::ShortPayload, 2, CSimNetModule::ScopeRead);
    EXPECT_EQ(module.Handle(search).answers.at(0).size(), 124u);
    EXPECT_EQ(module.Handle(read0).answers.at(0).size(), 4u + 119u);
    module.SetFault(CSimNetModule::Fault::ShortPayload, 1, CSimNetModule::ScopeRead, 125);
    EXPECT_EQ(module.Handle(Hex("00 01 00 E2")).answers.at(0).size(), 4u + 125u);
    EXPECT_EQ(module.Handle(read0).answers.at(0).size(), 124u);

    // Duplicate: the same answer twice.
    module.SetFault(CSimNetModule::Fault::Duplicate, 1);
    const CSimNetModule::Outcome twice = module.Handle(search);
    ASSERT_EQ(twice.answers.size(), 2u);
    EXPECT_EQ(twice.answers[0], twice.answers[1]);
    EXPECT_EQ(module.Handle(search).answers.size(), 1u);

    // Silence: no answer and no effect, writes and restarts included.
    module.SetFault(CSimNetModule::Fault::Silence, CSimNetModule::Forever);
    const CSimNetModule::Outcome lost = module.Handle(Hex("00 01 00 C4 01"));
    EXPECT_TRUE(lost.silenced);
    EXPECT_TRUE(lost.answers.empty());
    EXPECT_EQ(module.Record(4), Bytes(120, 0));
    EXPECT_FALSE(module.Handle(Hex("00 00 00 03 58 33")).restart);
    // Faults combine; clearing forgets them all.
    module.SetFault(CSimNetModule::Fault::Silence, 0);
    module.SetFault(CSimNetModule::Fault::WrongCode, CSimNetModule::Forever, CSimNetModule::ScopeSearch);
    module.SetFault(CSimNetModule::Fault::Duplicate, CSimNetModule::Forever, CSimNetModule::ScopeSearch);
    const CSimNetModule::Outcome both = module.Handle(search);
    ASSERT_EQ(both.answers.size(), 2u);
    EXPECT_EQ(both.answers[1][3], 0xF8);
    EXPECT_EQ(module.FaultSummary(), "code on search, duplicate on search");
    module.ClearFaults();
    EXPECT_EQ(module.FaultSummary(), "");
    EXPECT_EQ(module.Handle(search).answers.size(), 1u);
}

} // namespace
