#include "Funktionstest.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

struct FakeClock {
    CFunktionstest::Clock::time_point now{std::chrono::seconds(1000)};
    CFunktionstest::Now Function() {
        return [this] { return now; };
    }
};

void Receive(CFunktionstest& test, const std::string& bytes) {
    test.OnReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

TEST(Funktionstest, TelegramsSplitAtSeventyMilliseconds) {
    FakeClock clock;
    CFunktionstest test(clock.Function());
    test.Start(0, 0x03, '?', 0); // mode 3 counts
    EXPECT_TRUE(test.CounterVisible());
    EXPECT_FALSE(test.SendEnabled());
    EXPECT_TRUE(test.SendBuffer().empty());

    clock.now += 500ms;
    Receive(test, "12");
    EXPECT_EQ(test.Counter(), 1);
    clock.now += 60ms; // within 70 ms: the same telegram
    Receive(test, "3");
    EXPECT_EQ(test.Counter(), 1);
    EXPECT_EQ(test.HexView(), "31 32 33 ");
    EXPECT_EQ(test.AsciiView(), "1   2   3   ");
    clock.now += 70ms; // exactly 70 ms still belongs to it
    Receive(test, "4");
    EXPECT_EQ(test.Counter(), 1);
    clock.now += 80ms;
    Receive(test, "\r");
    EXPECT_EQ(test.Counter(), 2);
    EXPECT_EQ(test.HexView(), "0D ");
    EXPECT_EQ(test.AsciiView(), "\r   ");
    clock.now += 80ms;
    Receive(test, "x");
    EXPECT_EQ(test.Counter(), 3); // two receptions 80 ms apart: up by two
    EXPECT_EQ(test.CounterText(), "3");

    // Nothing received changes nothing, and keeps the time of the last reception.
    const auto last = test.LastReception();
    clock.now += 500ms;
    EXPECT_FALSE(test.OnReceived(nullptr, 0));
    EXPECT_EQ(test.LastReception(), last);
    EXPECT_FALSE(test.OnTimer(11)); // another timer
}

TEST(Funktionstest, AReaderThatNeverPausesStillGivesBoundedTelegrams) {
    // 255 bytes every 10 ms, never 70 ms of quiet: one telegram would grow
    // without end, and the views with it.
    FakeClock clock;
    CFunktionstest test(clock.Function());
    test.Start(0, 0x03, '?', 0);
    const std::string chunk(255, 'Z');
    size_t largest = 0;
    for (size_t received = 0; received < 4 * CFunktionstest::MaxTelegram; received += chunk.size()) {
        clock.now += 10ms;
        Receive(test, chunk);
        largest = std::max(largest, test.Telegram().size());
        ASSERT_LE(test.Telegram().size(), CFunktionstest::MaxTelegram + chunk.size());
        ASSERT_EQ(test.HexView().size(), 3 * test.Telegram().size());
        ASSERT_EQ(test.AsciiView().size(), 4 * test.Telegram().size());
    }
    EXPECT_GE(largest, CFunktionstest::MaxTelegram);
    // Each telegram after the first counts (the first began within 70 ms of
    // the start): about four telegrams of 65 chunks.
    EXPECT_EQ(test.Counter(), 3);
    // A full telegram says so, and the next bytes start afresh.
    while (!test.TelegramFull()) {
        clock.now += 10ms;
        Receive(test, chunk);
    }
    const int counter = test.Counter();
    clock.now += 10ms;
    Receive(test, "A");
    EXPECT_EQ(test.Telegram(), std::vector<uint8_t>{'A'});
    EXPECT_EQ(test.Counter(), counter + 1);
}

TEST(Funktionstest, RequestModesSendTheRequestByte) {
    FakeClock clock;
    CFunktionstest test(clock.Function());
    test.Start(0, 0x11, 0x1F, 0x80); // mode 1, sensor bit; request below 0x20 becomes "?"
    EXPECT_EQ(test.Mode(), 1);
    EXPECT_EQ(test.ModeText(), "1");
    EXPECT_TRUE(test.SendEnabled());
    EXPECT_FALSE(test.CounterVisible());
    EXPECT_TRUE(test.RelayVisible());
    EXPECT_EQ(test.RequestText(), "3F ");
    clock.now += 100ms;
    Receive(test, "A");
    clock.now += 100ms;
    Receive(test, "B");
    EXPECT_EQ(test.Counter(), 0); // mode 1 does not count
    EXPECT_EQ(test.HexView(), "42 ");
    test.Send();
    EXPECT_EQ(test.HexView(), "");

    for (int mode : {0, 3, 5, 6})
        EXPECT_TRUE(CFunktionstest::CountingMode(mode));
    for (int mode : {1, 2, 4, 7, 15})
        EXPECT_FALSE(CFunktionstest::CountingMode(mode));
    test.Start(0, 0x02, 'A', 0);
    EXPECT_EQ(test.RequestText(), "41 ");
    EXPECT_FALSE(test.RelayVisible());
}

TEST(Funktionstest, FirstBytesWithinSeventyMillisecondsOfOpening) {
    FakeClock clock;
    CFunktionstest test(clock.Function());
    test.Start(0, 0x00, '?', 0);
    clock.now += 20ms;
    Receive(test, "A");
    EXPECT_EQ(test.Counter(), 0); // appended to the empty telegram of the opening
    EXPECT_EQ(test.HexView(), "41 ");
}

TEST(Funktionstest, ASessionTheLinkDoesNotKnowCountsAsLost) {
    FakeClock clock;
    CFunktionstest test(clock.Function());
    test.Start(0, 0x01, '?', 0x80);
    Receive(test, "A");
    EXPECT_FALSE(test.Lost()); // no session: nothing to lose
    test.Start(424242, 0x01, '?', 0x80);
    EXPECT_FALSE(test.Lost());
    clock.now += 100ms;
    Receive(test, "AB");
    EXPECT_FALSE(test.OnTimer(CFunktionstest::TimerId));
    EXPECT_TRUE(test.Lost());
    EXPECT_FALSE(test.Send());
    EXPECT_EQ(test.HexView(), "41 42 "); // kept
    EXPECT_FALSE(test.Buzzer());
    EXPECT_FALSE(test.Relay(true));
    // Started again, it is not lost until the link says so.
    test.Start(0, 0x01, '?', 0);
    EXPECT_FALSE(test.Lost());
}
