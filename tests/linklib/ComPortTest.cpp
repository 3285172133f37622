// CComPort over a pseudo-terminal, with the system-call seam playing what a
// pty cannot carry: modem lines, breaks, line errors.
#include "ComPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pty pair; the test plays the far end on the master side.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[64];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
        fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    void CloseMaster() {
        close(master);
        master = -1;
        close(slave);
        slave = -1;
    }
    std::vector<uint8_t> ReadMaster(size_t want, std::chrono::milliseconds limit = 2000ms) {
        std::vector<uint8_t> got;
        const auto end = Clock::now() + limit;
        while (got.size() < want && Clock::now() < end) {
            uint8_t buffer[256];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                got.insert(got.end(), buffer, buffer + n);
            else
                usleep(1000);
        }
        return got;
    }
};

// Real calls on the pty, with modem lines, marked input and a failing
// configuration step under the test's control.
class FakeLineIo : public CSerialIo {
public:
    std::mutex mutex;
    int modemLines = 0;
    bool modemLinesSupported = true;
    std::deque<uint8_t> injected;
    std::vector<std::string> opened;
    std::vector<termios> applied;
    int failSetAttributesWith = 0;

    int Open(const std::string& path) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            opened.push_back(path);
        }
        return CSerialIo::Open(path);
    }
    ssize_t Read(int fd, uint8_t* buffer, size_t count) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!injected.empty()) {
                size_t n = 0;
                while (n < count && !injected.empty())
                    buffer[n++] = injected.front(), injected.pop_front();
                return ssize_t(n);
            }
        }
        return CSerialIo::Read(fd, buffer, count);
    }
    int SetAttributes(int fd, const termios* settings) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            applied.push_back(*settings);
            if (failSetAttributesWith) {
                errno = failSetAttributesWith;
                return -1;
            }
        }
        return CSerialIo::SetAttributes(fd, settings);
    }
    int GetModemLines(int, int* lines) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (!modemLinesSupported) {
            errno = ENOTTY;
            return -1;
        }
        *lines = modemLines;
        return 0;
    }
    int ClearModemLines(int, int) override { return 0; }
    int SetModemLines(int, int) override { return 0; }
    void Inject(std::vector<uint8_t> bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        injected.insert(injected.end(), bytes.begin(), bytes.end());
    }
    void SetLines(int lines) {
        std::lock_guard<std::mutex> lock(mutex);
        modemLines = lines;
    }
};

// Records every hook in order.
class RecordingPort : public CComPort {
public:
    // The port thread calls the hooks below: it must stop before the
    // members they use go away.
    ~RecordingPort() override { Close(); }

    struct Event {
        std::string hook;
        uint32_t value;
    };

    void Wake() { SignalReceiveCheck(); }

    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<uint8_t> Received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    bool Has(const std::string& hook, uint32_t value) {
        for (const auto& e : Events())
            if (e.hook == hook && e.value == value) return true;
        return false;
    }
    bool HasHook(const std::string& hook) {
        for (const auto& e : Events())
            if (e.hook == hook) return true;
        return false;
    }
    template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds limit = 3000ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            lock.unlock();
            const bool ok = pred();
            lock.lock();
            return ok;
        });
    }
    bool WaitForHook(const std::string& hook, uint32_t value) {
        return WaitFor([&] { return Has(hook, value); });
    }

protected:
    void Record(const std::string& hook, uint32_t value) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back({hook, value});
        }
        m_changed.notify_all();
    }
    void OnReceiveByte(uint8_t byte) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(byte);
        }
        Record("byte", byte);
    }
    void OnCtsChange(bool on) override { Record("cts", on); }
    void OnBreak() override { Record("break", 0); }
    void OnLineError(uint32_t mask) override { Record("error", mask); }
    void OnRingChange(bool on) override { Record("ring", on); }
    void OnRlsdChange(bool on) override { Record("rlsd", on); }
    void OnDsrChange(bool on) override { Record("dsr", on); }
    void OnBytesWritten(int count) override { Record("written", uint32_t(count)); }
    void OnTxEmpty() override { Record("txempty", 0); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::vector<uint8_t> m_received;
};

ComOpenParams Params(const std::string& name, char parity = 'N', int stopBits = 1) {
    ComOpenParams p;
    p.portName = name;
    p.baudRate = 19200;
    p.parity = parity;
    p.stopBits = stopBits;
    return p;
}

class ComPortTest : public ::testing::Test {
protected:
    Pty pty;
    std::shared_ptr<FakeLineIo> io = std::make_shared<FakeLineIo>();
    RecordingPort port;

    void OpenAndRun(char parity = 'N', int stopBits = 1) {
        ASSERT_FALSE(pty.path.empty());
        port.SetSerialIo(io);
        ASSERT_TRUE(port.Open(Params(pty.path, parity, stopBits)));
        ASSERT_TRUE(port.StartMonitoring());
    }
};

TEST_F(ComPortTest, SendsQueuedFramesAndReportsThem) {
    OpenAndRun();
    const uint8_t frame[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
    port.QueueWrite(frame, sizeof frame);
    EXPECT_EQ(pty.ReadMaster(5), std::vector<uint8_t>(frame, frame + 5));
    EXPECT_TRUE(port.WaitForHook("written", 5));
    // A text frame (length -1) sends its characters without the terminator.
    port.QueueWrite(reinterpret_cast<const uint8_t*>("AB"), -1);
    EXPECT_EQ(pty.ReadMaster(2), (std::vector<uint8_t>{'A', 'B'}));
}

TEST_F(ComPortTest, FramesQueuedInQuickSuccessionAllGoOut) {
    OpenAndRun();
    std::vector<uint8_t> expected;
    for (uint8_t b = 0; b < 50; ++b) {
        port.QueueWrite(&b, 1);
        expected.push_back(b);
    }
    EXPECT_EQ(pty.ReadMaster(expected.size()), expected);
}

TEST_F(ComPortTest, EmptyFrameSendsNothingAndRaisesTxEmpty) {
    OpenAndRun();
    port.QueueWrite(nullptr, 0);
    EXPECT_TRUE(port.WaitForHook("txempty", 0));
    EXPECT_TRUE(pty.ReadMaster(1, 50ms).empty());
}

TEST_F(ComPortTest, DeliversReceivedBytesInOrderIncludingFF) {
    OpenAndRun();
    const uint8_t bytes[] = {0x02, 0xFF, 0x00, 0x41, 0xFF};
    ASSERT_EQ(write(pty.master, bytes, sizeof bytes), ssize_t(sizeof bytes));
    ASSERT_TRUE(port.WaitFor([&] { return port.Received().size() >= 5; }));
    EXPECT_EQ(port.Received(), std::vector<uint8_t>(bytes, bytes + 5));
    EXPECT_FALSE(port.HasHook("error"));
    EXPECT_FALSE(port.HasHook("break"));
}

TEST_F(ComPortTest, BreakRaisesOnBreakWithoutLineError) {
    OpenAndRun();
    io->Inject({0x41, 0xFF, 0x00, 0x00, 0x42});
    port.Wake();
    ASSERT_TRUE(port.WaitForHook("break", 0));
    ASSERT_TRUE(port.WaitFor([&] { return port.Received().size() >= 2; }));
    EXPECT_EQ(port.Received(), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_FALSE(port.HasHook("error"));
}

TEST_F(ComPortTest, MarkedBytesRaiseLineErrorsAndStillArrive) {
    OpenAndRun('E');
    io->Inject({0xFF, 0x00, 0x55});
    port.Wake();
    EXPECT_TRUE(port.WaitForHook("error", 0x0004)); // parity error
    ASSERT_TRUE(port.WaitFor([&] { return !port.Received().empty(); }));
    EXPECT_EQ(port.Received(), std::vector<uint8_t>{0x55});
}

TEST_F(ComPortTest, LineSettingChangesWhileMarkedBytesArrive) {
    // The port thread decodes the marks by the line format that the caller
    // changes at the same time (a baud rate change after programming).
    OpenAndRun();
    std::vector<uint8_t> sent;
    for (uint8_t b = 0x30; b < 0x50; ++b) {
        io->Inject({0xFF, 0x00, b});
        port.Wake();
        if (b % 2)
            port.SetParityEven();
        else
            port.SetParityNone();
        sent.push_back(b);
    }
    ASSERT_TRUE(port.WaitFor([&] { return port.Received().size() >= sent.size(); }));
    EXPECT_EQ(port.Received(), sent);
}

TEST_F(ComPortTest, ModemLinesAtOpenAndOnChange) {
    io->SetLines(ComPortBits::ModemDsr | ComPortBits::ModemRlsd);
    OpenAndRun();
    const auto atOpen = port.Events();
    ASSERT_GE(atOpen.size(), 2u);
    EXPECT_EQ(atOpen[0].hook, "rlsd"); // RLSD is raised before DSR
    EXPECT_EQ(atOpen[1].hook, "dsr");
    io->SetLines(ComPortBits::ModemDsr | ComPortBits::ModemRlsd | ComPortBits::ModemCts);
    EXPECT_TRUE(port.WaitForHook("cts", 1));
    io->SetLines(ComPortBits::ModemCts | ComPortBits::ModemRing);
    EXPECT_TRUE(port.WaitForHook("ring", 1));
    EXPECT_TRUE(port.WaitForHook("dsr", 0));
    EXPECT_TRUE(port.WaitForHook("rlsd", 0));
}

TEST_F(ComPortTest, AppliesTheLineFormatToTheTermios) {
    OpenAndRun('E', 1);
    ASSERT_FALSE(io->applied.empty());
    const termios& t = io->applied.front();
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

    io->applied.clear();
    EXPECT_TRUE(port.SetStopBits(2));
    EXPECT_TRUE(io->applied.back().c_cflag & CSTOPB);
    io->applied.clear();
    port.SetParityOdd(); // a pty refuses the parity itself; the request is what counts here
    ASSERT_FALSE(io->applied.empty());
    EXPECT_TRUE(io->applied.front().c_cflag & PARENB);
    EXPECT_TRUE(io->applied.front().c_cflag & PARODD);
    EXPECT_TRUE(port.SetBaudRate(4800));
    EXPECT_EQ(cfgetospeed(&io->applied.back()), speed_t(B4800));
    // A rate without a B constant goes through termios2.
    EXPECT_TRUE(port.SetBaudRate(250000));
}

TEST_F(ComPortTest, ParityOnAPtyStillLeavesTheLineRaw) {
    // A pty refuses PARENB; the rest of the settings must still apply.
    port.SetSerialIo(std::make_shared<CSerialIo>());
    ASSERT_TRUE(port.Open(Params(pty.path, 'E')));
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    port.Close();
}

TEST_F(ComPortTest, FailingConfigurationStillOpens) {
    io->failSetAttributesWith = EIO;
    port.SetSerialIo(io);
    EXPECT_TRUE(port.Open(Params(pty.path)));
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortTest, CloseIsHarmlessTwiceAndWhenNeverOpened) {
    RecordingPort never;
    never.Close();
    never.Close();
    OpenAndRun();
    port.Close();
    port.Close();
    EXPECT_EQ(port.Handle(), 0);
    // The port opens again after a close.
    ASSERT_TRUE(port.Open(Params(pty.path)));
    EXPECT_TRUE(port.StartMonitoring());
}

TEST_F(ComPortTest, UnpluggedDeviceRaisesLineErrorOnce) {
    OpenAndRun();
    pty.CloseMaster();
    EXPECT_TRUE(port.WaitForHook("error", ComPortBits::DeviceGone));
    // Writing to a vanished device neither crashes nor hangs.
    const uint8_t frame[] = {1, 2, 3};
    port.QueueWrite(frame, 3);
    port.Close();
    int gone = 0;
    for (const auto& e : port.Events())
        gone += e.hook == "error" && e.value == ComPortBits::DeviceGone;
    EXPECT_EQ(gone, 1);
}

TEST(ComPortOpen, ComNamesOpenTtySAndBridgeSerialsFailForNow) {
    auto io = std::make_shared<FakeLineIo>();
    CComPort port;
    port.SetSerialIo(io);
    port.Open(Params("COM12x")); // whether /dev/ttyS11 opens depends on the machine
    ASSERT_FALSE(io->opened.empty());
    EXPECT_EQ(io->opened.back(), "/dev/ttyS11");
    EXPECT_EQ(port.PortNumber(), 12);
    port.Close();
    CComPort bridge;
    EXPECT_FALSE(bridge.Open(Params("FT123456")));
    EXPECT_TRUE(bridge.IsBridge());
    EXPECT_EQ(bridge.Handle(), 0);
}

TEST(ComPortOpen, ANonTerminalIsRefusedAndNothingIsWritten) {
    char name[] = "/tmp/kvplm-not-a-tty-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "keep me", 7), 7);
    close(fd);
    for (const char* path : {static_cast<const char*>(name), "/dev/null", "/dev/zero"}) {
        CComPort port;
        errno = 0;
        EXPECT_FALSE(port.Open(Params(path))) << path;
        EXPECT_EQ(errno, ENOTTY) << path;
        EXPECT_FALSE(port.IsOpen()) << path;
        port.QueueWrite(reinterpret_cast<const uint8_t*>("\x02\x01\xF0\x00\xF1"), 5);
    }
    char content[16] = {};
    const int again = open(name, O_RDONLY);
    ASSERT_GE(again, 0);
    EXPECT_EQ(read(again, content, sizeof content), 7);
    close(again);
    EXPECT_STREQ(content, "keep me");
    unlink(name);
}

// A device whose driver refuses terminal requests with EINVAL rather than
// ENOTTY (the random devices do): it is no serial port either, and nothing
// may be written into it.
class EinvalDeviceIo : public CSerialIo {
public:
    int writes = 0;
    int GetAttributes(int, termios*) override {
        errno = EINVAL;
        return -1;
    }
    ssize_t Write(int fd, const uint8_t* data, size_t count) override {
        ++writes;
        return CSerialIo::Write(fd, data, count);
    }
};

TEST(ComPortOpen, ADeviceThatRefusesTerminalRequestsOtherwiseIsNoSerialPort) {
    auto io = std::make_shared<EinvalDeviceIo>();
    {
        CComPort port;
        port.SetSerialIo(io);
        errno = 0;
        EXPECT_FALSE(port.Open(Params("/dev/null")));
        EXPECT_EQ(errno, ENOTTY);
        EXPECT_FALSE(port.IsOpen());
        port.QueueWrite(reinterpret_cast<const uint8_t*>("\x02\x01\xF0\x00\xF1"), 5);
    }
    EXPECT_EQ(io->writes, 0);
    // The real thing: /dev/urandom answers TCGETS with EINVAL.
    if (access("/dev/urandom", R_OK | W_OK) == 0) {
        CComPort port;
        errno = 0;
        EXPECT_FALSE(port.Open(Params("/dev/urandom")));
        EXPECT_EQ(errno, ENOTTY);
        EXPECT_FALSE(port.IsOpen());
    }
}

// Answers as a terminal for any fd, so that a non-tty gets past the open.
class PretendTerminalIo : public CSerialIo {
public:
    int GetAttributes(int, termios* settings) override {
        *settings = termios{};
        return 0;
    }
};

TEST(ComPortOpen, InputThatReadsAsEndOfFileCountsAsGone) {
    // Always readable and always empty: the port must stop watching it
    // rather than spin.
    RecordingPort port;
    port.SetSerialIo(std::make_shared<PretendTerminalIo>());
    ASSERT_TRUE(port.Open(Params("/dev/null")));
    ASSERT_TRUE(port.StartMonitoring());
    EXPECT_TRUE(port.WaitForHook("error", ComPortBits::DeviceGone));
    port.Close();
}

TEST(ComPortOpen, ADeviceThatNeverStopsSendingStillCloses) {
    // /dev/zero reads full buffers for ever: the port thread must still see
    // its shutdown, and what it keeps for an owner stays bounded.
    class Owner : public CComPortOwner {
    public:
        void OnPortMessage(unsigned, uintptr_t, int) override {}
    } owner;
    CComPort port;
    port.SetSerialIo(std::make_shared<PretendTerminalIo>());
    ComOpenParams params = Params("/dev/zero");
    params.owner = &owner;
    ASSERT_TRUE(port.Open(params));
    ASSERT_TRUE(port.StartMonitoring());
    auto closed = std::async(std::launch::async, [&] { port.Close(); });
    if (closed.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "Close did not return";
        std::_Exit(1); // the port thread cannot be stopped: end here rather than hang
    }
}

TEST(ComPortOpen, TheOpenPortIsExclusive) {
    Pty pty;
    CComPort first, second;
    ASSERT_TRUE(first.Open(Params(pty.path)));
    EXPECT_FALSE(second.Open(Params(pty.path)));
    first.Close();
    EXPECT_TRUE(second.Open(Params(pty.path)));
}

} // namespace
