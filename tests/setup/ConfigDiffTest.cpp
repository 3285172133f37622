// ConfigDiff on pairs of configurations built as programming builds them,
// and on files loaded as "Laden" loads them.
#include "ConfigDiff.h"

#include "FakeHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = ConfigDiff::Bytes;

struct Sequences {
    Bytes prefix, suffix, postcode, termix;
};

Bytes Block(Bytes codes) {
    codes.push_back(0xFF);
    return codes;
}

ConfigDiff::Configuration Make(const KonfigDaten& record, const Sequences& sequences = {}, int baud = 19200) {
    CSeriellEinstellModel::Image image;
    image.record = record;
    image.param = ConfigImage::BuildParam(record);
    image.modeParam = ConfigImage::BuildModeParam(record);
    image.prefix = Block(sequences.prefix);
    image.suffix = Block(sequences.suffix);
    image.postcode = Block(sequences.postcode);
    image.termix = Block(sequences.termix);
    return ConfigDiff::FromImage(image, false, baud, nullptr);
}

std::vector<std::string> Lines(const ConfigDiff::Configuration& left,
                               const ConfigDiff::Configuration& right) {
    std::vector<std::string> lines;
    for (const ConfigDiff::Difference& difference : ConfigDiff::Compare(left, right))
        lines.push_back(ConfigDiff::Line(difference));
    return lines;
}

using Strings = std::vector<std::string>;

TEST(ConfigDiffTest, EqualConfigurationsHaveNoDifferences) {
    const KonfigDaten record;
    EXPECT_TRUE(ConfigDiff::Compare(Make(record), Make(record)).empty());
    // What the reader keeps of a value is what counts: 1050 ms and 550 ms
    // reach it as 1000 ms and 500 ms, as the default record holds them.
    KonfigDaten rounded;
    rounded.Zykluszeit = 1050;
    rounded.TimeoutRS232 = 550;
    EXPECT_EQ(Lines(Make(record), Make(rounded)), Strings{});
}

TEST(ConfigDiffTest, ParameterPageFieldsInTheirOrder) {
    const KonfigDaten left;
    KonfigDaten right;
    right.Betriebsart = 0x13; // mode 3, sensor input on
    right.Zykluszeit = 500;
    right.TimeoutRS232 = 1200;
    right.Aufforderung = '!';
    EXPECT_EQ(Lines(Make(left), Make(right, {}, 9600)),
              (Strings{"Betriebsart: Mode 0 -> Mode 3", "Sensoreingang: inaktiv -> aktiv",
                       "Zykluszeit: 1000 ms -> 500 ms", "Timeout: 500 ms -> 1200 ms", "Aufforderung: ? -> !",
                       "Baudrate: 19200 -> 9600"}));
    // A control character as request is named as the key sequence pages name it.
    right = KonfigDaten();
    right.Aufforderung = 0x0D;
    EXPECT_EQ(Lines(Make(left), Make(right)), (Strings{"Aufforderung: ? -> CR (Enter)"}));
}

TEST(ConfigDiffTest, BaudRateOnlyWhereBothSidesHaveOne) {
    const KonfigDaten record;
    // 0: a network reader (programming does not change its rate).
    EXPECT_EQ(Lines(Make(record, {}, 0), Make(record, {}, 9600)), Strings{});
    EXPECT_EQ(Lines(Make(record, {}, 19200), Make(record, {}, 2400)), (Strings{"Baudrate: 19200 -> 2400"}));
}

TEST(ConfigDiffTest, DataPageFieldsInTheirOrder) {
    const KonfigDaten left;
    KonfigDaten right;
    right.TransponderTyp = 1;
    right.Registers[0] = {4, 8, 2}; // USER, length 8, start 2
    right.Registers[2] = {3, 4, 0}; // TID
    right.GueltigeBytesAb = 2;
    right.GueltigeBytes = 6;
    right.Ausrichtung = 3;
    right.Darstellung = 4;
    right.ZeichenAnzahl = 12;
    right.KennungLinks = 'A';
    right.KennungRechts = 0x0D;
    EXPECT_EQ(Lines(Make(left), Make(right)),
              (Strings{"Datenformat: EPC -> Blöcke", "Register 1: ----- -> USER Start 2 Länge 8",
                       "Register 3: ----- -> TID Start 0 Länge 4", "Benutzte Bytes: 1 - 5 -> 2 - 6",
                       "Drehen: aus -> Byteweise und Bitweise",
                       "Darstellung der Daten: Hexadezimal (ABCDEF) -> Hexadezimal (abcdef)",
                       "Zeichenanzahl: 10 -> 12", "Typkennung vor Daten: keine -> A",
                       "Typkennung nach Daten: keine -> CR (Enter)"}));

    // One register, only its start changed.
    KonfigDaten moved = right;
    moved.Registers[0].StartRegister = 3;
    EXPECT_EQ(Lines(Make(right), Make(moved)),
              (Strings{"Register 1: USER Start 2 Länge 8 -> USER Start 3 Länge 8"}));
}

TEST(ConfigDiffTest, ValuesWithoutAButtonAreShownAsTheyAre) {
    // A reader may hold a representation or a rotation no page button has;
    // the comparison shows it instead of the default a page would show.
    const KonfigDaten record;
    ConfigDiff::Configuration reader = Make(record);
    reader.param[18] = 7;
    reader.param[17] = 4;
    reader.param[0] = 2;
    EXPECT_EQ(Lines(reader, Make(record)),
              (Strings{"Datenformat: Unbekannt (2) -> EPC", "Drehen: Unbekannt (4) -> aus",
                       "Darstellung der Daten: Unbekannt (7) -> Hexadezimal (ABCDEF)"}));
    // A Param block of another length: said so, and its first 24 bytes compared.
    ConfigDiff::Configuration longer = Make(record);
    longer.param.push_back(0);
    longer.param.push_back(0);
    EXPECT_EQ(Lines(longer, Make(record)), (Strings{"Länge des Param-Blocks: 26 Bytes -> 24 Bytes"}));
}

TEST(ConfigDiffTest, KeySequencesAsTheirPagesNameThem) {
    const KonfigDaten record;
    const Sequences left{{0x02}, {0x0D, 0x0A}, {0x80}, {','}};
    const Sequences right{{0x02, 'A', 0x0D}, {}, {0x8F}, {',', ' '}};
    EXPECT_EQ(Lines(Make(record, left), Make(record, right)),
              (Strings{"Prefix: STX -> STX, A, CR (Enter)", "Suffix: CR (Enter), LF -> keine",
                       "Abziehen: F1 -> Wait 100", "Register Trenner: , -> ,, SP"}));
    // The same codes in another order differ; equal sequences give nothing.
    const Sequences swapped{{0x02}, {0x0A, 0x0D}, {0x80}, {','}};
    EXPECT_EQ(Lines(Make(record, left), Make(record, swapped)),
              (Strings{"Suffix: CR (Enter), LF -> LF, CR (Enter)"}));
    EXPECT_EQ(Lines(Make(record, left), Make(record, left)), Strings{});
    EXPECT_EQ(ConfigDiff::SequenceText({0xE4, 0x7F}), "ä, DEL");
}

TEST(ConfigDiffTest, KeyboardTableKeysThatDiffer) {
    const KonfigDaten record;
    CHidKeyTable file, reader;
    file.SetChar(0x10, CHidKeyTable::Normal, 'q');
    file.SetChar(0x10, CHidKeyTable::Shift, 'Q');
    file.SetChar(0x10, CHidKeyTable::AltGr, '@');
    file.SetChar(0x15, CHidKeyTable::Normal, 'z');
    reader = file;
    reader.SetChar(0x10, CHidKeyTable::AltGr, 0);
    reader.SetChar(0x15, CHidKeyTable::Normal, 'y');
    // The space bar has no button: its characters never reach the reader.
    reader.SetChar(0x39, CHidKeyTable::Normal, ' ');
    CSeriellEinstellModel::Image image;
    image.param = ConfigImage::BuildParam(record);
    image.modeParam = ConfigImage::BuildModeParam(record);
    image.prefix = image.suffix = image.postcode = image.termix = Bytes{0xFF};
    ConfigDiff::Configuration left = ConfigDiff::FromImage(image, true, 0, &file);
    ConfigDiff::Configuration right = ConfigDiff::FromImage(image, true, 0, &reader);
    EXPECT_EQ(Lines(left, right), (Strings{"Taste Q AltGr: @ -> keine", "Taste Y Normal: z -> y"}));

    // A reader reports only the characters 32..126: a file's "ä" is left out
    // against a reader, but not between two files.
    file = CHidKeyTable();
    file.SetChar(0x27, CHidKeyTable::Normal, 0xF6); // ö
    left = ConfigDiff::FromImage(image, true, 0, &file);
    right = ConfigDiff::FromImage(image, true, 0, &reader);
    const Strings betweenFiles = Lines(left, right);
    ASSERT_FALSE(betweenFiles.empty());
    EXPECT_EQ(betweenFiles.front(), "Taste Q Normal: keine -> q");
    EXPECT_NE(std::find(betweenFiles.begin(), betweenFiles.end(), "Taste ; Normal: ö -> keine"),
              betweenFiles.end());
    CHidKeyTable empty;
    right = ConfigDiff::FromImage(image, true, 0, &empty);
    right.fromReader = true;
    EXPECT_EQ(Lines(left, right), Strings{});

    // A file without a table programs none: nothing to compare.
    right = ConfigDiff::FromImage(image, true, 0, nullptr);
    EXPECT_EQ(Lines(left, right), Strings{});
}

class ConfigDiffFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvplm-configdiff-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string folder;
    FakeHost host;
};

TEST_F(ConfigDiffFileTest, FilesLoadAsTheirPagesLoadThem) {
    const std::string a = Write("a.mkr", "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nBetriebsart=3\r\n"
                                         "Zykluszeit=500\r\nBaudrate=9600\r\nDarstellung=2\r\n");
    const std::string b =
        Write("b.mkr", "[Prefix]\r\nCount=0\r\n[Data]\r\nBetriebsart=3\r\nZykluszeit=800\r\n"
                       "Baudrate=19200\r\nDarstellung=7\r\n");
    std::vector<ValueReplacement> replaced;
    const auto left = ConfigDiff::LoadFile(host, a);
    const auto right = ConfigDiff::LoadFile(host, b, false, &replaced);
    ASSERT_TRUE(left && right);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(left->hid);
    EXPECT_EQ(left->baudRate, std::optional<int>(9600));
    // The representation 7 has no button: programming the file writes the
    // default, which is what it is compared as (and what is reported).
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].field, "Darstellung");
    EXPECT_EQ(Lines(*left, *right),
              (Strings{"Zykluszeit: 500 ms -> 800 ms", "Baudrate: 9600 -> 19200",
                       "Darstellung der Daten: ASCII -> Hexadezimal (ABCDEF)", "Prefix: STX -> keine"}));
}

TEST_F(ConfigDiffFileTest, AFileThatCannotBeUsedGivesItsMessageAndNothing) {
    EXPECT_FALSE(ConfigDiff::LoadFile(host, folder + "/missing.mkr"));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{592}));

    host.messages.clear();
    EXPECT_FALSE(ConfigDiff::LoadFile(host, Write("notes.mkr", "just notes\n")));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{598}));

    // A sequence of 16 codes is not loaded: the page would compare as what it held before.
    host.messages.clear();
    std::string sixteen = "[Suffix]\r\nCount=16\r\n";
    for (int i = 0; i < 16; ++i)
        sixteen += "Ascii" + std::to_string(i) + "=65\r\n";
    EXPECT_FALSE(ConfigDiff::LoadFile(host, Write("long.mkr", sixteen)));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{531}));

    // A value its page refuses: the page's message, no comparison.
    host.messages.clear();
    EXPECT_FALSE(ConfigDiff::LoadFile(host, Write("fast.mkr", "[Data]\r\nZykluszeit=50\r\n")));
    EXPECT_EQ(host.MessageIds(), (std::vector<int>{61714}));
}

TEST_F(ConfigDiffFileTest, AnHidFileHasItsTableAndNoBaudRate) {
    const std::string hid =
        Write("hid.mkr", "[Data]\r\nTimeoutRS232=900\r\n[HID_KEYS]\r\nScanCode016Normal=q\r\n"
                         "ScanCode016AltGr=@\r\n");
    const std::string normal = Write("normal.mkr", "[Data]\r\nTimeoutRS232=900\r\n");
    EXPECT_TRUE(ConfigDiff::FileIsHid(hid));
    EXPECT_FALSE(ConfigDiff::FileIsHid(normal));
    const auto left = ConfigDiff::LoadFile(host, hid);
    ASSERT_TRUE(left);
    EXPECT_TRUE(left->hid);
    EXPECT_FALSE(left->baudRate);
    ASSERT_TRUE(left->keyTable);
    EXPECT_EQ(left->keyTable->Char(0x10, CHidKeyTable::AltGr), '@');
    // A normal file loaded for an HID reader: the HID page's fixed values, no table.
    const auto right = ConfigDiff::LoadFile(host, normal, true);
    ASSERT_TRUE(right);
    EXPECT_TRUE(right->hid);
    EXPECT_FALSE(right->keyTable);
    EXPECT_EQ(Lines(*left, *right), Strings{});
    EXPECT_EQ(right->modeParam, (Bytes{0x00, 0x0A, 0x3F, 0x09}));
}

} // namespace
