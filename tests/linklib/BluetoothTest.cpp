// The Bluetooth transport against an adapter module the test plays on the
// master side of a pty (and, for the USB route, through a fake bridge
// layer whose handle is that pty).
#include "BluetoothLink.h"
#include "DebugLog.h"
#include "LinkApi.h"
#include "SimReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes Packet(uint8_t type, uint8_t opcode, const Bytes& payload) {
    Bytes p{0x02, type, opcode, uint8_t(payload.size() & 0xFF), uint8_t(payload.size() >> 8)};
    p.push_back(uint8_t(p[1] + p[2] + p[3] + p[4]));
    p.insert(p.end(), payload.begin(), payload.end());
    p.push_back(0x03);
    return p;
}

struct Remote {
    Bytes address;
    uint32_t cls = CBluetoothLink::ReaderClass;
    std::string name = "Reader";
    int announcedLength = -1; // -1: the name's own length
};

// The adapter module: answers requests as the module does, with switches
// for the faults. The remote reader behind it is a simulated reader.
class ModulePeer {
public:
    ModulePeer() {
        char name[64];
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) return;
        m_path = name;
    }
    ~ModulePeer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        close(m_master);
        close(m_slave);
    }
    // The module starts answering once the host is given its tty, so the
    // settings below are made before its thread reads them.
    const std::string& Path() {
        Start();
        return m_path;
    }
    int Slave() {
        Start();
        return m_slave;
    }

    // Settings (before Path or Slave).
    std::vector<Remote> remotes;
    uint8_t refuseLink = 0;  // non-zero: link confirm with this status
    bool emptyNames = false; // every name request answered without a name
    int confirmDelayMs = 0;  // inquiry confirm this late
    bool burst = false;      // the inquiry's devices reported all at once

    void Inject(const Bytes& bytes) {
        ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Every request the host sent, whole.
    std::vector<Bytes> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int Count(uint8_t opcode) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return CountLocked(opcode);
    }
    // Waits (bounded) until the host has sent count requests of opcode.
    bool WaitFor(uint8_t opcode, int count, int ms = 3000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                                  [&] { return CountLocked(opcode) >= count; });
    }

private:
    int CountLocked(uint8_t opcode) const {
        int n = 0;
        for (const Bytes& r : m_requests)
            n += r[2] == opcode;
        return n;
    }
    void Start() {
        if (!m_thread.joinable() && m_master >= 0) m_thread = std::thread([this] { Run(); });
    }
    void Send(uint8_t type, uint8_t opcode, const Bytes& payload) {
        const Bytes p = Packet(type, opcode, payload);
        (void)!write(m_master, p.data(), p.size());
    }
    void Run() {
        Bytes in;
        size_t nextDevice = 0;
        bool inquiring = false;
        Clock::time_point confirmAt{};
        while (!m_stop) {
            pollfd fd{m_master, POLLIN, 0};
            if (poll(&fd, 1, 2) > 0 && (fd.revents & POLLIN)) {
                uint8_t buffer[512];
                const ssize_t n = read(m_master, buffer, sizeof buffer);
                if (n > 0) in.insert(in.end(), buffer, buffer + n);
            }
            while (in.size() >= 7) {
                if (in[0] != 0x02) {
                    in.erase(in.begin());
                    continue;
                }
                const size_t length = in[3] | (in[4] << 8);
                if (in.size() < length + 7) break;
                const Bytes request(in.begin(), in.begin() + long(length + 7));
                in.erase(in.begin(), in.begin() + long(length + 7));
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                }
                m_changed.notify_all();
                Answer(request, inquiring, nextDevice, confirmAt);
            }
            // The inquiry reports one device per round, so a 0x26 can end it.
            if (inquiring) {
                const auto reportNext = [&] {
                    const Remote& r = remotes[nextDevice++];
                    Bytes found = r.address;
                    found.push_back(uint8_t(r.cls));
                    found.push_back(uint8_t(r.cls >> 8));
                    found.push_back(uint8_t(r.cls >> 16));
                    found.insert(found.end(), {1, 0, 0, 0x12, 0x34});
                    Send(0x69, 0x01, found);
                };
                // With burst every device of the inquiry at once, before a 0x26 can end it.
                while (burst && nextDevice + 1 < remotes.size())
                    reportNext();
                if (nextDevice < remotes.size()) {
                    reportNext();
                } else if (Clock::now() >= confirmAt) {
                    inquiring = false;
                    Send(0x43, 0x00, {0});
                }
            }
            for (SimOutput& out : m_reader.TakeOutput()) {
                Bytes data{0x02, uint8_t(out.bytes.size()), uint8_t(out.bytes.size() >> 8)};
                data.insert(data.end(), out.bytes.begin(), out.bytes.end());
                Send(0x69, 0x10, data);
            }
        }
    }
    void Answer(const Bytes& r, bool& inquiring, size_t& nextDevice, Clock::time_point& confirmAt) {
        const Bytes payload(r.begin() + 6, r.end() - 1);
        switch (r[2]) {
        case 0x00:
            inquiring = true;
            nextDevice = 0;
            confirmAt = Clock::now() + std::chrono::milliseconds(confirmDelayMs);
            break;
        case 0x26:
            if (inquiring) nextDevice = remotes.size();
            Send(0x69, 0x25, {0});
            break;
        case 0x02: {
            Bytes reply{0};
            reply.insert(reply.end(), payload.begin(), payload.end());
            const Remote* remote = nullptr;
            for (const Remote& x : remotes)
                if (x.address == payload) remote = &x;
            const std::string name = remote && !emptyNames ? remote->name : "";
            reply.push_back(
                uint8_t(remote && remote->announcedLength >= 0 ? remote->announcedLength : name.size()));
            reply.insert(reply.end(), name.begin(), name.end());
            Send(0x43, 0x02, reply);
            break;
        }
        case 0x0A: {
            Send(0x43, 0x0A, {refuseLink, 0x02});
            if (refuseLink) break;
            Bytes up{0};
            up.insert(up.end(), payload.begin() + 1, payload.begin() + 7);
            up.push_back(payload[7]);
            up.push_back(0x02);
            Send(0x69, 0x0B, up);
            break;
        }
        case 0x0F:
            if (payload.size() >= 3) m_reader.Feed(Bytes(payload.begin() + 3, payload.end()), Clock::now());
            break;
        case 0x0D:
            Send(0x69, 0x51, {0x02, 0x00});
            break;
        default:
            break;
        }
    }

    int m_master = -1, m_slave = -1;
    std::string m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Bytes> m_requests;
    CSimReader m_reader;
};

Remote Reader(uint8_t last, const std::string& name = "Reader") {
    Remote r;
    r.address = {0x11, 0x22, 0x33, 0x44, 0x55, last};
    r.name = name;
    return r;
}

CBluetoothLink::Timing Quick() {
    CBluetoothLink::Timing t;
    t.inquiry = 2000;
    t.link = 1000;
    t.backOff = 500;
    t.afterInquiry = 10;
    t.release = 1000;
    return t;
}

// The serial seam with the line settings and breaks recorded.
class RecordingIo : public CSerialIo {
public:
    std::vector<bool> breaks;
    speed_t speed = 0;
    int SetBreak(int, bool on) override {
        breaks.push_back(on);
        return 0;
    }
    int SetAttributes(int fd, const termios* settings) override {
        speed = cfgetospeed(settings);
        return CSerialIo::SetAttributes(fd, settings);
    }
};

const Bytes readerAddress{0x11, 0x22, 0x33, 0x44, 0x55, 0x01};

} // namespace

TEST(BluetoothLink, ComRouteOpensAt9600WithABreakAndSendsTheExactPackets) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    auto io = std::make_shared<RecordingIo>();
    CBluetoothLink link;
    link.SetSerialIo(io);
    CBluetoothLink::Timing timing = Quick();
    timing.inquiry = 10000; // inquiry length 6 on the wire
    link.SetTiming(timing);
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    EXPECT_TRUE(link.IsComRoute());
    EXPECT_EQ(link.IsOpen(), link.LinkId());
    EXPECT_GT(link.IsOpen(), CBluetoothLink::HandleBase);
    EXPECT_EQ(link.PortName(), peer.Path() + " BT");
    EXPECT_EQ(io->speed, speed_t(B9600));
    EXPECT_EQ(io->breaks, (std::vector<bool>{true, false}));

    const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(link.Send(data, 3));
    EXPECT_TRUE(link.IsLinkUp());
    ASSERT_TRUE(peer.WaitFor(0x0F, 1));
    const std::vector<Bytes> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0], (Bytes{0x02, 0x52, 0x00, 0x03, 0x00, 0x55, 0x06, 0x00, 0x00, 0x03}));
    // The reader found ends the inquiry.
    EXPECT_EQ(requests[1], (Bytes{0x02, 0x52, 0x26, 0x00, 0x00, 0x78, 0x03}));
    EXPECT_EQ(requests[2], Packet(0x52, 0x02, readerAddress));
    Bytes linkPayload{0x02};
    linkPayload.insert(linkPayload.end(), readerAddress.begin(), readerAddress.end());
    linkPayload.push_back(0x02);
    EXPECT_EQ(requests[3], Packet(0x52, 0x0A, linkPayload));
    EXPECT_EQ(requests[4],
              (Bytes{0x02, 0x52, 0x0F, 0x06, 0x00, 0x67, 0x02, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0x03}));

    // Release on close, answered well before the release time.
    const Clock::time_point start = Clock::now();
    link.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(peer.Count(0x0D), 1);
    EXPECT_EQ(peer.Requests().back(), Packet(0x52, 0x0D, {0x02}));
    EXPECT_EQ(link.IsOpen(), 0);
}

TEST(BluetoothLink, NamesThatAreNeitherAdapterNorComDoNotOpen) {
    CBluetoothLink link;
    EXPECT_FALSE(link.Open("Nowhere BT"));
    EXPECT_FALSE(link.Open("/dev/does-not-exist BT"));
    EXPECT_EQ(link.IsOpen(), 0);
}

TEST(BluetoothLink, OtherClassesGiveNoRecordAndSendFailsThenWaitsOutTheBackOff) {
    ModulePeer peer;
    Remote phone = Reader(0x07);
    phone.cls = 0x5A020C;
    peer.remotes = {phone};
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    const uint8_t byte = 0x55;
    EXPECT_FALSE(link.Send(&byte, 1));
    EXPECT_EQ(peer.Count(0x00), 1);
    EXPECT_EQ(peer.Count(0x0A), 0);
    EXPECT_EQ(peer.Count(0x0F), 0);

    // Within 500 ms no new attempt: the exchange goes on as if the link were
    // up, so the frame goes to the module in its data packet.
    const Clock::time_point failed = Clock::now();
    const bool sent = link.Send(&byte, 1);
    uint8_t buffer[100];
    EXPECT_EQ(link.Receive(buffer, 100), 0);
    if (Clock::now() - failed < std::chrono::milliseconds(450)) {
        EXPECT_TRUE(sent);
        ASSERT_TRUE(peer.WaitFor(0x0F, 1));
        EXPECT_EQ(peer.Requests().back(),
                  (Bytes{0x02, 0x52, 0x0F, 0x04, 0x00, 0x65, 0x02, 0x01, 0x00, 0x55, 0x03}));
        EXPECT_EQ(peer.Count(0x00), 1);
        EXPECT_EQ(peer.Count(0x0A), 0);
    }
    // Then the next exchange tries again.
    while (peer.Count(0x00) < 2 && Clock::now() - failed < std::chrono::seconds(3))
        link.Receive(buffer, 100);
    EXPECT_EQ(peer.Count(0x00), 2);
    EXPECT_GE(Clock::now() - failed, std::chrono::milliseconds(500));
}

TEST(BluetoothLink, InquiryFilterEndsEarlyAndNamesAreCapped) {
    ModulePeer peer;
    Remote other = Reader(0x09);
    other.cls = 0x000104;
    Remote longName = Reader(0x02, std::string(40, 'N'));
    longName.announcedLength = 40;
    peer.remotes = {other, longName, Reader(0x03), Reader(0x04)};
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));

    uint8_t records[CBluetoothLink::MaxDevices * CBluetoothLink::RecordSize];
    // The first reader ends the inquiry: 0x26 at once, one name asked.
    ASSERT_EQ(link.Inquiry(2000, CBluetoothLink::ReaderClass, records, sizeof records), 38);
    EXPECT_EQ(peer.Count(0x26), 1);
    EXPECT_EQ(peer.Count(0x02), 1);
    EXPECT_EQ(Bytes(records, records + 6), longName.address);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(records + 6)), std::string(30, 'N'));
    EXPECT_EQ(records[6 + 30], 0);

    // Without a filter every device, in the order found.
    ASSERT_EQ(link.Inquiry(2000, 0, records, sizeof records), 4 * 38);
    EXPECT_EQ(records[5], 0x09);
    EXPECT_EQ(records[3 * 38 + 5], 0x04);
    EXPECT_STREQ(reinterpret_cast<char*>(records + 3 * 38 + 6), "Reader");
    // Room for two records: two.
    EXPECT_EQ(link.Inquiry(2000, 0, records, 2 * 38 + 10), 2 * 38);
}

TEST(BluetoothLink, TwentyNineDevicesAtMostAndSixAsksForAMissingName) {
    ModulePeer peer;
    for (int i = 0; i < 35; ++i)
        peer.remotes.push_back(Reader(uint8_t(i)));
    peer.emptyNames = true;
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    std::vector<uint8_t> records(40 * 38);
    ASSERT_EQ(link.Inquiry(2000, 0, records.data(), int(records.size())), 29 * 38);
    EXPECT_EQ(link.DeviceCount(), 29);
    EXPECT_EQ(peer.Count(0x02), 29 * 6);
    EXPECT_EQ(records[28 * 38 + 5], 28);
    EXPECT_EQ(records[28 * 38 + 6], 0);
}

TEST(BluetoothLink, SilentModuleEndsTheInquiryAtItsTime) {
    ModulePeer peer;
    peer.confirmDelayMs = 60000;
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    uint8_t records[38];
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(link.Inquiry(300, 0, records, sizeof records), -1);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
}

TEST(BluetoothLink, RefusedLinkFailsTheSend) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    peer.refuseLink = 4;
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    const uint8_t byte = 0x55;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(link.Send(&byte, 1));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900)); // not the link time-out
    EXPECT_FALSE(link.IsLinkUp());
    EXPECT_EQ(peer.Count(0x0A), 1);
    EXPECT_EQ(peer.Count(0x0F), 0);
}

TEST(BluetoothLink, LinkLostThenRelinkWithoutANewInquiry) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    const uint8_t byte = 0x55;
    ASSERT_TRUE(link.Send(&byte, 1));
    peer.Inject(Packet(0x69, 0x0E, {0x02, 0x08}));
    uint8_t buffer[100];
    const Clock::time_point start = Clock::now();
    while (link.IsLinkUp() && Clock::now() - start < std::chrono::seconds(2))
        link.Receive(buffer, 100);
    ASSERT_FALSE(link.IsLinkUp());
    // The next send makes the link again, to the same reader, without an inquiry.
    EXPECT_TRUE(link.Send(&byte, 1));
    EXPECT_TRUE(link.IsLinkUp());
    ASSERT_TRUE(peer.WaitFor(0x0F, 2));
    EXPECT_EQ(peer.Count(0x0A), 2);
    EXPECT_EQ(peer.Count(0x00), 1);
    EXPECT_EQ(peer.Requests()[3], peer.Requests().rbegin()[1]);
}

TEST(BluetoothLink, ResyncsAfterJunkAndJoinsPacketsSplitAcrossReads) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    ASSERT_TRUE(link.Send(nullptr, 0));
    const Bytes packet = Packet(0x69, 0x10, {0x02, 0x04, 0x00, 'D', 'A', 'T', 'A'});
    Bytes junk{0x55, 0x03, 0xFF, 0x00, 0x7E};
    peer.Inject(junk);
    peer.Inject(Bytes(packet.begin(), packet.begin() + 4));
    uint8_t buffer[100];
    EXPECT_EQ(link.Receive(buffer, 100), 0); // incomplete: nothing, and no wait
    peer.Inject(Bytes(packet.begin() + 4, packet.end()));
    std::string got;
    const Clock::time_point start = Clock::now();
    while (got.size() < 4 && Clock::now() - start < std::chrono::seconds(2)) {
        const int n = link.Receive(buffer, 2);
        got.append(reinterpret_cast<char*>(buffer), size_t(n));
    }
    EXPECT_EQ(got, "DATA");
}

TEST(BluetoothLink, NeverStoresBeyondItsBuffers) {
    std::vector<std::string> log;
    static std::vector<std::string>* sink;
    sink = &log;
    DebugLog::SetSink([](const std::string& line) { sink->push_back(line); });

    CBluetoothLink link;
    // A packet announcing 60000 bytes loses its 0x02; the packet behind it
    // still arrives.
    Bytes bytes = Packet(0x69, 0x10, {});
    bytes[3] = 0x60;
    bytes[4] = 0xEA;
    const Bytes good = Packet(0x69, 0x10, {0x02, 0x02, 0x00, 'O', 'K'});
    bytes.insert(bytes.end(), good.begin(), good.end());
    link.FeedForTest(bytes.data(), int(bytes.size()));
    while (link.ProcessPacket()) {
    }
    EXPECT_EQ(link.DataCount(), 2);
    EXPECT_EQ(link.AssemblyCount(), 0);

    // 600 data bytes fit; 600 more do not and are dropped whole.
    Bytes big{0x02, 0x58, 0x02};
    big.resize(603, 'x');
    const Bytes bigPacket = Packet(0x69, 0x10, big);
    link.FeedForTest(bigPacket.data(), int(bigPacket.size()));
    EXPECT_TRUE(link.ProcessPacket());
    EXPECT_EQ(link.DataCount(), 602);
    link.FeedForTest(bigPacket.data(), int(bigPacket.size()));
    EXPECT_TRUE(link.ProcessPacket());
    EXPECT_EQ(link.DataCount(), 602);
    // A length above the payload takes only the payload.
    const Bytes lying = Packet(0x69, 0x10, {0x02, 0xFF, 0x00, 'z'});
    link.FeedForTest(lying.data(), int(lying.size()));
    EXPECT_TRUE(link.ProcessPacket());
    EXPECT_EQ(link.DataCount(), 603);
    // The assembly buffer takes no more than 1000 bytes.
    Bytes flood(1500, 0x02);
    EXPECT_EQ(link.FeedForTest(flood.data(), int(flood.size())), 1000);
    DebugLog::SetSink(nullptr);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("60000"), std::string::npos);
    EXPECT_NE(log[1].find("600 data bytes dropped"), std::string::npos);
}

TEST(BluetoothLink, AStartThatStaysIncompleteIsGivenUp) {
    CBluetoothLink link;
    CBluetoothLink::Timing timing = Quick();
    timing.incomplete = 50;
    link.SetTiming(timing);
    // A stray 0x02 whose length (896) would swallow the packets behind it.
    Bytes bytes{0x02, 0x52, 0x00, 0x80, 0x03, 0xD5};
    const Bytes good = Packet(0x69, 0x10, {0x02, 0x02, 0x00, 'O', 'K'});
    bytes.insert(bytes.end(), good.begin(), good.end());
    link.FeedForTest(bytes.data(), int(bytes.size()));
    EXPECT_FALSE(link.ProcessPacket());
    const Clock::time_point bound = Clock::now() + std::chrono::seconds(2);
    while (link.DataCount() == 0 && Clock::now() < bound)
        link.ProcessPacket();
    EXPECT_EQ(link.DataCount(), 2);
    EXPECT_EQ(link.AssemblyCount(), 0);
}

TEST(BluetoothLink, AFrameOver442BytesIsRefusedWithNothingSent) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    const Bytes frame(443, 0x11);
    EXPECT_FALSE(link.Send(frame.data(), frame.size()));
    EXPECT_EQ(peer.Requests().size(), 0u);
    ASSERT_TRUE(link.Send(frame.data(), 442));
    ASSERT_TRUE(peer.WaitFor(0x0F, 1));
    EXPECT_EQ(peer.Requests().back().size(), 442u + 10);
}

// ---- the USB route through a fake bridge layer ----

namespace {

struct FakeUsb {
    std::vector<std::string> calls;
    std::vector<std::string> products;
    std::string failing;
    int fd = -1;
} fakeUsb;

SiUsb::Status Note(const std::string& call) {
    fakeUsb.calls.push_back(call);
    return call == fakeUsb.failing ? SiUsb::InvalidParameter : SiUsb::Success;
}

SiUsb::Status FakeGetNumDevices(uint32_t* count) {
    *count = uint32_t(fakeUsb.products.size());
    return SiUsb::Success;
}
SiUsb::Status FakeGetProductString(uint32_t index, char* buffer, uint32_t options) {
    if (index >= fakeUsb.products.size() || options != SiUsb::ReturnDescription) return SiUsb::DeviceNotFound;
    std::snprintf(buffer, SiUsb::MaxDeviceString, "%s", fakeUsb.products[index].c_str());
    return SiUsb::Success;
}
SiUsb::Status FakeOpen(uint32_t index, SiUsb::Handle* handle) {
    const SiUsb::Status s = Note("Open " + std::to_string(index));
    if (s == SiUsb::Success) *handle = fakeUsb.fd;
    return s;
}
SiUsb::Status FakeClose(SiUsb::Handle) {
    return Note("Close");
}
SiUsb::Status FakeRead(SiUsb::Handle h, void* buffer, uint32_t count, uint32_t* done, void*) {
    const ssize_t n = read(int(h), buffer, count);
    *done = n > 0 ? uint32_t(n) : 0;
    return SiUsb::Success;
}
SiUsb::Status FakeWrite(SiUsb::Handle h, const void* data, uint32_t count, uint32_t* done, void*) {
    const ssize_t n = write(int(h), data, count);
    *done = n > 0 ? uint32_t(n) : 0;
    return SiUsb::Success;
}
SiUsb::Status FakeFlush(SiUsb::Handle, uint8_t tx, uint8_t rx) {
    return Note("Flush " + std::to_string(tx) + std::to_string(rx));
}
SiUsb::Status FakeTimeouts(uint32_t r, uint32_t w) {
    return Note("Timeouts " + std::to_string(r) + " " + std::to_string(w));
}
SiUsb::Status FakeCheckRx(SiUsb::Handle h, uint32_t* bytes, uint32_t* status) {
    pollfd p{int(h), POLLIN, 0};
    *bytes = poll(&p, 1, 0) > 0 ? 64 : 0;
    *status = *bytes ? SiUsb::RxReady : SiUsb::RxEmpty;
    return SiUsb::Success;
}
SiUsb::Status FakeBaud(SiUsb::Handle, uint32_t baud) {
    return Note("Baud " + std::to_string(baud));
}
SiUsb::Status FakeLine(SiUsb::Handle, uint16_t line) {
    return Note("Line " + std::to_string(line));
}
SiUsb::Status FakeFlow(SiUsb::Handle, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e, int f) {
    return Note("Flow " + std::to_string(a) + std::to_string(b) + std::to_string(c) + std::to_string(d) +
                std::to_string(e) + std::to_string(f));
}
SiUsb::Status FakeBreak(SiUsb::Handle, uint16_t state) {
    return Note("Break " + std::to_string(state));
}

CSiUsbLibrary::AnyFunction FakeLookup(const char* name) {
    using F = CSiUsbLibrary::AnyFunction;
    const std::string n = name;
    if (n == "SI_GetNumDevices") return F(&FakeGetNumDevices);
    if (n == "SI_GetProductString") return F(&FakeGetProductString);
    if (n == "SI_Open") return F(&FakeOpen);
    if (n == "SI_Close") return F(&FakeClose);
    if (n == "SI_Read") return F(&FakeRead);
    if (n == "SI_Write") return F(&FakeWrite);
    if (n == "SI_FlushBuffers") return F(&FakeFlush);
    if (n == "SI_SetTimeouts") return F(&FakeTimeouts);
    if (n == "SI_CheckRXQueue") return F(&FakeCheckRx);
    if (n == "SI_SetBaudRate") return F(&FakeBaud);
    if (n == "SI_SetLineControl") return F(&FakeLine);
    if (n == "SI_SetFlowControl") return F(&FakeFlow);
    if (n == "SI_SetBreak") return F(&FakeBreak);
    return SiUsbLayer::Lookup(name);
}
CSiUsbLibrary::Lookup LoadFake(const char*) {
    return &FakeLookup;
}

struct FakeUsbScope {
    explicit FakeUsbScope(int fd) {
        fakeUsb = FakeUsb{};
        fakeUsb.fd = fd;
        fakeUsb.products = {"Other Bridge", "BT Adapter"};
        CSiUsbLibrary::SetModuleLoader(&LoadFake);
    }
    ~FakeUsbScope() { CSiUsbLibrary::SetModuleLoader(nullptr); }
};

} // namespace

TEST(BluetoothUsbRoute, OpensTheAdapterByProductStringInAnyCaseInOrder) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    FakeUsbScope scope(peer.Slave());
    {
        CBluetoothLink link;
        link.SetTiming(Quick());
        ASSERT_TRUE(link.Open("bt ADAPTER BT"));
        EXPECT_FALSE(link.IsComRoute());
        EXPECT_EQ(link.IsOpen(), CBluetoothLink::HandleBase + peer.Slave());
        EXPECT_EQ(fakeUsb.calls, (std::vector<std::string>{"Timeouts 1000 1000", "Open 1", "Baud 921600",
                                                           "Line 2048", "Flow 120000", "Flush 11",
                                                           "Flow 121000", "Break 1", "Break 0", "Flush 01"}));
        ASSERT_TRUE(peer.WaitFor(0x26, 1));
        EXPECT_TRUE(link.SetBaudRate(115200));
        EXPECT_EQ(fakeUsb.calls.back(), "Baud 115200");
        const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
        EXPECT_TRUE(link.Send(data, 3));
        fakeUsb.calls.clear();
    }
    // Close released the link and closed the device.
    EXPECT_EQ(peer.Count(0x0D), 1);
    EXPECT_EQ(fakeUsb.calls.back(), "Close");
}

TEST(BluetoothUsbRoute, AFailingCallClosesTheDevice) {
    ModulePeer peer;
    for (const char* failing : {"Flow 121000", "Baud 921600", "Break 0"}) {
        FakeUsbScope scope(peer.Slave());
        fakeUsb.failing = failing;
        CBluetoothLink link;
        EXPECT_FALSE(link.Open("BT Adapter")) << failing;
        EXPECT_EQ(link.IsOpen(), 0);
        EXPECT_EQ(fakeUsb.calls.back(), "Close") << failing;
    }
    // A failing open leaves nothing to close.
    FakeUsbScope scope(peer.Slave());
    fakeUsb.failing = "Open 1";
    CBluetoothLink link;
    EXPECT_FALSE(link.Open("BT Adapter"));
    EXPECT_EQ(fakeUsb.calls.back(), "Open 1");
    EXPECT_EQ(peer.Count(0x26), 0);
}

// ---- through the C API ----

TEST(BluetoothLinkApi, OpensWithoutProbeAndReadsTheDeviceInfo) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    const int id = LinkOpen((peer.Path() + " BT").c_str(), 19200, 0, 2000);
    ASSERT_GT(id, CBluetoothLink::HandleBase); // never a network session's small id
    EXPECT_EQ(peer.Requests().size(), 0u);     // no probe, no link yet
    unsigned char type[16];
    char name[64];
    EXPECT_EQ(LinkGetDeviceInfo(id, reinterpret_cast<char*>(type), sizeof type, name, sizeof name), 4);
    EXPECT_EQ(LinkGetFraming(id), 0);
    EXPECT_EQ(peer.Count(0x0A), 1);
    EXPECT_EQ(LinkClose(id), 0);
    EXPECT_EQ(peer.Count(0x0D), 1);
    EXPECT_EQ(LinkOpen((peer.Path() + " BTW").c_str(), 19200, 0, 2000), -1);
    EXPECT_EQ(LinkOpen("Nowhere BT", 19200, 0, 2000), -1);
}

TEST(BluetoothLinkApi, ScanListsReadersWithAddressAndName) {
    ModulePeer peer;
    Remote other = Reader(0x09, "Phone");
    other.cls = 0x5A020C;
    Remote bad = Reader(0xAB, std::string("R\x01x", 3));
    peer.remotes = {other, Reader(0x01, "Reader One"), bad};
    char buffer[256];
    // The filter ends the inquiry at the first reader.
    ASSERT_EQ(LinkBluetoothScan((peer.Path() + " BT").c_str(), buffer, sizeof buffer), 30);
    EXPECT_EQ(std::string(buffer, 30), std::string("11:22:33:44:55:01 Reader One\0\0", 30));
    const int all = LinkBluetoothScanAll(peer.Path().c_str(), buffer, sizeof buffer);
    ASSERT_GT(all, 0);
    std::vector<std::string> entries;
    for (const char* at = buffer; *at; at += std::strlen(at) + 1)
        entries.push_back(at);
    EXPECT_EQ(entries, (std::vector<std::string>{"11:22:33:44:55:09 Phone", "11:22:33:44:55:01 Reader One",
                                                 "11:22:33:44:55:AB R?x"}));
    EXPECT_EQ(LinkBluetoothScan("Nowhere", buffer, sizeof buffer), -1);
    EXPECT_EQ(LinkBluetoothScan(nullptr, buffer, sizeof buffer), -1);
}

TEST(BluetoothLinkApi, ReadersReportedBeforeTheEarlyEndTookEffectAreNotListed) {
    ModulePeer peer;
    peer.burst = true;
    peer.remotes = {Reader(0x01, "Reader One"), Reader(0x02, "Reader Two"), Reader(0x03, "Reader Three")};
    char buffer[256];
    ASSERT_EQ(LinkBluetoothScan((peer.Path() + " BT").c_str(), buffer, sizeof buffer), 30);
    EXPECT_EQ(std::string(buffer, 30), std::string("11:22:33:44:55:01 Reader One\0\0", 30));
    EXPECT_EQ(peer.Count(0x26), 1); // one early end
}

TEST(BluetoothLink, WaitsRunTheProgramsEventPump) {
    ModulePeer peer;
    peer.remotes = {Reader(0x01)};
    peer.confirmDelayMs = 150;
    static std::atomic<int> pumped{0};
    LinkUiHooks hooks{};
    hooks.pumpEvents = [](void*) { ++pumped; };
    LinkSetUiHooks(&hooks);
    CBluetoothLink link;
    link.SetTiming(Quick());
    ASSERT_TRUE(link.Open(peer.Path() + " BT"));
    uint8_t records[38];
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(link.Inquiry(2000, 0, records, sizeof records), 38);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    LinkSetUiHooks(nullptr);
    // The wait lasted at least the confirm's 150 ms; a pump at least every
    // 10 ms of it, with room for a loaded machine's scheduling.
    EXPECT_GE(elapsed, 150);
    EXPECT_GE(pumped.load(), 8);
}
