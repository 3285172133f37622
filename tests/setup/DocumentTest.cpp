#include "FakeHost.h"
#include "ProfileFile.h"
#include "SeriellEinstellModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int Flags = 0x1F000;

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/kvplm-document-XXXXXX";
        dir = mkdtemp(name);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const std::string& name) const { return (fs::path(dir) / name).string(); }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        return data.str();
    }
    static std::vector<int> Codes(CEingabeBasisRegisterkarte& page) {
        std::vector<int> codes;
        for (const KeyItem& item : page.Items())
            codes.push_back(item.code);
        return codes;
    }
    // What the pages would program, as one comparable text.
    static std::string Image(CSeriellEinstellModel& model) {
        CSeriellEinstellModel::Image image;
        if (auto message = model.BuildImage(image)) return "invalid " + std::to_string(message->id);
        std::string text;
        for (const auto* block :
             {&image.prefix, &image.param, &image.modeParam, &image.suffix, &image.postcode, &image.termix}) {
            for (uint8_t byte : *block)
                text += std::to_string(byte) + " ";
            text += "| ";
        }
        return text;
    }

    std::string dir;
    FakeHost host;
};

// A configuration as the Windows program saves it: CRLF, Latin-1 bytes.
const char* const kWindowsFile =
    "[Prefix]\r\nCount=2\r\nAscii0=2\r\nAscii1=228\r\n"
    "[Data]\r\nTransponderTyp=1\r\nDarstellung=2\r\nZeichenAnzahl=16\r\n"
    "GueltigeBytes=12\r\nGueltigeBytesAb=3\r\nKennungLinks=196\r\nKennungRechts=0\r\n"
    "Ausrichtung=1\r\nMemTypeRegister1=4\r\nStartRegister1=2\r\nLaengeRegister1=8\r\n"
    "MemTypeRegister2=0\r\nStartRegister2=0\r\nLaengeRegister2=0\r\n"
    "MemTypeRegister3=0\r\nStartRegister3=0\r\nLaengeRegister3=0\r\n"
    "MemTypeRegister4=0\r\nStartRegister4=0\r\nLaengeRegister4=0\r\n"
    "Betriebsart=17\r\nZykluszeit=300\r\nBaudrate=9600\r\nAufforderung=\xE4\r\n"
    "TimeoutRS232=800\r\n"
    "[Suffix]\r\nCount=1\r\nAscii0=13\r\n[Abziehen]\r\nCount=0\r\n"
    "[Termix]\r\nCount=1\r\nAscii0=9\r\n";

} // namespace

TEST_F(DocumentTest, WindowsFileLoadsAndSavesBackIdentically) {
    Write(File("win.mkr"), kWindowsFile);
    CSeriellEinstellModel model(0, 19200, Flags);
    ASSERT_TRUE(model.LoadFile(host, File("win.mkr")));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(Codes(model.Prefix()), (std::vector<int>{2, 228}));
    EXPECT_EQ(model.Prefix().Items()[1].name, "\xC3\xA4");
    EXPECT_EQ(model.Daten().GetMembers().identifierBefore, "\xC3\x84"); // 196 = Ä
    EXPECT_EQ(model.Param().GetMembers().request, "\xC3\xA4");
    EXPECT_EQ(model.Param().GetMembers().mode, 1);
    EXPECT_TRUE(model.Param().GetMembers().sensor);
    EXPECT_EQ(model.Param().ChosenBaudRate(), 9600);
    EXPECT_EQ(model.Caption(), "Programmierung eingeben - " + File("win.mkr"));
    EXPECT_EQ(Image(model),
              "2 228 255 | 1 200 2 0 0 255 255 255 255 255 255 255 255 255 255 255 255 1 2 16 12 3 196 0 | "
              "17 3 228 8 | 13 255 | 255 | 9 255 | ");

    // Saved over a copy: byte for byte the same file.
    Write(File("copy.mkr"), kWindowsFile);
    host.saveFile = File("copy.mkr");
    ASSERT_TRUE(model.Save(host));
    EXPECT_EQ(Read(File("copy.mkr")), kWindowsFile);
    // Saved into a new file: the same keys in the same order.
    host.saveFile = File("new.mkr");
    ASSERT_TRUE(model.Save(host));
    std::string expected = kWindowsFile;
    for (const char* section : {"[Data]", "[Suffix]", "[Abziehen]", "[Termix]"})
        expected.insert(expected.find(section), "\r\n");
    EXPECT_EQ(Read(File("new.mkr")), expected);
    EXPECT_EQ(model.Caption(), "Programmierung eingeben - " + File("new.mkr"));

    // And it loads into fresh pages identically.
    CSeriellEinstellModel again(0, 19200, Flags);
    ASSERT_TRUE(again.LoadFile(host, File("new.mkr")));
    EXPECT_EQ(Image(again), Image(model));
}

TEST_F(DocumentTest, HandMadeFiles) {
    Write(File("odd.mkr"), "\xEF\xBB\xBF; hand made\n[prefix]\ncount = 3\nascii0=300\n ascii1 = 65 \n"
                           "[Suffix]\nCount=16\nAscii0=65\n[Abziehen]\nCount=-2\n"
                           "[Termix]\nCount=1\nAscii0=9\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    model.Suffix().SetCodes({1, 2});
    ASSERT_TRUE(model.LoadFile(host, File("odd.mkr")));
    ASSERT_EQ(host.MessageIds(), std::vector<int>{531});
    EXPECT_EQ(Codes(model.Prefix()), (std::vector<int>{44, 65, 0}));
    EXPECT_TRUE(model.Suffix().Items().empty()); // emptied before, not loaded
    EXPECT_TRUE(model.Abziehen().Items().empty());
    EXPECT_EQ(Codes(model.Trenner()), std::vector<int>{9});
    const auto& data = model.Daten().GetMembers(); // no Data section: its defaults
    EXPECT_EQ(data.representation, 1);
    EXPECT_EQ(data.characterCount, 10);
    EXPECT_EQ(data.lastUsedByte, 5);
    EXPECT_EQ(data.firstUsedByte, 1);
    const auto& param = model.Param().GetMembers();
    EXPECT_EQ(param.cycleTime, 1000);
    EXPECT_EQ(param.timeout, 500);
    EXPECT_EQ(param.request, "?");
    EXPECT_EQ(model.Param().ChosenBaudRate(), 19200);
    EXPECT_FALSE(model.Prefix().Changed());
}

TEST_F(DocumentTest, TheTrennerSequenceIsNotEmptiedByLoading) {
    Write(File("a.mkr"), "[Prefix]\nCount=16\n[Termix]\nCount=16\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    model.Trenner().SetCodes({9});
    model.Prefix().SetCodes({1});
    ASSERT_TRUE(model.LoadFile(host, File("a.mkr")));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{531, 531}));
    EXPECT_TRUE(model.Prefix().Items().empty());
    EXPECT_EQ(Codes(model.Trenner()), std::vector<int>{9});
}

TEST_F(DocumentTest, SavingAShorterSequenceLeavesOldItemKeys) {
    Write(File("five.mkr"),
          "[Prefix]\r\nCount=5\r\nAscii0=1\r\nAscii1=2\r\nAscii2=3\r\nAscii3=4\r\nAscii4=5\r\n"
          "[Extra]\r\nKeep=me\r\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    model.Prefix().SetCodes({7, 8});
    host.saveFile = File("five.mkr");
    ASSERT_TRUE(model.Save(host));
    const std::string text = Read(File("five.mkr"));
    EXPECT_EQ(
        text.find("[Prefix]\r\nCount=2\r\nAscii0=7\r\nAscii1=8\r\nAscii2=3\r\nAscii3=4\r\nAscii4=5\r\n"), 0u);
    EXPECT_NE(text.find("[Extra]\r\nKeep=me\r\n"), std::string::npos);
    CSeriellEinstellModel back(0, 19200, Flags);
    ASSERT_TRUE(back.LoadFile(host, File("five.mkr")));
    EXPECT_EQ(Codes(back.Prefix()), (std::vector<int>{7, 8}));
}

TEST_F(DocumentTest, AnInvalidPageWritesNothing) {
    Write(File("keep.mkr"), "[Prefix]\r\nCount=0\r\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    model.Prefix().SetCodes({1});
    host.saveFile = File("keep.mkr");

    model.Daten().GetControls().characterCount = "0";
    EXPECT_FALSE(model.Save(host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{61714, 517}));
    EXPECT_EQ(host.saveChoices, 0); // stopped before the file dialog

    // A parameter page that does not validate: its message before the file
    // dialog, again after it, and the file stays as it was.
    host.messages.clear();
    model.Daten().GetControls().characterCount = "10";
    model.Param().GetControls().timeout = "50";
    EXPECT_FALSE(model.Save(host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{61714, 61714}));
    EXPECT_EQ(host.saveChoices, 1);
    EXPECT_EQ(Read(File("keep.mkr")), "[Prefix]\r\nCount=0\r\n");
    EXPECT_FALSE(host.settings["Settings/LastPfad"].empty());
}

TEST_F(DocumentTest, AFileThatCannotBeWrittenIsReported) {
    CSeriellEinstellModel model(0, 19200, Flags);
    host.saveFile = File("missing/folder/x.mkr");
    EXPECT_FALSE(model.Save(host));
    ASSERT_EQ(host.MessageIds(), std::vector<int>{591});
    EXPECT_NE(host.messages[0].text.find("x.mkr"), std::string::npos);
    EXPECT_EQ(model.Caption(), "Programmierung eingeben");
}

TEST_F(DocumentTest, LoadAsksFirstWhenSomethingChanged) {
    Write(File("a.mkr"), "[Prefix]\nCount=1\nAscii0=65\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    host.openFile = File("a.mkr");

    // Nothing changed: no question.
    ASSERT_TRUE(model.Load(host));
    EXPECT_TRUE(host.messages.empty());

    // Changed, answered No: loads without saving.
    model.Suffix().SetChanged(true);
    host.answers = {MessageAnswer::No};
    ASSERT_TRUE(model.Load(host));
    EXPECT_EQ(host.MessageIds(), std::vector<int>{516});
    EXPECT_EQ(host.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(host.saveChoices, 0);

    // Answered Yes, save dialog cancelled: nothing is loaded.
    host.messages.clear();
    model.Abziehen().SetChanged(true);
    model.Prefix().SetCodes({1, 2, 3});
    host.answers = {MessageAnswer::Yes};
    EXPECT_FALSE(model.Load(host));
    EXPECT_EQ(host.saveChoices, 1);
    EXPECT_EQ(model.Prefix().Items().size(), 3u);

    // The data page counts once it is shown; the Register Trenner page never.
    host.messages.clear();
    model.Abziehen().SetChanged(false);
    model.Trenner().SetChanged(true);
    EXPECT_FALSE(model.NeedsSaving(host));
    model.Daten().Show();
    model.Daten().GetControls().lastUsedByte = "9";
    EXPECT_TRUE(model.NeedsSaving(host));
}

TEST_F(DocumentTest, HidFileIntoANormalReaderKeepsParameterDefaults) {
    std::string hid = "[Data]\r\nTimeoutRS232=1200\r\n[HID_KEYS]\r\n";
    for (int code = 0; code < 128; ++code)
        for (const char* level : {"Normal", "Shift", "AltGr"}) {
            char key[32];
            std::snprintf(key, sizeof key, "ScanCode%03d%s=\r\n", code, level);
            hid += key;
        }
    Write(File("hid.mkr"), hid);
    CSeriellEinstellModel model(0, 19200, Flags);
    ASSERT_TRUE(model.LoadFile(host, File("hid.mkr")));
    const auto& param = model.Param().GetMembers();
    EXPECT_EQ(param.mode, 0);
    EXPECT_EQ(param.cycleTime, 1000);
    EXPECT_EQ(param.currentBaud, 19200);
    EXPECT_EQ(param.request, "?");
    EXPECT_EQ(param.timeout, 1200);
    // Saved again, the keyboard table stays in the file.
    host.saveFile = File("hid.mkr");
    ASSERT_TRUE(model.Save(host));
    EXPECT_NE(Read(File("hid.mkr")).find("ScanCode127AltGr=\r\n"), std::string::npos);
}

TEST_F(DocumentTest, AnUnreadableFileLeavesThePages) {
    CSeriellEinstellModel model(0, 19200, Flags);
    model.Prefix().SetCodes({1});
    EXPECT_FALSE(model.LoadFile(host, dir)); // a folder
    EXPECT_EQ(host.MessageIds(), std::vector<int>{592});
    EXPECT_EQ(model.Prefix().Items().size(), 1u);
}
