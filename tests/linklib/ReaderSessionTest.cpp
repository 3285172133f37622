// The frame exchange of a session against replies crafted byte by byte by
// the test on the far end of a pseudo-terminal.
#include "ReaderSession.h"
#include "ReaderCommands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Bytes = Frame::Bytes;

class ReaderSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        ComOpenParams params;
        params.portName = name;
        ASSERT_TRUE(session.Open(params));
        ASSERT_TRUE(session.StartMonitoring());
    }
    void TearDown() override {
        if (responder.joinable()) responder.join();
        session.Close();
        close(master);
        close(slave);
    }

    // Reads one request (count bytes) from the master side.
    Bytes ReadRequest(size_t count) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            uint8_t buffer[64];
            const ssize_t n = read(master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // Answers the next request (requestSize bytes) with the pieces, a pause before each.
    void Respond(size_t requestSize, std::vector<std::pair<std::chrono::milliseconds, Bytes>> pieces) {
        responder = std::thread([this, requestSize, pieces] {
            ReadRequest(requestSize);
            for (const auto& [pause, bytes] : pieces) {
                std::this_thread::sleep_for(pause);
                (void)!write(master, bytes.data(), bytes.size());
            }
        });
    }

    static Bytes WithBcc(Bytes frame) {
        frame.push_back(Frame::Xor(frame.data() + 1, frame.size() - 1));
        return frame;
    }
    static Bytes WithCrc(Bytes frame) {
        const uint16_t crc = Frame::Crc16(frame);
        frame.push_back(crc & 0xFF);
        frame.push_back(crc >> 8);
        return frame;
    }

    int master = -1, slave = -1;
    CReaderSession session;
    std::thread responder;
};

TEST_F(ReaderSessionTest, NothingPendingIsStatus8) {
    EXPECT_FALSE(session.Exchange());
    EXPECT_EQ(session.Status(), 8);
}

TEST_F(ReaderSessionTest, RecordRunCompletesOnlyWithItsCheckByte) {
    const Bytes reply = WithBcc({0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x00, 0xFF});
    // Everything but the check byte first: a wait that ended here would fail the check.
    Respond(5, {{0ms, Bytes(reply.begin(), reply.end() - 1)}, {150ms, Bytes{reply.back()}}});
    session.SetCommand(0xF0);
    ASSERT_TRUE(session.Exchange());
    Bytes data;
    ASSERT_TRUE(session.ReadReply(data)) << session.Status();
    EXPECT_EQ(data, (Bytes{0x02, 0xAA, 0xBB, 0x00}));
}

TEST_F(ReaderSessionTest, RecordRunInCrcFraming) {
    session.SetFraming(Frame::Crc);
    const Bytes reply = WithCrc({0x01, 0x00, 0xFF, 0x01, 0xFF, 0x00, 0xFF});
    Respond(5, {{0ms, Bytes(reply.begin(), reply.end() - 2)}, {100ms, Bytes(reply.end() - 2, reply.end())}});
    session.SetCommand(0xF0);
    ASSERT_TRUE(session.Exchange());
    Bytes data;
    ASSERT_TRUE(session.ReadReply(data)) << session.Status();
    EXPECT_EQ(data, (Bytes{0x01, 0xFF, 0x00}));
}

TEST_F(ReaderSessionTest, EachPhaseHasItsOwnTimeout) {
    // Four noise bytes, then the start byte, then the rest: each piece comes
    // within one timeout of the last, the whole reply well after one timeout.
    session.SetReplyTimeout(400);
    const Bytes reply = WithBcc({0x02, 0x01, 0x00, 0x01, 0x42});
    Respond(5, {{250ms, Bytes{0x55, 0x55, 0x55, 0x55}},
                {250ms, Bytes{reply[0]}},
                {250ms, Bytes(reply.begin() + 1, reply.end())}});
    session.SetCommand(0xF0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.Exchange()) << session.Status();
    EXPECT_GT(std::chrono::steady_clock::now() - start, 600ms);
    Bytes data;
    ASSERT_TRUE(session.ReadReply(data));
    EXPECT_EQ(data, Bytes{0x42});
}

TEST_F(ReaderSessionTest, ShortReplyTimesOutAndKeepsWhatCameUntilTheNextExchange) {
    session.SetReplyTimeout(100);
    Respond(5, {{0ms, Bytes{0x02, 0x01, 0x00, 0x05, 0x11}}});
    session.SetCommand(0xF0);
    EXPECT_FALSE(session.Exchange());
    EXPECT_EQ(session.Status(), 4);
    EXPECT_EQ(session.QueuedCount(), 5u);
    responder.join();
    // The next exchange starts from an empty queue.
    const Bytes reply = WithBcc({0x02, 0x01, 0x00, 0x00});
    Respond(5, {{0ms, reply}});
    session.SetCommand(0xF0);
    ASSERT_TRUE(session.Exchange());
    EXPECT_TRUE(session.ReadStatusReply());
    EXPECT_EQ(session.Status(), 4); // a success does not clear the status
}

TEST_F(ReaderSessionTest, EmptyReplyIsStatus12) {
    Bytes data;
    EXPECT_FALSE(session.ReadReply(data));
    EXPECT_EQ(session.Status(), 12);
}

TEST_F(ReaderSessionTest, RawReceiveTakesAtMostTheMaximum) {
    const Bytes bytes{'1', '2', '3', '4', '5'};
    (void)!write(master, bytes.data(), bytes.size());
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (session.QueuedCount() < 5 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    uint8_t buffer[8];
    EXPECT_EQ(session.TakeReceived(buffer, 3), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{'1', '2', '3'}));
    EXPECT_EQ(session.TakeReceived(buffer, 8), 2);
    EXPECT_EQ(session.TakeReceived(buffer, 8), 0);
}

TEST(ReaderCommands, ModelNamesOfTheIdentification) {
    const auto name = [](const char* reply) {
        return ReaderCommands::ModelName(Bytes(reply, reply + std::strlen(reply)));
    };
    EXPECT_EQ(name("3015"), "KV-PL41");
    EXPECT_EQ(name("3021"), "KV-PLM41");
    EXPECT_EQ(name("3030"), "KV-PLM41 Plus");
    EXPECT_EQ(name("3112"), "KV-PL72");
    EXPECT_EQ(name("312F"), "KV-PLM72");
    EXPECT_EQ(name("313a"), "KV-PLM72 Plus");
    EXPECT_EQ(name("3003"), "");
    EXPECT_EQ(name("31"), "---");
    EXPECT_EQ(ReaderCommands::RateCode(2400), 0);
    EXPECT_EQ(ReaderCommands::RateCode(4800), 1);
    EXPECT_EQ(ReaderCommands::RateCode(9600), 2);
    EXPECT_EQ(ReaderCommands::RateCode(19200), 3);
    EXPECT_EQ(ReaderCommands::RateCode(1200), 3);
}

TEST(ReaderSessionId, FollowsTheOpenTransport) {
    CReaderSession session;
    EXPECT_EQ(session.SessionId(), 0);
    int master, slave;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ComOpenParams params;
    params.portName = name;
    ASSERT_TRUE(session.Open(params));
    EXPECT_GE(session.SessionId(), CComPort::HandleBase);
    session.CloseTransport();
    EXPECT_EQ(session.SessionId(), 0);
    close(master);
    close(slave);
}

TEST(ReaderSessionQueue, PastItsCapTheOldestBytesGo) {
    CReaderSession session;
    const size_t extra = 100;
    for (size_t i = 0; i < CReaderSession::QueueCap + extra; ++i)
        session.OnReceiveByte(static_cast<uint8_t>(i));
    EXPECT_EQ(session.QueuedCount(), CReaderSession::QueueCap);
    EXPECT_EQ(session.QueuedByte(0), static_cast<uint8_t>(extra));
    session.ClearQueue();
    EXPECT_EQ(session.QueuedCount(), 0u);
}

TEST(ReaderSessionTransport, EachKindPicksItsTransportAndARefusedNameNone) {
    CReaderSession session;
    using K = LinkPort::Kind;
    EXPECT_EQ(session.TransportFor(K::Serial), static_cast<ITransport*>(&session));
    EXPECT_EQ(session.TransportFor(K::Lan), static_cast<ITransport*>(&session.Tcp()));
    EXPECT_EQ(session.TransportFor(K::Hid), static_cast<ITransport*>(&session.Hid()));
    EXPECT_EQ(session.TransportFor(K::Bluetooth), static_cast<ITransport*>(&session.Bluetooth()));
    EXPECT_EQ(session.TransportFor(K::Refused), nullptr);
    EXPECT_FALSE(session.OpenTransport(K::Refused, "COM4 BTW", {}));
    EXPECT_EQ(session.Transport(), nullptr);
    // Only Bluetooth opens without the identification probe, and only the
    // serial line changes its format with the reader.
    EXPECT_FALSE(session.Bluetooth().ProbesOnOpen());
    EXPECT_TRUE(session.Hid().ProbesOnOpen());
    EXPECT_EQ(session.Bluetooth().LineChangeKind(), ITransport::LineChange::HostOnly);
    EXPECT_EQ(session.Tcp().LineChangeKind(), ITransport::LineChange::Refused);
    EXPECT_EQ(session.Hid().PollLimit(), 10);
    EXPECT_EQ(session.Bluetooth().PollLimit(), 100);
    EXPECT_EQ(session.PollLimit(), 0);
}

TEST(ReaderSessionTransport, SerialOpenedThroughTheInterfaceSendsAndCloses) {
    int master, slave;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    CReaderSession session;
    ASSERT_TRUE(session.OpenTransport(LinkPort::Kind::Serial, name, {9600, 0}));
    EXPECT_EQ(session.Transport(), static_cast<ITransport*>(&session));
    EXPECT_EQ(session.BaudRate(), 9600);
    EXPECT_EQ(session.Transport()->LineChangeKind(), ITransport::LineChange::WithReader);
    const uint8_t bytes[] = {0x41, 0x42};
    EXPECT_TRUE(session.SendRaw(bytes, sizeof bytes));
    uint8_t got[2] = {};
    size_t have = 0;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (have < sizeof got && std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = read(master, got + have, sizeof got - have);
        if (n > 0) have += size_t(n);
    }
    EXPECT_EQ(Bytes(got, got + have), Bytes({0x41, 0x42}));
    session.CloseTransport();
    EXPECT_EQ(session.SessionId(), 0);
    EXPECT_FALSE(session.Send(bytes, 1));
    close(master);
    close(slave);
}

} // namespace
