// kvplm-readersim as a process: start line, control commands, stdin EOF, signals.
#include "SimAnnounce.h"
#include "SimProgram.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>

namespace {

using SimTest::Hex;
using SimTest::HostPort;
using SimTest::Program;

TEST(ReaderSimProgramTest, RunsUntilSignalledAndCleansUp) {
    const std::string link = SimTest::TempDir() + "/program-link";
    Program sim({"--type", "0x312", "--minor", "3", "--link", link, "--quiet", "--tag", "AABBCCDD::0102"});
    ASSERT_GT(sim.pid, 0);
    const std::string first = sim.ReadLine();
    EXPECT_EQ(first.rfind("kvplm-readersim: KV-PLM72 (type 312, firmware V1.03) on /dev/pts/", 0), 0u)
        << first;
    EXPECT_NE(first.find("(link " + link + ")"), std::string::npos);
    ASSERT_EQ(SimAnnounce::List().size(), 1u);
    EXPECT_EQ(SimAnnounce::List()[0].label, "Simulated KV-PLM72");

    HostPort host(link, B19200);
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, host.Read(9)), Hex("33 31 32 33"));

    sim.Send("state");
    EXPECT_EQ(sim.ReadLine(), "state 1, power-on mode 1, 19200 baud format 0, rf on, 1 transponder(s)");
    sim.Send("send 41 42");
    EXPECT_EQ(sim.ReadLine(), "ok");
    EXPECT_EQ(host.Read(2), Hex("41 42"));

    // The end of stdin does not end the simulator.
    sim.CloseInput();
    host.Write(Hex("01 F0 00 64 00"));
    EXPECT_EQ(host.Read(9).size(), 9u);

    kill(sim.pid, SIGTERM);
    const int status = sim.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(SimAnnounce::List().empty());
}

TEST(ReaderSimProgramTest, QuitsOnCommandAndRefusesBadOptions) {
    Program sim({"--no-announce", "--quiet", "--framing", "crc"});
    ASSERT_FALSE(sim.ReadLine().empty());
    sim.Send("quit");
    EXPECT_EQ(sim.ReadLine(), "ok");
    int status = sim.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Program bad({"--framing", "xyz"});
    status = bad.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

} // namespace
