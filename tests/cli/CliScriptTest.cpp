// kvplm as a Unix tool: the help of every command, --json documents parsed
// and checked against simulated readers (pty readers and network readers in
// this process), the exit codes of a missing connection (3) and of a file
// that cannot be used (4), and the progress lines: on a terminal, and none
// through a pipe.
#include "EpcOutput.h"
#include "LanSimulator.h"
#include "PtySimulator.h"
#include "SimHex.h"
#include "SimNetModule.h"
#include "SimReader.h"

#include "CliRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using CliRun::Outcome;

const char* const kFile = "[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nTransponderTyp=0\r\nDarstellung=4\r\n"
                          "ZeichenAnzahl=12\r\nGueltigeBytes=6\r\nBetriebsart=1\r\nZykluszeit=500\r\n"
                          "Baudrate=19200\r\nAufforderung=!\r\nTimeoutRS232=300\r\n[Suffix]\r\nCount=2\r\n"
                          "Ascii0=13\r\nAscii1=10\r\n";

// A simulated reader on a pty, in this process, without line time.
struct PtyReader {
    explicit PtyReader(uint32_t baud = 19200)
        : reader([&] {
              CSimReader::Options options;
              options.line.baud = baud;
              return options;
          }()) {
        CPtySimulator::Options options;
        options.announce = false;
        options.lineTime = false;
        sim = std::make_unique<CPtySimulator>(reader, options);
        std::string error;
        started = sim->Start(&error);
        EXPECT_TRUE(started) << error;
    }
    ~PtyReader() { sim->Stop(); }
    std::string Port() const { return sim->DevicePath(); }

    CSimReader reader;
    std::unique_ptr<CPtySimulator> sim;
    bool started = false;
};

// The document on stdout; a parse error fails the test.
QJsonDocument Json(const Outcome& run) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in: " << run.out << run.err;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "one document on one line: " << run.out;
    return document;
}

std::string Str(const QJsonValue& value) {
    return value.toString().toStdString();
}

class CliScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KVPLM_LAN_BROADCAST", "127.255.255.255", 1);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    Outcome Kvplm(const std::string& arguments) { return CliRun::Kvplm(folder, arguments, 300); }

    // kvplm with stdout and stderr on a terminal of its own; everything it
    // wrote there, and its exit status.
    // seen: called with everything written so far, after each piece.
    Outcome OnTerminal(const std::vector<std::string>& arguments, const char* program = KVPLM_PATH,
                       const std::function<void(const std::string&)>& seen = {}) {
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        winsize size{};
        size.ws_col = 120;
        size.ws_row = 24;
        int master = -1;
        Outcome run;
        const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
        if (pid < 0) return run;
        if (pid == 0) {
            execv(program, argv.data());
            _exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char chunk[1024];
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n <= 0) break; // EIO: kvplm ended
            run.out.append(chunk, size_t(n));
            if (seen) seen(run.out);
        }
        close(master);
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exit = WEXITSTATUS(status);
        return run;
    }

    CliRun::ScratchFolder scratch{"script"};
    std::string folder = scratch.Path();
};

// The command names of "kvplm --help": the first word of each line after "commands:".
std::vector<std::string> CommandNames(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream lines(help);
    std::string line;
    bool listing = false;
    while (std::getline(lines, line)) {
        if (line == "commands:") {
            listing = true;
            continue;
        }
        if (!listing || line.size() < 3 || line.compare(0, 2, "  ") != 0) continue;
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
}

TEST_F(CliScriptTest, EveryCommandHasItsHelp) {
    const Outcome general = Kvplm("--help");
    EXPECT_EQ(general.exit, 0);
    EXPECT_EQ(general.err, "");
    const std::vector<std::string> names = CommandNames(general.out);
    ASSERT_GE(names.size(), 20u) << general.out;
    EXPECT_EQ(Kvplm("help").out, general.out);
    EXPECT_EQ(Kvplm("-h").out, general.out);

    for (const std::string& name : names) {
        const Outcome help = Kvplm("help " + name);
        EXPECT_EQ(help.exit, 0) << name << ": " << help.err;
        EXPECT_EQ(help.err, "") << name;
        // The usage line names the command with the usage of the list.
        const std::string usage = "usage: kvplm [GLOBAL OPTIONS] " + name + " ";
        EXPECT_EQ(help.out.rfind(usage, 0), 0u) << help.out;
        const std::string listed = general.out.substr(general.out.find("\n  " + name + " ") + 3);
        const std::string firstUsageWord = listed.substr(listed.find_first_not_of(' ', name.size()), 4);
        EXPECT_NE(help.out.find(usage + firstUsageWord), std::string::npos) << name << "\n" << help.out;
        EXPECT_NE(help.out.find("\nexit codes:\n  0 "), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("\n  2   bad command line"), std::string::npos) << help.out;
        // The same with --help after the command.
        EXPECT_EQ(Kvplm(name + " --help").out, help.out) << name;
    }
    // After a verb, the command's help.
    EXPECT_EQ(Kvplm("lan search --help").out, Kvplm("help lan").out);
    EXPECT_EQ(Kvplm("epc encode --help").out, Kvplm("help epc").out);
    // A command that needs a reader names the connection failure.
    EXPECT_NE(Kvplm("help info").out.find("\n  3   no connection"), std::string::npos);
    EXPECT_NE(Kvplm("help show").out.find("\n  4   FILE cannot be read"), std::string::npos);
    EXPECT_NE(Kvplm("help diff").out.find("\n  0   equal\n  1   different\n"), std::string::npos);

    // Unknown commands and no command: usage errors on stderr.
    for (const std::string args : {"help nosuch", "nosuch --help", "nosuch"}) {
        const Outcome run = Kvplm(args);
        EXPECT_EQ(run.exit, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_NE(run.err.find("nosuch"), std::string::npos) << args << ": " << run.err;
    }
    const Outcome bare = CliRun::Kvplm(folder, "", 300, "");
    // (CliRun always passes --timeout: no command is left.)
    EXPECT_EQ(bare.exit, 2);
    EXPECT_EQ(bare.out, "");
    EXPECT_NE(bare.err.find("commands:\n"), std::string::npos);
    // --version keeps its text.
    const Outcome version = Kvplm("--version");
    EXPECT_EQ(version.out.rfind("kvplm ", 0), 0u);
    EXPECT_NE(version.out.find(" (link library "), std::string::npos);
}

TEST_F(CliScriptTest, InfoShowAndReadbackAsJson) {
    PtyReader pty;
    ASSERT_TRUE(pty.started);
    const std::string port = pty.Port();

    Outcome run = Kvplm("info " + port + " --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    QJsonObject info = Json(run).object();
    EXPECT_EQ(Str(info["type"]), "0x302");
    EXPECT_EQ(Str(info["identification"]).substr(0, 3), "302");
    EXPECT_EQ(Str(info["firmware"]), "V1.05");
    EXPECT_TRUE(info["model"].isString() || info["model"].isNull());
    EXPECT_TRUE(Str(info["framing"]) == "CRC" || Str(info["framing"]) == "BCC");
    EXPECT_EQ(Str(info["port"]), port);

    // The file's blocks, as show gives them, reach the reader as they are.
    const std::string file = scratch.Write("a.mkr", kFile);
    run = Kvplm("show " + file + " --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    const QJsonObject show = Json(run).object();
    EXPECT_EQ(Str(show["reader"]), "serial");
    EXPECT_EQ(show["record"].toObject()["Zykluszeit"].toInt(), 500);
    EXPECT_EQ(show["record"].toObject()["Aufforderung"].toInt(), '!');
    EXPECT_EQ(show["record"].toObject()["Registers"].toArray().size(), 4);
    EXPECT_EQ(Str(show["blocks"].toObject()["modeParam"]), "01 05 21 03");
    EXPECT_EQ(show["setBaudRate"].toInt(), 19200);
    EXPECT_TRUE(show["keyTable"].isNull());
    // The text form says the same.
    const Outcome text = Kvplm("show " + file);
    EXPECT_NE(text.out.find("  ModeParam  01 05 21 03\n"), std::string::npos) << text.out;

    ASSERT_EQ(Kvplm("program " + port + " " + file).exit, 0);
    run = Kvplm("readback " + port + " --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    const QJsonObject back = Json(run).object();
    EXPECT_EQ(Str(back["port"]), port);
    EXPECT_EQ(Str(back["reader"]), "serial");
    const QJsonObject blocks = back["blocks"].toObject();
    EXPECT_EQ(blocks["modeParam"], show["blocks"].toObject()["modeParam"]);
    EXPECT_EQ(blocks["param"], show["blocks"].toObject()["param"]);
    EXPECT_EQ(Str(blocks["prefix"]), "02"); // without the end mark
    EXPECT_EQ(Str(blocks["suffix"]), "0D 0A");
    EXPECT_EQ(back["baudRate"].toInt(), 19200);
    EXPECT_TRUE(back["keyTable"].isNull());
}

TEST(CliJsonString, TextThatIsNoUtf8StaysValidJson) {
    EXPECT_EQ(Cli::JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
    EXPECT_EQ(Cli::JsonString("25 \xC2\xB0 \xE2\x82\xAC"), "\"25 \xC2\xB0 \xE2\x82\xAC\""); // UTF-8 as it is
    // A Latin-1 byte, a lone continuation byte, a cut sequence, an encoded surrogate.
    EXPECT_EQ(Cli::JsonString("\xB0"), "\"\\u00b0\"");
    EXPECT_EQ(Cli::JsonString("\x80x"), "\"\\u0080x\"");
    EXPECT_EQ(Cli::JsonString("\xE2\x82"), "\"\\u00e2\\u0082\"");
    EXPECT_EQ(Cli::JsonString("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
}

TEST_F(CliScriptTest, InventoryReadPortsAndLanSearchAsJson) {
    CSimReader::Options options;
    CSimReader reader(options);
    reader.RemoveAllTags();
    reader.PlaceTag(CSimTransponder(SimHex::Parse("30 74 25 7B F7 19 4E 40 00 00 1A 85").value()));
    CPtySimulator::Options simOptions;
    simOptions.lineTime = false;
    simOptions.announce = false;
    CPtySimulator sim(reader, simOptions);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const std::string port = sim.DevicePath() + ":1";

    Outcome run = Kvplm("inventory " + port + " --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    const QJsonArray tags = Json(run).array();
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(Str(tags[0].toObject()["hex"]), "3074257BF7194E4000001A85");
    run = Kvplm("read " + port + " epc --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(Str(Json(run).object()["epc"].toObject()["scheme"]), "sgtin-96");
    sim.Stop();

    // Ports: the lists, the network's only when asked for.
    run = Kvplm("ports --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    QJsonObject ports = Json(run).object();
    EXPECT_TRUE(ports["serial"].isArray());
    EXPECT_TRUE(ports["usb"].isArray());
    EXPECT_TRUE(ports["lan"].isNull());

    CSimReader lanReader;
    CSimNetModule::Settings fixed;
    fixed.address = {127, 0, 0, 2};
    fixed.port = 10001;
    CSimNetModule plm(fixed, "KV-PLM41 LAN");
    CLanSimulator::Options lanOptions;
    lanOptions.address = {127, 0, 0, 2};
    CLanSimulator endpoint(lanReader, plm, lanOptions);
    CSimReader dhcpReader;
    CSimNetModule::Settings dhcp;
    dhcp.dhcpName = "LAGER1";
    CSimNetModule lager(dhcp, "KV-PLM72 LAN");
    CLanSimulator::Options dhcpOptions;
    dhcpOptions.address = {127, 0, 0, 3};
    CLanSimulator dhcpEndpoint(dhcpReader, lager, dhcpOptions);
    ASSERT_TRUE(endpoint.Start(&error)) << error;
    ASSERT_TRUE(dhcpEndpoint.Start(&error)) << error;

    run = Kvplm("lan search --json");
    ASSERT_EQ(run.exit, 0) << run.err;
    QJsonArray found = Json(run).array();
    ASSERT_EQ(found.size(), 2) << run.out;
    QJsonObject byAddress, byName;
    for (const QJsonValue& entry : found)
        (entry.toObject()["name"].isNull() ? byAddress : byName) = entry.toObject();
    EXPECT_EQ(Str(byAddress["entry"]), "127.0.0.2-10001");
    EXPECT_EQ(Str(byAddress["address"]), "127.0.0.2");
    EXPECT_EQ(byAddress["port"].toInt(), 10001);
    EXPECT_EQ(Str(byName["entry"]), "[LAGER1]");
    EXPECT_EQ(Str(byName["name"]), "LAGER1");
    EXPECT_TRUE(byName["address"].isNull());
    run = Kvplm("lan search --all --json");
    bool both = false;
    for (const QJsonValue& entry : Json(run).array())
        both |= Str(entry.toObject()["name"]) == "LAGER1" && Str(entry.toObject()["address"]) == "127.0.0.3";
    EXPECT_TRUE(both) << run.out;
    run = Kvplm("ports --lan --json");
    ports = Json(run).object();
    ASSERT_TRUE(ports["lan"].isArray()) << run.out;
    EXPECT_TRUE(ports["lan"].toArray().contains(QJsonValue("LAN: [LAGER1]"))) << run.out;

    // Nobody answers: an empty array, and no connection.
    endpoint.Stop();
    dhcpEndpoint.Stop();
    run = Kvplm("lan search --json");
    EXPECT_EQ(run.exit, 3);
    EXPECT_EQ(Json(run).array().size(), 0);
}

TEST_F(CliScriptTest, NoConnectionIsThreeAndAFileErrorFour) {
    const std::string missing = folder + "/no-such-port";
    // A pty nobody answers on: it opens, no reader answers.
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string silent = ttyname(slave);
    for (const std::string& port : {missing, silent}) {
        std::vector<std::string> commands{"info PORT", "readback PORT --json", "inventory PORT --json"};
        if (port == missing)
            commands.insert(commands.end(),
                            {"transceive PORT 41", "readback PORT", "poweron PORT", "read PORT epc --json",
                             "functest PORT --seconds 1", "save PORT " + folder + "/x.mkr"});
        for (const std::string& command : commands) {
            std::string args = command;
            args.replace(args.find("PORT"), 4, port);
            const Outcome run = Kvplm(args);
            EXPECT_EQ(run.exit, 3) << args << ": " << run.err;
            EXPECT_EQ(run.out, "") << args;
            EXPECT_NE(run.err, "") << args;
        }
    }
    close(slave);
    close(master);
    EXPECT_EQ(Kvplm("lan show 127.0.0.9").exit, 3);

    // Files that cannot be read, parsed or written; nothing reaches the reader.
    PtyReader pty;
    ASSERT_TRUE(pty.started);
    const std::string port = pty.Port();
    const std::string garbage = scratch.Write("garbage.mkr", std::string("\x00\x01\x02 not a profile", 17));
    const std::string good = scratch.Write("good.mkr", kFile);
    mkdir((folder + "/ro").c_str(), 0500);
    const bool root = geteuid() == 0; // root writes into a read-only folder
    for (const std::string& args : {
             "show " + folder + "/missing.mkr",
             "show " + folder + "/missing.mkr --json",
             "program " + port + " " + folder + "/missing.mkr",
             "preview " + folder + "/missing.mkr",
             "diff " + good + " " + folder + "/missing.mkr",
             "keytable '4400-1 HID' --set " + folder + "/missing.mkr",
         }) {
        const Outcome run = Kvplm(args);
        EXPECT_EQ(run.exit, 4) << args << ": " << run.err;
        EXPECT_EQ(run.out, "") << args;
    }
    const Outcome bad = Kvplm("show " + garbage);
    EXPECT_EQ(bad.exit, 4) << bad.out << bad.err;
    EXPECT_EQ(pty.reader.GetCounters().requests, 0u) << "no file error touches the reader";
    // Saving reads the reader first; the file that cannot be written is a file error.
    Outcome save = Kvplm("save " + port + " " + folder + "/no-folder/x.mkr");
    EXPECT_EQ(save.exit, 4) << save.err;
    if (!root) {
        save = Kvplm("save " + port + " " + folder + "/ro/x.mkr");
        EXPECT_EQ(save.exit, 4) << save.err;
    }
    // A reader compared with a file that is missing: the file's error.
    EXPECT_EQ(Kvplm("diff " + port + " " + folder + "/missing.mkr").exit, 4);
    // And a comparison that differs stays 1.
    std::string other = kFile;
    other.replace(other.find("Zykluszeit=500"), 14, "Zykluszeit=900");
    EXPECT_EQ(Kvplm("diff " + good + " " + scratch.Write("other.mkr", other)).exit, 1);
}

TEST_F(CliScriptTest, ProgressOnATerminalAndNoneThroughAPipe) {
    // A reader set to 9600 baud: the connect searches the rates, then the
    // blocks are written.
    PtyReader pty(9600);
    ASSERT_TRUE(pty.started);
    const std::string port = pty.Port();
    const std::string file = scratch.Write("a.mkr", kFile);

    const Outcome terminal = OnTerminal({"--timeout", "300", "program", port, file});
    EXPECT_EQ(terminal.exit, 0) << terminal.out;
    const std::string& screen = terminal.out;
    const size_t at19200 = screen.find("connecting to " + port + " at 19200 baud");
    const size_t at9600 = screen.find("connecting to " + port + " at 9600 baud");
    EXPECT_NE(at19200, std::string::npos) << screen;
    EXPECT_NE(at9600, std::string::npos) << screen;
    EXPECT_LT(at19200, at9600);
    size_t last = at9600;
    const char* const blocks[] = {"Prefix", "Param", "ModeParam", "Suffix", "Postcode", "Termix"};
    for (int i = 0; i < 6; ++i) {
        const std::string line =
            "\r\x1b[Kprogramming " + port + ": " + blocks[i] + " (" + std::to_string(i + 1) + "/6)";
        const size_t at = screen.find(line);
        EXPECT_NE(at, std::string::npos) << line << " in " << screen;
        if (at == std::string::npos) break;
        EXPECT_GT(at, last) << line;
        last = at;
    }
    // The line is cleared before the result, which starts a line of its own.
    EXPECT_NE(screen.find("(6/6)\r\x1b[KProgrammierung erfolgreich abgeschlossen"), std::string::npos)
        << screen;

    // Through a pipe: the same run, no progress and no control characters.
    const Outcome piped = Kvplm("program " + port + " " + file);
    EXPECT_EQ(piped.exit, 0) << piped.err;
    EXPECT_EQ(piped.out, "Programmierung erfolgreich abgeschlossen\n");
    EXPECT_EQ(piped.err.find("connecting"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\x1b'), std::string::npos) << piped.err;

    // stdout on a terminal but stderr into a file, and the other way round:
    // no progress either.
    const std::string err = folder + "/err-only.txt";
    const Outcome half = OnTerminal(
        {"-c", std::string(KVPLM_PATH) + " --timeout 300 program " + port + " " + file + " 2>" + err},
        "/bin/sh");
    EXPECT_EQ(half.exit, 0) << half.out;
    EXPECT_EQ(half.out.find("connecting"), std::string::npos) << half.out;
    EXPECT_EQ(CliRun::ReadAll(err), "");
    const std::string out = folder + "/out-only.txt";
    const Outcome other = OnTerminal(
        {"-c", std::string(KVPLM_PATH) + " --timeout 300 program " + port + " " + file + " >" + out},
        "/bin/sh");
    EXPECT_EQ(other.exit, 0) << other.out;
    EXPECT_EQ(other.out.find("connecting"), std::string::npos) << other.out;
    EXPECT_EQ(other.out.find('\r'), std::string::npos) << other.out;
    EXPECT_EQ(CliRun::ReadAll(out), "Programmierung erfolgreich abgeschlossen\n");
}

TEST_F(CliScriptTest, EncodeBatchProgressOnATerminalOnly) {
    CSimReader reader;
    reader.RemoveAllTags();
    CPtySimulator::Options options;
    options.lineTime = false;
    options.announce = false;
    CPtySimulator sim(reader, options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const std::string port = sim.DevicePath() + ":1";
    auto batch = [&](const std::string& log) {
        return std::vector<std::string>{"--timeout", "300",      "encode-batch",  port,
                                        "--scheme",  "sgtin-96", "--company",     "0614141",
                                        "--item",    "812345",   "--serial-from", "6789",
                                        "--count",   "1",        "--log",         folder + "/" + log};
    };

    // Waiting for a transponder, the line says so; one placed is encoded,
    // its row on a line of its own.
    bool placed = false;
    const Outcome terminal = OnTerminal(batch("a.csv"), KVPLM_PATH, [&](const std::string& screen) {
        if (!placed &&
            screen.find("0/1 encoded, next serial 6789: place one transponder") != std::string::npos) {
            placed = true;
            reader.PlaceTag(CSimTransponder(SimHex::Parse("E2 00 00 00 00 00 00 00 00 00 00 01").value(),
                                            SimHex::Parse("E2 80 11 05 20 00 00 00 00 00 00 01").value()));
        }
    });
    EXPECT_TRUE(placed) << terminal.out;
    EXPECT_EQ(terminal.exit, 0) << terminal.out;
    EXPECT_NE(terminal.out.find("\r\x1b[K6789\tE28011052000000000000001\t"), std::string::npos)
        << terminal.out;
    EXPECT_NE(terminal.out.find("kvplm: 1/1 encoded, next serial 6790; the batch is complete"),
              std::string::npos)
        << terminal.out;

    // Through a pipe: the rows and the notes, no progress line.
    reader.RemoveAllTags();
    reader.PlaceTag(CSimTransponder(SimHex::Parse("E2 00 00 00 00 00 00 00 00 00 00 02").value(),
                                    SimHex::Parse("E2 80 11 05 20 00 00 00 00 00 00 02").value()));
    std::string args;
    for (const std::string& argument : batch("b.csv"))
        if (argument != "--timeout" && argument != "300") args += " '" + argument + "'";
    const Outcome piped = Kvplm(args);
    EXPECT_EQ(piped.exit, 0) << piped.err;
    EXPECT_EQ(piped.out.rfind("6789\tE28011052000000000000002\t", 0), 0u) << piped.out;
    EXPECT_EQ(piped.err.find("encoded, next serial 6789:"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
    sim.Stop();
}

} // namespace
