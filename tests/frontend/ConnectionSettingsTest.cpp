// Connection settings: frame code arithmetic, list forms, link port names
// and the rules that check a stored name when the settings are loaded.
#include "ConnectionSettings.h"
#include "FrontendTestSupport.h"

#include <gtest/gtest.h>

namespace {

using frontend::ConnectionSettings;

TEST(ConnectionSettings, FrameCodeArithmetic) {
    EXPECT_EQ(ConnectionSettings::BaudRateOf(19201), 19200);
    EXPECT_EQ(ConnectionSettings::FrameCodeOf(19201), 1);
    EXPECT_EQ(ConnectionSettings::BaudRateOf(9603), 9600);
    EXPECT_EQ(ConnectionSettings::FrameCodeOf(9603), 3);
    EXPECT_EQ(ConnectionSettings::FrameCodeOf(2400), 0);
    // Parity wins over two stop bits.
    EXPECT_EQ(ConnectionSettings::FrameCode(0, 0), 0);
    EXPECT_EQ(ConnectionSettings::FrameCode(1, 1), 1);
    EXPECT_EQ(ConnectionSettings::FrameCode(2, 0), 2);
    EXPECT_EQ(ConnectionSettings::FrameCode(0, 1), 3);
    struct Case {
        int code, parity, stop;
    } cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 0, 1}, {7, 0, 0}};
    for (const Case& c : cases) {
        int parity = -1, stop = -1;
        ConnectionSettings::SplitFrameCode(c.code, parity, stop);
        EXPECT_EQ(parity, c.parity) << c.code;
        EXPECT_EQ(stop, c.stop) << c.code;
    }
}

TEST(ConnectionSettings, ListFormsAndLinkPortNames) {
    EXPECT_EQ(ConnectionSettings::SerialListForm("\\\\.\\COM3"), "COM3");
    EXPECT_EQ(ConnectionSettings::SerialListForm("/dev/ttyACM0 [Norda Virtual COM]"),
              "/dev/ttyACM0 [Norda Virtual COM]");
    EXPECT_EQ(ConnectionSettings::LinkPortName("COM3", 1), "COM3:1");
    EXPECT_EQ(ConnectionSettings::LinkPortName("/dev/ttyUSB0", 7), "/dev/ttyUSB0:7");
    EXPECT_EQ(ConnectionSettings::LinkPortName("USB: 4401-0001", 2), "4401-0001:2");
    EXPECT_EQ(ConnectionSettings::LinkPortName("LAN: 192.168.0.20-10001", 1), "192.168.0.20-10001:1");
    EXPECT_EQ(ConnectionSettings::LinkPortName("LAN: [LAGER1]", 1), "[LAGER1]:1");
    EXPECT_EQ(ConnectionSettings::LinkPortName("Bluetooth: BT-Modul", 1), "BT-Modul:1");
}

TEST(ConnectionSettings, LoadsDefaultsAndWritesCom1ForAnEmptyName) {
    ClearSettings();
    FakeLists lists;
    appkit::SettingsStore store(appkit::Program::Morvane);
    ConnectionSettings settings;
    settings.Load(store, lists);
    EXPECT_EQ(settings.name, "COM1");
    EXPECT_EQ(settings.baudrate, 19200);
    EXPECT_EQ(settings.timeout, 500);
    EXPECT_EQ(settings.address, 1);
    EXPECT_FALSE(settings.ethernet);
    EXPECT_FALSE(settings.usb || settings.network);
    EXPECT_EQ(StoredName(), "COM1");
    EXPECT_EQ(lists.usbCalls + lists.lanCalls, 0);
}

TEST(ConnectionSettings, AStoredTimeoutOutsideItsRangeConnectsWithTheDefault) {
    // 2000000000 ms would make a silent reader's every wait last 23 days; a
    // negative one made every open fail.
    ConnectionSettings settings;
    settings.name = "/dev/ttyUSB0";
    const struct {
        int stored, used;
    } cases[] = {{10, 10},      {300000, 300000}, {2500, 2500}, {9, 500},
                 {300001, 500}, {0, 500},         {-5, 500},    {2000000000, 500}};
    for (const auto& c : cases) {
        settings.timeout = c.stored;
        EXPECT_EQ(settings.ReplyTimeout(), c.used) << c.stored;
        EXPECT_EQ(settings.Request().timeoutMs, c.used) << c.stored;
        EXPECT_EQ(settings.timeout, c.stored); // the stored value itself stays
    }
}

TEST(ConnectionSettings, AGoneUsbDeviceGivesWayToTheFirstOnePresent) {
    StorePort("USB: 4401-0001");
    FakeLists lists;
    lists.SetUsb({"4402-0005", "4403-0009"});
    appkit::SettingsStore store(appkit::Program::Morvane);
    ConnectionSettings settings;
    settings.Load(store, lists);
    EXPECT_EQ(settings.name, "USB: 4402-0005");
    EXPECT_TRUE(settings.usb);
    EXPECT_EQ(StoredName(), "USB: 4402-0005");

    // Present: kept. No USB device at all: the name is cleared.
    lists.SetUsb({"4403-0009", "4402-0005"});
    settings.Load(store, lists);
    EXPECT_EQ(settings.name, "USB: 4402-0005");
    lists.SetUsb({});
    settings.Load(store, lists);
    EXPECT_EQ(settings.name, "");
    EXPECT_FALSE(settings.usb);
    EXPECT_EQ(StoredName(), "");
}

TEST(ConnectionSettings, ANetworkNameIsCheckedOnlyWithEthernetOn) {
    StorePort("LAN: [LAGER1]", 19200, 500, 1, 0);
    FakeLists lists;
    lists.lan = {"[LAGER2]"};
    appkit::SettingsStore store(appkit::Program::Morvane);
    ConnectionSettings settings;
    settings.Load(store, lists);
    EXPECT_EQ(lists.lanCalls, 0);
    EXPECT_EQ(settings.name, "LAN: [LAGER1]");
    EXPECT_FALSE(settings.network);

    store.WriteInt("Port", "EthernetAktiv", 1);
    settings.Load(store, lists);
    EXPECT_EQ(lists.lanCalls, 1);
    EXPECT_EQ(settings.name, "LAN: [LAGER2]");
    EXPECT_TRUE(settings.network);
}

} // namespace
