// The Link API through the shared library, against the simulated reader on a
// pseudo-terminal: the bytes on the wire, the results and the status codes.
#include "LinkApi.h"
#include "PtySimulator.h"
#include "SimReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Bytes = Frame::Bytes;

Bytes H(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values)
        bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

// A reader played frame by frame on the master side of a pty, for replies
// the simulated reader never gives: each whole request (BCC framing) is
// answered with what the test's function returns.
class CraftedReader {
public:
    using Answer = std::function<Bytes(size_t index, const Bytes& request)>;

    explicit CraftedReader(Answer answer) : m_answer(std::move(answer)) {
        char name[64];
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) return;
        path = name;
        m_thread = std::thread([this] { Run(); });
    }
    ~CraftedReader() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_master >= 0) close(m_master);
        if (m_slave >= 0) close(m_slave);
    }
    size_t RequestCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

    std::string path;

private:
    void Run() {
        Bytes pending;
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            uint8_t buffer[256];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0) continue;
            pending.insert(pending.end(), buffer, buffer + n);
            while (const size_t length = Frame::CompleteLength(Frame::Bcc, pending.data(), pending.size())) {
                const Bytes request(pending.begin(), pending.begin() + long(length));
                pending.erase(pending.begin(), pending.begin() + long(length));
                size_t index;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    index = m_count++;
                }
                const Bytes reply = m_answer(index, request);
                if (!reply.empty()) (void)!write(m_master, reply.data(), reply.size());
            }
        }
    }

    Answer m_answer;
    int m_master = -1, m_slave = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    size_t m_count = 0;
};

// The line settings of a tty as its owner left them.
termios LineOf(const std::string& path) {
    termios settings{};
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        tcgetattr(fd, &settings);
        close(fd);
    }
    return settings;
}

class LinkApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const std::string dir = [] {
            char pattern[] = "/tmp/kvplm-linkapi-XXXXXX";
            const char* made = mkdtemp(pattern);
            return std::string(made ? made : "/tmp");
        }();
        setenv("KVPLM_SIM_DIR", dir.c_str(), 1);
    }

    void TearDown() override {
        if (id > 0) LinkClose(id);
        if (sim) sim->Stop();
    }

    // Starts a simulated reader; line time off unless a test wants it.
    void StartReader(CSimReader::Options options = {}, bool lineTime = false) {
        reader = std::make_unique<CSimReader>(options);
        CPtySimulator::Options simOptions;
        simOptions.lineTime = lineTime;
        simOptions.announce = false;
        sim = std::make_unique<CPtySimulator>(*reader, simOptions);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        path = sim->DevicePath();
    }

    int Open(const std::string& suffix = "", int timeout = 300, int baud = 19200, int format = 0) {
        id = LinkOpen((path + suffix).c_str(), baud, format, timeout);
        return id;
    }

    Bytes LastRequest() const {
        const auto requests = reader->Requests();
        return requests.empty() ? Bytes{} : requests.back().raw;
    }
    size_t RequestCount() const { return reader->GetCounters().requests; }

    std::unique_ptr<CSimReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    std::string path;
    int id = 0;
};

TEST_F(LinkApiTest, OpenProbesInBccFramingAndIdentifies) {
    CSimReader::Options options;
    options.minorVersion = 1;
    StartReader(options);
    ASSERT_GT(Open(), 0);
    const auto requests = reader->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw, H({0x02, 0x01, 0xF0, 0x00, 0xF1}));
    EXPECT_EQ(LinkGetFraming(id), 0);
    EXPECT_EQ(LinkGetVersion(), 104);
    EXPECT_EQ(LinkIsUsb(id), 0);
    EXPECT_EQ(LinkGetLastError(id), 0);

    char type[4] = {};
    char name[32] = "untouched";
    EXPECT_EQ(LinkGetDeviceInfo(id, type, sizeof type, name, sizeof name), 4);
    EXPECT_EQ(std::string(type, 4), "3021");
    EXPECT_STREQ(name, "KV-PLM41");
    // A name buffer without room for the name and its NUL stays as it is.
    char small[8] = "keep";
    EXPECT_EQ(LinkGetDeviceInfo(id, type, sizeof type, small, sizeof small), 4);
    EXPECT_STREQ(small, "keep");
    // A reply buffer too small: status 5.
    EXPECT_EQ(LinkGetDeviceInfo(id, type, 3, nullptr, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 5);
}

TEST_F(LinkApiTest, UnknownDeviceTypeGivesAnEmptyName) {
    CSimReader::Options options;
    options.deviceType = 0x3A0;
    StartReader(options);
    ASSERT_GT(Open(), 0);
    char type[4];
    char name[32] = "x";
    EXPECT_EQ(LinkGetDeviceInfo(id, type, sizeof type, name, sizeof name), 4);
    EXPECT_STREQ(name, "");
}

TEST_F(LinkApiTest, ProbesAgainInCrcFramingWhenBccGetsNoAnswer) {
    CSimReader::Options options;
    options.framing = CSimReader::FramingMode::CrcOnly;
    StartReader(options);
    ASSERT_GT(Open("", 100), 0);
    const auto requests = reader->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].raw, H({0x01, 0xF0, 0x00, 0x64, 0x00}));
    EXPECT_EQ(LinkGetFraming(id), 1);
    // The unanswered first probe left status 4; the open does not clear it.
    EXPECT_EQ(LinkGetLastError(id), 4);
    // Every later frame uses the CRC framing, with its CRC low byte first.
    EXPECT_EQ(LinkSetState(id, 0), 0);
    const Bytes state = LastRequest();
    ASSERT_EQ(state.size(), 6u);
    EXPECT_EQ(Bytes(state.begin(), state.begin() + 4), H({0x01, 0xF4, 0x01, 0x00}));
    const uint16_t crc = Frame::Crc16(state.data(), 4);
    EXPECT_EQ(state[4], crc & 0xFF);
    EXPECT_EQ(state[5], crc >> 8);
}

TEST_F(LinkApiTest, ProbeRefusedInBccFramingTriesCrcAndKeepsTheStatus) {
    StartReader();
    reader->FaultStatus(0xF0, 0x18);
    ASSERT_GT(Open(), 0);
    EXPECT_EQ(RequestCount(), 2u);
    EXPECT_EQ(LinkGetFraming(id), 1);
    EXPECT_EQ(LinkGetLastError(id), 0x18);
}

TEST_F(LinkApiTest, ProbeAnsweredWithOtherThanFourBytesIsNoReader) {
    // First open: the identification has three characters. That answer is
    // a successful exchange, so no second probe follows, and no reader is
    // found. Second open: four characters; then a two-character
    // identification names no model ("---").
    CraftedReader crafted([](size_t index, const Bytes& request) {
        const char* id = index == 0 ? "302" : index == 1 ? "3021" : "30";
        if (request[2] != 0xF0) return Frame::Build(Frame::Bcc, 1, 0);
        return Frame::Build(Frame::Bcc, 1, 0, Bytes(id, id + std::strlen(id)));
    });
    ASSERT_FALSE(crafted.path.empty());
    EXPECT_EQ(LinkOpen(crafted.path.c_str(), 19200, 0, 100), -11);
    EXPECT_EQ(crafted.RequestCount(), 1u);
    id = LinkOpen(crafted.path.c_str(), 19200, 0, 100);
    ASSERT_GT(id, 0);
    char type[8];
    char name[16] = "x";
    EXPECT_EQ(LinkGetDeviceInfo(id, type, sizeof type, name, sizeof name), 2);
    EXPECT_STREQ(name, "---");
    LinkClose(id);
    id = 0;
}

TEST_F(LinkApiTest, NoReaderGivesMinus11AfterTwoProbesAndClosesThePort) {
    StartReader();
    reader->FaultSilenceAll(true);
    EXPECT_EQ(Open("", 50), -11);
    id = 0;
    EXPECT_EQ(RequestCount(), 2u);
    // The port was closed again: it opens anew once the reader answers.
    reader->FaultSilenceAll(false);
    EXPECT_GT(Open(), 0);
}

TEST_F(LinkApiTest, OpenRefusesBadArguments) {
    StartReader();
    EXPECT_EQ(LinkOpen(path.c_str(), 19200, 0, -1), -2);
    EXPECT_EQ(LinkOpen("/dev/kvplm-no-such-port", 19200, 0, 100), -1);
    EXPECT_EQ(LinkOpen(nullptr, 19200, 0, 100), -1);
    EXPECT_EQ(LinkOpen("COM4 BTW", 19200, 0, 100), -1);
    EXPECT_EQ(RequestCount(), 0u);
}

TEST_F(LinkApiTest, BusAddressFromThePortName) {
    StartReader();
    // A colon at the end names no address: address 1, as without one.
    ASSERT_GT(Open(":"), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x01, 0xF0, 0x00, 0xF1}));
    LinkClose(id);
    // Only the low byte of the address is sent.
    ASSERT_GT(Open(":258"), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x02, 0xF0, 0x00, 0xF2}));
    LinkClose(id);
    ASSERT_GT(Open(":2"), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x02, 0xF0, 0x00, 0xF2}));
    EXPECT_EQ(LinkSetState(id, 0x82), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x02, 0xF4, 0x01, 0x82, 0x02 ^ 0xF4 ^ 0x01 ^ 0x82}));
}

TEST_F(LinkApiTest, StateArgumentIsChecked) {
    StartReader();
    ASSERT_GT(Open(), 0);
    const size_t before = RequestCount();
    EXPECT_EQ(LinkSetState(id, 3), -1);
    EXPECT_EQ(LinkGetLastError(id), 13);
    EXPECT_EQ(LinkSetState(id, 0x83), -1);
    EXPECT_EQ(RequestCount(), before);
    EXPECT_EQ(LinkSetState(id, 0x81), 0);
    EXPECT_EQ(reader->PowerOnMode(), 1);
    EXPECT_EQ(LinkSetState(id, 0), 0);
    EXPECT_EQ(reader->State(), 0);
    // A success leaves the old status in place.
    EXPECT_EQ(LinkGetLastError(id), 13);
}

TEST_F(LinkApiTest, ConfigurationBlocksRoundTripAndLimits) {
    StartReader();
    ASSERT_GT(Open(), 0);
    const size_t before = RequestCount();
    const Bytes big(51, 0x11);
    EXPECT_EQ(WriteParam(id, big.data(), 51), -1);
    EXPECT_EQ(LinkGetLastError(id), 6);
    const Bytes huge(101, 0x22);
    EXPECT_EQ(WritePrefix(id, huge.data(), 101), -1);
    EXPECT_EQ(RequestCount(), before);

    const Bytes prefix = H({0x41, 0x42, 0x0D, 0xFF});
    EXPECT_EQ(WritePrefix(id, prefix.data(), int(prefix.size())), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x01, 0x82, 0x04, 0x41, 0x42, 0x0D, 0xFF,
                                0x01 ^ 0x82 ^ 0x04 ^ 0x41 ^ 0x42 ^ 0x0D ^ 0xFF}));
    unsigned char buffer[64];
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), 4);
    EXPECT_EQ(Bytes(buffer, buffer + 4), prefix);

    struct Block {
        int (*write)(int, const unsigned char*, int);
        int (*read)(int, unsigned char*, int);
        CSimReader::Block block;
    } blocks[] = {{WriteSuffix, ReadSuffix, CSimReader::Block::Suffix},
                  {WriteTermix, ReadTermix, CSimReader::Block::Termix},
                  {WritePostcode, ReadPostcode, CSimReader::Block::Postcode},
                  {WriteModeParam, ReadModeParam, CSimReader::Block::ModeParam},
                  {WriteParam, ReadParam, CSimReader::Block::Param}};
    uint8_t fill = 0x30;
    for (const auto& b : blocks) {
        const Bytes data(4, fill++);
        EXPECT_EQ(b.write(id, data.data(), 4), 0);
        EXPECT_EQ(reader->GetBlock(b.block), data);
        EXPECT_EQ(b.read(id, buffer, sizeof buffer), 4);
        // A reply longer than the buffer: status 5.
        EXPECT_EQ(b.read(id, buffer, 3), -1);
        EXPECT_EQ(LinkGetLastError(id), 5);
    }
}

TEST_F(LinkApiTest, ReaderStatusBecomesTheSessionStatus) {
    StartReader();
    ASSERT_GT(Open(), 0);
    reader->FaultStatus(0x8A, 0x15);
    unsigned char buffer[64];
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), -1);
    EXPECT_EQ(LinkGetLastError(id), 21);
    EXPECT_GT(ReadPrefix(id, buffer, sizeof buffer), 0);
    EXPECT_EQ(LinkGetLastError(id), 21);
    // An unknown command answers with the reader's own status.
    EXPECT_EQ(LinkTransceive(id, 0x77, nullptr, 0, buffer, sizeof buffer), -1);
    EXPECT_EQ(LinkGetLastError(id), 24);
}

TEST_F(LinkApiTest, BadRepliesAreRefused) {
    StartReader();
    ASSERT_GT(Open(), 0);
    unsigned char buffer[64];
    reader->FaultBadCheck();
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), -1);
    EXPECT_EQ(LinkGetLastError(id), 10);
    // A reply longer than announced is taken whole and fails the check.
    reader->FaultExtra(H({0x00, 0x55}));
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), -1);
    EXPECT_EQ(LinkGetLastError(id), 10);
    // Noise before the start byte is dropped.
    reader->FaultNoise(H({0x55, 0xAA, 0x00}));
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), 1);
    // A gap inside the reply shorter than the timeout is waited out.
    reader->FaultGap(3, 100ms);
    EXPECT_EQ(ReadPrefix(id, buffer, sizeof buffer), 1);
}

TEST_F(LinkApiTest, NoReplyTimesOutAndRestoresTheMainWindow) {
    StartReader();
    // Long enough for the answered exchange below on a loaded machine (and
    // under a sanitizer), and for the pump to run many 10 ms steps.
    ASSERT_GT(Open("", 300), 0);
    struct Hooks {
        std::atomic<int> pumps{0}, disables{0}, restores{0}, restoredWith{-5};
    };
    static Hooks counts;
    counts.pumps = counts.disables = counts.restores = 0;
    LinkUiHooks hooks{};
    hooks.pumpEvents = [](void*) { ++counts.pumps; };
    hooks.disableMainWindow = [](void*) {
        ++counts.disables;
        return 1;
    };
    hooks.restoreMainWindow = [](void*, int previous) {
        ++counts.restores;
        counts.restoredWith = previous;
    };
    LinkSetUiHooks(&hooks);

    reader->FaultSilence(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LinkSetState(id, 0), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(LinkGetLastError(id), 4);
    EXPECT_GE(took, 300ms);
    EXPECT_GT(counts.pumps.load(), 5);
    EXPECT_EQ(counts.disables.load(), 1);
    EXPECT_EQ(counts.restores.load(), 1);
    EXPECT_EQ(counts.restoredWith.load(), 1);

    // With keep-window-enabled the wait leaves the window alone.
    EXPECT_EQ(LinkSetKeepWindowEnabled(id, 5), 1);
    EXPECT_EQ(LinkSetState(id, 0), 0);
    EXPECT_EQ(counts.disables.load(), 1);
    LinkSetUiHooks(nullptr);
    EXPECT_EQ(LinkSetKeepWindowEnabled(12345, 1), -1);
}

TEST_F(LinkApiTest, UnknownIdsAnswerTheirFailureValues) {
    StartReader();
    unsigned char buffer[8] = {};
    EXPECT_EQ(LinkGetLastError(4242), 3);
    EXPECT_EQ(LinkClose(4242), -1);
    EXPECT_EQ(LinkIsUsb(4242), -1);
    EXPECT_EQ(LinkSetState(4242, 0), -1);
    EXPECT_EQ(LinkSendRaw(4242, buffer, 1), -1);
    EXPECT_EQ(LinkReceiveRaw(4242, buffer, 8), -1);
    EXPECT_EQ(LinkHidExchange(4242, buffer, 1, buffer, 8), 0);
    EXPECT_EQ(LinkHidSend(4242, buffer, 1), -1);
    EXPECT_EQ(LinkLanReadConfig(4242, 0, buffer, 8), -1);
    EXPECT_EQ(LinkLanCloseConfig(4242, 0), -1);
    // A closed session's id is unknown again.
    ASSERT_GT(Open(), 0);
    const int closed = id;
    EXPECT_EQ(LinkClose(closed), 0);
    id = 0;
    EXPECT_EQ(LinkGetLastError(closed), 3);
    EXPECT_EQ(LinkClose(closed), -1);
}

TEST(LinkOpenHostile, ANonTerminalIsRefusedAndLeftAsItWas) {
    char name[] = "/tmp/kvplm-open-file-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    close(fd);
    errno = 0;
    EXPECT_EQ(LinkOpen(name, 19200, 0, 100), -1);
    EXPECT_EQ(errno, ENOTTY);
    errno = 0;
    EXPECT_EQ(LinkOpen("/dev/zero:1", 19200, 0, 100), -1);
    EXPECT_EQ(errno, ENOTTY);
    errno = 0;
    EXPECT_EQ(LinkOpen("/dev/no-such-kvplm-tty", 19200, 0, 100), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(LinkOpen("COM4 BTW", 19200, 0, 100), -1);
    EXPECT_EQ(errno, EINVAL);
    char content[16] = {};
    const int again = open(name, O_RDONLY);
    ASSERT_GE(again, 0);
    EXPECT_EQ(read(again, content, sizeof content), 10);
    close(again);
    EXPECT_STREQ(content, "0123456789");
    unlink(name);
}

TEST(LinkOpenHostile, ADeviceThatNeverStopsSendingGivesNoAnswerInTime) {
    // Without a start byte and without a valid CRC, nothing it sends is a reply.
    int master, slave;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::thread babbler([&] {
        const std::vector<uint8_t> noise(4096, 0x55);
        while (!stop) {
            pollfd p{master, POLLOUT, 0};
            if (poll(&p, 1, 10) > 0) (void)!write(master, noise.data(), noise.size());
            uint8_t sink[256];
            while (read(master, sink, sizeof sink) > 0) {
            }
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const int id = LinkOpen(name, 19200, 0, 100);
    const auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    babbler.join();
    EXPECT_EQ(id, -11);
    // Two probes of three phases of 100 ms each, with room for a loaded machine.
    EXPECT_LT(took, 10s);
    close(master);
    close(slave);
}

TEST(LinkStatusText, NamesTheLibraryCodesAndLeavesOtherReaderBytes) {
    EXPECT_STREQ(LinkStatusText(0), "no failure");
    EXPECT_STREQ(LinkStatusText(3), "unknown session");
    EXPECT_STREQ(LinkStatusText(4), "reply timeout");
    EXPECT_STREQ(LinkStatusText(14), "the line format cannot be changed on this connection");
    EXPECT_STREQ(LinkStatusText(21), "no valid transponder");
    EXPECT_EQ(LinkStatusText(37), nullptr);
    EXPECT_EQ(LinkStatusText(-1), nullptr);
}

TEST_F(LinkApiTest, TransportsThatCannotOpenAndEmptyLists) {
    // The network functions search and send on the network; their cases
    // (empty lists, names nobody answers to) are in LanTest.cpp, which runs
    // them on loopback only.
    EXPECT_EQ(LinkOpen("4400-1234 HID:1", 19200, 0, 100), -1);
}

TEST_F(LinkApiTest, PayloadOver255IsRefusedBeforeSending) {
    StartReader();
    ASSERT_GT(Open(), 0);
    const size_t before = RequestCount();
    const Bytes payload(256, 0x01);
    unsigned char reply[8];
    EXPECT_EQ(LinkTransceive(id, 0x81, payload.data(), 256, reply, sizeof reply), -1);
    EXPECT_EQ(LinkGetLastError(id), 6);
    EXPECT_EQ(LinkTransceive(id, 0x81, nullptr, 3, reply, sizeof reply), -1);
    EXPECT_EQ(RequestCount(), before);
    // The power-on mode query: 0xF4 without payload answers one byte.
    EXPECT_EQ(LinkTransceive(id, 0xF4, nullptr, 0, reply, sizeof reply), 1);
    EXPECT_EQ(reply[0] & 1, reader->PowerOnMode());
}

TEST_F(LinkApiTest, RawBytesBothWays) {
    StartReader();
    ASSERT_GT(Open(), 0);
    unsigned char buffer[32];
    EXPECT_EQ(LinkReceiveRaw(id, buffer, sizeof buffer), 0);
    reader->SendUnsolicited(H({'1', '2', '3', '\r'}));
    int got = 0;
    for (int i = 0; i < 2000 && got < 4; ++i) {
        const int n = LinkReceiveRaw(id, buffer + got, 4 - got);
        if (n > 0)
            got += n;
        else
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(Bytes(buffer, buffer + got), H({'1', '2', '3', '\r'}));
    const unsigned char request[] = {'?'};
    EXPECT_EQ(LinkSendRaw(id, request, 1), 0);
    EXPECT_EQ(LinkSendCommandByte(id, 2), 0);
    ASSERT_TRUE(reader->CommandByte().has_value());
    EXPECT_EQ(*reader->CommandByte(), 2);
}

TEST_F(LinkApiTest, BaudRateChangeSwitchesReaderAndPort) {
    StartReader({}, true);
    ASSERT_GT(Open(), 0);
    EXPECT_EQ(LinkSetBaudRate(id, 19200, 0), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x01, 0xF2, 0x01, 0x03, 0x01 ^ 0xF2 ^ 0x01 ^ 0x03}));
    EXPECT_EQ(LinkSetBaudRate(id, 9600, 0), 0);
    EXPECT_EQ(reader->Line().baud, 9600u);
    // The reader now ignores anything not sent at 9600: this only answers if
    // the local port followed.
    EXPECT_EQ(LinkSetState(id, 0), 0);
    EXPECT_EQ(LinkSetBaudRate(id, 4800, 3), 0);
    EXPECT_EQ(reader->Line().baud, 4800u);
    EXPECT_EQ(reader->Line().format, 3);
    EXPECT_EQ(LinkSetState(id, 0), 0);
}

TEST_F(LinkApiTest, BaudRateChangeSetsTheLineFormatAndStopsWhenRefused) {
    StartReader();
    ASSERT_GT(Open("", 300, 19200, 3), 0);
    EXPECT_TRUE(LineOf(path).c_cflag & CSTOPB);
    // Refused by the reader: its status, and the port stays as it was.
    reader->FaultStatus(0xF2, 0x18, false);
    EXPECT_EQ(LinkSetBaudRate(id, 9600, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 0x18);
    termios line = LineOf(path);
    EXPECT_EQ(cfgetospeed(&line), speed_t(B19200));
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    EXPECT_EQ(LinkSetState(id, 0), 0);
    // 19200 baud 8N1: payload 0x03, and the port follows.
    EXPECT_EQ(LinkSetBaudRate(id, 19200, 0), 0);
    EXPECT_EQ(LastRequest(), H({0x02, 0x01, 0xF2, 0x01, 0x03, 0x01 ^ 0xF2 ^ 0x01 ^ 0x03}));
    line = LineOf(path);
    EXPECT_EQ(cfgetospeed(&line), speed_t(B19200));
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB));
    EXPECT_EQ(LinkSetState(id, 0), 0);
}

TEST_F(LinkApiTest, TagCommands) {
    CSimReader::Options options;
    options.deviceType = 0x313;
    StartReader(options);
    const Bytes epc = H({0xE2, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09});
    reader->PlaceTag(CSimTransponder(epc));
    ASSERT_GT(Open(), 0);

    unsigned char buffer[200];
    const int n = LinkInventory(id, 0, buffer, 100);
    ASSERT_EQ(n, 15);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(Bytes(buffer + 3, buffer + 15), epc);
    EXPECT_EQ(LastRequest(), H({0x02, 0x01, 0xC0, 0x01, 0x00, 0x01 ^ 0xC0 ^ 0x01}));
    // A reply longer than the buffer is cut to whole 16-byte steps, no status 5.
    EXPECT_EQ(LinkInventory(id, 0, buffer, 14), 0);
    EXPECT_EQ(LinkGetLastError(id), 0);
    const Bytes longEpc(18, 0x5A);
    ASSERT_TRUE(reader->RemoveTag(epc));
    reader->PlaceTag(CSimTransponder(longEpc));
    EXPECT_EQ(LinkInventory(id, 0, buffer, 20), 16);
    EXPECT_EQ(LinkGetLastError(id), 0);
    ASSERT_TRUE(reader->RemoveTag(longEpc));
    reader->PlaceTag(CSimTransponder(epc));

    EXPECT_EQ(LinkSelect(id, epc.data(), int(epc.size())), 0);
    const auto payloadOf = [](const Bytes& frame) { return Bytes(frame.begin() + 4, frame.end() - 1); };
    EXPECT_EQ(LinkReadTag(id, 2, 0, buffer, 4), 4);
    EXPECT_EQ(LastRequest()[2], 0xC3);
    EXPECT_EQ(payloadOf(LastRequest()), H({2, 0, 0, 0, 4}));
    EXPECT_EQ(LinkReadTagAll(id, 1, 0, buffer, 200), 16);
    EXPECT_EQ(payloadOf(LastRequest()), H({1, 0, 0, 0, 0}));

    EXPECT_EQ(LinkReadTag(id, 3, 0x10000, buffer, 4), -1);
    EXPECT_EQ(LinkGetLastError(id), 15);
    EXPECT_EQ(LinkWriteTag(id, 3, -1, buffer, 2), -1);
    EXPECT_EQ(LinkGetLastError(id), 15);

    const Bytes data = H({0x11, 0x22, 0x33, 0x44});
    // Beyond the simulated user memory: refused by the reader, the frame shows the address bytes.
    EXPECT_EQ(LinkWriteTag(id, 3, 0x0102, data.data(), 4), -1);
    EXPECT_EQ(LinkGetLastError(id), 20);
    const Bytes write = LastRequest();
    EXPECT_EQ(Bytes(write.begin() + 2, write.end() - 1),
              H({0xC4, 0x08, 3, 0x02, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44}));

    EXPECT_EQ(LinkWriteTag(id, 3, 2, data.data(), 4), 0);
    const Bytes user = reader->Tags()[0].User();
    EXPECT_EQ(Bytes(user.begin() + 4, user.begin() + 8), data);

    EXPECT_EQ(LinkRfSwitch(id, 0), 0);
    EXPECT_FALSE(reader->Rf());
    EXPECT_EQ(LinkRfSwitch(id, 1), 0);
    EXPECT_EQ(LinkSelect(id, nullptr, 0), 0);
}

TEST_F(LinkApiTest, TagWriteAnsweredWith21CountsWhenTheReadBackMatches) {
    CSimReader::Options options;
    options.deviceType = 0x313;
    StartReader(options);
    reader->PlaceTag(CSimTransponder(H({0x30, 0x00, 0x11, 0x22})));
    ASSERT_GT(Open(), 0);
    ASSERT_EQ(LinkSelect(id, nullptr, 0), 0);
    const Bytes data = H({0xAB, 0xCD});
    // The write took effect but was reported as failed: the read-back decides.
    reader->FaultStatus(0xC4, 0x15, true);
    EXPECT_EQ(LinkWriteTag(id, 3, 0, data.data(), 2), 0);
    EXPECT_EQ(LinkGetLastError(id), 0);
    const Bytes read = LastRequest();
    EXPECT_EQ(Bytes(read.begin() + 2, read.end() - 1), H({0xC3, 0x05, 3, 0, 0, 0, 2}));
    // It did not take effect: status 21 stays.
    reader->FaultStatus(0xC4, 0x15, false);
    const Bytes other = H({0x01, 0x02});
    EXPECT_EQ(LinkWriteTag(id, 3, 0, other.data(), 2), -1);
    EXPECT_EQ(LinkGetLastError(id), 21);
    // The read-back fails too: the status is 21 again, not the read's.
    reader->FaultStatus(0xC4, 0x15, false);
    reader->FaultStatus(0xC3, 0x16);
    EXPECT_EQ(LinkWriteTag(id, 3, 0, other.data(), 2), -1);
    EXPECT_EQ(LinkGetLastError(id), 21);
    // Another failure is passed through without a read-back.
    const size_t before = RequestCount();
    reader->FaultStatus(0xC4, 20, false);
    EXPECT_EQ(LinkWriteTag(id, 3, 0, other.data(), 2), -1);
    EXPECT_EQ(LinkGetLastError(id), 20);
    EXPECT_EQ(RequestCount(), before + 1);
}

TEST_F(LinkApiTest, TraceHookFormatsEveryFrame) {
    StartReader();
    static std::vector<std::string> lines;
    lines.clear();
    LinkSetTraceHook([](int, const char* line) { lines.emplace_back(line); });
    ASSERT_GT(Open(), 0);
    LinkSetTraceHook(nullptr);
    EXPECT_TRUE(lines.empty()); // the probe runs before the hook is installed
    ASSERT_EQ(LinkSetState(id, 0), 0);
    ASSERT_EQ(lines.size(), 2u);
    char expected[64];
    std::snprintf(expected, sizeof expected, ">(%08x) 02 01 f4 01 00 f4 \r\n", unsigned(id));
    EXPECT_EQ(lines[0], expected);
    std::snprintf(expected, sizeof expected, "<(%08x) 02 01 00 00 01 \r\n", unsigned(id));
    EXPECT_EQ(lines[1], expected);
    // A timed-out wait traces what did arrive.
    LinkClose(id);
    LinkSetTraceHook([](int, const char* line) { lines.emplace_back(line); });
    ASSERT_GT(Open("", 100), 0);
    LinkSetTraceHook(nullptr);
    lines.clear();
    reader->FaultGap(3, 400ms);
    EXPECT_EQ(LinkSetState(id, 1), -1);
    EXPECT_EQ(LinkGetLastError(id), 4);
    ASSERT_EQ(lines.size(), 2u);
    std::snprintf(expected, sizeof expected, "<(%08x) 02 01 00 \r\n", unsigned(id));
    EXPECT_EQ(lines[1], expected);
}

TEST_F(LinkApiTest, UnpluggedMidExchangeTimesOutAndTheNextOpenWorks) {
    StartReader();
    ASSERT_GT(Open("", 200), 0);
    reader->FaultSilenceAll(true);
    const size_t before = RequestCount();
    std::thread unplug([&] {
        if (reader->WaitForRequests(before + 1, 5000ms)) sim->Unplug();
    });
    EXPECT_EQ(LinkIsConnected(id), 1);
    EXPECT_EQ(LinkSetState(id, 0), -1);
    unplug.join();
    EXPECT_EQ(LinkGetLastError(id), 4);
    // The port thread sees the hang-up; the session says so.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (LinkIsConnected(id) == 1 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(LinkIsConnected(id), 0);
    EXPECT_EQ(LinkIsConnected(4242), -1);
    // The session still answers calls, and closes cleanly.
    EXPECT_EQ(LinkSetState(id, 0), -1);
    EXPECT_EQ(LinkClose(id), 0);
    id = 0;
    reader->FaultSilenceAll(false);
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    path = sim->DevicePath();
    EXPECT_GT(Open(), 0);
}

} // namespace
