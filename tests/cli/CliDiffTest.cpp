// kvplm diff: files and simulated readers (in this process, on ptys) compared
// field by field; the exit status says equal (0), different (1), bad command
// line (2), a reader that cannot be read (3), a file that cannot be used (4).
#include "HidSimulator.h"
#include "PtySimulator.h"
#include "SimReader.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using CliRun::Outcome;
using Block = CSimReader::Block;
using Bytes = CSimReader::Bytes;

// A simulated reader on a pty, without line time.
struct Reader {
    Reader() {
        CPtySimulator::Options options;
        options.announce = false;
        options.lineTime = false;
        sim = std::make_unique<CPtySimulator>(reader, options);
        started = sim->Start();
    }
    ~Reader() { sim->Stop(); }
    std::string Port() const { return sim->DevicePath(); }

    CSimReader reader{CSimReader::Options{}};
    std::unique_ptr<CPtySimulator> sim;
    bool started = false;
};

const char* const kFile = "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nDarstellung=0\r\nZeichenAnzahl=12\r\n"
                          "Betriebsart=3\r\nZykluszeit=500\r\nBaudrate=19200\r\nTimeoutRS232=300\r\n"
                          "[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n";

class CliDiffTest : public ::testing::Test {
protected:
    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 300); }
    std::string Write(const std::string& name, const std::string& text) { return scratch.Write(name, text); }

    // A simulated HID reader with the German table, reached through the
    // stand-in hidapi library.
    bool StartHid() {
        CHidSimulator::Options options;
        options.serial = "4400-000778";
        options.directory = folder;
        options.table = *CSimKeyTable::Named("de");
        hid = std::make_unique<CHidSimulator>(hidReader, options);
        std::string error;
        const bool started = hid->Start(&error);
        EXPECT_TRUE(started) << error;
        return started;
    }
    Outcome Hid(const std::string& arguments) {
        return CliRun::Kvplm(folder, arguments, 300,
                             "env -u DISPLAY LD_LIBRARY_PATH=" + std::string(STANDIN_DIR) +
                                 " KVPLM_HID_SIM_DIR=" + folder);
    }

    CliRun::ScratchFolder scratch{"diff"};
    std::string folder = scratch.Path();
    const std::string hidPort = "'4400-000778 HID:1'";
    CSimReader hidReader{CSimReader::Options{}};
    std::unique_ptr<CHidSimulator> hid;
};

} // namespace

TEST_F(CliDiffTest, FileAgainstFile) {
    const std::string a = Write("a.mkr", kFile);
    std::string changed = kFile;
    changed.replace(changed.find("Zykluszeit=500"), 14, "Zykluszeit=1000");
    changed.replace(changed.find("Ascii1=10"), 9, "Ascii1=9");
    const std::string b = Write("b.mkr", changed);

    Outcome run = Kvplm("diff " + a + " " + a);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");

    run = Kvplm("diff " + a + " " + b);
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_EQ(run.out, "Zykluszeit: 500 ms -> 1000 ms\nSuffix: CR (Enter), LF -> CR (Enter), HT (Tab)\n");
    EXPECT_EQ(run.err, "");
    // The other way round, the values swap sides.
    run = Kvplm("diff " + b + " " + a);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "Zykluszeit: 1000 ms -> 500 ms\nSuffix: CR (Enter), HT (Tab) -> CR (Enter), LF\n");
}

TEST_F(CliDiffTest, BadCommandLinesAndFilesThatCannotBeCompared) {
    const std::string a = Write("a.mkr", kFile);
    Outcome run = Kvplm("diff " + a);
    EXPECT_EQ(run.exit, 2);
    run = Kvplm("diff " + a + " " + a + " " + a);
    EXPECT_EQ(run.exit, 2);
    EXPECT_NE(run.err.find("unexpected argument"), std::string::npos) << run.err;

    // A .mkr name that is no file is not tried as a port.
    run = Kvplm("diff " + a + " " + folder + "/missing.mkr");
    EXPECT_EQ(run.exit, 4); // a file error
    EXPECT_EQ(run.err, "kvplm: cannot read " + folder + "/missing.mkr\n");
    EXPECT_EQ(run.out, "");

    // A file that is no configuration, and one whose page refuses a value.
    const std::string notes = Write("notes.txt", "my notes\n");
    run = Kvplm("diff " + a + " " + notes);
    EXPECT_EQ(run.exit, 4);
    EXPECT_NE(run.err.find("keine Konfiguration"), std::string::npos) << run.err;
    const std::string fast = Write("fast.mkr", "[Data]\r\nZykluszeit=50\r\n");
    run = Kvplm("diff " + fast + " " + a);
    EXPECT_EQ(run.exit, 4);
    EXPECT_NE(run.err.find("zwischen 100 und 12700"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");

    // A port where there is no reader.
    run = Kvplm("diff " + a + " /dev/kvplm-no-such-reader");
    EXPECT_EQ(run.exit, 3);
    EXPECT_NE(run.err, "");
    EXPECT_EQ(run.out, "");
}

TEST_F(CliDiffTest, FileAgainstTheReaderItWasProgrammedInto) {
    Reader device;
    ASSERT_TRUE(device.started);
    const std::string file = Write("a.mkr", kFile);
    Outcome run = Kvplm("program " + device.Port() + " " + file);
    ASSERT_EQ(run.exit, 0) << run.err;

    run = Kvplm("diff " + device.Port() + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
    run = Kvplm("diff " + file + " " + device.Port());
    EXPECT_EQ(run.exit, 0) << run.err;
}

TEST_F(CliDiffTest, AChangedReaderAndOneThatFailsARead) {
    Reader device;
    ASSERT_TRUE(device.started);
    // The simulated reader's own blocks, but mode 3 with 500 ms and a Prefix.
    const std::string file = Write("a.mkr", "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nDarstellung=0\r\n"
                                            "GueltigeBytes=5\r\nBetriebsart=3\r\nZykluszeit=500\r\n");
    device.reader.SetBlock(Block::ModeParam, {0x03, 0x0A, 0x3F, 0x05});
    device.reader.SetBlock(Block::Prefix, {0x02, 0x41, 0xFF});
    Outcome run = Kvplm("diff " + device.Port() + " " + file);
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_EQ(run.out, "Zykluszeit: 1000 ms -> 500 ms\nPrefix: STX, A -> STX\n");

    // A reader that fails a read: no comparison, and no line on stdout.
    device.reader.FaultStatus(0x89, 20, false); // ReadParam
    run = Kvplm("diff " + device.Port() + " " + file);
    EXPECT_EQ(run.exit, 3);
    EXPECT_NE(run.err.find("ReadParam"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(CliDiffTest, ReaderAgainstReader) {
    Reader first, second;
    ASSERT_TRUE(first.started && second.started);
    Outcome run = Kvplm("diff " + first.Port() + " " + second.Port());
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");

    first.reader.SetBlock(Block::ModeParam, {0x13, 0x05, 0x21, 0x05});
    second.reader.SetBlock(Block::ModeParam, {0x03, 0x05, 0x3F, 0x05});
    second.reader.SetBlock(Block::Termix, {0x2C, 0xFF});
    run = Kvplm("diff " + first.Port() + " " + second.Port());
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_EQ(run.out, "Sensoreingang: aktiv -> inaktiv\nAufforderung: ! -> ?\n"
                       "Register Trenner: keine -> ,\n");
}

TEST_F(CliDiffTest, AnHidReaderAndItsFile) {
    ASSERT_TRUE(StartHid());
    // A backup of the reader holds it.
    const std::string file = folder + "/reader.mkr";
    Outcome run = Hid("save " + hidPort + " " + file);
    ASSERT_EQ(run.exit, 0) << run.err;
    run = Hid("diff " + hidPort + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");

    // The file without the AltGr character of Q and with a longer timeout.
    std::string text = CliRun::ReadAll(file);
    text.replace(text.find("ScanCode016AltGr=@"), 18, "ScanCode016AltGr=");
    text.replace(text.find("TimeoutRS232=500"), 16, "TimeoutRS232=900");
    const std::string changed = Write("changed.mkr", text);
    run = Hid("diff " + hidPort + " " + changed);
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_EQ(run.out, "Timeout: 500 ms -> 900 ms\nTaste Q AltGr: @ -> keine\n");
}

TEST_F(CliDiffTest, AnHidReaderHoldsTheCharactersItCannotReport) {
    ASSERT_TRUE(StartHid());
    const std::string file = folder + "/reader.mkr";
    Outcome run = Hid("save " + hidPort + " " + file);
    ASSERT_EQ(run.exit, 0) << run.err;
    // The backup with an "ö" on the ";" key, programmed: the reader holds
    // it, though it reports no character outside 32..126.
    std::string text = CliRun::ReadAll(file);
    text.replace(text.find("ScanCode039Normal="), 18, "ScanCode039Normal=\xF6");
    const std::string umlaut = Write("umlaut.mkr", text);
    run = Hid("program " + hidPort + " " + umlaut);
    ASSERT_EQ(run.exit, 0) << run.err;
    run = Hid("diff " + umlaut + " " + hidPort);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
}
