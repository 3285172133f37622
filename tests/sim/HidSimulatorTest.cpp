// The simulated HID reader through the stand-in hidapi library, as a host
// that loads libhidapi-hidraw.so.0 sees it: enumeration, reports both ways,
// the interface channel, faults, and the simulator going away.
#include "HidSimulator.h"
#include "HidApi.h"
#include "HidSimSocket.h"
#include "SimConsole.h"
#include "SimKeyTable.h"
#include "SimProgram.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

namespace {

using SimTest::Bytes;
using SimTest::Hex;
using Kind = CHidSimulator::Event::Kind;

// The stand-in, loaded as a host loads hidapi: by its soname, each function by name.
struct HidApi {
    void* handle = nullptr;
    decltype(&hid_init) init = nullptr;
    decltype(&hid_exit) exit = nullptr;
    decltype(&hid_enumerate) enumerate = nullptr;
    decltype(&hid_free_enumeration) freeEnumeration = nullptr;
    decltype(&hid_open_path) openPath = nullptr;
    decltype(&hid_write) write = nullptr;
    decltype(&hid_read_timeout) readTimeout = nullptr;
    decltype(&hid_close) close = nullptr;
    decltype(&hid_error) error = nullptr;

    static HidApi& Get() {
        static HidApi api = [] {
            HidApi a;
            a.handle = dlopen(STANDIN_DIR "/libhidapi-hidraw.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!a.handle) return a;
            auto bind = [&](auto& entry, const char* name) {
                entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(a.handle, name));
            };
            bind(a.init, "hid_init");
            bind(a.exit, "hid_exit");
            bind(a.enumerate, "hid_enumerate");
            bind(a.freeEnumeration, "hid_free_enumeration");
            bind(a.openPath, "hid_open_path");
            bind(a.write, "hid_write");
            bind(a.readTimeout, "hid_read_timeout");
            bind(a.close, "hid_close");
            bind(a.error, "hid_error");
            return a;
        }();
        return api;
    }
    bool Complete() const {
        return handle && init && exit && enumerate && freeEnumeration && openPath && write && readTimeout &&
               close && error;
    }
};

struct Listed {
    std::string path;
    unsigned short vendor, product, release;
    std::optional<std::wstring> serial;
    std::wstring product_string;
    hid_bus_type bus;
};

std::vector<Listed> Enumerate(unsigned short vendor = 0, unsigned short product = 0) {
    HidApi& api = HidApi::Get();
    std::vector<Listed> out;
    hid_device_info* list = api.enumerate(vendor, product);
    for (hid_device_info* d = list; d; d = d->next)
        out.push_back({d->path, d->vendor_id, d->product_id, d->release_number,
                       d->serial_number ? std::optional<std::wstring>(d->serial_number) : std::nullopt,
                       d->product_string ? d->product_string : L"", d->bus_type});
    api.freeEnumeration(list);
    return out;
}

// A 9-byte output report: data channel, or interface channel with interface set.
Bytes Report(const Bytes& payload, bool interface = false) {
    Bytes r(CHidSimulator::ReportLength, 0);
    r[1] = static_cast<uint8_t>(payload.size() | (interface ? 0x80 : 0));
    std::copy(payload.begin(), payload.end(), r.begin() + 2);
    return r;
}

class Device {
public:
    explicit Device(const std::string& path) : api(HidApi::Get()), dev(api.openPath(path.c_str())) {}
    ~Device() {
        if (dev) api.close(dev);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    int Write(const Bytes& report) { return api.write(dev, report.data(), report.size()); }
    // One input report; empty when none came in time. result: what hid_read_timeout returned.
    Bytes Read(int milliseconds = 5000, int* result = nullptr) {
        unsigned char buffer[64];
        const int n = api.readTimeout(dev, buffer, sizeof buffer, milliseconds);
        if (result) *result = n;
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }
    // Sends a frame on the data channel and collects the reply from the
    // input reports until it is a whole frame; every report is checked.
    Bytes Exchange(const Bytes& frame, Frame::Framing framing) {
        for (size_t i = 0; i < frame.size(); i += CHidSimulator::MaxPayload) {
            const size_t n = std::min(CHidSimulator::MaxPayload, frame.size() - i);
            EXPECT_EQ(Write(Report(Bytes(frame.begin() + i, frame.begin() + i + n))), 9);
        }
        Bytes reply;
        while (!Frame::IsComplete(framing, reply)) {
            const Bytes r = Read();
            if (r.empty()) break;
            EXPECT_EQ(r.size(), 8u) << SimHex::Format(r);
            EXPECT_GE(r[0], 1u);
            EXPECT_LE(r[0], 7u);
            // Bytes behind the payload are zero.
            EXPECT_TRUE(std::all_of(r.begin() + 1 + std::min<size_t>(r[0], 7), r.end(),
                                    [](uint8_t b) { return !b; }));
            reply.insert(reply.end(), r.begin() + 1, r.begin() + 1 + std::min<size_t>(r[0], 7));
        }
        return reply;
    }

    HidApi& api;
    hid_device* dev;
};

class HidSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(HidApi::Get().Complete()) << dlerror();
        static std::atomic<int> counter{0};
        dir = SimTest::TempDir() + "/hid" + std::to_string(++counter);
        setenv("KVPLM_HID_SIM_DIR", dir.c_str(), 1);
    }

    CHidSimulator& Start(CHidSimulator::Options options = {}) {
        auto reader = std::make_unique<CSimReader>();
        sims.push_back(std::make_unique<CHidSimulator>(*reader, options));
        readers.push_back(std::move(reader));
        std::string error;
        EXPECT_TRUE(sims.back()->Start(&error)) << error;
        return *sims.back();
    }
    // Waits until the simulator has recorded count events.
    static void AwaitEvents(const CHidSimulator& sim, size_t count) {
        ASSERT_TRUE(sim.WaitForEvents(count, std::chrono::seconds(5))) << sim.Events().size() << " events";
    }

    std::string dir;
    std::vector<std::unique_ptr<CSimReader>> readers;
    std::vector<std::unique_ptr<CHidSimulator>> sims; // stopped before their readers go
    void TearDown() override { sims.clear(); }
};

TEST_F(HidSimulatorTest, EnumerationListsEveryLiveReaderWithItsIds) {
    CHidSimulator::Options a;
    a.serial = "4400-000123";
    CHidSimulator::Options b;
    b.serial.reset();
    b.vendor = 0x1C40;
    b.product = 0x05AB;
    CHidSimulator::Options c;
    c.serial = "4401-\xC3\x9C"; // UTF-8 Ü
    c.vendor = 0x1C40;
    c.product = 0x05AC;
    CHidSimulator& simA = Start(a);
    CHidSimulator& simB = Start(b);
    CHidSimulator& simC = Start(c);
    EXPECT_EQ(simA.SocketPath().rfind(dir + "/" + std::to_string(getpid()) + "-", 0), 0u);

    const auto all = Enumerate();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].path, simA.SocketPath());
    EXPECT_EQ(all[0].vendor, 0x16C0);
    EXPECT_EQ(all[0].product, 0x2913);
    EXPECT_EQ(all[0].release, 0x0100);
    EXPECT_EQ(all[0].serial, std::wstring(L"4400-000123"));
    EXPECT_EQ(all[0].product_string, L"Simulated " + std::wstring(L"KV-PLM41"));
    EXPECT_EQ(all[0].bus, HID_API_BUS_USB);
    EXPECT_EQ(all[1].path, simB.SocketPath());
    EXPECT_FALSE(all[1].serial) << "a reader without serial number string has none, not an empty one";
    EXPECT_EQ(all[2].path, simC.SocketPath());
    EXPECT_EQ(all[2].serial, std::wstring(L"4401-\u00DC"));

    // Filters: 0 matches any id.
    const auto vendor = Enumerate(0x1C40, 0);
    ASSERT_EQ(vendor.size(), 2u);
    EXPECT_EQ(vendor[0].product, 0x05AB);
    EXPECT_EQ(vendor[1].product, 0x05AC);
    ASSERT_EQ(Enumerate(0x1C40, 0x05AB).size(), 1u);
    EXPECT_TRUE(Enumerate(0x16C0, 0x05AB).empty());
    EXPECT_TRUE(Enumerate(0, 0x2913).size() == 1u);

    // An empty serial is an empty string.
    simA.Stop();
    CHidSimulator::Options e;
    e.serial = "";
    Start(e);
    const auto now = Enumerate();
    ASSERT_EQ(now.size(), 3u) << "a stopped reader is no longer listed";
    EXPECT_EQ(now[2].serial, std::wstring());
}

TEST_F(HidSimulatorTest, EnumerationSkipsStaleSocketsAndForeignDirectories) {
    CHidSimulator& sim = Start();
    // A socket whose listener is gone (same pid, so it looks alive) and one of a dead process.
    auto leaveSocket = [&](const std::string& name) {
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir + "/" + name;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
    };
    leaveSocket(std::to_string(getpid()) + "-999.hid");
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    leaveSocket(std::to_string(child) + "-1.hid");
    // Neither a plain file nor a pipe under a socket's name is opened.
    {
        std::FILE* f = std::fopen((dir + "/" + std::to_string(getpid()) + "-998.hid").c_str(), "w");
        std::fclose(f);
    }
    ASSERT_EQ(mkfifo((dir + "/" + std::to_string(getpid()) + "-997.hid").c_str(), 0600), 0);

    const auto listed = Enumerate();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, sim.SocketPath());

    // A directory others may write into is not trusted.
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    EXPECT_TRUE(Enumerate().empty());
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
    EXPECT_EQ(Enumerate().size(), 1u);
}

TEST_F(HidSimulatorTest, FramesTravelInReportsBothWays) {
    CHidSimulator& sim = Start();
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr) << device.api.error(nullptr);

    // The identification request in one report: 00 05 02 01 F0 00 F1 00 00.
    const Bytes request = Frame::Build(Frame::Bcc, 1, 0xF0);
    EXPECT_EQ(Report(request), Hex("00 05 02 01 F0 00 F1 00 00"));
    const Bytes reply = device.Exchange(request, Frame::Bcc);
    ASSERT_EQ(Frame::CheckFrame(Frame::Bcc, reply), Frame::Check::Ok) << SimHex::Format(reply);
    EXPECT_EQ(Frame::Strip(Frame::Bcc, reply), Hex("33 30 32 35"));

    // A request over five reports (7, 7, 7, 7, 1 bytes) is one frame to the reader.
    Bytes param(24);
    for (size_t i = 0; i < param.size(); ++i)
        param[i] = static_cast<uint8_t>(0x10 + i);
    const Bytes write = Frame::Build(Frame::Crc, 1, 0x81, param);
    ASSERT_EQ(write.size(), 29u);
    const Bytes status = device.Exchange(write, Frame::Crc);
    ASSERT_EQ(Frame::CheckFrame(Frame::Crc, status), Frame::Check::Ok) << SimHex::Format(status);
    EXPECT_EQ(status[1], 0) << "status byte";
    EXPECT_EQ(sim.Reader().GetBlock(CSimReader::Block::Param), param);
    ASSERT_EQ(sim.Reader().Requests().size(), 2u);

    // A reply longer than one report comes in reports of seven bytes.
    const Bytes read = device.Exchange(Frame::Build(Frame::Bcc, 1, 0x89), Frame::Bcc);
    EXPECT_EQ(Frame::Strip(Frame::Bcc, read), param);
}

TEST_F(HidSimulatorTest, KeyQueriesAnswerFromTheTableAndKeySettingsAreStored) {
    CHidSimulator::Options options;
    options.table = *CSimKeyTable::Named("de");
    CHidSimulator& sim = Start(options);
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);

    auto query = [&](uint8_t c) {
        EXPECT_EQ(device.Write(Report({0x11, c}, true)), 9);
        return device.Read();
    };
    EXPECT_EQ(Report({0x11, 'Z'}, true), Hex("00 82 11 5A 00 00 00 00 00"));
    EXPECT_EQ(query('Z'), Hex("04 11 5A 02 1C 00 00 00"));
    EXPECT_EQ(query('z'), Hex("04 11 7A 00 1C 00 00 00"));
    EXPECT_EQ(query('@'), Hex("04 11 40 40 14 00 00 00"));
    EXPECT_EQ(query('\\'), Hex("04 11 5C 40 2D 00 00 00"));
    EXPECT_EQ(query('^'), Hex("04 11 5E 00 00 00 00 00")) << "no key: usage 0";

    // A key setting has no answer: the next report is the next query's.
    EXPECT_EQ(device.Write(Report({0x12, '^', 0x00, 0x35}, true)), 9);
    EXPECT_EQ(device.Write(Report({0x12, 27, 0x00, 0x29}, true)), 9);
    EXPECT_EQ(query('^'), Hex("04 11 5E 00 35 00 00 00"));
    EXPECT_EQ(sim.Table().Lookup(27), (CSimKeyTable::Key{0x00, 0x29}));

    const auto events = sim.Events();
    ASSERT_EQ(events.size(), 9u); // opened, five queries, two settings, a query
    EXPECT_EQ(events[0].kind, Kind::Opened);
    EXPECT_EQ(events[1].kind, Kind::KeyQuery);
    EXPECT_EQ(events[1].answer, (CSimKeyTable::Key{0x02, 0x1C}));
    EXPECT_EQ(events[6].kind, Kind::KeySet);
    EXPECT_EQ(events[6].bytes, Hex("12 5E 00 35"));
    EXPECT_EQ(CHidSimulator::Describe(events[5]), "hid: key query 5E '^' -> no key");
    EXPECT_EQ(CHidSimulator::Describe(events[1]), "hid: key query 5A 'Z' -> modifier 02 usage 1C");
    EXPECT_EQ(CHidSimulator::Describe(events[6]), "hid: key set 5E '^'  modifier 00 usage 35");
}

TEST_F(HidSimulatorTest, LinkStateAndHostAreRecorded) {
    CHidSimulator& sim = Start();
    EXPECT_FALSE(sim.LinkState());
    {
        Device device(sim.SocketPath());
        ASSERT_NE(device.dev, nullptr);
        EXPECT_EQ(device.Write(Hex("00 82 10 00 00 00 00 00 00")), 9);
        EXPECT_EQ(device.Write(Hex("00 82 10 01 00 00 00 00 00")), 9);
        AwaitEvents(sim, 3);
        EXPECT_TRUE(sim.HostConnected());
        EXPECT_EQ(sim.LinkState(), 1);
        // An interface command it does not know is recorded, not answered.
        EXPECT_EQ(device.Write(Report({0x13, 0x01}, true)), 9);
        AwaitEvents(sim, 4);
    }
    AwaitEvents(sim, 5);
    const auto events = sim.Events();
    EXPECT_EQ(events[1].kind, Kind::LinkState);
    EXPECT_EQ(events[1].bytes, Hex("10 00"));
    EXPECT_EQ(CHidSimulator::Describe(events[2]), "hid: link state 1");
    EXPECT_EQ(events[3].kind, Kind::Interface);
    EXPECT_EQ(events[4].kind, Kind::Closed);
    EXPECT_FALSE(sim.HostConnected());
}

TEST_F(HidSimulatorTest, MalformedReportsAreIgnoredAndRecorded) {
    CHidSimulator& sim = Start();
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);
    EXPECT_EQ(device.Write(Hex("00 00 02 01 F0 00 F1 00 00")), 9); // count 0
    EXPECT_EQ(device.Write(Hex("00 08 02 01 F0 00 F1 00 00")), 9); // count over 7
    EXPECT_EQ(device.Write(Hex("00 80 10 00 00 00 00 00 00")), 9); // interface, count 0
    EXPECT_EQ(device.Write(Hex("01 05 02 01 F0 00 F1 00 00")), 9); // report id 1
    EXPECT_EQ(device.Write(Hex("00 05 02 01 F0 00 F1")), 7);       // short report
    AwaitEvents(sim, 6);
    for (size_t i = 1; i < 6; ++i)
        EXPECT_EQ(sim.Events()[i].kind, Kind::Ignored) << i;
    EXPECT_TRUE(sim.Reader().Requests().empty());
    EXPECT_EQ(sim.Reader().GetCounters().noiseBytes, 0u) << "nothing reached the engine";
    // The reader is unharmed.
    EXPECT_EQ(Frame::Strip(Frame::Bcc, device.Exchange(Frame::Build(Frame::Bcc, 1, 0xF0), Frame::Bcc)),
              Hex("33 30 32 35"));
}

TEST_F(HidSimulatorTest, SilentReaderAndIgnoredKeysGiveReadTimeOuts) {
    CHidSimulator::Options options;
    options.silent = true;
    CHidSimulator& sim = Start(options);
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);
    EXPECT_EQ(device.Write(Report(Frame::Build(Frame::Bcc, 1, 0xF0))), 9);
    ASSERT_TRUE(sim.Reader().WaitForReplies(1, std::chrono::seconds(5))) << "the engine answers";
    int result = -2;
    EXPECT_TRUE(device.Read(200, &result).empty());
    EXPECT_EQ(result, 0) << "nothing within the time";
    EXPECT_EQ(device.Write(Report({0x11, 'A'}, true)), 9);
    EXPECT_TRUE(device.Read(100, &result).empty());
    EXPECT_EQ(result, 0);

    // Ignoring keys only: frames are answered, key queries are not.
    sim.SetSilent(false);
    sim.SetIgnoreKeys(true);
    EXPECT_EQ(device.Write(Report({0x11, 'A'}, true)), 9);
    EXPECT_TRUE(device.Read(200, &result).empty());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Frame::Strip(Frame::Bcc, device.Exchange(Frame::Build(Frame::Bcc, 1, 0xF0), Frame::Bcc)),
              Hex("33 30 32 35"));
    const auto events = sim.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_FALSE(events[2].answer);
    EXPECT_EQ(CHidSimulator::Describe(events[2]), "hid: key query 41 'A' -> not answered");
}

TEST_F(HidSimulatorTest, WhatTheReaderSendsOnItsOwnIsTypedNotReported) {
    CHidSimulator& sim = Start();
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);
    AwaitEvents(sim, 1);
    sim.Reader().SendUnsolicited(Hex("41 42 0D"));
    AwaitEvents(sim, 2);
    EXPECT_EQ(sim.Events()[1].kind, Kind::Typed);
    EXPECT_EQ(sim.Events()[1].bytes, Hex("41 42 0D"));
    int result = -2;
    EXPECT_TRUE(device.Read(100, &result).empty());
    EXPECT_EQ(result, 0);
    // A raw input report (the console's "hid report") reaches the host as it is.
    sim.SendReport(Hex("09 01 02 03 04 05 06 07"));
    EXPECT_EQ(device.Read(), Hex("09 01 02 03 04 05 06 07"));
}

TEST_F(HidSimulatorTest, TypedOutputComesWithTheKeysOfTheTableAtThatMoment) {
    CHidSimulator& sim = Start();
    sim.Reader().SendUnsolicited(Hex("61 41 0D 7E"));
    AwaitEvents(sim, 1);
    std::vector<ReaderOutput::KeyPress> keys = sim.TypedKeys();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].key, (CSimKeyTable::Key{0x00, 0x04}));
    EXPECT_EQ(keys[1].key, (CSimKeyTable::Key{0x02, 0x04}));
    EXPECT_EQ(keys[2].key, (CSimKeyTable::Key{0x00, 0x28})); // CR: Enter
    EXPECT_EQ(keys[3].key, (CSimKeyTable::Key{0x02, 0x35}));
    EXPECT_EQ(keys[3].character, 0x7E);
    // Another table from now on; what was typed before keeps its keys.
    sim.SetTable(*CSimKeyTable::Named("de"));
    sim.Reader().SendUnsolicited(Hex("7E"));
    AwaitEvents(sim, 2);
    keys = sim.TypedKeys();
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[3].key, (CSimKeyTable::Key{0x02, 0x35}));
    EXPECT_EQ(keys[4].key, (CSimKeyTable::Key{0x40, 0x30})); // AltGr + the key right of P
    sim.ClearEvents();
    EXPECT_TRUE(sim.TypedKeys().empty());
}

TEST_F(HidSimulatorTest, OneHostAtATimeAndReopenAtOnce) {
    CHidSimulator& sim = Start();
    auto first = std::make_unique<Device>(sim.SocketPath());
    ASSERT_NE(first->dev, nullptr);
    {
        Device second(sim.SocketPath());
        EXPECT_EQ(second.dev, nullptr);
        EXPECT_NE(std::wstring(HidApi::Get().error(nullptr)).find(L"busy"), std::wstring::npos);
    }
    EXPECT_EQ(Enumerate().size(), 1u) << "listed while held";
    // Closing and opening straight away (a host does that between two operations).
    for (int i = 0; i < 20; ++i) {
        first.reset();
        first = std::make_unique<Device>(sim.SocketPath());
        ASSERT_NE(first->dev, nullptr) << "round " << i;
    }
    EXPECT_EQ(first->Exchange(Frame::Build(Frame::Bcc, 1, 0xF0), Frame::Bcc).size(), 9u);

    EXPECT_EQ(Device(dir + "/nothing.hid").dev, nullptr);
    EXPECT_EQ(Device("/dev/null").dev, nullptr);
}

TEST_F(HidSimulatorTest, UnpluggedReaderFailsReadsAndWrites) {
    CHidSimulator& sim = Start();
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);
    AwaitEvents(sim, 1);
    sim.Unplug();
    int result = 0;
    EXPECT_TRUE(device.Read(2000, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(device.Write(Report({0x10, 0x01}, true)), -1);
    EXPECT_TRUE(Enumerate().empty());
    // Plugged in again it is there under a new socket.
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(Enumerate().size(), 1u);
}

TEST_F(HidSimulatorTest, WritesAndReadsFromTwoThreadsAtOnce) {
    CHidSimulator& sim = Start();
    Device device(sim.SocketPath());
    ASSERT_NE(device.dev, nullptr);
    constexpr int Count = 200;
    std::thread writer([&] {
        for (int i = 0; i < Count; ++i)
            if (device.Write(Report({0x11, static_cast<uint8_t>(32 + i % 95)}, true)) != 9) return;
    });
    int answered = 0;
    for (; answered < Count; ++answered) {
        const Bytes r = device.Read();
        if (r.size() != 8 || r[0] != 4 || r[2] != 32 + answered % 95) break;
        device.api.error(device.dev); // the error text is read while the other thread writes
    }
    writer.join();
    EXPECT_EQ(answered, Count) << "answers in the order of the queries";
}

// ---- kvplm-readersim --hid as a process ----

TEST_F(HidSimulatorTest, ProgramServesTheHostAndShowsWhatItSent) {
    SimTest::Program sim({"--hid", "4400-000123", "--hid-table", "de", "--quiet"});
    ASSERT_GT(sim.pid, 0);
    const std::string line = sim.ReadLine();
    EXPECT_EQ(line.rfind("kvplm-readersim: KV-PLM41 (type 302, firmware V1.05) on USB HID 16C0:2913 serial "
                         "4400-000123 (list name \"4400-000123 HID\") at " +
                             dir + "/" + std::to_string(sim.pid) + "-",
                         0),
              0u)
        << line;
    const auto listed = Enumerate(0x16C0, 0x2913);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].serial, std::wstring(L"4400-000123"));
    {
        Device device(listed[0].path);
        ASSERT_NE(device.dev, nullptr);
        EXPECT_EQ(device.Write(Hex("00 82 10 00 00 00 00 00 00")), 9);
        EXPECT_EQ(Frame::Strip(Frame::Bcc, device.Exchange(Frame::Build(Frame::Bcc, 1, 0xF0), Frame::Bcc)),
                  Hex("33 30 32 35"));
        EXPECT_EQ(device.Write(Report({0x12, 'Y', 0x02, 0x1C}, true)), 9);
        EXPECT_EQ(device.Write(Hex("00 82 10 01 00 00 00 00 00")), 9);
        // The answer to the query shows that everything before it has been taken.
        EXPECT_EQ(device.Write(Report({0x11, 'Y'}, true)), 9);
        EXPECT_EQ(device.Read(), Hex("04 11 59 02 1C 00 00 00"));
    }
    sim.Send("hid");
    std::string status = sim.ReadLine();
    // The close may still be on its way; the status line is there either way.
    EXPECT_EQ(status.rfind("HID 16C0:2913, serial 4400-000123, socket " + listed[0].path, 0), 0u) << status;
    EXPECT_NE(status.find("link state 1, silent off, ignore keys off"), std::string::npos) << status;
    sim.Send("hidlog");
    EXPECT_EQ(sim.ReadLine(), "a host opened the device");
    EXPECT_EQ(sim.ReadLine(), "link state 0");
    EXPECT_EQ(sim.ReadLine(), "key set 59 'Y'  modifier 02 usage 1C");
    EXPECT_EQ(sim.ReadLine(), "link state 1");
    EXPECT_EQ(sim.ReadLine(), "key query 59 'Y' -> modifier 02 usage 1C");
    sim.Send("keys");
    std::vector<std::string> keys;
    for (std::string l; (l = sim.ReadLine()) != "7E '~'  modifier 40 usage 30";) {
        ASSERT_FALSE(l.empty()) << "keys ended early";
        if (l != "the host closed the device") keys.push_back(l);
    }
    EXPECT_EQ(keys.front(), "20 ' '  modifier 00 usage 2C");
    EXPECT_NE(std::find(keys.begin(), keys.end(), "5E '^'  no key"), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), "40 '@'  modifier 40 usage 14"), keys.end());

    kill(sim.pid, SIGTERM);
    const int exit = sim.Wait();
    EXPECT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0);
    EXPECT_FALSE(std::filesystem::exists(listed[0].path)) << "the socket is removed";
}

TEST_F(HidSimulatorTest, ProgramGoneFailsReadsAndWrites) {
    SimTest::Program sim({"--hid-no-serial", "--hid-vendor", "0x1C40", "--hid-product", "0x05AF", "--quiet"});
    ASSERT_GT(sim.pid, 0);
    EXPECT_NE(sim.ReadLine().find("USB HID 1C40:05AF no serial (list name \"2286-???? HID\")"),
              std::string::npos);
    const auto listed = Enumerate();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_FALSE(listed[0].serial);
    Device device(listed[0].path);
    ASSERT_NE(device.dev, nullptr);

    kill(sim.pid, SIGKILL);
    ASSERT_EQ(waitpid(sim.pid, nullptr, 0), sim.pid);
    sim.pid = -1;
    int result = 0;
    EXPECT_TRUE(device.Read(5000, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(device.Write(Report(Frame::Build(Frame::Bcc, 1, 0xF0))), -1);
    EXPECT_NE(std::wstring(device.api.error(device.dev)), L"Success");
    EXPECT_TRUE(std::filesystem::exists(listed[0].path)) << "a killed simulator leaves its socket";
    EXPECT_TRUE(Enumerate().empty()) << "which is skipped";
}

TEST_F(HidSimulatorTest, ProgramRefusesHidOptionsThatDoNotFit) {
    const std::vector<std::vector<std::string>> bad = {{"--hid-vendor", "0x1C40"},
                                                       {"--hid", "4400-1", "--lan", "127.0.0.2"},
                                                       {"--hid", "4400-1", "--link", dir + "/x"},
                                                       {"--hid", "4400-1", "--hid-table", "fr"},
                                                       {"--hid", "4400-1", "--hid-no-serial"},
                                                       {"--hid", "4400-1", "--hid-product", "0x10000"},
                                                       {"--hid", "a\tb"}};
    for (const auto& args : bad) {
        SimTest::Program sim(args, true);
        const int status = sim.Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0] << " " << args.back();
    }
}

// ---- the console ----

TEST_F(HidSimulatorTest, ConsoleCommandsOfAnHidReader) {
    CHidSimulator& sim = Start();
    CSimConsole console(sim.Reader(), sim);
    EXPECT_EQ(console.Execute("hidlog").output, "nothing recorded\n");
    EXPECT_EQ(console.Execute("hid silent on").output, "ok\n");
    EXPECT_TRUE(sim.GetOptions().silent);
    EXPECT_EQ(console.Execute("hid ignore-keys maybe").output, "error: usage: hid ignore-keys on|off\n");
    EXPECT_EQ(console.Execute("hid report 01 02").output, "error: no host holds the device open\n");
    EXPECT_EQ(console.Execute("keys de").output, "ok\n");
    EXPECT_EQ(sim.Table().Lookup('y').usage, 0x1D);
    EXPECT_EQ(console.Execute("keys fr").output, "error: a start table is us or de\n");
    EXPECT_EQ(console.Execute("unplug").output, "unplugged\n");
    EXPECT_NE(console.Execute("hid").output.find(", unplugged\n"), std::string::npos);
    EXPECT_EQ(console.Execute("plug").output.rfind("kvplm-readersim: KV-PLM41", 0), 0u);
    EXPECT_EQ(Enumerate().size(), 1u);

    CSimReader plain;
    CSimConsole other(plain);
    EXPECT_EQ(other.Execute("keys").output, "error: not an HID reader (start with --hid)\n");
}

// ---- the start tables ----

TEST(HidKeyTableTest, UsTableTypesEveryPrintableCharacterOnTheMainBlock) {
    const CSimKeyTable us = *CSimKeyTable::Named("us");
    const auto& block = CSimKeyTable::MainBlockUsages();
    for (unsigned c = 32; c < 127; ++c) {
        const CSimKeyTable::Key key = us.Lookup(static_cast<uint8_t>(c));
        ASSERT_NE(key.usage, 0) << "character " << c;
        EXPECT_TRUE(key.usage == 0x2C || std::find(block.begin(), block.end(), key.usage) != block.end())
            << c;
        EXPECT_TRUE(key.modifier == 0 || key.modifier == CSimKeyTable::LeftShift) << c;
    }
    EXPECT_EQ(us.Count(), 95u);
    EXPECT_EQ(us.Lookup('A'), (CSimKeyTable::Key{0x02, 0x04}));
    EXPECT_EQ(us.Lookup('a'), (CSimKeyTable::Key{0x00, 0x04}));
    EXPECT_EQ(us.Lookup('\\'), (CSimKeyTable::Key{0x00, 0x32}));
    EXPECT_EQ(us.Lookup('~'), (CSimKeyTable::Key{0x02, 0x35}));
    EXPECT_EQ(us.Lookup('?'), (CSimKeyTable::Key{0x02, 0x38}));
    EXPECT_EQ(us.Lookup(' '), (CSimKeyTable::Key{0x00, 0x2C}));
    EXPECT_EQ(us.Lookup(0).usage, 0);
    EXPECT_EQ(us.Lookup(127).usage, 0);
    EXPECT_FALSE(CSimKeyTable::Named("fr"));
}

TEST(HidKeyTableTest, GermanTableSwapsZAndYAndUsesAltGr) {
    const CSimKeyTable de = *CSimKeyTable::Named("de");
    EXPECT_EQ(de.Lookup('z'), (CSimKeyTable::Key{0x00, 0x1C}));
    EXPECT_EQ(de.Lookup('Y'), (CSimKeyTable::Key{0x02, 0x1D}));
    EXPECT_EQ(de.Lookup('\\'), (CSimKeyTable::Key{0x40, 0x2D}));
    EXPECT_EQ(de.Lookup('@'), (CSimKeyTable::Key{0x40, 0x14}));
    EXPECT_EQ(de.Lookup('|'), (CSimKeyTable::Key{0x40, 0x64}));
    EXPECT_EQ(de.Lookup('~'), (CSimKeyTable::Key{0x40, 0x30}));
    EXPECT_EQ(de.Lookup('#'), (CSimKeyTable::Key{0x00, 0x32}));
    EXPECT_EQ(de.Lookup('\''), (CSimKeyTable::Key{0x02, 0x32}));
    EXPECT_EQ(de.Lookup('-'), (CSimKeyTable::Key{0x00, 0x38}));
    EXPECT_EQ(de.Lookup('^').usage, 0) << "a dead key";
    EXPECT_EQ(de.Lookup('`').usage, 0) << "a dead key";
    EXPECT_EQ(de.Count(), 93u);
}

} // namespace
