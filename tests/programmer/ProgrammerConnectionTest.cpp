#include "ProgrammerConnection.h"

#include <gtest/gtest.h>

using namespace Programmer;

namespace {

TEST(DeviceIdentity, TypeAndMinorVersion) {
    const DeviceIdentity plm41 = DeviceIdentity::Parse("3025", 4);
    EXPECT_EQ(plm41.type, 0x302);
    EXPECT_EQ(plm41.minor, 5);
    EXPECT_TRUE(plm41.IsProgrammer());

    const DeviceIdentity reader = DeviceIdentity::Parse("301A", 4);
    EXPECT_EQ(reader.type, 0x301);
    EXPECT_EQ(reader.minor, 10);
    EXPECT_FALSE(reader.IsProgrammer());

    EXPECT_FALSE(DeviceIdentity::Parse("3101", 4).IsProgrammer()); // low bits 0
    EXPECT_TRUE(DeviceIdentity::Parse("3131", 4).IsProgrammer());
    EXPECT_TRUE(DeviceIdentity::Parse("30f1", 4).IsProgrammer()); // lower-case digits
}

TEST(DeviceIdentity, ShortOrOddReplies) {
    EXPECT_EQ(DeviceIdentity::Parse("30", 2).type, 0x30);
    EXPECT_EQ(DeviceIdentity::Parse("302", 3).minor, 0);
    EXPECT_EQ(DeviceIdentity::Parse("3X25", 4).type, 0x3); // reading stops at the first non-digit
    EXPECT_EQ(DeviceIdentity::Parse("302Z", 4).minor, 0);
}

TEST(ProgrammerConnection, Titles) {
    EXPECT_EQ(ProgrammerConnection::IdleTitle("Norda KV-PLM Programmer", "2.00"),
              "Norda KV-PLM Programmer V2.00 <>");
    const DeviceIdentity identity = DeviceIdentity::Parse("3025", 4);
    EXPECT_EQ(ProgrammerConnection::DeviceTitle("Norda KV-PLM Programmer", "2.00", "KV-PLM41", false,
                                                "COM3:1", identity),
              "Norda KV-PLM Programmer V2.00 <KV-PLM41 COM3:1  Firmware V1.05>");
    EXPECT_EQ(ProgrammerConnection::DeviceTitle("P", "2.00", "KV-PLM72", true, "4401-HID:1",
                                                DeviceIdentity::Parse("312C", 4)),
              "P V2.00 <KV-PLM72 USB:4401-HID:1  Firmware V1.12>");
}

TEST(ProgrammerConnection, UnopenablePortShowsTheLibraryText) {
    struct Recorder : ProgrammerHost {
        std::vector<std::string> messages, titles;
        void ShowMessage(const std::string& text) override { messages.push_back(text); }
        void SetTitle(const std::string& title) override { titles.push_back(title); }
    } host;
    const ConnectOutcome outcome =
        ProgrammerConnection::Connect({"/nonexistent/tty-for-kvplm:1", 19200, 0, 100}, "P", "2.00", host);
    EXPECT_EQ(outcome.session, 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Fehler beim Port öffnen"});
    EXPECT_EQ(host.titles, std::vector<std::string>{"P V2.00 <>"});
    EXPECT_EQ(outcome.title, "P V2.00 <>");
}

TEST(ProgrammerConnection, ABluetoothConnectShowsTheWaitCursorUntilItsOutcome) {
    struct Recorder : ProgrammerHost {
        std::vector<std::string> events;
        void ShowMessage(const std::string& text) override { events.push_back("message " + text); }
        void SetBusy(bool on) override { events.push_back(on ? "busy" : "idle"); }
    };
    // The cursor is gone before the message box shows.
    Recorder bluetooth;
    EXPECT_EQ(ProgrammerConnection::Connect({"/nonexistent/tty-for-kvplm BT:1", 19200, 0, 100}, "P", "2.00",
                                            bluetooth)
                  .session,
              0);
    EXPECT_EQ(bluetooth.events,
              (std::vector<std::string>{"busy", "idle", "message Fehler beim Port öffnen"}));

    // Serial ports connect at once: no cursor ("BT" inside a path without a
    // blank is no Bluetooth marker).
    Recorder serial;
    ProgrammerConnection::Connect({"/nonexistent/usb-BTXX-tty-for-kvplm:1", 19200, 0, 100}, "P", "2.00",
                                  serial);
    EXPECT_EQ(serial.events, std::vector<std::string>{"message Fehler beim Port öffnen"});
}

TEST(ProgrammerConnection, DisconnectOfAnUnknownSessionShowsItsText) {
    struct Recorder : ProgrammerHost {
        std::vector<std::string> messages;
        void ShowMessage(const std::string& text) override { messages.push_back(text); }
    } host;
    int session = 0;
    EXPECT_TRUE(ProgrammerConnection::Disconnect(session, host));
    EXPECT_TRUE(host.messages.empty());
    session = 0x7ffffff0; // names no session
    EXPECT_FALSE(ProgrammerConnection::Disconnect(session, host));
    EXPECT_EQ(session, 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Fehler beim Port öffnen"});
}

} // namespace
