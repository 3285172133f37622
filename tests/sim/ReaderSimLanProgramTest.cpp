// kvplm-readersim --lan as processes: several instances answering one
// search, the LAN options and their refusals, the console on a LAN reader,
// restarts reported on stderr.
#include "LanTestSupport.h"
#include "SimHex.h"
#include "SimProgram.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace std::chrono_literals;

namespace {

using LanTest::Bytes;
using LanTest::TcpHost;
using LanTest::UdpHost;
using SimTest::Hex;
using SimTest::Program;

int ExitCode(Program& program) {
    const int status = program.Wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes Record0(const std::string& address, uint16_t port) {
    Bytes record(120, 0);
    unsigned a[4] = {};
    std::sscanf(address.c_str(), "%u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3]);
    for (int i = 0; i < 4; ++i)
        record[i] = static_cast<uint8_t>(a[i]);
    record[6] = 8;
    record[20] = static_cast<uint8_t>(port & 0xFF);
    record[21] = static_cast<uint8_t>(port >> 8);
    return record;
}

TEST(ReaderSimLanProgramTest, SeveralInstancesAnswerOneBroadcastSearch) {
    Program a({"--lan", "127.0.0.2", "--quiet"});
    Program b(
        {"--lan", "127.0.0.3", "--lan-dhcp", "LAGER1", "--lan-port", "10003", "--type", "0x312", "--quiet"});
    Program c({"--lan", "127.0.0.4", "--lan-name", "Fremdgeraet", "--lan-mask-bits", "16", "--quiet"});
    EXPECT_EQ(a.ReadLine(), "kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on LAN 127.0.0.2-10001");
    EXPECT_EQ(b.ReadLine(),
              "kvplm-readersim: KV-PLM72 (type 312, firmware V1.05) on LAN [LAGER1]127.0.0.3-10003");
    EXPECT_EQ(c.ReadLine(), "kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on LAN 127.0.0.4-10001");

    UdpHost host;
    host.Send(LanTest::SearchRequest(), LanTest::Broadcast);
    std::vector<LanTest::Received> answers;
    for (const auto& got : host.ReceiveFor(500ms))
        answers.push_back(got);
    ASSERT_EQ(answers.size(), 3u);
    std::sort(answers.begin(), answers.end(), [](auto& x, auto& y) { return x.from < y.from; });
    EXPECT_EQ(answers[0].from, "127.0.0.2");
    Bytes expected{0x00, 0x00, 0x00, 0xF9};
    const Bytes record = Record0("127.0.0.2", 10001);
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(answers[0].bytes, expected);
    EXPECT_EQ(answers[1].from, "127.0.0.3");
    EXPECT_EQ(SimHex::Format(Bytes(answers[1].bytes.begin() + 4, answers[1].bytes.begin() + 8)),
              "00 00 00 00");
    EXPECT_EQ(std::string(answers[1].bytes.begin() + 4 + 112, answers[1].bytes.end()),
              std::string("LAGER1\0\0", 8));
    EXPECT_EQ(answers[2].bytes[4 + 6], 16);

    // The device names of record 2: from the model, or as given.
    for (const auto& [address, name] :
         {std::pair<const char*, const char*>{"127.0.0.3", "KV-PLM72 LAN"}, {"127.0.0.4", "Fremdgeraet"}}) {
        host.Send(LanTest::ReadRequest(2), address);
        const auto got = host.Receive();
        ASSERT_TRUE(got) << address;
        ASSERT_EQ(got->bytes.size(), 132u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(got->bytes.data()) + 4 + 93), name);
    }

    // And the data connection of each.
    TcpHost data("127.0.0.3", 10003);
    ASSERT_TRUE(data.connected);
    data.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, data.Read(9)), Hex("33 31 32 35"));
}

TEST(ReaderSimLanProgramTest, RefusesBadLanOptions) {
    const std::vector<std::vector<std::string>> bad = {
        {"--lan-port", "10002"},                   // needs --lan
        {"--lan-dhcp", "NAME"},                    // needs --lan
        {"--lan", "127.0.0"},                      // no address
        {"--lan", "0.0.0.0"},                      // no address to be reached at
        {"--lan", "127.0.0.2", "--lan-port", "0"}, // no port
        {"--lan", "127.0.0.2", "--lan-mask-bits", "33"},
        {"--lan", "127.0.0.2", "--lan-dhcp", "NEUNZEICH"}, // 9 characters
        {"--lan", "127.0.0.2", "--lan-dhcp", "A[1]"},
        {"--lan", "127.0.0.2", "--lan-name", std::string(35, 'N')},
        {"--lan", "127.0.0.2", "--lan-broadcast", "broadcast"},
        {"--lan", "127.0.0.2", "--link", "/tmp/kvplm-lan-link"}, // a LAN reader has no device file
        {"--lan", "127.0.0.2", "--restart-delay", "-5"},
    };
    for (const auto& args : bad) {
        Program program(args);
        EXPECT_EQ(ExitCode(program), 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    }
    // An address of no interface here cannot be served: exit 1.
    Program unusable({"--lan", "198.51.100.7", "--quiet"});
    EXPECT_EQ(ExitCode(unusable), 1);
}

TEST(ReaderSimLanProgramTest, FaultOptionsApplyToEveryAnswer) {
    Program sim(
        {"--lan", "127.0.0.5", "--lan-wrong-code", "--lan-duplicate", "--lan-short-payload", "--quiet"});
    ASSERT_FALSE(sim.ReadLine().empty());
    UdpHost host;
    host.Send(LanTest::ReadRequest(0), "127.0.0.5");
    for (int i = 0; i < 2; ++i) {
        const auto got = host.Receive();
        ASSERT_TRUE(got) << i;
        EXPECT_EQ(got->bytes.size(), 4u + 119u);
        EXPECT_EQ(got->bytes[3], 0xD1);
    }

    // Silent: the datagram shows up in the traffic log, nothing comes back.
    Program silent({"--lan", "127.0.0.6", "--lan-silent"}, true);
    ASSERT_FALSE(silent.ReadLine().empty());
    host.Send(LanTest::SearchRequest(), "127.0.0.6");
    EXPECT_EQ(silent.ReadErrorLine(), "udp > 00 01 00 F8 from 127.0.0.1:" + std::to_string([&] {
                                          sockaddr_in own{};
                                          socklen_t size = sizeof own;
                                          getsockname(host.fd, reinterpret_cast<sockaddr*>(&own), &size);
                                          return ntohs(own.sin_port);
                                      }()) +
                                          " (ignored: silence)");
    // The console switches it off again.
    silent.Send("fault lan silence off");
    EXPECT_EQ(silent.ReadLine(), "ok");
    host.Send(LanTest::SearchRequest(), "127.0.0.6");
    const auto got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes[3], 0xF9);
}

TEST(ReaderSimLanProgramTest, RestartsUnderTheNewRecordAndSaysSoOnStderr) {
    // The default restart delay of 1500 ms.
    Program sim({"--lan", "127.0.0.7", "--quiet"}, true);
    ASSERT_FALSE(sim.ReadLine().empty());
    UdpHost host;
    host.Send(LanTest::WriteRequest(0, Record0("127.0.0.17", 10017)), "127.0.0.7");
    auto got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(SimHex::Format(got->bytes), "00 00 00 B0");
    const auto restartAt = LanTest::Clock::now();
    host.Send(LanTest::RestartRequest(), "127.0.0.7");
    got = host.AskUntilAnswered(LanTest::ReadRequest(0), "127.0.0.17");
    ASSERT_TRUE(got);
    EXPECT_GE(LanTest::Clock::now() - restartAt, 1400ms);
    EXPECT_EQ(sim.ReadErrorLine(), "kvplm-readersim: restarted on LAN 127.0.0.17-10017");
    sim.Send("lan");
    EXPECT_EQ(sim.ReadLine(),
              "LAN 127.0.0.17-10017, broadcast 127.255.255.255; record 0: address 127.0.0.17, "
              "mask host bits 8, port 10017; device name KV-PLM41 LAN; client none; restarts 1");

    // To an address that cannot be bound, from the console: stays, says why.
    sim.Send("record 0 C6 33 64 07");
    EXPECT_EQ(sim.ReadLine().rfind("record 0: C6 33 64 07 00 00 08 00", 0), 0u);
    sim.Send("restart");
    EXPECT_EQ(sim.ReadLine(), "restarting");
    const std::string notice = sim.ReadErrorLine();
    EXPECT_EQ(notice.rfind("kvplm-readersim: restart: cannot bind 198.51.100.7", 0), 0u) << notice;
    EXPECT_NE(notice.find("staying at 127.0.0.17-10017"), std::string::npos) << notice;
    got = host.AskUntilAnswered(LanTest::SearchRequest(), "127.0.0.17");
    ASSERT_TRUE(got);
}

TEST(ReaderSimLanProgramTest, ConsoleDisconnectsUnplugsAndPlugsIn) {
    Program sim({"--lan", "127.0.0.8", "--lan-dhcp", "HALLE2", "--quiet"});
    ASSERT_FALSE(sim.ReadLine().empty());
    {
        TcpHost data("127.0.0.8", 10001);
        ASSERT_TRUE(data.connected);
        data.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
        EXPECT_EQ(data.Read(9).size(), 9u);
        sim.Send("disconnect");
        EXPECT_EQ(sim.ReadLine(), "ok");
        EXPECT_TRUE(data.AwaitClose());
        sim.Send("disconnect");
        EXPECT_EQ(sim.ReadLine(), "error: no client is connected");
    }
    TcpHost data("127.0.0.8", 10001);
    ASSERT_TRUE(data.connected);
    data.Write(Frame::Build(Frame::Bcc, 1, 0xF0)); // served: the reader knows its client now
    EXPECT_EQ(data.Read(9).size(), 9u);
    sim.Send("unplug");
    EXPECT_EQ(sim.ReadLine(), "unplugged");
    EXPECT_TRUE(data.AwaitClose());
    sim.Send("state");
    EXPECT_EQ(sim.ReadLine(),
              "state 1, power-on mode 1, 19200 baud format 0, rf on, 0 transponder(s), unplugged");
    TcpHost refused("127.0.0.8", 10001);
    EXPECT_FALSE(refused.connected);
    sim.Send("restart");
    EXPECT_EQ(sim.ReadLine(), "error: the reader is off the network");
    sim.Send("plug");
    EXPECT_EQ(sim.ReadLine(),
              "kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on LAN [HALLE2]127.0.0.8-10001");
    TcpHost back("127.0.0.8", 10001);
    EXPECT_TRUE(back.connected);

    sim.Send("fault lan code 2 42 search");
    EXPECT_EQ(sim.ReadLine(), "ok");
    sim.Send("fault lan short on 300");
    EXPECT_EQ(sim.ReadLine(), "error: a length is 0..255");
    sim.Send("fault lan bogus on");
    EXPECT_EQ(sim.ReadLine().rfind("error: usage: fault lan", 0), 0u);
    sim.Send("lan");
    const std::string line = sim.ReadLine();
    EXPECT_NE(line.find("; faults code 2 42 search"), std::string::npos) << line;
    EXPECT_NE(line.find("record 0: DHCP name HALLE2"), std::string::npos) << line;
    sim.Send("fault clear");
    EXPECT_EQ(sim.ReadLine(), "ok");
    sim.Send("lan");
    EXPECT_EQ(sim.ReadLine().find("faults"), std::string::npos);

    kill(sim.pid, SIGTERM);
    EXPECT_EQ(ExitCode(sim), 0);
}

// Readers on a real subnet: the test process (in a namespace of its own) is
// the host at 192.0.2.1 on one end of a veth pair; the other end lives in a
// second namespace, held by a sleeping process, with the readers' addresses
// 192.0.2.2 and .3. The readers work out 192.0.2.255 from their interface and
// hear the host's broadcast there. Both namespaces end with their processes.
TEST(ReaderSimLanProgramTest, AnswersASubnetBroadcastBetweenNamespaces) {
    if (!LanTest::InOwnNamespace())
        GTEST_SKIP() << "needs a network namespace of its own (and ip, nsenter, unshare)";
    // The holder says "ready" once it is in its new namespace.
    Program holder(Program::CommandTag{}, {"unshare", "-n", "sh", "-c", "echo ready; exec sleep 300"});
    ASSERT_GT(holder.pid, 0);
    if (holder.ReadLine() != "ready") GTEST_SKIP() << "unshare -n did not run";
    const std::string pid = std::to_string(holder.pid);
    const std::vector<std::string> in = {"nsenter", "-t", pid, "-n"};
    auto inReaders = [&](std::vector<std::string> args) {
        args.insert(args.begin(), in.begin(), in.end());
        return LanTest::RunCommand(args);
    };
    if (LanTest::RunCommand(
            {"ip", "link", "add", "kvplm-h", "type", "veth", "peer", "name", "kvplm-r", "netns", pid}) != 0)
        GTEST_SKIP() << "no veth pair could be made";
    ASSERT_EQ(LanTest::RunCommand({"ip", "addr", "add", "192.0.2.1/24", "dev", "kvplm-h"}), 0);
    ASSERT_EQ(LanTest::RunCommand({"ip", "link", "set", "kvplm-h", "up"}), 0);
    ASSERT_EQ(inReaders({"ip", "addr", "add", "192.0.2.2/24", "dev", "kvplm-r"}), 0);
    ASSERT_EQ(inReaders({"ip", "addr", "add", "192.0.2.3/24", "dev", "kvplm-r"}), 0);
    ASSERT_EQ(inReaders({"ip", "link", "set", "kvplm-r", "up"}), 0);
    ASSERT_EQ(inReaders({"ip", "link", "set", "lo", "up"}), 0);

    Program fixed({"--lan", "192.0.2.2", "--quiet"}, false, in);
    Program dhcp({"--lan", "192.0.2.3", "--lan-dhcp", "LAGER1", "--quiet"}, false, in);
    EXPECT_EQ(fixed.ReadLine(),
              "kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on LAN 192.0.2.2-10001");
    EXPECT_EQ(dhcp.ReadLine(),
              "kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on LAN [LAGER1]192.0.2.3-10001");
    fixed.Send("lan");
    EXPECT_EQ(fixed.ReadLine().rfind("LAN 192.0.2.2-10001, broadcast 192.0.2.255;", 0), 0u);

    // The host's search socket; its own broadcast comes back from its own address.
    UdpHost host(true);
    ASSERT_TRUE(host.bound);
    std::vector<LanTest::Received> answers;
    bool ownSeen = false;
    // The link has to come up first: search again until both have answered.
    for (auto end = LanTest::Clock::now() + 10s; answers.size() < 2 && LanTest::Clock::now() < end;) {
        answers.clear();
        host.Send(LanTest::SearchRequest(), "192.0.2.255");
        for (const auto& got : host.ReceiveFor(300ms)) {
            if (got.from == "192.0.2.1")
                ownSeen = true;
            else
                answers.push_back(got);
        }
    }
    EXPECT_TRUE(ownSeen);
    ASSERT_EQ(answers.size(), 2u);
    std::sort(answers.begin(), answers.end(), [](auto& x, auto& y) { return x.from < y.from; });
    EXPECT_EQ(answers[0].from, "192.0.2.2");
    EXPECT_EQ(SimHex::Format(Bytes(answers[0].bytes.begin(), answers[0].bytes.begin() + 8)),
              "00 00 00 F9 C0 00 02 02");
    EXPECT_EQ(answers[1].from, "192.0.2.3"); // a DHCP reader is known by the sender address
    EXPECT_EQ(SimHex::Format(Bytes(answers[1].bytes.begin(), answers[1].bytes.begin() + 8)),
              "00 00 00 F9 00 00 00 00");

    TcpHost data("192.0.2.3", 10001);
    ASSERT_TRUE(data.connected);
    data.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, data.Read(9)), Hex("33 30 32 35"));
}

} // namespace
