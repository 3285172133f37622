// kvplm on a simulated HID reader: the simulator runs in this process, kvplm
// reaches it through the stand-in hidapi library put first on its
// LD_LIBRARY_PATH.
#include "HidSimulator.h"
#include "SimReader.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr const char* Port = "'4400-000777 HID:1'";

using CliRun::Outcome;
using CliRun::ReadAll;

class CliHidTest : public ::testing::Test {
protected:
    void SetUp() override { Start(false); }
    void TearDown() override { sim.reset(); }
    void Start(bool ignoreKeys) {
        sim.reset();
        CHidSimulator::Options options;
        options.serial = "4400-000777";
        options.directory = folder;
        options.table = *CSimKeyTable::Named("de");
        options.ignoreKeys = ignoreKeys;
        sim = std::make_unique<CHidSimulator>(reader, options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }
    Outcome Kvplm(const std::string& arguments) {
        return CliRun::Kvplm(folder, arguments, 300,
                             "env -u DISPLAY LD_LIBRARY_PATH=" + std::string(STANDIN_DIR) +
                                 " KVPLM_HID_SIM_DIR=" + folder);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        return scratch.Write(name, bytes);
    }
    std::vector<Bytes> KeySets() const {
        std::vector<Bytes> sets;
        for (const auto& event : sim->Events())
            if (event.kind == CHidSimulator::Event::Kind::KeySet) sets.push_back(event.bytes);
        return sets;
    }

    CliRun::ScratchFolder scratch{"hid"};
    std::string folder = scratch.Path();
    CSimReader reader;
    std::unique_ptr<CHidSimulator> sim;
};

} // namespace

TEST_F(CliHidTest, KeytablePrintsTheReadersTable) {
    const Outcome run = Kvplm(std::string("keytable ") + Port);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Keyboard table of the reader\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\n  10 Q   Normal q   Shift Q   AltGr @\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  15 Y   Normal z   Shift Z   AltGr --\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n  0C -   Normal --  Shift ?   AltGr \\\n"), std::string::npos);
    EXPECT_EQ(run.out.find("\n  29 "), std::string::npos); // ^ is a dead key: no character on that key

    Start(true);
    const Outcome silent = Kvplm(std::string("keytable ") + Port);
    EXPECT_EQ(silent.exit, 1);
    EXPECT_EQ(silent.err, "Keine Verbindung zum Gerät\n");
    EXPECT_EQ(silent.out, "");
}

TEST_F(CliHidTest, KeytableSetTransfersAFilesTable) {
    const std::string file =
        Write("keys.mkr", "[Data]\r\nTimeoutRS232=500\r\n[HID_KEYS]\r\nScanCode016Normal=q\r\n"
                          "ScanCode016AltGr=@\r\nScanCode057Normal=x\r\nScanCode002Shift=!\r\n");
    const Outcome run = Kvplm(std::string("keytable ") + Port + " --set " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "Keyboard table of " + file + " transferred (4 key settings)\n");
    // The space bar's key (no button) is not sent.
    EXPECT_EQ(KeySets(), (std::vector<Bytes>{{0x12, '!', 0x02, 0x1E},
                                             {0x12, 'q', 0x00, 0x14},
                                             {0x12, '@', 0x40, 0x14},
                                             {0x12, 0x1B, 0x00, 0x29}}));
    EXPECT_EQ(sim->Table().Lookup('q'), (CSimKeyTable::Key{0x00, 0x14}));
}

TEST_F(CliHidTest, SaveThenProgramAnHidFile) {
    reader.SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, 0x3F, 0x09});
    reader.SetBlock(CSimReader::Block::Prefix, {0x02, 0xFF});
    const std::string file = folder + "/reader.mkr";
    Outcome run = Kvplm(std::string("save ") + Port + " " + file);
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::string saved = ReadAll(file);
    EXPECT_NE(saved.find("TimeoutRS232=900\r\n"), std::string::npos) << saved;
    EXPECT_LT(saved.find("TimeoutRS232="), saved.find("[HID_KEYS]\r\nScanCode000Normal=\r\n"));
    EXPECT_NE(saved.find("ScanCode021Normal=z\r\nScanCode021Shift=Z\r\n"), std::string::npos);
    EXPECT_NE(saved.find("ScanCode016AltGr=@\r\n"), std::string::npos);
    EXPECT_EQ(saved.find("Betriebsart"), std::string::npos);

    // Programmed into a reader with the US table: the blocks, then the file's keys.
    sim->SetTable(*CSimKeyTable::Named("us"));
    reader.SetBlock(CSimReader::Block::ModeParam, {0x03, 0x0A, 0x41, 0x05});
    reader.SetBlock(CSimReader::Block::Prefix, {0xFF});
    sim->ClearEvents();
    run = Kvplm(std::string("program ") + Port + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "Programmierung erfolgreich abgeschlossen\n");
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::ModeParam), (Bytes{0x00, 0x0A, 0x3F, 0x09}));
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::Prefix), (Bytes{0x02, 0xFF}));
    const auto sets = KeySets();
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.back(), (Bytes{0x12, 0x1B, 0x00, 0x29}));
    EXPECT_EQ(sim->Table().Lookup('z'), (CSimKeyTable::Key{0x00, 0x1C}));
    EXPECT_EQ(sim->Table().Lookup('@'), (CSimKeyTable::Key{0x40, 0x14}));

    // show prints the saved table.
    run = Kvplm("show " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("  ModeParam  00 0A 3F 09\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  15 Y   Normal z   Shift Z   AltGr --\n"), std::string::npos);
}

TEST_F(CliHidTest, ANormalFileKeepsTheReadersOwnTable) {
    const std::string file = Write("normal.mkr", "[Prefix]\r\nCount=0\r\n[Data]\r\nBetriebsart=3\r\n"
                                                 "TimeoutRS232=600\r\n");
    const Outcome run = Kvplm(std::string("program ") + Port + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, "kvplm: " + file + " has no keyboard table; the reader's own is kept\n");
    EXPECT_EQ(reader.GetBlock(CSimReader::Block::ModeParam), (Bytes{0x00, 0x0A, 0x3F, 0x06}));
    // The reader's German table went back as it was.
    EXPECT_EQ(sim->Table().Lookup('z'), (CSimKeyTable::Key{0x00, 0x1C}));
    EXPECT_EQ(sim->Table().Lookup('\\'), (CSimKeyTable::Key{0x40, 0x2D}));
}

TEST_F(CliHidTest, AReaderThatDoesNotAnswerTheKeysIsNotSaved) {
    Start(true);
    const std::string file = folder + "/reader.mkr";
    const Outcome run = Kvplm(std::string("save ") + Port + " " + file);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "kvplm: the reader did not give its keyboard table; nothing saved\n");
    EXPECT_EQ(access(file.c_str(), F_OK), -1);
}
