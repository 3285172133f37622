#include "LinkVocabulary.h"
#include "ComPort.h"
#include "LanRecord.h"
#include "LinkRegistry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LinkPort, SplitsTheBusAddress) {
    int address = 0;
    EXPECT_EQ(LinkPort::SplitAddress("COM3:2", address), "COM3");
    EXPECT_EQ(address, 2);
    EXPECT_EQ(LinkPort::SplitAddress("COM3", address), "COM3");
    EXPECT_EQ(address, 1);
    EXPECT_EQ(LinkPort::SplitAddress("COM3:", address), "COM3:");
    EXPECT_EQ(address, 1);
    EXPECT_EQ(LinkPort::SplitAddress("/dev/pts/3:7", address), "/dev/pts/3");
    EXPECT_EQ(address, 7);
    // A device path may hold colons of its own.
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
    EXPECT_EQ(LinkPort::SplitAddress(byPath, address), byPath);
    EXPECT_EQ(address, 1);
    EXPECT_EQ(LinkPort::SplitAddress(byPath + ":3", address), byPath);
    EXPECT_EQ(address, 3);
}

TEST(LinkPort, ChoosesTheTransport) {
    using K = LinkPort::Kind;
    EXPECT_EQ(LinkPort::Transport("COM3"), K::Serial);
    EXPECT_EQ(LinkPort::Transport("192.168.0.7-10001"), K::Lan);
    EXPECT_EQ(LinkPort::Transport("[LAGER1]"), K::Lan);
    EXPECT_EQ(LinkPort::Transport(".1.2.3"), K::Serial);
    EXPECT_EQ(LinkPort::Transport("4400-1234 HID"), K::Hid);
    EXPECT_EQ(LinkPort::Transport("COM4 BT"), K::Bluetooth);
    EXPECT_EQ(LinkPort::Transport("COM4 BTW"), K::Refused);
    EXPECT_EQ(LinkPort::Transport("/dev/serial/by-id/usb-BTA_1.2.3.4-if00"), K::Serial);
    EXPECT_EQ(LinkPort::Transport("/dev/ttyUSB0 BT"), K::Bluetooth);
    EXPECT_TRUE(LinkPort::CountsAsCom("com7"));
    EXPECT_TRUE(LinkPort::CountsAsCom("/dev/ttyUSB0"));
    EXPECT_FALSE(LinkPort::CountsAsCom("FT123456"));
}

TEST(LinkPort, ListFormsAndLinkPortNames) {
    EXPECT_EQ(LinkPort::LinkPortName("USB: 4400-0001 HID", 2), "4400-0001 HID:2");
    EXPECT_EQ(LinkPort::LinkPortName("LAN: 192.168.0.5", 1), "192.168.0.5:1");
    EXPECT_EQ(LinkPort::LinkPortName("Bluetooth: COM4 BT", 1), "COM4 BT:1");
    EXPECT_EQ(LinkPort::LinkPortName("COM3", 1), "COM3:1");
    EXPECT_EQ(LinkPort::SerialListForm("\\\\.\\COM12"), "COM12");
    EXPECT_EQ(LinkPort::SerialListForm("/dev/ttyUSB0"), "/dev/ttyUSB0");
    // The prefix counts only at the start, with its blank.
    EXPECT_FALSE(LinkPort::IsUsbListForm("USB:4400"));
    EXPECT_FALSE(LinkPort::IsLanListForm("COM1 LAN: "));
    EXPECT_TRUE(LinkPort::IsBluetoothListForm("Bluetooth: x"));
    // The whole link port name: a HID marker inside a path needs its blank.
    EXPECT_EQ(LinkPort::TransportOf("4400-0001 HID:1"), LinkPort::Kind::Hid);
    EXPECT_EQ(LinkPort::TransportOf("/dev/serial/by-id/usb-HID-if00:1"), LinkPort::Kind::Serial);
    // ... which still counts as an HID reader for the connection flags.
    EXPECT_TRUE(LinkPort::NamesHidReader("/dev/serial/by-id/usb-HID-if00:1"));
    EXPECT_FALSE(LinkPort::NamesHidReader("/dev/ttyUSB0:1"));
    EXPECT_EQ(LinkPort::TransportOf("[LAGER1]:3"), LinkPort::Kind::Lan);
}

TEST(LinkPort, ModeSwitchEntries) {
    EXPECT_TRUE(LinkPort::IsVirtualComEntry("COM5 [Norda Virtual COM Port]"));
    EXPECT_TRUE(LinkPort::IsVirtualComEntry("/dev/ttyACM0 [Norda Virtual COM]"));
    EXPECT_FALSE(LinkPort::IsVirtualComEntry("USB: 4400 [Norda Virtual COM]"));
    EXPECT_FALSE(LinkPort::IsVirtualComEntry("COM5"));
    EXPECT_TRUE(LinkPort::IsDualModeHidEntry("USB: 4400-0001 HID"));
    EXPECT_FALSE(LinkPort::IsDualModeHidEntry("USB: 4401-0001 HID"));
    EXPECT_FALSE(LinkPort::IsDualModeHidEntry("4400-0001 HID"));
}

TEST(LinkVocabulary, PackedBaudAndConnectionFlags) {
    EXPECT_EQ(PackedBaud::Rate(9603), 9600);
    EXPECT_EQ(PackedBaud::FrameCode(9603), 3);
    EXPECT_EQ(PackedBaud::Rate(19200), 19200);
    EXPECT_EQ(PackedBaud::FrameCode(19201), 1);
    EXPECT_EQ(PackedBaud::Pack(4800, 2), 4802);
    EXPECT_EQ(ConnectionFlag::Connected, 0x1F000);
    EXPECT_EQ(ConnectionFlag::OfConnection(false, false), 0x1F000);
    EXPECT_EQ(ConnectionFlag::OfConnection(true, false), 0x1F200);
    EXPECT_EQ(ConnectionFlag::OfConnection(false, true), 0x1F400);
    EXPECT_EQ(PortSettings::Path(PortSettings::Address), "Port/Adresse");
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

TEST(LanRecord, DecodesRecordZero) {
    unsigned char record[LanRecord::Size] = {};
    record[0] = 192, record[1] = 168, record[2] = 0, record[3] = 7;
    record[6] = 8;
    record[20] = 0x11, record[21] = 0x27;     // 10001
    std::memcpy(record + 112, "LAGER123", 8); // all eight used: no terminator
    LanRecord::Settings settings = LanRecord::Decode(record, sizeof record);
    EXPECT_FALSE(settings.dhcp);
    EXPECT_EQ(LanRecord::Dotted(settings.address), "192.168.0.7");
    EXPECT_EQ(settings.hostBits, 8);
    EXPECT_EQ(settings.port, 10001);
    EXPECT_EQ(settings.dhcpName, "LAGER123");

    std::memset(record, 0, 4);
    EXPECT_TRUE(LanRecord::Decode(record, sizeof record).dhcp);
    // Too short for a record: nothing is read from it.
    settings = LanRecord::Decode(record, sizeof record - 1);
    EXPECT_EQ(settings.port, 0);
    EXPECT_EQ(settings.dhcpName, "");
}

TEST(LanRecord, MasksAndHostBits) {
    EXPECT_EQ(LanRecord::Dotted(LanRecord::Mask(8)), "255.255.255.0");
    EXPECT_EQ(LanRecord::Dotted(LanRecord::Mask(16)), "255.255.0.0");
    EXPECT_EQ(LanRecord::Dotted(LanRecord::Mask(0)), "255.255.255.255");
    EXPECT_EQ(LanRecord::Dotted(LanRecord::Mask(32)), "0.0.0.0");
    EXPECT_EQ(LanRecord::HostBits({255, 255, 255, 0}), 8);
    EXPECT_EQ(LanRecord::HostBits({255, 255, 0, 0}), 16);
    EXPECT_EQ(LanRecord::HostBits({255, 255, 255, 252}), 2);
    EXPECT_EQ(LanRecord::HostBits({0, 0, 0, 0}), 32);
    for (int bits = 0; bits <= 32; ++bits)
        EXPECT_EQ(LanRecord::HostBits(LanRecord::Mask(bits)), bits);
}

TEST(LanRecord, DeviceNameOfRecordTwo) {
    unsigned char record[128] = {};
    std::memcpy(record + 93, "KV-PLM41 LAN", 12);
    EXPECT_EQ(LanRecord::DeviceName(record, sizeof record), "KV-PLM41 LAN");
    EXPECT_EQ(LanRecord::DeviceName(record, 125), ""); // must be longer than 125
    // Unterminated up to the end of the record: the name ends there.
    std::memset(record + 93, 'A', sizeof record - 93);
    EXPECT_EQ(LanRecord::DeviceName(record, sizeof record), std::string(sizeof record - 93, 'A'));
}

TEST(LanRecord, SettingsTextsAreChecked) {
    EXPECT_EQ(LanRecord::AddressTextProblem("192.168.0.20-10001"), nullptr);
    EXPECT_EQ(LanRecord::AddressTextProblem("127.0.0.2"), nullptr);
    for (const char* bad : {"", "192.168.0", "192.168.0.256", "1.2.3.4.5", "a.b.c.d", "0.0.0.0", "1.2.3.4-",
                            "1.2.3.4-0", "1.2.3.4-65536", "1.2.3.4-10x", " 1.2.3.4", "1..2.3", "0001.2.3.4"})
        EXPECT_NE(LanRecord::AddressTextProblem(bad), nullptr) << bad;
    EXPECT_EQ(LanRecord::MaskProblem("255.255.255.0"), nullptr);
    EXPECT_EQ(LanRecord::MaskProblem("0.0.0.0"), nullptr);
    EXPECT_NE(LanRecord::MaskProblem("255.0.255.0"), nullptr);
    EXPECT_NE(LanRecord::MaskProblem("255.255.255"), nullptr);
    EXPECT_EQ(LanRecord::DhcpNameProblem("LAGER1"), nullptr);
    EXPECT_EQ(LanRecord::DhcpNameProblem("ABCDEFGH"), nullptr);
    for (const char* bad : {"", "ABCDEFGHI", "A B", "A]", "[A", "A:1", "Z\xC3\xA4"})
        EXPECT_NE(LanRecord::DhcpNameProblem(bad), nullptr) << bad;
}
