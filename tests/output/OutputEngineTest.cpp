// The output engine worked by hand: the transponder memory it reads, a
// telegram from the EPC bank as stored, and how an HID reader types bytes.
#include "KeyTable.h"
#include "TagMemory.h"
#include "Telegram.h"

#include <gtest/gtest.h>

#include <string>

using namespace ReaderOutput;
using namespace std::chrono_literals;

namespace {

std::string Flat(const Output& output) {
    const Bytes bytes = Flatten(output);
    return std::string(bytes.begin(), bytes.end());
}

// The Param block: EPC format, no registers, the given fields.
Bytes Param(uint8_t representation, uint8_t count, uint8_t first, uint8_t last, uint8_t rotation = 0) {
    Bytes param{0x00};
    param.insert(param.end(), 16, 0xFF);
    param.insert(param.end(), {rotation, representation, count, last, first, 0x00, 0x00});
    return param;
}

} // namespace

TEST(TagMemory, TheEpcBankAsStoredAndItsReads) {
    // The Gen2 CRC is CRC-16/GENIBUS: its check value over "123456789".
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(TagMemory::Gen2Crc(check, sizeof check), 0xD64E);

    // EPC 12 34 56 (odd): padded to 12 34 56 00, PC 10 00 (2 words).
    const TagMemory tag = TagMemory::WithEpc({0x12, 0x34, 0x56}, {0xE2, 0x80}, {0xAA, 0xBB, 0xCC});
    EXPECT_EQ(tag.Epc(), (Bytes{0x12, 0x34, 0x56, 0x00}));
    EXPECT_EQ(tag.epcBank[2], 0x10);
    EXPECT_EQ(tag.epcBank[3], 0x00);
    const uint16_t crc = TagMemory::Gen2Crc(tag.epcBank.data() + 2, 6);
    EXPECT_EQ(tag.epcBank[0], crc >> 8);
    EXPECT_EQ(tag.epcBank[1], crc & 0xFF);

    Bytes out;
    // Length 0: to the bank's end; bank 1 ends after the EPC the PC announces.
    ASSERT_TRUE(tag.Read(1, 1, 0, out));
    EXPECT_EQ(out, (Bytes{0x10, 0x00, 0x12, 0x34, 0x56, 0x00}));
    EXPECT_EQ(tag.BankSize(1), 8u);
    // An explicit length may reach into the unused capacity of bank 1.
    ASSERT_TRUE(tag.Read(1, 3, 4, out));
    EXPECT_EQ(out, (Bytes{0x56, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(tag.Read(1, 0, TagMemory::EpcBankCapacity + 1, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(tag.Read(3, 2, 0, out)); // starts at the end: nothing
    EXPECT_FALSE(tag.Read(3, 1, 2, out)); // beyond the three bytes
    ASSERT_TRUE(tag.Read(3, 1, 1, out));
    EXPECT_EQ(out, Bytes{0xCC});
    EXPECT_FALSE(tag.Read(4, 0, 0, out)); // no such bank
    ASSERT_TRUE(tag.Read(0, 0, 0, out));
    EXPECT_EQ(out, Bytes(8, 0x00));

    // A damaged PC announcing more than the bank holds reads no further than it.
    TagMemory damaged = tag;
    damaged.epcBank[2] = 0xF8;
    EXPECT_EQ(damaged.Epc().size(), TagMemory::MaxEpcSize);
    damaged.epcBank.resize(6);
    EXPECT_EQ(damaged.Epc().size(), 2u);
    EXPECT_EQ(damaged.BankSize(1), 6u);
}

TEST(TagMemory, TheSampleTransponder) {
    const TagMemory sample = TagMemory::Sample();
    EXPECT_EQ(sample.Epc(), SampleEpc());
    EXPECT_EQ(sample.Epc().size(), 12u);
    EXPECT_EQ(sample.tid, TagMemory::DefaultTid(SampleEpc()));
    ASSERT_EQ(sample.tid.size(), 12u);
    EXPECT_EQ(sample.tid[0], 0xE2);
    EXPECT_EQ(sample.user, Bytes(SampleUserSize, 0x00));
    // Different EPCs, different TID serials.
    EXPECT_NE(TagMemory::DefaultTid({0x01}), TagMemory::DefaultTid({0x02}));
}

TEST(Telegram, RegistersOverTheEpcBankAsStoredWorkedByHand) {
    const TagMemory tag =
        TagMemory::WithEpc({0xAB, 0xCD}, {0xE2, 0x80, 0x11, 0x22}, {0x41, 0x42, 0x43, 0x44});
    Blocks blocks;
    blocks.param = Param(0, 0, 1, 255);
    blocks.param[0] = 1; // block format
    // Register 1: EPC bank word 1, 2 words (PC and EPC); register 2: user
    // memory word 0, 2 words; register 3 empty.
    const Bytes regs{0x42, 0x01, 0x00, 0x00, 0xC2, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    std::copy(regs.begin(), regs.end(), blocks.param.begin() + 1);
    blocks.termix = {';', 0xFF};
    blocks.suffix = {0x0D, 0xFF};
    EXPECT_EQ(Flat(Telegram(blocks, &tag)), "0800ABCD;41424344\r");

    // ASCII of the user memory, reversed; decimal of the EPC.
    blocks.param[17] = 1;
    blocks.param[18] = 2;
    EXPECT_EQ(Flat(Telegram(blocks, &tag)), std::string("\xCD\xAB\x00\x08;DCBA\r", 10));
    blocks.param[0] = 0;
    blocks.param[17] = 0;
    blocks.param[18] = 1;
    blocks.param[19] = 6;
    EXPECT_EQ(Flat(Telegram(blocks, &tag)), "043981\r"); // 0xABCD = 43981
}

TEST(Telegram, PausesSplitTheOutputIntoPieces) {
    Blocks blocks;
    blocks.param = Param(0, 4, 1, 2);
    blocks.prefix = {143, 'A', 0xFF};
    blocks.suffix = {'B', 143, 143, 0x0D, 0xFF};
    const TagMemory tag = TagMemory::WithEpc({0x12, 0x34}, {}, {});
    const Output out = Telegram(blocks, &tag);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].pauseBefore, 100ms);
    EXPECT_EQ(std::string(out[0].bytes.begin(), out[0].bytes.end()), "A1234B");
    EXPECT_EQ(out[1].pauseBefore, 100ms);
    EXPECT_TRUE(out[1].bytes.empty());
    EXPECT_EQ(out[2].bytes, Bytes{0x0D});
}

TEST(KeyTable, TypingThroughTheTable) {
    KeyTable table;
    table.Set('a', {0x00, 0x04});
    table.Set('A', {LeftShift, 0x04});
    table.Set('@', {RightAlt, 0x14});
    table.Set('z', {0x00, 0x1C});
    EXPECT_EQ(table.Count(), 4u);

    const std::vector<KeyPress> keys = TypeBytes({'a', 'A', '@', 0x0D, 0x09, 0x1B, 0x08, 0x7F, 'b'}, table);
    ASSERT_EQ(keys.size(), 9u);
    EXPECT_EQ(keys[0].key, (Key{0x00, 0x04}));
    EXPECT_EQ(keys[1].key, (Key{0x02, 0x04}));
    EXPECT_EQ(keys[2].key, (Key{0x40, 0x14}));
    EXPECT_EQ(keys[3].key, (Key{0x00, 0x28})); // Enter
    EXPECT_EQ(keys[4].key, (Key{0x00, 0x2B})); // Tab
    EXPECT_EQ(keys[5].key, (Key{0x00, 0x29})); // Escape
    EXPECT_EQ(keys[6].key, (Key{0x00, 0x2A})); // Backspace
    EXPECT_EQ(keys[7].key, (Key{0x00, 0x4C})); // Delete
    EXPECT_EQ(keys[8].key.usage, 0);           // no key: not typed
    EXPECT_EQ(keys[8].character, 'b');

    // Control characters: Control with the letter's key, wherever the letter is.
    EXPECT_EQ(TypeCharacter(0x01, table).key, (Key{LeftControl, 0x04})); // ^A
    EXPECT_EQ(TypeCharacter(0x1A, table).key, (Key{LeftControl, 0x1C})); // ^Z
    EXPECT_EQ(TypeCharacter(0x02, table).key.usage, 0);                  // no b
    EXPECT_EQ(TypeCharacter(0x1C, table).key.usage, 0);                  // FS: no key
    // A key of the table's own wins over the fixed one.
    table.Set(0x0D, {0x00, 0x58}); // keypad Enter
    EXPECT_EQ(TypeCharacter(0x0D, table).key, (Key{0x00, 0x58}));
}
