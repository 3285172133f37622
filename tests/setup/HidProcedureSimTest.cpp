// The HID reader's procedures through the Link API against a simulated HID
// reader (the stand-in hidapi library first on LD_LIBRARY_PATH): opening
// the dialog reads the keyboard table, programming transfers it, "Aus Gerät
// laden" and an HID file saved from the reader.
#include "FakeHost.h"
#include "HidSimulator.h"
#include "HostKeyboard.h"
#include "ProgramReader.h"
#include "ReaderConnect.h"
#include "SeriellEinstellModel.h"
#include "SimReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace std::chrono_literals;
using L = CHidKeyTable::Level;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int HidFlags = 0x1F200;

class HidProcedureTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvplm-hidproc-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("KVPLM_HID_SIM_DIR", dir.c_str(), 1);
        Start(*CSimKeyTable::Named("de"));
    }
    void TearDown() override {
        sim.reset();
        std::filesystem::remove_all(dir);
    }
    void Start(const CSimKeyTable& table, bool ignoreKeys = false) {
        sim.reset();
        CHidSimulator::Options options;
        options.serial = "4400-000321";
        options.directory = dir;
        options.table = table;
        options.ignoreKeys = ignoreKeys;
        sim = std::make_unique<CHidSimulator>(reader, options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        host.connect = [this](bool withMessages) {
            ReaderConnect::Request request;
            request.port = "4400-000321 HID:1";
            request.timeoutMs = 300;
            const ReaderConnect::Result result = ReaderConnect::Connect(request);
            if (!result.connection.Connected() && withMessages)
                host.ShowMessage(ReaderConnect::FailureMessage(result.connection.code));
            return result.connection;
        };
        host.close = [](int session) { ReaderConnect::Close(session); };
    }
    std::vector<CHidSimulator::Event> Events(CHidSimulator::Event::Kind kind) const {
        std::vector<CHidSimulator::Event> found;
        for (const auto& event : sim->Events())
            if (event.kind == kind) found.push_back(event);
        return found;
    }
    // The host has closed the device (after the link state 1).
    void AwaitClosed() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (sim->HostConnected() && std::chrono::steady_clock::now() < deadline)
            sim->WaitForEvents(sim->Events().size() + 1, 50ms);
        ASSERT_FALSE(sim->HostConnected());
    }

    std::string dir;
    CSimReader reader;
    std::unique_ptr<CHidSimulator> sim;
    FakeHost host;
};

} // namespace

TEST_F(HidProcedureTest, OpeningTheDialogReadsTheBlocksAndTheTable) {
    reader.SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, 0x3F, 0x0C});
    CSeriellEinstellModel model(0, 19200, HidFlags);
    const auto read = model.ReadFromReader(host);
    EXPECT_TRUE(read.AllRead());
    EXPECT_TRUE(read.keyTable);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(model.ParamHid().GetMembers().timeout, 1200);
    const CHidKeyTable& table = model.ParamHid().Table();
    EXPECT_EQ(table.Char(0x15, L::Normal), 'z');
    EXPECT_EQ(table.Char(0x15, L::Shift), 'Z');
    EXPECT_EQ(table.Char(0x2C, L::Normal), 'y');
    EXPECT_EQ(table.Char(0x10, L::AltGr), '@');
    EXPECT_EQ(table.Char(0x0C, L::AltGr), '\\');
    EXPECT_EQ(table.Char(0x29, L::Normal), 0); // a dead key on the reader
    EXPECT_EQ(table.Char(0x39, L::Normal), 0); // the space bar has no button
    EXPECT_EQ(Events(CHidSimulator::Event::Kind::KeyQuery).size(), 95u);
    AwaitClosed();
    ASSERT_TRUE(sim->LinkState());
    EXPECT_EQ(*sim->LinkState(), 1);
}

TEST_F(HidProcedureTest, ProgrammingWritesTheBlocksThenTheTable) {
    CSeriellEinstellModel model(0, 19200, HidFlags);
    ASSERT_FALSE(model.ParamHid().TakeFromLayout("us"));
    model.ParamHid().GetControls().timeout = "700";
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Programmed);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{509});
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::ModeParam), (Bytes{0x00, 0x0A, 0x3F, 0x07}));
    ASSERT_TRUE(model.KeyTableTransferred());
    EXPECT_TRUE(*model.KeyTableTransferred());

    // The key settings arrive in the order of the transfer, ending with Escape.
    AwaitClosed();
    std::vector<Bytes> sets;
    for (const auto& event : Events(CHidSimulator::Event::Kind::KeySet))
        sets.push_back(event.bytes);
    std::vector<Bytes> expected;
    for (const auto& report : model.ParamHid().Table().TransferReports())
        expected.emplace_back(report.begin(), report.end());
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.back(), (Bytes{0x12, 0x1B, 0x00, 0x29}));
    EXPECT_EQ(sets, expected);
    EXPECT_EQ(sim->Table().Lookup('\\'), (CSimKeyTable::Key{0x00, 0x32})); // us: the key left of Enter
    EXPECT_EQ(sim->Table().Lookup('A'), (CSimKeyTable::Key{0x02, 0x04}));

    // What the reader now holds reads back as the table that was sent.
    CSeriellEinstellModel fresh(0, 19200, HidFlags);
    EXPECT_TRUE(fresh.ReadFromReader(host).keyTable);
    CHidKeyTable sent = model.ParamHid().Table();
    for (int scan = 0; scan < 128; ++scan)
        if (CHidKeyTable::ButtonOfScanCode(scan) < 0)
            for (int level = 0; level < 3; ++level)
                sent.SetChar(scan, L(level), 0); // only the buttons' keys travel
    EXPECT_EQ(fresh.ParamHid().Table(), sent);
    EXPECT_EQ(fresh.ParamHid().GetMembers().timeout, 700);
}

TEST_F(HidProcedureTest, AReaderThatIgnoresTheKeyQueries) {
    Start(*CSimKeyTable::Named("de"), true);
    CParamRegisterkarteHID page;
    page.Table().SetChar(0x1E, L::Normal, 'a');
    EXPECT_FALSE(page.LoadFromDevice(host));
    EXPECT_EQ(host.MessageIds(), std::vector<int>{522});
    EXPECT_EQ(host.closed.size(), 1u);
    EXPECT_TRUE(page.Table().IsEmpty()); // cleared before the first query
    // Five attempts for the first character, then the procedure ends.
    EXPECT_EQ(Events(CHidSimulator::Event::Kind::KeyQuery).size(), 5u);
    AwaitClosed();

    // Opening the dialog says nothing about it.
    host.messages.clear();
    CSeriellEinstellModel model(0, 19200, HidFlags);
    const auto read = model.ReadFromReader(host);
    EXPECT_TRUE(read.AllRead());
    EXPECT_FALSE(read.keyTable);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(HidProcedureTest, TheReaderSavedAsAnHidFileLoadsBack) {
    CSeriellEinstellModel model(0, 19200, HidFlags);
    ASSERT_TRUE(model.ReadFromReader(host).keyTable);
    const std::string file = dir + "/reader.mkr";
    host.saveFile = file;
    ASSERT_EQ(model.SaveDocument(host), CSeriellEinstellModel::SaveResult::Saved);
    CSeriellEinstellModel back(0, 19200, HidFlags);
    ASSERT_TRUE(back.LoadFile(host, file));
    EXPECT_EQ(back.ParamHid().Table(), model.ParamHid().Table());
    EXPECT_TRUE(host.messages.empty());
}
