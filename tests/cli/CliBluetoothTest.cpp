// kvplm and readers behind a Bluetooth adapter module: the " BT" names in
// the commands, "bt scan", and the notice while the module searches.
#include "BluetoothWait.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using CliRun::Outcome;

class CliBluetoothTest : public ::testing::Test {
protected:
    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 100); }

    CliRun::ScratchFolder scratch{"bt"};
    std::string folder = scratch.Path();
};

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

TEST(SearchNotice, DueOnceAfterASecondWithoutAReply) {
    Cli::SearchNotice notice;
    EXPECT_FALSE(notice.Due(5000)); // not started
    notice.Start(1000);
    EXPECT_FALSE(notice.Due(1000));
    EXPECT_FALSE(notice.Due(2000)); // exactly one second: not yet
    EXPECT_TRUE(notice.Due(2001));
    EXPECT_FALSE(notice.Due(2002)); // once
    EXPECT_FALSE(notice.Due(9000));

    // A reader that answered within the second: nothing.
    notice.Start(0);
    notice.ReplyArrived();
    EXPECT_FALSE(notice.Due(1500));
}

TEST(SearchNotice, OnlyTraceLinesWithReceivedBytesCountAsAReply) {
    EXPECT_TRUE(Cli::TraceLineReceived("<(00000007) 02 05 00 00 ff \r\n"));
    EXPECT_FALSE(Cli::TraceLineReceived(">(00000007) 02 03 00 50 51 \r\n")); // sent
    EXPECT_FALSE(Cli::TraceLineReceived("<(00000007) \r\n"));                // a timeout with nothing left
    EXPECT_FALSE(Cli::TraceLineReceived("<"));
    EXPECT_FALSE(Cli::TraceLineReceived(nullptr));
}

TEST_F(CliBluetoothTest, TheScanCommandChecksItsArguments) {
    Outcome run = Kvplm("bt");
    EXPECT_EQ(run.exit, 2);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: bt: scan is missing\n")) << run.err;
    run = Kvplm("bt scan");
    EXPECT_EQ(run.exit, 2);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: PORT is missing\n")) << run.err;
    run = Kvplm("bt scan /dev/ttyUSB0 extra");
    EXPECT_EQ(run.exit, 2);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: unexpected argument \"extra\"\n")) << run.err;
    run = Kvplm("bt pair /dev/ttyUSB0");
    EXPECT_EQ(run.exit, 2);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: bt: unknown \"pair\" (scan)\n")) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(CliBluetoothTest, AScanOnAPortThatDoesNotOpenFailsClearly) {
    const Outcome run = Kvplm("bt scan /dev/kvplm-no-such-port");
    EXPECT_EQ(run.exit, 3);
    EXPECT_TRUE(
        StartsWith(run.err, "kvplm: no Bluetooth adapter module answered on /dev/kvplm-no-such-port ("))
        << run.err;
    EXPECT_EQ(run.err.find("no reader found"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST_F(CliBluetoothTest, BluetoothNamesReachTheLinkAsOneArgument) {
    // A reader command and a transponder command: the whole quoted name is
    // the port, a missing adapter is an open failure, nothing is printed.
    Outcome run = Kvplm("info '/dev/kvplm-no-such-port BT:1'");
    EXPECT_EQ(run.exit, 3);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: cannot open /dev/kvplm-no-such-port BT:1 (")) << run.err;
    EXPECT_EQ(run.out, "");
    run = Kvplm("inventory '/dev/kvplm-no-such-port BT:2'");
    EXPECT_EQ(run.exit, 3);
    EXPECT_EQ(run.err.find("searching for the reader"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    // " BTW" is refused by the link.
    run = Kvplm("info '/dev/kvplm-no-such-port BTW:1'");
    EXPECT_EQ(run.exit, 3);
    EXPECT_TRUE(StartsWith(run.err, "kvplm: cannot open /dev/kvplm-no-such-port BTW:1 (")) << run.err;
}

TEST_F(CliBluetoothTest, TheHelpNamesTheBluetoothForm) {
    const Outcome run = Kvplm("--help");
    EXPECT_EQ(run.exit, 0);
    EXPECT_NE(run.out.find("\"/dev/ttyUSB0 BT:1\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  bt           scan PORT [--all]"), std::string::npos) << run.out;
}

} // namespace
