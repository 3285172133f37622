// The programming dialog's document for an HID reader: its file, opening
// the dialog and the image it programs.
#include "FakeHidChannel.h"
#include "FakeHost.h"
#include "HostKeyboard.h"
#include "ProfileFile.h"
#include "SeriellEinstellModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using L = CHidKeyTable::Level;

namespace {

constexpr int HidFlags = 0x1F200;
constexpr int NormalFlags = 0x1F000;

class HidDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/kvplm-hiddoc-XXXXXX";
        dir = mkdtemp(name);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const std::string& name) const { return (fs::path(dir) / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        return data.str();
    }
    // The section headers and keys of a file, in order.
    static std::vector<std::string> Names(const std::string& text) {
        std::vector<std::string> names;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            const size_t eq = line.find('=');
            names.push_back(eq == std::string::npos ? line : line.substr(0, eq));
        }
        return names;
    }

    std::string dir;
    FakeHost host;
};

} // namespace

TEST_F(HidDocumentTest, SavingWritesTheTimeoutAndTheWholeTableInOrder) {
    CSeriellEinstellModel model(0, 19200, HidFlags);
    ASSERT_FALSE(model.ParamHid().TakeFromLayout("de"));
    model.ParamHid().GetControls().timeout = "1500";
    model.Prefix().SetCodes({0x02});
    host.saveFile = File("hid.mkr");
    ASSERT_EQ(model.SaveDocument(host), CSeriellEinstellModel::SaveResult::Saved);
    EXPECT_TRUE(host.messages.empty());

    const std::string text = Read(File("hid.mkr"));
    const std::vector<std::string> names = Names(text);
    std::vector<std::string> expected{"[Prefix]", "Count", "Ascii0", "[Data]"};
    for (const char* key : {"TransponderTyp", "Darstellung", "ZeichenAnzahl", "GueltigeBytes",
                            "GueltigeBytesAb", "KennungLinks", "KennungRechts", "Ausrichtung"})
        expected.push_back(key);
    for (int r = 1; r <= 4; ++r)
        for (const char* key : {"MemTypeRegister", "StartRegister", "LaengeRegister"})
            expected.push_back(key + std::to_string(r));
    expected.push_back("TimeoutRS232");
    expected.push_back("[HID_KEYS]");
    for (int scan = 0; scan < 128; ++scan)
        for (int level = 0; level < 3; ++level)
            expected.push_back(CHidKeyTable::ProfileKey(scan, L(level)));
    for (const char* section : {"[Suffix]", "Count", "[Abziehen]", "Count", "[Termix]", "Count"})
        expected.push_back(section);
    EXPECT_EQ(names, expected);
    EXPECT_NE(text.find("TimeoutRS232=1500\r\n"), std::string::npos);
    EXPECT_NE(text.find("ScanCode012AltGr=\\\r\n"), std::string::npos);
    EXPECT_NE(text.find("ScanCode044Normal=y\r\n"), std::string::npos);

    // Loaded for an HID reader: the same timeout and table.
    CSeriellEinstellModel back(0, 19200, HidFlags);
    ASSERT_TRUE(back.LoadFile(host, File("hid.mkr")));
    EXPECT_EQ(back.ParamHid().GetMembers().timeout, 1500);
    // All but the blank of the space bar, which reads back as none (values
    // are read without surrounding blanks); that key has no button.
    CHidKeyTable expectedTable = model.ParamHid().Table();
    EXPECT_EQ(expectedTable.Char(0x39, L::Normal), ' ');
    expectedTable.SetChar(0x39, L::Normal, 0);
    EXPECT_EQ(back.ParamHid().Table(), expectedTable);
    EXPECT_NE(back.Caption().find(" - "), std::string::npos);

    // Loaded for a normal reader: the parameter defaults but the timeout.
    CSeriellEinstellModel normal(0, 19200, NormalFlags);
    ASSERT_TRUE(normal.LoadFile(host, File("hid.mkr")));
    const auto& param = normal.Param().GetMembers();
    EXPECT_EQ(param.mode, 0);
    EXPECT_EQ(param.cycleTime, 1000);
    EXPECT_EQ(param.currentBaud, 19200);
    EXPECT_EQ(param.request, "?");
    EXPECT_EQ(param.timeout, 1500);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(HidDocumentTest, AnInvalidTimeoutSavesNothing) {
    CSeriellEinstellModel model(0, 19200, HidFlags);
    model.ParamHid().GetControls().timeout = "50";
    host.saveFile = File("hid.mkr");
    EXPECT_EQ(model.SaveDocument(host), CSeriellEinstellModel::SaveResult::NotSaved);
    EXPECT_EQ(host.MessageIds(), std::vector<int>{61714});
    EXPECT_FALSE(fs::exists(File("hid.mkr")));
    // The normal page's values do not matter for an HID reader.
    host.messages.clear();
    model.ParamHid().GetControls().timeout = "500";
    model.Param().GetControls().cycleTime = "1";
    EXPECT_EQ(model.SaveDocument(host), CSeriellEinstellModel::SaveResult::Saved);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(Read(File("hid.mkr")).find("Zykluszeit"), std::string::npos);
}

TEST_F(HidDocumentTest, AFileWithoutATableKeepsTheOneThePageHolds) {
    std::ofstream(File("normal.mkr"), std::ios::binary)
        << "[Data]\r\nBetriebsart=3\r\nZykluszeit=300\r\nTimeoutRS232=900\r\n";
    CSeriellEinstellModel model(0, 19200, HidFlags);
    model.ParamHid().Table().SetChar(0x1E, L::Normal, 'a');
    ASSERT_TRUE(model.LoadFile(host, File("normal.mkr")));
    EXPECT_EQ(model.ParamHid().GetMembers().timeout, 900);
    EXPECT_EQ(model.ParamHid().Table().Char(0x1E, L::Normal), 'a');

    // A table in the file replaces it, keys left empty included.
    std::ofstream(File("table.mkr"), std::ios::binary) << "[Data]\r\n[HID_KEYS]\r\nScanCode016Normal=q\r\n";
    ASSERT_TRUE(model.LoadFile(host, File("table.mkr")));
    EXPECT_EQ(model.ParamHid().Table().Char(0x1E, L::Normal), 0);
    EXPECT_EQ(model.ParamHid().Table().Char(0x10, L::Normal), 'q');
    EXPECT_EQ(model.ParamHid().GetMembers().timeout, 500);
}

TEST_F(HidDocumentTest, TheImageHasTheFixedModeParamValues) {
    CSeriellEinstellModel model(0, 19200, HidFlags);
    model.ParamHid().GetControls().timeout = "2300";
    model.Param().GetControls().mode = 3; // the normal page is not used
    CSeriellEinstellModel::Image image;
    ASSERT_FALSE(model.BuildImage(image));
    EXPECT_EQ(image.modeParam, (ConfigImage::Bytes{0x00, 0x0A, 0x3F, 0x17}));
    model.ParamHid().GetControls().timeout = "99";
    const auto failure = model.BuildImage(image);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->control, CParamRegisterkarteHID::IdTimeout);
}

TEST_F(HidDocumentTest, OpeningTheDialogReadsTheTableSilently) {
    FakeHidChannel channel;
    channel.answer = FakeHidChannel::Keys({{'z', {0x00, 0x1D}}, {'@', {0x40, 0x14}}});
    CSeriellEinstellModel model(0, 19200, HidFlags);
    model.SetHidChannelFactory(channel.Factory());
    // A session id nobody opened: every block read fails, the table is read.
    host.connect = [](bool) { return SetupConnection{0, 4242, 19200, HidFlags}; };
    auto read = model.ReadFromReader(host);
    EXPECT_TRUE(read.connected);
    EXPECT_FALSE(read.modeParam);
    EXPECT_TRUE(read.keyTable);
    EXPECT_EQ(channel.sessions, std::vector<int>{4242});
    EXPECT_EQ(channel.exchanged.size(), 95u);
    EXPECT_EQ(model.ParamHid().Table().Char(0x2C, L::Normal), 'z');
    EXPECT_EQ(model.ParamHid().Table().Char(0x10, L::AltGr), '@');
    EXPECT_EQ(host.closed, std::vector<int>{4242});
    EXPECT_EQ(model.Session(), 0);

    // A reader that does not answer the queries: no message either.
    channel.answer = [](const FakeHidChannel::Bytes&) { return std::nullopt; };
    read = model.ReadFromReader(host);
    EXPECT_FALSE(read.keyTable);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.closed.size(), 2u);

    // A normal reader's dialog asks nothing.
    FakeHidChannel unused;
    CSeriellEinstellModel normal(0, 19200, NormalFlags);
    normal.SetHidChannelFactory(unused.Factory());
    EXPECT_FALSE(normal.ReadFromReader(host).keyTable);
    EXPECT_TRUE(unused.sessions.empty());
}
