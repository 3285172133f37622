#include "SimConsole.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

using SimTest::Bytes;
using SimTest::Hex;

class SimConsoleTest : public ::testing::Test {
protected:
    CSimReader reader;
    CSimConsole console{reader};
    CSimReader::TimePoint now = CSimReader::TimePoint{} + std::chrono::hours(1);

    std::string Run(const std::string& line) { return console.Execute(line).output; }

    Bytes Send(uint8_t code, const Bytes& payload = {}) {
        now += std::chrono::milliseconds(100);
        reader.Feed(Frame::Build(Frame::Bcc, 1, code, payload), now);
        Bytes sent;
        for (const SimOutput& o : reader.TakeOutput())
            sent.insert(sent.end(), o.bytes.begin(), o.bytes.end());
        return sent;
    }
};

TEST_F(SimConsoleTest, PlacesListsAndRemovesTransponders) {
    EXPECT_EQ(Run("place 3000AABB - 00112233"), "ok\n");
    EXPECT_EQ(Run("place E2001234 E280FFFF"), "ok\n");
    const auto tags = reader.Tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].User(), Hex("00 11 22 33"));
    EXPECT_EQ(tags[0].Tid().size(), 12u);
    EXPECT_EQ(tags[1].Tid(), Hex("E2 80 FF FF"));
    EXPECT_EQ(Run("tags"), "EPC 30 00 AA BB  PC 10 00  TID " + SimHex::Format(tags[0].Tid()) +
                               "\nEPC E2 00 12 34  PC 10 00  TID E2 80 FF FF\n");

    EXPECT_EQ(Run("remove 3000aabb"), "ok\n");
    EXPECT_EQ(Run("remove 3000aabb"), "error: no transponder with that EPC\n");
    EXPECT_EQ(Run("remove all"), "removed 1\n");
    EXPECT_EQ(Run("tags"), "no transponders\n");

    EXPECT_EQ(Run("place 123"), "error: EPC must be 1 to 62 bytes of hex\n");
    EXPECT_EQ(Run("place"), "error: usage: place EPC [TID [USER [ACCESSPW]]]\n");
    EXPECT_TRUE(reader.Tags().empty());
}

TEST_F(SimConsoleTest, PlacesALockedTransponder) {
    EXPECT_EQ(Run("place 3000AABB E280FFFF - 11223344"), "ok\n");
    EXPECT_EQ(Run("place 3000CCDD E2801111 - 00000000"), "ok\n"); // zero: not locked
    const auto tags = reader.Tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].AccessPassword(), Hex("11 22 33 44"));
    EXPECT_EQ(tags[0].User().size(), CSimTransponder::DefaultUserSize);
    EXPECT_EQ(Run("tags"), "EPC 30 00 AA BB  PC 10 00  TID E2 80 FF FF  locked\n"
                           "EPC 30 00 CC DD  PC 10 00  TID E2 80 11 11\n");
    EXPECT_EQ(Run("place 3000EEFF - - 1122"), "error: access password must be 4 bytes of hex\n");

    std::string error;
    const auto parsed = CSimConsole::ParseTag("3000AABB:::A1A2A3A4", error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_TRUE(parsed->Locked());
    EXPECT_FALSE(CSimConsole::ParseTag("3000AABB:::A1A2A3A4:00", error));
    EXPECT_EQ(error, "a tag is EPC[:TID[:USER[:ACCESSPW]]]");
}

TEST_F(SimConsoleTest, ArmsFaults) {
    reader.PlaceTag(CSimTransponder(Hex("AABB")));
    EXPECT_EQ(Run("fault status c4 21"), "ok\n");
    Send(0xC2);
    EXPECT_EQ(Run("fault noise 55 AA"), "ok\n");
    EXPECT_EQ(Run("fault extra EE"), "ok\n");
    const Bytes reply = Send(0xC4, Hex("03 00 00 00 12 34"));
    EXPECT_EQ(SimHex::Format(reply), "55 AA 02 01 15 00 14 EE");
    EXPECT_EQ(reader.FindTag(Hex("AABB"))->User()[0], 0x12); // the write did happen

    EXPECT_EQ(Run("fault silence 1"), "ok\n");
    EXPECT_TRUE(Send(0xF0).empty());
    EXPECT_EQ(Run("fault silence on"), "ok\n");
    EXPECT_TRUE(Send(0xF0).empty());
    EXPECT_EQ(Run("fault silence off"), "ok\n");
    EXPECT_EQ(Run("fault badcheck"), "ok\n");
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, Send(0xF0)), Frame::Check::Mismatch);

    EXPECT_EQ(Run("fault status 86 300"), "error: usage: fault status CMD CODE (CMD hex, CODE 0..255)\n");
    EXPECT_EQ(Run("fault noise 5"), "error: bytes must be hex\n");
    EXPECT_EQ(Run("fault gap 2 50"), "ok\n");
    EXPECT_EQ(Run("fault clear"), "ok\n");
    EXPECT_EQ(Send(0xF0).size(), 9u);
}

TEST_F(SimConsoleTest, ShowsAndResetsState) {
    Send(0x82, Hex("01 02 FF"));
    const std::string blocks = Run("blocks");
    EXPECT_NE(blocks.find("Prefix: 01 02 FF\n"), std::string::npos);
    EXPECT_NE(blocks.find("ModeParam: 00 0A 3F 05\n"), std::string::npos);
    EXPECT_EQ(Run("reset"), "ok\n");
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::Prefix), Hex("FF"));

    EXPECT_EQ(Run("state 0"), "state 0, power-on mode 1, 19200 baud format 0, rf on, 0 transponder(s)\n");
    EXPECT_EQ(Run("rf off"), "ok\n");
    EXPECT_FALSE(reader.Rf());
    EXPECT_EQ(Run("send 41 0D"), "ok\n");
    EXPECT_EQ(reader.TakeOutput().at(0).bytes, Hex("41 0D"));

    EXPECT_EQ(Run("unplug"), "error: no device to unplug\n");
    EXPECT_EQ(Run("frobnicate"), "error: unknown command 'frobnicate'; try help\n");
    EXPECT_EQ(Run("   "), "");
    EXPECT_TRUE(console.Execute("quit").quit);
}

TEST(SimConsoleTagSpec, ParsesEpcTidAndUser) {
    std::string error;
    auto tag = CSimConsole::ParseTag("3000AABBCCDD:E2801234:0102", error);
    ASSERT_TRUE(tag) << error;
    EXPECT_EQ(tag->Epc(), Hex("30 00 AA BB CC DD"));
    EXPECT_EQ(tag->Tid(), Hex("E2 80 12 34"));
    EXPECT_EQ(tag->User(), Hex("01 02"));
    tag = CSimConsole::ParseTag("AABB::0102", error);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->Tid().size(), 12u);
    EXPECT_FALSE(CSimConsole::ParseTag("AABB:1:2", error));
    EXPECT_FALSE(CSimConsole::ParseTag("AA:BB:CC:DD", error));
    EXPECT_FALSE(CSimConsole::ParseTag("", error));
}

} // namespace
