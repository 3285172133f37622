// The function test when the reader's device goes away while it runs: the
// procedure and `kvplm functest` against the simulated reader on a
// pseudo-terminal that is unplugged (its master closed) mid-test.
#include "Funktionstest.h"
#include "LinkApi.h"
#include "SimHost.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

const CSimReader::Bytes kEpc{0x30, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

// Runs timer ticks until done() holds, or five seconds are up.
template <class Done> bool Tick(CFunktionstest& test, Done done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < end) {
        test.OnTimer(CFunktionstest::TimerId);
        if (done()) return true;
        std::this_thread::sleep_for(5ms); // the dialog's timer ticks every 50 ms
    }
    return false;
}

class FunctionTestUnplugged : public SimFixture {};

} // namespace

TEST_F(FunctionTestUnplugged, TheTestSaysSoKeepsTheLastTelegramAndSendsNothing) {
    reader->PlaceTag(CSimTransponder(kEpc));
    CFunktionstest test;
    ASSERT_TRUE(test.Open(host, 0x80));
    // Mode 0 with a transponder present: one telegram of 10 hex digits.
    ASSERT_TRUE(Tick(test, [&] { return test.Telegram().size() >= 10; }));
    EXPECT_FALSE(test.Lost());
    const std::string hex = test.HexView();
    const int counter = test.Counter();

    sim->Unplug();
    ASSERT_TRUE(Tick(test, [&] { return test.Lost(); })) << "the unplug went unnoticed";
    EXPECT_EQ(test.LostText(), "Die Verbindung zum Gerät ist unterbrochen.");
    // Further ticks take nothing; the last telegram and the counter stay.
    EXPECT_FALSE(test.OnTimer(CFunktionstest::TimerId));
    EXPECT_EQ(test.HexView(), hex);
    EXPECT_EQ(test.Counter(), counter);
    // The buttons send nothing and say so; "Sende" keeps the views.
    EXPECT_FALSE(test.Buzzer());
    EXPECT_FALSE(test.Relay(true));
    EXPECT_FALSE(test.Relay(false));
    EXPECT_FALSE(test.Send());
    EXPECT_EQ(test.HexView(), hex);

    // Closing still closes the session (the library's id is gone afterwards).
    const int session = test.Session();
    test.Close();
    EXPECT_EQ(host.closed, std::vector<int>{session});
    EXPECT_EQ(LinkIsConnected(session), -1);
}

TEST_F(FunctionTestUnplugged, AButtonNoticesTheLossBeforeTheNextTick) {
    reader->SetBlock(CSimReader::Block::ModeParam, {0x01, 0x0A, 0x21, 0x05}); // request mode
    CFunktionstest test;
    ASSERT_TRUE(test.Open(host, 0x80));
    EXPECT_TRUE(test.Buzzer());
    const int session = test.Session();
    sim->Unplug();
    // Wait for the port thread to see the hang-up, without a tick of the test.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (LinkIsConnected(session) == 1 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(LinkIsConnected(session), 0);
    EXPECT_FALSE(test.Lost());
    EXPECT_FALSE(test.Buzzer());
    EXPECT_TRUE(test.Lost());
    test.Close();
    EXPECT_EQ(host.closed.size(), 1u);
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

} // namespace

TEST_F(FunctionTestUnplugged, TheCommandLineEndsWithTheReasonAndExitOne) {
    reader->PlaceTag(CSimTransponder(kEpc));
    const std::string err = folder + "/functest-err.txt";
    // Without the unplug the command would run its 20 seconds and exit 0.
    const std::string command = std::string(KVPLM_PATH) + " --timeout 300 functest " + sim->DevicePath() +
                                " --seconds 20 2>" + err + " </dev/null";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    // The first telegram's line shows the test runs; then the reader goes.
    char line[256] = {};
    const bool telegram = std::fgets(line, sizeof line, out) != nullptr;
    sim->Unplug();
    std::string rest;
    const std::string first = line;
    while (std::fgets(line, sizeof line, out))
        rest += line;
    const int status = pclose(out);
    ASSERT_TRUE(telegram);
    // (The counter is 0 or 1: the telegram may come within 70 ms of the start.)
    EXPECT_NE(first.find("  33 30 30 30 31 31 32 32 33 33  |3000112233|\n"), std::string::npos) << first;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(rest, "");
    EXPECT_EQ(ReadFile(err), "kvplm: mode 0, the reader sends on its own\n"
                             "Die Verbindung zum Gerät ist unterbrochen.\n");
}
