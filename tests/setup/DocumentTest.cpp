#include "FakeHost.h"
#include "ProfileFile.h"
#include "ProgramReader.h"
#include "SeriellEinstellModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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

TEST_F(DocumentTest, WhatIsNoConfigurationIsRefusedAndChangesNothing) {
    // 3000 random bytes: none of the sections a configuration has.
    std::mt19937 random(10);
    std::string noise;
    for (int i = 0; i < 3000; ++i)
        noise += char(random() & 0xFF);
    Write(File("noise.mkr"), noise);
    Write(File("other.ini"), "[General]\nDarstellung=2\n[HID_KEYS]\nScanCode002Normal=1\n");
    Write(File("empty.mkr"), "");

    CSeriellEinstellModel model(0, 19200, Flags);
    Write(File("mine.mkr"), "[Prefix]\nCount=1\nAscii0=65\n[Data]\nDarstellung=2\nZeichenAnzahl=12\n");
    ASSERT_TRUE(model.LoadFile(host, File("mine.mkr")));
    model.Suffix().SetCodes({13});
    host.settings["Settings/LastPfad"] = "/somewhere/test.mkp";
    const std::string caption = model.Caption();
    const std::string image = Image(model);

    for (const char* name : {"noise.mkr", "other.ini", "empty.mkr"}) {
        SCOPED_TRACE(name);
        host.messages.clear();
        EXPECT_FALSE(model.LoadFile(host, File(name)));
        ASSERT_EQ(host.MessageIds(), std::vector<int>{598});
        EXPECT_EQ(host.messages[0].text, "Die Datei " + File(name) +
                                             " ist keine Konfiguration:\r\nsie hat keinen der Abschnitte "
                                             "Prefix, Data, Suffix, Abziehen, Termix.");
        EXPECT_EQ(model.Caption(), caption);
        EXPECT_EQ(Image(model), image);
        EXPECT_EQ(host.settings["Settings/LastPfad"], "/somewhere/test.mkp");
    }

    // A missing file is no configuration either; the message says why.
    host.messages.clear();
    EXPECT_FALSE(model.LoadFile(host, File("missing.mkr")));
    ASSERT_EQ(host.MessageIds(), std::vector<int>{592});
    EXPECT_EQ(host.messages[0].text, "Die Datei " + File("missing.mkr") +
                                         " konnte nicht gelesen werden.\r\nNo such file or directory");
    EXPECT_EQ(model.Caption(), caption);
    EXPECT_EQ(Image(model), image);
}

TEST_F(DocumentTest, ASequenceLongerThanAFileHoldsIsNotReportedAsSaved) {
    // A reader keeps sequences of any length; a file holds 15 codes.
    CSeriellEinstellModel model(0, 19200, Flags);
    const uint8_t block[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 0xFF};
    model.Prefix().FromBlock(block, sizeof block);
    model.Prefix().SetChanged(false);
    model.Suffix().SetChanged(true);
    host.saveFile = File("cut.mkr");
    EXPECT_EQ(model.SaveDocument(host), CSeriellEinstellModel::SaveResult::Cut);
    ASSERT_EQ(host.MessageIds(), std::vector<int>{594});
    EXPECT_EQ(host.messages[0].text, "Die Seite Prefix hat 20 Codes; gespeichert sind nur die ersten 15.\r\n"
                                     "Eine Datei nimmt je Seite höchstens 15 Codes auf.");
    // Not counted as saved: the caption and the changed flags stay.
    EXPECT_EQ(model.Caption(), "Programmierung eingeben");
    EXPECT_TRUE(model.Suffix().Changed());
    // What was written loads again, with the first 15 codes.
    const std::string text = Read(File("cut.mkr"));
    EXPECT_NE(text.find("Count=15\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Ascii15"), std::string::npos);
    host.messages.clear();
    CSeriellEinstellModel back(0, 19200, Flags);
    ASSERT_TRUE(back.LoadFile(host, File("cut.mkr")));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(Codes(back.Prefix()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));

    // "Laden" that saves first stops: the codes beyond 15 are still on the page.
    host.messages.clear();
    host.answers = {MessageAnswer::Yes};
    host.openFile = File("cut.mkr");
    EXPECT_FALSE(model.Load(host));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{516, 594}));
    EXPECT_EQ(model.Prefix().Items().size(), 20u);

    // Once the page holds 15 codes, it is saved as a whole.
    host.messages.clear();
    model.Prefix().SelectRows({15, 16, 17, 18, 19});
    ASSERT_FALSE(model.Prefix().DeleteSelected());
    EXPECT_TRUE(model.Save(host));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(model.Caption(), "Programmierung eingeben - " + File("cut.mkr"));
}

TEST_F(DocumentTest, ASequenceTheFileDidNotLoadIsNotProgrammed) {
    Write(File("long.mkr"), "[Prefix]\r\nCount=20\r\nAscii0=65\r\n[Suffix]\r\nCount=1\r\nAscii0=13\r\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    ASSERT_TRUE(model.LoadFile(host, File("long.mkr")));
    EXPECT_EQ(host.MessageIds(), std::vector<int>{531});
    EXPECT_EQ(model.RefusedSequence(), &model.Prefix());
    int connects = 0;
    host.connect = [&connects](bool) {
        ++connects;
        return SetupConnection{};
    };
    host.messages.clear();
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::Invalid);
    EXPECT_EQ(connects, 0); // stopped before the reader is touched
    ASSERT_EQ(host.MessageIds(), std::vector<int>{595});
    EXPECT_EQ(host.messages[0].text,
              "Die Seite Prefix wurde nicht aus der Datei geladen und wird nicht "
              "programmiert.\r\nBitte die Datei berichtigen oder die Seite bearbeiten.");

    // A file that loads, or an edit of the page, lifts it.
    Write(File("ok.mkr"), "[Prefix]\r\nCount=0\r\n");
    ASSERT_TRUE(model.LoadFile(host, File("ok.mkr")));
    EXPECT_EQ(model.RefusedSequence(), nullptr);
    ASSERT_TRUE(model.LoadFile(host, File("long.mkr")));
    model.Prefix().TypeEntry("A");
    ASSERT_FALSE(model.Prefix().Accept());
    EXPECT_EQ(model.RefusedSequence(), nullptr);
    host.messages.clear();
    EXPECT_EQ(ProgramReader(model, host), ProgramResult::NoConnection);
    EXPECT_EQ(connects, 1);
}

TEST_F(DocumentTest, ValuesWithoutAButtonAreReplacedByTheirDefaults) {
    Write(File("odd.mkr"), "[Data]\r\nDarstellung=255\r\nBetriebsart=23\r\n");
    CSeriellEinstellModel model(0, 19200, Flags);
    ASSERT_TRUE(model.LoadFile(host, File("odd.mkr")));
    const std::vector<ValueReplacement> replaced = model.Replacements();
    ASSERT_EQ(replaced.size(), 2u);
    EXPECT_EQ(replaced[0].field, "Darstellung");
    EXPECT_EQ(replaced[0].from, 255);
    EXPECT_EQ(replaced[0].to, 0);
    EXPECT_EQ(replaced[1].field, "Betriebsart");
    EXPECT_EQ(replaced[1].from, 7); // the mode; the sensor bit stays
    EXPECT_EQ(replaced[1].to, 0);
    // The buttons of the defaults are checked, and that is what would be programmed.
    EXPECT_EQ(model.Daten().GetControls().representation, 0);
    EXPECT_EQ(model.Param().GetControls().mode, 0);
    CSeriellEinstellModel::Image image;
    ASSERT_FALSE(model.BuildImage(image));
    EXPECT_EQ(image.param[18], 0);
    EXPECT_EQ(image.modeParam[0], 0x10);

    // The pages count as changed until they are saved, shown or not.
    EXPECT_TRUE(model.NeedsSaving(host));
    host.saveFile = File("odd.mkr");
    ASSERT_TRUE(model.Save(host));
    EXPECT_NE(Read(File("odd.mkr")).find("Darstellung=0\r\n"), std::string::npos);
    EXPECT_NE(Read(File("odd.mkr")).find("Betriebsart=16\r\n"), std::string::npos);
    EXPECT_TRUE(model.Replacements().empty());
    EXPECT_FALSE(model.NeedsSaving(host));

    // Modes 5 and 6 are modes the readers have: kept as they are.
    Write(File("five.mkr"), "[Data]\r\nDarstellung=4\r\nBetriebsart=6\r\n");
    ASSERT_TRUE(model.LoadFile(host, File("five.mkr")));
    EXPECT_TRUE(model.Replacements().empty());
    ASSERT_FALSE(model.BuildImage(image));
    EXPECT_EQ(image.param[18], 4);
    EXPECT_EQ(image.modeParam[0], 6);
}
