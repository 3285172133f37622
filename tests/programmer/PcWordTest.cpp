#include "PcWord.h"

#include <gtest/gtest.h>

using Programmer::PcWord;

namespace {

struct PcCase {
    const char* pc;
    int payloadLength;
    const char* expected;
};

void PrintTo(const PcCase& c, std::ostream* out) {
    *out << "PC " << c.pc << ", payload length " << c.payloadLength;
}

class PcFollowsPayloadLength : public testing::TestWithParam<PcCase> {};

TEST_P(PcFollowsPayloadLength, OnlyTheLengthBitsChange) {
    const PcCase& c = GetParam();
    EXPECT_EQ(PcWord::WithPayloadLength(c.pc, c.payloadLength), c.expected)
        << "PC " << c.pc << ", payload length " << c.payloadLength;
}

INSTANTIATE_TEST_SUITE_P(Cases, PcFollowsPayloadLength,
                         testing::Values(PcCase{"30 00", 12, "30 00"}, PcCase{"07 5A", 12, "37 5A"},
                                         PcCase{"30 00", 8, "20 00"},
                                         // Bits 0-2 and the second byte stay whatever they were.
                                         PcCase{"FF FF", 0, "07 FF"}, PcCase{"34 12", 62, "FC 12"},
                                         // An odd length counts its whole words.
                                         PcCase{"00 00", 13, "30 00"},
                                         // Missing bytes count as 0; the field always shows two.
                                         PcCase{"", 12, "30 00"}, PcCase{"05", 4, "15 00"},
                                         // Only five bits exist: 64 bytes (32 words) wrap to 0.
                                         PcCase{"30 00", 64, "00 00"}));

TEST(PcWord, PayloadLengthOfFirstByte) {
    EXPECT_EQ(PcWord::PayloadLength(0x30), 12);
    EXPECT_EQ(PcWord::PayloadLength(0x37), 12);
    EXPECT_EQ(PcWord::PayloadLength(0x20), 8);
    EXPECT_EQ(PcWord::PayloadLength(0xFF), 62);
    EXPECT_EQ(PcWord::PayloadLength(0x07), 0);
}

TEST(PcWord, FirstByteCarriesOnlyTheLength) {
    EXPECT_EQ(PcWord::FirstByte(12), 0x30);
    EXPECT_EQ(PcWord::FirstByte(8), 0x20);
    EXPECT_EQ(PcWord::FirstByte(0), 0x00);
    EXPECT_EQ(PcWord::FirstByte(62), 0xF8);
    for (int length = 0; length <= 62; length += 2)
        EXPECT_EQ(PcWord::PayloadLength(PcWord::FirstByte(length)), length);
}

TEST(PcWord, MakeEvenClearsBitZero) {
    EXPECT_EQ(PcWord::MakeEven(5), 4);
    EXPECT_EQ(PcWord::MakeEven(4), 4);
    EXPECT_EQ(PcWord::MakeEven(1), 0);
    EXPECT_EQ(PcWord::MakeEven(0), 0);
}

} // namespace
