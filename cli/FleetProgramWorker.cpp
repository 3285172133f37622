// kvplm program --fleet-worker --report-fd N [--set-baud RATE] [--verify] PORT FILE:
// one reader of "program --lan-all" or "program PORT PORT... FILE", in a
// process of its own. It programs exactly as "program PORT FILE" does (its
// messages go to its stdout and stderr, which the parent keeps) and writes
// its steps and its result as report lines to descriptor N.
#include "Commands.h"
#include "FleetProgram.h"
#include "SetupCliHost.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Cli {

namespace {

class CWorkerHost : public CSetupCliHost, public IProgramSteps {
public:
    CWorkerHost(const std::string& port, const Options& options, const std::string& file, int reportFd)
        : CSetupCliHost(port, options, file), m_fd(reportFd) {}

    MessageAnswer ShowMessage(const SetupMessage& message) override {
        if (message.icon == MessageIcon::Exclamation || message.icon == MessageIcon::Error)
            Note(Fleet::OneLine(WithLf(message.text)));
        return CSetupCliHost::ShowMessage(message);
    }
    SetupConnection Connect(bool withMessages) override {
        if (!m_verifying) Send(Fleet::StepLine("connecting"));
        const SetupConnection connection = CSetupCliHost::Connect(withMessages);
        if (connection.Connected() && !m_verifying) Send(Fleet::StepLine("writing"));
        return connection;
    }
    void Verifying() override {
        m_verifying = true;
        Send(Fleet::StepLine("verifying"));
    }
    void Problem(const std::string& text) override { Note(text); }

    void Finish(int code, bool verify) {
        if (code == ExitOk) {
            Send(Fleet::ResultLine(true, verify ? "programmed, verified" : "programmed"));
            return;
        }
        std::string reason;
        for (const std::string& text : m_reasons)
            reason += (reason.empty() ? "" : "; ") + text;
        Send(Fleet::ResultLine(false, reason.empty() ? "exit " + std::to_string(code) : reason));
    }

private:
    // Each reason once: the connect procedure and programming may show the
    // same message twice.
    void Note(const std::string& text) {
        if (!text.empty() && std::find(m_reasons.begin(), m_reasons.end(), text) == m_reasons.end())
            m_reasons.push_back(text);
    }
    void Send(const std::string& line) {
        size_t sent = 0;
        while (sent < line.size()) {
            const ssize_t n = write(m_fd, line.data() + sent, line.size() - sent);
            if (n > 0) {
                sent += size_t(n);
            } else if (n < 0 && errno != EINTR) {
                return; // the parent is gone; the programming goes on as it would alone
            }
        }
    }

    int m_fd;
    bool m_verifying = false;
    std::vector<std::string> m_reasons;
};

} // namespace

int RunFleetWorker(Options& options) {
    TakeFlag(options.args, "--fleet-worker");
    std::string fdText, rateText;
    if (!TakeOption(options.args, "--report-fd", fdText)) throw UsageError{"--report-fd is missing"};
    const int fd = ParseInt(fdText, "--report-fd", 3, 1 << 20);
    if (fcntl(fd, F_GETFD) < 0) throw UsageError{"--report-fd " + fdText + " is no open descriptor"};
    const bool setBaud = TakeOption(options.args, "--set-baud", rateText);
    const bool verify = TakeFlag(options.args, "--verify");
    const std::string port = TakePort(options);
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    if (!options.args.empty()) throw UsageError{"unexpected argument \"" + options.args.front() + "\""};
    const int rate = setBaud ? ParseSetBaud(rateText) : 0;

    CWorkerHost host(port, options, file, fd);
    const int code = ProgramOneReader(host, options, file, rate, verify, &host);
    host.Finish(code, verify);
    return code;
}

} // namespace Cli
