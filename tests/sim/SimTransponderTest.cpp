#include "SimTransponder.h"
#include "SimHex.h"

#include <gtest/gtest.h>

namespace {

using Bytes = CSimTransponder::Bytes;

Bytes Hex(const std::string& text) {
    return SimHex::Parse(text).value();
}

TEST(SimTransponderTest, Gen2CrcMatchesTheStandardCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(CSimTransponder::Gen2Crc(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xD64E);
    // PC + EPC of a freshly built transponder: the StoredCRC covers exactly these bytes.
    CSimTransponder tag(Hex("30 08 33 B2 DD D9 01 40 00 00 00 00"));
    const Bytes pcEpc = Hex("30 00 30 08 33 B2 DD D9 01 40 00 00 00 00");
    EXPECT_EQ(tag.StoredCrc(), CSimTransponder::Gen2Crc(pcEpc.data(), pcEpc.size()));
}

TEST(SimTransponderTest, EpcLengthFollowsThePc) {
    CSimTransponder odd(Hex("AA BB CC")); // padded to whole words
    EXPECT_EQ(odd.Pc(), 0x1000);
    EXPECT_EQ(odd.Epc(), Hex("AA BB CC 00"));
    EXPECT_EQ(odd.BankSize(CSimTransponder::EpcBank), 8u);
    EXPECT_EQ(odd.Tid().size(), 12u);
    EXPECT_EQ(odd.Tid()[0], 0xE2);
    EXPECT_EQ(odd.Tid()[1], 0x80);
    EXPECT_NE(odd.Tid(), CSimTransponder(Hex("AA BB CC DD")).Tid());

    // Growing the PC exposes the bank's unused capacity, zeros first.
    ASSERT_EQ(odd.Write(CSimTransponder::EpcBank, 1, Hex("18 00")), CSimTransponder::Access::Ok);
    EXPECT_EQ(odd.Epc(), Hex("AA BB CC 00 00 00"));
    Bytes out;
    EXPECT_EQ(odd.Read(CSimTransponder::EpcBank, 0, 0, out), CSimTransponder::Access::Ok);
    EXPECT_EQ(out.size(), 10u);
    // The largest EPC fills the capacity exactly.
    const Bytes full(62, 0x5A);
    CSimTransponder big(full);
    EXPECT_EQ(big.Pc(), 0xF800);
    EXPECT_EQ(big.Epc(), full);
    EXPECT_EQ(big.Read(CSimTransponder::EpcBank, 32, 2, out), CSimTransponder::Access::Ok);
    EXPECT_EQ(big.Read(CSimTransponder::EpcBank, 33, 1, out), CSimTransponder::Access::OutOfRange);
}

} // namespace
