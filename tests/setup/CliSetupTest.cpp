// The kvplm commands of the reader configuration, run as a program against
// the simulated reader.
#include "SimHost.h"

#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Outcome {
    int exit = -1;
    std::string out, err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

class CliTest : public SimFixture {
protected:
    Outcome Kvplm(const std::string& arguments) {
        const std::string out = folder + "/out.txt", err = folder + "/err.txt";
        const std::string command = std::string(KVPLM_PATH) + " --timeout 300 " + arguments + " >" + out +
                                    " 2>" + err + " </dev/null";
        Outcome run;
        const int status = std::system(command.c_str());
        run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }
    std::string File(const std::string& name, const std::string& text) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Port() const { return sim->DevicePath(); }
};

const char* const kFile = "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nTransponderTyp=0\r\nDarstellung=4\r\n"
                          "ZeichenAnzahl=12\r\nGueltigeBytes=6\r\nBetriebsart=1\r\nZykluszeit=500\r\n"
                          "Baudrate=19200\r\nAufforderung=!\r\nTimeoutRS232=300\r\n"
                          "[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n";

} // namespace

TEST_F(CliTest, ProgramReadbackSaveAndShow) {
    const std::string file = File("a.mkr", kFile);
    Outcome run = Kvplm("program " + Port() + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "Programmierung erfolgreich abgeschlossen\n");
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::ModeParam), (Frame::Bytes{0x01, 0x05, 0x21, 0x03}));

    run = Kvplm("readback " + Port());
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, " Prefix        : 02 \n"
                       " Suffix        : 0D 0A \n"
                       " Abziehen      : \n"
                       " Reg. Trenner  : \n"
                       "\n -------------------------------------------------\n\n"
                       " Tag - Typ     : Tag ID\n"
                       " Blöcke        : \n"
                       " Datentyp      : Hex (0-9,abcdef)\n"
                       " Zeichenzahl   : 12\n"
                       " Benutzte Bytes: 1 - 6\n"
                       " Mode          : 1\n"
                       " Sensor        : inaktiv\n"
                       " Zykluszeit    : 500 Millisekunden\n"
                       " Aufforderung  : !\n"
                       " Timeout       : 300 Millisekunden \n"
                       " \n");

    // A backup of the reader, loaded again, programs the same blocks.
    const std::string backup = folder + "/backup.mkr";
    run = Kvplm("save " + Port() + " " + backup);
    EXPECT_EQ(run.exit, 0) << run.err;
    const Outcome shownFile = Kvplm("show " + file);
    const Outcome shownBackup = Kvplm("show " + backup);
    EXPECT_EQ(shownFile.exit, 0);
    EXPECT_NE(shownFile.out.find("  ModeParam  01 05 21 03\n"), std::string::npos) << shownFile.out;
    EXPECT_EQ(shownFile.out, shownBackup.out);
}

TEST_F(CliTest, FailuresExitNonZero) {
    const std::string file = File("a.mkr", kFile);
    reader->FaultStatus(0x83, 20, false); // WriteSuffix
    Outcome run = Kvplm("program " + Port() + " " + file);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err,
              "Es ist ein Fehler bei der Programmierung aufgetreten.\nBitte wiederholen Sie den Vorgang\n");

    run = Kvplm("program " + folder + "/nothing " + file);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "Fehler beim Öffnen des Ports\nKeine Verbindung zum Gerät\n");

    run = Kvplm("show " + File("bad.mkr", "[Data]\nZeichenAnzahl=0\n"));
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "Geben Sie bitte eine ganze Zahl zwischen 1 und 32 ein.\n");

    run = Kvplm("show " + File("big.mkr", "[Suffix]\nCount=16\n"));
    EXPECT_EQ(run.exit, 0); // the rest of the file loads
    EXPECT_EQ(run.err.rfind("Beim Laden der Daten ist der Fehler,\n", 0), 0u);

    reader->FaultStatus(0x8D, 21, false); // ReadPostcode
    run = Kvplm("readback " + Port());
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.out.find(" Suffix        : \nFehler 21 bei ReadPostcode\n"), std::string::npos) << run.out;

    reader->FaultStatus(0x8A, 24, false); // ReadPrefix: a message, no report
    run = Kvplm("readback " + Port());
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Lesefehler : 18Hex\n");

    reader->FaultStatus(0x8B, 21, false); // ReadSuffix
    run = Kvplm("save " + Port() + " " + folder + "/never.mkr");
    EXPECT_EQ(run.exit, 1);
    EXPECT_FALSE(std::ifstream(folder + "/never.mkr").good());

    EXPECT_EQ(Kvplm("program " + Port()).exit, 2); // usage
    EXPECT_EQ(Kvplm("program " + Port() + " " + file + " --set-baud 1200").exit, 2);
}

TEST_F(CliTest, PowerOnMode) {
    Outcome run = Kvplm("poweron " + Port());
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.out, "reader\n");
    EXPECT_EQ(Kvplm("poweron " + Port() + " programming").exit, 0);
    EXPECT_EQ(reader->PowerOnMode(), 0);
    EXPECT_EQ(Kvplm("poweron " + Port()).out, "programming\n");
    EXPECT_EQ(Kvplm("poweron " + Port() + " sleeping").exit, 2);
}
