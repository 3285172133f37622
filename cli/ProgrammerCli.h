// What the transponder commands (inventory, read, write, write-epc,
// password) share: connecting as the programmer does, addressing a
// transponder, printing a status line.
#pragma once

#include "Cli.h"
#include "ProgrammerHost.h"
#include "TransponderOperations.h"

#include <string>

namespace Cli {

// Messages go to stderr; the Yes/No question is never asked by these
// commands (they write exactly the bytes given); pauses sleep.
class CliProgrammerHost : public Programmer::ProgrammerHost {
public:
    void ShowMessage(const std::string& text) override;
};

// The link port name for PORT: PORT itself, or for "-" the port stored in
// the settings of KV_PLM_Programmer ("Port" of "KV-PLM Programmer").
std::string ProgrammerPortName(const std::string& port);

// Connects as the programmer: LinkOpen, the identification, refusal of a
// device that cannot write, programming mode. Returns the session, or 0
// after printing why not. PORT opens with the global options; "-" opens the
// programmer's stored port with its stored rate, frame code and timeout
// (the global --baud, --format and --timeout do not apply), and --trace
// prints the title the programmer would show.
int ConnectProgrammer(const std::string& port, const Options& options, Programmer::ProgrammerHost& host);

// The status line of a failed operation, on stderr.
void PrintStatus(const std::string& status);

// Takes "--select EPC" from the arguments; a text the dialog's field would
// refuse is a usage error.
bool TakeSelect(Options& options, std::string& selection);

// Addresses a transponder: the selection when one was given, otherwise the
// first transponder of an inventory. False (with the reason printed) when
// the inventory finds none.
bool AddressTransponder(Programmer::TransponderOperations& operations, bool selectGiven,
                        const std::string& selection);

// BANK: reserved, epc, tid, user, or 0-3.
int ParseBank(const std::string& text);

// HEX arguments read as the dialog reads its fields (joined by single
// blanks, HexText::Read: "E2003412" is four bytes); a text the field would
// refuse, or more than limit bytes, is a usage error, not a silent cut or a
// 00.
Programmer::Bytes ParseFieldArgs(const std::vector<std::string>& args, size_t limit, const std::string& what);
std::string JoinArgs(const std::vector<std::string>& args);

// A programmer connected as the program connects, with its operations;
// the session is closed when this goes. What every transponder command
// starts with.
class CliProgrammer {
public:
    CliProgrammer(const std::string& port, const Options& options);
    ~CliProgrammer();
    CliProgrammer(const CliProgrammer&) = delete;
    CliProgrammer& operator=(const CliProgrammer&) = delete;

    bool Connected() const { return m_session > 0; }
    // Connected and a transponder addressed (see AddressTransponder).
    bool Address(bool selectGiven, const std::string& selection);
    Programmer::TransponderOperations& Operations() { return m_operations; }

private:
    CliProgrammerHost m_host;
    int m_session = 0;
    Programmer::TransponderOperations m_operations;
};

} // namespace Cli
