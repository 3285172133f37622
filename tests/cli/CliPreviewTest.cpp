// kvplm preview: a serial reader's telegram in hex and printable, an HID
// reader's keys and the host text under named layouts with the mismatches
// marked, the exit codes, and the errors that leave nothing to preview.
// Named layouts come from xkb-data; without one its test is skipped.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using CliRun::Outcome;

const char* const kSerial =
    "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nDarstellung=0\r\nZeichenAnzahl=8\r\n"
    "GueltigeBytes=4\r\nGueltigeBytesAb=1\r\n[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n"
    "[Abziehen]\r\nCount=1\r\nAscii0=82\r\n[Termix]\r\nCount=0\r\n";

// An HID reader's file whose table has the US keys of what it types: the
// Prefix "Z@", the EPC's first byte in hex, CR.
const char* const kHid =
    "[Prefix]\r\nCount=2\r\nAscii0=90\r\nAscii1=64\r\n[Data]\r\nDarstellung=0\r\nZeichenAnzahl=2\r\n"
    "GueltigeBytes=1\r\nGueltigeBytesAb=1\r\n[Suffix]\r\nCount=1\r\nAscii0=13\r\n"
    "[Abziehen]\r\nCount=0\r\n[Termix]\r\nCount=0\r\n[HID_KEYS]\r\n"
    "ScanCode003Normal=2\r\nScanCode003Shift=@\r\nScanCode004Normal=3\r\n"
    "ScanCode011Normal=0\r\nScanCode044Normal=z\r\nScanCode044Shift=Z\r\n";

class CliPreviewTest : public ::testing::Test {
protected:
    Outcome Kvplm(const std::string& arguments, const std::string& env = "") {
        return CliRun::Kvplm(
            folder, arguments, 100,
            "env -u DISPLAY -u XKB_DEFAULT_LAYOUT -u XKB_DEFAULT_VARIANT -u XKB_DEFAULT_MODEL "
            "-u XKB_DEFAULT_OPTIONS -u XKB_DEFAULT_RULES " +
                env);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        return scratch.Write(name, bytes);
    }
    // Skips the test when xkb has no such layout.
    bool HasLayout(const std::string& name) { return Kvplm("keytable --layout " + name).exit == 0; }

    CliRun::ScratchFolder scratch{"preview"};
    std::string folder = scratch.Path();
};

} // namespace

TEST_F(CliPreviewTest, ASerialReadersTelegramAndRemoval) {
    const std::string file = Write("serial.mkr", kSerial);
    Outcome run = Kvplm("preview " + file + " --tag E2003412");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Telegram\n  hex        02 45 32 30 30 33 34 31 32 0D 0A\n"
                           "  printable  <STX>E2003412<CR><LF>\n"
                           "Removal\n  hex        52\n  printable  R\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  EPC        E2 00 34 12\n"), std::string::npos);
    EXPECT_EQ(run.out.find("keys"), std::string::npos);

    // The sample transponder by default; JSON on request.
    run = Kvplm("preview " + file + " --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("\"reader\":\"serial\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"telegram\":{\"hex\":\"02 33 30 37 34 32 35 37 42 0D 0A\","
                           "\"printable\":\"<STX>3074257B<CR><LF>\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"epc\":\"30 74 25 7B F7 19 4E 40 00 00 1A 85\""), std::string::npos);
    EXPECT_EQ(run.out.back(), '\n');

    // A host layout means nothing to a serial reader: said, and ignored.
    run = Kvplm("preview " + file + " --host-layout de");
    EXPECT_EQ(run.exit, 0);
    EXPECT_NE(run.err.find("--host-layout does not apply"), std::string::npos) << run.err;
}

TEST_F(CliPreviewTest, AnHidReadersKeysOnAGermanHostShowTheMismatches) {
    if (!HasLayout("de") || !HasLayout("us")) GTEST_SKIP() << "keyboard layouts de/us not in xkb-data";
    const std::string file = Write("hid.mkr", kHid);
    Outcome run = Kvplm("preview " + file + " --host-layout de");
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_NE(run.out.find("  printable  Z@30<CR>\n  keys\n"
                           "    Z     usage 1D modifier 02  host Y       MISMATCH Z typed, host shows Y\n"
                           "    @     usage 1F modifier 02  host \"       MISMATCH @ typed, host shows \"\n"
                           "    3     usage 20 modifier 00  host 3\n"
                           "    0     usage 27 modifier 00  host 0\n"
                           "    <CR>  usage 28 modifier 00  host <CR>\n"
                           "  host text  Y\"30<CR>\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Host layout de: 2 mismatches\n"), std::string::npos);

    // The US host shows what is meant; the host's own layout is the default.
    run = Kvplm("preview " + file + " --host-layout us");
    EXPECT_EQ(run.exit, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Host layout us: no mismatch\n"), std::string::npos);
    run = Kvplm("preview " + file, "XKB_DEFAULT_LAYOUT=de");
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.out.find("Host layout XKB_DEFAULT_LAYOUT=de: 2 mismatches\n"), std::string::npos)
        << run.out;

    run = Kvplm("preview " + file + " --host-layout de --json");
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.out.find("{\"character\":90,\"usage\":29,\"modifier\":2,\"host\":89,\"mismatch\":true,"
                           "\"text\":\"Z typed, host shows Y\"}"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"host_layout\":\"de\""), std::string::npos);
    EXPECT_NE(run.out.find(",\"mismatches\":2}\n"), std::string::npos);
}

TEST_F(CliPreviewTest, AFrenchHostAndAnUnknownLayout) {
    if (!HasLayout("fr")) GTEST_SKIP() << "keyboard layout fr not in xkb-data";
    const std::string file = Write("hid.mkr", kHid);
    Outcome run = Kvplm("preview " + file + " --host-layout fr");
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.out.find("MISMATCH Z typed, host shows W\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("MISMATCH 0 typed, host shows nothing\n"), std::string::npos) << run.out;

    run = Kvplm("preview " + file + " --host-layout xx-none");
    EXPECT_EQ(run.exit, 4);
    EXPECT_NE(run.err.find("kvplm: no keymap for the host layout xx-none"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(CliPreviewTest, UsageAndFileErrors) {
    const std::string file = Write("serial.mkr", kSerial);
    EXPECT_EQ(Kvplm("preview").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " extra").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " --tag XY").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " --tag 123").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " --tag ''").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " --user 1G").exit, 2);
    EXPECT_EQ(Kvplm("preview " + file + " --host-layout=").exit, 2);

    Outcome run = Kvplm("preview " + folder + "/missing.mkr");
    EXPECT_EQ(run.exit, 4);
    EXPECT_EQ(run.err, "kvplm: cannot read " + folder + "/missing.mkr\n");
    EXPECT_EQ(run.out, "");
    // Not a configuration, and a page that refuses its values: their
    // messages, no preview.
    run = Kvplm("preview " + Write("noise.mkr", "just some text\n"));
    EXPECT_EQ(run.exit, 4);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.out, "");
    run = Kvplm("preview " + Write("bad.mkr", "[Data]\r\nZeichenAnzahl=0\r\n"));
    EXPECT_EQ(run.exit, 4);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.out.find("Telegram"), std::string::npos);
}
