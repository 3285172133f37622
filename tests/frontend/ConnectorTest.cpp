// The connect procedures against the simulated reader on a pseudo-terminal.
#include "Connector.h"
#include "FakeSysfs.h"
#include "FrontendTestSupport.h"
#include "LinkApi.h"
#include "PtySimulator.h"
#include "SimReader.h"
#include "Texts.h"

#include <gtest/gtest.h>

#include <chrono>

#include <memory>

namespace {

using frontend::Connection;
using frontend::Connector;

class ConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        ClearSettings();
    }
    void TearDown() override {
        if (connection.session > 0) LinkClose(connection.session);
        if (sim) sim->Stop();
    }

    void StartReader(uint32_t baud = 19200, uint16_t type = 0x302, const std::string& linkPath = {}) {
        CSimReader::Options options;
        options.line.baud = baud;
        options.deviceType = type;
        reader = std::make_unique<CSimReader>(options);
        CPtySimulator::Options simOptions;
        simOptions.lineTime = false;
        simOptions.announce = false;
        simOptions.linkPath = linkPath;
        sim = std::make_unique<CPtySimulator>(*reader, simOptions);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        path = QString::fromStdString(sim->DevicePath());
    }

    // The line speeds of the identification requests, as the reader saw them.
    std::vector<CSimReader::Fate> Fates() {
        std::vector<CSimReader::Fate> fates;
        for (const auto& request : reader->Requests())
            fates.push_back(request.fate);
        return fates;
    }

    std::unique_ptr<CSimReader> reader;
    std::unique_ptr<CPtySimulator> sim;
    QString path;
    FakeLists lists;
    RecordedUi ui;
    Connection connection;
};

TEST_F(ConnectorTest, AReaderAt4800IsFoundOnTheSecondTryAndItsRateStored) {
    StartReader(4800);
    StorePort(path, 19200, 100);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    ASSERT_EQ(connector.ConnectStored(connection, true), Connector::Ok);
    EXPECT_GT(connection.session, 0);
    EXPECT_EQ(StoredInt("Baudrate"), 4800);
    EXPECT_EQ(connection.baudrate, 4800);
    EXPECT_EQ(connection.flags, 0x1F000);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(ui.title, "KV-PLM Morvane V1.04 <KV-PLM41 " + path + ":1 V1.05>");
    // 19200 and 2400 (each probed in both framings) went unanswered, 4800 answered.
    const auto fates = Fates();
    ASSERT_GE(fates.size(), 5u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(fates[i], CSimReader::Fate::LineMismatch) << i;
    EXPECT_EQ(fates[4], CSimReader::Fate::Answered);
    // Programming mode was set (state 0).
    EXPECT_EQ(reader->Requests()[5].raw[2], 0xF4);
}

TEST_F(ConnectorTest, TheSearchRunsThroughTheWholeCycleAfterTheStoredRate) {
    // 9600 stored, the reader at 4800: 9600, 19200, 2400 go unanswered, then 4800.
    StartReader(4800);
    StorePort(path, 9600, 60);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    ASSERT_EQ(connector.ConnectStored(connection, true), Connector::Ok);
    EXPECT_EQ(StoredInt("Baudrate"), 4800);
    const auto fates = Fates();
    ASSERT_GE(fates.size(), 7u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(fates[i], CSimReader::Fate::LineMismatch) << i;
    EXPECT_EQ(fates[6], CSimReader::Fate::Answered);
}

TEST_F(ConnectorTest, AReaderAtNoRateOfTheCycleFailsWithCode1AndNothingIsStored) {
    StartReader(38400);
    StorePort(path, 9600, 30);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::OpenFailed);
    EXPECT_EQ(connection.session, 0);
    EXPECT_EQ(connection.baudrate, 9600);
    EXPECT_EQ(StoredInt("Baudrate"), 9600);
    // The stored rate and the three others, each probed in both framings, then no more.
    // The host gives up on the last probe without a reply, so the reader may note
    // it only after the connect returned: wait until it has.
    EXPECT_TRUE(reader->WaitForRequests(8, std::chrono::seconds(10)));
    const auto fates = Fates();
    EXPECT_EQ(fates, std::vector<CSimReader::Fate>(8, CSimReader::Fate::LineMismatch));
    EXPECT_EQ(ui.messages, QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports")});
    EXPECT_TRUE(ui.title.isEmpty());
}

TEST_F(ConnectorTest, AReaderThatDoesNotIdentifyItselfGivesCode2) {
    StartReader(19200);
    // The identification after programming mode fails; the probe of the open did not.
    CSimReader* sim = reader.get();
    reader->SetTraceHook([sim](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
        if (kind == CSimReader::TraceKind::Request && bytes.size() > 2 && bytes[2] == 0xF4)
            sim->FaultStatus(0xF0, CSimReader::StatusUnknownCommand);
    });
    StorePort(path, 19200, 200);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    connection.flags = 0x1F400;
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::NoDevice);
    reader->SetTraceHook(nullptr);
    EXPECT_EQ(connection.session, 0);
    EXPECT_EQ(connection.flags, 0x1F400);
    EXPECT_EQ(ui.title, QString::fromUtf8("KV-PLM Morvane Keine Verbindung zum Gerät"));
    EXPECT_EQ(ui.messages, QStringList{QString::fromUtf8("Keine Verbindung zum Gerät")});
    // The session was closed: the port opens again.
    const int id = LinkOpen(path.toUtf8().constData(), 19200, 0, 200);
    EXPECT_GT(id, 0);
    LinkClose(id);
}

TEST_F(ConnectorTest, ALinkPortNameWithHidInItSetsTheHidFlag) {
    char pattern[] = "/tmp/kvplm-hidflag-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    // No blank in front of "HID": still a serial port for the library.
    StartReader(19200, 0x302, dir + "/readerHID");
    StorePort(path, 19200, 200);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    ASSERT_EQ(connector.ConnectStored(connection, false), Connector::Ok);
    EXPECT_EQ(connection.flags, 0x1F200);
    EXPECT_EQ(ui.title, "KV-PLM Morvane V1.04 <KV-PLM41 " + path + ":1 V1.05>");
    LinkClose(connection.session);
    connection.session = 0;
    sim->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

TEST_F(ConnectorTest, AStoredFrameCodeIsNotSearched) {
    StartReader(4800);
    StorePort(path, 19201, 60);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    connection.flags = 0x1234;
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::OpenFailed);
    EXPECT_EQ(connection.session, 0);
    EXPECT_EQ(connection.flags, 0x1234);
    EXPECT_EQ(connection.baudrate, 19201);
    EXPECT_EQ(StoredInt("Baudrate"), 19201);
    EXPECT_EQ(ui.messages, QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports")});
}

TEST_F(ConnectorTest, ARefusedDeviceTypeClosesTheSessionAndSaysSoInTheTitle) {
    StartReader(19200, 0x310);
    StorePort(path, 19200, 200);
    Connector connector(ui, appkit::Program::Morvane, &lists);
    connection.flags = 0x1F400;
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::Refused);
    EXPECT_EQ(connection.session, 0);
    EXPECT_EQ(connection.flags, 0x1F400);
    EXPECT_EQ(ui.title, QString::fromUtf8("KV-PLM Morvane Gerätetyp wird nicht unterstützt"));
    EXPECT_EQ(ui.messages, QStringList{QString::fromUtf8("Keine Verbindung zum Gerät")});
    // The port was given back.
    const int id = LinkOpen(path.toUtf8().constData(), 19200, 0, 200);
    EXPECT_GT(id, 0);
    LinkClose(id);
}

TEST_F(ConnectorTest, WithoutMessagesNothingIsShown) {
    StorePort("/dev/kvplm-no-such-port");
    Connector connector(ui, appkit::Program::Morvane, &lists);
    EXPECT_EQ(connector.ConnectStored(connection, false), Connector::OpenFailed);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.title.isEmpty());
}

TEST_F(ConnectorTest, ABluetoothConnectShowsTheWaitCursorUntilItsOutcome) {
    // The module's inquiry runs inside the connect; the cursor is gone before
    // the message box says that it failed.
    StorePort("/dev/kvplm-no-such-port BT");
    Connector connector(ui, appkit::Program::Morvane, &lists);
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::OpenFailed);
    EXPECT_EQ(ui.busyChanges, 2);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_EQ(ui.busyAtMessage, QList<int>{0});

    // A by-id path holding "BT" without a blank is a serial port: no cursor.
    ui = RecordedUi{};
    StorePort("/dev/serial/by-id/usb-BTXX-if00-kvplm-no-such-port");
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::OpenFailed);
    EXPECT_EQ(ui.busyChanges, 0);
}

TEST_F(ConnectorTest, AUsbBridgeReaderIsReachedAt19200AndShownAsUsb) {
    StartReader(19200);
    FakeSysfs sys;
    const std::string usb = sys.UsbDevice("1-1", "0403", "6001", "Norda Bridge", "4401-0001");
    sys.UsbSerialTty(usb, "1-1:1.0", "ttyUSB0", "ftdi_sio");
    std::filesystem::create_symlink(sim->SlavePath(), sys.Dev() + "/ttyUSB0");
    StorePort("USB: 4401-0001", 9603, 300, 1);
    Connector connector(ui, appkit::Program::Morvane); // the library's own lists
    ASSERT_EQ(connector.ConnectStored(connection, true), Connector::Ok);
    EXPECT_EQ(LinkIsUsb(connection.session), 1);
    EXPECT_EQ(ui.title, "KV-PLM Morvane V1.04 <KV-PLM41 USB:4401-0001:1 V1.05>");
    EXPECT_EQ(connection.flags, 0x1F000);
    EXPECT_EQ(connection.baudrate, 9603);
    EXPECT_EQ(StoredInt("Baudrate"), 9603);
}

TEST_F(ConnectorTest, AnEmptyUsbListClearsTheNameAndFailsWithCode1) {
    StorePort("USB: 4401-0001");
    Connector connector(ui, appkit::Program::Morvane, &lists);
    EXPECT_EQ(connector.ConnectStored(connection, true), Connector::OpenFailed);
    EXPECT_EQ(StoredName(), "");
    EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(ConnectorTest, ChooseAndConnectShowsTheDialogUntilAConnectSucceeds) {
    StartReader(19200);
    StorePort("/dev/kvplm-no-such-port");
    Connector connector(ui, appkit::Program::Morvane, &lists);
    int shown = 0;
    const auto choose = [&] {
        // The user picks the wrong port first, then the reader.
        ++shown;
        appkit::SettingsStore(appkit::Program::Morvane)
            .WriteString("Port", "Name", shown == 1 ? "/dev/kvplm-other" : path);
        return true;
    };
    ASSERT_TRUE(connector.ChooseAndConnect(connection, choose));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_GT(connection.session, 0);

    LinkClose(connection.session);
    connection.session = 0;
    EXPECT_FALSE(connector.ChooseAndConnect(connection, [] { return false; }));
    EXPECT_EQ(connection.session, 0);
}

TEST_F(ConnectorTest, ConnectAtStartFallsBackToTheOnlyOtherUsbDevice) {
    int shown = 0;
    const auto cancel = [&] { return ++shown, false; };
    Connector connector(ui, appkit::Program::Morvane, &lists);

    // The stored device is the only one and does not answer: give up quietly.
    StorePort("USB: 4401-0001", 19200, 50);
    lists.SetUsb({"4401-0001"});
    EXPECT_FALSE(connector.ConnectAtStart(connection, cancel));
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(ui.messages.isEmpty());

    // Another single device appeared meanwhile: it is stored and tried with
    // messages, then the dialog comes.
    lists.usbSequence = {{"4401-0001"}, {"4402-0002"}};
    EXPECT_FALSE(connector.ConnectAtStart(connection, cancel));
    EXPECT_EQ(StoredName(), "USB: 4402-0002");
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(shown, 1);

    // Several devices: straight to the dialog.
    lists.SetUsb({"4402-0002", "4403-0003"});
    EXPECT_FALSE(connector.ConnectAtStart(connection, cancel));
    EXPECT_EQ(shown, 2);

    // A serial name that fails: the dialog.
    StorePort("/dev/kvplm-no-such-port");
    EXPECT_FALSE(connector.ConnectAtStart(connection, cancel));
    EXPECT_EQ(shown, 3);
}

TEST_F(ConnectorTest, TheProgrammerOpensWithTheStoredValuesAsTheyAre) {
    StartReader(9600);
    StorePort("Bluetooth: x", 9600, 200, 1, 0, appkit::Program::Programmer);
    frontend::ConnectionSettings settings;
    appkit::SettingsStore store(appkit::Program::Programmer);
    settings.Load(store, lists);
    EXPECT_EQ(settings.LinkPortName(), "x:1");
    settings.name = path;
    const int id = Connector::OpenStored(settings);
    ASSERT_GT(id, 0);
    LinkClose(id);

    int attempts = 0, shown = 0;
    EXPECT_TRUE(
        Connector::RetryUntilConnected([&] { return ++attempts == 3; }, [&] { return ++shown, true; }));
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(Connector::RetryUntilConnected([] { return false; }, [] { return false; }));
}

} // namespace
