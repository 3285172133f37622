// Programming, reading the reader into the pages, the read-back report, the
// power-on configuration and the function test, against the simulated
// reader on a pseudo-terminal.
#include "Funktionstest.h"
#include "PowerOnConfig.h"
#include "ProgramReader.h"
#include "ReadBack.h"
#include "SeriellEinstellModel.h"
#include "SimHost.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

const char* const kConfiguration =
    "[Prefix]\r\nCount=2\r\nAscii0=2\r\nAscii1=143\r\n"
    "[Data]\r\nTransponderTyp=1\r\nDarstellung=0\r\nZeichenAnzahl=8\r\n"
    "GueltigeBytes=4\r\nGueltigeBytesAb=1\r\nKennungLinks=60\r\nKennungRechts=62\r\n"
    "Ausrichtung=2\r\nMemTypeRegister1=4\r\nStartRegister1=1\r\nLaengeRegister1=2\r\n"
    "MemTypeRegister2=3\r\nStartRegister2=0\r\nLaengeRegister2=70\r\n"
    "Betriebsart=19\r\nZykluszeit=250\r\nBaudrate=9600\r\nAufforderung=A\r\n"
    "TimeoutRS232=700\r\n"
    "[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n[Abziehen]\r\nCount=1\r\nAscii0=82\r\n"
    "[Termix]\r\nCount=1\r\nAscii0=47\r\n";

// What the configuration above programs.
const Bytes kPrefix{0x02, 0x8F, 0xFF};
const Bytes kParam{0x01, 0xC2, 0x01, 0x00, 0x00, 0x86, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x08, 0x04, 0x01, 0x3C, 0x3E};
const Bytes kModeParam{0x13, 0x02, 0x41, 0x07};
const Bytes kSuffix{0x0D, 0x0A, 0xFF};
const Bytes kPostcode{0x52, 0xFF};
const Bytes kTermix{0x2F, 0xFF};

class ProcedureTest : public SimFixture {
protected:
    std::string WriteConfiguration() {
        const std::string path = folder + "/program.mkr";
        std::ofstream(path, std::ios::binary) << kConfiguration;
        return path;
    }
    std::vector<int> Writes() const {
        std::vector<int> writes;
        for (int command : Commands())
            if ((command >= 0x81 && command <= 0x86) || command == 0xF2) writes.push_back(command);
        return writes;
    }
    Bytes Block(CSimReader::Block block) const { return reader->GetBlock(block); }
};

} // namespace

TEST_F(ProcedureTest, ProgrammingWritesEveryBlockInOrder) {
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    ASSERT_TRUE(model.LoadFile(host, WriteConfiguration()));
    EXPECT_EQ(model.Param().ChosenBaudRate(), 9600); // the file's rate becomes the one to set

    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Programmed);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{509});
    EXPECT_EQ(Block(CSimReader::Block::Prefix), kPrefix);
    EXPECT_EQ(Block(CSimReader::Block::Param), kParam);
    EXPECT_EQ(Block(CSimReader::Block::ModeParam), kModeParam);
    EXPECT_EQ(Block(CSimReader::Block::Suffix), kSuffix);
    EXPECT_EQ(Block(CSimReader::Block::Postcode), kPostcode);
    EXPECT_EQ(Block(CSimReader::Block::Termix), kTermix);
    EXPECT_EQ(Writes(), (std::vector<int>{0x82, 0x81, 0x86, 0x83, 0x85, 0x84, 0xF2}));

    // The reader runs at the new rate, which is stored and shown; the choice is cleared.
    EXPECT_EQ(reader->Line().baud, 9600u);
    EXPECT_EQ(host.settings["Port/Baudrate"], "9600");
    EXPECT_EQ(host.shownBauds, (std::vector<int>{19200, 9600}));
    EXPECT_EQ(model.Param().ChosenBaudRate(), 0);
    EXPECT_EQ(model.Param().GetMembers().currentBaud, 9600);
    // Closed: state 2 was the last request.
    EXPECT_EQ(Commands().back(), 0xF4);
    EXPECT_EQ(reader->State(), 2);
    EXPECT_EQ(host.closed.size(), 1u);

    // Read into fresh pages when a dialog opens, the reader gives the same image.
    CSeriellEinstellModel fresh(0, 19200, 0x1F000);
    const auto read = fresh.ReadFromReader(host);
    EXPECT_TRUE(read.AllRead());
    EXPECT_EQ(fresh.Session(), 0);
    CSeriellEinstellModel::Image a, b;
    ASSERT_FALSE(model.BuildImage(a));
    ASSERT_FALSE(fresh.BuildImage(b));
    EXPECT_EQ(a.param, b.param);
    EXPECT_EQ(a.modeParam, b.modeParam);
    EXPECT_EQ(a.prefix, b.prefix);
    EXPECT_EQ(a.postcode, b.postcode);
    EXPECT_EQ(fresh.Param().GetMembers().currentBaud, 9600);
}

TEST_F(ProcedureTest, WithoutAChosenRateTheBaudRateStays) {
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Programmed);
    EXPECT_EQ(Writes(), (std::vector<int>{0x82, 0x81, 0x86, 0x83, 0x85, 0x84}));
    EXPECT_EQ(host.settings["Port/Baudrate"], "19200");
    // The default pages program the factory image.
    EXPECT_EQ(Block(CSimReader::Block::Param), CSimReader::DefaultBlock(CSimReader::Block::Param));
    EXPECT_EQ(Block(CSimReader::Block::ModeParam), (Bytes{0x00, 0x0A, 0x3F, 0x05}));
}

TEST_F(ProcedureTest, AFailingWriteStopsWithMessage510) {
    const std::vector<int> order{0x82, 0x81, 0x86, 0x83, 0x85, 0x84, 0xF2};
    for (size_t failing = 0; failing < order.size(); ++failing) {
        SCOPED_TRACE(failing);
        StartReader();
        host.messages.clear();
        host.closed.clear();
        reader->FaultStatus(uint8_t(order[failing]), 20, false);
        CSeriellEinstellModel model(0, 19200, 0x1F000);
        model.Prefix().SetCodes({0x41});
        model.Param().ChooseBaudRate(4800);
        EXPECT_EQ(ProgramReader(model, host), ProgramResult::Failed);
        EXPECT_EQ(host.MessageIds(), std::vector<int>{510});
        EXPECT_EQ(host.closed.size(), 1u);
        // Nothing after the failing write was sent.
        EXPECT_EQ(Writes(), std::vector<int>(order.begin(), order.begin() + long(failing) + 1));
        EXPECT_EQ(reader->State(), 2);
        // What was written before stays in the reader.
        EXPECT_EQ(Block(CSimReader::Block::Prefix), failing == 0 ? Bytes{0xFF} : (Bytes{0x41, 0xFF}));
        // The rate chosen under "Setzen:" is stored once the parameter page is taken over,
        // before the ModeParam write, whatever follows.
        EXPECT_EQ(host.settings["Port/Baudrate"], failing >= 2 ? "4800" : "19200");
    }
}

TEST_F(ProcedureTest, OverTheNetworkTheChosenRateIsStoredButNeverSet) {
    const auto connect = host.connect;
    host.connect = [connect](bool withMessages) {
        SetupConnection connection = connect(withMessages);
        connection.flags |= 0x400; // what the connect procedure returns for a "LAN: " port
        return connection;
    };
    CSeriellEinstellModel model(0, 19200, 0x1F400);
    model.Param().ChooseBaudRate(4800);
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Programmed);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{509});
    EXPECT_EQ(Writes(), (std::vector<int>{0x82, 0x81, 0x86, 0x83, 0x85, 0x84})); // no 0xF2
    EXPECT_EQ(reader->Line().baud, 19200u);
    EXPECT_EQ(host.settings["Port/Baudrate"], "4800");
    EXPECT_EQ(model.Param().ChosenBaudRate(), 0);
}

TEST_F(ProcedureTest, AnInvalidDataPageStopsWithItsOwnMessage) {
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    auto& controls = model.Daten().GetControls();
    controls.dataFormat = 1;
    controls.registers[1].start = "300";
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Invalid);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{551});
    ASSERT_EQ(host.focus.size(), 1u);
    EXPECT_EQ(host.focus[0].second, 1006);
    EXPECT_EQ(Writes(), std::vector<int>{0x82}); // the prefix went out first
    EXPECT_EQ(host.closed.size(), 1u);

    host.messages.clear();
    controls.registers[1].start = "3";
    model.Param().GetControls().timeout = "x";
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Invalid);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{61712});
    // Prefix and Param went out; nothing after the parameter page; closed.
    EXPECT_EQ(Writes(), (std::vector<int>{0x82, 0x82, 0x81}));
    EXPECT_EQ(host.closed.size(), 2u);
    EXPECT_EQ(reader->State(), 2);
}

TEST_F(ProcedureTest, NoReaderMeans522AfterTheConnectMessage) {
    host.settings["Port/Name"] = folder + "/no-such-port";
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::NoConnection);
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{521, 522}));

    // Opening the dialog without a reader keeps the initial values silently.
    host.messages.clear();
    model.Prefix().SetCodes({1});
    EXPECT_FALSE(model.ReadFromReader(host).connected);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{521});
    EXPECT_EQ(model.Prefix().Items().size(), 1u);
}

TEST_F(ProcedureTest, ARefusedDeviceTypeDoesNotConnect) {
    CSimReader::Options options;
    options.deviceType = 0x300;
    StartReader(options);
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::NoConnection);
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{522, 522}));
}

TEST_F(ProcedureTest, OpeningTheDialogReadsTheBlocksIntoThePages) {
    reader->SetBlock(CSimReader::Block::ModeParam, {0x03, 0x0A, 0x41, 0x05});
    reader->SetBlock(CSimReader::Block::Param, kParam);
    reader->SetBlock(CSimReader::Block::Suffix, {0x41, 0x42, 0xFF});
    reader->SetBlock(CSimReader::Block::Termix, {0x0D}); // no end mark: one byte = empty
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    model.Suffix().SetChanged(true);
    const auto read = model.ReadFromReader(host);
    EXPECT_TRUE(read.AllRead());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(model.Param().GetMembers().mode, 3);
    EXPECT_EQ(model.Param().GetMembers().request, "A");
    EXPECT_EQ(model.Param().GetMembers().currentBaud, 19200);
    EXPECT_EQ(model.Daten().GetMembers().registers[1].length, "6");
    EXPECT_EQ(model.Suffix().Items().size(), 2u);
    EXPECT_FALSE(model.Suffix().Changed());
    EXPECT_TRUE(model.Trenner().Items().empty());
    EXPECT_EQ(host.closed.size(), 1u);

    // A Param block whose values do not validate: its message and the defaults.
    Bytes bad = kParam;
    bad[19] = 0;
    reader->SetBlock(CSimReader::Block::Param, bad);
    model.ReadFromReader(host);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{61714});
    EXPECT_EQ(model.Daten().GetMembers().characterCount, 10);

    // A block that cannot be read leaves its page as it is, without a message.
    host.messages.clear();
    reader->SetBlock(CSimReader::Block::Param, kParam);
    reader->FaultStatus(0x8B, 24, false);
    model.Suffix().SetCodes({9});
    const auto partly = model.ReadFromReader(host);
    EXPECT_FALSE(partly.suffix);
    EXPECT_TRUE(partly.termix);
    EXPECT_EQ(model.Suffix().Items().size(), 1u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ProcedureTest, ReadBackReport) {
    reader->SetBlock(CSimReader::Block::Prefix, {0x02, 0xFF});
    reader->SetBlock(CSimReader::Block::Suffix, {0x0D, 0x0A, 0xFF});
    reader->SetBlock(CSimReader::Block::Param, kParam);
    reader->SetBlock(CSimReader::Block::ModeParam, kModeParam);
    CReadBack readBack;
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(readBack.Report(), " Prefix        : 02 \r\n"
                                 " Suffix        : 0D 0A \r\n"
                                 " Abziehen      : \r\n"
                                 " Reg. Trenner  : \r\n"
                                 "\r\n -------------------------------------------------\r\n\r\n "
                                 "Tag - Typ     : Block Bitweise drehen\r\n"
                                 " Blöcke        : User Startwort: 1 Länge: 2TID  Startwort: 0 Länge: 6\r\n"
                                 " Datentyp      : Hex (0-9,ABCDEF)\r\n"
                                 " Zeichenzahl   : 8\r\n"
                                 " Benutzte Bytes: 1 - 4\r\n"
                                 " Mode          : 3\r\n"
                                 " Sensor        : aktiv\r\n"
                                 " Zykluszeit    : 200 Millisekunden\r\n"
                                 " Aufforderung  : A\r\n"
                                 " Timeout       : 700 Millisekunden \r\n ");
    EXPECT_EQ(readBack.Session(), 0);
    EXPECT_EQ(reader->State(), 2);
    const size_t first = readBack.Report().size();
    ASSERT_TRUE(readBack.Run(host)); // "Inhalt lesen" again appends
    // Its first line starts with the blank the first report ends with.
    EXPECT_EQ(readBack.Report().size(), 2 * first - 1);
    readBack.Clear();
    EXPECT_TRUE(readBack.Report().empty());
}

TEST_F(ProcedureTest, ReadBackErrors) {
    reader->FaultStatus(0x8A, 24, false);
    CReadBack prefixFails;
    ASSERT_TRUE(prefixFails.Run(host));
    EXPECT_EQ(prefixFails.Report(), "");
    ASSERT_EQ(host.MessageIds(), std::vector<int>{590});
    EXPECT_EQ(host.messages[0].text, "Lesefehler : 18Hex");
    EXPECT_EQ(host.closed.size(), 1u);

    reader->FaultStatus(0x8C, 21, false);
    CReadBack termixFails;
    ASSERT_TRUE(termixFails.Run(host));
    EXPECT_EQ(termixFails.Report(), " Prefix        : \r\n Suffix        : \r\n Abziehen      : \r\n"
                                    "Fehler 21 bei ReadTermix\r\n");
    reader->FaultStatus(0x8E, 20, false);
    CReadBack modeFails;
    ASSERT_TRUE(modeFails.Run(host));
    EXPECT_NE(modeFails.Report().find("-\r\n\r\n Fehler 20 bei ReadModeParam\r\n"), std::string::npos);

    // ReadParam fails: its line follows the separator, ReadModeParam is not asked.
    reader->ClearLogs();
    reader->FaultStatus(0x89, 20, false);
    CReadBack paramFails;
    ASSERT_TRUE(paramFails.Run(host));
    const std::string paramReport = paramFails.Report();
    const std::string paramLine = "-\r\n\r\n Fehler 20 bei ReadParam\r\n";
    ASSERT_GE(paramReport.size(), paramLine.size());
    EXPECT_EQ(paramReport.substr(paramReport.size() - paramLine.size()), paramLine);
    const std::vector<int> asked = Commands();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 0x8E), 0);
    EXPECT_EQ(reader->State(), 2);
    EXPECT_FALSE(paramFails.Complete());

    // A Param block of 23 bytes.
    reader->SetBlock(CSimReader::Block::Param, Bytes(23, 0));
    CReadBack shortParam;
    ASSERT_TRUE(shortParam.Run(host));
    EXPECT_NE(shortParam.Report().find("\r\n\r\n Parameter länge nicht korrekt\r\n"), std::string::npos);

    host.settings["Port/Name"] = folder + "/gone";
    CReadBack none;
    EXPECT_FALSE(none.Run(host));
}

TEST_F(ProcedureTest, PowerOnConfiguration) {
    const SetupConnection connection = host.Connect(true);
    ASSERT_TRUE(connection.Connected());
    EXPECT_EQ(PowerOnConfig::Read(connection.session, host), 1);
    EXPECT_TRUE(PowerOnConfig::Write(connection.session, PowerOnConfig::ProgrammingMode, host));
    EXPECT_EQ(reader->PowerOnMode(), 0);
    EXPECT_EQ(PowerOnConfig::Read(connection.session, host), 0);
    reader->FaultStatus(0xF4, 20, false);
    EXPECT_EQ(PowerOnConfig::Read(connection.session, host), std::nullopt);
    reader->FaultStatus(0xF4, 0, false); // a success without the mode byte
    EXPECT_EQ(PowerOnConfig::Read(connection.session, host), std::nullopt);
    reader->FaultStatus(0xF4, 20, false);
    EXPECT_FALSE(PowerOnConfig::Write(connection.session, PowerOnConfig::ReaderMode, host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{519, 519, 510}));
    EXPECT_EQ(reader->PowerOnMode(), 0);
    host.CloseSession(connection.session);
}

namespace {

// Runs timer ticks until the test holds want telegrams' worth of bytes, or
// two seconds are up.
bool WaitForBytes(CFunktionstest& test, size_t want) {
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < end) {
        test.OnTimer(CFunktionstest::TimerId);
        if (test.Telegram().size() >= want) return true;
        std::this_thread::sleep_for(5ms); // the dialog's timer ticks every 50 ms
    }
    return false;
}

} // namespace

TEST_F(ProcedureTest, FunctionTestShowsWhatTheReaderSends) {
    reader->PlaceTag(
        CSimTransponder({0x30, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA}));
    auto clock = std::chrono::steady_clock::now();
    CFunktionstest test([&clock] { return clock; });
    ASSERT_TRUE(test.Open(host, 0x80));
    EXPECT_EQ(reader->State(), 1);
    EXPECT_EQ(test.Mode(), 0);
    EXPECT_TRUE(test.CounterVisible());
    EXPECT_TRUE(test.RelayVisible());

    // Mode 0 with a transponder present: one telegram (default format: hex, 10 characters).
    clock += 100ms;
    ASSERT_TRUE(WaitForBytes(test, 10));
    EXPECT_EQ(test.HexView(), "33 30 30 30 31 31 32 32 33 33 ");
    EXPECT_EQ(test.AsciiView(), "3   0   0   0   1   1   2   2   3   3   ");
    EXPECT_EQ(test.Counter(), 1);

    // Relay and buzzer bytes reach the reader raw, outside any frame.
    std::mutex mutex;
    std::condition_variable arrived;
    Bytes raw;
    reader->SetTraceHook([&](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
        if (kind != CSimReader::TraceKind::Noise) return;
        std::lock_guard<std::mutex> lock(mutex);
        raw.insert(raw.end(), bytes.begin(), bytes.end());
        arrived.notify_all();
    });
    // One press at a time, as the buttons are clicked: the port holds one frame to send.
    const std::function<void()> presses[] = {[&] { test.Relay(true); }, [&] { test.Relay(false); },
                                             [&] { test.Buzzer(); }};
    for (size_t i = 0; i < 3; ++i) {
        presses[i]();
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(arrived.wait_for(lock, 2s, [&] { return raw.size() > i; }));
    }
    EXPECT_EQ(raw, (Bytes{0x11, 0x13, 0x07}));
    reader->SetTraceHook(nullptr);
    test.Close();
    EXPECT_EQ(reader->State(), 2);
    EXPECT_EQ(host.closed.size(), 1u);
}

TEST_F(ProcedureTest, FunctionTestWithoutTheModeBlockClosesAgain) {
    reader->FaultStatus(0x8E, 20, false);
    CFunktionstest test;
    EXPECT_FALSE(test.Open(host, 0));
    EXPECT_FALSE(test.IsOpen());
    EXPECT_EQ(host.closed.size(), 1u);
    EXPECT_EQ(reader->State(), 2); // closed without entering reader mode
    for (const CSimReader::Request& request : reader->Requests()) {
        const Frame::Bytes& r = request.raw;
        const size_t command = request.framing == Frame::Bcc ? 2 : 1;
        EXPECT_FALSE(r.size() > command + 2 && r[command] == 0xF4 && r[command + 2] == 0x01)
            << "reader mode was set";
    }
}

TEST_F(ProcedureTest, FunctionTestRequestMode) {
    reader->SetBlock(CSimReader::Block::ModeParam, {0x01, 0x0A, 0x21, 0x05});
    reader->SetBlock(CSimReader::Block::Suffix, {0x0D, 0xFF});
    auto clock = std::chrono::steady_clock::now();
    CFunktionstest test([&clock] { return clock; });
    ASSERT_TRUE(test.Open(host, 0));
    EXPECT_TRUE(test.SendEnabled());
    EXPECT_EQ(test.RequestText(), "21 ");
    EXPECT_FALSE(test.RelayVisible());
    // No transponder: the reader answers the request with its suffix alone.
    clock += 100ms;
    test.Send();
    ASSERT_TRUE(WaitForBytes(test, 1));
    EXPECT_EQ(test.HexView(), "0D ");
    EXPECT_EQ(test.Counter(), 0); // mode 1 does not count
    reader->PlaceTag(CSimTransponder({0xAB, 0xCD}));
    clock += 100ms;
    test.Send();
    ASSERT_TRUE(WaitForBytes(test, 11));
    EXPECT_EQ(test.HexView(), "30 30 30 30 30 30 41 42 43 44 0D "); // bytes 1..5 of AB CD, 10 digits
}

TEST_F(ProcedureTest, AByteNoButtonHasDoesNotGoBackIntoTheReader) {
    Bytes param = kParam;
    param[18] = 0x07; // no representation
    reader->SetBlock(CSimReader::Block::Param, param);
    reader->SetBlock(CSimReader::Block::ModeParam, {0x1C, 0x02, 0x41, 0x07}); // sensor + mode 12
    CSeriellEinstellModel model(0, 19200, 0x1F000);
    ASSERT_TRUE(model.ReadFromReader(host).AllRead());
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(model.Replacements().size(), 2u);
    EXPECT_TRUE(model.NeedsSaving(host)); // the pages differ from the reader

    ASSERT_EQ(ProgramReader(model, host), ProgramResult::Programmed);
    Bytes expected = kParam;
    expected[18] = 0x00;
    EXPECT_EQ(Block(CSimReader::Block::Param), expected);
    EXPECT_EQ(Block(CSimReader::Block::ModeParam), (Bytes{0x10, 0x02, 0x41, 0x07}));
    // Everything else went back as it came.
    EXPECT_EQ(Writes(), (std::vector<int>{0x82, 0x81, 0x86, 0x83, 0x85, 0x84}));
}
