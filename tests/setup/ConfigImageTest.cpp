#include "ConfigImage.h"

#include <gtest/gtest.h>

using ConfigImage::Bytes;

TEST(ConfigImage, DefaultRecord) {
    const KonfigDaten record;
    Bytes param{0x00};
    param.insert(param.end(), 16, 0xFF);
    param.insert(param.end(), {0x00, 0x00, 0x0A, 0x05, 0x01, 0x00, 0x00});
    EXPECT_EQ(ConfigImage::BuildParam(record), param);
    EXPECT_EQ(ConfigImage::BuildModeParam(record), (Bytes{0x00, 0x0A, 0x3F, 0x05}));
}

TEST(ConfigImage, Registers) {
    KonfigDaten record;
    record.Registers[0] = {2, 6, 2};
    const Bytes param = ConfigImage::BuildParam(record);
    EXPECT_EQ(Bytes(param.begin() + 1, param.begin() + 17),
              (Bytes{0x46, 0x02, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                     0xFF}));

    record.Registers[1] = {4, 70, 70000}; // length keeps 6 bits, start 24 bits
    record.Registers[2] = {1, 0, -1};     // reserved bank; -1 is FF FF FF
    const Bytes more = ConfigImage::BuildParam(record);
    EXPECT_EQ(Bytes(more.begin() + 5, more.begin() + 13),
              (Bytes{0xC6, 0x70, 0x11, 0x01, 0x00, 0xFF, 0xFF, 0xFF}));

    const auto decoded = ConfigImage::DecodeParam(more.data(), more.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->registers[1].memoryType, 4);
    EXPECT_EQ(decoded->registers[1].length, 6);
    EXPECT_EQ(decoded->registers[1].start, 70000u);
    EXPECT_FALSE(decoded->registers[2].empty); // 00 FF FF FF is a register
    EXPECT_EQ(decoded->registers[2].start, 0xFFFFFFu);
    EXPECT_TRUE(decoded->registers[3].empty);
    EXPECT_FALSE(ConfigImage::DecodeParam(more.data(), 23));
}

TEST(ConfigImage, ModeParam) {
    KonfigDaten record;
    record.Betriebsart = 0x13;
    record.Zykluszeit = 150; // truncated to 1, reads back as 100 ms
    record.TimeoutRS232 = 12700;
    record.Aufforderung = 'A';
    const Bytes mode = ConfigImage::BuildModeParam(record);
    EXPECT_EQ(mode, (Bytes{0x13, 0x01, 0x41, 0x7F}));
    const auto decoded = ConfigImage::DecodeModeParam(mode.data(), mode.size());
    EXPECT_EQ(decoded->mode, 3);
    EXPECT_TRUE(decoded->sensor);
    EXPECT_EQ(decoded->cycleTimeMs, 100);
    record.Zykluszeit = 25600 + 300; // low 8 bits of the quotient
    EXPECT_EQ(ConfigImage::BuildModeParam(record)[1], 3);
    EXPECT_FALSE(ConfigImage::DecodeModeParam(mode.data(), 3));
}
