// kvplm program --lan-all FILE.mkr, kvplm program PORT PORT... FILE.mkr
// [--set-baud RATE] [--verify]: the parent of a fleet run. It checks the file
// once, finds the readers (--lan-all: the verified network search), starts
// one worker process per reader (kvplm itself, FleetProgramWorker.cpp),
// follows their report lines and shows them, then prints the summary and
// the messages of every reader that failed.
#include "FleetProgram.h"
#include "Commands.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"
#include "SetupText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Cli {

namespace {

using Clock = std::chrono::steady_clock;

// A worker that has not ended by then is stopped: every reader operation
// has its own time-outs, so this only catches a worker that hangs.
constexpr std::chrono::seconds WorkerLimit{120};
// What is kept of a worker's own output (its messages), for a reader that failed.
constexpr size_t CapturedLimit = 64 * 1024;

// ------------------------------------------------------------ arguments

bool IsOption(const std::string& arg) {
    return arg.size() > 2 && arg.compare(0, 2, "--") == 0;
}

// What makes two port names one port: the name without its bus address
// (readers on one bus share its line, and two workers cannot both hold it),
// a device path as the file it names, a network address with its TCP port.
std::string PortKey(const std::string& port) {
    std::string name = LinkPort::WithoutAddress(port);
    if (LinkPort::IsDevicePath(name)) {
        if (char* real = realpath(name.c_str(), nullptr)) {
            name = real;
            std::free(real);
        }
    } else if (LinkPort::Transport(name) == LinkPort::Kind::Lan && name.front() != '[' &&
               name.find('-') == std::string::npos) {
        name += "-10001";
    }
    return name;
}

// Every list entry ends in a NUL; the list ends with an empty entry.
std::vector<std::string> ListEntries(int (*list)(char*, int)) {
    std::vector<char> buffer(64 * 1024);
    const int used = list(buffer.data(), int(buffer.size()));
    std::vector<std::string> entries;
    int at = 0;
    while (at < used && buffer[size_t(at)] != '\0') {
        const std::string entry(buffer.data() + at);
        entries.push_back(entry);
        at += int(entry.size()) + 1;
    }
    return entries;
}

// ------------------------------------------------------------ the file

// The file as a worker will load it, checked once before any reader is
// touched: a file every worker would refuse gives one message, not one per
// reader, and no reader is half programmed by it.
bool CheckFile(const std::string& file, const Options& options, int flags, int setBaud, bool report) {
    if (access(file.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "kvplm: cannot read %s\n", file.c_str());
        return false;
    }
    CSetupCliHost host("", options, file);
    CSeriellEinstellModel model(0, options.baud, flags);
    if (!model.LoadFile(host, file)) return false;
    if (report) ReportReplacements(model.Replacements(), file);
    if (setBaud) model.Param().ChooseBaudRate(setBaud);
    if (const CEingabeBasisRegisterkarte* refused = model.RefusedSequence()) {
        SetupMessage message;
        message.id = 595;
        message.text = SetupText::Formatted(595, {refused->Caption()});
        host.ShowMessage(message);
        return false;
    }
    CSeriellEinstellModel::Image image;
    if (auto message = model.BuildImage(image)) {
        host.ShowMessage(*message);
        return false;
    }
    return true;
}

// ------------------------------------------------------------ the workers

struct Worker {
    Fleet::Row row;
    std::string port; // as the worker opens it
    pid_t pid = -1;
    int report = -1, output = -1;
    std::string reportBuffer, captured;
    std::optional<Fleet::Event> result;
    bool stopped = false; // killed at the limit
    bool ok = false;
    bool ended = false;
};

std::string OwnPath() {
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

// Starts the worker: kvplm program --fleet-worker with the global options
// of this run, its report lines on a pipe of their own, its stdout and
// stderr together on another; stdin is /dev/null. It ends with this process.
bool Spawn(Worker& worker, const std::string& self, const Options& options, const std::string& file,
           int setBaud, bool verify) {
    int report[2], output[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    std::vector<std::string> args{self};
    if (options.baudGiven) args.insert(args.end(), {"--baud", std::to_string(options.baud)});
    if (options.formatGiven) args.insert(args.end(), {"--format", std::to_string(options.format)});
    if (options.timeoutGiven) args.insert(args.end(), {"--timeout", std::to_string(options.timeout)});
    if (options.trace) args.push_back("--trace");
    args.insert(args.end(), {"program", "--fleet-worker", "--report-fd", std::to_string(report[1])});
    if (setBaud) args.insert(args.end(), {"--set-baud", std::to_string(setBaud)});
    if (verify) args.push_back("--verify");
    args.insert(args.end(), {worker.port, file});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        signal(SIGPIPE, SIG_DFL);
        if (getppid() != parent) _exit(127);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        fcntl(report[1], F_SETFD, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (devNull >= 0) close(devNull);
    close(report[1]);
    close(output[1]);
    if (pid < 0) {
        close(report[0]);
        close(output[0]);
        return false;
    }
    worker.pid = pid;
    worker.report = report[0];
    worker.output = output[0];
    return true;
}

// ------------------------------------------------------------ showing it

class CDisplay {
public:
    explicit CDisplay(std::vector<Worker>& workers)
        : m_workers(workers), m_table(isatty(STDOUT_FILENO) != 0) {}

    // A worker's step or result changed.
    void Changed(const Worker& worker) {
        if (m_table) {
            Redraw();
            return;
        }
        std::printf("%s: %s\n", worker.row.reader.c_str(),
                    worker.row.result.empty() ? worker.row.step.c_str() : worker.row.result.c_str());
        std::fflush(stdout);
    }
    void Start() {
        if (m_table) Redraw();
    }

private:
    // The table in place of the one drawn before: up over it, every line
    // cleared and written anew, each cut to the terminal's width so that
    // none wraps.
    void Redraw() {
        winsize size{};
        const size_t columns =
            ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
        std::vector<Fleet::Row> rows;
        for (const Worker& worker : m_workers)
            rows.push_back(worker.row);
        const std::vector<std::string> lines = Fleet::TableLines(rows, columns);
        std::string text;
        if (m_drawn) text += "\x1b[" + std::to_string(m_drawn) + "A";
        for (const std::string& line : lines)
            text += "\r\x1b[2K" + line + "\n";
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        m_drawn = lines.size();
    }

    std::vector<Worker>& m_workers;
    bool m_table;
    size_t m_drawn = 0;
};

// The worker's report lines that came; true when its step changed.
bool TakeReport(Worker& worker) {
    bool changed = false;
    for (size_t nl; (nl = worker.reportBuffer.find('\n')) != std::string::npos;) {
        const std::string line = worker.reportBuffer.substr(0, nl);
        worker.reportBuffer.erase(0, nl + 1);
        const std::optional<Fleet::Event> event = Fleet::ParseLine(line);
        if (!event) continue;
        if (event->kind == Fleet::Event::Kind::Result) {
            worker.result = event;
        } else if (worker.row.step != event->text) {
            worker.row.step = event->text;
            changed = true;
        }
    }
    return changed;
}

std::string LastLine(const std::string& text) {
    std::string line;
    size_t end = text.size();
    while (line.empty() && end > 0) {
        const size_t start = text.rfind('\n', end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        line = Fleet::OneLine(text.substr(from, end - from));
        end = start == std::string::npos ? 0 : start;
    }
    return line;
}

// After the worker ended: its result, which counts only together with its
// exit status.
void Finish(Worker& worker, int status) {
    worker.ended = true;
    worker.row.step = "done";
    const bool exitedOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (worker.stopped) {
        worker.row.result = "failed: no result within " + std::to_string(WorkerLimit.count()) + " s";
    } else if (worker.result && worker.result->ok && exitedOk) {
        worker.ok = true;
        worker.row.result = worker.result->text;
    } else if (worker.result && !worker.result->ok) {
        worker.row.result = "failed: " + worker.result->text;
    } else {
        std::string how = WIFSIGNALED(status)
                              ? "the worker ended by signal " + std::to_string(WTERMSIG(status))
                              : "the worker ended with exit " + std::to_string(WEXITSTATUS(status));
        const std::string last = LastLine(worker.captured);
        worker.row.result = "failed: " + (last.empty() ? how : last + " (" + how + ")");
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Follows every worker until it ended (or was stopped at the limit).
void RunWorkers(std::vector<Worker>& workers, CDisplay& display) {
    const Clock::time_point limit = Clock::now() + WorkerLimit;
    display.Start();
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Worker*, int*>> owners;
        for (Worker& worker : workers) {
            for (int* fd : {&worker.report, &worker.output}) {
                if (*fd < 0) continue;
                fds.push_back(pollfd{*fd, POLLIN, 0});
                owners.emplace_back(&worker, fd);
            }
        }
        if (fds.empty()) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now()).count();
        if (left <= 0 ||
            (poll(fds.data(), fds.size(), int(std::min<long long>(left, 1000))) < 0 && errno != EINTR)) {
            for (Worker& worker : workers) {
                if (worker.report < 0 && worker.output < 0) continue;
                kill(worker.pid, SIGKILL);
                worker.stopped = true;
                CloseFd(worker.report);
                CloseFd(worker.output);
            }
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Worker& worker = *owners[i].first;
            int& fd = *owners[i].second;
            if (fd < 0) continue;
            char chunk[4096];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                CloseFd(fd);
            } else if (&fd == &worker.report) {
                worker.reportBuffer.append(chunk, size_t(n));
                if (TakeReport(worker)) display.Changed(worker);
                if (worker.reportBuffer.size() > CapturedLimit) worker.reportBuffer.clear(); // no line in it
            } else if (worker.captured.size() < CapturedLimit) {
                worker.captured.append(chunk, std::min(size_t(n), CapturedLimit - worker.captured.size()));
            }
        }
        // A worker whose pipes both closed has ended (or is ending).
        for (Worker& worker : workers) {
            if (worker.ended || worker.report >= 0 || worker.output >= 0) continue;
            int status = 0;
            while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
            }
            Finish(worker, status);
            display.Changed(worker);
        }
    }
}

// DHCP names are resolved by a search whenever such a port opens; workers
// opening at once would search at once, and the answers of searches running
// at the same time are split between them. One search here resolves every
// name first; a name it does not find is left to the worker.
void ResolveDhcpNames(std::vector<Worker>& workers) {
    auto bracketed = [](const std::string& port) {
        const std::string name = LinkPort::WithoutAddress(port);
        return LinkPort::Transport(name) == LinkPort::Kind::Lan && name.front() == '[' && name.back() == ']';
    };
    if (std::none_of(workers.begin(), workers.end(), [&](const Worker& w) { return bracketed(w.port); }))
        return;
    const std::vector<std::string> entries = ListEntries(LinkListLanDevicesAll);
    for (Worker& worker : workers) {
        if (!bracketed(worker.port)) continue;
        const std::string name = LinkPort::WithoutAddress(worker.port);
        const std::string address = worker.port.substr(name.size());
        for (const std::string& entry : entries) {
            if (entry.size() <= name.size() || entry.compare(0, name.size(), name) != 0) continue;
            worker.port = entry.substr(name.size()) + address;
            break;
        }
    }
}

} // namespace

ProgramForm ProgramFormOf(const std::vector<std::string>& args) {
    std::vector<std::string> rest = args;
    if (TakeFlag(rest, "--fleet-worker")) return ProgramForm::Worker;
    if (TakeFlag(rest, "--lan-all")) return ProgramForm::Fleet;
    std::string value;
    try {
        TakeOption(rest, "--set-baud", value);
    } catch (const UsageError&) {
        return ProgramForm::Single; // which says what is missing
    }
    TakeFlag(rest, "--verify");
    const auto positional =
        std::count_if(rest.begin(), rest.end(), [](const std::string& a) { return !IsOption(a); });
    return positional >= 3 ? ProgramForm::Fleet : ProgramForm::Single;
}

int RunFleetProgram(Options& options) {
    std::vector<std::string>& args = options.args;
    std::string rateText;
    const bool lanAll = TakeFlag(args, "--lan-all");
    const bool setBaud = TakeOption(args, "--set-baud", rateText);
    const bool verify = TakeFlag(args, "--verify");
    for (const std::string& arg : args)
        if (IsOption(arg)) throw UsageError{"program: unknown option \"" + arg + "\""};
    if (args.empty() || args.back().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = args.back();
    std::vector<std::string> ports(args.begin(), args.end() - 1);
    if (lanAll && !ports.empty())
        throw UsageError{"--lan-all takes no PORT (it programs every network reader the search finds)"};
    if (!lanAll && ports.size() < 2) throw UsageError{"name two or more ports, or --lan-all"};
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].empty()) throw UsageError{"an empty PORT"};
        if (ports[i] == "-") throw UsageError{"the stored port \"-\" is programmed alone: name the ports"};
        for (size_t j = 0; j < i; ++j)
            if (PortKey(ports[i]) == PortKey(ports[j]))
                throw UsageError{"\"" + ports[j] + "\" and \"" + ports[i] +
                                 "\" are one port; a port is programmed by one worker at a time"};
    }
    const int rate = setBaud ? ParseSetBaud(rateText) : 0;

    // The file, for every kind of reader named, before any is touched.
    std::vector<int> kinds;
    if (lanAll) kinds.push_back(ConnectionFlag::OfConnection(false, true));
    for (const std::string& port : ports) {
        const int flags = CSetupCliHost(port, options).Flags();
        if (std::find(kinds.begin(), kinds.end(), flags) == kinds.end()) kinds.push_back(flags);
    }
    for (size_t i = 0; i < kinds.size(); ++i)
        if (!CheckFile(file, options, kinds[i], rate, i == 0)) return ExitFileError;

    if (lanAll) {
        ports = ListEntries(LinkListLanDevices);
        std::sort(ports.begin(), ports.end(), Fleet::ReaderOrder);
        if (ports.empty()) {
            std::fprintf(stderr,
                         "kvplm: no network readers found, nothing programmed; check the firewall: UDP port "
                         "30718 must be open in both directions\n");
            return ExitNoConnection;
        }
    }
    std::vector<Worker> workers(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        workers[i].row.reader = ports[i];
        workers[i].port = ports[i];
    }
    ResolveDhcpNames(workers);

    // Output that nobody reads any more (a pipe closed early) must not end
    // this process: its workers end with it, in the middle of their blocks.
    std::signal(SIGPIPE, SIG_IGN);
    CDisplay display(workers);
    const std::string self = OwnPath();
    for (Worker& worker : workers) {
        if (!self.empty() && Spawn(worker, self, options, file, rate, verify)) continue;
        worker.ended = true;
        worker.row.step = "done";
        worker.row.result = "failed: no worker process could be started";
        display.Changed(worker);
    }
    RunWorkers(workers, display);

    const size_t programmed =
        size_t(std::count_if(workers.begin(), workers.end(), [](const Worker& w) { return w.ok; }));
    std::printf("%s\n", Fleet::Summary(programmed, workers.size() - programmed).c_str());
    std::fflush(stdout);
    // What each reader that failed said, for the reason behind its row.
    for (const Worker& worker : workers) {
        if (worker.ok || worker.captured.empty()) continue;
        std::fprintf(stderr, "kvplm: %s:\n", worker.row.reader.c_str());
        size_t at = 0;
        while (at < worker.captured.size()) {
            size_t nl = worker.captured.find('\n', at);
            if (nl == std::string::npos) nl = worker.captured.size();
            std::string line = worker.captured.substr(at, nl - at);
            // The worker's own messages carry the program's name; under the
            // reader's heading it would stand twice.
            if (line.rfind("kvplm: ", 0) == 0) line.erase(0, 7);
            if (!Fleet::OneLine(line).empty()) std::fprintf(stderr, "  %s\n", line.c_str());
            at = nl + 1;
        }
    }
    return programmed == workers.size() ? ExitOk : ExitFailed;
}

} // namespace Cli
