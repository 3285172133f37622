#include "Frame.h"

#include <gtest/gtest.h>

#include <string>

using Frame::Bytes;

namespace {

Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(Frame, CrcCheckValue) {
    EXPECT_EQ(Frame::Crc16(FromText("123456789")), 0x4B37);
}

struct BuildCase {
    Frame::Framing framing;
    uint8_t address;
    uint8_t code;
    Bytes payload;
    Bytes expected;
};

TEST(Frame, BuildsRequestsInBothFramings) {
    const BuildCase cases[] = {
        {Frame::Bcc, 1, 0xF0, {}, {0x02, 0x01, 0xF0, 0x00, 0xF1}},
        {Frame::Crc, 1, 0xF0, {}, {0x01, 0xF0, 0x00, 0x64, 0x00}},
        {Frame::Bcc, 2, 0xF4, {0x82}, {0x02, 0x02, 0xF4, 0x01, 0x82, 0x02 ^ 0xF4 ^ 0x01 ^ 0x82}},
        {Frame::Bcc, 1, 0xF2, {0x03}, {0x02, 0x01, 0xF2, 0x01, 0x03, 0x01 ^ 0xF2 ^ 0x01 ^ 0x03}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Frame::Build(c.framing, c.address, c.code, c.payload), c.expected);
        Bytes pending{c.code};
        pending.insert(pending.end(), c.payload.begin(), c.payload.end());
        Frame::BuildInPlace(pending, c.framing, c.address);
        EXPECT_EQ(pending, c.expected);
    }
}

TEST(Frame, CrcFrameCarriesItsCrcLowByteFirst) {
    const Bytes frame = Frame::Build(Frame::Crc, 7, 0x81, Bytes{1, 2, 3});
    const uint16_t crc = Frame::Crc16(frame.data(), frame.size() - 2);
    EXPECT_EQ(frame[frame.size() - 2], crc & 0xFF);
    EXPECT_EQ(frame[frame.size() - 1], crc >> 8);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, frame), Frame::Check::Ok);
}

TEST(Frame, FixedLengthReplyIsCompleteAtLenPlusFive) {
    const Bytes reply = Frame::Build(Frame::Bcc, 1, 0, Bytes{'3', '0', '2', '1'});
    ASSERT_EQ(reply.size(), 9u);
    for (size_t n = 0; n < reply.size(); ++n)
        EXPECT_FALSE(Frame::IsComplete(Frame::Bcc, reply.data(), n)) << n;
    EXPECT_TRUE(Frame::IsComplete(Frame::Bcc, reply));
    EXPECT_EQ(Frame::CompleteLength(Frame::Bcc, reply.data(), reply.size()), 9u);
}

TEST(Frame, RecordRunCompleteOnlyWithCheckBytesBehindTerminator) {
    for (auto framing : {Frame::Bcc, Frame::Crc}) {
        // records 02 AA BB, 00, then the terminator
        Bytes frame = framing == Frame::Bcc ? Bytes{0x02, 0x01, 0x00, 0xFF} : Bytes{0x01, 0x00, 0xFF};
        const Bytes records{0x02, 0xAA, 0xBB, 0x00, 0xFF};
        frame.insert(frame.end(), records.begin(), records.end());
        if (framing == Frame::Bcc) {
            frame.push_back(Frame::Xor(frame.data() + 1, frame.size() - 1));
        } else {
            const uint16_t crc = Frame::Crc16(frame);
            frame.push_back(crc & 0xFF);
            frame.push_back(crc >> 8);
        }
        for (size_t n = 0; n < frame.size(); ++n)
            EXPECT_FALSE(Frame::IsComplete(framing, frame.data(), n)) << n;
        EXPECT_TRUE(Frame::IsComplete(framing, frame));
        EXPECT_EQ(Frame::CheckFrame(framing, frame), Frame::Check::Ok);
        EXPECT_EQ(Frame::Strip(framing, frame), (Bytes{0x02, 0xAA, 0xBB, 0x00}));
    }
}

TEST(Frame, RecordCountsSkipTheirBytesEvenWhenTheyHoldFF) {
    // A record's content may hold 0xFF; only a count byte of 0xFF ends the run.
    const Bytes frame{0x02, 0x01, 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0x00};
    EXPECT_TRUE(Frame::IsComplete(Frame::Bcc, frame));
    EXPECT_FALSE(Frame::IsComplete(Frame::Bcc, frame.data(), 6));
}

TEST(Frame, CheckAndStrip) {
    Bytes reply = Frame::Build(Frame::Bcc, 1, 0, Bytes{0x41, 0x42});
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, reply), Frame::Check::Ok);
    EXPECT_EQ(Frame::Strip(Frame::Bcc, reply), (Bytes{0x41, 0x42}));
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, {}), Frame::Check::Empty);
    reply.back() ^= 1;
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, reply), Frame::Check::Mismatch);
    // Too short to hold header and check byte: never read past the end.
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, Bytes{0x00, 0x00}), Frame::Check::Mismatch);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, Bytes{0x01, 0xFF, 0xFF}), Frame::Check::Mismatch);
}

TEST(Frame, LongerThanAnnouncedFailsTheCheck) {
    Bytes reply = Frame::Build(Frame::Bcc, 1, 0, Bytes{0x10});
    reply.push_back(0x55);
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, reply), Frame::Check::Mismatch);
}

} // namespace
