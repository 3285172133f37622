#include "SimReader.h"
#include "SimHex.h"

#include <gtest/gtest.h>

#include <thread>

using Bytes = Frame::Bytes;
using namespace std::chrono_literals;

namespace {

Bytes Hex(const std::string& text) {
    return SimHex::Parse(text).value();
}

class SimReaderTest : public ::testing::Test {
protected:
    CSimReader reader;
    CSimReader::TimePoint now = CSimReader::TimePoint{} + 1h;

    // Feeds the bytes and returns everything the engine wants to send.
    Bytes Send(const Bytes& request) {
        now += 100ms;
        reader.Feed(request, now);
        Bytes sent;
        for (const SimOutput& o : reader.TakeOutput())
            sent.insert(sent.end(), o.bytes.begin(), o.bytes.end());
        return sent;
    }

    // One command in the given framing; returns the reply's status and data.
    std::pair<int, Bytes> Command(uint8_t code, const Bytes& payload = {},
                                  Frame::Framing framing = Frame::Bcc) {
        const Bytes reply = Send(Frame::Build(framing, 1, code, payload));
        if (reply.empty()) return {-1, {}};
        EXPECT_EQ(Frame::CheckFrame(framing, reply), Frame::Check::Ok) << SimHex::Format(reply);
        return {reply[Frame::CodeOffset(framing)], Frame::Strip(framing, reply)};
    }

    void Place(const std::string& epc) { reader.PlaceTag(CSimTransponder(Hex(epc))); }
};

TEST_F(SimReaderTest, IdentificationInBothFramings) {
    const Bytes bcc = Send(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(SimHex::Format(bcc), "02 01 00 04 33 30 32 35 01");

    const Bytes crc = Send(Hex("01 F0 00 64 00"));
    ASSERT_EQ(crc.size(), 9u);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, crc), Frame::Check::Ok);
    EXPECT_EQ(SimHex::Format(Frame::Strip(Frame::Crc, crc)), "33 30 32 35");

    // The reply copies the request's address; type and minor version are configurable.
    reader.SetDeviceType(0x313, 0xA);
    const Bytes other = Send(Frame::Build(Frame::Crc, 0x2A, 0xF0));
    EXPECT_EQ(other[0], 0x2A);
    EXPECT_EQ(SimHex::Format(Frame::Strip(Frame::Crc, other)), "33 31 33 41");
    EXPECT_EQ(CSimReader::ModelName(0x313), "KV-PLM72 Plus");
    EXPECT_EQ(CSimReader::ModelName(0x300), "");
}

TEST_F(SimReaderTest, BlocksDefaultWriteReadAndReset) {
    EXPECT_EQ(SimHex::Format(Command(0x89).second),
              "00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 00 00 0A 05 01 00 00");
    EXPECT_EQ(SimHex::Format(Command(0x8E).second), "00 0A 3F 05");
    for (uint8_t read : {0x8A, 0x8B, 0x8C, 0x8D})
        EXPECT_EQ(Command(read).second, Bytes{0xFF});

    for (uint8_t i = 0; i < 6; ++i) {
        const Bytes block = {uint8_t(0x10 + i), 0x20, 0x30, 0xFF};
        EXPECT_EQ(Command(0x81 + i, block, i % 2 ? Frame::Crc : Frame::Bcc), std::make_pair(0, Bytes{}));
        EXPECT_EQ(Command(0x89 + i).second, block);
    }
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::Termix), Hex("13 20 30 FF"));

    reader.FactoryReset();
    EXPECT_EQ(Command(0x8E).second, Hex("00 0A 3F 05"));
    EXPECT_EQ(Command(0x8A).second, Hex("FF"));
}

TEST_F(SimReaderTest, StateAndPowerOnMode) {
    EXPECT_EQ(Command(0xF4, {0}).first, 0);
    EXPECT_EQ(reader.State(), 0);
    EXPECT_EQ(Command(0xF4, {2}).first, 0);
    EXPECT_EQ(reader.State(), 2);
    EXPECT_EQ(Command(0xF4, {3}).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(reader.State(), 2);

    // Bit 7 stores bit 0 as the power-on mode and leaves the state alone.
    EXPECT_EQ(Command(0xF4, {0x80}).first, 0);
    EXPECT_EQ(Command(0xF4).second, Bytes{0x00});
    EXPECT_EQ(Command(0xF4, {0x81}).first, 0);
    EXPECT_EQ(Command(0xF4).second, Bytes{0x01});
    EXPECT_EQ(reader.State(), 2);
}

TEST_F(SimReaderTest, LineChangeRepliesAtTheOldSettings) {
    reader.SetLine({9600, 0});
    now += 100ms;
    reader.Feed(Frame::Build(Frame::Bcc, 1, 0xF2, Bytes{0x13}), now);
    const auto out = reader.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].line, (SimLine{9600, 0}));
    EXPECT_EQ(out[0].bytes[2], 0);
    EXPECT_EQ(reader.Line(), (SimLine{19200, 1}));
    EXPECT_EQ(reader.Line().BitsPerByte(), 11u);

    EXPECT_EQ(Command(0xF2, {0x04}).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xF2, {0x40}).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(reader.Line(), (SimLine{19200, 1}));
}

TEST_F(SimReaderTest, CommandByteAndUnknownCommand) {
    EXPECT_EQ(Command(0xFF, {2}), std::make_pair(0, Bytes{}));
    EXPECT_EQ(reader.CommandByte(), 2);
    EXPECT_EQ(Command(0xFF).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0x42).first, CSimReader::StatusUnknownCommand);
    EXPECT_EQ(Command(0x87, {}, Frame::Crc).first, CSimReader::StatusUnknownCommand);
}

TEST_F(SimReaderTest, InventoryReportsEveryTagOnce) {
    EXPECT_EQ(Command(0xC0, {0}).second, Hex("00 00 00"));
    Place("3000 1111 2222 3333 4444 5555");
    Place("AABBCCDD");

    auto [status, data] = Command(0xC0, {0});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(SimHex::Format(data), "02 30 00 30 00 11 11 22 22 33 33 44 44 55 55");
    EXPECT_EQ(SimHex::Format(Command(0xC0, {2}).second), "01 10 00 AA BB CC DD");
    EXPECT_EQ(Command(0xC0, {2}).first, CSimReader::StatusNoTransponder);
    EXPECT_EQ(Command(0xC0, {1}).first, CSimReader::StatusBadParameter);

    // With the field off nothing answers; switching it on again brings them back.
    EXPECT_EQ(Command(0xF5, {0}).first, 0);
    EXPECT_EQ(Command(0xC0, {0}).second, Hex("00 00 00"));
    EXPECT_EQ(Command(0xF5, {1}).first, 0);
    EXPECT_EQ(Command(0xC0, {0}).second[0], 2);
    EXPECT_EQ(Command(0xF5, {2}).first, CSimReader::StatusBadParameter);
}

TEST_F(SimReaderTest, SelectReadAndItsFailures) {
    CSimTransponder tag(Hex("E2 00 12 34 56 78 9A BC DE F0 11 22"), Hex("E2 80 01 02 03 04"));
    tag.SetPasswords(Hex("01 02 03 04"), Hex("A1 A2 A3 A4"));
    reader.PlaceTag(tag);

    // Nothing selected yet.
    EXPECT_EQ(Command(0xC3, Hex("02 00 00 00 00")).first, CSimReader::StatusNoTransponder);
    EXPECT_EQ(Command(0xC2, Hex("E2 01")).first, CSimReader::StatusNoTransponder);
    EXPECT_EQ(Command(0xC2, Hex("E2 00 12")).first, 0);

    const Bytes epcBank = Command(0xC3, Hex("01 00 00 00 00")).second;
    ASSERT_EQ(epcBank.size(), 16u);
    EXPECT_EQ(SimHex::Format(Bytes(epcBank.begin() + 2, epcBank.end())),
              "30 00 E2 00 12 34 56 78 9A BC DE F0 11 22");
    EXPECT_EQ(epcBank[0] << 8 | epcBank[1], CSimTransponder::Gen2Crc(epcBank.data() + 2, 14));

    EXPECT_EQ(Command(0xC3, Hex("02 00 00 00 00")).second, Hex("E2 80 01 02 03 04"));
    EXPECT_EQ(Command(0xC3, Hex("00 02 00 00 04")).second, Hex("A1 A2 A3 A4"));
    EXPECT_EQ(Command(0xC3, Hex("03 00 00 00 00")).second.size(), 64u);
    EXPECT_EQ(Command(0xC3, Hex("00 03 00 00 04")).first, CSimReader::StatusBadParameter); // beyond the end
    EXPECT_EQ(Command(0xC3, Hex("02 03 00 00 00")).first, CSimReader::StatusBadParameter); // nothing left
    EXPECT_EQ(Command(0xC3, Hex("04 00 00 00 02")).first, CSimReader::StatusBadParameter); // unknown bank
    EXPECT_EQ(Command(0xC3, Hex("01 00 00 00")).first, CSimReader::StatusBadParameter);    // short payload

    EXPECT_EQ(Command(0xF5, {0}).first, 0);
    EXPECT_EQ(Command(0xC3, Hex("02 00 00 00 00")).first, CSimReader::StatusNoTransponder);
    EXPECT_EQ(Command(0xF5, {1}).first, 0);
    EXPECT_EQ(Command(0xC3, Hex("02 00 00 00 02")).second, Hex("E2 80"));

    ASSERT_TRUE(reader.RemoveTag(Hex("E2 00 12 34 56 78 9A BC DE F0 11 22")));
    EXPECT_EQ(Command(0xC3, Hex("02 00 00 00 02")).first, CSimReader::StatusNoTransponder);
}

TEST_F(SimReaderTest, EpcWriteChangesPcEpcAndCrc) {
    Place("11 22 33 44 55 66 77 88 99 AA BB CC");
    ASSERT_EQ(Command(0xC2, {}).first, 0); // empty selection: the first tag

    // New PC (4 words) and EPC from word 1, as the programmer writes them.
    EXPECT_EQ(Command(0xC4, Hex("01 01 00 00 20 00 DE AD BE EF 01 02 03 04")).first, 0);
    auto tag = reader.FindTag(Hex("DE AD BE EF 01 02 03 04"));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->Pc(), 0x2000);
    const Bytes pcEpc = Hex("20 00 DE AD BE EF 01 02 03 04");
    EXPECT_EQ(tag->StoredCrc(), CSimTransponder::Gen2Crc(pcEpc.data(), pcEpc.size()));

    // The selection follows the transponder, not its old EPC.
    const Bytes bank = Command(0xC3, Hex("01 00 00 00 00")).second;
    EXPECT_EQ(bank.size(), 12u);
    EXPECT_EQ(SimHex::Format(Command(0xC0, {0}).second), "01 20 00 DE AD BE EF 01 02 03 04");

    // User memory and passwords are stored; TID is read-only; the bank capacity holds.
    EXPECT_EQ(Command(0xC4, Hex("03 02 00 00 55 66")).first, 0);
    EXPECT_EQ(Command(0xC3, Hex("03 02 00 00 02")).second, Hex("55 66"));
    EXPECT_EQ(Command(0xC4, Hex("00 00 00 00 0A 0B 0C 0D")).first, 0);
    EXPECT_EQ(reader.FindTag(Hex("DE AD BE EF 01 02 03 04"))->KillPassword(), Hex("0A 0B 0C 0D"));
    EXPECT_EQ(Command(0xC4, Hex("02 00 00 00 00 00")).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC4, Hex("01 21 00 00 00 00")).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC4, Hex("03 00 00 00")).first, CSimReader::StatusBadParameter);
}

TEST_F(SimReaderTest, LockedTagTakesWritesOnlyAfterItsAccessPassword) {
    CSimTransponder locked(Hex("30 00 11 22"), Hex("E2 80 00 01"));
    locked.SetPasswords({}, Hex("A1 A2 A3 A4"));
    reader.PlaceTag(locked);
    Place("30 00 33 44"); // not locked
    const Bytes write = Hex("03 00 00 00 55 66");

    // Without the password and with a wrong one: refused as a read-only bank is; reads stay allowed.
    ASSERT_EQ(Command(0xC2, Hex("30 00 11 22")).first, 0);
    EXPECT_EQ(Command(0xC4, write).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC4, Hex("01 01 00 00 10 00 99 99")).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC3, Hex("01 02 00 00 02")).second, Hex("30 00"));
    EXPECT_EQ(Command(0xC6, Hex("A1 A2 A3 A5")).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC4, write).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC6, Hex("A1 A2 A3")).first, CSimReader::StatusBadParameter);

    // The right password opens it until the next select.
    EXPECT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, 0);
    EXPECT_EQ(Command(0xC4, write).first, 0);
    EXPECT_EQ(Command(0xC4, Hex("03 01 00 00 77 88")).first, 0);
    EXPECT_EQ(reader.FindTag(Hex("30 00 11 22"))->User()[2], 0x77);
    // A wrong password after the right one locks again.
    EXPECT_EQ(Command(0xC6, Hex("00 00 00 00")).first, CSimReader::StatusBadParameter);
    EXPECT_EQ(Command(0xC4, write).first, CSimReader::StatusBadParameter);

    ASSERT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, 0);
    ASSERT_EQ(Command(0xC2, Hex("30 00 11 22")).first, 0);
    EXPECT_EQ(Command(0xC4, write).first, CSimReader::StatusBadParameter);

    // ... and until the next inventory start.
    ASSERT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, 0);
    ASSERT_EQ(Command(0xC0, {0}).first, 0);
    EXPECT_EQ(Command(0xC4, write).first, CSimReader::StatusBadParameter);

    // The permission belongs to the transponder it was given for.
    ASSERT_EQ(Command(0xC2, Hex("30 00 11 22")).first, 0);
    ASSERT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, 0);
    ASSERT_EQ(Command(0xC2, Hex("30 00 33 44")).first, 0);
    EXPECT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, CSimReader::StatusBadParameter); // its password is 0
    EXPECT_EQ(Command(0xC4, write).first, 0); // not locked: no password needed
    EXPECT_EQ(Command(0xC6, Hex("00 00 00 00")).first, 0);

    // Without a selection there is no one to present the password to.
    ASSERT_EQ(Command(0xC2, Hex("99")).first, CSimReader::StatusNoTransponder);
    EXPECT_EQ(Command(0xC6, Hex("A1 A2 A3 A4")).first, CSimReader::StatusNoTransponder);
}

TEST_F(SimReaderTest, ResynchronisesAfterNoise) {
    // Noise in front of a BCC frame is dropped byte by byte.
    EXPECT_EQ(Send(Hex("55 AA 02 01 F0 00 F1")).size(), 9u);
    // A frame with a wrong check byte is never answered; a quiet gap clears it
    // and the next request is answered.
    EXPECT_TRUE(Send(Hex("02 01 F0 00 F2")).empty());
    EXPECT_EQ(Send(Hex("01 F0 00 64 00")).size(), 9u);
    EXPECT_EQ(reader.GetCounters().answered, 2u);

    // Noise that reads as the start of a long CRC frame holds the buffer, then a
    // quiet gap clears it and the frame behind it is found.
    reader.ClearLogs();
    now += 100ms;
    reader.Feed(Hex("07 01 40 02 01 F0 00 F1"), now);
    EXPECT_FALSE(reader.HasOutput());
    ASSERT_TRUE(reader.NextDeadline());
    reader.Tick(*reader.NextDeadline());
    EXPECT_EQ(reader.TakeOutput().size(), 1u);
    EXPECT_EQ(reader.GetCounters().noiseBytes, 3u);

    // Stray bytes with nothing after them are logged as noise once the gap has passed.
    std::vector<Bytes> noise;
    reader.SetTraceHook([&noise](CSimReader::TraceKind kind, const Bytes& bytes) {
        if (kind == CSimReader::TraceKind::Noise) noise.push_back(bytes);
    });
    now += 100ms;
    reader.Feed(Hex("11 13 07"), now);
    EXPECT_TRUE(noise.empty());
    ASSERT_TRUE(reader.NextDeadline());
    reader.Tick(*reader.NextDeadline());
    EXPECT_EQ(noise, std::vector<Bytes>{Hex("11 13 07")});
    reader.SetTraceHook(nullptr);

    // A frame arriving byte by byte, then a late byte after the gap starts afresh.
    const Bytes frame = Hex("01 F0 00 64 00");
    now += 100ms;
    for (size_t i = 0; i < frame.size(); ++i)
        reader.Feed(&frame[i], 1, now + std::chrono::milliseconds(i));
    EXPECT_EQ(reader.TakeOutput().size(), 1u);
    now += 100ms;
    reader.Feed(Hex("02 01"), now);
    reader.Feed(Hex("02 01 F0 00 F1"), now + 60ms);
    EXPECT_EQ(reader.TakeOutput().size(), 1u);
}

TEST_F(SimReaderTest, FramingModeAddressFilterAndLineMismatch) {
    CSimReader::Options options;
    options.framing = CSimReader::FramingMode::CrcOnly;
    options.address = 3;
    CSimReader strict(options);
    const auto t = CSimReader::TimePoint{} + 1h;
    strict.Feed(Frame::Build(Frame::Bcc, 3, 0xF0), t);
    strict.Feed(Frame::Build(Frame::Crc, 2, 0xF0), t + 1ms);
    strict.Feed(Frame::Build(Frame::Crc, 3, 0xF0), t + 2ms);
    const Bytes garbled = Frame::Build(Frame::Crc, 3, 0xF0);
    strict.Feed(garbled.data(), garbled.size(), t + 3ms, std::chrono::nanoseconds(0), true);

    const auto requests = strict.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].fate, CSimReader::Fate::OtherFraming);
    EXPECT_EQ(requests[1].fate, CSimReader::Fate::OtherAddress);
    EXPECT_EQ(requests[2].fate, CSimReader::Fate::Answered);
    EXPECT_EQ(requests[3].fate, CSimReader::Fate::LineMismatch);
    EXPECT_EQ(strict.Replies().size(), 1u);
    EXPECT_EQ(strict.Replies()[0][0], 3);
}

TEST_F(SimReaderTest, FaultsShapeTheNextReply) {
    reader.FaultSilence(2);
    EXPECT_TRUE(Send(Hex("02 01 F0 00 F1")).empty());
    EXPECT_TRUE(Send(Hex("02 01 F0 00 F1")).empty());
    EXPECT_FALSE(Send(Hex("02 01 F0 00 F1")).empty());
    reader.FaultSilenceAll(true);
    EXPECT_TRUE(Send(Hex("02 01 F0 00 F1")).empty());
    reader.FaultSilenceAll(false);

    reader.FaultNoise(Hex("00 55"));
    reader.FaultExtra(Hex("EE"));
    reader.FaultBadCheck();
    const Bytes faulty = Send(Hex("01 F0 00 64 00"));
    ASSERT_EQ(faulty.size(), 12u);
    EXPECT_EQ(SimHex::Format(Bytes(faulty.begin(), faulty.begin() + 2)), "00 55");
    EXPECT_EQ(faulty.back(), 0xEE);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, Bytes(faulty.begin() + 2, faulty.end() - 1)),
              Frame::Check::Mismatch);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, Send(Hex("01 F0 00 64 00"))), Frame::Check::Ok); // one-shot

    // A forced status replaces the reply; by default the command still acts.
    reader.FaultStatus(0x86, 21);
    EXPECT_EQ(Command(0x86, Hex("01 02 03 04")), std::make_pair(21, Bytes{}));
    EXPECT_EQ(Command(0x8E).second, Hex("01 02 03 04"));
    reader.FaultStatus(0x86, 22, false);
    EXPECT_EQ(Command(0x86, Hex("05 06 07 08")).first, 22);
    EXPECT_EQ(Command(0x8E).second, Hex("01 02 03 04"));
    EXPECT_EQ(Command(0x86, Hex("05 06 07 08")).first, 0);

    reader.FaultGap(3, 40ms);
    now += 100ms;
    reader.Feed(Hex("02 01 F0 00 F1"), now);
    auto out = reader.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].gapAfter, 3u);
    EXPECT_EQ(out[0].gap, 40ms);
    EXPECT_EQ(out[0].notBefore, now);

    reader.SendUnsolicited(Hex("41 42 0D"));
    out = reader.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].reply);
    EXPECT_EQ(out[0].bytes, Hex("41 42 0D"));
}

TEST_F(SimReaderTest, WaitForRequestsWakesOnTraffic) {
    std::thread host([this] {
        reader.Feed(Hex("02 01 F0 00 F1"), CSimReader::Clock::now());
        reader.Feed(Hex("01 F0 00 64 00"), CSimReader::Clock::now());
    });
    EXPECT_TRUE(reader.WaitForRequests(2, 10s));
    host.join();
    EXPECT_TRUE(reader.WaitForReplies(2, 0ms));
    EXPECT_FALSE(reader.WaitForRequests(3, 1ms));
    EXPECT_EQ(reader.Requests()[1].framing, Frame::Crc);
}

} // namespace
