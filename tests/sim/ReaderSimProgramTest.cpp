// kvplm-readersim as a process: start line, control commands, stdin EOF, signals.
#include "SimAnnounce.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using SimTest::Hex;
using SimTest::HostPort;

class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), READERSIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, READERSIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Program() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (input >= 0) close(input);
        if (output >= 0) close(output);
    }

    void Send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(write(input, text.data(), text.size()), ssize_t(text.size()));
    }
    void CloseInput() {
        close(input);
        input = -1;
    }
    // The next line of stdout; "" at its end or after the time-out.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const size_t nl = buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            char chunk[512];
            const ssize_t n = read(output, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer.append(chunk, static_cast<size_t>(n));
        }
    }
    // Waits for the process to end (its stdout closes) and returns its exit status.
    int Wait() {
        while (!ReadLine().empty()) {
        }
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }

    pid_t pid = -1;
    int input = -1;
    int output = -1;
    std::string buffer;
};

TEST(ReaderSimProgramTest, RunsUntilSignalledAndCleansUp) {
    const std::string link = SimTest::TempDir() + "/program-link";
    Program sim({"--type", "0x312", "--minor", "3", "--link", link, "--quiet", "--tag", "AABBCCDD::0102"});
    ASSERT_GT(sim.pid, 0);
    const std::string first = sim.ReadLine();
    EXPECT_EQ(first.rfind("kvplm-readersim: KV-PLM72 (type 312, firmware V1.03) on /dev/pts/", 0), 0u)
        << first;
    EXPECT_NE(first.find("(link " + link + ")"), std::string::npos);
    ASSERT_EQ(SimAnnounce::List().size(), 1u);
    EXPECT_EQ(SimAnnounce::List()[0].label, "Simulated KV-PLM72");

    HostPort host(link, B19200);
    host.Write(Hex("02 01 F0 00 F1"));
    EXPECT_EQ(Frame::Strip(Frame::Bcc, host.Read(9)), Hex("33 31 32 33"));

    sim.Send("state");
    EXPECT_EQ(sim.ReadLine(), "state 1, power-on mode 1, 19200 baud format 0, rf on, 1 transponder(s)");
    sim.Send("send 41 42");
    EXPECT_EQ(sim.ReadLine(), "ok");
    EXPECT_EQ(host.Read(2), Hex("41 42"));

    // The end of stdin does not end the simulator.
    sim.CloseInput();
    host.Write(Hex("01 F0 00 64 00"));
    EXPECT_EQ(host.Read(9).size(), 9u);

    kill(sim.pid, SIGTERM);
    const int status = sim.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(SimAnnounce::List().empty());
}

TEST(ReaderSimProgramTest, QuitsOnCommandAndRefusesBadOptions) {
    Program sim({"--no-announce", "--quiet", "--framing", "crc"});
    ASSERT_FALSE(sim.ReadLine().empty());
    sim.Send("quit");
    EXPECT_EQ(sim.ReadLine(), "ok");
    int status = sim.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Program bad({"--framing", "xyz"});
    status = bad.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

} // namespace
