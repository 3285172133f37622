// The network endpoint over loopback with plain sockets as the host: search
// answers of several readers, device records, restart to a new address and
// port, the datagram faults and the TCP data connection.
#include "LanSimulator.h"
#include "LanTestSupport.h"
#include "SimHex.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

using LanTest::Bytes;
using LanTest::TcpHost;
using LanTest::UdpHost;
using SimTest::Hex;

Bytes Header(uint8_t code) {
    return {0x00, 0x00, 0x00, code};
}

Bytes Answer(uint8_t code, const Bytes& payload) {
    Bytes answer = Header(code);
    answer.insert(answer.end(), payload.begin(), payload.end());
    return answer;
}

CSimNetModule::Settings Static(CSimNetModule::Address address, uint16_t port = 10001) {
    CSimNetModule::Settings settings;
    settings.address = address;
    settings.port = port;
    return settings;
}

// One simulated reader on the network, in this process.
struct LanReader {
    explicit LanReader(const CSimNetModule::Settings& settings, CSimNetModule::Address lease = {127, 0, 0, 2},
                       const std::string& name = "KV-PLM41 LAN",
                       std::chrono::milliseconds restartDelay = std::chrono::milliseconds(100))
        : module(settings, name), endpoint(reader, module, [&] {
              CLanSimulator::Options options;
              options.address = lease;
              options.restartDelay = restartDelay;
              return options;
          }()) {}

    bool Start() {
        std::string error;
        const bool started = endpoint.Start(&error);
        EXPECT_TRUE(started) << error;
        return started;
    }

    CSimReader reader;
    CSimNetModule module;
    CLanSimulator endpoint;
};

TEST(LanSimulatorTest, TwoReadersAnswerOneBroadcastSearch) {
    LanReader first(Static({127, 0, 0, 2}));
    CSimNetModule::Settings dhcp;
    dhcp.dhcpName = "LAGER1";
    dhcp.port = 10002;
    LanReader second(dhcp, {127, 0, 0, 3});
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(first.endpoint.Broadcast(), "127.255.255.255");
    EXPECT_EQ(first.endpoint.ListForm(), "127.0.0.2-10001");
    EXPECT_EQ(second.endpoint.ListForm(), "[LAGER1]127.0.0.3-10002");

    // The host's search socket, as the link library opens it.
    UdpHost host(true);
    ASSERT_TRUE(host.bound);
    host.Send(LanTest::SearchRequest(), LanTest::Broadcast);
    ASSERT_TRUE(first.endpoint.WaitForDatagrams(1, 5s));
    ASSERT_TRUE(second.endpoint.WaitForDatagrams(1, 5s));

    std::vector<LanTest::Received> answers;
    bool ownSeen = false;
    for (const auto& got : host.ReceiveFor(300ms)) {
        if (got.from == "127.0.0.1") {
            // The host's own broadcast comes back; its filter drops it by sender.
            EXPECT_EQ(got.bytes, LanTest::SearchRequest());
            ownSeen = true;
        } else {
            answers.push_back(got);
        }
    }
    EXPECT_TRUE(ownSeen);
    ASSERT_EQ(answers.size(), 2u);
    std::sort(answers.begin(), answers.end(), [](auto& a, auto& b) { return a.from < b.from; });
    // Each answers from its own address and port 30718, with its record 0.
    EXPECT_EQ(answers[0].from, "127.0.0.2");
    EXPECT_EQ(answers[0].port, 30718);
    EXPECT_EQ(answers[0].bytes, Answer(0xF9, CSimNetModule::Record0(Static({127, 0, 0, 2}))));
    EXPECT_EQ(answers[1].from, "127.0.0.3");
    EXPECT_EQ(answers[1].port, 30718);
    ASSERT_EQ(answers[1].bytes.size(), 124u);
    EXPECT_EQ(Bytes(answers[1].bytes.begin() + 4, answers[1].bytes.begin() + 8), Hex("00 00 00 00"));
    EXPECT_EQ(answers[1].bytes[4 + 20], 0x12); // 10002 = 0x2712
    EXPECT_EQ(answers[1].bytes[4 + 21], 0x27);
    EXPECT_EQ(std::string(answers[1].bytes.begin() + 4 + 112, answers[1].bytes.begin() + 4 + 118), "LAGER1");

    const auto log = first.endpoint.Datagrams();
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(log[0].incoming && log[0].broadcast);
    EXPECT_EQ(log[0].kind, CSimNetModule::Kind::Search);
    EXPECT_FALSE(log[1].incoming);
}

TEST(LanSimulatorTest, ReadsAndWritesRecordsAndIgnoresWhatIsNoRequest) {
    LanReader sim(Static({127, 0, 0, 4}), {127, 0, 0, 4}, "KV-PLM42 LAN");
    ASSERT_TRUE(sim.Start());
    UdpHost host;

    host.Send(LanTest::ReadRequest(0), "127.0.0.4");
    auto got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->from, "127.0.0.4");
    EXPECT_EQ(got->bytes, Answer(0xD0, CSimNetModule::Record0(Static({127, 0, 0, 4}))));

    host.Send(LanTest::ReadRequest(2), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    ASSERT_EQ(got->bytes.size(), 4u + 128u);
    EXPECT_EQ(Bytes(got->bytes.begin(), got->bytes.begin() + 4), Header(0xD2));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got->bytes.data()) + 4 + 93), "KV-PLM42 LAN");

    host.Send(LanTest::ReadRequest(9), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Answer(0xD9, Bytes(120, 0)));

    const Bytes record9 = Hex("01 02 03 04");
    host.Send(LanTest::WriteRequest(9, record9), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Header(0xB9));
    host.Send(LanTest::ReadRequest(9), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    Bytes expected(120, 0);
    std::copy(record9.begin(), record9.end(), expected.begin());
    EXPECT_EQ(got->bytes, Answer(0xD9, expected));

    // A write of record 9 with byte 1 as record 0 has it, and a search with a
    // trailing byte: both ignored. The next request is answered first.
    sim.endpoint.ClearLogs();
    host.Send(Hex("00 00 00 C9 FF"), "127.0.0.4");
    host.Send(Hex("00 01 00 F8 00"), "127.0.0.4");
    ASSERT_TRUE(sim.endpoint.WaitForDatagrams(2, 5s));
    host.Send(LanTest::ReadRequest(9), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Answer(0xD9, expected));
    const auto log = sim.endpoint.Datagrams();
    ASSERT_EQ(log.size(), 4u); // two ignored, one request, one answer
    EXPECT_EQ(log[0].kind, CSimNetModule::Kind::Invalid);
    EXPECT_EQ(log[1].kind, CSimNetModule::Kind::Invalid);
    EXPECT_EQ(log[2].kind, CSimNetModule::Kind::Read);

    // Record 0 written: reported at once, but the reader stays where it is until a restart.
    host.Send(LanTest::WriteRequest(0, CSimNetModule::Record0(Static({127, 0, 0, 14}, 10014))), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Header(0xB0));
    host.Send(LanTest::SearchRequest(), "127.0.0.4");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes[7], 14);
    EXPECT_EQ(sim.endpoint.Address(), "127.0.0.4");
    EXPECT_EQ(sim.endpoint.Port(), 10001);
}

TEST(LanSimulatorTest, RestartComesBackUnderTheNewAddressAndPort) {
    LanReader sim(Static({127, 0, 0, 5}), {127, 0, 0, 5});
    ASSERT_TRUE(sim.Start());
    TcpHost data("127.0.0.5", 10001);
    ASSERT_TRUE(data.connected);
    ASSERT_TRUE(sim.endpoint.WaitForConnections(1, 5s));

    UdpHost host;
    host.Send(LanTest::WriteRequest(0, CSimNetModule::Record0(Static({127, 0, 0, 15}, 10015))), "127.0.0.5");
    ASSERT_TRUE(host.Receive());
    host.Send(LanTest::RestartRequest(), "127.0.0.5");
    // The restart drops the data connection at once.
    EXPECT_TRUE(data.AwaitClose());

    const auto back = host.AskUntilAnswered(LanTest::ReadRequest(0), "127.0.0.15");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->port, 30718);
    EXPECT_EQ(sim.endpoint.Restarts(), 1u);
    EXPECT_EQ(sim.endpoint.ListForm(), "127.0.0.15-10015");
    TcpHost again("127.0.0.15", 10015);
    ASSERT_TRUE(again.connected);
    again.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, again.Read(9)), Hex("33 30 32 35"));
    // The old address is given up.
    TcpHost old("127.0.0.5", 10001);
    EXPECT_FALSE(old.connected);
}

TEST(LanSimulatorTest, DhcpRestartKeepsTheLeaseAndAnUnusableAddressKeepsTheOldPlace) {
    LanReader sim(Static({127, 0, 0, 6}), {127, 0, 0, 6});
    std::vector<std::string> notices;
    std::mutex noticeMutex;
    sim.endpoint.SetTraceHook([&](CLanSimulator::TraceKind kind, const std::string& text) {
        std::lock_guard<std::mutex> lock(noticeMutex);
        if (kind == CLanSimulator::TraceKind::Notice) notices.push_back(text);
    });
    ASSERT_TRUE(sim.Start());
    UdpHost host;

    // To DHCP with a new port: back at the start address, listed by name.
    CSimNetModule::Settings dhcp;
    dhcp.dhcpName = "HALLE";
    dhcp.port = 10016;
    host.Send(LanTest::WriteRequest(0, CSimNetModule::Record0(dhcp)), "127.0.0.6");
    ASSERT_TRUE(host.Receive());
    host.Send(LanTest::RestartRequest(), "127.0.0.6");
    ASSERT_TRUE(sim.endpoint.WaitForRestarts(1, 10s));
    EXPECT_EQ(sim.endpoint.ListForm(), "[HALLE]127.0.0.6-10016");
    TcpHost data("127.0.0.6", 10016);
    EXPECT_TRUE(data.connected);

    // An address of no interface here (TEST-NET-2): it cannot be bound; the
    // reader says so and stays at its place.
    host.Send(LanTest::WriteRequest(0, CSimNetModule::Record0(Static({198, 51, 100, 7}))), "127.0.0.6");
    ASSERT_TRUE(host.Receive());
    host.Send(LanTest::RestartRequest(), "127.0.0.6");
    ASSERT_TRUE(sim.endpoint.WaitForRestarts(2, 10s));
    EXPECT_EQ(sim.endpoint.Address(), "127.0.0.6");
    EXPECT_EQ(sim.endpoint.Port(), 10016);
    const auto still = host.AskUntilAnswered(LanTest::ReadRequest(0), "127.0.0.6");
    ASSERT_TRUE(still);
    EXPECT_EQ(Bytes(still->bytes.begin() + 4, still->bytes.begin() + 8), Hex("C6 33 64 07")); // as written
    std::lock_guard<std::mutex> lock(noticeMutex);
    ASSERT_FALSE(notices.empty());
    EXPECT_NE(notices.back().find("cannot bind 198.51.100.7"), std::string::npos) << notices.back();
    EXPECT_NE(notices.back().find("staying at 127.0.0.6-10016"), std::string::npos) << notices.back();
}

TEST(LanSimulatorTest, AnAddressHeldByAnotherReaderIsNotTaken) {
    LanReader holder(Static({127, 0, 0, 7}, 10007), {127, 0, 0, 7});
    LanReader mover(Static({127, 0, 0, 8}), {127, 0, 0, 8});
    ASSERT_TRUE(holder.Start());
    ASSERT_TRUE(mover.Start());
    // Same address, another port: the UDP sockets alone would share it.
    LanReader twin(Static({127, 0, 0, 7}, 10017), {127, 0, 0, 7});
    std::string error;
    EXPECT_FALSE(twin.endpoint.Start(&error));
    EXPECT_NE(error.find("127.0.0.7 is taken"), std::string::npos) << error;

    mover.module.SetRecord(0, CSimNetModule::Record0(Static({127, 0, 0, 7}, 10027)));
    mover.endpoint.Restart();
    ASSERT_TRUE(mover.endpoint.WaitForRestarts(1, 10s));
    EXPECT_EQ(mover.endpoint.ListForm(), "127.0.0.8-10001");

    // Requests to 127.0.0.7 still reach the holder alone.
    UdpHost host;
    host.Send(LanTest::ReadRequest(0), "127.0.0.7");
    const auto got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes[4 + 20], 10007 & 0xFF);
    EXPECT_FALSE(host.Receive(200ms)); // and once
}

TEST(LanSimulatorTest, DatagramFaults) {
    LanReader sim(Static({127, 0, 0, 9}), {127, 0, 0, 9});
    ASSERT_TRUE(sim.Start());
    UdpHost host;
    const Bytes record0 = CSimNetModule::Record0(Static({127, 0, 0, 9}));

    sim.module.SetFault(CSimNetModule::Fault::WrongCode, 1);
    host.Send(LanTest::SearchRequest(), "127.0.0.9");
    auto got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Answer(0xF8, record0));

    sim.module.SetFault(CSimNetModule::Fault::ShortPayload, 1);
    host.Send(LanTest::SearchRequest(), "127.0.0.9");
    got = host.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Answer(0xF9, Bytes(record0.begin(), record0.begin() + 119)));

    sim.module.SetFault(CSimNetModule::Fault::Duplicate, 1);
    host.Send(LanTest::ReadRequest(0), "127.0.0.9");
    for (int i = 0; i < 2; ++i) {
        got = host.Receive();
        ASSERT_TRUE(got) << i;
        EXPECT_EQ(got->bytes, Answer(0xD0, record0)) << i;
    }

    // Silence: the request is seen but neither answered nor carried out.
    sim.module.SetFault(CSimNetModule::Fault::Silence, CSimNetModule::Forever);
    sim.endpoint.ClearLogs();
    host.Send(LanTest::WriteRequest(4, Hex("AA")), "127.0.0.9");
    host.Send(LanTest::RestartRequest(), "127.0.0.9");
    ASSERT_TRUE(sim.endpoint.WaitForDatagrams(2, 5s));
    EXPECT_TRUE(sim.endpoint.Datagrams()[0].silenced);
    sim.module.SetFault(CSimNetModule::Fault::Silence, 0);
    host.Send(LanTest::ReadRequest(4), "127.0.0.9");
    got = host.Receive();
    ASSERT_TRUE(got); // the first datagram after the silenced ones
    EXPECT_EQ(got->bytes, Answer(0xD4, Bytes(120, 0)));
    EXPECT_FALSE(sim.endpoint.IsRestarting());
    EXPECT_EQ(sim.endpoint.Restarts(), 0u);
}

TEST(LanSimulatorTest, ServesFramesToOneClientAtATime) {
    LanReader sim(Static({127, 0, 0, 10}), {127, 0, 0, 10});
    ASSERT_TRUE(sim.Start());
    TcpHost host("127.0.0.10", 10001);
    ASSERT_TRUE(host.connected);
    host.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    EXPECT_EQ(SimHex::Format(host.Read(9)), "02 01 00 04 33 30 32 35 01");
    host.Write(Frame::Build(Frame::Crc, 1, 0xF0));
    const Bytes crc = host.Read(9);
    EXPECT_EQ(Frame::CheckFrame(Frame::Crc, crc), Frame::Check::Ok);
    EXPECT_EQ(Frame::Strip(Frame::Crc, crc), Hex("33 30 32 35"));
    EXPECT_TRUE(sim.endpoint.ClientConnected());

    // A second host is let in and closed at once; the first one goes on.
    TcpHost second("127.0.0.10", 10001);
    ASSERT_TRUE(second.connected);
    EXPECT_TRUE(second.AwaitClose());
    host.Write(Frame::Build(Frame::Bcc, 1, 0x8E));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, host.Read(9)), Hex("00 0A 3F 05"));
    EXPECT_EQ(sim.endpoint.Connections(), 1u);

    // What the reader sends on its own reaches the client.
    sim.reader.SendUnsolicited(Hex("41 42 0D"));
    EXPECT_EQ(host.Read(3), Hex("41 42 0D"));

    // The engine's faults work over TCP: noise, a wrong check byte, silence.
    sim.reader.FaultNoise(Hex("55"));
    sim.reader.FaultBadCheck();
    host.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    const Bytes noisy = host.Read(10);
    ASSERT_EQ(noisy.size(), 10u);
    EXPECT_EQ(noisy[0], 0x55);
    EXPECT_EQ(Frame::CheckFrame(Frame::Bcc, Bytes(noisy.begin() + 1, noisy.end())), Frame::Check::Mismatch);

    // The client closes: the next one is served, even when it connects at once.
    close(host.fd);
    host.fd = -1;
    TcpHost next("127.0.0.10", 10001);
    ASSERT_TRUE(next.connected);
    next.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
    EXPECT_EQ(next.Read(9).size(), 9u);
}

TEST(LanSimulatorTest, GapDisconnectAndUnplug) {
    LanReader sim(Static({127, 0, 0, 11}), {127, 0, 0, 11});
    ASSERT_TRUE(sim.Start());
    {
        TcpHost host("127.0.0.11", 10001);
        ASSERT_TRUE(host.connected);
        // A gap of 150 ms after 3 bytes of the reply: the rest does not come before.
        sim.reader.FaultGap(3, 150ms);
        host.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
        EXPECT_EQ(host.Read(3).size(), 3u);
        const auto afterHead = LanTest::Clock::now();
        EXPECT_EQ(host.Read(6).size(), 6u);
        EXPECT_GE(LanTest::Clock::now() - afterHead, 100ms);

        // The console's disconnect: the host sees the peer close, the reader stays.
        EXPECT_TRUE(sim.endpoint.Disconnect());
        EXPECT_TRUE(host.AwaitClose());
        EXPECT_FALSE(sim.endpoint.Disconnect());
    }
    {
        TcpHost host("127.0.0.11", 10001);
        ASSERT_TRUE(host.connected);
        ASSERT_TRUE(sim.endpoint.WaitForConnections(2, 5s));
        host.Write(Frame::Build(Frame::Bcc, 1, 0xF0));
        EXPECT_EQ(host.Read(9).size(), 9u);

        // Unplug: the connection closes and the reader is off the network.
        sim.endpoint.Unplug();
        EXPECT_TRUE(host.AwaitClose());
        EXPECT_TRUE(sim.endpoint.IsUnplugged());
    }
    TcpHost refused("127.0.0.11", 10001);
    EXPECT_FALSE(refused.connected);
    ASSERT_TRUE(sim.Start());
    TcpHost back("127.0.0.11", 10001);
    EXPECT_TRUE(back.connected);
}

} // namespace
