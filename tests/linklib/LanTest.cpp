// The network transport against readers played by the test on loopback
// (LanPeer.h): the exact datagrams and list texts of the search, the device
// records and the restart, the TCP exchange of a command, a peer that closes
// or stays silent, LinkLanSetAddress, and the LAN ids. Every search goes to
// 127.255.255.255 (KVPLM_LAN_BROADCAST), never further.
#include "LanPeer.h"

#include "Dispatcher.h"
#include "LinkApi.h"
#include "LinkRegistry.h"
#include "ReaderSession.h"
#include "TcpSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace lantest;
using Clock = std::chrono::steady_clock;

// Before any test: searches stay on loopback.
const bool broadcastSet = [] {
    setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 1);
    return true;
}();

std::vector<std::string> List(int (*list)(char*, int), int size = 4096) {
    std::vector<char> buffer(size_t(size), 'x');
    const int used = list(buffer.data(), size);
    std::vector<std::string> entries;
    for (size_t at = 0; at + 1 < size_t(used) && buffer[at];) {
        entries.emplace_back(&buffer[at]);
        at += entries.back().size() + 1;
    }
    return entries;
}

std::set<std::string> Set(const std::vector<std::string>& v) {
    return {v.begin(), v.end()};
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<Bytes> DatagramsOf(LanPeer& peer) {
    std::vector<Bytes> all;
    for (const auto& d : peer.Received())
        all.push_back(d.bytes);
    return all;
}

class LanTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broadcastSet); }
    void TearDown() override {
        for (int id : ids)
            if (id > 0) LinkClose(id);
        LinkSetUiHooks(nullptr);
        LinkSetMessageHook(nullptr);
    }
    std::unique_ptr<LanPeer> Peer(const std::string& address, Bytes record0 = {}) {
        auto peer = std::make_unique<LanPeer>(address, std::move(record0));
        EXPECT_TRUE(peer->Ok()) << address;
        return peer;
    }
    int Open(const std::string& name, int timeout = 300) {
        const int id = LinkOpen(name.c_str(), 19200, 0, timeout);
        ids.push_back(id);
        return id;
    }
    std::vector<int> ids;
};

// ------------------------------------------------------------------ search

TEST_F(LanTest, SearchListsStaticAndDhcpReadersWithTheExactRequest) {
    auto fixed = Peer("127.0.0.21", Record0("127.0.0.21", 8, 10001));
    auto dhcp = Peer("127.0.0.22", Record0("0.0.0.0", 8, 10005, "LAGER1"));
    const auto start = Clock::now();
    const auto all = List(&LinkListLanDevicesAll);
    const double took = MsSince(start);
    EXPECT_EQ(Set(all), (std::set<std::string>{"127.0.0.21-10001", "[LAGER1]127.0.0.22-10005"}));
    EXPECT_EQ(all.size(), 2u);
    // The search listens its 200 ms and not much longer.
    EXPECT_GE(took, 195.0);
    EXPECT_LT(took, 1500.0);

    // Exactly one search datagram, 00 01 00 F8, from the host's port 30718.
    const auto got = fixed->Received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, H({0x00, 0x01, 0x00, 0xF8}));
    EXPECT_EQ(got[0].fromPort, 30718);
    EXPECT_EQ(DatagramsOf(*dhcp), std::vector<Bytes>{H({0x00, 0x01, 0x00, 0xF8})});
}

TEST_F(LanTest, SearchIgnoresWrongCodesShortPayloadsDuplicatesAndItsOwnAddress) {
    auto peer = Peer("127.0.0.21");
    peer->SetAnswerer([](const Bytes& request) -> std::vector<Bytes> {
        if (request[3] != 0xF8) return {};
        return {Answer(0xF8, Record0("127.0.0.31", 8, 1)), Answer(0xD0, Record0("127.0.0.32", 8, 2)),
                Answer(0xF9,
                       [] {
                           Bytes r = Record0("127.0.0.33", 8, 3);
                           r.pop_back();
                           return r;
                       }()),
                H({0x00, 0x00}), Bytes{}, Answer(0xF9, Record0("127.0.0.34", 8, 4)),
                Answer(0xF9, Record0("127.0.0.34", 8, 4)),
                // A longer answer counts with its first 120 bytes laid out as record 0.
                Answer(0xF9, [] {
                    Bytes r = Record0("127.0.0.35", 8, 5);
                    r.resize(300, 0xEE);
                    return r;
                }())};
    });
    // An answer from the host's own address (127.0.0.1 here) is the host's
    // own: sent from a socket on 127.0.0.1 (another port, so that the
    // readers' answers to 127.0.0.1:30718 still reach the host).
    auto own = Peer("127.0.0.22");
    own->SetAnswerer([](const Bytes& request) -> std::vector<Bytes> {
        if (request[3] != 0xF8) return {};
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in local = Ipv4("127.0.0.1", 0), host = Ipv4("127.0.0.1", 30718);
        bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        const Bytes answer = Answer(0xF9, Record0("127.0.0.36", 8, 6));
        sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&host), sizeof host);
        close(fd);
        return {};
    });
    EXPECT_EQ(List(&LinkListLanDevicesAll), (std::vector<std::string>{"127.0.0.34-4", "127.0.0.35-5"}));
}

TEST_F(LanTest, DhcpNameOfEightCharactersAndNamesWithoutTerminator) {
    auto a = Peer("127.0.0.21", Record0("0.0.0.0", 8, 10001, "ABCDEFGH"));
    auto b = Peer("127.0.0.22", Record0("0.0.0.0", 8, 10001, ""));
    EXPECT_EQ(Set(List(&LinkListLanDevicesAll)),
              (std::set<std::string>{"[ABCDEFGH]127.0.0.21-10001", "[]127.0.0.22-10001"}));
}

TEST_F(LanTest, VerifiedSearchKeepsReadersOfTheFamilyByRecord2) {
    auto kv = Peer("127.0.0.21");
    auto dhcp = Peer("127.0.0.22", Record0("0.0.0.0", 8, 10001, "LAGER1"));
    dhcp->SetRecord(2, Record2("kv-plm72 lan")); // upper-cased before the test
    auto other = Peer("127.0.0.23");
    other->SetRecord(2, Record2("XY-1000"));
    auto shortRecord = Peer("127.0.0.24");
    shortRecord->SetRecord(2, Record2("KV-PLM41 LAN", 125));
    auto silent = Peer("127.0.0.25");
    silent->SetRecord(2, {});

    EXPECT_EQ(Set(List(&LinkListLanDevices)), (std::set<std::string>{"127.0.0.21-10001", "[LAGER1]"}));
    // Each was asked for record 2 with 00 01 00 E2, after the search.
    EXPECT_EQ(DatagramsOf(*kv),
              (std::vector<Bytes>{H({0x00, 0x01, 0x00, 0xF8}), H({0x00, 0x01, 0x00, 0xE2})}));
    EXPECT_EQ(DatagramsOf(*other).back(), H({0x00, 0x01, 0x00, 0xE2}));
    EXPECT_EQ(DatagramsOf(*silent).back(), H({0x00, 0x01, 0x00, 0xE2}));

    EXPECT_EQ(LinkLanFind("[LAGER1]:1"), 1);
    EXPECT_EQ(LinkLanFind("127.0.0.21-10001:1"), 1);
    EXPECT_EQ(LinkLanFind("127.0.0.23"), 0);
    EXPECT_EQ(LinkLanFind("[LAGER2]"), 0);
}

TEST_F(LanTest, ARecordAnswerFromAnotherDeviceIsNotTaken) {
    // 127.0.0.22 never answers its record read; 127.0.0.21 answers twice,
    // late, and its second answer must not verify the silent one.
    auto twice = Peer("127.0.0.21");
    twice->SetAnswerer([&](const Bytes& request) -> std::vector<Bytes> {
        if (request[3] == 0xF8) return {Answer(0xF9, Record0("127.0.0.21", 8, 10001))};
        if (request[3] == 0xE2)
            return {Answer(0xD2, Record2("KV-PLM41 LAN")), Answer(0xD2, Record2("KV-PLM41 LAN"))};
        return {};
    });
    auto silent = Peer("127.0.0.22");
    silent->SetRecord(2, {});
    EXPECT_EQ(List(&LinkListLanDevices), std::vector<std::string>{"127.0.0.21-10001"});
}

TEST_F(LanTest, ListBufferRulesAndANoiseFreeEmptyNetwork) {
    const auto start = Clock::now();
    char one[1] = {'x'};
    EXPECT_EQ(LinkListLanDevicesAll(one, 1), 1);
    EXPECT_EQ(one[0], '\0');
    EXPECT_LT(MsSince(start), 1500.0);

    auto a = Peer("127.0.0.21", Record0("127.0.0.21", 8, 1)); // "127.0.0.21-1": 12 characters
    char buffer[14];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(LinkListLanDevicesAll(buffer, sizeof buffer), 14);
    EXPECT_STREQ(buffer, "127.0.0.21-1");
    EXPECT_EQ(buffer[13], '\0');
    EXPECT_EQ(LinkListLanDevicesAll(buffer, 13), 1);
}

TEST_F(LanTest, SearchRunsTheProgramsHooks) {
    struct Counts {
        int pumps = 0, disables = 0, restores = 0, cursorOn = 0, cursorOff = 0;
    } counts;
    LinkUiHooks hooks{};
    hooks.context = &counts;
    hooks.pumpEvents = [](void* c) { ++static_cast<Counts*>(c)->pumps; };
    hooks.disableMainWindow = [](void* c) {
        ++static_cast<Counts*>(c)->disables;
        return 1;
    };
    hooks.restoreMainWindow = [](void* c, int previous) {
        EXPECT_EQ(previous, 1);
        ++static_cast<Counts*>(c)->restores;
    };
    hooks.setWaitCursor = [](void* c, int on) {
        ++(on ? static_cast<Counts*>(c)->cursorOn : static_cast<Counts*>(c)->cursorOff);
    };
    LinkSetUiHooks(&hooks);
    List(&LinkListLanDevicesAll);
    LinkSetUiHooks(nullptr);
    // The program's events keep coming during the 200 ms (at least every 10 ms).
    EXPECT_GE(counts.pumps, 10);
    EXPECT_GE(counts.disables, 1);
    EXPECT_EQ(counts.disables, counts.restores);
    EXPECT_GE(counts.cursorOn, 1);
    EXPECT_EQ(counts.cursorOff, 1);
}

// ------------------------------------------------------- the TCP connection

TEST_F(LanTest, OpenWithoutPortConnectsTo10001AndExchangesFrames) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10001));
    const int id = Open("127.0.0.21:1");
    ASSERT_GT(id, 0);
    EXPECT_LT(id, 0x10000);
    // The identification probe in BCC framing, then the command.
    EXPECT_EQ(LinkSetState(id, 0), 0);
    char type[8] = {}, name[32] = {};
    EXPECT_EQ(LinkGetDeviceInfo(id, type, sizeof type, name, sizeof name), 4);
    EXPECT_STREQ(name, "KV-PLM41");
    EXPECT_EQ(peer->Frames(),
              (std::vector<Bytes>{H({0x02, 0x01, 0xF0, 0x00, 0xF1}), H({0x02, 0x01, 0xF4, 0x01, 0x00, 0xF4}),
                                  H({0x02, 0x01, 0xF0, 0x00, 0xF1})}));
    EXPECT_EQ(LinkIsConnected(id), 1);
    EXPECT_EQ(LinkIsUsb(id), 0);
    // A network session has no line to change.
    EXPECT_EQ(LinkSetBaudRate(id, 9600, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 14);

    EXPECT_EQ(LinkClose(id), 0);
    EXPECT_TRUE(peer->WaitFor([&] { return peer->SawFin(); }));
    EXPECT_EQ(LinkGetLastError(id), 3);
    ids.clear();
}

TEST_F(LanTest, OpenWithPortAndBusAddressAndCrcFraming) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    // A reader that answers only in CRC framing: the probe tries BCC first.
    peer->SetFrameHandler([](const Bytes&) { return Bytes{}; });
    const int id = Open("127.0.0.21-10021:7", 100);
    EXPECT_EQ(id, -11);
    ids.clear();
    ASSERT_GE(peer->Frames().size(), 1u);
    EXPECT_EQ(peer->Frames()[0], H({0x02, 0x07, 0xF0, 0x00, 0xF7}));
    EXPECT_EQ(LinkTransceive(id, 0xF0, nullptr, 0, nullptr, 0), -1);
}

TEST_F(LanTest, ADhcpNameIsResolvedBySearchAndConnectsToTheSender) {
    auto peer = Peer("127.0.0.22", Record0("0.0.0.0", 8, 10022, "LAGER1"));
    ASSERT_TRUE(peer->Listen(10022));
    const int id = Open("[LAGER1]:1");
    ASSERT_GT(id, 0);
    EXPECT_EQ(peer->Accepted(), 1);
    EXPECT_EQ(DatagramsOf(*peer), std::vector<Bytes>{H({0x00, 0x01, 0x00, 0xF8})});
    EXPECT_EQ(LinkSetState(id, 0), 0);

    // A name nobody answers to: the text stays as it is and opens nothing.
    const auto start = Clock::now();
    EXPECT_EQ(Open("[LAGER9]:1"), -1);
    EXPECT_LT(MsSince(start), 2000.0);
}

TEST_F(LanTest, NobodyListeningFailsAtOnceAndLeavesNoId) {
    const auto start = Clock::now();
    EXPECT_EQ(Open("127.0.0.29-10029:1"), -1);
    EXPECT_EQ(Open("127.0.0.300:1"), -1);
    EXPECT_LT(MsSince(start), 2000.0);
    EXPECT_TRUE(CTcpSocket::LanIdsInUse().empty());
}

TEST_F(LanTest, APeerThatClosesMidSessionGivesATimeoutAndTheNextSendConnectsAgain) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    const int id = Open("127.0.0.21-10021:1", 200);
    ASSERT_GT(id, 0);
    ASSERT_EQ(LinkSetState(id, 0), 0);

    // The peer closes; the library notices on its next dispatch.
    peer->CloseConnection();
    peer->StopListening();
    unsigned char buffer[8];
    const auto deadline = Clock::now() + 3s;
    while (LinkIsConnected(id) == 1 && Clock::now() < deadline)
        LinkReceiveRaw(id, buffer, sizeof buffer);
    EXPECT_EQ(LinkIsConnected(id), 0);
    // Nobody to connect to: the command fails with a time-out, no hang.
    auto start = Clock::now();
    EXPECT_EQ(LinkSetState(id, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 4);
    EXPECT_LT(MsSince(start), 2000.0);

    // The reader is back: the next command connects again, from the local
    // port equal to the device's port when that port is free here.
    ASSERT_TRUE(peer->Listen(10021));
    EXPECT_EQ(LinkSetState(id, 0), 0);
    EXPECT_EQ(peer->Accepted(), 2);
    EXPECT_EQ(LinkIsConnected(id), 1);
}

TEST_F(LanTest, APeerThatResetsShowsTheReceiveErrorThroughTheMessageHook) {
    static std::vector<std::string> messages;
    messages.clear();
    LinkSetMessageHook([](const char* text) { messages.emplace_back(text); });
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    const int id = Open("127.0.0.21-10021:1", 200);
    ASSERT_GT(id, 0);
    peer->CloseConnection(true);
    unsigned char buffer[8];
    const auto deadline = Clock::now() + 3s;
    while (messages.empty() && Clock::now() < deadline)
        LinkReceiveRaw(id, buffer, sizeof buffer);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "CTcpSocket::OnReceive Fehler : " + std::to_string(ECONNRESET));
    EXPECT_EQ(LinkIsConnected(id), 0);
}

TEST_F(LanTest, ASilentReaderTimesOutOnEveryWait) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    std::atomic<bool> answer{true};
    peer->SetFrameHandler([&](const Bytes& frame) {
        return answer ? Frame::Build(Frame::Bcc, 1, 0, frame[2] == 0xF0 ? H({'3', '0', '2', '1'}) : Bytes{})
                      : Bytes{};
    });
    const int id = Open("127.0.0.21-10021:1", 150);
    ASSERT_GT(id, 0);
    answer = false;
    const auto start = Clock::now();
    EXPECT_EQ(LinkSetState(id, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 4);
    const double took = MsSince(start);
    EXPECT_GE(took, 150.0);
    EXPECT_LT(took, 1500.0);
}

TEST_F(LanTest, CloseWaitsForThePeersCloseAtMostASecondThenResets) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    peer->SetCloseOnPeerFin(false);
    const int id = Open("127.0.0.21-10021:1");
    ASSERT_GT(id, 0);
    const auto start = Clock::now();
    EXPECT_EQ(LinkClose(id), 0);
    const double took = MsSince(start);
    ids.clear();
    EXPECT_GE(took, 990.0);
    EXPECT_LT(took, 2000.0);
    EXPECT_TRUE(peer->SawFin());
    EXPECT_TRUE(CTcpSocket::LanIdsInUse().empty());
}

TEST_F(LanTest, ClosingAPeerThatClosesAtOnceIsQuick) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    const int id = Open("127.0.0.21-10021:1");
    ASSERT_GT(id, 0);
    const auto start = Clock::now();
    EXPECT_EQ(LinkClose(id), 0);
    ids.clear();
    EXPECT_LT(MsSince(start), 500.0);
}

// -------------------------------------------------------------- LAN ids

TEST_F(LanTest, LanIdsAreTheSmallestFreeNumbersAndAreGivenBack) {
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    const int first = Open("127.0.0.21-10021:1");
    const int channel = LinkLanOpenConfig("127.0.0.21-10021:1");
    const int third = Open("127.0.0.21-10021:1");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(channel, 2);
    EXPECT_EQ(third, 3);
    EXPECT_EQ(LinkClose(first), 0);
    EXPECT_EQ(LinkLanCloseConfig(channel, 0), 0);
    EXPECT_EQ(CTcpSocket::LanIdsInUse(), std::vector<int>{3});
    EXPECT_EQ(Open("127.0.0.21-10021:1"), 1);
    EXPECT_EQ(LinkLanOpenConfig("127.0.0.21:1"), 2);
    EXPECT_EQ(LinkLanCloseConfig(2, 0), 0);
    EXPECT_EQ(LinkLanCloseConfig(2, 0), -1);
}

// A session of another transport whose id is a small number (as a device
// handle may be).
class SmallIdSession : public CReaderSession {
public:
    explicit SmallIdSession(int id) : m_id(id) {}
    int LinkId() const override { return m_id; }

private:
    int m_id;
};

TEST_F(LanTest, ALanIdNeverEqualsTheIdOfAnotherOpenSession) {
    LinkRegistry().Add(std::make_unique<SmallIdSession>(1));
    LinkRegistry().Add(std::make_unique<SmallIdSession>(3));
    CReaderSession* one = LinkRegistry().Find(1);
    CReaderSession* three = LinkRegistry().Find(3);
    auto peer = Peer("127.0.0.21");
    ASSERT_TRUE(peer->Listen(10021));
    EXPECT_EQ(Open("127.0.0.21-10021:1"), 2);
    EXPECT_EQ(Open("127.0.0.21-10021:1"), 4);
    // Commands on 2 reach the network reader, not the other session.
    EXPECT_EQ(LinkSetState(2, 0), 0);
    EXPECT_EQ(LinkRegistry().Find(1), one);
    LinkRegistry().Remove(one);
    LinkRegistry().Remove(three);
}

// ------------------------------------------------- configuration channel

TEST_F(LanTest, ConfigurationChannelReadsRecordsAndRestarts) {
    auto peer = Peer("127.0.0.21", Record0("127.0.0.21", 8, 10001));
    const int id = LinkLanOpenConfig("127.0.0.21-10001:1");
    ASSERT_GT(id, 0);
    // Opening sends nothing.
    EXPECT_TRUE(peer->Received().empty());
    unsigned char record[200];
    EXPECT_EQ(LinkLanReadConfig(id, 0, record, sizeof record), 120);
    EXPECT_EQ(Bytes(record, record + 120), Record0("127.0.0.21", 8, 10001));
    EXPECT_EQ(LinkLanReadConfig(id, 2, record, sizeof record), 128);
    EXPECT_STREQ(reinterpret_cast<char*>(record + 93), "KV-PLM41 LAN");
    // Too small a buffer: status 5.
    EXPECT_EQ(LinkLanReadConfig(id, 0, record, 119), -1);
    EXPECT_EQ(LinkGetLastError(id), 5);
    // Out of range: nothing sent.
    EXPECT_EQ(LinkLanReadConfig(id, 16, record, sizeof record), -1);
    EXPECT_EQ(LinkLanReadConfig(id, -1, record, sizeof record), -1);

    const auto got = peer->Received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, H({0x00, 0x01, 0x00, 0xE0}));
    EXPECT_EQ(got[1].bytes, H({0x00, 0x01, 0x00, 0xE2}));
    EXPECT_EQ(got[0].fromPort, 30718);
    EXPECT_EQ(got[0].from, "127.0.0.1");

    EXPECT_EQ(LinkLanCloseConfig(id, 1), 0);
    EXPECT_TRUE(peer->WaitFor([&] { return peer->restarts == 1; }));
    EXPECT_EQ(DatagramsOf(*peer).back(), H({0x00, 0x00, 0x00, 0x03, 0x58, 0x33}));
    EXPECT_EQ(LinkLanCloseConfig(id, 1), -1);
    EXPECT_EQ(LinkGetLastError(id), 3);
}

TEST_F(LanTest, ARecordAnswerThatIsShortLateOrWrongFailsTheRead) {
    auto peer = Peer("127.0.0.21");
    peer->SetAnswerer([](const Bytes& request) -> std::vector<Bytes> {
        if (request[3] == 0xE0) return {Answer(0xD0, Bytes(119, 1)), Answer(0xD1, Bytes(120, 1))};
        return {};
    });
    const int id = LinkLanOpenConfig("127.0.0.21:1");
    ASSERT_GT(id, 0);
    unsigned char record[200];
    const auto start = Clock::now();
    EXPECT_EQ(LinkLanReadConfig(id, 0, record, sizeof record), -1);
    const double took = MsSince(start);
    EXPECT_EQ(LinkGetLastError(id), 4);
    // The answer is awaited 500 ms.
    EXPECT_GE(took, 495.0);
    EXPECT_LT(took, 1500.0);
    EXPECT_EQ(LinkLanCloseConfig(id, 0), 0);
    EXPECT_EQ(peer->restarts, 0);
}

TEST_F(LanTest, TheHostsOwnBroadcastIsNotQueued) {
    // A channel to "the broadcast address" hears its own restart datagram;
    // the peer's answer to it, sent after, is the first thing queued.
    auto peer = Peer("127.0.0.21");
    peer->SetAnswerer([](const Bytes& request) -> std::vector<Bytes> {
        if (request.size() == 6) return {Answer(0x77, {})};
        return {};
    });
    // The channel host CTcpSocket::BroadcastHost names the broadcast address,
    // which the library takes from KVPLM_LAN_BROADCAST: loopback's here, never
    // a real network's (the test also runs in a network namespace of its own).
    const char* broadcast = std::getenv("KVPLM_LAN_BROADCAST");
    ASSERT_NE(broadcast, nullptr);
    ASSERT_STREQ(broadcast, "127.255.255.255");
    CReaderSession session;
    ASSERT_TRUE(session.OpenConfigChannel(CTcpSocket::BroadcastHost));
    session.Tcp().Restart();
    const auto deadline = Clock::now() + 3s;
    while (session.Tcp().QueuedDatagrams() == 0 && Clock::now() < deadline)
        CDispatcher::Instance().DispatchFor(5);
    LanWire::Datagram first;
    ASSERT_TRUE(session.Tcp().TakeDatagram(first));
    EXPECT_EQ(LanWire::AddressText(first.sender), "127.0.0.21");
    EXPECT_EQ(first.code, 0x77);
    EXPECT_EQ(peer->Received().at(0).bytes, H({0x00, 0x00, 0x00, 0x03, 0x58, 0x33}));
    session.CloseTransport();
}

// ---------------------------------------------------- LinkLanSetAddress

class LanSetAddressTest : public LanTest {
protected:
    void SetUp() override {
        LanTest::SetUp();
        peer = Peer("127.0.0.21", Record0("127.0.0.21", 8, 10001));
    }
    // The records written to record 0 (bytes after the 4-byte header).
    std::vector<Bytes> Writes() {
        std::vector<Bytes> writes;
        for (const Bytes& d : DatagramsOf(*peer))
            if (d.size() >= 4 && d[3] == 0xC0) {
                EXPECT_EQ(Bytes(d.begin(), d.begin() + 4), H({0x00, 0x00, 0x00, 0xC0}));
                writes.emplace_back(d.begin() + 4, d.end());
            }
        return writes;
    }
    void ExpectRestarted() {
        EXPECT_TRUE(peer->WaitFor([&] { return peer->restarts == 1; }));
        EXPECT_EQ(DatagramsOf(*peer).back(), H({0x00, 0x00, 0x00, 0x03, 0x58, 0x33}));
    }
    std::unique_ptr<LanPeer> peer;
};

TEST_F(LanSetAddressTest, TheSameSettingsWriteNothingButRestart) {
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21-10001:1", "127.0.0.21-10001", "255.255.255.0"), 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(DatagramsOf(*peer).front(), H({0x00, 0x01, 0x00, 0xE0}));
    ExpectRestarted();
    EXPECT_TRUE(CTcpSocket::LanIdsInUse().empty());
}

TEST_F(LanSetAddressTest, ANewStaticAddressWithMaskAndPortIsWrittenWhole) {
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21-10001:1", "192.168.10.20-10002", "255.255.0.0"), 0);
    Bytes expected = Record0("127.0.0.21", 8, 10001);
    expected[0] = 192, expected[1] = 168, expected[2] = 10, expected[3] = 20;
    expected[6] = 16;
    expected[20] = 0x12, expected[21] = 0x27; // 10002
    EXPECT_EQ(Writes(), std::vector<Bytes>{expected});
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, OnlyTheMaskDiffers) {
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", "127.0.0.21", "255.255.255.128"), 0);
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0][6], 7);
    EXPECT_EQ(Writes()[0][20], 0x11); // port kept: none given
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, ABracketedNameSwitchesToDhcpAndKeepsThePort) {
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21-10001:1", "[LAGER2]", ""), 0);
    const Bytes expected = Record0("0.0.0.0", 8, 10001, "LAGER2");
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], expected);
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, AnEightCharacterNameFillsTheFieldWithoutTerminator) {
    peer->SetRecord(0, Record0("0.0.0.0", 8, 10001, "LAGER1"));
    EXPECT_EQ(LinkLanSetAddress("[LAGER1]:1", "[ABCDEFGH]-10003", nullptr), 0);
    ASSERT_EQ(Writes().size(), 1u);
    const Bytes written = Writes()[0];
    EXPECT_EQ(std::string(written.begin() + 112, written.begin() + 120), "ABCDEFGH");
    EXPECT_EQ(written[20] | written[21] << 8, 10003);
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, AnUnreadableRecordFailsAndStillRestarts) {
    peer->SetRecord(0, {});
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", "127.0.0.22", "255.255.255.0"), -1);
    EXPECT_TRUE(Writes().empty());
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, AnUnansweredWriteFails) {
    peer->SetAnswerer([&](const Bytes& request) -> std::vector<Bytes> {
        if (request[3] == 0xE0) return {Answer(0xD0, Record0("127.0.0.21", 8, 10001))};
        if (request.size() == 6) ++peer->restarts;
        return {};
    });
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", "127.0.0.22", ""), -1);
    EXPECT_EQ(Writes().size(), 1u);
    ExpectRestarted();
}

TEST_F(LanSetAddressTest, TextsInNeitherFormAreRefusedBeforeAnythingIsSent) {
    for (const char* text : {"", "abc", "192.168.0", "192.168.0.256", "1.2.3.4-", "1.2.3.4-70000", "1.2.3.4x",
                             "[NAME", "[NAME]-x"})
        EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", text, ""), -1) << text;
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", "1.2.3.4", "255.255.255"), -1);
    EXPECT_EQ(LinkLanSetAddress("127.0.0.21:1", nullptr, ""), -1);
    EXPECT_EQ(LinkLanSetAddress(nullptr, "1.2.3.4", ""), -1);
    EXPECT_TRUE(peer->Received().empty());
    EXPECT_TRUE(CTcpSocket::LanIdsInUse().empty());
}

} // namespace
