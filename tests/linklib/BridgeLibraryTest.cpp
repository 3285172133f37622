// The two USB bridge bindings: binding order, debug texts, unbound entries,
// and the routes of our Linux layer over fake sysfs trees and a pty.
#include "ComPort.h"
#include "DebugLog.h"
#include "FakeSysfs.h"
#include "Frame.h"
#include "FtdiLibrary.h"
#include "LinkApi.h"
#include "PortList.h"
#include "SiUsbLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> logLines;
void CollectLog(const std::string& line) {
    logLines.push_back(line);
}

struct LogCapture {
    LogCapture() {
        logLines.clear();
        DebugLog::SetSink(&CollectLog);
    }
    ~LogCapture() { DebugLog::SetSink(nullptr); }
};

// A module of the bridge layer without one entry.
const char* missingEntry = nullptr;
CFtdiLibrary::AnyFunction FtdiWithoutEntry(const char* name) {
    return std::strcmp(name, missingEntry) == 0 ? nullptr : FtdiLayer::Lookup(name);
}
CFtdiLibrary::Lookup LoadFtdiWithoutEntry(const char*) {
    return &FtdiWithoutEntry;
}
CFtdiLibrary::Lookup LoadNothing(const char*) {
    return nullptr;
}
CSiUsbLibrary::AnyFunction SiUsbWithoutEntry(const char* name) {
    return std::strcmp(name, missingEntry) == 0 ? nullptr : SiUsbLayer::Lookup(name);
}
CSiUsbLibrary::Lookup LoadSiUsbWithoutEntry(const char*) {
    return &SiUsbWithoutEntry;
}
CSiUsbLibrary::Lookup LoadNoSiUsb(const char*) {
    return nullptr;
}

TEST(FtdiLibrary, BindsEveryEntryOfOurLayerInOrder) {
    LogCapture log;
    int count = 0;
    const char* const* names = CFtdiLibrary::EntryNames(&count);
    ASSERT_EQ(count, 27);
    EXPECT_STREQ(names[0], "FT_SetBaudRate");
    EXPECT_STREQ(names[8], "FT_W32_CreateFile");
    EXPECT_STREQ(names[26], "FT_W32_WaitCommEvent");
    for (int i = 0; i < count; ++i)
        EXPECT_NE(FtdiLayer::Lookup(names[i]), nullptr) << names[i];
    CFtdiLibrary library;
    library.Load();
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_TRUE(logLines.empty());
}

TEST(FtdiLibrary, AMissingEntryWritesOnlyItsOwnText) {
    LogCapture log;
    missingEntry = "FT_ListDevices";
    CFtdiLibrary::SetModuleLoader(&LoadFtdiWithoutEntry);
    CFtdiLibrary library;
    library.Load();
    CFtdiLibrary::SetModuleLoader(nullptr);
    EXPECT_EQ(logLines, std::vector<std::string>{"Fehler: Kann FT_ListDevices nicht initialisieren"});
    uint32_t count = 99;
    EXPECT_EQ(library.FT_ListDevices(&count, nullptr, Ftdi::ListNumberOnly), 1u);
    EXPECT_EQ(library.FT_CreateDeviceInfoList(&count), Ftdi::Ok);
}

TEST(FtdiLibrary, WithoutTheModuleEveryCallFailsWithItsValue) {
    LogCapture log;
    FakeSysfs sys;
    const std::string usb = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    sys.UsbSerialTty(usb, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    CFtdiLibrary::SetModuleLoader(&LoadNothing);
    CFtdiLibrary library;
    uint32_t count = 7;
    EXPECT_EQ(library.FT_CreateDeviceInfoList(&count), 1u);
    Ftdi::DeviceInfoNode node;
    EXPECT_EQ(library.FT_GetDeviceInfoList(&node, &count), 1u);
    EXPECT_EQ(library.FT_W32_CreateFile("4401-0001", 0, 0, nullptr, 0, Ftdi::OpenBySerialNumber, nullptr),
              Ftdi::InvalidHandle);
    EXPECT_EQ(library.FT_SetLatencyTimer(5, 2), 1u);
    EXPECT_EQ(library.FT_W32_PurgeComm(5, 0x0F), 0);
    EXPECT_EQ(library.FT_W32_GetLastError(5), 0u);
    std::vector<std::string> serials;
    PortList::ListFtdiDevices(serials);
    CFtdiLibrary::SetModuleLoader(nullptr);
    EXPECT_TRUE(serials.empty());
    EXPECT_FALSE(library.IsLoaded());
    ASSERT_GE(logLines.size(), 3u);
    EXPECT_EQ(logLines[0], "Fehler: Kann Ftd2xx.dll nicht laden");
    EXPECT_EQ(logLines[1], "FT_CreateDeviceInfoList ist nicht vorhanden!");
    EXPECT_EQ(logLines[3], "FT_GetDeviceInfoList ist nicht vorhanden!");
}

TEST(FtdiLibrary, ListsTheSerialNumbersOfFtdiDevicesOnly) {
    FakeSysfs sys;
    const std::string one = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    sys.UsbSerialTty(one, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    const std::string dual = sys.UsbDevice("1-2", "0403", "6010", "Dual RS232", "FT77");
    sys.UsbSerialTty(dual, "1-2:1.1", "ttyUSB2", "ftdi_sio");
    sys.UsbSerialTty(dual, "1-2:1.0", "ttyUSB1", "ftdi_sio");
    const std::string blank = sys.UsbDevice("1-3", "0403", "6001", "No serial", "");
    sys.UsbSerialTty(blank, "1-3:1.0", "ttyUSB3", "ftdi_sio");
    const std::string cp = sys.UsbDevice("1-4", "10c4", "ea60", "CP2102", "0001");
    sys.UsbSerialTty(cp, "1-4:1.0", "ttyUSB4", "cp210x");

    std::vector<std::string> serials;
    PortList::ListFtdiDevices(serials);
    EXPECT_EQ(serials, (std::vector<std::string>{"4401-0001", "FT77A", "FT77B"}));
    EXPECT_EQ(FtdiLayer::TtyOfSerialNumber("FT77B"), sys.Dev() + "/ttyUSB2");
    EXPECT_EQ(FtdiLayer::TtyOfSerialNumber("nothing"), "");
}

// A pty that stands in for the bridge's tty, answering the identification.
struct BridgeReader {
    int master = -1, slave = -1;
    std::string path;
    std::atomic<bool> stop{false};
    std::thread thread;

    BridgeReader() {
        char name[64];
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
        fcntl(master, F_SETFL, O_NONBLOCK);
        thread = std::thread([this] { Run(); });
    }
    ~BridgeReader() {
        stop = true;
        thread.join();
        close(master);
        close(slave);
    }
    void Run() {
        Frame::Bytes pending;
        while (!stop) {
            uint8_t buffer[64];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {
                usleep(1000);
                continue;
            }
            pending.insert(pending.end(), buffer, buffer + n);
            while (!pending.empty() && pending[0] != Frame::StartByte)
                pending.erase(pending.begin());
            if (pending.size() >= 4 && Frame::IsComplete(Frame::Bcc, pending)) {
                const uint8_t address = pending[1], command = pending[2];
                pending.clear();
                if (command != 0xF0) continue;
                const Frame::Bytes reply = Frame::Build(Frame::Bcc, address, 0x00, {'3', '0', '2', '5'});
                (void)!write(master, reply.data(), reply.size());
            }
        }
    }
    speed_t Speed() {
        termios settings{};
        tcgetattr(slave, &settings);
        return cfgetospeed(&settings);
    }
};

TEST(FtdiLibrary, ASerialNumberOpensItsTtyWithTheLatencyTimerAt2ms) {
    FakeSysfs sys;
    const std::string usb = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    const std::string port = sys.UsbSerialTty(usb, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    BridgeReader reader;
    std::filesystem::create_symlink(reader.path, sys.Dev() + "/ttyUSB0");

    CComPort comPort;
    ComOpenParams params;
    params.portName = "4401-0001";
    ASSERT_TRUE(comPort.Open(params));
    EXPECT_TRUE(comPort.IsBridge());
    EXPECT_EQ(comPort.PortNumber(), 4401);
    EXPECT_EQ(FakeSysfs::Read(port + "/latency_timer"), "2");

    // An open device is not offered again, and cannot be opened twice.
    std::vector<std::string> serials;
    PortList::ListFtdiDevices(serials);
    EXPECT_TRUE(serials.empty());
    CComPort second;
    EXPECT_FALSE(second.Open(params));
    comPort.Close();
    PortList::ListFtdiDevices(serials);
    EXPECT_EQ(serials, std::vector<std::string>{"4401-0001"});

    // Through the Link API: 19200 whatever the caller asks, and a USB session.
    const int id = LinkOpen("4401-0001:1", 9600, 0, 500);
    ASSERT_GT(id, 0);
    EXPECT_EQ(LinkIsUsb(id), 1);
    EXPECT_EQ(reader.Speed(), B19200);
    char hid[256];
    EXPECT_EQ(LinkListHidPorts(hid, sizeof hid), 1); // the open device is not listed
    EXPECT_EQ(LinkClose(id), 0);
    EXPECT_EQ(LinkListHidPorts(hid, sizeof hid), int(std::strlen("4401-0001") + 2));
    EXPECT_STREQ(hid, "4401-0001");
}

TEST(FtdiLibrary, AnUnknownSerialNumberDoesNotOpen) {
    FakeSysfs sys;
    CComPort comPort;
    ComOpenParams params;
    params.portName = "4401-9999";
    EXPECT_FALSE(comPort.Open(params));
    EXPECT_EQ(LinkOpen("4401-9999", 19200, 0, 100), -1);
}

TEST(SiUsbLibrary, BindsInOrderAndFailsWithStatus1WhenUnbound) {
    LogCapture log;
    int count = 0;
    const char* const* names = CSiUsbLibrary::EntryNames(&count);
    ASSERT_EQ(count, 22);
    EXPECT_STREQ(names[0], "SI_GetNumDevices");
    EXPECT_STREQ(names[21], "SI_GetDriverVersion");

    missingEntry = "SI_ReadLatch";
    CSiUsbLibrary::SetModuleLoader(&LoadSiUsbWithoutEntry);
    {
        CSiUsbLibrary library;
        library.Load();
        EXPECT_EQ(logLines, std::vector<std::string>{"Fehler: Kann SI_ReadLatch nicht initialisieren"});
        uint8_t latch = 0;
        EXPECT_EQ(library.SI_ReadLatch(3, &latch), 1);
    }
    logLines.clear();
    CSiUsbLibrary::SetModuleLoader(&LoadNoSiUsb);
    {
        CSiUsbLibrary library;
        uint32_t devices = 5;
        EXPECT_EQ(library.SI_GetNumDevices(&devices), 1);
        SiUsb::Handle handle = 0;
        EXPECT_EQ(library.SI_Open(0, &handle), 1);
        EXPECT_EQ(library.SI_SetBaudRate(3, 921600), 1);
    }
    CSiUsbLibrary::SetModuleLoader(nullptr);
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines[0], "Fehler: Kann SiUSBXp.dll nicht laden");
}

TEST(SiUsbLibrary, FindsTheCp210xTtysAndTheirStrings) {
    FakeSysfs sys;
    const std::string ftdi = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    sys.UsbSerialTty(ftdi, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    const std::string adapter = sys.UsbDevice("1-2", "10c4", "ea60", "BT Adapter", "0042");
    sys.UsbSerialTty(adapter, "1-2:1.0", "ttyUSB1", "cp210x");

    CSiUsbLibrary library;
    uint32_t count = 0;
    ASSERT_EQ(library.SI_GetNumDevices(&count), SiUsb::Success);
    ASSERT_EQ(count, 1u);
    char text[SiUsb::MaxDeviceString];
    ASSERT_EQ(library.SI_GetProductString(0, text, SiUsb::ReturnDescription), SiUsb::Success);
    EXPECT_STREQ(text, "BT Adapter");
    ASSERT_EQ(library.SI_GetProductString(0, text, SiUsb::ReturnSerialNumber), SiUsb::Success);
    EXPECT_STREQ(text, "0042");
    ASSERT_EQ(library.SI_GetProductString(0, text, SiUsb::ReturnLinkName), SiUsb::Success);
    EXPECT_EQ(std::string(text), sys.Dev() + "/ttyUSB1");
    EXPECT_EQ(library.SI_GetProductString(1, text, SiUsb::ReturnDescription), SiUsb::DeviceNotFound);

    // Over a pty standing in for the adapter's tty.
    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::filesystem::create_symlink(name, sys.Dev() + "/ttyUSB1");
    SiUsb::Handle handle = -1;
    ASSERT_EQ(library.SI_Open(0, &handle), SiUsb::Success);
    EXPECT_EQ(library.SI_SetBaudRate(handle, 921600), SiUsb::Success);
    EXPECT_EQ(library.SI_SetLineControl(handle, 0x0800), SiUsb::Success);
    EXPECT_EQ(library.SI_SetLineControl(handle, 0x0801), SiUsb::InvalidParameter);
    EXPECT_EQ(library.SI_SetTimeouts(200, 200), SiUsb::Success);
    uint32_t done = 0;
    ASSERT_EQ(library.SI_Write(handle, "AT", 2, &done), SiUsb::Success);
    char got[3] = {};
    ASSERT_EQ(read(master, got, 2), 2);
    EXPECT_STREQ(got, "AT");
    ASSERT_EQ(write(master, "OK", 2), 2);
    uint32_t queued = 0, status = 0;
    for (int i = 0; i < 200 && queued < 2; ++i) {
        library.SI_CheckRXQueue(handle, &queued, &status);
        if (queued < 2) usleep(1000);
    }
    EXPECT_EQ(queued, 2u);
    EXPECT_EQ(status, SiUsb::RxReady);
    char in[2];
    EXPECT_EQ(library.SI_Read(handle, in, 2, &done), SiUsb::Success);
    EXPECT_EQ(std::string(in, 2), "OK");
    EXPECT_EQ(library.SI_Read(handle, in, 1, &done), SiUsb::ReadTimedOut);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(library.SI_Close(handle), SiUsb::Success);
    EXPECT_EQ(library.SI_Close(handle), SiUsb::InvalidHandle);
    close(master);
    close(slave);
}

} // namespace
