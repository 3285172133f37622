// The simulated reader's reader-mode output: the formatting of a telegram
// from the configuration blocks, and when the engine sends one.
#include "SimOutputReader.h"
#include "SimTelegram.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;
using SimTelegram::Bytes;

namespace {

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The default Param block with some fields changed.
Bytes Param(uint8_t representation, uint8_t count, uint8_t first, uint8_t last, uint8_t rotation = 0) {
    Bytes param{0x00};
    param.insert(param.end(), 16, 0xFF);
    param.insert(param.end(), {rotation, representation, count, last, first, 0x00, 0x00});
    return param;
}

std::string Flat(const SimTelegram::Output& output) {
    const Bytes bytes = SimTelegram::Flatten(output);
    return std::string(bytes.begin(), bytes.end());
}

std::string Format(const Bytes& data, const Bytes& param) {
    const Bytes out = SimTelegram::FormatData(data, param);
    return std::string(out.begin(), out.end());
}

const Bytes kEpc{0x30, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

} // namespace

TEST(SimTelegram, KeyCodesOnTheLine) {
    SimTelegram::Output output;
    SimTelegram::AppendKeys(output,
                            {0x02, 'a', 140, 'b', 141, 'c', 142, 'd', 128, 139, 142, 131, 0x0D, 0xFF, 'x'});
    EXPECT_EQ(Flat(output), "\x02"
                            "aB\x03\x1b"
                            "d\x1bOP\x1b[24~\x1b\x1bOS\r");

    SimTelegram::Output paused;
    SimTelegram::AppendKeys(paused, {'A', 143, 143, 'B', 0xFF});
    ASSERT_EQ(paused.size(), 3u);
    EXPECT_EQ(paused[1].pauseBefore, 100ms);
    EXPECT_TRUE(paused[1].bytes.empty());
    EXPECT_EQ(paused[2].bytes, Text("B"));
    SimTelegram::Output modifiersAtTheEnd;
    SimTelegram::AppendKeys(modifiersAtTheEnd, {'A', 140, 0xFF});
    EXPECT_EQ(Flat(modifiersAtTheEnd), "A");
}

TEST(SimTelegram, DataFormatting) {
    // Defaults: hex upper, 10 characters, bytes 1..5.
    EXPECT_EQ(Format(kEpc, Param(0, 10, 1, 5)), "3000112233");
    EXPECT_EQ(Format(kEpc, Param(4, 4, 11, 12)), "99aa");
    EXPECT_EQ(Format(kEpc, Param(0, 10, 11, 12)), "00000099AA");
    // Fitted to the count: cut to the least significant digits, or padded.
    EXPECT_EQ(Format(kEpc, Param(0, 4, 1, 5)), "2233");
    EXPECT_EQ(Format({0x01, 0x00}, Param(1, 8, 1, 2)), "00000256");
    EXPECT_EQ(Format({0x01, 0x00}, Param(3, 8, 1, 2)), "256");
    EXPECT_EQ(Format({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Param(3, 20, 1, 5)), "1099511627775");
    EXPECT_EQ(Format(Text("HELLO"), Param(2, 3, 1, 5)), "HEL");
    // Rotations: byte order, bit order, both.
    EXPECT_EQ(Format({0x12, 0x34}, Param(0, 4, 1, 2, 1)), "3412");
    EXPECT_EQ(Format({0x12, 0x34}, Param(0, 4, 1, 2, 2)), "482C");
    EXPECT_EQ(Format({0x12, 0x34}, Param(0, 4, 1, 2, 3)), "2C48");
    // Used bytes outside the data give nothing (and zeros to the count).
    EXPECT_EQ(Format({0x12}, Param(0, 2, 3, 5)), "00");
    EXPECT_EQ(Format({0x12}, Param(7, 2, 1, 1)), "12"); // an unknown representation as hex
}

TEST(SimTelegram, WholeTelegrams) {
    const CSimTransponder tag(kEpc, {}, Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02});
    SimTelegram::Blocks blocks;
    blocks.param = Param(0, 4, 1, 2);
    blocks.param[22] = '<';
    blocks.param[23] = '>';
    blocks.prefix = {0x02, 0xFF};
    blocks.suffix = {0x0D, 0x0A, 0xFF};
    blocks.termix = {'/', 0xFF};
    blocks.postcode = {'R', 0xFF};
    EXPECT_EQ(Flat(SimTelegram::Telegram(blocks, &tag)), "\x02<3000>\r\n");
    EXPECT_EQ(Flat(SimTelegram::Telegram(blocks, nullptr)), "\x02\r\n");
    EXPECT_EQ(Flat(SimTelegram::Removal(blocks)), "R");

    // Block format: user memory word 1 (2 words), then TID word 0 (1 word),
    // up to the first empty register; each piece formatted on its own.
    blocks.param[0] = 1;
    const Bytes regs{0xC2, 0x01, 0x00, 0x00, 0x81, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x41, 0, 0, 0};
    std::copy(regs.begin(), regs.end(), blocks.param.begin() + 1);
    blocks.param[19] = 8;
    blocks.param[20] = 4;
    EXPECT_EQ(Flat(SimTelegram::Telegram(blocks, &tag)), "\x02<BEEF0102/0000E280>\r\n");
    // A register beyond its bank gives an empty piece.
    blocks.param[2] = 0xF0;
    EXPECT_EQ(Flat(SimTelegram::Telegram(blocks, &tag)), "\x02<00000000/0000E280>\r\n");
}

namespace {

class TestReader : public CSimOutputReader {
public:
    using CSimOutputReader::CSimOutputReader;
    std::string Taken() {
        std::string text;
        for (const SimOutput& out : TakeOutput())
            if (!out.reply) text += std::string(out.bytes.begin(), out.bytes.end()) + "|";
        return text;
    }
};

void Configure(CSimReader& reader, uint8_t modeByte, uint8_t cycle = 5) {
    reader.SetBlock(CSimReader::Block::ModeParam, {modeByte, cycle, '?', 5});
    reader.SetBlock(CSimReader::Block::Param, Param(0, 4, 1, 2));
    reader.SetBlock(CSimReader::Block::Postcode, {'R', 0xFF});
}

} // namespace

TEST(SimOutputReader, ModeZeroSendsOnPlacingAndRemoving) {
    TestReader reader; // power-on state 1
    Configure(reader, 0x00);
    reader.PlaceTag(CSimTransponder(kEpc));
    EXPECT_EQ(reader.Taken(), "3000|");
    reader.PlaceTag(CSimTransponder({0xBE, 0xEF}));
    EXPECT_EQ(reader.Taken(), "BEEF|"); // the one just placed, not the first in the field
    reader.RemoveAllTags();
    EXPECT_EQ(reader.Taken(), "R|R|");

    reader.SetState(0); // programming mode: silent
    reader.PlaceTag(CSimTransponder(kEpc));
    EXPECT_EQ(reader.Taken(), "");
    // Entering state 1 with a transponder present reports it, a little later.
    reader.SetState(1);
    EXPECT_EQ(reader.Taken(), "");
    ASSERT_TRUE(reader.NextDeadline());
    reader.Tick(*reader.NextDeadline());
    EXPECT_EQ(reader.Taken(), "3000|");
}

TEST(SimOutputReader, ModeOneAnswersALoneRequestCharacter) {
    TestReader reader;
    Configure(reader, 0x01);
    reader.SetBlock(CSimReader::Block::Prefix, {'[', 0xFF});
    const auto t0 = CSimReader::Clock::now();
    reader.Feed(Text("?"), t0);
    EXPECT_FALSE(reader.HasOutput());
    reader.Tick(t0 + 10ms); // not yet quiet long enough
    EXPECT_EQ(reader.Taken(), "");
    reader.Tick(t0 + 25ms);
    EXPECT_EQ(reader.Taken(), "[|"); // no transponder: prefix and suffix alone
    reader.PlaceTag(CSimTransponder(kEpc));
    reader.Feed(Text("?"), t0 + 1s);
    reader.Tick(t0 + 1s + 25ms);
    EXPECT_EQ(reader.Taken(), "[3000|");
    // A '?' followed at once by more bytes is not a request.
    reader.Feed(Text("?"), t0 + 2s);
    reader.Feed(Text("\x01"), t0 + 2s + 5ms);
    reader.Tick(t0 + 2s + 50ms);
    EXPECT_EQ(reader.Taken(), "");
    // Nor is one inside a longer chunk, or another character.
    reader.Feed(Text("x?"), t0 + 3s);
    reader.Feed(Text("!"), t0 + 4s);
    reader.Tick(t0 + 5s);
    EXPECT_EQ(reader.Taken(), "");
}

TEST(SimOutputReader, ModeThreeSendsCyclically) {
    TestReader reader;
    Configure(reader, 0x03, 2); // every 200 ms
    reader.PlaceTag(CSimTransponder(kEpc));
    EXPECT_EQ(reader.Taken(), "3000|");
    const auto first = reader.NextDeadline();
    ASSERT_TRUE(first);
    reader.Tick(*first);
    EXPECT_EQ(reader.Taken(), "3000|");
    const auto second = reader.NextDeadline();
    ASSERT_TRUE(second);
    EXPECT_EQ(*second - *first, 200ms);
    reader.RemoveAllTags();
    EXPECT_EQ(reader.Taken(), "R|");
    EXPECT_FALSE(reader.NextDeadline()); // no transponder, no cycle
}

TEST(SimOutputReader, ProgrammerTypesStaySilent) {
    CSimReader::Options options;
    options.deviceType = 0x312;
    TestReader reader(options);
    Configure(reader, 0x00);
    reader.PlaceTag(CSimTransponder(kEpc));
    EXPECT_EQ(reader.Taken(), "");
}
