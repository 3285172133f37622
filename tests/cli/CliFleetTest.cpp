// kvplm program with several readers at once: simulated network readers run
// as processes on loopback (in the test's own network namespace), one of them
// failing while it is programmed; two readers on ptys with the table on a
// terminal; and the pieces without I/O (report lines, table, comparison).
#include "CliRun.h"
#include "FleetProgram.h"
#include "SimProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sstream>

namespace {

using CliRun::Outcome;
using SimTest::Program;

// Prefix STX, Suffix CR LF; mode 1, cycle 500 ms, request "!", time-out 300 ms.
const char* const kConfiguration =
    "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nTransponderTyp=0\r\nDarstellung=4\r\n"
    "ZeichenAnzahl=12\r\nGueltigeBytes=6\r\nBetriebsart=1\r\nZykluszeit=500\r\nBaudrate=19200\r\n"
    "Aufforderung=!\r\nTimeoutRS232=300\r\n[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n";
const char* const kProgrammingFailed =
    "failed: Es ist ein Fehler bei der Programmierung aufgetreten. Bitte wiederholen Sie den Vorgang";

// A simulated reader as a process, its console on stdin.
class Reader {
public:
    explicit Reader(const std::vector<std::string>& args) : m_sim(args) {
        m_banner = m_sim.ReadLine();
        EXPECT_EQ(m_banner.rfind("kvplm-readersim: ", 0), 0u) << m_banner;
    }
    const std::string& Banner() const { return m_banner; }
    std::string Console(const std::string& line) {
        m_sim.Send(line);
        return m_sim.ReadLine();
    }
    // "blocks": block name -> its bytes in hex.
    std::map<std::string, std::string> Blocks() {
        m_sim.Send("blocks");
        std::map<std::string, std::string> blocks;
        for (int i = 0; i < 6; ++i) {
            const std::string line = m_sim.ReadLine();
            const size_t colon = line.find(':');
            if (colon == std::string::npos) break;
            blocks[line.substr(0, colon)] = line.substr(std::min(line.size(), colon + 2));
        }
        EXPECT_EQ(blocks.size(), 6u);
        return blocks;
    }

private:
    Program m_sim;
    std::string m_banner;
};

class CliFleetTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 1);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        setenv("KVPLM_SIM_DIR", folder.c_str(), 1);
        file = scratch.Write("fleet.mkr", kConfiguration);
    }

    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 300); }

    static std::unique_ptr<Reader> Network(const std::string& address,
                                           const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"--lan", address, "--quiet"};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<Reader>(args);
    }
    std::unique_ptr<Reader> Pty(const std::string& name) {
        return std::make_unique<Reader>(std::vector<std::string>{"--no-line-time", "--no-announce", "--quiet",
                                                                 "--link", folder + "/" + name});
    }
    // Where text occurs in out (npos when not), for the order of one reader's lines.
    static size_t At(const std::string& out, const std::string& text) { return out.find(text); }

    CliRun::ScratchFolder scratch{"fleet"};
    std::string folder = scratch.Path();
    std::string file;
};

TEST_F(CliFleetTest, LanAllProgramsEveryVerifiedReaderAndReportsTheOneThatFails) {
    auto plain = Network("127.0.0.2");
    auto failing = Network("127.0.0.3");
    auto lager1 = Network("127.0.0.4", {"--lan-dhcp", "LAGER1"});
    auto lager2 = Network("127.0.0.5", {"--lan-dhcp", "LAGER2"});
    auto foreign = Network("127.0.0.6", {"--lan-name", "Fremdgeraet"});
    const auto factory = plain->Blocks();
    // The Param write (the second block) is refused: the Prefix is in, the rest is not.
    ASSERT_EQ(failing->Console("fault status 81 5"), "ok");

    const Outcome run = Kvplm("program --lan-all " + file);
    EXPECT_EQ(run.exit, 1) << run.out << run.err;
    for (const std::string reader : {"127.0.0.2-10001", "[LAGER1]", "[LAGER2]"}) {
        const size_t connecting = At(run.out, reader + ": connecting\n");
        const size_t writing = At(run.out, reader + ": writing\n");
        const size_t done = At(run.out, reader + ": programmed\n");
        EXPECT_NE(connecting, std::string::npos) << reader << "\n" << run.out;
        EXPECT_LT(connecting, writing) << reader << "\n" << run.out;
        EXPECT_LT(writing, done) << reader << "\n" << run.out;
        EXPECT_NE(done, std::string::npos) << reader << "\n" << run.out;
    }
    EXPECT_NE(At(run.out, "127.0.0.3-10001: writing\n"), std::string::npos) << run.out;
    EXPECT_NE(At(run.out, std::string("127.0.0.3-10001: ") + kProgrammingFailed + "\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(At(run.out, "127.0.0.6"), std::string::npos) << run.out; // not of the family
    const std::string summary = "4 readers: 3 programmed, 1 failed\n";
    ASSERT_GE(run.out.size(), summary.size());
    EXPECT_EQ(run.out.substr(run.out.size() - summary.size()), summary);
    // What the failing reader said comes after the summary.
    EXPECT_NE(
        run.err.find("kvplm: 127.0.0.3-10001:\n  Es ist ein Fehler bei der Programmierung aufgetreten."),
        std::string::npos)
        << run.err;

    // The three hold the file; the failing one stopped after the Prefix;
    // the foreign device was not touched.
    const auto programmed = plain->Blocks();
    EXPECT_EQ(programmed.at("ModeParam"), "01 05 21 03");
    EXPECT_NE(programmed.at("Suffix"), factory.at("Suffix"));
    EXPECT_EQ(lager1->Blocks(), programmed);
    EXPECT_EQ(lager2->Blocks(), programmed);
    const auto half = failing->Blocks();
    EXPECT_EQ(half.at("Prefix"), programmed.at("Prefix"));
    EXPECT_EQ(half.at("Suffix"), factory.at("Suffix"));
    EXPECT_EQ(half.at("ModeParam"), factory.at("ModeParam"));
    EXPECT_EQ(foreign->Blocks(), factory);
}

TEST_F(CliFleetTest, VerifyReadsTheBlocksBackAndCountsAMismatchAsAFailure) {
    auto good = Network("127.0.0.2");
    auto lying = Network("127.0.0.3");
    auto lager = Network("127.0.0.4", {"--lan-dhcp", "LAGER1"});
    // The Suffix read answers "done" without its bytes.
    ASSERT_EQ(lying->Console("fault status 8B 0"), "ok");

    Outcome run = Kvplm("program --lan-all --verify " + file);
    EXPECT_EQ(run.exit, 1) << run.out << run.err;
    EXPECT_LT(At(run.out, "127.0.0.2-10001: writing\n"), At(run.out, "127.0.0.2-10001: verifying\n"))
        << run.out;
    EXPECT_NE(At(run.out, "127.0.0.2-10001: programmed, verified\n"), std::string::npos) << run.out;
    EXPECT_NE(At(run.out, "[LAGER1]: programmed, verified\n"), std::string::npos) << run.out;
    EXPECT_NE(At(run.out, "127.0.0.3-10001: failed: verify: Suffix reads back as nothing, written "),
              std::string::npos)
        << run.out;
    EXPECT_NE(At(run.out, "3 readers: 2 programmed, 1 failed\n"), std::string::npos) << run.out;
    // The blocks did reach the lying reader: only the read-back differs.
    EXPECT_EQ(lying->Blocks(), good->Blocks());

    // One reader with --verify: programmed as before, then compared.
    run = Kvplm("program 127.0.0.2-10001:1 " + file + " --verify");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              "Programmierung erfolgreich abgeschlossen\nVerified: every block reads back as written\n");
    ASSERT_EQ(lying->Console("fault status 89 0"), "ok");
    run = Kvplm("program 127.0.0.3-10001:1 " + file + " --verify");
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.err.find("kvplm: verify: Param reads back 0 of the "), std::string::npos) << run.err;
}

TEST_F(CliFleetTest, NoReaderABadFileAndBadCommandLinesTouchNothing) {
    Outcome run = Kvplm("program --lan-all " + file);
    EXPECT_EQ(run.exit, 3); // no connection
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no network readers found, nothing programmed"), std::string::npos) << run.err;

    auto reader = Network("127.0.0.2");
    const auto before = reader->Blocks();
    const std::string notes = scratch.Write("notes.mkr", "my notes\n");
    for (const std::string& args :
         std::vector<std::string>{"--lan-all " + notes, "127.0.0.2 " + folder + "/b " + notes}) {
        run = Kvplm("program " + args);
        EXPECT_EQ(run.exit, 4) << args; // a file error
        EXPECT_EQ(run.out, "") << args;
        EXPECT_NE(run.err, "") << args;
    }
    for (const std::string& args :
         std::vector<std::string>{"--lan-all", "--lan-all 127.0.0.2 " + file,
                                  "127.0.0.2 127.0.0.2-10001:2 " + file, "/dev/null:1 /dev/null:2 " + file,
                                  "- 127.0.0.2 " + file, "127.0.0.2 127.0.0.3 " + file + " --bogus",
                                  "127.0.0.2 127.0.0.3 " + file + " --set-baud 1234"}) {
        run = Kvplm("program " + args);
        EXPECT_EQ(run.exit, 2) << args << ": " << run.err;
        EXPECT_EQ(run.out, "") << args;
    }
    EXPECT_EQ(reader->Blocks(), before);
}

// The output of a terminal as it stands after bytes: cursor up, line clear,
// line ends; enough for the table's redraw.
std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t row = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            size_t j = i + 2;
            size_t n = 0;
            while (j < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[j])))
                n = n * 10 + size_t(bytes[j++] - '0');
            if (j < bytes.size() && bytes[j] == 'A') row -= std::min(row, n);
            if (j < bytes.size() && bytes[j] == 'K') lines[row].clear();
            i = j;
        } else if (c == '\n') {
            if (++row == lines.size()) lines.emplace_back();
        } else if (c != '\r') {
            lines[row] += c;
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

TEST_F(CliFleetTest, TwoPtyReadersWithTheTableOnATerminal) {
    auto first = Pty("first");
    auto second = Pty("second");
    const std::string one = folder + "/first", two = folder + "/second";

    // kvplm on a terminal of its own, 100 columns wide.
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(KVPLM_PATH, KVPLM_PATH, "--timeout", "300", "program", one.c_str(), two.c_str(), file.c_str(),
              "--verify", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char chunk[1024];
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) break; // EIO: kvplm ended
        bytes.append(chunk, size_t(n));
    }
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << bytes;

    // Drawn, then redrawn in place (up over the heading and both rows).
    EXPECT_NE(bytes.find("\x1b[3A"), std::string::npos) << bytes;
    const std::vector<std::string> screen = Screen(bytes);
    ASSERT_EQ(screen.size(), 4u) << bytes;
    EXPECT_EQ(screen[0].rfind("reader", 0), 0u) << screen[0];
    EXPECT_NE(screen[0].find("step"), std::string::npos) << screen[0];
    for (size_t i = 1; i <= 2; ++i) {
        const std::string& row = screen[i];
        EXPECT_EQ(row.rfind(i == 1 ? one : two, 0), 0u) << row;
        EXPECT_NE(row.find(" done "), std::string::npos) << row;
        ASSERT_GE(row.size(), 20u) << row;
        EXPECT_EQ(row.substr(row.size() - 20), "programmed, verified") << row;
    }
    EXPECT_EQ(screen[3], "2 readers: 2 programmed, 0 failed");
    EXPECT_EQ(first->Blocks().at("ModeParam"), "01 05 21 03");
    EXPECT_EQ(second->Blocks().at("ModeParam"), "01 05 21 03");

    // Output that nobody reads does not stop the programming half way: the
    // readers still get every block.
    ASSERT_EQ(first->Console("reset"), "ok");
    ASSERT_EQ(second->Console("reset"), "ok");
    ASSERT_NE(first->Blocks().at("ModeParam"), "01 05 21 03");
    CliRun::Kvplm(folder, "program " + one + " " + two + " " + file + " | true", 300);
    EXPECT_EQ(first->Blocks().at("ModeParam"), "01 05 21 03");
    EXPECT_EQ(second->Blocks().at("ModeParam"), "01 05 21 03");
}

TEST(FleetPieces, ReportLinesTableAndSummary) {
    using namespace Cli::Fleet;
    EXPECT_EQ(StepLine("writing"), "step writing\n");
    EXPECT_EQ(ResultLine(false, "Es ist ein Fehler.\r\nBitte  wiederholen\r\n"),
              "result failed Es ist ein Fehler. Bitte wiederholen\n");
    auto event = ParseLine("result failed Es ist ein Fehler. Bitte wiederholen");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, Event::Kind::Result);
    EXPECT_FALSE(event->ok);
    EXPECT_EQ(event->text, "Es ist ein Fehler. Bitte wiederholen");
    event = ParseLine("result ok programmed, verified");
    ASSERT_TRUE(event);
    EXPECT_TRUE(event->ok);
    EXPECT_EQ(event->text, "programmed, verified");
    event = ParseLine("step connecting");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, Event::Kind::Step);
    EXPECT_EQ(event->text, "connecting");
    // Anything else a worker might print is no event.
    for (const char* line :
         {"", "step ", "result", "result maybe", "Programmierung erfolgreich abgeschlossen"})
        EXPECT_FALSE(ParseLine(line)) << line;

    // Columns fit the longest name; a line longer than the terminal is cut
    // by characters, never inside one.
    std::vector<Row> rows(2);
    rows[0].reader = "127.0.0.2-10001";
    rows[0].step = "writing";
    rows[1].reader = "[LAGER1]";
    rows[1].step = "done";
    rows[1].result = "failed: Keine Verbindung zum Gerät";
    std::vector<std::string> lines = TableLines(rows, 200);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "reader           step        result");
    EXPECT_EQ(lines[1], "127.0.0.2-10001  writing");
    EXPECT_EQ(lines[2], "[LAGER1]         done        failed: Keine Verbindung zum Gerät");
    lines = TableLines(rows, 62);
    EXPECT_EQ(lines[2], "[LAGER1]         done        failed: Keine Verbindung zum Gerä");
    EXPECT_EQ(CutToWidth("Gerät", 4), "Gerä");
    EXPECT_EQ(CutToWidth("Gerät", 5), "Gerät");

    // Readers in the order of their numbers, not of their answers.
    std::vector<std::string> found{"127.0.0.10-10001", "[LAGER2]",  "127.0.0.9-10001",
                                   "127.0.0.9-9000",   "[LAGER10]", "[LAGER1]"};
    std::sort(found.begin(), found.end(), ReaderOrder);
    EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.9-9000", "127.0.0.9-10001", "127.0.0.10-10001",
                                               "[LAGER1]", "[LAGER2]", "[LAGER10]"}));

    EXPECT_EQ(Summary(3, 1), "4 readers: 3 programmed, 1 failed");
    EXPECT_EQ(Summary(1, 0), "1 reader: 1 programmed, 0 failed");
}

TEST(FleetPieces, CompareBlocksCountsWhatWasWritten) {
    Cli::BlockSet written;
    written.prefix = {0x02, 0xFF};
    written.suffix = {0x0D, 0x0A, 0xFF};
    written.postcode = {0xFF};
    written.termix = {0xFF};
    written.param = Cli::Bytes(24, 0x11);
    written.modeParam = {0x01, 0x05, 0x21, 0x03};
    Cli::BlockSet read = written;
    EXPECT_TRUE(Cli::CompareBlocks(written, read).empty());
    // A key sequence ends at its mark: what follows it does not count, nor
    // bytes a reader of fixed block size adds after Param.
    read.suffix = {0x0D, 0x0A, 0xFF, 0x33};
    read.param.push_back(0xFF);
    EXPECT_TRUE(Cli::CompareBlocks(written, read).empty());

    read.suffix = {};
    read.modeParam = {0x01, 0x05, 0x21, 0x04};
    read.param.resize(20);
    read.prefix = {0x03, 0xFF};
    EXPECT_EQ(Cli::CompareBlocks(written, read),
              (std::vector<std::string>{"Prefix reads back as 03, written 02",
                                        "Param reads back 20 of the 24 bytes written",
                                        "ModeParam byte 3 reads back as 04, written 03",
                                        "Suffix reads back as nothing, written 0D 0A"}));
}

} // namespace
