#include "PtySimulator.h"
#include "SimAnnounce.h"
#include "SimHex.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using Bytes = Frame::Bytes;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using SimTest::Hex;
using SimTest::HostPort;

CPtySimulator::Options Quiet(bool lineTime = false) {
    CPtySimulator::Options options;
    options.lineTime = lineTime;
    options.announce = false;
    return options;
}

TEST(PtySimulatorTest, AnswersBothFramingsAndSurvivesReopen) {
    CSimReader reader;
    CPtySimulator sim(reader, Quiet());
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    {
        HostPort host(sim.SlavePath(), B19200);
        ASSERT_GE(host.fd, 0);
        host.Write(Hex("02 01 F0 00 F1"));
        EXPECT_EQ(SimHex::Format(host.Read(9)), "02 01 00 04 33 30 32 35 01");
        host.Write(Hex("01 F0 00 64 00"));
        const Bytes crc = host.Read(9);
        EXPECT_EQ(Frame::CheckFrame(Frame::Crc, crc), Frame::Check::Ok);
        EXPECT_EQ(SimHex::Format(Frame::Strip(Frame::Crc, crc)), "33 30 32 35");
    }
    // The host closes and opens the port again; the simulator is still there.
    HostPort again(sim.SlavePath(), B19200);
    reader.SendUnsolicited(Hex("41 42"));
    EXPECT_EQ(again.Read(2), Hex("41 42"));
    again.Write(Frame::Build(Frame::Bcc, 1, 0x8E));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, again.Read(9)), Hex("00 0A 3F 05"));
    EXPECT_EQ(reader.GetCounters().answered, 3u);
}

TEST(PtySimulatorTest, LineTimeIsALowerBound) {
    CSimReader::Options options;
    options.line = {2400, 0};
    CSimReader reader(options);
    CPtySimulator sim(reader, Quiet(true));
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath(), B2400);

    // 5 request bytes and 9 reply bytes at 10 bits per byte: at least 13 byte
    // times from sending until the whole reply is there (the request counts
    // from its first byte).
    const auto byteTime = std::chrono::nanoseconds(10 * 1000000000ll / 2400);
    auto start = Clock::now();
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(host.Read(9).size(), 9u);
    EXPECT_GE(Clock::now() - start, byteTime * 13);

    // An injected gap inside the reply adds to it.
    reader.FaultGap(4, 150ms);
    start = Clock::now();
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(host.Read(9).size(), 9u);
    EXPECT_GE(Clock::now() - start, byteTime * 13 + 150ms);
}

TEST(PtySimulatorTest, HostSpeedMustMatchAndFollowsTheBaudChange) {
    CSimReader::Options options;
    options.line = {9600, 0};
    CSimReader reader(options);
    CPtySimulator sim(reader, Quiet());
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath(), B19200);

    // Wrong speed: the request is seen as garbage and not answered.
    host.Write(Hex("02 01 F0 00 F1"));
    ASSERT_TRUE(reader.WaitForRequests(1, 5s));
    EXPECT_EQ(reader.Requests()[0].fate, CSimReader::Fate::LineMismatch);
    EXPECT_EQ(reader.GetCounters().replies, 0u);
    EXPECT_GE(sim.MismatchedReads(), 1u);

    host.SetSpeed(B9600);
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(host.Read(9).size(), 9u);

    // 0xF2 to 19200 8N1: the status reply still comes at 9600, then both switch.
    host.Write(Frame::Build(Frame::Bcc, 1, 0xF2, Bytes{0x03}));
    EXPECT_EQ(SimHex::Format(host.Read(5)), "02 01 00 00 01");
    EXPECT_EQ(reader.Line(), (SimLine{19200, 0}));
    host.SetSpeed(B19200);
    host.Write(Hex("01 F0 00 64 00"));
    EXPECT_EQ(host.Read(9).size(), 9u);

    // With the check off any host speed is answered.
    sim.SetHostLineCheck(false);
    host.SetSpeed(B4800);
    host.Write(Hex("01 F0 00 64 00"));
    EXPECT_EQ(host.Read(9).size(), 9u);
}

TEST(PtySimulatorTest, UnplugHangsUpTheHostAndPlugGivesANewPort) {
    CSimReader reader;
    CPtySimulator sim(reader, Quiet());
    ASSERT_TRUE(sim.Start());
    const std::string path = sim.SlavePath();
    HostPort host(path, B19200);
    ASSERT_GE(host.fd, 0);

    sim.Unplug();
    EXPECT_TRUE(sim.IsUnplugged());
    EXPECT_FALSE(sim.IsRunning());
    pollfd p{host.fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_EQ(write(host.fd, "x", 1), -1);
    EXPECT_EQ(errno, EIO);

    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(sim.IsUnplugged());
    HostPort replugged(sim.SlavePath(), B19200);
    replugged.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(replugged.Read(9).size(), 9u);
}

TEST(PtySimulatorTest, LinkAndAnnounceFileLiveWhileRunning) {
    const std::string link = SimTest::TempDir() + "/reader0";
    CPtySimulator::Options options = Quiet();
    options.linkPath = link;
    options.announce = true;
    CSimReader reader;
    CPtySimulator sim(reader, options);
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.DevicePath(), link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.SlavePath());

    // Leftovers of dead processes and of vanished devices are not listed.
    const std::string dir = SimAnnounce::Directory();
    std::ofstream(dir + "/999999999-0.port") << link << "\nSimulated ghost\n";
    const std::string gone = SimAnnounce::Write("/dev/pts/no-such-pty", "Simulated gone");
    ASSERT_FALSE(gone.empty());

    auto list = SimAnnounce::List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, link);
    EXPECT_EQ(list[0].label, "Simulated KV-PLM41");

    HostPort host(link, B19200);
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(host.Read(9).size(), 9u);

    sim.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(SimAnnounce::List().empty());
    SimAnnounce::Remove(gone);

    // A real file in the link's place is left alone and the start fails.
    std::ofstream(link) << "keep";
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
    std::ifstream kept(link);
    std::string content;
    kept >> content;
    EXPECT_EQ(content, "keep");
}

TEST(PtySimulatorTest, AnAnnounceNameThatIsNoRegularFileIsSkippedAtOnce) {
    // A pipe under an announce file's name used to make every port list
    // wait for a writer for ever.
    const std::string dir = SimAnnounce::Directory();
    std::filesystem::create_directories(dir);
    const std::string alive = std::to_string(getpid());
    const std::string pipe = dir + "/" + alive + "-900.port";
    const std::string folder = dir + "/" + alive + "-901.port";
    const std::string device = dir + "/" + alive + "-902.port";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink("/dev/zero", device);
    const std::string real = SimAnnounce::Write("/dev/null", "Simulated real");
    ASSERT_FALSE(real.empty());
    auto listed = std::async(std::launch::async, [] { return SimAnnounce::List(); });
    if (listed.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the port list waits on the pipe";
        std::_Exit(1); // the blocked open cannot be interrupted: end here rather than hang
    }
    const std::vector<SimAnnounce::Entry> list = listed.get();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Simulated real");
    SimAnnounce::Remove(real);
    std::filesystem::remove(pipe);
    std::filesystem::remove(folder);
    std::filesystem::remove(device);
}

} // namespace
