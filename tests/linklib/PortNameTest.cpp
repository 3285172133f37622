#include "PortName.h"
#include "ComPort.h"
#include "LinkRegistry.h"

#include <gtest/gtest.h>

namespace {

TEST(PortName, SplitsTheBusAddress) {
    int address = 0;
    EXPECT_EQ(PortName::SplitAddress("COM3:2", address), "COM3");
    EXPECT_EQ(address, 2);
    EXPECT_EQ(PortName::SplitAddress("COM3", address), "COM3");
    EXPECT_EQ(address, 1);
    EXPECT_EQ(PortName::SplitAddress("COM3:", address), "COM3:");
    EXPECT_EQ(address, 1);
    EXPECT_EQ(PortName::SplitAddress("/dev/pts/3:7", address), "/dev/pts/3");
    EXPECT_EQ(address, 7);
    // A device path may hold colons of its own.
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
    EXPECT_EQ(PortName::SplitAddress(byPath, address), byPath);
    EXPECT_EQ(address, 1);
    EXPECT_EQ(PortName::SplitAddress(byPath + ":3", address), byPath);
    EXPECT_EQ(address, 3);
}

TEST(PortName, ChoosesTheTransport) {
    using K = PortName::Kind;
    EXPECT_EQ(PortName::Transport("COM3"), K::Serial);
    EXPECT_EQ(PortName::Transport("192.168.0.7-10001"), K::Lan);
    EXPECT_EQ(PortName::Transport("[LAGER1]"), K::Lan);
    EXPECT_EQ(PortName::Transport(".1.2.3"), K::Serial);
    EXPECT_EQ(PortName::Transport("4400-1234 HID"), K::Hid);
    EXPECT_EQ(PortName::Transport("COM4 BT"), K::Bluetooth);
    EXPECT_EQ(PortName::Transport("COM4 BTW"), K::Refused);
    EXPECT_EQ(PortName::Transport("/dev/serial/by-id/usb-BTA_1.2.3.4-if00"), K::Serial);
    EXPECT_EQ(PortName::Transport("/dev/ttyUSB0 BT"), K::Bluetooth);
    EXPECT_TRUE(PortName::CountsAsCom("com7"));
    EXPECT_TRUE(PortName::CountsAsCom("/dev/ttyUSB0"));
    EXPECT_FALSE(PortName::CountsAsCom("FT123456"));
}

TEST(ComPortName, ClassifiesComNamesPathsAndBridgeSerials) {
    using K = CComPort::NameInfo;
    struct Case {
        const char* name;
        K::Kind kind;
        const char* open;
        int number;
    } cases[] = {
        {"COM3", K::Com, "/dev/ttyS2", 3},
        {"com12", K::Com, "/dev/ttyS11", 12},
        {"COM12x", K::Com, "/dev/ttyS11", 12},
        {"\\\\.\\COM3", K::Com, "/dev/ttyS2", 3},
        {"COM5 [Norda Virtual COM Port]", K::Com, "/dev/ttyS4", 5},
        {"COM0", K::Bridge, "COM0", 0},
        {"COM", K::Bridge, "COM", 0},
        {"12345678", K::Bridge, "12345678", 12345678},
        {"/dev/pts/4", K::DevicePath, "/dev/pts/4", 0},
        {"/dev/pts/4 [Simulated KV-PLM41]", K::DevicePath, "/dev/pts/4", 0},
        // An empty bus address ("COM3:" opens COM3) leaves the path as it is.
        {"/dev/pts/4:", K::DevicePath, "/dev/pts/4", 0},
    };
    for (const auto& c : cases) {
        const auto info = CComPort::ClassifyName(c.name);
        EXPECT_EQ(info.kind, c.kind) << c.name;
        EXPECT_EQ(info.openName, c.open) << c.name;
        EXPECT_EQ(info.portNumber, c.number) << c.name;
    }
}

TEST(DeviceList, CopiesWhileEntriesFit) {
    char buffer[10];
    EXPECT_EQ(CopyDeviceList({"abcd", "efghi"}, buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), std::string("abcd\0\0", 6));
    EXPECT_EQ(CopyDeviceList({}, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(CopyDeviceList({"a", "b"}, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), std::string("a\0b\0\0", 5));
}

} // namespace
