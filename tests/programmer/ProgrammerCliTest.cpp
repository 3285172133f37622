// The transponder commands of kvplm, run as a program against the simulated
// device: what they print, their exit codes, and the frames they send.
#include "SimFixture.h"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace Programmer;
using Lines = std::vector<std::string>;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

// Runs kvplm with the arguments; bounded by a time limit (then killed).
Outcome Kvplm(const std::vector<std::string>& args, std::chrono::seconds limit = std::chrono::seconds(20)) {
    Outcome run;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<std::string> all{KVPLM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, KVPLM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return run;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, int(left)) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? run.out : run.err).append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class ProgrammerCli : public SimFixture {
protected:
    std::string Port() const { return path + ":1"; }
    // Requests after connecting (identification probe, identification,
    // programming mode).
    Lines Operations() const {
        Lines lines = Commands();
        EXPECT_GE(lines.size(), 3u);
        if (lines.size() >= 3) {
            EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3), (Lines{"F0", "F0", "F4 00"}));
            lines.erase(lines.begin(), lines.begin() + 3);
        }
        return lines;
    }
};

TEST_F(ProgrammerCli, InventoryPrintsOneEpcPerLine) {
    StartDevice(0x302, {"E2 00 00 01", "E2 00 00 02", "E2 00 00 03"});
    const Outcome run = Kvplm({"--timeout", "300", "inventory", Port()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "E2 00 00 01\nE2 00 00 02\nE2 00 00 03\n");
    EXPECT_EQ(Operations(), (Lines{"C0 00", "C0 02", "C0 02"}));
}

TEST_F(ProgrammerCli, FailedInventoryPrintsItsStatus) {
    StartDevice(0x302, {"E2 00 00 01"});
    reader->FaultStatus(0xC0, 4);
    const Outcome run = Kvplm({"inventory", Port()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error 4\n");
}

TEST_F(ProgrammerCli, CyclicInventoryPrintsEachEpcOnce) {
    StartDevice(0x302, {"AA 01", "BB 02"});
    const Outcome run = Kvplm({"inventory", Port(), "--cyclic", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    Lines lines;
    for (size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(run.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].rfind("1\tAA 01\t", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("2\tBB 02\t", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find(" reads/s"), std::string::npos);
    // Several rounds ran, each a start and one "next".
    const Lines ops = Operations();
    EXPECT_GE(ops.size(), 4u);
    for (size_t i = 0; i < ops.size(); ++i)
        EXPECT_EQ(ops[i], i % 2 ? "C0 02" : "C0 00");
}

TEST_F(ProgrammerCli, ReadAddressesTheFirstTransponderOfAnInventory) {
    StartDevice(0x302, {"30 00 11 22", "44 55"});
    Outcome run = Kvplm({"read", Port(), "user", "--start", "2", "--length", "4"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "00 00 00 00\n");
    EXPECT_EQ(Operations(), (Lines{"C0 00", "C0 02", "C2 30 00 11 22", "C3 03 01 00 00 04"}));

    reader->ClearLogs();
    run = Kvplm({"read", Port(), "1", "--select", "44 55"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const CSimTransponder tag = *reader->FindTag(H("44 55"));
    const uint16_t crc = tag.StoredCrc();
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02X %02X 08 00 44 55\n", crc >> 8, crc & 0xFF);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(Operations(), (Lines{"C2 44 55", "C3 01 00 00 00 00"}));
}

TEST_F(ProgrammerCli, ReadFailurePrintsStatusWithCode) {
    StartDevice(0x302, {"30 00 11 22"});
    reader->FaultStatus(0xC3, 0xFF);
    Outcome run = Kvplm({"read", Port(), "tid", "--select", "30 00 11 22"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Fehler beim Lesen <-1>\n");

    run = Kvplm({"read", Port(), "tid", "--select", "99"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Fehler bei Select\n");
}

TEST_F(ProgrammerCli, WriteAndWriteEpc) {
    StartDevice(0x302, {"30 00 11 22"});
    Outcome run = Kvplm({"write", Port(), "user", "--start", "4", "11", "22 33", "44"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Schreiben erfolgreich\n");
    EXPECT_EQ(Operations(), (Lines{"C0 00", "C2 30 00 11 22", "C4 03 02 00 00 11 22 33 44"}));

    reader->ClearLogs();
    run = Kvplm({"write-epc", Port(), "E2 00 00 00 00 00 00 00 00 00 00 99", "--select", "30 00 11 22"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "E2 00 00 00 00 00 00 00 00 00 00 99\n");
    // Found again, its new CRC and PC are read back and shown with the
    // outcome (stdout stays the EPC alone).
    EXPECT_EQ(Operations(),
              (Lines{"C2 30 00 11 22", "C4 01 01 00 00 30 00 E2 00 00 00 00 00 00 00 00 00 00 99", "F5 00",
                     "F5 01", "C0 00", "C2 E2 00 00 00 00 00 00 00 00 00 00 99", "C3 01 00 00 00 04"}));
    const uint16_t crc = reader->FindTag(H("E2 00 00 00 00 00 00 00 00 00 00 99"))->StoredCrc();
    char shown[64];
    std::snprintf(shown, sizeof shown, "Schreiben erfolgreich\nCRC: %02X %02X  PC: 30 00\n", crc >> 8,
                  crc & 0xFF);
    EXPECT_EQ(run.err, shown);
    // The next inventory finds the new EPC.
    run = Kvplm({"inventory", Port()});
    EXPECT_EQ(run.out, "E2 00 00 00 00 00 00 00 00 00 00 99\n");
}

TEST_F(ProgrammerCli, HexRunsOnTheCommandLineAreSplitIntoBytes) {
    StartDevice(0x302, {"30 00 11 22", "E2 00 34 12"});
    Outcome run = Kvplm({"read", Port(), "epc", "--select", "E2003412", "--length", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Operations(), (Lines{"C2 E2 00 34 12", "C3 01 00 00 00 02"}));
    reader->ClearLogs();
    run = Kvplm({"write", Port(), "user", "--start", "0", "AABB", "--select", "E2003412"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Operations(), (Lines{"C2 E2 00 34 12", "C4 03 00 00 00 AA BB"}));
    // An odd run cannot be split into bytes: refused, nothing sent (it used
    // to be one token, the byte 0).
    reader->ClearLogs();
    run = Kvplm({"write", Port(), "user", "--start", "0", "E2001", "--select", "E2003412"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("\"E2001\""), std::string::npos) << run.err;
    EXPECT_EQ(reader->GetCounters().requests, 0u);
}

// Characters that are no hex digits used to be written as 00.
TEST_F(ProgrammerCli, HexThatIsNoBytesIsAUsageErrorAndNothingIsSent) {
    StartDevice(0x302, {"30 00 11 22"});
    Outcome run = Kvplm({"password", Port(), "kill", "11", "22", "33", "GG"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("\"GG\""), std::string::npos) << run.err;
    run = Kvplm({"write", Port(), "user", "--start", "0", "ZZ 11 22 33 44 XY"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("\"ZZ\""), std::string::npos) << run.err;
    run = Kvplm({"write-epc", Port(), "E2-00-34-12"});
    EXPECT_EQ(run.exitCode, 2);
    run = Kvplm({"read", Port(), "tid", "--select", "E2 0G"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(reader->GetCounters().requests, 0u);
    EXPECT_EQ(reader->FindTag(H("30 00 11 22"))->KillPassword(), H("00 00 00 00"));
}

TEST_F(ProgrammerCli, EmptyHexArgumentsAreMissingBytes) {
    // write-epc '' used to write a PC of length 0: the transponder's EPC gone.
    StartDevice(0x302, {"30 00 11 22"});
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"write-epc", Port(), ""}, "kvplm: HEX bytes of the EPC are missing\n"},
        {{"write-epc", Port(), "  ", ""}, "kvplm: HEX bytes of the EPC are missing\n"},
        {{"write", Port(), "user", "--start", "0", ""}, "kvplm: HEX bytes are missing\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = Kvplm(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args[0];
        EXPECT_EQ(run.err, c.message + std::string("(kvplm --help lists the commands)\n")) << c.args[0];
    }
    EXPECT_EQ(reader->GetCounters().requests, 0u);
    ASSERT_TRUE(reader->FindTag(H("30 00 11 22")));
}

// An unplugged device ends a command with exit 1 and says so.
TEST_F(ProgrammerCli, ALostConnectionIsExitOne) {
    StartDevice(0x302, {"AA 01"});
    std::thread unplug([&] {
        if (reader->WaitForRequests(3 + 4, std::chrono::milliseconds(10000))) sim->Unplug();
    });
    Outcome run = Kvplm({"--timeout", "300", "inventory", Port(), "--cyclic", "0"});
    unplug.join();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Die Verbindung zum Gerät ist verloren gegangen.\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.rfind("1\tAA 01\t", 0), 0u) << run.out;

    // Unplugged while a read waits for its reply.
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    path = sim->DevicePath();
    reader->ClearLogs();
    reader->SetTraceHook([&](CSimReader::TraceKind kind, const CSimReader::Bytes& bytes) {
        if (kind == CSimReader::TraceKind::Request && bytes.size() > 2 && bytes[2] == 0xC2)
            reader->FaultSilenceAll(true);
    });
    std::thread unplugRead([&] {
        if (reader->WaitForRequests(3 + 2, std::chrono::milliseconds(10000))) sim->Unplug();
    });
    run = Kvplm({"--timeout", "1000", "read", Port(), "tid", "--select", "AA 01"});
    unplugRead.join();
    reader->SetTraceHook(nullptr);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Die Verbindung zum Gerät ist verloren gegangen.\n");
    EXPECT_EQ(Operations(), (Lines{"C2 AA 01", "C3 02 00 00 00 00"}));
}

TEST_F(ProgrammerCli, Passwords) {
    StartDevice(0x302, {"30 00 11 22"});
    Outcome run = Kvplm({"password", Port(), "kill", "01", "02", "03"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Das Passwort muss 4 Byte lang sein!\n");
    run = Kvplm({"password", Port(), "access", "01 02 03 04 05"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(reader->GetCounters().requests, 0u);

    run = Kvplm({"password", Port(), "access", "DE", "AD", "BE", "EF"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Schreiben erfolgreich\n");
    run = Kvplm({"password", Port(), "access"});
    EXPECT_EQ(run.out, "DE AD BE EF\n");
    run = Kvplm({"password", Port(), "kill"});
    EXPECT_EQ(run.out, "00 00 00 00\n");
    const Lines commands = Commands();
    EXPECT_EQ(commands[commands.size() - 2], "C2 30 00 11 22");
    EXPECT_EQ(commands.back(), "C3 00 00 00 00 04");
}

TEST_F(ProgrammerCli, PureReaderIsRefused) {
    StartDevice(0x301, {"30 00 11 22"});
    const Outcome run = Kvplm({"inventory", Port()});
    EXPECT_EQ(run.exitCode, 3); // no usable connection
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!\n");
    EXPECT_EQ(Commands(), (Lines{"F0", "F0"}));
}

// PORT "-" is the port stored by KV_PLM_Programmer (not Morvane's), opened
// as the programmer opens it.
TEST_F(ProgrammerCli, DashIsTheProgrammersStoredPort) {
    StartDevice(0x313, {"E2 00 00 07"});
    char pattern[] = "/tmp/kvplm-cli-config-XXXXXX";
    const std::string config = mkdtemp(pattern);
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = previous ? previous : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::string dir = config + "/Norda Applikationen";
    std::filesystem::create_directories(dir);
    auto store = [&](const std::string& program, const std::string& name) {
        std::ofstream(dir + "/" + program + ".conf")
            << "[Port]\nName=" << name << "\nBaudrate=19200\nTimeout=300\nAdresse=1\n";
    };
    store("KV-PLM Programmer", path);
    store("KV-PLM Morvane", "/dev/kvplm-test-no-such-port");
    Outcome run = Kvplm({"--trace", "inventory", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "E2 00 00 07\n");
    EXPECT_NE(
        run.err.find("kvplm: Norda KV-PLM Programmer V2.00 <KV-PLM72 Plus " + path + ":1  Firmware V1.05>\n"),
        std::string::npos)
        << run.err;
    EXPECT_EQ(Operations(), (Lines{"C0 00"}));

    store("KV-PLM Programmer", "/dev/kvplm-test-no-such-port");
    store("KV-PLM Morvane", path);
    run = Kvplm({"read", "-", "tid"});
    EXPECT_EQ(run.exitCode, 3); // no connection
    EXPECT_EQ(run.err, "Fehler beim Port öffnen\n");

    if (previous)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

TEST_F(ProgrammerCli, UsageErrors) {
    StartDevice(0x302, {"30 00 11 22"});
    EXPECT_EQ(Kvplm({"read", Port(), "user", "--start", "3", "--length", "2"}).exitCode, 2);
    EXPECT_EQ(Kvplm({"read", Port(), "user", "--start", "2"}).exitCode, 2);
    EXPECT_EQ(Kvplm({"read", Port(), "flash"}).exitCode, 2);
    EXPECT_EQ(Kvplm({"write", Port(), "user", "11"}).exitCode, 2);
    EXPECT_EQ(Kvplm({"password", Port(), "root"}).exitCode, 2);
    EXPECT_EQ(reader->GetCounters().requests, 0u);
}

} // namespace
