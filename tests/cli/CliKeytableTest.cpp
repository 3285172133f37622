// kvplm keytable and show without a reader: the tables named layouts give,
// the host's layout without a display, and the errors that end a run before
// any reader is touched.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using CliRun::Outcome;
using CliRun::ReadAll;

class CliKeytableTest : public ::testing::Test {
protected:
    // Without the host's display and layout variables; env adds some back.
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

    CliRun::ScratchFolder scratch{"keys"};
    std::string folder = scratch.Path();
};

} // namespace

TEST_F(CliKeytableTest, NamedLayoutsAndTheHostsWithoutADisplay) {
    Outcome run = Kvplm("keytable --layout de");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 21), "Keyboard table of de\n");
    EXPECT_NE(run.out.find("\n  0C -   Normal --  Shift ?   AltGr \\\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  15 Y   Normal z   Shift Z   AltGr --\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n  2C Z   Normal y   Shift Y   AltGr --\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n  39     Normal     Shift --  AltGr --\n"), std::string::npos); // no button
    EXPECT_EQ(run.err, "");

    run = Kvplm("keytable --host", "XKB_DEFAULT_LAYOUT=fr");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 40), "Keyboard table of XKB_DEFAULT_LAYOUT=fr\n");
    EXPECT_NE(run.out.find("\n  10 Q   Normal a   Shift A   AltGr --\n"), std::string::npos) << run.out;

    // --layout wins over the host's.
    const Outcome us = Kvplm("keytable --host --layout us", "XKB_DEFAULT_LAYOUT=fr");
    EXPECT_EQ(us.exit, 0);
    EXPECT_NE(us.out.find("\n  10 Q   Normal q   Shift Q   AltGr --\n"), std::string::npos) << us.out;
}

TEST_F(CliKeytableTest, ClearErrors) {
    Outcome run = Kvplm("keytable --layout xx-none");
    EXPECT_EQ(run.exit, 4); // no keymap to be had
    EXPECT_EQ(run.err, "kvplm: unknown keyboard layout: xx-none\n");
    EXPECT_EQ(run.out, "");
    run = Kvplm("keytable --layout 'de(nodeadkeys'");
    EXPECT_EQ(run.exit, 4);

    EXPECT_EQ(Kvplm("keytable").exit, 2);
    EXPECT_EQ(Kvplm("keytable --host extra").exit, 2);
    EXPECT_EQ(Kvplm("keytable --host --set x.mkr").exit, 2);
    EXPECT_EQ(Kvplm("keytable '4400-000001 HID' --set=").exit, 2);

    // Not an HID reader: refused before the port is opened.
    run = Kvplm("keytable /dev/ttyS0");
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "kvplm: /dev/ttyS0 is not an HID reader (its port name has no \"HID\")\n");

    // A file without a table, or none at all: nothing is opened.
    const std::string normal = Write("normal.mkr", "[Data]\r\nTimeoutRS232=700\r\n");
    run = Kvplm("keytable '4400-000001 HID' --set " + normal);
    EXPECT_EQ(run.exit, 4); // file errors
    EXPECT_EQ(run.err, "kvplm: " + normal + " has no keyboard table (section HID_KEYS)\n");
    run = Kvplm("keytable '4400-000001 HID' --set " + folder + "/missing.mkr");
    EXPECT_EQ(run.exit, 4);
    EXPECT_EQ(run.err.rfind("kvplm: cannot read " + folder + "/missing.mkr", 0), 0u) << run.err;
    EXPECT_EQ(ReadAll(normal), "[Data]\r\nTimeoutRS232=700\r\n");
}

TEST_F(CliKeytableTest, ShowPrintsAnHidFilesTable) {
    const std::string file =
        Write("hid.mkr",
              "[Prefix]\r\nCount=0\r\n[Data]\r\nTimeoutRS232=1200\r\n[HID_KEYS]\r\nScanCode016Normal=q\r\n"
              "ScanCode016Shift=Q\r\nScanCode016AltGr=@\r\nScanCode041Shift=\xB0\r\n"
              "ScanCode012AltGr=\\\r\n[Suffix]\r\nCount=0\r\n");
    const Outcome run = Kvplm("show " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("  ModeParam  00 0A 3F 0C\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Keyboard table (HID reader)\n"
                           "  0C -   Normal --  Shift --  AltGr \\\n"
                           "  10 Q   Normal q   Shift Q   AltGr @\n"
                           "  29 \xC2\xB0   Normal --  Shift \xC2\xB0   AltGr --\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Baud rate to set"), std::string::npos);

    // A normal file shows no table.
    const Outcome normal = Kvplm("show " + Write("normal.mkr", "[Data]\r\nTimeoutRS232=700\r\n"));
    EXPECT_EQ(normal.exit, 0);
    EXPECT_EQ(normal.out.find("Keyboard table"), std::string::npos);
    EXPECT_NE(normal.out.find("Baud rate to set: 19200\n"), std::string::npos);
}
