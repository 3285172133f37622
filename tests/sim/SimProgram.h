// kvplm-readersim run as a process by the tests: arguments, stdin, stdout.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace SimTest {

class Program {
public:
    // With captureErrors stderr goes to a pipe read by ReadErrorLine (keep
    // the traffic log off with --quiet, or the pipe fills).
    // launcher: a command the simulator runs under, e.g. {"nsenter", "-t", PID, "-n"}.
    explicit Program(std::vector<std::string> args, bool captureErrors = false,
                     const std::vector<std::string>& launcher = {}) {
        args.insert(args.begin(), READERSIM_PATH);
        args.insert(args.begin(), launcher.begin(), launcher.end());
        Spawn(args, captureErrors);
    }
    // Any other command (searched in PATH), with the same pipes.
    struct CommandTag {};
    Program(CommandTag, const std::vector<std::string>& argv, bool captureErrors = false) {
        Spawn(argv, captureErrors);
    }
    ~Program() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (input >= 0) close(input);
        if (output >= 0) close(output);
        if (errors >= 0) close(errors);
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
        return ReadLineFrom(output, buffer, timeout);
    }
    // The next line of stderr (with captureErrors).
    std::string ReadErrorLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return ReadLineFrom(errors, errorBuffer, timeout);
    }
    static std::string ReadLineFrom(int output, std::string& buffer, std::chrono::milliseconds timeout) {
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

    void Spawn(std::vector<std::string> args, bool captureErrors) {
        int in[2], out[2], err[2] = {-1, -1};
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        if (captureErrors && pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (captureErrors) posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        if (captureErrors) close(err[1]);
        input = in[1];
        output = out[0];
        errors = err[0];
    }

    pid_t pid = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
    std::string buffer;
    std::string errorBuffer;
};

} // namespace SimTest
