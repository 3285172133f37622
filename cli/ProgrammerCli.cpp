#include "ProgrammerCli.h"

#include "ConnectionSettings.h"
#include "HexText.h"
#include "ProgrammerConnection.h"

#include <algorithm>
#include <cctype>
#include <iostream>

namespace Cli {

namespace {

// Table texts end lines with CR LF; a terminal wants LF.
std::string TerminalText(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

void CliProgrammerHost::ShowMessage(const std::string& text) {
    std::cerr << TerminalText(text) << "\n";
}

namespace {

// The programmer's stored settings as it connects with them.
Programmer::ConnectRequest StoredRequest() {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    return frontend::ConnectionSettings::Loaded(appkit::Program::Programmer).Request();
}

} // namespace

std::string ProgrammerPortName(const std::string& port) {
    return port == "-" ? StoredRequest().linkPortName : port;
}

int ConnectProgrammer(const std::string& port, const Options& options, Programmer::ProgrammerHost& host) {
    Programmer::ConnectRequest request;
    if (port == "-") {
        if (options.baudGiven || options.formatGiven || options.timeoutGiven)
            std::cerr << "kvplm: PORT \"-\" uses the programmer's stored settings; --baud, --format and "
                         "--timeout do not apply\n";
        request = StoredRequest();
        const Programmer::ConnectOutcome outcome = Programmer::ProgrammerConnection::Connect(
            request, appkit::ProgramInfo::Title(appkit::Program::Programmer).toStdString(),
            appkit::ProgramInfo::Version(appkit::Program::Programmer).toStdString(), host);
        if (options.trace) std::cerr << "kvplm: " << outcome.title << "\n";
        return outcome.session;
    }
    request.linkPortName = port;
    request.baud = options.baud;
    request.format = options.format;
    request.timeoutMs = options.timeout;
    return Programmer::ProgrammerConnection::Connect(request, "kvplm", "", host).session;
}

void PrintStatus(const std::string& status) {
    std::cerr << TerminalText(status) << "\n";
}

namespace {
// On a command line a run of hex digits such as E2003412 is the natural way
// to write bytes: an even-length run is split into its bytes. Anything else
// keeps the field's own reading ("E2001" is one token and reads as 0).
std::string SplitHexRun(const std::string& arg) {
    if (arg.size() <= 2 || arg.size() % 2 ||
        !std::all_of(arg.begin(), arg.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return arg;
    std::string text;
    for (size_t i = 0; i < arg.size(); i += 2)
        text += (i ? " " : "") + arg.substr(i, 2);
    return text;
}
} // namespace

bool TakeSelect(Options& options, std::string& selection) {
    if (!TakeOption(options.args, "--select", selection)) return false;
    selection = SplitHexRun(selection);
    return true;
}

bool AddressTransponder(Programmer::TransponderOperations& operations, bool selectGiven,
                        const std::string& selection) {
    if (selectGiven) {
        operations.Values().selectedEpc = selection;
        return true;
    }
    if (operations.RunInventory()) return true;
    if (!operations.Values().status.empty())
        PrintStatus(operations.Values().status);
    else
        std::cerr << "kvplm: no transponder found\n";
    return false;
}

int ParseBank(const std::string& text) {
    std::string name = text;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (name == "reserved" || name == "0") return Programmer::Bank::Reserved;
    if (name == "epc" || name == "1") return Programmer::Bank::Epc;
    if (name == "tid" || name == "2") return Programmer::Bank::Tid;
    if (name == "user" || name == "3") return Programmer::Bank::User;
    throw UsageError{"BANK must be reserved, epc, tid, user or 0-3, not \"" + text + "\""};
}

std::string JoinArgs(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args)
        text += (text.empty() ? "" : " ") + SplitHexRun(arg);
    return text;
}

Programmer::Bytes ParseFieldArgs(const std::vector<std::string>& args, size_t limit,
                                 const std::string& what) {
    const std::string text = JoinArgs(args);
    if (Programmer::HexText::TokenCount(text) > limit)
        throw UsageError{what + " holds at most " + std::to_string(limit) + " bytes"};
    return Programmer::HexText::Parse(text, limit);
}

CliProgrammer::CliProgrammer(const std::string& port, const Options& options)
    : m_session(ConnectProgrammer(port, options, m_host)), m_operations(m_host) {
    m_operations.SetSession(m_session);
}

CliProgrammer::~CliProgrammer() {
    if (m_session > 0) Programmer::ProgrammerConnection::Disconnect(m_session, m_host);
}

bool CliProgrammer::Address(bool selectGiven, const std::string& selection) {
    return Connected() && AddressTransponder(m_operations, selectGiven, selection);
}

} // namespace Cli
