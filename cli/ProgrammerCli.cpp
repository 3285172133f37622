#include "ProgrammerCli.h"

#include "BluetoothWait.h"
#include "ConnectionSettings.h"
#include "HexText.h"
#include "ProgrammerConnection.h"
#include "Progress.h"

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
    ProgressLine::ClearShown();
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
    ConnectProgress progress;
    Programmer::ConnectRequest request;
    if (port == "-") {
        if (options.baudGiven || options.formatGiven || options.timeoutGiven)
            std::cerr << "kvplm: PORT \"-\" uses the programmer's stored settings; --baud, --format and "
                         "--timeout do not apply\n";
        request = StoredRequest();
        WatchBluetoothWait(request.linkPortName, options.trace);
        const Programmer::ConnectOutcome outcome = Programmer::ProgrammerConnection::Connect(
            request, appkit::ProgramInfo::Title(appkit::Program::Programmer).toStdString(),
            appkit::ProgramInfo::Version(appkit::Program::Programmer).toStdString(), host);
        if (options.trace) std::cerr << "kvplm: " << outcome.title << "\n";
        if (outcome.session <= 0) NoteNoConnection();
        return outcome.session;
    }
    request.linkPortName = port;
    request.baud = options.baud;
    request.format = options.format;
    request.timeoutMs = options.timeout;
    WatchBluetoothWait(request.linkPortName, options.trace);
    const int session = Programmer::ProgrammerConnection::Connect(request, "kvplm", "", host).session;
    if (session <= 0) NoteNoConnection();
    return session;
}

void PrintStatus(const std::string& status) {
    ProgressLine::ClearShown();
    std::cerr << TerminalText(status) << "\n";
}

namespace {
// The hex rule's refusal as a usage error: nothing is opened or sent.
void CheckHex(const Programmer::HexText::Reading& reading, const std::string& what) {
    if (!reading.valid)
        throw UsageError{what + ": \"" + reading.offending +
                         "\" is not hex bytes (digits 0-9, A-F and blanks; without blanks an even "
                         "number of digits)"};
}
} // namespace

bool TakeSelect(Options& options, std::string& selection) {
    if (!TakeOption(options.args, "--select", selection)) return false;
    CheckHex(Programmer::HexText::Read(selection, Programmer::HexText::SelectionLimit), "--select");
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
        text += (text.empty() ? "" : " ") + arg;
    return text;
}

Programmer::Bytes ParseFieldArgs(const std::vector<std::string>& args, size_t limit,
                                 const std::string& what) {
    const Programmer::HexText::Reading reading = Programmer::HexText::Read(JoinArgs(args), limit);
    CheckHex(reading, what);
    if (reading.count > limit) throw UsageError{what + " holds at most " + std::to_string(limit) + " bytes"};
    return reading.bytes;
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
