// The kvplm commands of the reader configuration, run as a program against
// the simulated reader.
#include "SimHost.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KVPLM_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KVPLM_TEST_SANITIZED 1
#endif
#endif
#ifdef KVPLM_TEST_SANITIZED
const char* const kMemoryLimit = "";
#else
const char* const kMemoryLimit = "ulimit -v 4000000; ";
#endif

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
        // Bounded in time and memory whatever the input: a hostile file must
        // neither hang the test nor take the machine's memory. A sanitizer
        // build reserves terabytes of address space for its shadow memory, so
        // there the limit would stop the program before it starts.
        const std::string command = std::string(kMemoryLimit) + "timeout 60 " + std::string(KVPLM_PATH) +
                                    " --timeout 300 " + arguments + " >" + out + " 2>" + err + " </dev/null";
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
    // The configuration commands the reader received (0x81..0x86).
    size_t Writes() const {
        size_t writes = 0;
        for (const CSimReader::Request& request : reader->Requests()) {
            const Frame::Bytes& raw = request.raw;
            const int command = request.framing == Frame::Bcc ? raw[2] : raw[1];
            if (command >= 0x81 && command <= 0x86) ++writes;
        }
        return writes;
    }
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
    EXPECT_EQ(run.exit, 3); // no connection
    EXPECT_EQ(run.err, "Fehler beim Öffnen des Ports\nKeine Verbindung zum Gerät\n");

    run = Kvplm("show " + File("bad.mkr", "[Data]\nZeichenAnzahl=0\n"));
    EXPECT_EQ(run.exit, 4); // a file error
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

TEST_F(CliTest, ASequenceLongerThanAFileHoldsIsNotSavedOrProgrammedAsIfWhole) {
    // A reader takes a Prefix of 20 codes; a .mkr file holds 15.
    Frame::Bytes prefix;
    for (uint8_t code = 0x41; code < 0x41 + 20; ++code)
        prefix.push_back(code);
    prefix.push_back(0xFF);
    reader->SetBlock(CSimReader::Block::Prefix, prefix);
    const std::string file = folder + "/long.mkr";
    std::remove(file.c_str());
    Outcome run = Kvplm("save " + Port() + " " + file);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "Die Seite Prefix hat 20 Codes; gespeichert sind nur die ersten 15.\n"
                       "Eine Datei nimmt je Seite höchstens 15 Codes auf.\n"
                       "kvplm: " +
                           file + " does not hold the whole configuration (--force accepts that)\n");
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("[Prefix]\r\nCount=15\r\nAscii0=65\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Ascii15="), std::string::npos);
    // What was saved loads again.
    run = Kvplm("show " + file);
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("  Prefix     41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F FF\n"),
              std::string::npos)
        << run.out;
    // --force accepts the cut.
    run = Kvplm("save " + Port() + " " + file + " --force");
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.err.rfind("Die Seite Prefix hat 20 Codes", 0), 0u) << run.err;

    // A file whose sequence does not load programs nothing at all.
    const std::string refused =
        File("count20.mkr", "[Prefix]\r\nCount=20\r\nAscii0=65\r\n[Suffix]\r\nCount=1\r\nAscii0=13\r\n");
    const size_t writes = Writes();
    run = Kvplm("program " + Port() + " " + refused);
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Beim Laden der Daten ist der Fehler,\nMaximum der Befehlszeilen überschritten, aufgetreten !\n"
              "Die Seite Prefix wurde nicht aus der Datei geladen und wird nicht programmiert.\n"
              "Bitte die Datei berichtigen oder die Seite bearbeiten.\n");
    EXPECT_EQ(Writes(), writes);
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::Prefix), prefix);
}

TEST_F(CliTest, ValuesWithoutAButtonAreReplacedAndSaidSo) {
    const std::string file = File("odd.mkr", "[Data]\r\nDarstellung=255\r\nBetriebsart=7\r\n");
    const std::string note = "kvplm: " + file +
                             ": Darstellung 255 has no button on its page; 0 is taken over instead\n"
                             "kvplm: " +
                             file +
                             ": Betriebsart mode 7 has no button on its page; mode 0 is taken "
                             "over instead\n";
    Outcome run = Kvplm("show " + file);
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.err, note);
    EXPECT_NE(run.out.find("  Darstellung      0\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  ModeParam  00 0A 3F 05\n"), std::string::npos) << run.out;

    run = Kvplm("program " + Port() + " " + file);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, note);
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::Param)[18], 0);
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::ModeParam)[0], 0);

    // From a reader: a Param byte 18 of 07 and a mode 9 with the sensor bit.
    Frame::Bytes param = reader->GetBlock(CSimReader::Block::Param);
    param[18] = 0x07;
    reader->SetBlock(CSimReader::Block::Param, param);
    reader->SetBlock(CSimReader::Block::ModeParam, {0x19, 0x0A, 0x3F, 0x05});
    const std::string saved = folder + "/fromreader.mkr";
    run = Kvplm("save " + Port() + " " + saved);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err,
              "kvplm: the reader: Darstellung 7 has no button on its page; 0 is taken over instead\n"
              "kvplm: the reader: Betriebsart mode 9 has no button on its page; mode 0 is taken over "
              "instead\n");
    EXPECT_NE(ReadFile(saved).find("Darstellung=0\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(saved).find("Betriebsart=16\r\n"), std::string::npos);

    // Mode 5 is a mode of the readers: kept, nothing said.
    run = Kvplm("show " + File("five.mkr", "[Data]\r\nBetriebsart=5\r\n"));
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("  ModeParam  05 0A 3F 05\n"), std::string::npos) << run.out;
}

TEST_F(CliTest, WhatIsNoConfigurationFileIsRefused) {
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += char(state >> 24);
    }
    const std::string random = File("random.mkr", noise);
    std::string big = "[Data]\n";
    big.resize(2 * 1024 * 1024, ';');
    const std::string huge = File("huge.mkr", big);
    const std::string fifo = folder + "/pipe.mkr";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path, reason;
    } cases[] = {
        {random, " ist keine Konfiguration:\nsie hat keinen der Abschnitte Prefix, Data, Suffix, Abziehen, "
                 "Termix.\n"},
        {huge, " konnte nicht gelesen werden.\nDie Datei ist größer als 1 MiB.\n"},
        {"/dev/zero", " konnte nicht gelesen werden.\nEs ist keine gewöhnliche Datei.\n"},
        {fifo, " konnte nicht gelesen werden.\nEs ist keine gewöhnliche Datei.\n"},
        {folder, " konnte nicht gelesen werden.\nEs ist keine gewöhnliche Datei.\n"},
    };
    const size_t writes = Writes();
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.path);
        Outcome run = Kvplm("show " + hostile.path);
        EXPECT_EQ(run.exit, 4); // file errors
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "Die Datei " + hostile.path + hostile.reason);
        run = Kvplm("program " + Port() + " " + hostile.path);
        EXPECT_EQ(run.exit, 4);
        EXPECT_EQ(run.err, "Die Datei " + hostile.path + hostile.reason);
    }
    EXPECT_EQ(Writes(), writes);
}

TEST_F(CliTest, SaveWritesThroughLinksAndRefusesReadOnlyFiles) {
    const std::string readOnly = File("ro.mkr", "[Prefix]\r\nCount=0\r\n");
    chmod(readOnly.c_str(), 0444);
    Outcome run = Kvplm("save " + Port() + " " + readOnly);
    EXPECT_EQ(run.exit, 4); // a file error
    EXPECT_EQ(run.err, "Die Datei " + readOnly + " konnte nicht gespeichert werden.\nPermission denied\n");
    EXPECT_EQ(ReadFile(readOnly), "[Prefix]\r\nCount=0\r\n");

    const std::string link = folder + "/link.mkr", target = folder + "/target.mkr";
    std::remove(link.c_str());
    std::remove(target.c_str());
    ASSERT_EQ(symlink("target.mkr", link.c_str()), 0);
    run = Kvplm("save " + Port() + " " + link);
    EXPECT_EQ(run.exit, 0) << run.err;
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target).rfind("[Prefix]\r\nCount=0\r\n", 0), 0u);

    run = Kvplm("save " + Port() + " " + folder + "/no/such/x.mkr");
    EXPECT_EQ(run.exit, 4);
    EXPECT_EQ(run.err, "Die Datei " + folder +
                           "/no/such/x.mkr konnte nicht gespeichert werden.\nNo such file or directory\n");
}

TEST_F(CliTest, SaveRefusesBlocksThePagesCannotTakeOver) {
    // What the pages would hold instead is their defaults, not the reader's
    // configuration: such a backup is refused, and an existing file stays.
    const Frame::Bytes param = reader->GetBlock(CSimReader::Block::Param);
    const Frame::Bytes mode = reader->GetBlock(CSimReader::Block::ModeParam);
    Frame::Bytes tooManyCharacters = param;
    tooManyCharacters[19] = 0xFF; // ZeichenAnzahl 255: the page takes 1..32
    const struct {
        const char* what;
        Frame::Bytes param, mode;
        std::string message;
    } cases[] = {
        {"a Param block of 5 bytes", {1, 2, 3, 4, 5}, mode, "Param"},
        {"a character count the page refuses", tooManyCharacters, mode, "Param"},
        {"a cycle time of 0", param, {0x03, 0x00, 0x3F, 0x05}, "ModeParam"},
        {"a ModeParam block of 1 byte", param, {0x03}, "ModeParam"},
    };
    const std::string kept = "[Prefix]\r\nCount=0\r\n";
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.what);
        reader->SetBlock(CSimReader::Block::Param, bad.param);
        reader->SetBlock(CSimReader::Block::ModeParam, bad.mode);
        const std::string fresh = folder + "/fresh.mkr";
        std::remove(fresh.c_str());
        Outcome run = Kvplm("save " + Port() + " " + fresh);
        EXPECT_EQ(run.exit, 1);
        EXPECT_NE(run.err.find("kvplm: the reader's " + bad.message +
                               " block(s) could not be taken over as they are; nothing saved\n"),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(std::ifstream(fresh).good());
        const std::string existing = File("existing.mkr", kept);
        EXPECT_EQ(Kvplm("save " + Port() + " " + existing + " --force").exit, 1);
        EXPECT_EQ(ReadFile(existing), kept);
    }
    // The reader's own blocks again: saved.
    reader->SetBlock(CSimReader::Block::Param, param);
    reader->SetBlock(CSimReader::Block::ModeParam, mode);
    const Outcome run = Kvplm("save " + Port() + " " + folder + "/fine.mkr");
    EXPECT_EQ(run.exit, 0) << run.err;
}

TEST_F(CliTest, AFileWithCarriageReturnLineEndsProgramsWhatItHolds) {
    std::string crOnly = kFile;
    for (size_t at = crOnly.find("\r\n"); at != std::string::npos; at = crOnly.find("\r\n", at))
        crOnly.erase(at + 1, 1);
    const Outcome lines = Kvplm("show " + File("crlf.mkr", kFile));
    const Outcome cr = Kvplm("show " + File("cr.mkr", crOnly));
    EXPECT_EQ(cr.exit, 0) << cr.err;
    EXPECT_EQ(cr.out, lines.out);
    const Outcome run = Kvplm("program " + Port() + " " + folder + "/cr.mkr");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::Prefix), (Frame::Bytes{0x02, 0xFF}));
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::ModeParam), (Frame::Bytes{0x01, 0x05, 0x21, 0x03}));
}

TEST_F(CliTest, AFileWhosePageFailsItsCheckWritesNothing) {
    // Programming writes the Prefix before it checks the data page; a file
    // whose data or parameter page fails must not leave the reader half
    // programmed.
    const Frame::Bytes prefix = reader->GetBlock(CSimReader::Block::Prefix);
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"[Prefix]\r\nCount=1\r\nAscii0=65\r\n[Data]\r\nZeichenAnzahl=0\r\n",
         "Geben Sie bitte eine ganze Zahl zwischen 1 und 32 ein.\n"},
        {"[Prefix]\r\nCount=1\r\nAscii0=65\r\n[Data]\r\nZykluszeit=50\r\n",
         "Geben Sie bitte eine ganze Zahl zwischen 100 und 12700 ein.\n"},
    };
    const size_t writes = Writes();
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.text);
        const Outcome run = Kvplm("program " + Port() + " " + File("bad.mkr", bad.text));
        EXPECT_EQ(run.exit, 4); // the file's pages fail their checks
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, bad.message);
    }
    EXPECT_EQ(Writes(), writes);
    EXPECT_EQ(reader->GetBlock(CSimReader::Block::Prefix), prefix);
}

TEST_F(CliTest, AnEmptyFileNameIsAUsageError) {
    // "save" used to read the reader and then end with exit 1 and no word.
    const size_t requests = reader->Requests().size();
    for (const std::string& command : {"save " + Port(), "program " + Port(), std::string("show")}) {
        const Outcome run = Kvplm(command + " ''");
        EXPECT_EQ(run.exit, 2) << command;
        EXPECT_EQ(run.err, "kvplm: FILE.mkr is missing\n(kvplm --help lists the commands)\n") << command;
    }
    EXPECT_EQ(reader->Requests().size(), requests);
}
