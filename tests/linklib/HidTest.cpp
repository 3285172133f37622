// The USB HID transport: the reports CHidDevice writes and reads through a
// fake backend, its time-outs, the Link API's HID functions, the report
// length from report descriptors, and the hidapi binding against stand-in
// libraries.
#include "FakeHid.h"
#include "FakeSysfs.h"

#include "DebugLog.h"
#include "HidBackend.h"
#include "HidDevice.h"
#include "LinkApi.h"
#include "LinkRegistry.h"
#include "ReaderSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = Frame::Bytes;

std::vector<std::string> Entries(const char* buffer, int used) {
    std::vector<std::string> entries;
    for (int pos = 0; pos < used - 1;) {
        entries.emplace_back(buffer + pos);
        pos += int(entries.back().size()) + 1;
    }
    return entries;
}

std::vector<std::string> HidPorts() {
    char buffer[1024];
    const int used = LinkListHidPorts(buffer, sizeof buffer);
    return Entries(buffer, used);
}

Report R(std::initializer_list<uint8_t> bytes) {
    return Report(bytes);
}

class HidTest : public ::testing::Test {
protected:
    FakeHidInstalled fake;
    FakeHidBackend& backend = *fake.backend;
};

// ---------------------------------------------------------------------------
// Listing

TEST_F(HidTest, ListsFamilyDevicesByTheirSerialNumberOnceEach) {
    backend.Add("/dev/hidraw0", 0x16C0, 0x2913, "4400-000123");
    backend.Add("/dev/hidraw1", 0x1C40, 0x05AB, "4401-7");
    backend.Add("/dev/hidraw2", 0x1C40, 0x05AC, "4402-8"); // not of the family
    backend.Add("/dev/hidraw3", 0x1C40, 0x05AD, "");
    backend.Add("/dev/hidraw4", 0x1C40, 0x05AE, "");
    backend.Add("/dev/hidraw5", 0x1C40, 0x05AF, "4400-000123"); // a second interface of the first
    backend.Add("/dev/hidraw6", 0x16C0, 0x2914, "4403-9");
    backend.Add("/dev/hidraw7", 0x046D, 0xC52B, "4404-1");

    std::vector<std::string> list{"2286-???? HID"};
    CHidDevice device;
    device.ListDevices(list);
    EXPECT_EQ(list, (std::vector<std::string>{"2286-???? HID", "4400-000123 HID", "4401-7 HID"}));

    list.clear();
    device.ListDevices(list);
    EXPECT_EQ(list, (std::vector<std::string>{"4400-000123 HID", "4401-7 HID", "2286-???? HID"}));
}

TEST_F(HidTest, ListNameKeepsFiftyCharactersOfTheSerialNumber) {
    const std::string fifty(50, '7');
    EXPECT_EQ(CHidDevice::ListName(fifty + "89"), fifty + " HID");
    // Characters, not bytes: a multi-byte character is never cut.
    std::string umlauts;
    for (int i = 0; i < 51; ++i)
        umlauts += "\xC3\xBC";
    EXPECT_EQ(CHidDevice::ListName(umlauts), umlauts.substr(0, 100) + " HID");
    EXPECT_EQ(CHidDevice::ListName(""), "2286-???? HID");
}

TEST_F(HidTest, LinkListHidPortsKeepsArticleNumbers4400To4409) {
    backend.Add("a", 0x16C0, 0x2913, "4400-000123");
    backend.Add("b", 0x1C40, 0x05AB, "4409-1");
    backend.Add("c", 0x1C40, 0x05AB, "4410-1");
    backend.Add("d", 0x1C40, 0x05AB, "");
    backend.Add("e", 0x1C40, 0x05AB, "4399");
    EXPECT_EQ(HidPorts(), (std::vector<std::string>{"4400-000123 HID", "4409-1 HID"}));
}

TEST_F(HidTest, WithoutTheLibraryNothingIsListedAndNothingOpens) {
    backend.Add("a", 0x16C0, 0x2913, "4400-000123");
    backend.available = false;
    EXPECT_TRUE(HidPorts().empty());
    CHidDevice device;
    EXPECT_FALSE(device.OpenByName("4400-000123 HID"));
    EXPECT_EQ(device.IsOpen(), 0);
    EXPECT_EQ(LinkOpen("4400-000123 HID:1", 19200, 0, 100), -1);
    EXPECT_EQ(LinkRegistry().Count(), 0u);
}

// ---------------------------------------------------------------------------
// Opening

TEST_F(HidTest, OpensOnlyTheExactName) {
    auto reader = backend.Add("p", 0x16C0, 0x2913, "4400-000123");
    CHidDevice device;
    EXPECT_FALSE(device.OpenByName("4400-000123 hid"));
    EXPECT_FALSE(device.OpenByName("4400-00012 HID"));
    EXPECT_EQ(reader->Opens(), 0);
    ASSERT_TRUE(device.OpenByName("4400-000123 HID"));
    EXPECT_GT(device.IsOpen(), 0);
    EXPECT_EQ(device.ReportLength(), 9);
    EXPECT_TRUE(device.IsUsb());
    EXPECT_FALSE(device.IsLost());
    EXPECT_TRUE(reader->Written().empty());
    device.Close();
    EXPECT_EQ(device.IsOpen(), 0);
    EXPECT_EQ(reader->Closes(), 1);
}

TEST_F(HidTest, TriesTheNextInterfaceAndLeavesKeyboardsLast) {
    auto keyboard = backend.Add("kbd", 0x16C0, 0x2913, "4400-5");
    keyboard->info.usagePage = 0x01;
    keyboard->info.usage = 0x06;
    auto broken = backend.Add("broken", 0x16C0, 0x2913, "4400-5");
    broken->openFails = true;
    auto channel = backend.Add("channel", 0x16C0, 0x2913, "4400-5");
    CHidDevice device;
    ASSERT_TRUE(device.OpenByName("4400-5 HID"));
    EXPECT_EQ(keyboard->Opens(), 0);
    EXPECT_EQ(channel->Opens(), 1);
}

TEST_F(HidTest, RefusesReportLengthsOutsideFourTo36) {
    std::vector<std::string> log;
    static std::vector<std::string>* lines;
    lines = &log;
    DebugLog::SetSink([](const std::string& line) { lines->push_back(line); });
    auto longer = backend.Add("long", 0x16C0, 0x2913, "4400-1", 37);
    auto shorter = backend.Add("short", 0x16C0, 0x2913, "4400-2", 3);
    auto widest = backend.Add("widest", 0x16C0, 0x2913, "4400-3", 36);
    CHidDevice device;
    EXPECT_FALSE(device.OpenByName("4400-1 HID"));
    EXPECT_FALSE(device.OpenByName("4400-2 HID"));
    DebugLog::SetSink(nullptr);
    EXPECT_EQ(longer->Closes(), longer->Opens());
    EXPECT_EQ(shorter->Closes(), shorter->Opens());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("report length 37"), std::string::npos) << log[0];

    ASSERT_TRUE(device.OpenByName("4400-3 HID"));
    const uint8_t command[35] = {0x12};
    EXPECT_TRUE(device.SendInterfaceCommand(command, 34));
    EXPECT_FALSE(device.SendInterfaceCommand(command, 35));
    ASSERT_EQ(widest->Written().size(), 1u);
    EXPECT_EQ(widest->Written()[0].size(), 36u);
    EXPECT_EQ(widest->Written()[0][1], 0x80 + 34);
}

// ---------------------------------------------------------------------------
// Output reports

class HidOpenTest : public HidTest {
protected:
    void SetUp() override {
        reader = backend.Add("/dev/hidraw0", 0x16C0, 0x2913, "4400-000123");
        ASSERT_TRUE(device.OpenByName("4400-000123 HID"));
    }
    std::shared_ptr<FakeHidDevice> reader;
    CHidDevice device;
};

TEST_F(HidOpenTest, SendSplitsIntoReportsOfLMinusTwoBytes) {
    Bytes frame(20);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(0x30 + i);
    ASSERT_TRUE(device.Send(frame.data(), frame.size()));
    const std::vector<Report> written = reader->Written();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], R({0x00, 0x07, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36}));
    EXPECT_EQ(written[1], R({0x00, 0x07, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D}));
    EXPECT_EQ(written[2], R({0x00, 0x06, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x00}));

    reader->ClearWritten();
    const uint8_t three[] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(device.Send(three, 3));
    EXPECT_EQ(reader->Written(),
              std::vector<Report>{R({0x00, 0x03, 0xAA, 0xBB, 0xCC, 0x00, 0x00, 0x00, 0x00})});

    reader->ClearWritten();
    EXPECT_TRUE(device.Send(nullptr, 0));
    EXPECT_TRUE(reader->Written().empty());
}

TEST_F(HidOpenTest, InterfaceChannelReports) {
    ASSERT_TRUE(device.SetLinkState(1));
    ASSERT_TRUE(device.SetLinkState(0));
    const uint8_t key[] = {0x12, 0x41, 0x02, 0x04};
    ASSERT_TRUE(device.SendInterfaceCommand(key, sizeof key));
    ASSERT_TRUE(device.SendInterfaceCommand(nullptr, 0));
    const uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_TRUE(device.SendInterfaceCommand(seven, 7));
    const uint8_t eight[8] = {};
    EXPECT_FALSE(device.SendInterfaceCommand(eight, 8));
    EXPECT_EQ(reader->Written(),
              (std::vector<Report>{R({0x00, 0x82, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}),
                                   R({0x00, 0x82, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
                                   R({0x00, 0x84, 0x12, 0x41, 0x02, 0x04, 0x00, 0x00, 0x00}),
                                   R({0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
                                   R({0x00, 0x87, 1, 2, 3, 4, 5, 6, 7})}));
}

// ---------------------------------------------------------------------------
// Input reports

TEST_F(HidOpenTest, PollTakesOneReportsPayload) {
    uint8_t buffer[16] = {};
    const auto start = Clock::now();
    EXPECT_EQ(device.Poll(buffer, 10), 0);
    EXPECT_LT(Clock::now() - start, 100ms); // nothing there: back at once, not after a wait

    reader->QueueInput(R({0x00, 0x03, 0xA1, 0xA2, 0xA3, 0xEE, 0xEE, 0xEE, 0xEE}));
    reader->QueueInput(R({0x00, 0x09, 1, 2, 3, 4, 5, 6, 7})); // count over L-2
    reader->QueueInput(R({0x00, 0x05, 1, 2, 3, 4, 5, 6}));    // shorter than L: ignored
    reader->QueueInput(R({0x00, 0x07, 9, 8, 7, 6, 5, 4, 3})); // more than the caller takes
    reader->QueueInput(R({0x00, 0x01, 0x55, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(device.Poll(buffer, 10), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(device.Poll(buffer, 10), 7);
    EXPECT_EQ(Bytes(buffer, buffer + 7), (Bytes{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(device.Poll(buffer, 10), 0);
    EXPECT_EQ(device.Poll(buffer, 4), 4);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{9, 8, 7, 6}));
    // The rest of that report is gone; the next poll reads the next report.
    EXPECT_EQ(device.Poll(buffer, 10), 1);
    EXPECT_EQ(buffer[0], 0x55);
    EXPECT_EQ(device.Poll(buffer, 10), 0);
}

TEST_F(HidOpenTest, ReadErrorClosesTheDeviceButKeepsItsHandle) {
    const int handle = device.IsOpen();
    reader->FailReads();
    uint8_t buffer[10];
    EXPECT_EQ(device.Poll(buffer, 10), 0);
    EXPECT_EQ(reader->Closes(), 1);
    EXPECT_TRUE(device.IsLost());
    EXPECT_EQ(device.IsOpen(), handle);
    EXPECT_EQ(device.Poll(buffer, 10), 0);
    const uint8_t byte = 1;
    EXPECT_FALSE(device.Send(&byte, 1));
    EXPECT_FALSE(device.SetLinkState(1));
    EXPECT_EQ(device.TransactInterfaceCommand(&byte, 1, buffer, 10), -1);
    device.CloseLink();
    EXPECT_EQ(device.IsOpen(), 0);
}

TEST_F(HidOpenTest, WriteThatDoesNotReturnFailsWithinItsTimeOut) {
    reader->BlockWrites();
    const uint8_t byte = 0x41;
    auto start = Clock::now();
    EXPECT_FALSE(device.Send(&byte, 1));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 45ms);
    EXPECT_LT(waited, 2s);
    ASSERT_TRUE(reader->WaitForBlockedWriter());

    // While that write is outstanding the next ones fail at once.
    start = Clock::now();
    EXPECT_FALSE(device.SetLinkState(1));
    EXPECT_LT(Clock::now() - start, 45ms);

    // Closing does not wait for the stuck write; the device is closed once
    // it returns.
    start = Clock::now();
    device.CloseLink();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(device.IsOpen(), 0);
    EXPECT_EQ(reader->Closes(), 0);
    reader->Release();
    EXPECT_TRUE(reader->WaitForCloses(1));
    EXPECT_EQ(reader->Written().size(), 1u);
}

TEST_F(HidOpenTest, WriteCompletesAgainOnceTheStuckOneReturned) {
    reader->BlockWrites();
    const uint8_t byte = 0x41;
    EXPECT_FALSE(device.Send(&byte, 1));
    ASSERT_TRUE(reader->WaitForBlockedWriter());
    reader->Release();
    bool sent = false;
    for (const auto end = Clock::now() + 5s; !sent && Clock::now() < end;)
        sent = device.Send(&byte, 1);
    EXPECT_TRUE(sent);
}

TEST_F(HidOpenTest, TransactWaitsForTheAnswerToItsRequest) {
    FakeHidReader keys;
    keys.onInterface = [](FakeHidDevice& d, const Report& payload) {
        if (payload.size() == 2 && payload[0] == 0x11)
            d.QueueInput(R({0x00, 0x04, 0x11, payload[1], 0x02, 0x04, 0x00, 0x00, 0x00}));
        if (payload.size() == 1 && payload[0] == 0x13)
            d.QueueInput(R({0x00, 0x02, 0x13, 0x01, 0, 0, 0, 0, 0}));
        if (payload.size() == 1 && payload[0] == 0x14)
            d.QueueInput(R({0x00, 0x03, 0x15, 0x01, 0x02, 0, 0, 0, 0}));
    };
    keys.Attach(*reader);
    const uint8_t query[] = {0x11, 0x41};
    uint8_t reply[8] = {};
    ASSERT_EQ(device.TransactInterfaceCommand(query, 2, reply, sizeof reply), 4);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{0x11, 0x41, 0x02, 0x04}));
    EXPECT_EQ(device.TransactInterfaceCommand(query, 2, reply, 2), 2);
    EXPECT_EQ(reader->Written()[0], R({0x00, 0x82, 0x11, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00}));

    const uint8_t tooShort[] = {0x13};
    EXPECT_EQ(device.TransactInterfaceCommand(tooShort, 1, reply, sizeof reply), -1);
    const uint8_t otherAnswer[] = {0x14};
    EXPECT_EQ(device.TransactInterfaceCommand(otherAnswer, 1, reply, sizeof reply), -1);

    const uint8_t unanswered[] = {0x12, 0x41, 0x00, 0x04};
    const auto start = Clock::now();
    EXPECT_EQ(device.TransactInterfaceCommand(unanswered, 4, reply, sizeof reply), -1);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 95ms);
    EXPECT_LT(waited, 2s);
}

// ---------------------------------------------------------------------------
// Report descriptors

Bytes VendorDescriptor(std::initializer_list<std::pair<int, int>> inputs, bool ids) {
    // Usage Page (vendor 0xFF00), Usage 1, Collection (application), then per
    // report: [Report ID], Report Size 8, Report Count n, Usage, Input; an
    // output report of 8 bytes; End Collection.
    Bytes d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    for (const auto& input : inputs) {
        if (ids) d.insert(d.end(), {0x85, uint8_t(input.first)});
        d.insert(d.end(), {0x75, 0x08, 0x95, uint8_t(input.second), 0x09, 0x01, 0x81, 0x02});
    }
    d.insert(d.end(), {0x75, 0x08, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, 0xC0});
    return d;
}

TEST(HidDescriptorTest, InputReportLengthIsTheLongestInputReportPlusOne) {
    Bytes d = VendorDescriptor({{0, 8}}, false);
    HidBackend::ReportLayout layout = HidBackend::ParseReportDescriptor(d.data(), d.size());
    EXPECT_TRUE(layout.valid);
    EXPECT_FALSE(layout.usesReportIds);
    EXPECT_EQ(layout.inputLength, 9);

    d = VendorDescriptor({{1, 8}, {2, 32}, {3, 4}}, true);
    layout = HidBackend::ParseReportDescriptor(d.data(), d.size());
    EXPECT_TRUE(layout.valid);
    EXPECT_TRUE(layout.usesReportIds);
    EXPECT_EQ(layout.inputLength, 33);

    // Bit fields add up per report and round up to whole bytes: a boot
    // keyboard (8 modifier bits, a padding byte, 6 key bytes) and 3 bits more.
    const Bytes keyboard{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,
                         0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01,
                         0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x05, 0x07, 0x19, 0x00, 0x2A,
                         0xFF, 0x00, 0x81, 0x00, 0x95, 0x03, 0x75, 0x01, 0x81, 0x01, 0xC0};
    layout = HidBackend::ParseReportDescriptor(keyboard.data(), keyboard.size());
    EXPECT_EQ(layout.inputLength, 10);

    // Push and Pop keep the report size and count; long items are skipped.
    const Bytes pushed{0x75, 0x08, 0x95, 0x10, 0xA4, 0x95, 0x02, 0x81, 0x02,
                       0xB4, 0xFE, 0x02, 0x10, 0x81, 0x02, 0x81, 0x02};
    layout = HidBackend::ParseReportDescriptor(pushed.data(), pushed.size());
    EXPECT_EQ(layout.inputLength, 1 + 2 + 16);

    // A cut item makes the descriptor unreadable.
    const Bytes cut{0x75, 0x08, 0x96, 0x10};
    EXPECT_FALSE(HidBackend::ParseReportDescriptor(cut.data(), cut.size()).valid);
    const Bytes cutLong{0xFE, 0x05, 0x10, 0x01};
    EXPECT_FALSE(HidBackend::ParseReportDescriptor(cutLong.data(), cutLong.size()).valid);
}

TEST(HidDescriptorTest, LayoutOfAHidrawNodeFromSysfs) {
    FakeSysfs sysfs;
    const Bytes d = VendorDescriptor({{1, 16}, {2, 4}}, true);
    const std::string folder = sysfs.Sys() + "/class/hidraw/hidraw4/device";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
    const HidBackend::ReportLayout layout = HidBackend::ReportLayoutOfPath("/dev/hidraw4");
    EXPECT_TRUE(layout.valid);
    EXPECT_TRUE(layout.usesReportIds);
    EXPECT_EQ(layout.inputLength, 17);
    EXPECT_FALSE(HidBackend::ReportLayoutOfPath("/dev/hidraw5").valid);
    EXPECT_FALSE(HidBackend::ReportLayoutOfPath("sim:4400-1").valid);
}

// ---------------------------------------------------------------------------
// The Link API over a HID reader

Bytes IdentifyAnswer(const Bytes& request) {
    if (request.size() >= 3 && request[2] == 0xF0)
        return Frame::Build(Frame::Bcc, request[1], 0x00, {'3', '1', '2', 'A'});
    if (request.size() >= 3) return Frame::Build(Frame::Bcc, request[1], 0x00);
    return {};
}

class HidLinkTest : public HidTest {
protected:
    void SetUp() override {
        device = backend.Add("/dev/hidraw0", 0x1C40, 0x05AB, "4400-000123");
        reader.Attach(*device);
        reader.answer = IdentifyAnswer;
    }
    void TearDown() override { EXPECT_EQ(LinkRegistry().Count(), 0u); }
    std::shared_ptr<FakeHidDevice> device;
    FakeHidReader reader;
};

TEST_F(HidLinkTest, OpenIdentifyAndClose) {
    const int id = LinkOpen("4400-000123 HID:2", 9600, 1, 500);
    ASSERT_GE(id, CHidDevice::HandleBase);
    std::vector<Report> written = device->Written();
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written[0], R({0x00, 0x82, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    // The probe in BCC framing to address 2.
    EXPECT_EQ(written[1], R({0x00, 0x05, 0x02, 0x02, 0xF0, 0x00, 0xF2, 0x00, 0x00}));
    EXPECT_EQ(LinkIsUsb(id), 1);

    char info[8] = {};
    char name[32] = {};
    EXPECT_EQ(LinkGetDeviceInfo(id, info, sizeof info, name, sizeof name), 4);
    EXPECT_EQ(std::string(info, 4), "312A");
    EXPECT_STREQ(name, "KV-PLM72");
    EXPECT_EQ(LinkSetState(id, 0), 0);
    EXPECT_EQ(reader.Requests().back(), Frame::Build(Frame::Bcc, 2, 0xF4, {0x00}));

    const uint8_t key[] = {0x12, 0x1E, 0x00, 0x1E};
    EXPECT_EQ(LinkHidSend(id, key, sizeof key), 0);
    EXPECT_EQ(device->Written().back(), R({0x00, 0x84, 0x12, 0x1E, 0x00, 0x1E, 0x00, 0x00, 0x00}));
    const uint8_t tooLong[8] = {0x12};
    EXPECT_EQ(LinkHidSend(id, tooLong, sizeof tooLong), -1);

    reader.onInterface = [](FakeHidDevice& d, const Report& payload) {
        if (payload.size() == 2 && payload[0] == 0x11)
            d.QueueInput(R({0x00, 0x04, 0x11, payload[1], 0x20, 0x1F, 0x00, 0x00, 0x00}));
    };
    const uint8_t query[] = {0x11, 0x40};
    uint8_t reply[4] = {};
    EXPECT_EQ(LinkHidExchange(id, query, 2, reply, sizeof reply), 4);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{0x11, 0x40, 0x20, 0x1F}));

    EXPECT_EQ(LinkClose(id), 0);
    EXPECT_EQ(device->Written().back(), R({0x00, 0x82, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(device->Closes(), 1);
    EXPECT_EQ(LinkIsUsb(id), -1);
    EXPECT_EQ(LinkHidSend(id, key, sizeof key), -1);
    EXPECT_EQ(LinkHidExchange(id, query, 2, reply, sizeof reply), 0);
}

TEST_F(HidLinkTest, TwoReadersGetSessionsOfTheirOwn) {
    auto second = backend.Add("/dev/hidraw1", 0x16C0, 0x2913, "4401-000001");
    FakeHidReader other;
    other.Attach(*second);
    other.answer = [](const Bytes& request) {
        return Frame::Build(Frame::Bcc, request[1], 0x00, {'3', '0', '1', '0'});
    };
    const int first = LinkOpen("4400-000123 HID", 19200, 0, 500);
    const int next = LinkOpen("4401-000001 HID", 19200, 0, 500);
    ASSERT_GT(first, 0);
    ASSERT_GT(next, 0);
    EXPECT_NE(first, next);
    char info[8], name[32];
    ASSERT_EQ(LinkGetDeviceInfo(next, info, sizeof info, name, sizeof name), 4);
    EXPECT_STREQ(name, "KV-PL41");
    ASSERT_EQ(LinkGetDeviceInfo(first, info, sizeof info, name, sizeof name), 4);
    EXPECT_STREQ(name, "KV-PLM72");
    EXPECT_EQ(reader.Requests().size(), 2u);
    EXPECT_EQ(other.Requests().size(), 2u);
    EXPECT_EQ(LinkClose(first), 0);
    EXPECT_EQ(LinkClose(next), 0);
}

TEST_F(HidLinkTest, ProbeInCrcFramingWhenBccGetsNoAnswer) {
    reader.answer = nullptr;
    device->onWrite = [](FakeHidDevice& d, const Report& report) {
        // Answers only the CRC probe: 01 F0 00 CRC.
        if (report[1] == 0x05 && report[2] == 0x01 && report[3] == 0xF0) {
            const Bytes reply = Frame::Build(Frame::Crc, 1, 0x00, {'3', '0', '3', '0'});
            for (const Report& input : FakeHidReader::InputReports(reply, d.reportLength))
                d.QueueInput(input);
        }
    };
    const int id = LinkOpen("4400-000123 HID", 19200, 0, 400);
    ASSERT_GT(id, 0);
    EXPECT_EQ(LinkGetFraming(id), 1);
    EXPECT_EQ(LinkClose(id), 0);
}

TEST_F(HidLinkTest, NoAnswerReleasesTheDevice) {
    reader.answer = nullptr;
    EXPECT_EQ(LinkOpen("4400-000123 HID:1", 19200, 0, 50), -11);
    const std::vector<Report> written = device->Written();
    ASSERT_GE(written.size(), 4u);
    EXPECT_EQ(written.front(), R({0x00, 0x82, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(written.back(), R({0x00, 0x82, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(device->Closes(), 1);

    EXPECT_EQ(LinkOpen("4401-000123 HID:1", 19200, 0, 50), -1);
    EXPECT_EQ(LinkOpen("4400-000123 HID", 19200, 0, -1), -2);
}

TEST_F(HidLinkTest, UnpluggedReaderTimesOutAndStillCloses) {
    const int id = LinkOpen("4400-000123 HID", 19200, 0, 500);
    ASSERT_GT(id, 0);
    EXPECT_EQ(LinkIsConnected(id), 1);
    device->FailReads();
    char info[8];
    EXPECT_EQ(LinkGetDeviceInfo(id, info, sizeof info, nullptr, 0), -1);
    EXPECT_EQ(LinkGetLastError(id), 4);
    EXPECT_EQ(LinkIsConnected(id), 0);
    EXPECT_EQ(LinkIsUsb(id), 1);
    const uint8_t query[] = {0x11, 0x40};
    uint8_t reply[4];
    EXPECT_EQ(LinkHidExchange(id, query, 2, reply, sizeof reply), -1);
    EXPECT_EQ(LinkClose(id), 0);
    EXPECT_EQ(device->Closes(), 1);
}

TEST_F(HidLinkTest, HidFunctionsOnUnknownAndSerialSessions) {
    const uint8_t bytes[] = {0x11, 0x40};
    uint8_t reply[4];
    EXPECT_EQ(LinkHidExchange(12345, bytes, 2, reply, sizeof reply), 0);
    EXPECT_EQ(LinkHidSend(12345, bytes, 2), -1);
    EXPECT_EQ(LinkIsUsb(12345), -1);

    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    auto session = std::make_unique<CReaderSession>();
    ComOpenParams params;
    params.portName = name;
    ASSERT_TRUE(session->Open(params));
    const int id = session->SessionId();
    ASSERT_GT(id, 0);
    LinkRegistry().Add(std::move(session));
    EXPECT_EQ(LinkHidExchange(id, bytes, 2, reply, sizeof reply), 0);
    EXPECT_EQ(LinkHidSend(id, bytes, 2), -1);
    EXPECT_EQ(LinkIsUsb(id), 0);
    EXPECT_EQ(LinkClose(id), 0);
    close(master);
    close(slave);
}

// ---------------------------------------------------------------------------
// The hidapi binding, against stand-in libraries

template <class F> F Entry(const char* library, const char* name) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    F entry = reinterpret_cast<F>(dlsym(handle, name));
    dlclose(handle);
    return entry;
}

// Binds a stand-in for the test and the library it found at start
// afterwards.
class HidapiBindingTest : public ::testing::Test {
protected:
    void SetUp() override { HidBackend::UnbindHidapi(); }
    void TearDown() override {
        HidBackend::UnbindHidapi();
        HidBackend::BindHidapi();
    }
};

TEST_F(HidapiBindingTest, IncompleteLibraryGivesNoTransport) {
    EXPECT_FALSE(HidBackend::BindHidapi(TEST_HIDAPI_INCOMPLETE_PATH));
    EXPECT_FALSE(HidBackend::HidapiBound());
    EXPECT_FALSE(HidBackend::BindHidapi("/nonexistent/libhidapi-hidraw.so.0"));
    EXPECT_TRUE(HidPorts().empty());
    EXPECT_EQ(LinkOpen("4400-000123 HID:1", 19200, 0, 50), -1);
    CHidDevice device;
    EXPECT_FALSE(device.OpenByName("2286-???? HID"));
    uint8_t buffer[8];
    EXPECT_EQ(device.Poll(buffer, 8), 0);
    EXPECT_FALSE(device.Send(buffer, 1));
    EXPECT_EQ(device.TransactInterfaceCommand(buffer, 1, buffer, 8), -1);
}

TEST_F(HidapiBindingTest, StandInServesListOpenAndReports) {
    ASSERT_TRUE(HidBackend::BindHidapi(TEST_HIDAPI_FULL_PATH));
    // Held so that the test's entries outlive the unbinding at the end.
    void* held = dlopen(TEST_HIDAPI_FULL_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(held, nullptr);
    using Add = void (*)(const char*, unsigned short, unsigned short, const wchar_t*);
    using Queue = void (*)(const char*, const unsigned char*, size_t);
    using Written = int (*)(const char*, size_t, unsigned char*, size_t);
    using IsOpen = int (*)(const char*);
    using Calls = int (*)(int);
    auto add = Entry<Add>(TEST_HIDAPI_FULL_PATH, "test_hidapi_add");
    auto queue = Entry<Queue>(TEST_HIDAPI_FULL_PATH, "test_hidapi_queue");
    auto written = Entry<Written>(TEST_HIDAPI_FULL_PATH, "test_hidapi_written");
    auto isOpen = Entry<IsOpen>(TEST_HIDAPI_FULL_PATH, "test_hidapi_is_open");
    auto calls = Entry<Calls>(TEST_HIDAPI_FULL_PATH, "test_hidapi_calls");
    ASSERT_TRUE(add && queue && written && isOpen && calls);
    EXPECT_EQ(calls(0), 1);

    FakeSysfs sysfs;
    add("sim:1", 0x16C0, 0x2913, L"4400-000123");
    add("sim:2", 0x1C40, 0x05AD, nullptr);
    add("sim:3", 0x1C40, 0x05AE, L"");
    add("sim:4", 0x1C40, 0x05AC, L"4400-9");
    add("sim:5", 0x1C40, 0x05AF, L"4401-\u00DC\u20AC\U0001F600");
    add("/dev/hidraw6", 0x1C40, 0x05AB, L"4402-1");
    std::vector<std::string> list;
    CHidDevice device;
    device.ListDevices(list);
    EXPECT_EQ(list,
              (std::vector<std::string>{"4400-000123 HID", "2286-???? HID",
                                        "4401-\xC3\x9C\xE2\x82\xAC\xF0\x9F\x98\x80 HID", "4402-1 HID"}));

    // No descriptor: 9 bytes, no report ids; hidraw hands up 8 bytes.
    ASSERT_TRUE(device.OpenByName("4400-000123 HID"));
    EXPECT_EQ(device.ReportLength(), 9);
    EXPECT_EQ(isOpen("sim:1"), 1);
    const uint8_t three[] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(device.Send(three, 3));
    unsigned char report[64];
    ASSERT_EQ(written("sim:1", 0, report, sizeof report), 9);
    EXPECT_EQ(Bytes(report, report + 9), (Bytes{0x00, 0x03, 0xAA, 0xBB, 0xCC, 0x00, 0x00, 0x00, 0x00}));
    const unsigned char input[] = {0x02, 0x51, 0x52, 0, 0, 0, 0, 0};
    queue("sim:1", input, sizeof input);
    uint8_t buffer[10];
    ASSERT_EQ(device.Poll(buffer, 10), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{0x51, 0x52}));
    device.Close();
    EXPECT_EQ(isOpen("sim:1"), 0);

    // A descriptor with report ids: the id comes first, nothing is added.
    const Bytes d = VendorDescriptor({{1, 16}}, true);
    std::filesystem::create_directories(sysfs.Sys() + "/class/hidraw/hidraw6/device");
    std::ofstream(sysfs.Sys() + "/class/hidraw/hidraw6/device/report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
    ASSERT_TRUE(device.OpenByName("4402-1 HID"));
    EXPECT_EQ(device.ReportLength(), 17);
    unsigned char withId[17] = {0x01, 0x03, 0x61, 0x62, 0x63};
    queue("/dev/hidraw6", withId, sizeof withId);
    ASSERT_EQ(device.Poll(buffer, 10), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x61, 0x62, 0x63}));
    ASSERT_TRUE(device.SetLinkState(1));
    ASSERT_EQ(written("/dev/hidraw6", 0, report, sizeof report), 17);
    EXPECT_EQ(Bytes(report, report + 4), (Bytes{0x00, 0x82, 0x10, 0x01}));
    device.Close();

    HidBackend::UnbindHidapi();
    EXPECT_EQ(calls(1), 1);
    dlclose(held);
}

} // namespace
